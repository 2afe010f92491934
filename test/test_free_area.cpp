// isFreeArea and isFuzzyGoalFree: documented cases, bad input, concurrency, and random worlds in
// which they agree bit for bit with bench/literal_free_area (answer, goal and log records).

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <random>
#include <thread>

#include <nav2_costmap_2d/costmap_2d.hpp>
#include <skelmar_nav2_gridmap/grid_map_ros.hpp>

#include "literal_free_area.hpp"
#include "skelmar_nav2_tools/base_robot.hpp"
#include "support/log_capture.hpp"

namespace {

using Area = geometry_msgs::msg::PolygonStamped;
using Pose = geometry_msgs::msg::PoseStamped;
using Map = std::shared_ptr<skelmar_nav2_gridmap::GridMapROS>;
namespace literal = skelmar_literal;
// The logger reads its environment once per process: records go to the captures only.
[[maybe_unused]] const int kLoggerEnvironment = setenv("SPDLOG_STDOUT", "false", 1) +
                                                setenv("SPDLOG_SYSTEMD", "false", 1) +
                                                setenv("SPDLOG_LEVEL", "info", 1);

Pose pose(double x, double y, double yaw = 0, double scale = 1)
{
  Pose p;
  p.header.frame_id = "map";
  p.pose.position.set__x(x).set__y(y);
  p.pose.orientation.set__z(scale * std::sin(yaw / 2)).set__w(scale * std::cos(yaw / 2));
  return p;
}

Area box(double x0, double y0, double x1, double y1)
{
  Area area;
  for (auto [x, y] : {std::pair{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}}) {
    area.polygon.points.emplace_back().set__x(float(x)).set__y(float(y));
  }
  return area;
}

Map gridMap(unsigned size, double res, double origin = 0, uint8_t cost = 0)
{
  return std::make_shared<skelmar_nav2_gridmap::GridMapROS>(
      std::make_shared<nav2_costmap_2d::Costmap2D>(size, size, res, origin, origin, cost));
}

// Writes the cost of the cell at (wx, wy) as nav2's layers do: into the costmap, under its mutex.
void setCostAt(const Map & map, double wx, double wy, unsigned char cost)
{
  nav2_costmap_2d::Costmap2D & costmap = *map->multi_map->costmap;
  std::lock_guard<nav2_costmap_2d::Costmap2D::mutex_t> lock(*costmap.getMutex());
  unsigned int mx = 0, my = 0;
  ASSERT_TRUE(costmap.worldToMap(wx, wy, mx, my));
  costmap.setCost(mx, my, cost);
}

bool sameBits(const Pose & a, const Pose & b)
{
  return a.header == b.header && std::memcmp(&a.pose, &b.pose, sizeof(a.pose)) == 0;
}

// A call refused with std::invalid_argument whose message holds @p text.
auto refusedWith(const std::string & text)
{
  return ::testing::ThrowsMessage<std::invalid_argument>(::testing::HasSubstr(text));
}

class FreeAreaTest : public ::testing::Test
{
protected:
  void TearDown() override
  {
    EXPECT_TRUE(sameBits(out, pose(7, 7))) << "out_pose is never written";
  }
  // Level, function and payload of the records (the literal ones name another file); numbers
  // restart at every take(), so two runs of a call read alike.
  std::vector<std::string> take()
  {
    std::vector<std::string> texts;
    for (const auto & r : capture->take()) {
      texts.push_back(std::to_string(r.level) + " " + r.function + ": " + r.payload);
    }
    skelmar::Logger::Instance("spdlog").counter = 0;
    return texts;
  }
  // Runs the library's call, then the literal one: same answer, same records (kept in records).
  template <typename Call, typename Literal>
  bool same(Call call, Literal literal_call)
  {
    take();
    const bool answer = call();
    records = take();
    EXPECT_EQ(answer, literal_call());
    EXPECT_EQ(take(), records);
    return answer;
  }
  // The overload that does not refresh.
  bool freeIn(const Pose & at, double length, double width, const Map & map, const Area & area)
  {
    return robot.isFreeArea(at, length, width, map->multi_map, out, area);
  }
  // Both overloads as the literal ones; returns the one within @p area, keeps the refreshing
  // one's answer and records.
  bool checked(const Pose & at, double length, double width, const Map & map, const Area & area)
  {
    Pose literal_out = out;
    const bool free = same(
        [&] { return freeIn(at, length, width, map, area); },
        [&] { return literal::isFreeArea(at, length, width, map->multi_map, literal_out, area); });
    refreshed_free = same(
        [&] { return robot.isFreeArea(at, length, width, map); },
        [&] { return literal::isFreeArea(at, length, width, map); });
    return free;
  }
  // The goal search as the literal one, moving the goal alike.
  bool searched(
      Pose & goal, double range_x, double range_y, double length, double width, const Map & map,
      const Area & area)
  {
    Pose literal_goal = goal;
    const bool found = same(
        [&] { return robot.isFuzzyGoalFree(goal, range_x, range_y, length, width, map, area); },
        [&] {
          return literal::isFuzzyGoalFree(literal_goal, range_x, range_y, length, width, map, area);
        });
    EXPECT_TRUE(sameBits(goal, literal_goal));
    return found;
  }
  // Both isFreeArea overloads and the goal search refuse with "<operation>: @p text"; the goal
  // stays unchanged.
  void expectRefused(
      const Pose & at, double length, double width, const Map & map, const Area & area,
      const std::string & text)
  {
    Pose goal = at;
    const auto refused = refusedWith("isFreeArea: " + text);
    EXPECT_THAT([&] { robot.isFreeArea(at, length, width, map); }, refused);
    EXPECT_THAT([&] { freeIn(at, length, width, map, area); }, refused);
    EXPECT_THAT(
        [&] { robot.isFuzzyGoalFree(goal, 1, 1, length, width, map, area); },
        refusedWith("isFuzzyGoalFree: " + text));
    EXPECT_TRUE(sameBits(goal, at));
  }

  BaseRobot robot;
  std::shared_ptr<skelmar_test::LogCapture> capture = skelmar_test::LogCapture::attach();
  Area everywhere = box(-1000, -1000, 1000, 1000);
  Pose out = pose(7, 7);
  std::vector<std::string> records;
  bool refreshed_free = false;
};

TEST_F(FreeAreaTest, AreaTestComesBeforeAnyGridQuery)
{
  // Inside the area but off the grid, each sample is logged (5 x 3 here); outside it, even with
  // an empty rectangle, the pose is not free and nothing is logged.
  auto map = gridMap(10, 0.1);
  const Area square = box(0, 0, 1, 1);
  EXPECT_TRUE(freeIn(pose(-20, -20), 0.5, 0.3, map, everywhere));
  const auto off_grid = take();
  ASSERT_EQ(off_grid.size(), 15U);
  EXPECT_EQ(
      off_grid.back(),
      "4 isFreeArea:  15 [ERROR] isFreeArea failed worldToMap, error code is 101100005");
  EXPECT_FALSE(freeIn(pose(-20, -20), 0.3, 0.3, map, square));
  EXPECT_FALSE(freeIn(pose(1.02, 0.5), 0.0, 0.1, map, square));
  EXPECT_TRUE(take().empty());
  EXPECT_TRUE(freeIn(pose(1.005, 1.0), 0.1, 0.1, map, square));  // within 0.01 of (1, 1)
  // Not even the resolution is asked (without a costmap that would crash), so a rectangle too
  // large to scan is no matter.
  EXPECT_EXIT(
      {
        map->multi_map->costmap = nullptr;
        std::exit(
            freeIn(pose(2, 0.5), 0.3, 0.3, map, square) ||
            freeIn(pose(2, 0.5), 1e12, 1e12, map, square) ||
            freeIn(pose(2, 0.5), 0.3, 0.3, map, Area()));
      },
      ::testing::ExitedWithCode(0), "");
}

TEST_F(FreeAreaTest, RefreshingChecksSeeCostsWrittenStraightIntoTheCostmap)
{
  // The overload without refresh answers for the map as last refreshed.
  auto map = gridMap(100, 0.1);
  setCostAt(map, 5.0, 5.0, 254);
  EXPECT_TRUE(freeIn(pose(5.0, 5.0), 0.5, 0.5, map, everywhere));
  EXPECT_FALSE(robot.isFreeArea(pose(5.0, 5.0), 0.5, 0.5, map));
  EXPECT_FALSE(freeIn(pose(5.0, 5.0), 0.5, 0.5, map, everywhere));
  // The goal search refreshes too: the cleared cell frees the goal, the lethal one moves it.
  setCostAt(map, 5.0, 5.0, 0);
  Pose goal = pose(5.0, 5.0);
  EXPECT_TRUE(searched(goal, 2.0, 2.0, 0.5, 0.5, map, everywhere));
  EXPECT_TRUE(sameBits(goal, pose(5.0, 5.0)));
  setCostAt(map, 5.0, 5.0, 254);
  EXPECT_TRUE(searched(goal, 2.0, 2.0, 0.5, 0.5, map, everywhere));
  EXPECT_FALSE(sameBits(goal, pose(5.0, 5.0)));
}

TEST_F(FreeAreaTest, RectanglesOfMoreThanAHundredMillionSamplesAreRefusedAtOnce)
{
  // Such a scan would take hours (off the grid logging every sample), or for ever where a step
  // cannot move the running coordinate.
  auto map = gridMap(10, 0.1);
  for (const auto & [length, width] :
       {std::pair{1e6, 1e6}, {1e12, 0.0}, {1e12, -1.0}, {0.05, 1e12}, {1e300, 1e300}}) {
    SCOPED_TRACE(::testing::Message() << length << " x " << width);
    expectRefused(pose(0.5, 0.5), length, width, map, everywhere, "a rectangle of");
  }
  // Even where the first sample is in danger: a grid that fine cannot be scanned.
  expectRefused(pose(0.5, 0.5), 0.5, 0.5, gridMap(10, 1e-300, 0, 254), everywhere, "a rectangle");
  // Up to the bound the scan runs: 1e8 rows without width, or negative extents, sample nothing.
  EXPECT_TRUE(robot.isFreeArea(pose(0.5, 0.5), 1e7, 0.0, map));
  EXPECT_TRUE(robot.isFreeArea(pose(0.5, 0.5), -1e300, 1e300, map));
  EXPECT_TRUE(take().empty());
}

TEST_F(FreeAreaTest, FreeGoalIsKeptWithoutSearch)
{
  // The window is not looked at: one of 1e12 m, which a search would refuse, is no matter.
  auto map = gridMap(100, 0.1);
  for (auto [range_x, range_y] : {std::pair{2.0, 2.0}, {0.0, 0.0}, {-1.0, 3.0}, {1e12, 1e12}}) {
    Pose goal = pose(5.0, 5.0, 0.3);
    EXPECT_TRUE(searched(goal, range_x, range_y, 0.6, 0.5, map, everywhere));
    EXPECT_TRUE(sameBits(goal, pose(5.0, 5.0, 0.3))) << range_x;
    EXPECT_TRUE(records.empty());
  }
}

TEST_F(FreeAreaTest, ChecksRunWhileAnotherThreadEditsAndRefreshesTheMap)
{
  // The library takes no lock; the grid map keeps writes, refreshes and queries apart. A wall
  // flickers beside the goal, and every answer must fit one of its two states.
  auto map = gridMap(100, 0.1);
  std::atomic<bool> stop{false};
  std::atomic<int> wrong{0};
  std::thread editor([&] {
    for (int edit = 0; !stop; ++edit) {
      for (double y = 4.05; y < 6; y += 0.1) {
        setCostAt(map, 5.05, y, edit % 2 == 0 ? 254 : 0);
      }
      map->multi_map->updateMap();
    }
  });
  const auto check = [&] {
    BaseRobot local;
    for (int i = 0; i < 300; ++i) {
      Pose goal = pose(5.0, 5.0);
      local.isFreeArea(goal, 0.6, 0.5, map);
      // The wall never covers the whole window.
      wrong += !local.isFuzzyGoalFree(goal, 2.0, 2.0, 0.6, 0.5, map, everywhere) ||
               std::abs(goal.pose.position.y - 5.0) > 1.0 + 1e-9;
    }
  };
  std::thread checker(check);
  check();
  checker.join();
  stop = true;
  editor.join();
  EXPECT_EQ(wrong, 0);
}

// A grid of random size, resolution and origin with scattered costs and solid blocks; an area
// around it, empty or random; poses and extents over and beside it.
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
        costmap.setCost(i % size, i / size, std::array{1, 100, 252, 253, 254, 255}[rng() % 6]);
      }
    }
    for (int block = rng() % 4; block > 0; --block) {
      const unsigned int x0 = rng() % size, y0 = rng() % size, side = 2 + rng() % 10;
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
    area = kind == 0 ? box(low - 1, low - 1, low + span + 1, low + span + 1) : Area();
    for (int corner = kind < 2 ? 0 : 3 + rng() % 3; corner > 0; --corner) {
      area.polygon.points.emplace_back().set__x(float(along())).set__y(float(along()));
    }
  }
  double unit()
  {
    return std::uniform_real_distribution<double>(0.0, 1.0)(rng);
  }
  double along()  // over the map and half a metre beside it
  {
    return low - 0.5 + unit() * (span + 1);
  }
  // Identity, any yaw, multiples of 45 degrees, or anything, not normalised and tilted.
  Pose randomPose()
  {
    Pose p = pose(along(), along());
    p.pose.position.z = unit() < 0.2 ? unit() * 10 - 5 : 0.0;
    const int kind = rng() % 4;
    if (kind == 1 || kind == 2) {
      const double yaw = kind == 1 ? unit() * 8 - 4 : (rng() % 8) * M_PI / 4;
      p.pose.orientation.set__z(std::sin(yaw / 2)).set__w(std::cos(yaw / 2));
    } else if (kind == 3) {
      p.pose.orientation.set__x(unit() - 0.5).set__y(unit() - 0.5);
      p.pose.orientation.set__z(unit() * 2 - 1).set__w(unit() * 2 - 1);
    }
    return p;
  }
  double extent()
  {
    const int kind = rng() % 8;
    return kind == 0 ? 0.0 : kind == 1 ? -unit() : unit() * 1.2;
  }

  std::mt19937_64 & rng;
  Map map;
  Area area;
  double low = 0, span = 0;
};

TEST_F(FreeAreaTest, RandomFreeAreaChecksMatchTheLiteralImplementation)
{
  std::mt19937_64 rng(20240611);
  int blocked = 0, with_records = 0;
  for (int world = 0; world < 60 && !HasFailure(); ++world) {
    RandomWorld w(rng);
    for (int query = 0; query < 40 && !HasFailure(); ++query) {
      SCOPED_TRACE(::testing::Message() << "world " << world << " query " << query);
      const Pose at = w.randomPose();
      const double length = w.extent(), width = w.extent();
      checked(at, length, width, w.map, w.area);
      blocked += !refreshed_free;
      with_records += !records.empty();
    }
  }
  // Both outcomes, and rectangles hanging off the grid.
  EXPECT_GT(blocked, 300);
  EXPECT_GT(with_records, 300);
}

TEST_F(FreeAreaTest, RandomGoalSearchesMatchTheLiteralImplementation)
{
  std::mt19937_64 rng(7);
  int moved = 0, failed = 0;
  for (int world = 0; world < 80 && !HasFailure(); ++world) {
    RandomWorld w(rng);
    for (int query = 0; query < 12 && !HasFailure(); ++query) {
      SCOPED_TRACE(::testing::Message() << "world " << world << " query " << query);
      const Pose goal = w.randomPose();
      Pose moving = goal;
      const double length = w.extent(), width = w.extent();
      const double range_x = rng() % 10 == 0 ? -w.unit() : w.unit() * 2.5;
      const double range_y = rng() % 10 == 0 ? 0.0 : w.unit() * 2.5;
      const bool found = searched(moving, range_x, range_y, length, width, w.map, w.area);
      moved += found && !sameBits(moving, goal);
      failed += !found;
    }
  }
  EXPECT_GT(moved, 100);
  EXPECT_GT(failed, 100);
}

TEST_F(FreeAreaTest, NonFiniteArgumentsAreRefusedAndChangeNothing)
{
  // Each argument in turn not finite: refused naming the call and the argument before any
  // answer (an empty area would answer false at once), the goal unchanged.
  auto map = gridMap(80, 0.05);
  setCostAt(map, 2, 2, 254);  // the goal is blocked: a search would move it
  const std::string names[] = {
      "position x",        "position y",       "orientation x", "orientation y", "orientation z",
      "orientation w",     "length",           "width",         "range_x",       "range_y",
      "an area point's x", "an area point's y"};
  for (double bad : {NAN, INFINITY, -INFINITY}) {
    for (int field = 0; field < 12; ++field) {
      const std::string & name = names[field];
      SCOPED_TRACE(::testing::Message() << bad << " as " << name);
      double v[] = {2, 2, 0, 0, 0, 1, 0.4, 0.3, 1, 1, 4, 4};  // the area's third corner last
      v[field] = bad;
      Pose at = pose(v[0], v[1]);
      at.pose.orientation.set__x(v[2]).set__y(v[3]).set__z(v[4]).set__w(v[5]);
      Area area = box(0, 0, 4, 4);
      area.polygon.points[2].set__x(float(v[10])).set__y(float(v[11]));
      const auto refused = [&](const std::string & operation) {
        return refusedWith(operation + ": " + name + " is not finite");
      };
      if (field < 8) {
        EXPECT_THAT([&] { robot.isFreeArea(at, v[6], v[7], map); }, refused("isFreeArea"));
        EXPECT_THAT([&] { freeIn(at, v[6], v[7], map, Area()); }, refused("isFreeArea"));
      } else if (field >= 10) {
        EXPECT_THAT([&] { freeIn(at, v[6], v[7], map, area); }, refused("isFreeArea"));
      }
      Pose goal = at;
      EXPECT_THAT(
          [&] { robot.isFuzzyGoalFree(goal, v[8], v[9], v[6], v[7], map, area); },
          refused("isFuzzyGoalFree"));
      EXPECT_TRUE(sameBits(goal, at));
    }
  }
  // With finite arguments the same goal is moved: the refusals above are not a blocked map.
  Pose goal = pose(2, 2);
  EXPECT_TRUE(robot.isFuzzyGoalFree(goal, 2, 2, 0.4, 0.3, map, box(0, 0, 4, 4)));
  EXPECT_FALSE(sameBits(goal, pose(2, 2)));
}

TEST_F(FreeAreaTest, HugeWindowsAreSearchedOverTheAreaOnlyOrRefused)
{
  // A blocked goal beside a small area: windows up to 2000 km are searched over the area only,
  // ending as the literal scan of every position does (run at 40 m).
  auto map = gridMap(80, 0.05);
  for (double x = 1.0; x <= 3.0; x += 0.05) {
    for (double y = 1.0; y <= 3.0; y += 0.05) {
      setCostAt(map, x, y, 254);
    }
  }
  const Area area = box(3.2, 1.5, 3.6, 2.5);
  Pose goal = pose(2.0, 2.0), far = goal;
  EXPECT_TRUE(searched(goal, 40, 40, 0.3, 0.2, map, area));
  EXPECT_TRUE(robot.isFuzzyGoalFree(far, 2e6, 2e6, 0.3, 0.2, map, area));
  EXPECT_TRUE(robot.isPointInPolygon(area.polygon, far.pose));
  // More than 1e8 positions along an axis, or inside the area's bounds: refused.
  for (const auto & [range_x, range_y, size] : {std::tuple{1e12, 0.0, 4.0}, {2e4, 2e4, 1e4}}) {
    goal = pose(2, 2);
    const Area wide = box(-size, -size, size, size);
    EXPECT_THAT(
        [&] { robot.isFuzzyGoalFree(goal, range_x, range_y, 0.4, 0.3, map, wide); },
        refusedWith("1e8"));
    EXPECT_TRUE(sameBits(goal, pose(2, 2)));
  }
  // Loops that can never advance give no positions: not refused, not found.
  EXPECT_FALSE(robot.isFuzzyGoalFree(goal, 1e300, 1e300, 0.4, 0.3, map, box(0, 0, 4, 4)));
  // On 4 m cells a wide window's distances spread over many more metres than steps.
  map = gridMap(60, 4.0, -120.0);
  for (double x = -30; x <= 30; x += 4) {
    for (double y = -30; y <= 30; y += 4) {
      setCostAt(map, x, y, 254);
    }
  }
  goal = pose(1, 1);
  EXPECT_TRUE(searched(goal, 100, 100, 3, 3, map, everywhere));
}

TEST_F(FreeAreaTest, GridThatCannotBeSampledIsRefused)
{
  // Cell indices would divide by this resolution; outside the area it is not even asked for.
  const Area area = box(-2, -2, 2, 2);
  for (double resolution : {-0.1, 0.0, double(NAN), double(INFINITY)}) {
    SCOPED_TRACE(resolution);
    auto map = gridMap(20, resolution);
    expectRefused(
        pose(0.5, 0.5), 0.4, 0.3, map, area, "the costmap's resolution is not a positive");
    EXPECT_FALSE(freeIn(pose(3.5, 0.5), 0.4, 0.3, map, area));
  }
}

TEST_F(FreeAreaTest, EmptyAndDegenerateAreas)
{
  // An empty area contains nothing; one point repeated, or collinear points, contain only
  // positions closer than 0.01 m to a vertex.
  auto map = gridMap(80, 0.05);
  const Area empty, dot = box(2, 2, 2, 2), line = box(1, 2, 3, 2);
  const std::tuple<Area, double, double, bool> cases[] = {
      {empty, 2, 2, false},
      {dot, 2.005, 2, true},
      {dot, 2.02, 2, false},
      {line, 2, 2.02, false},
      {line, 3, 2.005, true}};
  for (const auto & [area, x, y, in] : cases) {
    EXPECT_EQ(checked(pose(x, y), 0.4, 0.3, map, area), in) << x << " " << y;
  }
  Pose goal = pose(2, 2);
  EXPECT_FALSE(searched(goal, 1, 1, 0.4, 0.3, map, empty));
  goal = pose(2.5, 2.5);
  EXPECT_TRUE(searched(goal, 2, 2, 0.4, 0.3, map, dot));
  EXPECT_LT(std::hypot(goal.pose.position.x - 2, goal.pose.position.y - 2), 0.01);
}

TEST_F(FreeAreaTest, SearchRemembersOnlySamplesThatBlocked)
{
  // Turned by 45 degrees, a 0.1 m square takes one sample, in the cell below its centre. The
  // goal and three of its neighbours are blocked through their samples; the fourth has a lethal
  // cell under its centre but not under its sample, so it is free and must be found.
  auto map = gridMap(100, 0.1, -5.0);
  for (auto [x, y] :
       {std::pair{0.05, -0.05}, {-0.05, -0.05}, {0.05, 0.05}, {0.05, -0.15}, {0.15, 0.05}}) {
    setCostAt(map, x, y, 254);
  }
  Pose goal = pose(0.05, 0.05, M_PI / 4);
  EXPECT_TRUE(searched(goal, 0.2, 0.2, 0.1, 0.1, map, everywhere));
  EXPECT_NEAR(goal.pose.position.x, 0.15, 1e-9);
  EXPECT_NEAR(goal.pose.position.y, 0.05, 1e-9);
}

}  // namespace
