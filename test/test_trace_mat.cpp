#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <nav2_costmap_2d/costmap_2d.hpp>
#include <nav_msgs/msg/occupancy_grid.hpp>
#include <rclcpp/rclcpp.hpp>
#include <skelmar_nav2_gridmap/grid_map_ros.hpp>

#include "node_thread_start.hpp"
#include "skelmar_nav2_tools/trace_mat.hpp"
#include "support/ros_test_support.hpp"

namespace {

using nav_msgs::msg::OccupancyGrid;
using skelmar_trace::TraceMat;
using Cells = std::set<std::pair<int, int>>;  // (x, y)

std::shared_ptr<skelmar_nav2_gridmap::GridMapROS> makeGridMap(
    unsigned int size_x, unsigned int size_y, double resolution = 0.05, double origin_x = 0.0,
    double origin_y = 0.0, const std::string & frame = "map")
{
  auto costmap =
      std::make_shared<nav2_costmap_2d::Costmap2D>(size_x, size_y, resolution, origin_x, origin_y);
  return std::make_shared<skelmar_nav2_gridmap::GridMapROS>(costmap, frame);
}

// A map viewer: its own node subscribed to a trace topic, keeping every grid it receives.
class Viewer
{
public:
  explicit Viewer(const std::string & trace_name)
      : node_(std::make_shared<rclcpp::Node>(skelmar_test::uniqueName("trace_viewer")))
  {
    subscription_ = node_->create_subscription<OccupancyGrid>(
        "trace/trace_" + trace_name, rclcpp::QoS(10), [this](OccupancyGrid::ConstSharedPtr msg) {
          std::lock_guard<std::mutex> lock(mutex_);
          received_.push_back(*msg);
        });
    thread_ = skelmar_internal::startNodeThread(node_->get_node_base_interface());
  }

  ~Viewer()
  {
    thread_.reset();
  }

  std::size_t count()
  {
    std::lock_guard<std::mutex> lock(mutex_);
    return received_.size();
  }

  OccupancyGrid last()
  {
    std::lock_guard<std::mutex> lock(mutex_);
    return received_.back();
  }

  // Publishes the trace and returns the grid this viewer receives from it.
  OccupancyGrid receive(TraceMat & trace)
  {
    const std::size_t before = count();
    trace.publishCVMatAsGrid();
    EXPECT_TRUE(skelmar_test::waitFor([&] { return count() > before; }));
    return count() > before ? last() : OccupancyGrid();
  }

private:
  std::shared_ptr<rclcpp::Node> node_;
  rclcpp::Subscription<OccupancyGrid>::SharedPtr subscription_;
  std::unique_ptr<nav2_util::NodeThread> thread_;
  std::mutex mutex_;
  std::vector<OccupancyGrid> received_;
};

// Waits until the trace sees the viewer, then starts a cycle that will be sent.
void resetWithViewer(TraceMat & trace)
{
  ASSERT_TRUE(
      skelmar_test::waitFor([&] { return trace.publisher_->get_subscription_count() > 0; }));
  trace.reset();
  ASSERT_TRUE(trace.has_subscribers_);
}

Cells nonZeroCells(const OccupancyGrid & grid)
{
  Cells cells;
  for (std::size_t i = 0; i < grid.data.size(); ++i) {
    if (grid.data[i] != 0) {
      cells.emplace(static_cast<int>(i % grid.info.width), static_cast<int>(i / grid.info.width));
    }
  }
  return cells;
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

// Runs a drawing call expected to fail and returns its message.
template <typename Call>
std::string walkError(Call call)
{
  try {
    call();
  } catch (const std::runtime_error & e) {
    return e.what();
  }
  return "no exception";
}

TEST(TraceMatTest, FreshTraceIsZeroAndSendsNothingWithoutSubscriberAtLastReset)
{
  auto gridmap = makeGridMap(7, 5);
  TraceMat trace(gridmap, skelmar_test::uniqueName("idle"));
  EXPECT_EQ(trace.mat_.rows, 5);
  EXPECT_EQ(trace.mat_.cols, 7);
  EXPECT_EQ(trace.mat_.type(), CV_8UC1);
  EXPECT_EQ(cv::countNonZero(trace.mat_), 0);
  EXPECT_FALSE(trace.has_subscribers_);

  std::vector<cv::Point> points{{0, 0}, {3, 2}, {6, 4}};
  trace.setMatPointColor(points[1], 100);
  trace.setMatPointsColor(points, 100);
  trace.setMatLineColor(points, 100);
  trace.setMatPolygonColor(points, 100);
  EXPECT_EQ(cv::countNonZero(trace.mat_), 0);
  EXPECT_EQ(trace.getMatColor(points[1]), 0);
  trace.publishCVMatAsGrid();
  EXPECT_EQ(trace.grid_msg_, OccupancyGrid());

  // A viewer arriving after the reset is served from the next reset on, never before.
  Viewer viewer(trace.name_);
  ASSERT_TRUE(
      skelmar_test::waitFor([&] { return trace.publisher_->get_subscription_count() > 0; }));
  trace.setMatPointColor(points[1], 100);
  trace.publishCVMatAsGrid();
  EXPECT_EQ(trace.grid_msg_, OccupancyGrid());
  trace.reset();
  trace.setMatPointColor(points[0], 7);
  const OccupancyGrid grid = viewer.receive(trace);
  EXPECT_EQ(viewer.count(), 1U);
  EXPECT_EQ(nonZeroCells(grid), (Cells{{0, 0}}));
}

TEST(TraceMatTest, MessageUntouchedOnceSubscriberLeftBeforeReset)
{
  auto gridmap = makeGridMap(4, 3);
  TraceMat trace(gridmap, skelmar_test::uniqueName("left"));
  auto viewer = std::make_unique<Viewer>(trace.name_);
  resetWithViewer(trace);
  cv::Point cell(1, 1);
  trace.setMatPointColor(cell, 9);
  viewer->receive(trace);
  const OccupancyGrid sent = trace.grid_msg_;
  ASSERT_EQ(sent.data.size(), 12U);

  viewer.reset();
  ASSERT_TRUE(
      skelmar_test::waitFor([&] { return trace.publisher_->get_subscription_count() == 0; }));
  trace.reset();
  EXPECT_FALSE(trace.has_subscribers_);
  trace.setMatPointColor(cell, 50);
  EXPECT_EQ(trace.getMatColor(cell), 0);
  trace.publishCVMatAsGrid();
  EXPECT_EQ(trace.grid_msg_, sent);
}

TEST(TraceMatTest, ResetFollowsCostmapSizeAndReusesRaster)
{
  auto gridmap = makeGridMap(6, 4);
  TraceMat trace(gridmap, skelmar_test::uniqueName("resize"));
  Viewer viewer(trace.name_);
  resetWithViewer(trace);
  cv::Point cell(5, 3);
  trace.setMatPointColor(cell, 1);
  const unsigned char * buffer = trace.mat_.data;
  trace.reset();
  EXPECT_EQ(trace.mat_.data, buffer);
  EXPECT_EQ(cv::countNonZero(trace.mat_), 0);

  auto * costmap = gridmap->multi_map->costmap;
  costmap->resizeMap(12, 9, 0.05, 0.0, 0.0);
  trace.reset();
  EXPECT_EQ(trace.mat_.size(), cv::Size(12, 9));
  cv::Point far_cell(11, 8);
  trace.setMatPointColor(far_cell, 1);
  OccupancyGrid grid = viewer.receive(trace);
  EXPECT_EQ(grid.info.width, 12U);
  EXPECT_EQ(grid.info.height, 9U);
  EXPECT_EQ(nonZeroCells(grid), (Cells{{11, 8}}));

  costmap->resizeMap(3, 2, 0.05, 0.0, 0.0);
  trace.reset();
  EXPECT_EQ(trace.mat_.size(), cv::Size(3, 2));
  EXPECT_EQ(trace.mat_.type(), CV_8UC1);
  grid = viewer.receive(trace);
  EXPECT_EQ(grid.info.width, 3U);
  EXPECT_EQ(grid.info.height, 2U);
  EXPECT_EQ(grid.data, std::vector<std::int8_t>(6, 0));
}

TEST(TraceMatTest, LinesAndPolygonsColourExactlyTheirCells)
{
  auto gridmap = makeGridMap(8, 8);
  TraceMat trace(gridmap, skelmar_test::uniqueName("shapes"));
  Viewer viewer(trace.name_);
  resetWithViewer(trace);

  std::vector<cv::Point> line{{0, 0}, {2, 1}};
  trace.setMatLineColor(line, 100);
  EXPECT_EQ(nonZeroCells(viewer.receive(trace)), (Cells{{0, 0}, {1, 0}, {2, 1}}));

  trace.reset();
  std::vector<cv::Point> vertical{{0, 0}, {0, 3}};
  trace.setMatLineColor(vertical, 100);
  EXPECT_EQ(nonZeroCells(viewer.receive(trace)), (Cells{{0, 0}, {0, 1}, {0, 2}, {0, 3}}));

  trace.reset();
  std::vector<cv::Point> triangle{{0, 0}, {2, 0}, {2, 2}};
  trace.setMatPolygonColor(triangle, 100);
  EXPECT_EQ(
      nonZeroCells(viewer.receive(trace)), (Cells{{0, 0}, {1, 0}, {2, 0}, {2, 1}, {2, 2}, {1, 1}}));

  std::vector<cv::Point> single{{5, 6}};
  std::vector<cv::Point> empty;
  for (bool closed : {false, true}) {
    trace.reset();
    if (closed) {
      trace.setMatPolygonColor(single, 100);
      trace.setMatPolygonColor(empty, 100);
    } else {
      trace.setMatLineColor(single, 100);
      trace.setMatLineColor(empty, 100);
    }
    EXPECT_EQ(nonZeroCells(viewer.receive(trace)), (Cells{{5, 6}})) << "closed " << closed;
  }

  trace.reset();
  std::vector<cv::Point> points{{1, 1}, {7, 7}, {1, 1}};
  trace.setMatPointsColor(points, 3);
  EXPECT_EQ(nonZeroCells(viewer.receive(trace)), (Cells{{1, 1}, {7, 7}}));
}

// Lines from the centre to every border cell: one cell per step along the longer axis,
// both ends included, and nothing outside the raster touched (checked under the sanitizers).
TEST(TraceMatTest, LineWalkTakesOneCellPerStepToEveryBorderCell)
{
  constexpr int kSize = 21;
  auto gridmap = makeGridMap(kSize, kSize);
  TraceMat trace(gridmap, skelmar_test::uniqueName("border"));
  Viewer viewer(trace.name_);
  resetWithViewer(trace);
  const cv::Point centre(kSize / 2, kSize / 2);
  std::vector<cv::Point> targets;
  for (int i = 0; i < kSize; ++i) {
    targets.insert(targets.end(), {{i, 0}, {i, kSize - 1}, {0, i}, {kSize - 1, i}});
  }
  for (const cv::Point & target : targets) {
    trace.reset();
    std::vector<cv::Point> line{centre, target};
    trace.setMatLineColor(line, 1);
    const Cells cells = nonZeroCells(trace.mat_);
    const bool x_major = std::abs(target.x - centre.x) >= std::abs(target.y - centre.y);
    const int steps = std::max(std::abs(target.x - centre.x), std::abs(target.y - centre.y));
    ASSERT_EQ(cells.size(), static_cast<std::size_t>(steps + 1)) << target;
    EXPECT_EQ(cells.count({target.x, target.y}), 1U) << target;
    EXPECT_EQ(cells.count({centre.x, centre.y}), 1U) << target;
    std::set<int> major;
    for (const auto & cell : cells) {
      major.insert(x_major ? cell.first : cell.second);
    }
    EXPECT_EQ(major.size(), cells.size()) << target;
  }
}

TEST(TraceMatTest, CellsOutsideTheRasterAreSkipped)
{
  auto gridmap = makeGridMap(7, 5);
  TraceMat trace(gridmap, skelmar_test::uniqueName("outside"));
  Viewer viewer(trace.name_);
  resetWithViewer(trace);

  std::vector<cv::Point> points{{-1, 0}, {7, 0}, {0, 5}, {3, 2}, {INT_MAX, INT_MIN}};
  trace.setMatPointsColor(points, 5);
  trace.setMatPointColor(points[0], 5);
  EXPECT_EQ(nonZeroCells(viewer.receive(trace)), (Cells{{3, 2}}));
  EXPECT_EQ(trace.getMatColor(points[0]), 0);
  EXPECT_EQ(trace.getMatColor(points[4]), 0);

  // The in-raster part of a segment that enters and leaves is still coloured.
  trace.reset();
  std::vector<cv::Point> crossing{{-3, 1}, {9, 1}};
  trace.setMatLineColor(crossing, 5);
  Cells row;
  for (int x = 0; x < 7; ++x) {
    row.emplace(x, 1);
  }
  EXPECT_EQ(nonZeroCells(viewer.receive(trace)), row);

  // A polygon around the raster has its outline outside: nothing is coloured.
  trace.reset();
  std::vector<cv::Point> around{{-1, -1}, {7, -1}, {7, 5}, {-1, 5}};
  trace.setMatPolygonColor(around, 5);
  EXPECT_EQ(cv::countNonZero(trace.mat_), 0);
}

TEST(TraceMatTest, LineWalkStopsAfter10001Steps)
{
  const std::string kMessage = "bresenham is out of iteration(10000)";
  auto gridmap = makeGridMap(10, 10);
  TraceMat trace(gridmap, skelmar_test::uniqueName("cap"));
  Viewer viewer(trace.name_);
  resetWithViewer(trace);

  for (const cv::Point & end :
       {cv::Point(10001, 0), cv::Point(10001, 10001), cv::Point(3, 10001)}) {
    trace.reset();
    std::vector<cv::Point> line{{0, 0}, end};
    EXPECT_NO_THROW(trace.setMatLineColor(line, 1)) << end;
    EXPECT_EQ(trace.getMatColor({0, 0}), 1U);
  }
  for (const cv::Point & end :
       {cv::Point(10002, 0), cv::Point(10002, 10002), cv::Point(0, -10002), cv::Point(-10002, 7)}) {
    std::vector<cv::Point> line{{0, 0}, end};
    EXPECT_EQ(walkError([&] { trace.setMatLineColor(line, 1); }), kMessage) << end;
  }
  std::vector<cv::Point> extreme{{INT_MIN, INT_MIN}, {INT_MAX, INT_MAX}};
  EXPECT_EQ(walkError([&] { trace.setMatLineColor(extreme, 1); }), kMessage);

  // Cells coloured before the failing segment stay coloured; nothing of it is.
  trace.reset();
  std::vector<cv::Point> polyline{{0, 0}, {3, 0}, {3, 10005}};
  EXPECT_EQ(walkError([&] { trace.setMatLineColor(polyline, 2); }), kMessage);
  EXPECT_EQ(nonZeroCells(viewer.receive(trace)), (Cells{{0, 0}, {1, 0}, {2, 0}, {3, 0}}));

  // Only the closing edge of this polygon is too long.
  trace.reset();
  std::vector<cv::Point> polygon{{0, 9}, {6000, 9}, {12000, 9}};
  EXPECT_EQ(walkError([&] { trace.setMatPolygonColor(polygon, 2); }), kMessage);
  EXPECT_EQ(cv::countNonZero(trace.mat_.row(9)), 10);
}

TEST(TraceMatTest, ColoursKeepTheirBitsInRasterAndGrid)
{
  auto gridmap = makeGridMap(16, 16);
  TraceMat trace(gridmap, skelmar_test::uniqueName("colours"));
  Viewer viewer(trace.name_);
  resetWithViewer(trace);
  for (int i = 0; i < 256; ++i) {
    cv::Point cell(i % 16, i / 16);
    trace.setMatPointColor(cell, static_cast<char>(i));
  }
  const OccupancyGrid grid = viewer.receive(trace);
  ASSERT_EQ(grid.data.size(), 256U);
  for (int i = 0; i < 256; ++i) {
    cv::Point cell(i % 16, i / 16);
    EXPECT_EQ(trace.getMatColor(cell), i);
    EXPECT_EQ(grid.data[i], static_cast<std::int8_t>(i));
  }
  cv::Point unknown(15, 15);
  trace.setMatPointColor(unknown, -1);
  EXPECT_EQ(trace.getMatColor(unknown), 255);
  EXPECT_EQ(viewer.receive(trace).data[255], -1);
}

TEST(TraceMatTest, SetMatCopiesOrComplementsAndRejectsOtherTypes)
{
  auto gridmap = makeGridMap(7, 5);
  TraceMat trace(gridmap, skelmar_test::uniqueName("setmat"));
  cv::Mat source = (cv::Mat_<unsigned char>(2, 3) << 0, 255, 10, 1, 2, 3);

  trace.setMat(source, false);
  source.at<unsigned char>(0, 0) = 77;
  EXPECT_EQ(trace.mat_.size(), cv::Size(3, 2));
  EXPECT_EQ(trace.getMatColor({0, 0}), 0);
  EXPECT_EQ(trace.getMatColor({2, 0}), 10);

  source.at<unsigned char>(0, 0) = 0;
  trace.setMat(source, true);
  EXPECT_EQ(trace.getMatColor({0, 0}), 255);
  EXPECT_EQ(trace.getMatColor({1, 0}), 0);
  EXPECT_EQ(trace.getMatColor({2, 0}), 245);
  EXPECT_EQ(trace.getMatColor({2, 1}), 252);
  EXPECT_EQ(source.at<unsigned char>(0, 1), 255);

  for (int type : {CV_16UC1, CV_8UC3, CV_32FC1, CV_8SC1}) {
    cv::Mat other(2, 2, type, cv::Scalar::all(1));
    try {
      trace.setMat(other, false);
      ADD_FAILURE() << "accepted " << cv::typeToString(type);
    } catch (const std::invalid_argument & e) {
      EXPECT_NE(std::string(e.what()).find(cv::typeToString(type)), std::string::npos) << e.what();
    }
    EXPECT_EQ(trace.mat_.size(), cv::Size(3, 2));
    EXPECT_EQ(trace.getMatColor({0, 0}), 255);
  }

  trace.reset();
  EXPECT_EQ(trace.mat_.size(), cv::Size(7, 5));
  EXPECT_EQ(cv::countNonZero(trace.mat_), 0);
}

TEST(TraceMatTest, GridLiesOverTheCostmap)
{
  auto gridmap = makeGridMap(7, 5, 0.05, 1.0, 2.0, "odom");
  TraceMat trace(gridmap, skelmar_test::uniqueName("geometry"));
  Viewer viewer(trace.name_);
  resetWithViewer(trace);
  cv::Point cell(0, 1);
  trace.setMatPointColor(cell, 100);
  const rclcpp::Time before = trace.node_->now();
  const OccupancyGrid grid = viewer.receive(trace);
  const rclcpp::Time after = trace.node_->now();

  EXPECT_EQ(grid, trace.grid_msg_);
  EXPECT_EQ(grid.header.frame_id, "odom");
  EXPECT_GE(rclcpp::Time(grid.header.stamp), before);
  EXPECT_LE(rclcpp::Time(grid.header.stamp), after);
  EXPECT_EQ(grid.info.map_load_time, builtin_interfaces::msg::Time());
  EXPECT_EQ(grid.info.resolution, 0.05F);
  EXPECT_EQ(grid.info.width, 7U);
  EXPECT_EQ(grid.info.height, 5U);
  // Cell (0, 0) is centred at (1.025, 2.025); half a cell is the single-precision 0.05 halved.
  const double half_cell = static_cast<double>(0.05F * 0.5F);
  EXPECT_EQ(grid.info.origin.position.x, 1.025 - half_cell);
  EXPECT_EQ(grid.info.origin.position.y, 2.025 - half_cell);
  EXPECT_NEAR(grid.info.origin.position.x, 1.0, 1e-6);
  EXPECT_NEAR(grid.info.origin.position.y, 2.0, 1e-6);
  EXPECT_EQ(grid.info.origin.position.z, 0.0);
  EXPECT_EQ(grid.info.origin.orientation, geometry_msgs::msg::Quaternion());
  ASSERT_EQ(grid.data.size(), 35U);
  EXPECT_EQ(grid.data[7], 100);  // row 1, column 0
  EXPECT_EQ(nonZeroCells(grid), (Cells{{0, 1}}));
}

TEST(TraceMatTest, RasterOfAnotherSizeIsSentWithTheCostmapGeometry)
{
  auto gridmap = makeGridMap(7, 5, 0.1, -3.0, 4.0, "map");
  TraceMat trace(gridmap, skelmar_test::uniqueName("other_size"));
  Viewer viewer(trace.name_);
  resetWithViewer(trace);
  cv::Mat raster(3, 4, CV_8UC1);
  for (int i = 0; i < 12; ++i) {
    raster.at<unsigned char>(i / 4, i % 4) = static_cast<unsigned char>(i + 1);
  }
  trace.setMat(raster, false);
  const OccupancyGrid grid = viewer.receive(trace);
  EXPECT_EQ(grid.info.width, 4U);
  EXPECT_EQ(grid.info.height, 3U);
  EXPECT_EQ(grid.info.resolution, 0.1F);
  const double half_cell = static_cast<double>(0.1F * 0.5F);
  EXPECT_EQ(grid.info.origin.position.x, -3.0 + 0.05 - half_cell);
  EXPECT_EQ(grid.info.origin.position.y, 4.0 + 0.05 - half_cell);
  EXPECT_EQ(grid.header.frame_id, "map");
  ASSERT_EQ(grid.data.size(), 12U);
  for (int i = 0; i < 12; ++i) {
    EXPECT_EQ(grid.data[i], i + 1);
  }

  // A raster placed directly as a view into a wider matrix is sent as its own rows, not with
  // its parent's stride.
  cv::Mat wide(6, 10, CV_8UC1, cv::Scalar::all(9));
  wide(cv::Rect(2, 1, 4, 3)) = cv::Scalar::all(4);
  trace.mat_ = wide(cv::Rect(2, 1, 4, 3));
  EXPECT_EQ(viewer.receive(trace).data, std::vector<std::int8_t>(12, 4));
}

TEST(TraceMatTest, NamesNodeAndTopicAfterTheTrace)
{
  auto gridmap = makeGridMap(2, 2);
  const std::string name = skelmar_test::uniqueName("named");
  TraceMat trace(gridmap, name);
  EXPECT_EQ(trace.name_, name);
  EXPECT_EQ(std::string(trace.node_->get_fully_qualified_name()), "/trace_" + name);
  EXPECT_EQ(std::string(trace.publisher_->get_topic_name()), "/trace/trace_" + name);
  EXPECT_EQ(trace.publisher_->get_queue_size(), 1U);
}

TEST(TraceMatTest, RejectsMissingGridMap)
{
  std::shared_ptr<skelmar_nav2_gridmap::GridMapROS> none;
  EXPECT_THROW(TraceMat(none, "none"), std::invalid_argument);
}

// Destroying a trace right after construction must not hang on its node thread, with or
// without a viewer listening.
TEST(TraceMatTest, ConstructAndDestroyRepeatedly)
{
  auto gridmap = makeGridMap(50, 40);
  const std::string name = skelmar_test::uniqueName("churn");
  Viewer viewer(name);
  for (int i = 0; i < 200; ++i) {
    TraceMat trace(gridmap, name);
    if (trace.has_subscribers_) {
      std::vector<cv::Point> line{{0, 0}, {49, 39}};
      trace.setMatLineColor(line, 1);
      trace.publishCVMatAsGrid();
    }
  }
  EXPECT_TRUE(rclcpp::ok());
}

}  // namespace

int main(int argc, char ** argv)
{
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::AddGlobalTestEnvironment(new skelmar_test::RosEnvironment());
  return RUN_ALL_TESTS();
}
