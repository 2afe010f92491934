// BaseRobot::isFreeArea and BaseRobot::isFuzzyGoalFree: the defined cases, bad input, and
// random cases in which the library agrees bit for bit with the literal implementation of
// bench/literal_free_area (result, goal written, log records and their order).

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <future>
#include <limits>
#include <random>
#include <thread>

#include <nav2_costmap_2d/costmap_2d.hpp>
#include <skelmar_nav2_gridmap/grid_map_ros.hpp>

#include "literal_free_area.hpp"
#include "skelmar_nav2_tools/base_robot.hpp"
#include "support/log_capture.hpp"

namespace {

using geometry_msgs::msg::PolygonStamped;
using geometry_msgs::msg::PoseStamped;
using skelmar_nav2_gridmap::GridMapROS;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

PoseStamped pose(double x, double y, double yaw = 0, double scale = 1)
{
  PoseStamped p;
  p.header.frame_id = "map";
  p.pose.position.x = x;
  p.pose.position.y = y;
  p.pose.orientation.z = scale * std::sin(yaw / 2);
  p.pose.orientation.w = scale * std::cos(yaw / 2);
  return p;
}

PolygonStamped box(double x0, double y0, double x1, double y1)
{
  PolygonStamped area;
  for (auto [x, y] : {std::pair{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}}) {
    area.polygon.points.emplace_back().set__x(static_cast<float>(x)).set__y(static_cast<float>(y));
  }
  return area;
}

std::shared_ptr<GridMapROS> gridMap(
    unsigned int size, double res, double origin = 0.0, unsigned char cost = 0)
{
  return std::make_shared<GridMapROS>(
      std::make_shared<nav2_costmap_2d::Costmap2D>(size, size, res, origin, origin, cost));
}

// Sets the cost of the cell holding the world point (wx, wy), as nav2's costmap layers do:
// straight into the costmap, under its mutex.
void setCostAt(GridMapROS & map, double wx, double wy, unsigned char cost)
{
  nav2_costmap_2d::Costmap2D & costmap = *map.multi_map->costmap;
  std::lock_guard<nav2_costmap_2d::Costmap2D::mutex_t> lock(*costmap.getMutex());
  unsigned int mx = 0;
  unsigned int my = 0;
  ASSERT_TRUE(costmap.worldToMap(wx, wy, mx, my));
  costmap.setCost(mx, my, cost);
}

bool sameBits(const PoseStamped & a, const PoseStamped & b)
{
  return a.header == b.header && std::memcmp(&a.pose, &b.pose, sizeof(a.pose)) == 0;
}

// The message, level and function of each record (the source files differ between the library
// and the literal implementation); numbering restarts at every take() so that two runs of the
// same call read alike.
class FreeAreaTest : public ::testing::Test
{
protected:
  std::vector<std::string> take()
  {
    std::vector<std::string> texts;
    for (const auto & r : capture->take()) {
      texts.push_back(std::to_string(r.level) + " " + r.function + ": " + r.payload);
    }
    skelmar::Logger::Instance("spdlog").counter = 0;
    return texts;
  }
  std::string refusal(const std::function<void()> & call)
  {
    try {
      call();
    } catch (const std::invalid_argument & e) {
      return e.what();
    }
    return "not refused";
  }

  BaseRobot robot;
  std::shared_ptr<skelmar_test::LogCapture> capture = skelmar_test::LogCapture::attach();
  PolygonStamped everywhere = box(-1000, -1000, 1000, 1000);
  PoseStamped out = pose(7, 7);
};

TEST_F(FreeAreaTest, SamplesStepByTheResolutionWithinTheTurnedRectangle)
{
  // On a 10 m map at 0.1 m: one cell of the given cost at a world point. The samples run from
  // -length/2 and -width/2 in steps of the resolution while the running sum stays below the
  // far edge; each sample off the grid is logged and skipped.
  const struct
  {
    PoseStamped at;
    double length, width;
    double x, y;
    unsigned char cost;
    bool free;
    size_t records;
  } rows[] = {
      // Forward samples at -0.25 .. 0.15: a cell holding only the far edge never blocks.
      {pose(2, 2), 0.5, 0.1, 2.27, 1.95, 254, true, 0},
      {pose(2, 2), 0.5, 0.1, 2.17, 1.95, 254, false, 0},
      // Straddling the left edge: the samples at u = -0.2 and -0.1 are off the grid; records
      // stop at the first blocked sample.
      {pose(0.03, 1.03), 0.4, 0.2, 5, 5, 254, true, 4},
      {pose(0.03, 1.03), 0.4, 0.2, 0.03, 0.93, 254, false, 4},
      // Wholly off the grid: 5 x 3 samples.
      {pose(-50, -50), 0.5, 0.3, 5, 5, 254, true, 15},
      // A quarter turn moves the forward samples along map y.
      {pose(5.03, 5.03), 1.0, 0.2, 5.03, 5.43, 254, true, 0},
      {pose(5.03, 5.03, M_PI / 2), 1.0, 0.2, 5.03, 5.43, 254, false, 0},
      {pose(5.03, 5.03), 1.0, 0.2, 5.43, 5.03, 254, false, 0},
      // The orientation is not normalised: (0, 0, 0, 2) scales the samples by 4.
      {pose(5.03, 5.03), 0.2, 0.2, 4.63, 4.63, 254, true, 0},
      {pose(5.03, 5.03, 0, 2), 0.2, 0.2, 4.63, 4.63, 254, false, 0},
      // Danger is inscribed, lethal or unknown.
      {pose(5, 5), 0.5, 0.5, 5, 5, 1, true, 0},
      {pose(5, 5), 0.5, 0.5, 5, 5, 252, true, 0},
      {pose(5, 5), 0.5, 0.5, 5, 5, 253, false, 0},
      {pose(5, 5), 0.5, 0.5, 5, 5, 255, false, 0},
      // An empty rectangle takes no sample.
      {pose(5, 5), 0.0, 0.5, 5, 5, 254, true, 0},
      {pose(5, 5), 0.5, -0.1, 5, 5, 254, true, 0},
  };
  for (const auto & row : rows) {
    SCOPED_TRACE(::testing::Message() << row.at.pose.position.x << " " << row.x << " " << row.y);
    auto map = gridMap(100, 0.1);
    setCostAt(*map, row.x, row.y, row.cost);
    PoseStamped at = row.at;
    at.pose.position.z = 1e6;  // dropped
    take();
    EXPECT_EQ(robot.isFreeArea(at, row.length, row.width, map), row.free);
    const auto records = take();
    EXPECT_EQ(records.size(), row.records);
    EXPECT_EQ(
        robot.isFreeArea(at, row.length, row.width, map->multi_map, out, everywhere), row.free);
    EXPECT_EQ(take(), records);
  }
  EXPECT_TRUE(sameBits(out, pose(7, 7))) << "out_pose is never written";
  robot.isFreeArea(pose(-50, -50), 0.5, 0.3, gridMap(10, 0.1));
  const auto records = capture->take();
  ASSERT_EQ(records.size(), 15U);
  for (size_t i = 0; i < records.size(); ++i) {
    EXPECT_EQ(records[i].level, spdlog::level::err);
    EXPECT_EQ(records[i].file, "./src/base_robot.cpp");
    EXPECT_EQ(records[i].function, "isFreeArea");
    EXPECT_EQ(
        records[i].payload,
        fmt::format("{:3d} [ERROR] isFreeArea failed worldToMap, error code is 101100005", i + 1));
  }
}

TEST_F(FreeAreaTest, AreaTestComesBeforeAnyGridQuery)
{
  // Off the grid, a scan would log; a pose outside the area logs nothing and is not free.
  auto map = gridMap(10, 0.1);
  const PolygonStamped square = box(0, 0, 1, 1);
  EXPECT_FALSE(robot.isFreeArea(pose(-20, -20), 0.3, 0.3, map->multi_map, out, square));
  EXPECT_TRUE(take().empty());
  // 0.005 outside the unit square but within 0.01 of its vertex (1, 1): inside.
  EXPECT_TRUE(robot.isFreeArea(pose(1.005, 1.0), 0.1, 0.1, map->multi_map, out, square));
  EXPECT_FALSE(robot.isFreeArea(pose(1.02, 0.5), 0.1, 0.1, map->multi_map, out, square));
  // Also for an empty rectangle.
  EXPECT_FALSE(robot.isFreeArea(pose(1.02, 0.5), 0.0, 0.1, map->multi_map, out, square));
  // Not one grid query, not even of the resolution: without its costmap, any would crash. So a
  // rectangle too large to scan is no matter either.
  EXPECT_EXIT(
      {
        map->multi_map->costmap = nullptr;
        std::exit(
            robot.isFreeArea(pose(2, 0.5), 0.3, 0.3, map->multi_map, out, square) ||
            robot.isFreeArea(pose(2, 0.5), 1e12, 1e12, map->multi_map, out, square) ||
            robot.isFreeArea(pose(2, 0.5), 0.3, 0.3, map->multi_map, out, PolygonStamped()));
      },
      ::testing::ExitedWithCode(0), "");
  EXPECT_TRUE(sameBits(out, pose(7, 7))) << "out_pose is never written";
}

TEST_F(FreeAreaTest, RefreshingChecksSeeCostsWrittenStraightIntoTheCostmap)
{
  // The second overload does not refresh: it answers for the map as last refreshed.
  auto map = gridMap(100, 0.1);
  setCostAt(*map, 5.0, 5.0, 254);
  EXPECT_TRUE(robot.isFreeArea(pose(5.0, 5.0), 0.5, 0.5, map->multi_map, out, everywhere));
  EXPECT_FALSE(robot.isFreeArea(pose(5.0, 5.0), 0.5, 0.5, map));
  EXPECT_FALSE(robot.isFreeArea(pose(5.0, 5.0), 0.5, 0.5, map->multi_map, out, everywhere));
  // The goal search refreshes too: the cleared cell frees the goal, and the cell made lethal
  // again moves it where the literal search does.
  setCostAt(*map, 5.0, 5.0, 0);
  PoseStamped goal = pose(5.0, 5.0);
  EXPECT_TRUE(robot.isFuzzyGoalFree(goal, 2.0, 2.0, 0.5, 0.5, map, everywhere));
  EXPECT_TRUE(sameBits(goal, pose(5.0, 5.0)));
  setCostAt(*map, 5.0, 5.0, 254);
  PoseStamped literal_goal = goal;
  EXPECT_TRUE(robot.isFuzzyGoalFree(goal, 2.0, 2.0, 0.5, 0.5, map, everywhere));
  EXPECT_TRUE(skelmar_literal::isFuzzyGoalFree(literal_goal, 2.0, 2.0, 0.5, 0.5, map, everywhere));
  EXPECT_FALSE(sameBits(goal, pose(5.0, 5.0)));
  EXPECT_TRUE(sameBits(goal, literal_goal));
}

TEST_F(FreeAreaTest, RectanglesOfMoreThanAHundredMillionSamplesAreRefusedAtOnce)
{
  // Such a rectangle would keep the caller for hours and, off the grid, log every sample; a
  // step too small to move the running coordinate would even sample for ever.
  auto map = gridMap(10, 0.1);
  auto call = std::async(std::launch::async, [&] {
    BaseRobot local;
    for (const auto & [length, width] : std::vector<std::pair<double, double>>{
             {1e6, 1e6}, {1e12, 0.0}, {1e12, -1.0}, {0.05, 1e12}, {1e300, 1e300}}) {
      EXPECT_NE(
          refusal([&] {
            local.isFreeArea(pose(0.5, 0.5), length, width, map);
          }).find("isFreeArea: a rectangle of"),
          std::string::npos);
      EXPECT_THROW(
          local.isFreeArea(pose(0.5, 0.5), length, width, map->multi_map, out, everywhere),
          std::invalid_argument);
    }
    // Even where the first sample is in danger: a grid that fine cannot be scanned.
    EXPECT_THROW(
        local.isFreeArea(pose(0.5, 0.5), 0.5, 0.5, gridMap(10, 1e-300, 0, 254)),
        std::invalid_argument);
  });
  ASSERT_EQ(call.wait_for(std::chrono::seconds(30)), std::future_status::ready);
  // The goal search refuses the same rectangle, with the goal untouched.
  PoseStamped goal = pose(0.5, 0.5);
  EXPECT_THROW(
      robot.isFuzzyGoalFree(goal, 0.0, 0.0, 1e6, 1e6, map, everywhere), std::invalid_argument);
  EXPECT_TRUE(sameBits(goal, pose(0.5, 0.5)));
  // Up to the bound the scan runs as always: 1e8 rows without width take no sample, and
  // negative extents none at all, however large.
  EXPECT_TRUE(robot.isFreeArea(pose(0.5, 0.5), 1e7, 0.0, map));
  EXPECT_TRUE(robot.isFreeArea(pose(0.5, 0.5), -1e300, 1e300, map));
  EXPECT_TRUE(take().empty());
}

TEST_F(FreeAreaTest, FreeGoalIsKeptWithoutSearch)
{
  // The window is not even looked at: one of 1e12 m, which a search would refuse, is no matter.
  auto map = gridMap(100, 0.1);
  for (auto [range_x, range_y] : {std::pair{2.0, 2.0}, {0.0, 0.0}, {-1.0, 3.0}, {1e12, 1e12}}) {
    PoseStamped goal = pose(5.0, 5.0, 0.3);
    EXPECT_TRUE(robot.isFuzzyGoalFree(goal, range_x, range_y, 0.6, 0.5, map, everywhere));
    EXPECT_TRUE(sameBits(goal, pose(5.0, 5.0, 0.3))) << range_x;
    EXPECT_TRUE(take().empty());
  }
}

TEST_F(FreeAreaTest, GoalSearchTakesTheFirstNearestFreePositionAndWritesOnlyXAndY)
{
  // Goal (0, 0), ranges 0.2, res 0.1: positions x, y in {-0.1, 0, 0.1}. A 0.1 x 0.1
  // rectangle samples the single point (x - 0.05, y - 0.05). Only (0.1, 0) and (0, 0.1) are
  // free, both at distance 0.1: (0.1, 0) comes first (row y = 0).
  auto map = gridMap(100, 0.1, -5.0, 254);
  setCostAt(*map, 0.05, -0.05, 0);
  setCostAt(*map, -0.05, 0.05, 0);
  PoseStamped goal = pose(0.0, 0.0);
  goal.pose.position.z = 1.5;
  goal.header.frame_id = "somewhere";
  goal.header.stamp.sec = 12;
  PoseStamped expected = goal;
  EXPECT_TRUE(robot.isFuzzyGoalFree(goal, 0.2, 0.2, 0.1, 0.1, map, everywhere));
  expected.pose.position.x = 0.1;
  EXPECT_TRUE(sameBits(goal, expected));
  EXPECT_TRUE(take().empty());

  // Range zero tests the goal again, a negative range tests nothing; the rectangle hangs off
  // the grid by two samples and is then blocked.
  map = gridMap(20, 0.1);
  setCostAt(*map, 0.03, 0.93, 254);
  goal = pose(0.03, 1.03);
  EXPECT_FALSE(robot.isFuzzyGoalFree(goal, 0.0, 0.0, 0.4, 0.2, map, everywhere));
  auto records = take();
  ASSERT_EQ(records.size(), 4U + 4U + 1U);
  EXPECT_EQ(
      records.back(), "2 isFuzzyGoalFree:   9 [INFO] isFuzzyGoalFree fail to find free pose.");
  EXPECT_FALSE(robot.isFuzzyGoalFree(goal, -0.1, 5.0, 0.4, 0.2, map, everywhere));
  EXPECT_EQ(take().size(), 4U + 1U);
  EXPECT_TRUE(sameBits(goal, pose(0.03, 1.03)));

  // On 4 m cells a wide window's distances spread over many more metres than rings: the
  // search still ends where the literal one does.
  map = gridMap(60, 4.0, -120.0);
  for (double x = -30; x <= 30; x += 4) {
    for (double y = -30; y <= 30; y += 4) {
      setCostAt(*map, x, y, 254);
    }
  }
  goal = pose(1, 1);
  PoseStamped literal_goal = goal;
  EXPECT_TRUE(robot.isFuzzyGoalFree(goal, 100, 100, 3, 3, map, everywhere));
  EXPECT_TRUE(skelmar_literal::isFuzzyGoalFree(literal_goal, 100, 100, 3, 3, map, everywhere));
  EXPECT_TRUE(sameBits(goal, literal_goal));
}

TEST_F(FreeAreaTest, ChecksRunWhileAnotherThreadEditsAndRefreshesTheMap)
{
  // The library takes no lock: the grid map keeps concurrent writes, refreshes and queries
  // apart. A wall flickers next to the goal, written as a costmap layer writes; every answer
  // must be one of the two states.
  auto map = gridMap(100, 0.1);
  std::atomic<bool> stop{false};
  std::thread editor([&] {
    for (int edit = 0; !stop; ++edit) {
      for (double y = 4.05; y < 6; y += 0.1) {
        setCostAt(*map, 5.05, y, edit % 2 == 0 ? 254 : 0);
      }
      map->multi_map->updateMap();
    }
  });
  std::atomic<int> wrong{0};
  std::vector<std::thread> checkers;
  for (int t = 0; t < 2; ++t) {
    checkers.emplace_back([&] {
      BaseRobot local;
      for (int i = 0; i < 300; ++i) {
        PoseStamped goal = pose(5.0, 5.0);
        local.isFreeArea(goal, 0.6, 0.5, map);
        // The wall never covers the whole window.
        wrong += !local.isFuzzyGoalFree(goal, 2.0, 2.0, 0.6, 0.5, map, everywhere) ||
                 std::abs(goal.pose.position.y - 5.0) > 1.0 + 1e-9;
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

// A map of random size, resolution and origin with scattered costs and solid blocks, an area
// around it, empty or random, and random poses and extents over and beside it.
struct RandomWorld
{
  explicit RandomWorld(std::mt19937_64 & rng) : rng(rng)
  {
    const unsigned int size = 8 + rng() % 60;
    map = gridMap(size, std::array{0.03, 0.05, 0.1, 0.25}[rng() % 4], unit() * 4 - 2);
    auto & costmap = *map->multi_map->costmap;
    const double density = unit() * 0.3;
    for (unsigned int i = 0; i < size * size; ++i) {
      if (unit() < density) {
        costmap.setCost(
            i % size, i / size,
            std::array<unsigned char, 6>{1, 100, 252, 253, 254, 255}[rng() % 6]);
      }
    }
    for (int block = rng() % 4; block > 0; --block) {
      const unsigned int x0 = rng() % size;
      const unsigned int y0 = rng() % size;
      const unsigned int side = 2 + rng() % 10;
      for (unsigned int y = y0; y < std::min(size, y0 + side); ++y) {
        for (unsigned int x = x0; x < std::min(size, x0 + side); ++x) {
          costmap.setCost(x, y, 254);
        }
      }
    }
    map->multi_map->updateMap();
    low = costmap.getOriginX();
    span = size * costmap.getResolution();
    const int kind = rng() % 5;
    area = kind == 0 ? box(low - 1, low - 1, low + span + 1, low + span + 1) : PolygonStamped();
    for (int corner = kind < 2 ? 0 : 3 + rng() % 3; corner > 0; --corner) {
      area.polygon.points.emplace_back()
          .set__x(static_cast<float>(low - 0.5 + unit() * (span + 1)))
          .set__y(static_cast<float>(low - 0.5 + unit() * (span + 1)));
    }
  }
  double unit()
  {
    return std::uniform_real_distribution<double>(0.0, 1.0)(rng);
  }
  // Identity, any yaw, multiples of 45 degrees, or anything, not normalised and tilted.
  PoseStamped randomPose()
  {
    PoseStamped p = pose(low - 0.5 + unit() * (span + 1), low - 0.5 + unit() * (span + 1));
    p.pose.position.z = unit() < 0.2 ? unit() * 10 - 5 : 0.0;
    const int kind = rng() % 4;
    if (kind == 1 || kind == 2) {
      const double yaw = kind == 1 ? unit() * 8 - 4 : (rng() % 8) * M_PI / 4;
      p.pose.orientation.set__z(std::sin(yaw / 2)).set__w(std::cos(yaw / 2));
    } else if (kind == 3) {
      p.pose.orientation.set__x(unit() - 0.5)
          .set__y(unit() - 0.5)
          .set__z(unit() * 2 - 1)
          .set__w(unit() * 2 - 1);
    }
    return p;
  }
  double extent()
  {
    const int kind = rng() % 8;
    return kind == 0 ? 0.0 : kind == 1 ? -unit() : unit() * 1.2;
  }

  std::mt19937_64 & rng;
  std::shared_ptr<GridMapROS> map;
  PolygonStamped area;
  double low = 0;
  double span = 0;
};

TEST_F(FreeAreaTest, RandomFreeAreaChecksMatchTheLiteralImplementation)
{
  std::mt19937_64 rng(20240611);
  int blocked = 0;
  int with_records = 0;
  for (int world = 0; world < 60; ++world) {
    RandomWorld w(rng);
    for (int query = 0; query < 40; ++query) {
      SCOPED_TRACE(::testing::Message() << "world " << world << " query " << query);
      const PoseStamped at = w.randomPose();
      const double length = w.extent();
      const double width = w.extent();
      PoseStamped lit_out = out;
      const bool lib = robot.isFreeArea(at, length, width, w.map->multi_map, out, w.area);
      const auto lib_records = take();
      ASSERT_EQ(
          lib, skelmar_literal::isFreeArea(at, length, width, w.map->multi_map, lit_out, w.area));
      ASSERT_EQ(lib_records, take());
      const bool refreshed = robot.isFreeArea(at, length, width, w.map);
      const auto refreshed_records = take();
      ASSERT_EQ(refreshed, skelmar_literal::isFreeArea(at, length, width, w.map));
      ASSERT_EQ(refreshed_records, take());
      blocked += refreshed ? 0 : 1;
      with_records += refreshed_records.empty() ? 0 : 1;
    }
  }
  EXPECT_TRUE(sameBits(out, pose(7, 7)));
  // The cases cover both outcomes and rectangles hanging off the grid.
  EXPECT_GT(blocked, 300);
  EXPECT_GT(with_records, 300);
}

TEST_F(FreeAreaTest, RandomGoalSearchesMatchTheLiteralImplementation)
{
  std::mt19937_64 rng(7);
  int moved = 0;
  int failed = 0;
  for (int world = 0; world < 80; ++world) {
    RandomWorld w(rng);
    for (int query = 0; query < 12; ++query) {
      SCOPED_TRACE(::testing::Message() << "world " << world << " query " << query);
      const PoseStamped goal = w.randomPose();
      const double length = w.extent();
      const double width = w.extent();
      const double range_x = rng() % 10 == 0 ? -w.unit() : w.unit() * 2.5;
      const double range_y = rng() % 10 == 0 ? 0.0 : w.unit() * 2.5;
      PoseStamped lib_goal = goal;
      const bool lib =
          robot.isFuzzyGoalFree(lib_goal, range_x, range_y, length, width, w.map, w.area);
      const auto lib_records = take();
      PoseStamped lit_goal = goal;
      ASSERT_EQ(
          lib, skelmar_literal::isFuzzyGoalFree(
                   lit_goal, range_x, range_y, length, width, w.map, w.area));
      ASSERT_TRUE(sameBits(lib_goal, lit_goal));
      ASSERT_EQ(lib_records, take());
      moved += lib && !sameBits(lib_goal, goal) ? 1 : 0;
      failed += lib ? 0 : 1;
    }
  }
  EXPECT_GT(moved, 100);
  EXPECT_GT(failed, 100);
}

// Every call with one argument not finite: x, y or a quaternion component of the pose, the
// length, the width, a range or an area's vertex. Each is refused, naming the call and the
// argument, before any answer (an empty area would answer false at once) and changes nothing.
TEST_F(FreeAreaTest, NonFiniteArgumentsAreRefusedAndChangeNothing)
{
  auto map = gridMap(80, 0.05);
  setCostAt(*map, 2, 2, 254);  // the goal is blocked: a search would move it
  const PolygonStamped area = box(0, 0, 4, 4);
  const char * names[] = {"length", "width", "range_x", "range_y"};
  for (double bad : {kNaN, kInf, -kInf}) {
    for (int field = 0; field < 12; ++field) {
      SCOPED_TRACE(::testing::Message() << bad << " in argument " << field);
      PoseStamped at = pose(2, 2);
      double * pose_fields[] = {&at.pose.position.x,    &at.pose.position.y,
                                &at.pose.orientation.x, &at.pose.orientation.y,
                                &at.pose.orientation.z, &at.pose.orientation.w};
      double args[] = {0.4, 0.3, 1.0, 1.0};  // length, width, range_x, range_y
      PolygonStamped bad_area = area;
      if (field < 6) {
        *pose_fields[field] = bad;
      } else if (field < 10) {
        args[field - 6] = bad;
      } else {
        bad_area.polygon.points[field - 8].x = static_cast<float>(bad);
      }
      const std::string name = field >= 6 && field < 10 ? names[field - 6] : "";
      const PoseStamped before = at;
      if (field < 8) {
        EXPECT_NE(
            refusal([&] { robot.isFreeArea(at, args[0], args[1], map); }).find(name),
            std::string::npos);
      }
      if (field < 8 || field >= 10) {
        const PolygonStamped permitted = field < 10 ? PolygonStamped() : bad_area;
        const std::string error = refusal(
            [&] { robot.isFreeArea(at, args[0], args[1], map->multi_map, out, permitted); });
        EXPECT_NE(error.find("isFreeArea"), std::string::npos) << error;
        EXPECT_NE(error.find(name), std::string::npos) << error;
      }
      PoseStamped goal = at;
      const std::string error = refusal(
          [&] { robot.isFuzzyGoalFree(goal, args[2], args[3], args[0], args[1], map, bad_area); });
      EXPECT_NE(error.find("isFuzzyGoalFree"), std::string::npos) << error;
      EXPECT_NE(error.find(name), std::string::npos) << error;
      EXPECT_TRUE(sameBits(goal, before));
    }
  }
  EXPECT_TRUE(sameBits(out, pose(7, 7)));
  // The same goal with finite arguments is moved: the refusals above are not a blocked map.
  PoseStamped goal = pose(2, 2);
  EXPECT_TRUE(robot.isFuzzyGoalFree(goal, 2, 2, 0.4, 0.3, map, area));
  EXPECT_FALSE(sameBits(goal, pose(2, 2)));
}

TEST_F(FreeAreaTest, HugeWindowsAreSearchedOverTheAreaOnlyOrRefused)
{
  // A goal in a blocked block beside a small area: windows of 40 m to 2000 km are searched only
  // over the area, as the literal scan of every position does (small enough at 40 m).
  auto map = gridMap(80, 0.05);
  for (double x = 1.0; x <= 3.0; x += 0.05) {
    for (double y = 1.0; y <= 3.0; y += 0.05) {
      setCostAt(*map, x, y, 254);
    }
  }
  const PolygonStamped area = box(3.2, 1.5, 3.6, 2.5);
  PoseStamped literal_goal = pose(2.0, 2.0);
  ASSERT_TRUE(skelmar_literal::isFuzzyGoalFree(literal_goal, 40, 40, 0.3, 0.2, map, area));
  for (double range : {40.0, 2e6}) {
    PoseStamped goal = pose(2.0, 2.0);
    ASSERT_TRUE(robot.isFuzzyGoalFree(goal, range, range, 0.3, 0.2, map, area)) << range;
    EXPECT_TRUE(
        range > 40 ? robot.isPointInPolygon(area.polygon, goal.pose)
                   : sameBits(goal, literal_goal));
  }
  // Beyond 1e8 positions inside the area's bounds a search is refused, the goal untouched:
  // 1e12 m along one axis whatever the area, 2e4 m over an area just as large.
  for (const auto & [range_x, range_y, size] : {std::tuple{1e12, 0.0, 4.0}, {2e4, 2e4, 1e4}}) {
    PoseStamped goal = pose(2, 2);
    EXPECT_NE(
        refusal([&] {
          robot.isFuzzyGoalFree(
              goal, range_x, range_y, 0.4, 0.3, map, box(-size, -size, size, size));
        }).find("1e8"),
        std::string::npos);
    EXPECT_TRUE(sameBits(goal, pose(2, 2)));
  }
  // A window whose loops can never advance has no positions at all: not refused, not found.
  PoseStamped goal = pose(2, 2);
  EXPECT_FALSE(robot.isFuzzyGoalFree(goal, 1e300, 1e300, 0.4, 0.3, map, box(0, 0, 4, 4)));
}

TEST_F(FreeAreaTest, GridThatCannotBeSampledIsRefused)
{
  // Cell indices would come from dividing by this resolution: nothing is asked of such a grid,
  // but outside the permitted area it is not even asked for that.
  const PolygonStamped area = box(-2, -2, 2, 2);
  for (double resolution : {-0.1, 0.0, kNaN, kInf}) {
    SCOPED_TRACE(resolution);
    auto map = gridMap(20, resolution);
    EXPECT_NE(
        refusal([&] { robot.isFreeArea(pose(0.5, 0.5), 0.4, 0.3, map); }).find("resolution"),
        std::string::npos);
    EXPECT_NE(
        refusal([&] { robot.isFreeArea(pose(0.5, 0.5), 0.4, 0.3, map->multi_map, out, area); }),
        "not refused");
    EXPECT_FALSE(robot.isFreeArea(pose(3.5, 0.5), 0.4, 0.3, map->multi_map, out, area));
    PoseStamped goal = pose(0.5, 0.5);
    EXPECT_NE(
        refusal([&] { robot.isFuzzyGoalFree(goal, 1.0, 1.0, 0.4, 0.3, map, area); }),
        "not refused");
    EXPECT_TRUE(sameBits(goal, pose(0.5, 0.5)));
  }
}

TEST_F(FreeAreaTest, EmptyAndDegenerateAreas)
{
  auto map = gridMap(80, 0.05);
  // Empty: contains nothing, so nothing is free and nothing is found.
  PoseStamped goal = pose(2, 2);
  EXPECT_FALSE(robot.isFreeArea(goal, 0.4, 0.3, map->multi_map, out, PolygonStamped()));
  EXPECT_FALSE(robot.isFuzzyGoalFree(goal, 1, 1, 0.4, 0.3, map, PolygonStamped()));
  EXPECT_TRUE(sameBits(goal, pose(2, 2)));
  // One point repeated: only positions closer than 0.01 m to it pass.
  const PolygonStamped dot = box(2, 2, 2, 2);
  EXPECT_TRUE(robot.isFreeArea(pose(2.005, 2), 0.4, 0.3, map->multi_map, out, dot));
  EXPECT_FALSE(robot.isFreeArea(pose(2.02, 2), 0.4, 0.3, map->multi_map, out, dot));
  goal = pose(2.5, 2.5);
  EXPECT_TRUE(robot.isFuzzyGoalFree(goal, 2, 2, 0.4, 0.3, map, dot));
  EXPECT_LT(std::hypot(goal.pose.position.x - 2, goal.pose.position.y - 2), 0.01);
  // Collinear points: no inside, only the vertices' tolerance.
  const PolygonStamped line = box(1, 2, 3, 2);
  EXPECT_FALSE(robot.isFreeArea(pose(2, 2.02), 0.4, 0.3, map->multi_map, out, line));
  EXPECT_TRUE(robot.isFreeArea(pose(3, 2.005), 0.4, 0.3, map->multi_map, out, line));
}

}  // namespace

int main(int argc, char ** argv)
{
  // Records go to the test's own capture; keep the console quiet.
  setenv("SPDLOG_STDOUT", "false", 1);
  setenv("SPDLOG_SYSTEMD", "false", 1);
  setenv("SPDLOG_LEVEL", "info", 1);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
