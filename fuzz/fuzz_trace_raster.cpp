// TraceMat drawing on and publishing its raster, a subscriber making every call work.

#include "fuzz_input.hpp"
#include "skelmar_nav2_tools/trace_mat.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t * data, std::size_t size)
{
  // One trace, listened to on its own node, for the whole run; the context shuts down at exit.
  [[maybe_unused]] static const int context =
      (rclcpp::init(0, nullptr, rclcpp::InitOptions(), rclcpp::SignalHandlerOptions::None),
       std::atexit([] { rclcpp::shutdown(); }));
  static skelmar_trace::TraceMat trace(
      std::make_shared<skelmar_nav2_gridmap::GridMapROS>(
          std::make_shared<nav2_costmap_2d::Costmap2D>(48, 40, 0.05, -1.0, -1.0, 0)),
      "fuzz");
  static const auto listener = trace.node_->create_subscription<nav_msgs::msg::OccupancyGrid>(
      "trace/trace_fuzz", 1, [](nav_msgs::msg::OccupancyGrid::ConstSharedPtr) {});
  FuzzInput in{data, size};
  trace.reset();
  for (int i = 0; i < 12 && in.pos < in.size; ++i) {
    const char color = static_cast<char>(in.next()), op = in.next() % 3;
    const auto list = in.points(10);
    cv::Mat expected = trace.mat_.clone();  // of colouring the points: nothing outside the raster
    for (const auto & p : list) {
      if (p.inside({0, 0, expected.cols, expected.rows})) {
        expected.at<char>(p) = color;
      }
    }
    try {
      if (op == 0) {
        trace.setMatPointsColor(list, color);
        assert(cv::countNonZero(expected != trace.mat_) == 0);
      } else {  // a segment of more than 10001 cells is refused
        op == 1 ? trace.setMatPolygonColor(list, color) : trace.setMatLineColor(list, color);
      }
      trace.publishCVMatAsGrid();
    } catch (const std::runtime_error &) {
    }
  }
  return 0;
}
