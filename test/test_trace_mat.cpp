// The trace raster: drawn only while someone listens, its exact cells, and the grid it sends.

#include <gmock/gmock.h>

#include <climits>
#include <numeric>

#include "skelmar_nav2_tools/trace_mat.hpp"
#include "support/ros_test_support.hpp"

namespace {

using nav_msgs::msg::OccupancyGrid;
using skelmar_trace::TraceMat;
using Cells = std::vector<cv::Point>;
using Bytes = std::vector<std::int8_t>;

class TraceMatTest : public ::testing::Test
{
protected:
  // x by y cells of 0.05 m from (1, 2) in "odom"; the viewer, added later, counts from a reset.
  void open(int x, int y)
  {
    grid_map = std::make_shared<skelmar_nav2_gridmap::GridMapROS>(
        std::make_shared<nav2_costmap_2d::Costmap2D>(x, y, 0.05, 1.0, 2.0), "odom");
    trace.emplace(grid_map, skelmar_test::uniqueName("trace"));
    viewer.emplace(*trace->node_, "trace/trace_" + trace->name_);
    ASSERT_TRUE(skelmar_test::waitFor([&] { return trace->publisher_->get_subscription_count(); }));
  }
  // The bytes the viewer gets in rows of @p width, placed as the costmap (single precision).
  Bytes published(unsigned width)
  {
    const size_t before = viewer->messages().size();
    trace->publishCVMatAsGrid();
    auto sent = viewer->waitForCount(before + 1) ? viewer->messages().back() : OccupancyGrid();
    const geometry_msgs::msg::Point & corner = sent.info.origin.position;
    EXPECT_EQ(
        std::tuple(sent.header.frame_id, sent.info.resolution, corner.x, corner.y, sent.info.width),
        std::tuple("odom", 0.05F, 1.025 - 0.05F * 0.5F, 2.025 - 0.05F * 0.5F, width));
    EXPECT_EQ(sent.info.height * width, sent.data.size());
    return sent.data;
  }
  std::shared_ptr<skelmar_nav2_gridmap::GridMapROS> grid_map;
  std::optional<skelmar_test::Inbox<OccupancyGrid>> viewer;
  std::optional<TraceMat> trace;
};

// Nothing drawn or sent unless someone listened at the last reset; then exact cells, clipped.
TEST_F(TraceMatTest, DrawingColoursExactlyItsCellsInsideTheRaster)
{
  open(8, 8);
  const auto coloured = [&] {  // the raster's cells not 0, row by row
    Cells cells;
    cv::findNonZero(trace->mat_, cells);
    return cells;
  };
  const auto line = &TraceMat::setMatLineColor, outline = &TraceMat::setMatPolygonColor,
             points = &TraceMat::setMatPointsColor;
  const std::tuple<decltype(line), Cells, Cells> rows[] = {
      {line, {{0, 0}, {1, 2}}, {{0, 0}, {0, 1}, {1, 2}}},  // a tie goes along the longer axis
      {line, {{0, 7}, {7, 4}}, {{6, 4}, {7, 4}, {4, 5}, {5, 5}, {2, 6}, {3, 6}, {0, 7}, {1, 7}}},
      {outline, {{0, 0}, {2, 0}, {2, 2}}, {{0, 0}, {1, 0}, {2, 0}, {1, 1}, {2, 1}, {2, 2}}},
      {line, {{5, 6}}, {{5, 6}}},
      {points, {{-1, 0}, {8, 0}, {0, 8}, {3, 2}, {INT_MAX, INT_MIN}}, {{3, 2}}},
      {line, {{-3, 1}, {9, 1}}, {{0, 1}, {1, 1}, {2, 1}, {3, 1}, {4, 1}, {5, 1}, {6, 1}, {7, 1}}},
      {outline, {{-1, -1}, {8, -1}, {8, 8}, {-1, 8}}, {}}};
  trace->setMatPointColor({3, 2}, 100);
  for (const bool listened : {false, true}) {
    for (const auto & [draw, drawn, cells] : rows) {
      if (listened) {
        trace->reset();  // the viewer counts from a reset on
      }
      ((*trace).*draw)(drawn, 100);
      EXPECT_EQ(coloured(), listened ? cells : Cells()) << testing::PrintToString(drawn);
    }
    trace->publishCVMatAsGrid();
    EXPECT_EQ(trace->grid_msg_.data.size(), listened ? 64U : 0U);
  }
  for (const cv::Point outside : {cv::Point(-1, 0), cv::Point(8, 0), cv::Point(INT_MAX, INT_MIN)}) {
    EXPECT_EQ(trace->getMatColor(outside), 0) << outside;  // read as empty, never read
  }
  // A segment of more than 10001 steps is refused, and nothing of it coloured.
  const auto walk = [&](const Cells & corners) { trace->setMatLineColor(corners, 2); };
  EXPECT_NO_THROW(walk({{0, 0}, {10001, 0}}));
  trace->reset();
  const auto refused = testing::ThrowsMessage<std::runtime_error>(
      testing::StrEq("bresenham is out of iteration(10000)"));
  EXPECT_THAT([&] { walk({{0, 0}, {10002, 0}}); }, refused);
  EXPECT_THAT([&] { walk({{INT_MIN, INT_MIN}, {INT_MAX, INT_MAX}}); }, refused);
  EXPECT_THAT([&] { walk({{0, 0}, {3, 0}, {3, -10005}}); }, refused);
  EXPECT_EQ(coloured(), (Cells{{0, 0}, {1, 0}, {2, 0}, {3, 0}}));
}

// A copy or the complement, kept until a reset, sent bit for bit; a view sent as its own rows.
TEST_F(TraceMatTest, SetMatCopiesOrComplementsAndRejectsOtherTypes)
{
  open(7, 5);
  trace->reset();
  cv::Mat source = (cv::Mat_<unsigned char>(2, 3) << 0, 255, 10, 1, 2, 3);
  trace->setMat(source, false);
  source.at<unsigned char>(0, 0) = 77;  // a copy, not a view
  EXPECT_EQ(published(3), (Bytes{0, -1, 10, 1, 2, 3}));
  trace->setMat(source, true);
  for (int type : {CV_16UC1, CV_8UC3, CV_32FC1, CV_8SC1}) {
    EXPECT_THAT(
        [&] { trace->setMat(cv::Mat(2, 2, type, cv::Scalar::all(1)), false); },
        testing::ThrowsMessage<std::invalid_argument>(testing::HasSubstr(cv::typeToString(type))));
  }
  EXPECT_EQ(published(3), (Bytes{-78, 0, -11, -2, -3, -4}));  // the complement, unchanged
  cv::Mat wide(6, 10, CV_8UC1);
  std::iota(wide.begin<unsigned char>(), wide.end<unsigned char>(), 0);
  trace->mat_ = wide(cv::Rect(2, 1, 4, 3));
  EXPECT_EQ(published(4), (Bytes{12, 13, 14, 15, 22, 23, 24, 25, 32, 33, 34, 35}));
  trace->reset();
  EXPECT_EQ(published(7), Bytes(35, 0));
}

// Destroying a trace right after construction must not hang; one without a grid map is refused.
TEST_F(TraceMatTest, ConstructAndDestroyRepeatedly)
{
  EXPECT_THROW(TraceMat(nullptr, "none"), std::invalid_argument);
  open(50, 40);
  const std::string name = trace->name_;
  trace.reset();
  for (int i = 0; i < 200; ++i) {
    TraceMat(grid_map, name).publishCVMatAsGrid();  // sent once the viewer matched
  }
}

}  // namespace
