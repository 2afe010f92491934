// skelmar_trace::TraceMat drawing with arbitrary points, colours and replacement rasters, with
// a subscriber on the trace topic so that every drawing operation really draws.

#include <memory>
#include <stdexcept>

#include <nav2_costmap_2d/costmap_2d.hpp>
#include <rclcpp/rclcpp.hpp>

#include "fuzz_input.hpp"
#include "skelmar_nav2_tools/trace_mat.hpp"

using nav_msgs::msg::OccupancyGrid;
using skelmar_trace::TraceMat;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t * data, std::size_t size)
{
  // One trace and one subscriber for the whole run; the context shuts down after them at exit.
  [[maybe_unused]] static const int context =
      (rclcpp::init(0, nullptr, rclcpp::InitOptions(), rclcpp::SignalHandlerOptions::None),
       std::atexit([] { rclcpp::shutdown(); }));
  static const auto listener = std::make_shared<rclcpp::Node>("fuzz_trace_listener");
  static const auto subscription = listener->create_subscription<OccupancyGrid>(
      "trace/trace_fuzz", rclcpp::QoS(1), [](OccupancyGrid::ConstSharedPtr) {});
  static TraceMat trace(
      std::make_shared<skelmar_nav2_gridmap::GridMapROS>(
          std::make_shared<nav2_costmap_2d::Costmap2D>(48, 40, 0.05, -1.0, -1.0, 0)),
      "fuzz");
  const decltype(&TraceMat::setMatLineColor) draws[] = {
      &TraceMat::setMatPointsColor, &TraceMat::setMatPolygonColor, &TraceMat::setMatLineColor};
  skelmar_fuzz::FuzzInput in{data, size};
  trace.reset();
  FUZZ_CHECK(trace.has_subscribers_);
  for (int i = 0; i < 12 && !in.empty(); ++i) {
    const char color = static_cast<char>(in.byte());
    const auto list = in.points(10);
    const int op = in.byte() % 5;
    const cv::Mat before = trace.mat_.clone();
    try {
      if (op < 3) {
        (trace.*draws[op])(list, color);
        for (const auto & p : list) {
          const bool inside = p.x >= 0 && p.y >= 0 && p.x < before.cols && p.y < before.rows;
          FUZZ_CHECK(trace.getMatColor(p) == (inside ? static_cast<unsigned char>(color) : 0));
        }
      } else if (op == 3) {
        const int types[] = {CV_8UC1, CV_8UC1, CV_8UC3, CV_16UC1};
        const int rows = in.byte() % 80, cols = in.byte() % 80;
        cv::Mat mat(rows, cols, types[in.byte() % 4], cv::Scalar::all(in.byte()));
        trace.setMat(mat, in.byte() % 2);
        FUZZ_CHECK(
            mat.type() == CV_8UC1 &&
            (mat.empty() ? trace.mat_.empty() : trace.mat_.size() == mat.size()));
      } else {
        trace.publishCVMatAsGrid();
      }
    } catch (const std::runtime_error &) {
      // Only a segment of more than 10001 steps stops a walk: some point 5001 from the first.
      FUZZ_CHECK(std::any_of(list.begin(), list.end(), [&list](const cv::Point & p) {
        return std::llabs(0LL + p.x - list[0].x) > 5000 || std::llabs(0LL + p.y - list[0].y) > 5000;
      }));
    } catch (const std::invalid_argument &) {
      FUZZ_CHECK(
          before.empty()
              ? trace.mat_.empty()
              : before.size() == trace.mat_.size() && cv::countNonZero(before != trace.mat_) == 0);
    }
  }
  return 0;
}
