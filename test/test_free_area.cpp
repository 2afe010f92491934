// BaseRobot::isFreeArea and BaseRobot::isFuzzyGoalFree: the defined edge cases, and random
// cases in which the library must agree bit for bit with the literal implementation of
// bench/literal_free_area (result, goal written, log records and their order).

#include <gtest/gtest.h>
#include <spdlog/sinks/base_sink.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <nav2_costmap_2d/cost_values.hpp>
#include <nav2_costmap_2d/costmap_2d.hpp>
#include <skelmar_nav2_gridmap/grid_map_ros.hpp>

#include "literal_free_area.hpp"
#include "skelmar_nav2_tools/base_robot.hpp"
#include "skelmar_nav2_tools/logger.hpp"

namespace {

using geometry_msgs::msg::PolygonStamped;
using geometry_msgs::msg::PoseStamped;
using nav2_costmap_2d::FREE_SPACE;
using nav2_costmap_2d::LETHAL_OBSTACLE;
using skelmar_nav2_gridmap::GridMapROS;

constexpr int kWorldToMapFailed = 101100005;

struct Record
{
  spdlog::level::level_enum level;
  std::string message;
  std::string function;
  std::string file;

  bool operator==(const Record & other) const
  {
    // The source line and file differ between the library and the literal implementation.
    return level == other.level && message == other.message && function == other.function;
  }
};

std::ostream & operator<<(std::ostream & out, const Record & record)
{
  return out << record.function << ": " << record.message;
}

class RecordSink : public spdlog::sinks::base_sink<std::mutex>
{
public:
  std::vector<Record> records;

protected:
  void sink_it_(const spdlog::details::log_msg & msg) override
  {
    records.push_back(Record{
        msg.level, std::string(msg.payload.data(), msg.payload.size()),
        msg.source.funcname ? msg.source.funcname : "",
        msg.source.filename ? msg.source.filename : ""});
  }
  void flush_() override {}
};

// Captures the library logger's records; numbering restarts at every take() so that two
// runs of the same call produce the same text.
class RecordCapture
{
public:
  RecordCapture() : logger_(skelmar::Logger::Instance("spdlog").logger)
  {
    logger_->sinks().push_back(sink_);
    restart();
  }
  ~RecordCapture()
  {
    auto & sinks = logger_->sinks();
    sinks.erase(std::remove(sinks.begin(), sinks.end(), sink_), sinks.end());
  }
  RecordCapture(const RecordCapture &) = delete;
  RecordCapture & operator=(const RecordCapture &) = delete;

  std::vector<Record> take()
  {
    std::vector<Record> out;
    out.swap(sink_->records);
    restart();
    return out;
  }

private:
  void restart()
  {
    skelmar::Logger::Instance("spdlog").counter = 0;
  }
  std::shared_ptr<spdlog::logger> logger_;
  std::shared_ptr<RecordSink> sink_ = std::make_shared<RecordSink>();
};

std::string offGridMessage(int number)
{
  char prefix[8];
  std::snprintf(prefix, sizeof(prefix), "%3d", number % 128);
  return std::string(prefix) + " [ERROR] isFreeArea failed worldToMap, error code is " +
         std::to_string(kWorldToMapFailed);
}

PoseStamped pose(double x, double y, double qx = 0, double qy = 0, double qz = 0, double qw = 1)
{
  PoseStamped p;
  p.header.frame_id = "map";
  p.pose.position.x = x;
  p.pose.position.y = y;
  p.pose.orientation.x = qx;
  p.pose.orientation.y = qy;
  p.pose.orientation.z = qz;
  p.pose.orientation.w = qw;
  return p;
}

PoseStamped yawPose(double x, double y, double yaw)
{
  return pose(x, y, 0, 0, std::sin(yaw / 2), std::cos(yaw / 2));
}

PolygonStamped box(double x0, double y0, double x1, double y1)
{
  PolygonStamped area;
  area.header.frame_id = "map";
  for (auto [x, y] : {std::pair{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}}) {
    geometry_msgs::msg::Point32 p;
    p.x = static_cast<float>(x);
    p.y = static_cast<float>(y);
    area.polygon.points.push_back(p);
  }
  return area;
}

std::shared_ptr<GridMapROS> gridMap(
    unsigned int size_x, unsigned int size_y, double res, double origin_x, double origin_y,
    unsigned char cost = FREE_SPACE)
{
  return std::make_shared<GridMapROS>(
      std::make_shared<nav2_costmap_2d::Costmap2D>(size_x, size_y, res, origin_x, origin_y, cost));
}

// Sets the cost of the cell holding the world point (wx, wy) and publishes it.
void setCostAt(GridMapROS & map, double wx, double wy, unsigned char cost)
{
  map.multi_map->editCostmap([&](nav2_costmap_2d::Costmap2D & costmap) {
    unsigned int mx = 0;
    unsigned int my = 0;
    ASSERT_TRUE(costmap.worldToMap(wx, wy, mx, my));
    costmap.setCost(mx, my, cost);
  });
  map.multi_map->updateMap();
}

// Sets the cost of cell (mx, my) as nav2's costmap layers do: straight into the costmap, under
// its mutex.
void writeCost(GridMapROS & map, unsigned int mx, unsigned int my, unsigned char cost)
{
  nav2_costmap_2d::Costmap2D & costmap = *map.multi_map->costmap;
  std::lock_guard<nav2_costmap_2d::Costmap2D::mutex_t> lock(*costmap.getMutex());
  costmap.setCost(mx, my, cost);
}

bool sameBits(const PoseStamped & a, const PoseStamped & b)
{
  const auto & p = a.pose;
  const auto & q = b.pose;
  const double av[] = {p.position.x,    p.position.y,    p.position.z,   p.orientation.x,
                       p.orientation.y, p.orientation.z, p.orientation.w};
  const double bv[] = {q.position.x,    q.position.y,    q.position.z,   q.orientation.x,
                       q.orientation.y, q.orientation.z, q.orientation.w};
  return std::memcmp(av, bv, sizeof(av)) == 0 && a.header == b.header;
}

class FreeAreaTest : public ::testing::Test
{
protected:
  BaseRobot robot;
  RecordCapture capture;
  PolygonStamped everywhere = box(-1000, -1000, 1000, 1000);
};

// ---------------------------------------------------------------------------------------------
// isFreeArea

TEST_F(FreeAreaTest, ForwardOffsetsStopShortOfTheFarEdge)
{
  // res 0.1, length 0.5: samples at -0.25 -0.15 -0.05 0.05 0.15 (the running sum reaches 0.25
  // plus rounding and stops). A cell holding only the far edge never blocks.
  auto map = gridMap(40, 40, 0.1, 0.0, 0.0);
  const PoseStamped at = pose(2.0, 2.0);
  // The one lateral offset is -0.05: the samples lie in the cell row of y = 1.95.
  setCostAt(*map, 2.0 + 0.27, 1.95, LETHAL_OBSTACLE);
  EXPECT_TRUE(robot.isFreeArea(at, 0.5, 0.1, map));
  setCostAt(*map, 2.0 + 0.17, 1.95, LETHAL_OBSTACLE);
  EXPECT_FALSE(robot.isFreeArea(at, 0.5, 0.1, map));

  // Counted through the records of a rectangle wholly off the grid: 5 x 3 samples.
  capture.take();
  EXPECT_TRUE(robot.isFreeArea(pose(-50, -50), 0.5, 0.3, map));
  const auto records = capture.take();
  ASSERT_EQ(records.size(), 15u);
  for (std::size_t i = 0; i < records.size(); ++i) {
    EXPECT_EQ(records[i].level, spdlog::level::err);
    EXPECT_EQ(records[i].message, offGridMessage(static_cast<int>(i) + 1));
    EXPECT_EQ(records[i].function, "isFreeArea");
    EXPECT_EQ(records[i].file, "./src/base_robot.cpp");
  }
}

TEST_F(FreeAreaTest, EmptyRectangleIsFreeWithoutRecords)
{
  auto map = gridMap(10, 10, 0.1, 0.0, 0.0, LETHAL_OBSTACLE);
  PoseStamped out = pose(7, 7);
  for (auto [length, width] : {std::pair{0.0, 0.5}, {0.5, 0.0}, {-1.0, 0.5}, {0.5, -0.1}}) {
    EXPECT_TRUE(robot.isFreeArea(pose(0.5, 0.5), length, width, map));
    EXPECT_TRUE(robot.isFreeArea(pose(0.5, 0.5), length, width, map->multi_map, out, everywhere));
    // The area test still comes first.
    EXPECT_FALSE(
        robot.isFreeArea(pose(0.5, 0.5), length, width, map->multi_map, out, box(5, 5, 6, 6)));
  }
  EXPECT_TRUE(capture.take().empty());
}

TEST_F(FreeAreaTest, AreaTestComesBeforeAnyGridQuery)
{
  // Off the grid, a scan would log; a pose outside the area logs nothing.
  auto map = gridMap(10, 10, 0.1, 0.0, 0.0);
  PoseStamped out = pose(3, 4);
  const PoseStamped before = out;
  EXPECT_FALSE(robot.isFreeArea(pose(-20, -20), 0.3, 0.3, map->multi_map, out, box(0, 0, 1, 1)));
  EXPECT_TRUE(capture.take().empty());

  // 0.005 outside the unit square but within 0.01 of its vertex (1, 1): inside.
  EXPECT_TRUE(robot.isFreeArea(pose(1.005, 1.0), 0.1, 0.1, map->multi_map, out, box(0, 0, 1, 1)));
  EXPECT_TRUE(robot.isFreeArea(pose(0.5, 0.5), 0.1, 0.1, map->multi_map, out, box(0, 0, 1, 1)));
  EXPECT_FALSE(robot.isFreeArea(pose(1.02, 0.5), 0.1, 0.1, map->multi_map, out, box(0, 0, 1, 1)));
  EXPECT_TRUE(sameBits(out, before)) << "out_pose is never written";

  // Not one grid query, not even of the resolution: without its costmap, any would crash. So a
  // rectangle too large to scan is no matter either.
  EXPECT_EXIT(
      {
        map->multi_map->costmap = nullptr;
        const bool any_free =
            robot.isFreeArea(pose(2, 0.5), 0.3, 0.3, map->multi_map, out, box(0, 0, 1, 1)) ||
            robot.isFreeArea(pose(2, 0.5), 1e12, 1e12, map->multi_map, out, box(0, 0, 1, 1)) ||
            robot.isFreeArea(pose(2, 0.5), 0.3, 0.3, map->multi_map, out, PolygonStamped());
        std::exit(any_free ? 1 : 0);
      },
      ::testing::ExitedWithCode(0), "");
  EXPECT_FALSE(robot.isFreeArea(pose(2, 0.5), 1e12, 1e12, map->multi_map, out, box(0, 0, 1, 1)));
}

TEST_F(FreeAreaTest, RectangleOffTheGridLogsEveryOutsideSampleAndIsSkipped)
{
  // A 0.4 x 0.2 rectangle straddling the left edge at x = 0: samples at u = -0.2 and -0.1 fall
  // outside, u = 0 and 0.1 inside. Outside samples are skipped, not counted as blocked.
  auto map = gridMap(20, 20, 0.1, 0.0, 0.0);
  EXPECT_TRUE(robot.isFreeArea(pose(0.03, 1.03), 0.4, 0.2, map));
  EXPECT_EQ(capture.take().size(), 4u);  // two forward offsets x two lateral offsets

  // Records stop at the first blocked sample: only the samples before it are logged.
  setCostAt(*map, 0.03, 0.93, LETHAL_OBSTACLE);  // u = 0, v = -0.1
  EXPECT_FALSE(robot.isFreeArea(pose(0.03, 1.03), 0.4, 0.2, map));
  EXPECT_EQ(capture.take().size(), 4u);
}

TEST_F(FreeAreaTest, QuarterTurnMovesForwardOffsetsAlongMapY)
{
  auto map = gridMap(100, 100, 0.1, 0.0, 0.0);
  setCostAt(*map, 5.03, 5.43, LETHAL_OBSTACLE);  // 0.4 ahead along +y
  EXPECT_TRUE(robot.isFreeArea(yawPose(5.03, 5.03, 0.0), 1.0, 0.2, map));
  EXPECT_FALSE(robot.isFreeArea(yawPose(5.03, 5.03, M_PI / 2), 1.0, 0.2, map));
  setCostAt(*map, 5.43, 5.03, LETHAL_OBSTACLE);  // 0.4 ahead along +x
  EXPECT_FALSE(robot.isFreeArea(yawPose(5.03, 5.03, 0.0), 1.0, 0.2, map));
}

TEST_F(FreeAreaTest, HeightIsDroppedAndOrientationIsNotNormalised)
{
  auto map = gridMap(100, 100, 0.1, 0.0, 0.0);
  // Samples at u, v in {-0.1, 0}; the quaternion (0, 0, 0, 2) scales them by 4.
  setCostAt(*map, 5.03 - 0.4, 5.03 - 0.4, LETHAL_OBSTACLE);
  EXPECT_TRUE(robot.isFreeArea(pose(5.03, 5.03), 0.2, 0.2, map));
  EXPECT_FALSE(robot.isFreeArea(pose(5.03, 5.03, 0, 0, 0, 2), 0.2, 0.2, map));
  PoseStamped high = pose(5.03, 5.03, 0, 0, 0, 2);
  high.pose.position.z = 1e6;
  EXPECT_FALSE(robot.isFreeArea(high, 0.2, 0.2, map));
  high.pose.orientation.w = 1.0;
  EXPECT_TRUE(robot.isFreeArea(high, 0.2, 0.2, map));
}

TEST_F(FreeAreaTest, DangerIsInscribedLethalOrUnknown)
{
  auto map = gridMap(100, 100, 0.1, 0.0, 0.0);
  for (int cost : {1, 128, 252}) {
    setCostAt(*map, 5.0, 5.0, static_cast<unsigned char>(cost));
    EXPECT_TRUE(robot.isFreeArea(pose(5.0, 5.0), 0.5, 0.5, map)) << cost;
  }
  for (int cost : {253, 254, 255}) {
    setCostAt(*map, 5.0, 5.0, static_cast<unsigned char>(cost));
    EXPECT_FALSE(robot.isFreeArea(pose(5.0, 5.0), 0.5, 0.5, map)) << cost;
  }
}

TEST_F(FreeAreaTest, RefreshingChecksSeeCostsWrittenStraightIntoTheCostmap)
{
  // Costs written as nav2's layers write them. The second overload does not refresh: it
  // answers for the map as last refreshed.
  auto map = gridMap(100, 100, 0.1, 0.0, 0.0);
  PoseStamped out;
  writeCost(*map, 50, 50, LETHAL_OBSTACLE);
  EXPECT_TRUE(robot.isFreeArea(pose(5.0, 5.0), 0.5, 0.5, map->multi_map, out, everywhere));
  EXPECT_FALSE(robot.isFreeArea(pose(5.0, 5.0), 0.5, 0.5, map));
  EXPECT_FALSE(robot.isFreeArea(pose(5.0, 5.0), 0.5, 0.5, map->multi_map, out, everywhere));

  // The goal search refreshes too: the cleared cell frees the goal, and the cell made lethal
  // again moves it where the literal search does.
  writeCost(*map, 50, 50, FREE_SPACE);
  PoseStamped goal = pose(5.0, 5.0);
  EXPECT_TRUE(robot.isFuzzyGoalFree(goal, 2.0, 2.0, 0.5, 0.5, map, everywhere));
  EXPECT_TRUE(sameBits(goal, pose(5.0, 5.0)));
  writeCost(*map, 50, 50, LETHAL_OBSTACLE);
  EXPECT_TRUE(robot.isFuzzyGoalFree(goal, 2.0, 2.0, 0.5, 0.5, map, everywhere));
  EXPECT_FALSE(sameBits(goal, pose(5.0, 5.0)));
  PoseStamped literal_goal = pose(5.0, 5.0);
  EXPECT_TRUE(skelmar_literal::isFuzzyGoalFree(literal_goal, 2.0, 2.0, 0.5, 0.5, map, everywhere));
  EXPECT_TRUE(sameBits(goal, literal_goal));
}

TEST_F(FreeAreaTest, RectanglesOfMoreThanAHundredMillionSamplesAreRefusedAtOnce)
{
  // Such a rectangle would keep the caller for hours and, off the grid, log every sample; a
  // step too small to move the running coordinate would even sample for ever.
  auto map = gridMap(10, 10, 0.1, 0.0, 0.0);
  auto tiny_step = gridMap(10, 10, 1e-300, 0.0, 0.0, LETHAL_OBSTACLE);
  PoseStamped out;
  auto call = std::async(std::launch::async, [&] {
    BaseRobot local;
    int refused = 0;
    for (const auto & [length, width] : std::vector<std::pair<double, double>>{
             {1e6, 1e6}, {1e12, 0.0}, {1e12, -1.0}, {0.05, 1e12}, {1e300, 1e300}}) {
      try {
        local.isFreeArea(pose(0.5, 0.5), length, width, map);
      } catch (const std::invalid_argument & e) {
        EXPECT_NE(std::string(e.what()).find("isFreeArea: a rectangle of"), std::string::npos)
            << e.what();
        ++refused;
      }
      EXPECT_THROW(
          local.isFreeArea(pose(0.5, 0.5), length, width, map->multi_map, out, everywhere),
          std::invalid_argument);
    }
    // Even where the first sample is in danger: a grid that fine cannot be scanned.
    EXPECT_THROW(local.isFreeArea(pose(0.5, 0.5), 0.5, 0.5, tiny_step), std::invalid_argument);
    return refused;
  });
  ASSERT_EQ(call.wait_for(std::chrono::seconds(30)), std::future_status::ready);
  EXPECT_EQ(call.get(), 5);
  EXPECT_TRUE(capture.take().empty());

  // The goal search refuses the same rectangle, with the goal untouched.
  PoseStamped goal = pose(0.5, 0.5);
  const PoseStamped before = goal;
  EXPECT_THROW(
      robot.isFuzzyGoalFree(goal, 0.0, 0.0, 1e6, 1e6, map, everywhere), std::invalid_argument);
  EXPECT_TRUE(sameBits(goal, before));

  // Up to the bound the scan runs as always: 1e8 rows without width take no sample.
  EXPECT_TRUE(robot.isFreeArea(pose(0.5, 0.5), 1e7, 0.0, map));
  // Negative extents take no sample at all, however large.
  EXPECT_TRUE(robot.isFreeArea(pose(0.5, 0.5), -1e300, 1e300, map));
  EXPECT_TRUE(capture.take().empty());
}

// ---------------------------------------------------------------------------------------------
// isFuzzyGoalFree

TEST_F(FreeAreaTest, FreeGoalIsKeptWithoutSearch)
{
  // The window is not even looked at: one of 1e12 m, which a search would refuse, is no matter.
  auto map = gridMap(100, 100, 0.1, 0.0, 0.0);
  for (auto [range_x, range_y] :
       {std::pair{2.0, 2.0}, {0.0, 0.0}, {-1.0, 3.0}, {1e12, 1e12}, {1e12, 0.0}}) {
    SCOPED_TRACE(std::to_string(range_x) + " x " + std::to_string(range_y));
    PoseStamped goal = yawPose(5.0, 5.0, 0.3);
    const PoseStamped before = goal;
    EXPECT_TRUE(robot.isFuzzyGoalFree(goal, range_x, range_y, 0.6, 0.5, map, everywhere));
    EXPECT_TRUE(sameBits(goal, before));
    EXPECT_TRUE(capture.take().empty());
  }
}

TEST_F(FreeAreaTest, NinePositionTieBreakTakesTheFirstInScanOrder)
{
  // Goal (0, 0), ranges 0.2, res 0.1: positions x, y in {-0.1, 0, 0.1}. A 0.1 x 0.1
  // rectangle samples the single point (x - 0.05, y - 0.05). Only (0.1, 0) and (0, 0.1) are
  // free, both at distance 0.1: (0.1, 0) comes first (row y = 0).
  auto map = gridMap(100, 100, 0.1, -5.0, -5.0, LETHAL_OBSTACLE);
  setCostAt(*map, 0.05, -0.05, FREE_SPACE);
  setCostAt(*map, -0.05, 0.05, FREE_SPACE);
  PoseStamped goal = pose(0.0, 0.0);
  EXPECT_TRUE(robot.isFuzzyGoalFree(goal, 0.2, 0.2, 0.1, 0.1, map, everywhere));
  EXPECT_EQ(goal.pose.position.x, 0.1);
  EXPECT_EQ(goal.pose.position.y, 0.0);
  EXPECT_TRUE(capture.take().empty());
}

TEST_F(FreeAreaTest, RangeZeroTestsTheGoalAgainAndNegativeRangeTestsNothing)
{
  // The goal's rectangle hangs off the grid by two samples and is then blocked.
  auto map = gridMap(20, 20, 0.1, 0.0, 0.0);
  setCostAt(*map, 0.03, 0.93, LETHAL_OBSTACLE);
  PoseStamped goal = pose(0.03, 1.03);
  const PoseStamped before = goal;
  EXPECT_FALSE(robot.isFuzzyGoalFree(goal, 0.0, 0.0, 0.4, 0.2, map, everywhere));
  auto records = capture.take();
  ASSERT_EQ(records.size(), 4u + 4u + 1u);
  EXPECT_EQ(records.back().message, "  9 [INFO] isFuzzyGoalFree fail to find free pose.");
  EXPECT_EQ(records.back().function, "isFuzzyGoalFree");
  EXPECT_EQ(records.back().file, "./src/base_robot.cpp");

  EXPECT_FALSE(robot.isFuzzyGoalFree(goal, -0.1, 5.0, 0.4, 0.2, map, everywhere));
  records = capture.take();
  ASSERT_EQ(records.size(), 4u + 1u);
  EXPECT_EQ(records.back().level, spdlog::level::info);
  EXPECT_TRUE(sameBits(goal, before));
}

TEST_F(FreeAreaTest, OnlyPositionsInsideTheAreaAreChosen)
{
  // Everything is free, but the goal lies outside the area: the nearest position inside wins.
  auto map = gridMap(100, 100, 0.1, 0.0, 0.0);
  PoseStamped goal = pose(5.0, 5.0);
  const PolygonStamped right_of_goal = box(5.3, 4.0, 7.0, 6.0);
  EXPECT_TRUE(robot.isFuzzyGoalFree(goal, 2.0, 2.0, 0.5, 0.5, map, right_of_goal));
  EXPECT_GT(goal.pose.position.x, 5.29);
  EXPECT_LT(goal.pose.position.x, 5.41);
  EXPECT_NEAR(goal.pose.position.y, 5.0, 1e-9);
  PoseStamped literal_goal = pose(5.0, 5.0);
  EXPECT_TRUE(
      skelmar_literal::isFuzzyGoalFree(literal_goal, 2.0, 2.0, 0.5, 0.5, map, right_of_goal));
  EXPECT_TRUE(sameBits(goal, literal_goal));

  // No position of the window lies inside the area.
  goal = pose(5.0, 5.0);
  EXPECT_FALSE(robot.isFuzzyGoalFree(goal, 2.0, 2.0, 0.5, 0.5, map, box(8, 8, 9, 9)));
  EXPECT_EQ(goal.pose.position.x, 5.0);
}

TEST_F(FreeAreaTest, SuccessWritesOnlyXAndY)
{
  auto map = gridMap(100, 100, 0.1, 0.0, 0.0);
  for (double x : {4.9, 5.0, 5.1}) {
    for (double y : {4.9, 5.0, 5.1}) {
      setCostAt(*map, x + 0.05, y + 0.05, LETHAL_OBSTACLE);
    }
  }
  PoseStamped goal = pose(5.0, 5.0, 0.1, 0.2, 0.3, 0.9);
  goal.pose.position.z = 1.5;
  goal.header.frame_id = "somewhere";
  goal.header.stamp.sec = 12;
  goal.header.stamp.nanosec = 34;
  PoseStamped expected = goal;
  ASSERT_TRUE(robot.isFuzzyGoalFree(goal, 2.0, 2.0, 0.3, 0.3, map, everywhere));
  EXPECT_FALSE(goal.pose.position.x == 5.0 && goal.pose.position.y == 5.0);
  expected.pose.position.x = goal.pose.position.x;
  expected.pose.position.y = goal.pose.position.y;
  EXPECT_TRUE(sameBits(goal, expected));
}

TEST_F(FreeAreaTest, ChecksRunWhileAnotherThreadEditsAndRefreshesTheMap)
{
  // The library takes no lock: the grid map keeps concurrent writes, refreshes and queries
  // apart. A wall flickers next to the goal, written as a costmap layer writes, under the
  // costmap's mutex; every answer must be one of the two states.
  auto map = gridMap(100, 100, 0.1, 0.0, 0.0);
  std::atomic<bool> stop{false};
  std::thread editor([&] {
    nav2_costmap_2d::Costmap2D & costmap = *map->multi_map->costmap;
    for (int edit = 0; !stop; ++edit) {
      {
        std::lock_guard<nav2_costmap_2d::Costmap2D::mutex_t> lock(*costmap.getMutex());
        for (unsigned int y = 40; y < 60; ++y) {
          costmap.setCost(50, y, edit % 2 == 0 ? LETHAL_OBSTACLE : FREE_SPACE);
        }
      }
      map->multi_map->updateMap();
    }
  });
  std::vector<std::thread> checkers;
  std::atomic<int> wrong{0};
  for (int t = 0; t < 2; ++t) {
    checkers.emplace_back([&] {
      BaseRobot local;
      for (int i = 0; i < 300; ++i) {
        PoseStamped goal = pose(5.0, 5.0);
        local.isFreeArea(goal, 0.6, 0.5, map);
        if (!local.isFuzzyGoalFree(goal, 2.0, 2.0, 0.6, 0.5, map, everywhere)) {
          ++wrong;  // the wall never covers the whole window
        }
        if (std::abs(goal.pose.position.y - 5.0) > 1.0 + 1e-9) {
          ++wrong;
        }
      }
    });
  }
  for (auto & checker : checkers) {
    checker.join();
  }
  stop = true;
  editor.join();
  EXPECT_EQ(wrong, 0);
}

// ---------------------------------------------------------------------------------------------
// Random cases against the literal implementation

struct RandomWorld
{
  std::shared_ptr<GridMapROS> map;
  PolygonStamped area;
};

RandomWorld randomWorld(std::mt19937_64 & rng)
{
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  const double resolutions[] = {0.03, 0.05, 0.1, 0.25};
  const double res = resolutions[rng() % 4];
  const unsigned int size_x = 8 + rng() % 60;
  const unsigned int size_y = 8 + rng() % 60;
  auto map = gridMap(size_x, size_y, res, unit(rng) * 4 - 2, unit(rng) * 4 - 2);
  const double density = unit(rng) * 0.3;
  const unsigned char costs[] = {1, 100, 252, 253, 254, 255};
  map->multi_map->editCostmap([&](nav2_costmap_2d::Costmap2D & costmap) {
    for (unsigned int y = 0; y < size_y; ++y) {
      for (unsigned int x = 0; x < size_x; ++x) {
        if (unit(rng) < density) {
          costmap.setCost(x, y, costs[rng() % 6]);
        }
      }
    }
    // Some solid blocks, like shelves.
    for (int block = static_cast<int>(rng() % 4); block > 0; --block) {
      const unsigned int x0 = rng() % size_x;
      const unsigned int y0 = rng() % size_y;
      for (unsigned int y = y0; y < std::min(size_y, y0 + 2 + static_cast<unsigned>(rng() % 10));
           ++y) {
        for (unsigned int x = x0; x < std::min(size_x, x0 + 2 + static_cast<unsigned>(rng() % 10));
             ++x) {
          costmap.setCost(x, y, LETHAL_OBSTACLE);
        }
      }
    }
  });
  map->multi_map->updateMap();

  const auto & costmap = *map->multi_map->costmap;
  const double x0 = costmap.getOriginX();
  const double y0 = costmap.getOriginY();
  const double w = size_x * res;
  const double h = size_y * res;
  PolygonStamped area;
  switch (rng() % 5) {
    case 0:
      area = box(x0 - 1, y0 - 1, x0 + w + 1, y0 + h + 1);
      break;
    case 1:
      break;  // empty: contains nothing
    default:
      for (int corner = 0; corner < 3 + static_cast<int>(rng() % 3); ++corner) {
        geometry_msgs::msg::Point32 p;
        p.x = static_cast<float>(x0 - 0.5 + unit(rng) * (w + 1));
        p.y = static_cast<float>(y0 - 0.5 + unit(rng) * (h + 1));
        area.polygon.points.push_back(p);
      }
  }
  return {map, area};
}

PoseStamped randomPose(std::mt19937_64 & rng, const nav2_costmap_2d::Costmap2D & costmap)
{
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  const double w = costmap.getSizeInCellsX() * costmap.getResolution();
  const double h = costmap.getSizeInCellsY() * costmap.getResolution();
  PoseStamped p = pose(
      costmap.getOriginX() - 0.5 + unit(rng) * (w + 1),
      costmap.getOriginY() - 0.5 + unit(rng) * (h + 1));
  p.pose.position.z = unit(rng) < 0.2 ? unit(rng) * 10 - 5 : 0.0;
  auto & q = p.pose.orientation;
  switch (rng() % 4) {
    case 0:
      break;  // identity
    case 1: {
      const double yaw = unit(rng) * 8 - 4;
      q.z = std::sin(yaw / 2);
      q.w = std::cos(yaw / 2);
      break;
    }
    case 2: {
      const double yaw = (rng() % 8) * M_PI / 4;  // multiples of 45 degrees
      q.z = std::sin(yaw / 2);
      q.w = std::cos(yaw / 2);
      break;
    }
    default:  // anything, not normalised, tilted
      q.x = unit(rng) - 0.5;
      q.y = unit(rng) - 0.5;
      q.z = unit(rng) * 2 - 1;
      q.w = unit(rng) * 2 - 1;
  }
  return p;
}

double randomExtent(std::mt19937_64 & rng)
{
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  switch (rng() % 8) {
    case 0:
      return 0.0;
    case 1:
      return -unit(rng);
    default:
      return unit(rng) * 1.2;
  }
}

TEST_F(FreeAreaTest, RandomFreeAreaChecksMatchTheLiteralImplementation)
{
  std::mt19937_64 rng(20240611);
  int blocked = 0;
  int with_records = 0;
  for (int world = 0; world < 60; ++world) {
    const RandomWorld w = randomWorld(rng);
    for (int query = 0; query < 40; ++query) {
      const PoseStamped at = randomPose(rng, *w.map->multi_map->costmap);
      const double length = randomExtent(rng);
      const double width = randomExtent(rng);
      PoseStamped out_lib = pose(1, 2);
      PoseStamped out_lit = out_lib;
      const bool lib = robot.isFreeArea(at, length, width, w.map->multi_map, out_lib, w.area);
      const auto lib_records = capture.take();
      const bool lit =
          skelmar_literal::isFreeArea(at, length, width, w.map->multi_map, out_lit, w.area);
      const auto lit_records = capture.take();
      ASSERT_EQ(lib, lit) << "world " << world << " query " << query;
      ASSERT_EQ(lib_records, lit_records) << "world " << world << " query " << query;
      ASSERT_TRUE(sameBits(out_lib, pose(1, 2)));

      const bool lib_refreshed = robot.isFreeArea(at, length, width, w.map);
      const auto lib_refreshed_records = capture.take();
      const bool lit_refreshed = skelmar_literal::isFreeArea(at, length, width, w.map);
      ASSERT_EQ(lib_refreshed, lit_refreshed) << "world " << world << " query " << query;
      ASSERT_EQ(lib_refreshed_records, capture.take()) << "world " << world << " query " << query;
      blocked += lib_refreshed ? 0 : 1;
      with_records += lib_refreshed_records.empty() ? 0 : 1;
    }
  }
  // The cases cover both outcomes and rectangles hanging off the grid.
  EXPECT_GT(blocked, 300);
  EXPECT_GT(with_records, 300);
}

TEST_F(FreeAreaTest, RandomGoalSearchesMatchTheLiteralImplementation)
{
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  int moved = 0;
  int failed = 0;
  for (int world = 0; world < 80; ++world) {
    const RandomWorld w = randomWorld(rng);
    for (int query = 0; query < 12; ++query) {
      const PoseStamped goal = randomPose(rng, *w.map->multi_map->costmap);
      const double length = randomExtent(rng);
      const double width = randomExtent(rng);
      const double range_x = rng() % 10 == 0 ? -unit(rng) : unit(rng) * 2.5;
      const double range_y = rng() % 10 == 0 ? 0.0 : unit(rng) * 2.5;

      PoseStamped lib_goal = goal;
      const bool lib =
          robot.isFuzzyGoalFree(lib_goal, range_x, range_y, length, width, w.map, w.area);
      const auto lib_records = capture.take();
      PoseStamped lit_goal = goal;
      const bool lit = skelmar_literal::isFuzzyGoalFree(
          lit_goal, range_x, range_y, length, width, w.map, w.area);
      const auto lit_records = capture.take();

      ASSERT_EQ(lib, lit) << "world " << world << " query " << query;
      ASSERT_TRUE(sameBits(lib_goal, lit_goal)) << "world " << world << " query " << query;
      ASSERT_EQ(lib_records, lit_records) << "world " << world << " query " << query;
      moved += lib && !sameBits(lib_goal, goal) ? 1 : 0;
      failed += lib ? 0 : 1;
    }
  }
  EXPECT_GT(moved, 100);
  EXPECT_GT(failed, 100);
}

}  // namespace

int main(int argc, char ** argv)
{
  // Records go to the test's own sink; keep the console quiet.
  setenv("SPDLOG_STDOUT", "false", 1);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
