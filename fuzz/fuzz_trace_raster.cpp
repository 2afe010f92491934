// skelmar_trace::TraceMat drawing with arbitrary points, colours and replacement rasters, with
// a subscriber on the trace topic so that every drawing operation really draws.

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <vector>

#include <nav2_costmap_2d/costmap_2d.hpp>
#include <rclcpp/rclcpp.hpp>
#include <skelmar_nav2_gridmap/grid_map_ros.hpp>

#include "fuzz_input.hpp"
#include "skelmar_nav2_tools/trace_mat.hpp"

namespace {

// One trace and one subscriber for the whole run, torn down before their context at exit.
struct Fixture
{
  Fixture()
  {
    skelmar_fuzz::quietLogger();
    rclcpp::init(0, nullptr, rclcpp::InitOptions(), rclcpp::SignalHandlerOptions::None);
    trace = std::make_unique<skelmar_trace::TraceMat>(
        std::make_shared<skelmar_nav2_gridmap::GridMapROS>(
            std::make_shared<nav2_costmap_2d::Costmap2D>(48, 40, 0.05, -1.0, -1.0, 0)),
        "fuzz");
    listener = std::make_shared<rclcpp::Node>("fuzz_trace_listener");
    subscription = listener->create_subscription<nav_msgs::msg::OccupancyGrid>(
        "trace/trace_fuzz", rclcpp::QoS(1), [](nav_msgs::msg::OccupancyGrid::ConstSharedPtr) {});
  }
  ~Fixture()
  {
    trace.reset();
    subscription.reset();
    listener.reset();
    rclcpp::shutdown();
  }
  std::unique_ptr<skelmar_trace::TraceMat> trace;
  rclcpp::Node::SharedPtr listener;
  rclcpp::Subscription<nav_msgs::msg::OccupancyGrid>::SharedPtr subscription;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t * data, std::size_t size)
{
  static Fixture fixture;
  skelmar_fuzz::FuzzInput in(data, size);
  auto & trace = *fixture.trace;
  trace.reset();
  FUZZ_CHECK(trace.has_subscribers_);
  for (int i = 0; i < 12 && !in.empty(); ++i) {
    const char color = static_cast<char>(in.byte());
    std::vector<cv::Point> list(in.count(10));
    long long longest = 0;
    for (auto & p : list) {
      p = in.byte() % 4 == 0 ? cv::Point(in.raw<std::int32_t>(), in.raw<std::int32_t>())
                             : cv::Point(in.byte() - 100, in.byte() - 100);
      const cv::Point & q = list.front();
      longest = std::max({longest, std::llabs(0LL + p.x - q.x), std::llabs(0LL + p.y - q.y)});
    }
    const cv::Mat before = trace.mat_.clone();
    try {
      switch (in.byte() % 5) {
        case 0:
          trace.setMatPointsColor(list, color);
          break;
        case 1:
          trace.setMatPolygonColor(list, color);
          break;
        case 2:
          trace.setMatLineColor(list, color);
          break;
        case 3: {
          const int types[] = {CV_8UC1, CV_8UC1, CV_8UC3, CV_16UC1};
          cv::Mat mat(in.byte() % 80, in.byte() % 80, types[in.byte() % 4]);
          if (!mat.empty()) {
            cv::randu(mat, 0, 256);
          }
          trace.setMat(mat, in.byte() % 2);
          FUZZ_CHECK(mat.type() == CV_8UC1);
          FUZZ_CHECK(mat.empty() ? trace.mat_.empty() : trace.mat_.size() == mat.size());
          continue;
        }
        default:
          trace.publishCVMatAsGrid();
          continue;
      }
    } catch (const std::runtime_error &) {
      // Only a segment of more than 10001 steps (at most twice the spread from the first
      // point) stops a walk.
      FUZZ_CHECK(2 * longest > 10001);
      continue;
    } catch (const std::invalid_argument &) {
      FUZZ_CHECK(
          before.empty()
              ? trace.mat_.empty()
              : before.size() == trace.mat_.size() && cv::countNonZero(before != trace.mat_) == 0);
      continue;
    }
    for (const auto & p : list) {
      const bool inside = p.x >= 0 && p.y >= 0 && p.x < trace.mat_.cols && p.y < trace.mat_.rows;
      FUZZ_CHECK(trace.getMatColor(p) == (inside ? static_cast<unsigned char>(color) : 0));
    }
  }
  return 0;
}
