// skelmar_trace::TraceMat drawing with arbitrary points, colours and replacement rasters, with
// a subscriber on the trace topic so that every drawing operation really draws.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <nav2_costmap_2d/costmap_2d.hpp>
#include <opencv2/core.hpp>
#include <rclcpp/rclcpp.hpp>
#include <skelmar_nav2_gridmap/grid_map_ros.hpp>

#include "fuzz_input.hpp"
#include "skelmar_nav2_tools/trace_mat.hpp"

namespace {

using nav_msgs::msg::OccupancyGrid;
using skelmar_fuzz::FuzzInput;

constexpr int kCellsX = 48;
constexpr int kCellsY = 40;
constexpr std::int64_t kLongestSegment = 10001;

// One trace and one subscriber for the whole run: built on first use, torn down at exit
// (trace and subscriber before the context they live in).
struct Fixture
{
  Fixture()
  {
    skelmar_fuzz::quietLogger();
    rclcpp::init(0, nullptr, rclcpp::InitOptions(), rclcpp::SignalHandlerOptions::None);
    auto costmap =
        std::make_shared<nav2_costmap_2d::Costmap2D>(kCellsX, kCellsY, 0.05, -1.0, -1.0, 0);
    gridmap = std::make_shared<skelmar_nav2_gridmap::GridMapROS>(costmap);
    trace = std::make_unique<skelmar_trace::TraceMat>(gridmap, "fuzz");
    listener = std::make_shared<rclcpp::Node>("fuzz_trace_listener");
    subscription = listener->create_subscription<OccupancyGrid>(
        "trace/trace_fuzz", rclcpp::QoS(1), [](OccupancyGrid::ConstSharedPtr) {});
  }

  ~Fixture()
  {
    trace.reset();
    subscription.reset();
    listener.reset();
    rclcpp::shutdown();
  }

  std::shared_ptr<skelmar_nav2_gridmap::GridMapROS> gridmap;
  std::unique_ptr<skelmar_trace::TraceMat> trace;
  rclcpp::Node::SharedPtr listener;
  rclcpp::Subscription<OccupancyGrid>::SharedPtr subscription;
};

cv::Point point(FuzzInput & in)
{
  switch (in.byte() % 4) {
    case 0:
      return {in.raw<std::int32_t>(), in.raw<std::int32_t>()};
    case 1:
      return {in.raw<std::int16_t>(), in.raw<std::int16_t>()};
    default:
      return {
          static_cast<int>(in.inRange(-4.0, kCellsX + 4.0)),
          static_cast<int>(in.inRange(-4.0, kCellsY + 4.0))};
  }
}

std::vector<cv::Point> points(FuzzInput & in)
{
  std::vector<cv::Point> result(in.count(10));
  for (auto & p : result) {
    p = point(in);
  }
  return result;
}

bool anySegmentTooLong(const std::vector<cv::Point> & list, bool closed)
{
  for (std::size_t i = 0; i < list.size(); ++i) {
    const cv::Point & a = list[i];
    const cv::Point & b = i + 1 < list.size() ? list[i + 1] : list.front();
    if ((i + 1 < list.size() || closed) &&
        std::max(std::llabs(std::int64_t{b.x} - a.x), std::llabs(std::int64_t{b.y} - a.y)) >
            kLongestSegment) {
      return true;
    }
  }
  return false;
}

bool inside(const cv::Mat & mat, const cv::Point & p)
{
  return p.x >= 0 && p.y >= 0 && p.x < mat.cols && p.y < mat.rows;
}

// Every listed point inside the raster holds the colour afterwards.
void checkColoured(
    const skelmar_trace::TraceMat & trace, const std::vector<cv::Point> & list, char color)
{
  for (const auto & p : list) {
    if (inside(trace.mat_, p)) {
      FUZZ_CHECK(trace.getMatColor(p) == static_cast<unsigned char>(color));
    }
  }
}

cv::Mat replacement(FuzzInput & in)
{
  static const int kTypes[] = {CV_8UC1, CV_8UC1, CV_8UC1, CV_8UC3, CV_16UC1, CV_32FC1, CV_8SC1};
  const int type = kTypes[in.byte() % (sizeof(kTypes) / sizeof(kTypes[0]))];
  const int rows = in.byte() % 80;
  const int cols = in.byte() % 80;
  cv::Mat mat(rows, cols, type);
  cv::RNG rng(in.raw<std::uint64_t>());
  if (!mat.empty()) {
    rng.fill(mat, cv::RNG::UNIFORM, 0, 256);
  }
  if (in.byte() % 4 == 0 && rows > 2 && cols > 2) {
    // A view into a larger matrix: rows not contiguous.
    return mat(cv::Rect(1, 1, cols - 2, rows - 2));
  }
  return mat;
}

void runOperation(skelmar_trace::TraceMat & trace, FuzzInput & in)
{
  const char color = static_cast<char>(in.byte());
  switch (in.byte() % 8) {
    case 0: {
      const cv::Point p = point(in);
      trace.setMatPointColor(p, color);
      checkColoured(trace, {p}, color);
      break;
    }
    case 1: {
      const auto list = points(in);
      trace.setMatPointsColor(list, color);
      checkColoured(trace, list, color);
      break;
    }
    case 2:
    case 3: {
      const bool closed = in.byte() % 2 == 0;
      auto list = points(in);
      try {
        if (closed) {
          trace.setMatPolygonColor(list, color);
        } else {
          trace.setMatLineColor(list, color);
        }
        FUZZ_CHECK(!anySegmentTooLong(list, closed));
        checkColoured(trace, list, color);
      } catch (const std::runtime_error & e) {
        FUZZ_CHECK(std::string(e.what()) == "bresenham is out of iteration(10000)");
        FUZZ_CHECK(anySegmentTooLong(list, closed));
      }
      break;
    }
    case 4: {
      const cv::Point p = point(in);
      if (!inside(trace.mat_, p)) {
        FUZZ_CHECK(trace.getMatColor(p) == 0);
      }
      break;
    }
    case 5: {
      const cv::Mat mat = replacement(in);
      const bool invert = in.byte() % 2 == 0;
      const cv::Mat before = trace.mat_.clone();
      try {
        trace.setMat(mat, invert);
        FUZZ_CHECK(mat.type() == CV_8UC1);
        FUZZ_CHECK(
            mat.empty() ? trace.mat_.empty()
                        : trace.mat_.rows == mat.rows && trace.mat_.cols == mat.cols);
        if (!mat.empty()) {
          const unsigned char v = mat.at<unsigned char>(0, 0);
          FUZZ_CHECK(trace.getMatColor({0, 0}) == (invert ? 255 - v : v));
        }
      } catch (const std::invalid_argument &) {
        FUZZ_CHECK(mat.type() != CV_8UC1);
        // The raster is unchanged (an empty one may keep a zero-row shape a copy loses).
        FUZZ_CHECK(
            before.empty() ? trace.mat_.empty()
                           : before.size() == trace.mat_.size() &&
                                 cv::countNonZero(before != trace.mat_) == 0);
      }
      break;
    }
    case 6:
      trace.reset();
      FUZZ_CHECK(trace.mat_.rows == kCellsY && trace.mat_.cols == kCellsX);
      FUZZ_CHECK(cv::countNonZero(trace.mat_) == 0);
      break;
    default:
      trace.publishCVMatAsGrid();
      break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t * data, std::size_t size)
{
  static Fixture fixture;
  FuzzInput in(data, size);
  auto & trace = *fixture.trace;
  trace.reset();
  FUZZ_CHECK(trace.has_subscribers_);
  for (int i = 0; i < 12 && !in.empty(); ++i) {
    runOperation(trace, in);
  }
  return 0;
}
