// The trace raster: drawn only while someone listens, the exact cells of points, lines and
// outlines, and the occupancy grid laid over the costmap.

#include <gmock/gmock.h>

#include <climits>
#include <numeric>
#include <random>

#include <nav2_costmap_2d/costmap_2d.hpp>

#include "skelmar_nav2_tools/trace_mat.hpp"
#include "support/ros_test_support.hpp"

namespace {

using nav_msgs::msg::OccupancyGrid;
using skelmar_trace::TraceMat;
using testing::ThrowsMessage;
using Cells = std::vector<cv::Point>;
using Bytes = std::vector<std::int8_t>;

Cells cellsOf(const cv::Mat & raster)  // the cells not 0, row by row
{
  Cells cells;
  cv::findNonZero(raster, cells);
  return cells;
}

class TraceMatTest : public ::testing::Test
{
protected:
  // A trace over a costmap of x by y cells of 0.05 m from (1, 2) in "odom", whose viewer came
  // after its construction: only a reset, by default the one done here, lets it draw.
  void open(int x, int y, bool reset = true)
  {
    grid_map = std::make_shared<skelmar_nav2_gridmap::GridMapROS>(
        std::make_shared<nav2_costmap_2d::Costmap2D>(x, y, 0.05, 1.0, 2.0), "odom");
    trace.emplace(grid_map, skelmar_test::uniqueName("trace"));
    viewer.emplace(*peer.node, "trace/trace_" + trace->name_);
    ASSERT_TRUE(skelmar_test::waitFor([&] { return trace->publisher_->get_subscription_count(); }));
    if (reset) {
      trace->reset();
    }
  }
  OccupancyGrid published()
  {
    const size_t before = viewer->size();
    trace->publishCVMatAsGrid();
    EXPECT_TRUE(viewer->waitForCount(before + 1));
    return viewer->size() > before ? viewer->messages().back() : OccupancyGrid();
  }
  // The grid that lies over the costmap with w by h cells of data, stamped as @p sent.
  static OccupancyGrid over(const OccupancyGrid & sent, int w, int h, Bytes data)
  {
    OccupancyGrid grid;
    grid.header.set__frame_id("odom").set__stamp(sent.header.stamp);
    grid.info.set__resolution(0.05F).set__width(w).set__height(h);
    // Cell (0, 0) is centred at (1.025, 2.025); half a cell is the single-precision 0.05 halved.
    grid.info.origin.position.set__x(1.025 - 0.05F * 0.5F).set__y(2.025 - 0.05F * 0.5F);
    grid.data = std::move(data);
    return grid;
  }
  skelmar_test::SpunNode peer{"trace_viewer"};
  std::unique_ptr<nav2_util::NodeThread> spinning = skelmar_test::spin(peer);
  std::shared_ptr<skelmar_nav2_gridmap::GridMapROS> grid_map;
  std::optional<skelmar_test::Inbox<OccupancyGrid>> viewer;
  std::optional<TraceMat> trace;
};

TEST_F(TraceMatTest, SubscriberGateIsSampledAtReset)
{
  EXPECT_THROW(TraceMat(nullptr, "none"), std::invalid_argument);
  open(7, 5, false);
  EXPECT_EQ(trace->mat_.size(), cv::Size(7, 5));  // reset once at construction
  EXPECT_EQ(std::string(trace->node_->get_fully_qualified_name()), "/trace_" + trace->name_);
  EXPECT_EQ(trace->publisher_->get_queue_size(), 1U);
  const auto draw = [&](char colour) {
    const Cells points{{0, 0}, {3, 2}, {6, 4}};
    trace->setMatPointColor(points[1], colour);
    trace->setMatPointsColor(points, colour);
    trace->setMatLineColor(points, colour);
    trace->setMatPolygonColor(points, colour);
    trace->publishCVMatAsGrid();
  };
  draw(100);
  EXPECT_EQ(cv::countNonZero(trace->mat_), 0);
  EXPECT_EQ(trace->grid_msg_, OccupancyGrid());
  trace->reset();
  draw(7);
  ASSERT_TRUE(viewer->waitForCount(1));
  const OccupancyGrid sent = trace->grid_msg_;
  EXPECT_EQ(viewer->messages().back(), sent);
  EXPECT_EQ(sent.data.at(0), 7);
}

TEST_F(TraceMatTest, DrawingColoursExactlyItsCellsInsideTheRaster)
{
  open(8, 8);
  const std::tuple<char, Cells, Cells> rows[] = {
      // (l)ine, (o)utline, (p)oints
      {'l', {{0, 0}, {1, 2}}, {{0, 0}, {0, 1}, {1, 2}}},  // a tie goes along the longer axis
      {'o', {{0, 0}, {2, 0}, {2, 2}}, {{0, 0}, {1, 0}, {2, 0}, {1, 1}, {2, 1}, {2, 2}}},
      {'l', {{5, 6}}, {{5, 6}}},
      {'o', {{5, 6}}, {{5, 6}}},
      {'l', {}, {}},
      {'o', {}, {}},
      {'p', {{1, 1}, {7, 7}, {1, 1}}, {{1, 1}, {7, 7}}},
      // Cells outside the raster are skipped; the part of a segment inside is still drawn.
      {'p', {{-1, 0}, {8, 0}, {0, 8}, {3, 2}, {INT_MAX, INT_MIN}}, {{3, 2}}},
      {'l', {{-3, 1}, {9, 1}}, {{0, 1}, {1, 1}, {2, 1}, {3, 1}, {4, 1}, {5, 1}, {6, 1}, {7, 1}}},
      {'o', {{-1, -1}, {8, -1}, {8, 8}, {-1, 8}}, {}},
  };
  for (const auto & [kind, points, cells] : rows) {
    trace->reset();
    kind == 'l'   ? trace->setMatLineColor(points, 100)
    : kind == 'o' ? trace->setMatPolygonColor(points, 100)
                  : trace->setMatPointsColor(points, 100);
    EXPECT_EQ(cellsOf(trace->mat_), cells) << kind << testing::PrintToString(points);
  }
  trace->setMatPointColor({3, 4}, -1);
  EXPECT_EQ(trace->getMatColor({3, 4}), 255);
  for (const cv::Point outside : {cv::Point(-1, 0), cv::Point(8, 0), cv::Point(INT_MAX, INT_MIN)}) {
    EXPECT_EQ(trace->getMatColor(outside), 0);
  }
}

TEST_F(TraceMatTest, LineWalkTakesOneCellPerStepAndStopsAfter10001Steps)
{
  open(40, 30);
  std::mt19937 rng(7);
  for (int i = 0; i < 2000; ++i) {
    const cv::Point a(rng() % 40, rng() % 30), b(rng() % 40, rng() % 30), d = b - a;
    trace->reset();
    trace->setMatLineColor({a, b}, 1);
    const Cells cells = cellsOf(trace->mat_);
    const int steps = std::max(std::abs(d.x), std::abs(d.y));
    // One cell per step along the longer axis, both ends included, each the nearest to the
    // ideal line across it.
    std::set<int> major;
    for (const auto & [x, y] : cells) {
      major.insert(std::abs(d.x) >= std::abs(d.y) ? x : y);
      ASSERT_LE(2 * std::abs((y - a.y) * d.x - (x - a.x) * d.y), steps) << a << b << x << y;
    }
    ASSERT_TRUE(major.size() == steps + 1U && cells.size() == steps + 1U) << a << b;
    ASSERT_TRUE(
        std::count(cells.begin(), cells.end(), a) && std::count(cells.begin(), cells.end(), b))
        << a << b;
  }
  const auto refused =
      ThrowsMessage<std::runtime_error>(testing::StrEq("bresenham is out of iteration(10000)"));
  for (const cv::Point end : {cv::Point(10001, 0), cv::Point(3, 10001)}) {
    EXPECT_NO_THROW(trace->setMatLineColor({{0, 0}, end}, 2)) << end;
  }
  for (const cv::Point end : {cv::Point(10002, 0), cv::Point(0, -10002)}) {
    EXPECT_THAT([&] { trace->setMatLineColor({{0, 0}, end}, 2); }, refused) << end;
  }
  EXPECT_THAT(
      [&] {
        trace->setMatLineColor({{INT_MIN, INT_MIN}, {INT_MAX, INT_MAX}}, 2);
      },
      refused);
  trace->reset();  // what was coloured before the refused segment stays, nothing of it
  EXPECT_THAT([&] { trace->setMatLineColor({{0, 0}, {3, 0}, {3, 10005}}, 2); }, refused);
  EXPECT_EQ(cellsOf(trace->mat_), (Cells{{0, 0}, {1, 0}, {2, 0}, {3, 0}}));
}

// A copy or the complement, kept at its own size until the next reset, and sent with the
// costmap's resolution, origin and frame, every colour its bits (255 reads as -1); a view into
// a wider matrix is sent as its own rows.
TEST_F(TraceMatTest, SetMatCopiesOrComplementsAndRejectsOtherTypes)
{
  open(7, 5);
  cv::Mat source = (cv::Mat_<unsigned char>(2, 3) << 0, 255, 10, 1, 2, 3);
  trace->setMat(source, false);
  source.at<unsigned char>(0, 0) = 77;  // a copy, not a view
  EXPECT_EQ(trace->mat_.size(), cv::Size(3, 2));
  EXPECT_EQ(cellsOf(trace->mat_), (Cells{{1, 0}, {2, 0}, {0, 1}, {1, 1}, {2, 1}}));
  EXPECT_EQ(trace->getMatColor({2, 0}), 10);
  source.at<unsigned char>(0, 0) = 0;
  trace->setMat(source, true);
  EXPECT_EQ(source.at<unsigned char>(0, 1), 255);
  for (int type : {CV_16UC1, CV_8UC3, CV_32FC1, CV_8SC1}) {
    EXPECT_THAT(
        [&] { trace->setMat(cv::Mat(2, 2, type, cv::Scalar::all(1)), false); },
        ThrowsMessage<std::invalid_argument>(testing::HasSubstr(cv::typeToString(type))));
    EXPECT_EQ(cellsOf(trace->mat_ == 0), (Cells{{1, 0}}));  // the complement, unchanged
    EXPECT_EQ(trace->getMatColor({2, 1}), 252);
  }
  Bytes colours(256);
  std::iota(colours.begin(), colours.end(), 0);
  trace->setMat(cv::Mat(16, 16, CV_8UC1, colours.data()), false);
  const OccupancyGrid replaced = published();
  EXPECT_EQ(replaced, over(replaced, 16, 16, colours));
  cv::Mat wide(6, 10, CV_8UC1);
  std::iota(wide.begin<unsigned char>(), wide.end<unsigned char>(), 0);
  trace->mat_ = wide(cv::Rect(2, 1, 4, 3));
  EXPECT_EQ(published().data, (Bytes{12, 13, 14, 15, 22, 23, 24, 25, 32, 33, 34, 35}));
  trace->reset();
  EXPECT_EQ(trace->mat_.size(), cv::Size(7, 5));
  EXPECT_EQ(cv::countNonZero(trace->mat_), 0);
}

// The grid takes the costmap's frame, resolution and origin, and the raster's size and bytes;
// reset follows the costmap's size, zeroing the raster in place while it stays.
TEST_F(TraceMatTest, GridLiesOverTheCostmapAndResetFollowsItsSize)
{
  open(7, 5);
  trace->setMatPointColor({0, 1}, 100);
  const unsigned char * buffer = trace->mat_.data;
  trace->reset();
  EXPECT_EQ(trace->mat_.data, buffer);
  EXPECT_EQ(cv::countNonZero(trace->mat_), 0);
  const rclcpp::Time before = trace->node_->now();
  for (const cv::Size size : {cv::Size(7, 5), cv::Size(7, 9), cv::Size(3, 9)}) {  // sharing a side
    grid_map->multi_map->costmap->resizeMap(size.width, size.height, 0.05, 1.0, 2.0);
    trace->reset();
    trace->setMatPointColor({size.width - 1, 1}, 100);
    Bytes data(size.area(), 0);
    data[2 * size.width - 1] = 100;  // row 1, last column
    const OccupancyGrid grid = published();
    EXPECT_LE(before, rclcpp::Time(grid.header.stamp));
    EXPECT_EQ(grid, over(grid, size.width, size.height, data));
  }
}

// Destroying a trace right after construction must not hang on its node thread, with or
// without a viewer listening.
TEST_F(TraceMatTest, ConstructAndDestroyRepeatedly)
{
  open(50, 40);
  const std::string name = trace->name_;
  trace.reset();
  for (int i = 0; i < 200; ++i) {
    TraceMat churned(grid_map, name);
    if (churned.has_subscribers_) {
      churned.setMatLineColor({{0, 0}, {49, 39}}, 1);
      churned.publishCVMatAsGrid();
    }
  }
  EXPECT_TRUE(rclcpp::ok());
}

}  // namespace
