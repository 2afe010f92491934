// Trace raster costs: publishing a warehouse-sized raster to a subscriber, against a plain
// memcpy of the same bytes; drawing a long polyline, against a literal per-segment walk.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include <nav2_costmap_2d/costmap_2d.hpp>
#include <nav_msgs/msg/occupancy_grid.hpp>
#include <rclcpp/rclcpp.hpp>
#include <skelmar_nav2_gridmap/grid_map_ros.hpp>

#include "node_thread_start.hpp"
#include "skelmar_nav2_tools/trace_mat.hpp"

namespace {

constexpr unsigned int kCellsX = 1700;
constexpr unsigned int kCellsY = 1000;

// A trace over a warehouse-sized costmap with one viewer subscribed, spun on its own thread.
struct Scene
{
  Scene()
      : gridmap(std::make_shared<skelmar_nav2_gridmap::GridMapROS>(
            std::make_shared<nav2_costmap_2d::Costmap2D>(kCellsX, kCellsY, 0.05, 0.0, 0.0))),
        trace(gridmap, "bench"),
        viewer(std::make_shared<rclcpp::Node>("bench_viewer"))
  {
    subscription = viewer->create_subscription<nav_msgs::msg::OccupancyGrid>(
        "trace/trace_bench", rclcpp::QoS(1),
        [this](nav_msgs::msg::OccupancyGrid::ConstSharedPtr msg) {
          received_bytes.store(msg->data.size());
        });
    viewer_thread = skelmar_internal::startNodeThread(viewer->get_node_base_interface());
    for (int i = 0; i < 1000 && trace.publisher_->get_subscription_count() == 0; ++i) {
      rclcpp::sleep_for(std::chrono::milliseconds(5));
    }
    trace.reset();
    if (!trace.has_subscribers_) {
      throw std::runtime_error("the viewer never subscribed to the trace");
    }
  }

  ~Scene()
  {
    viewer_thread.reset();
  }

  std::shared_ptr<skelmar_nav2_gridmap::GridMapROS> gridmap;
  skelmar_trace::TraceMat trace;
  std::shared_ptr<rclcpp::Node> viewer;
  rclcpp::Subscription<nav_msgs::msg::OccupancyGrid>::SharedPtr subscription;
  std::unique_ptr<nav2_util::NodeThread> viewer_thread;
  std::atomic<std::size_t> received_bytes{0};
};

// Built in main, after rclcpp::init, and released before rclcpp::shutdown.
std::unique_ptr<Scene> g_scene;

Scene & scene()
{
  return *g_scene;
}

void BM_PublishTraceGrid(benchmark::State & state)
{
  auto & trace = scene().trace;
  trace.setMat(cv::Mat(kCellsY, kCellsX, CV_8UC1, cv::Scalar::all(100)), false);
  for (auto _ : state) {
    trace.publishCVMatAsGrid();
  }
  state.SetBytesProcessed(state.iterations() * kCellsX * kCellsY);
  trace.reset();
}
BENCHMARK(BM_PublishTraceGrid)->Unit(benchmark::kMicrosecond);

// Baseline: one plain copy of the raster's bytes into a message-sized buffer.
void BM_MemcpyRasterBytes(benchmark::State & state)
{
  const cv::Mat raster(kCellsY, kCellsX, CV_8UC1, cv::Scalar::all(100));
  std::vector<std::int8_t> data(raster.total());
  for (auto _ : state) {
    std::memcpy(data.data(), raster.data, data.size());
    benchmark::DoNotOptimize(data.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * kCellsX * kCellsY);
}
BENCHMARK(BM_MemcpyRasterBytes)->Unit(benchmark::kMicrosecond);

// Literal line walk: a fresh cell list per segment, steps counted as they are taken.
void literalWalk(cv::Point p, const cv::Point & end, std::vector<cv::Point> & out)
{
  const int dx = std::abs(end.x - p.x);
  const int dy = std::abs(end.y - p.y);
  int err = dx - dy;
  const int sx = p.x < end.x ? 1 : -1;
  const int sy = p.y < end.y ? 1 : -1;
  if (p == end) {
    out.push_back(p);
    return;
  }
  for (int steps = 1;; ++steps) {
    out.push_back(p);
    const int e2 = 2 * err;
    if (e2 > -dy) {
      err -= dy;
      p.x += sx;
    }
    if (e2 < dx) {
      err += dx;
      p.y += sy;
    }
    if (p == end) {
      out.push_back(p);
      return;
    }
    if (steps >= 10001) {
      throw std::runtime_error("bresenham is out of iteration(10000)");
    }
  }
}

void literalPaint(cv::Mat & raster, const cv::Point & p, char color)
{
  if (p.x >= 0 && p.y >= 0 && p.x < raster.cols && p.y < raster.rows) {
    raster.at<char>(p.y, p.x) = color;
  }
}

void literalPolyline(cv::Mat & raster, const std::vector<cv::Point> & points, char color)
{
  for (std::size_t i = 0; i + 1 < points.size(); ++i) {
    literalPaint(raster, points[i], color);
    std::vector<cv::Point> cells;
    literalWalk(points[i], points[i + 1], cells);
    for (const auto & cell : cells) {
      literalPaint(raster, cell, color);
    }
  }
  literalPaint(raster, points.back(), color);
}

// A long wandering polyline over the whole raster, some vertices past its edges.
std::vector<cv::Point> longPolyline()
{
  std::mt19937 random(7);
  std::uniform_int_distribution<int> step(-120, 120);
  std::vector<cv::Point> points{{850, 500}};
  for (int i = 0; i < 5000; ++i) {
    const cv::Point & last = points.back();
    points.emplace_back(
        std::clamp(last.x + step(random), -20, static_cast<int>(kCellsX) + 20),
        std::clamp(last.y + step(random), -20, static_cast<int>(kCellsY) + 20));
  }
  return points;
}

void checkPolylinesAgree(const std::vector<cv::Point> & points)
{
  auto & trace = scene().trace;
  trace.reset();
  trace.setMatLineColor(points, 100);
  cv::Mat literal = cv::Mat::zeros(kCellsY, kCellsX, CV_8UC1);
  literalPolyline(literal, points, 100);
  if (cv::countNonZero(trace.mat_ != literal) != 0) {
    throw std::runtime_error("the library and the literal polyline differ");
  }
}

void BM_DrawLongPolyline(benchmark::State & state)
{
  const auto points = longPolyline();
  checkPolylinesAgree(points);
  auto & trace = scene().trace;
  for (auto _ : state) {
    trace.setMatLineColor(points, 100);
    benchmark::ClobberMemory();
  }
  trace.reset();
}
BENCHMARK(BM_DrawLongPolyline)->Unit(benchmark::kMicrosecond);

void BM_DrawLongPolylineLiteral(benchmark::State & state)
{
  const auto points = longPolyline();
  cv::Mat raster = cv::Mat::zeros(kCellsY, kCellsX, CV_8UC1);
  for (auto _ : state) {
    literalPolyline(raster, points, 100);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_DrawLongPolylineLiteral)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char ** argv)
{
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    return 1;
  }
  rclcpp::init(argc, argv);
  g_scene = std::make_unique<Scene>();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  g_scene.reset();
  rclcpp::shutdown();
  return 0;
}
