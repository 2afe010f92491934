// The trace raster: sized after the costmap, drawn only while someone listens, the exact cells
// of lines and polygon outlines, and the occupancy grid laid over the costmap.

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <nav2_costmap_2d/costmap_2d.hpp>
#include <nav_msgs/msg/occupancy_grid.hpp>
#include <skelmar_nav2_gridmap/grid_map_ros.hpp>

#include "skelmar_nav2_tools/trace_mat.hpp"
#include "support/ros_test_support.hpp"

namespace {

using nav_msgs::msg::OccupancyGrid;
using skelmar_trace::TraceMat;
using Cells = std::set<std::pair<int, int>>;  // (x, y)
using Points = std::vector<cv::Point>;

std::shared_ptr<skelmar_nav2_gridmap::GridMapROS> gridMap(
    unsigned int size_x, unsigned int size_y, double resolution = 0.05, double origin_x = 0.0,
    double origin_y = 0.0, const std::string & frame = "map")
{
  return std::make_shared<skelmar_nav2_gridmap::GridMapROS>(
      std::make_shared<nav2_costmap_2d::Costmap2D>(size_x, size_y, resolution, origin_x, origin_y),
      frame);
}

Cells nonZeroCells(const cv::Mat & raster)
{
  Cells cells;
  for (int y = 0; y < raster.rows; ++y) {
    for (int x = 0; x < raster.cols; ++x) {
      if (raster.at<unsigned char>(y, x) != 0) {
        cells.emplace(x, y);
      }
    }
  }
  return cells;
}

std::string walkError(const std::function<void()> & draw)
{
  try {
    draw();
  } catch (const std::runtime_error & e) {
    return e.what();
  }
  return "no exception";
}

// A trace over a costmap of the given size with a viewer subscribed to it since before the
// first reset of each test, so that drawing draws.
class TraceMatTest : public ::testing::Test
{
protected:
  void open(std::shared_ptr<skelmar_nav2_gridmap::GridMapROS> grid_map)
  {
    const std::string name = skelmar_test::uniqueName("trace");
    viewer =
        std::make_unique<skelmar_test::Inbox<OccupancyGrid>>(*peer.node, "trace/trace_" + name);
    trace = std::make_unique<TraceMat>(grid_map, name);
    ASSERT_TRUE(
        skelmar_test::waitFor([&] { return trace->publisher_->get_subscription_count() > 0; }));
    trace->reset();
    ASSERT_TRUE(trace->has_subscribers_);
  }

  OccupancyGrid published()
  {
    const size_t before = viewer->size();
    trace->publishCVMatAsGrid();
    EXPECT_TRUE(viewer->waitForCount(before + 1));
    return viewer->size() > before ? viewer->messages().back() : OccupancyGrid();
  }

  void SetUp() override
  {
    peer.spin();
  }

  skelmar_test::SpunNode peer{"trace_viewer"};
  std::unique_ptr<skelmar_test::Inbox<OccupancyGrid>> viewer;
  std::unique_ptr<TraceMat> trace;
};

TEST_F(TraceMatTest, SubscriberGateIsSampledAtReset)
{
  TraceMat idle(gridMap(7, 5), skelmar_test::uniqueName("idle"));
  EXPECT_EQ(idle.mat_.size(), cv::Size(7, 5));
  EXPECT_EQ(idle.mat_.type(), CV_8UC1);
  EXPECT_EQ(cv::countNonZero(idle.mat_), 0);
  EXPECT_FALSE(idle.has_subscribers_);
  EXPECT_EQ(std::string(idle.node_->get_fully_qualified_name()), "/trace_" + idle.name_);
  EXPECT_EQ(std::string(idle.publisher_->get_topic_name()), "/trace/trace_" + idle.name_);
  EXPECT_EQ(idle.publisher_->get_queue_size(), 1U);
  EXPECT_THROW(TraceMat(nullptr, "none"), std::invalid_argument);
  Points points{{0, 0}, {3, 2}, {6, 4}};
  idle.setMatPointColor(points[1], 100);
  idle.setMatPointsColor(points, 100);
  idle.setMatLineColor(points, 100);
  idle.setMatPolygonColor(points, 100);
  EXPECT_EQ(cv::countNonZero(idle.mat_), 0);
  idle.publishCVMatAsGrid();
  EXPECT_EQ(idle.grid_msg_, OccupancyGrid());

  // A viewer that arrived after the reset is served from the next reset on, never before.
  std::optional<skelmar_test::Inbox<OccupancyGrid>> late;
  late.emplace(*peer.node, "trace/trace_" + idle.name_);
  ASSERT_TRUE(skelmar_test::waitFor([&] { return idle.publisher_->get_subscription_count() > 0; }));
  idle.setMatPointColor(points[1], 100);
  idle.publishCVMatAsGrid();
  EXPECT_EQ(idle.grid_msg_, OccupancyGrid());
  idle.reset();
  idle.setMatPointColor(points[0], 7);
  idle.publishCVMatAsGrid();
  ASSERT_TRUE(late->waitForCount(1));
  EXPECT_EQ(late->messages().back().data[0], 7);
  const OccupancyGrid sent = idle.grid_msg_;

  // Once the viewer has gone, the next reset stops drawing and sending.
  late.reset();
  peer.stop();  // an idle executor would hold the subscription's handle until it wakes
  ASSERT_TRUE(
      skelmar_test::waitFor([&] { return idle.publisher_->get_subscription_count() == 0; }));
  idle.reset();
  idle.setMatPointColor(points[0], 50);
  EXPECT_EQ(idle.getMatColor(points[0]), 0);
  idle.publishCVMatAsGrid();
  EXPECT_EQ(idle.grid_msg_, sent);
}

TEST_F(TraceMatTest, ResetFollowsTheCostmapSizeAndReusesTheRaster)
{
  auto grid_map = gridMap(6, 4);
  open(grid_map);
  trace->setMatPointColor(cv::Point(5, 3), 1);
  const unsigned char * buffer = trace->mat_.data;
  trace->reset();
  EXPECT_EQ(trace->mat_.data, buffer);
  EXPECT_EQ(cv::countNonZero(trace->mat_), 0);
  for (const cv::Size size : {cv::Size(12, 9), cv::Size(3, 2)}) {
    grid_map->multi_map->costmap->resizeMap(size.width, size.height, 0.05, 0.0, 0.0);
    trace->reset();
    EXPECT_EQ(trace->mat_.size(), size);
    EXPECT_EQ(trace->mat_.type(), CV_8UC1);
    trace->setMatPointColor(cv::Point(size.width - 1, size.height - 1), 1);
    const OccupancyGrid grid = published();
    EXPECT_EQ(grid.info.width, static_cast<unsigned>(size.width));
    EXPECT_EQ(grid.info.height, static_cast<unsigned>(size.height));
    ASSERT_EQ(grid.data.size(), static_cast<size_t>(size.area()));
    EXPECT_EQ(std::count(grid.data.begin(), grid.data.end(), 0), size.area() - 1);
    EXPECT_EQ(grid.data.back(), 1);
  }
}

TEST_F(TraceMatTest, DrawingColoursExactlyItsCellsInsideTheRaster)
{
  open(gridMap(8, 8));
  const auto line = [&](Points points) { trace->setMatLineColor(points, 100); };
  const auto outline = [&](Points points) { trace->setMatPolygonColor(points, 100); };
  const auto each = [&](Points points) { trace->setMatPointsColor(points, 100); };
  const struct
  {
    std::function<void(Points)> draw;
    Points points;
    Cells cells;
  } rows[] = {
      {line, {{0, 0}, {2, 1}}, {{0, 0}, {1, 0}, {2, 1}}},
      {line, {{0, 0}, {0, 3}}, {{0, 0}, {0, 1}, {0, 2}, {0, 3}}},
      {outline, {{0, 0}, {2, 0}, {2, 2}}, {{0, 0}, {1, 0}, {2, 0}, {2, 1}, {2, 2}, {1, 1}}},
      {line, {{5, 6}}, {{5, 6}}},
      {outline, {{5, 6}}, {{5, 6}}},
      {line, {}, {}},
      {outline, {}, {}},
      {each, {{1, 1}, {7, 7}, {1, 1}}, {{1, 1}, {7, 7}}},
      // Cells outside the raster are skipped; the part of a segment inside is still drawn.
      {each, {{-1, 0}, {8, 0}, {0, 8}, {3, 2}, {INT_MAX, INT_MIN}}, {{3, 2}}},
      {line, {{-3, 1}, {9, 1}}, {{0, 1}, {1, 1}, {2, 1}, {3, 1}, {4, 1}, {5, 1}, {6, 1}, {7, 1}}},
      {outline, {{-1, -1}, {8, -1}, {8, 8}, {-1, 8}}, {}},
  };
  for (const auto & row : rows) {
    trace->reset();
    row.draw(row.points);
    EXPECT_EQ(nonZeroCells(trace->mat_), row.cells) << "row " << &row - rows;
  }
  for (const cv::Point outside : {cv::Point(-1, 0), cv::Point(8, 0), cv::Point(INT_MAX, INT_MIN)}) {
    EXPECT_EQ(trace->getMatColor(outside), 0);
  }
}

// Lines from the centre to every border cell: one cell per step along the longer axis, both
// ends included, nothing outside the raster touched (checked under the sanitizers).
TEST_F(TraceMatTest, LineWalkTakesOneCellPerStepToEveryBorderCell)
{
  constexpr int kSize = 21;
  open(gridMap(kSize, kSize));
  const cv::Point centre(kSize / 2, kSize / 2);
  for (int i = 0; i < kSize; ++i) {
    for (const cv::Point target :
         {cv::Point(i, 0), cv::Point(i, kSize - 1), cv::Point(0, i), cv::Point(kSize - 1, i)}) {
      trace->reset();
      trace->setMatLineColor(Points{centre, target}, 1);
      const Cells cells = nonZeroCells(trace->mat_);
      const int dx = std::abs(target.x - centre.x);
      const int dy = std::abs(target.y - centre.y);
      ASSERT_EQ(cells.size(), static_cast<size_t>(std::max(dx, dy) + 1)) << target;
      EXPECT_EQ(cells.count({target.x, target.y}), 1U) << target;
      EXPECT_EQ(cells.count({centre.x, centre.y}), 1U) << target;
      std::set<int> major;
      for (const auto & [x, y] : cells) {
        major.insert(dx >= dy ? x : y);
      }
      EXPECT_EQ(major.size(), cells.size()) << target;
    }
  }
}

TEST_F(TraceMatTest, LineWalkStopsAfter10001Steps)
{
  const std::string kMessage = "bresenham is out of iteration(10000)";
  open(gridMap(10, 10));
  for (const cv::Point end : {cv::Point(10001, 0), cv::Point(10001, 10001), cv::Point(3, 10001)}) {
    trace->reset();
    EXPECT_NO_THROW(trace->setMatLineColor(Points{{0, 0}, end}, 1)) << end;
    EXPECT_EQ(trace->getMatColor({0, 0}), 1U);
  }
  for (const cv::Point end :
       {cv::Point(10002, 0), cv::Point(10002, 10002), cv::Point(0, -10002), cv::Point(-10002, 7),
        cv::Point(INT_MIN, INT_MIN)}) {
    EXPECT_EQ(walkError([&] { trace->setMatLineColor(Points{{0, 0}, end}, 1); }), kMessage) << end;
  }
  EXPECT_EQ(
      walkError([&] {
        trace->setMatLineColor(Points{{INT_MIN, INT_MIN}, {INT_MAX, INT_MAX}}, 1);
      }),
      kMessage);
  // Cells coloured before the failing segment stay coloured; nothing of it is.
  trace->reset();
  EXPECT_EQ(
      walkError([&] {
        trace->setMatLineColor(Points{{0, 0}, {3, 0}, {3, 10005}}, 2);
      }),
      kMessage);
  EXPECT_EQ(nonZeroCells(trace->mat_), (Cells{{0, 0}, {1, 0}, {2, 0}, {3, 0}}));
  // Only the closing edge of this polygon is too long.
  trace->reset();
  EXPECT_EQ(
      walkError([&] {
        trace->setMatPolygonColor(Points{{0, 9}, {6000, 9}, {12000, 9}}, 2);
      }),
      kMessage);
  EXPECT_EQ(cv::countNonZero(trace->mat_.row(9)), 10);
}

TEST_F(TraceMatTest, SetMatCopiesOrComplementsAndRejectsOtherTypes)
{
  open(gridMap(7, 5));
  cv::Mat source = (cv::Mat_<unsigned char>(2, 3) << 0, 255, 10, 1, 2, 3);
  trace->setMat(source, false);
  source.at<unsigned char>(0, 0) = 77;  // a copy, not a view
  EXPECT_EQ(trace->mat_.size(), cv::Size(3, 2));
  EXPECT_EQ(trace->getMatColor({0, 0}), 0);
  EXPECT_EQ(trace->getMatColor({2, 0}), 10);
  source.at<unsigned char>(0, 0) = 0;
  trace->setMat(source, true);
  EXPECT_EQ(nonZeroCells(trace->mat_ == 0), (Cells{{1, 0}}));
  EXPECT_EQ(trace->getMatColor({2, 1}), 252);
  EXPECT_EQ(source.at<unsigned char>(0, 1), 255);
  for (int type : {CV_16UC1, CV_8UC3, CV_32FC1, CV_8SC1}) {
    try {
      trace->setMat(cv::Mat(2, 2, type, cv::Scalar::all(1)), false);
      ADD_FAILURE() << "accepted " << cv::typeToString(type);
    } catch (const std::invalid_argument & e) {
      EXPECT_NE(std::string(e.what()).find(cv::typeToString(type)), std::string::npos) << e.what();
    }
    EXPECT_EQ(trace->mat_.size(), cv::Size(3, 2));
    EXPECT_EQ(trace->getMatColor({0, 0}), 255);
  }
  trace->reset();
  EXPECT_EQ(trace->mat_.size(), cv::Size(7, 5));
  EXPECT_EQ(cv::countNonZero(trace->mat_), 0);
}

TEST_F(TraceMatTest, GridLiesOverTheCostmapWithTheRastersSize)
{
  open(gridMap(7, 5, 0.05, 1.0, 2.0, "odom"));
  trace->setMatPointColor(cv::Point(0, 1), 100);
  const rclcpp::Time before = trace->node_->now();
  OccupancyGrid grid = published();
  EXPECT_EQ(grid, trace->grid_msg_);
  EXPECT_EQ(grid.header.frame_id, "odom");
  EXPECT_GE(rclcpp::Time(grid.header.stamp), before);
  EXPECT_LE(rclcpp::Time(grid.header.stamp), trace->node_->now());
  EXPECT_EQ(grid.info.map_load_time, builtin_interfaces::msg::Time());
  EXPECT_EQ(grid.info.resolution, 0.05F);
  EXPECT_EQ(grid.info.width, 7U);
  EXPECT_EQ(grid.info.height, 5U);
  // Cell (0, 0) is centred at (1.025, 2.025); half a cell is the single-precision 0.05 halved.
  const double half_cell = static_cast<double>(0.05F * 0.5F);
  EXPECT_EQ(grid.info.origin.position.x, 1.025 - half_cell);
  EXPECT_EQ(grid.info.origin.position.y, 2.025 - half_cell);
  EXPECT_EQ(grid.info.origin.position.z, 0.0);
  EXPECT_EQ(grid.info.origin.orientation, geometry_msgs::msg::Quaternion());
  std::vector<std::int8_t> data(35, 0);
  data[7] = 100;  // row 1, column 0
  EXPECT_EQ(grid.data, data);

  // A raster of another size keeps the costmap's resolution, origin and frame, and every
  // colour its bits (255 reads as -1).
  cv::Mat raster(16, 16, CV_8UC1);
  std::vector<std::int8_t> colours(256);
  for (int i = 0; i < 256; ++i) {
    raster.at<unsigned char>(i / 16, i % 16) = static_cast<unsigned char>(i);
    colours[i] = static_cast<std::int8_t>(i);
  }
  trace->setMat(raster, false);
  grid = published();
  EXPECT_EQ(grid.info.width, 16U);
  EXPECT_EQ(grid.info.height, 16U);
  EXPECT_EQ(grid.info.resolution, 0.05F);
  EXPECT_EQ(grid.info.origin.position.x, 1.025 - half_cell);
  EXPECT_EQ(grid.header.frame_id, "odom");
  EXPECT_EQ(grid.data, colours);
  EXPECT_EQ(trace->getMatColor({15, 15}), 255);
  // A raster that is a view into a wider matrix is sent as its own rows.
  cv::Mat wide(6, 10, CV_8UC1, cv::Scalar::all(9));
  wide(cv::Rect(2, 1, 4, 3)) = cv::Scalar::all(4);
  trace->mat_ = wide(cv::Rect(2, 1, 4, 3));
  EXPECT_EQ(published().data, std::vector<std::int8_t>(12, 4));
}

// Destroying a trace right after construction must not hang on its node thread, with or
// without a viewer listening.
TEST_F(TraceMatTest, ConstructAndDestroyRepeatedly)
{
  auto grid_map = gridMap(50, 40);
  const std::string name = skelmar_test::uniqueName("churn");
  skelmar_test::Inbox<OccupancyGrid> churn_viewer(*peer.node, "trace/trace_" + name);
  for (int i = 0; i < 200; ++i) {
    TraceMat churned(grid_map, name);
    if (churned.has_subscribers_) {
      churned.setMatLineColor(Points{{0, 0}, {49, 39}}, 1);
      churned.publishCVMatAsGrid();
    }
  }
  EXPECT_TRUE(rclcpp::ok());
}

}  // namespace
