// isFreeArea and isFuzzyGoalFree: documented cases, bad input, concurrency and the literal scan.

#include <gmock/gmock.h>

#include <atomic>
#include <cstring>
#include <future>
#include <random>

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

Pose pose(double x, double y, double yaw = 0)
{
  Pose p;
  p.pose.position.set__x(x).set__y(y);
  p.pose.orientation.set__z(std::sin(yaw / 2)).set__w(std::cos(yaw / 2));
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
// Writes @p cost into the cells from (x0, y0) to (x1, y1) as nav2's layers do, under the lock.
void setCosts(const Map & map, unsigned char cost, double x0, double y0, double x1, double y1)
{
  nav2_costmap_2d::Costmap2D & costmap = *map->multi_map->costmap;
  std::lock_guard<nav2_costmap_2d::Costmap2D::mutex_t> lock(*costmap.getMutex());
  unsigned int mx0 = 0, my0 = 0, mx1 = 0, my1 = 0;
  ASSERT_TRUE(costmap.worldToMap(x0, y0, mx0, my0) && costmap.worldToMap(x1, y1, mx1, my1));
  for (unsigned int i = 0; i < (mx1 - mx0 + 1) * (my1 - my0 + 1); ++i) {
    costmap.setCost(mx0 + i % (mx1 - mx0 + 1), my0 + i / (mx1 - mx0 + 1), cost);
  }
}
bool sameBits(const Pose & a, const Pose & b)
{
  return a.header == b.header && std::memcmp(&a.pose, &b.pose, sizeof(a.pose)) == 0;
}
// A call refused with std::invalid_argument whose message begins "@p op: @p text".
auto refused(const std::string & op, const std::string & text)
{
  return ::testing::ThrowsMessage<std::invalid_argument>(::testing::StartsWith(op + ": " + text));
}

class FreeAreaTest : public ::testing::Test
{
protected:
  std::vector<std::string> take()
  {
    std::vector<std::string> texts;
    for (const auto & r : capture->take()) {
      texts.push_back(std::to_string(r.level) + " " + r.function + ": " + r.message());
    }
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
  bool freeIn(const Pose & at, double length, double width, const Map & map, const Area & area)
  {
    return robot.isFreeArea(at, length, width, map->multi_map, out, area);  // no refresh
  }
  // The goal search as the literal one, moving the goal alike.
  bool searched(
      Pose & goal, double rx, double ry, double l, double w, const Map & map, const Area & area)
  {
    Pose twin = goal;
    const bool found = same(
        [&] { return robot.isFuzzyGoalFree(goal, rx, ry, l, w, map, area); },
        [&] { return literal::isFuzzyGoalFree(twin, rx, ry, l, w, map, area); });
    EXPECT_TRUE(sameBits(goal, twin));
    return found;
  }
  // The checks that take the argument @p text names (isFreeArea no window, the refreshing one
  // no area either) refuse, saying @p text; the goal stays.
  void expectRefused(
      const std::string & text, const Map & map, double l, double w,
      const Pose & at = pose(0.5, 0.5), const Area & area = box(-1e3, -1e3, 1e3, 1e3),
      double rx = 1, double ry = 1)
  {
    Pose goal = at;
    EXPECT_THAT(
        [&] { robot.isFuzzyGoalFree(goal, rx, ry, l, w, map, area); },
        refused("isFuzzyGoalFree", text));
    EXPECT_TRUE(sameBits(goal, at)) << text;
    if (text.rfind("range", 0) != 0) {
      EXPECT_THAT([&] { freeIn(at, l, w, map, area); }, refused("isFreeArea", text));
    }
    if (text.rfind("range", 0) != 0 && text.rfind("an area", 0) != 0) {
      EXPECT_THAT([&] { robot.isFreeArea(at, l, w, map); }, refused("isFreeArea", text));
    }
  }
  BaseRobot robot;
  std::shared_ptr<skelmar_test::LogCapture> capture = skelmar_test::LogCapture::attach();
  Area everywhere = box(-1000, -1000, 1000, 1000);
  Pose out;  // out_pose, which the library leaves alone
  std::vector<std::string> records;
};

TEST_F(FreeAreaTest, ChecksRunWhileAnotherThreadEditsAndRefreshesTheMap)
{
  // Costs set straight in the costmap: the overload without refresh answers as last refreshed.
  auto map = gridMap(100, 0.1);
  Pose goal = pose(5.0, 5.0);
  setCosts(map, 254, 5.0, 5.0, 5.0, 5.0);
  EXPECT_TRUE(freeIn(goal, 0.5, 0.5, map, everywhere) && !robot.isFreeArea(goal, 0.5, 0.5, map));
  setCosts(map, 0, 5.0, 5.0, 5.0, 5.0);
  EXPECT_TRUE(searched(goal, 2, 2, 0.5, 0.5, map, everywhere) && sameBits(goal, pose(5.0, 5.0)));
  // A wall flickers beside the goal: every answer fits a state, none covering the window.
  std::atomic<int> edits{0}, stop{0};  // stop: set to 1 when the checks are done
  auto editor = std::async(std::launch::async, [&] {
    for (; !stop; ++edits) {
      setCosts(map, edits % 2 == 0 ? 254 : 0, 5.05, 4.05, 5.05, 5.95);
      map->multi_map->updateMap();
    }
  });
  for (int i = 0; i < 600 || edits < 300; ++i) {  // over many edits
    goal = pose(5.0, 5.0);
    EXPECT_TRUE(robot.isFuzzyGoalFree(goal, 2.0, 2.0, 0.6, 0.5, map, everywhere));
    EXPECT_NEAR(goal.pose.position.y, 5.0, 1.0 + 1e-9);
  }
  stop = 1;
}

// Grids of random size, resolution, origin and costs; areas and poses on and around them.
struct RandomWorld
{
  explicit RandomWorld(std::mt19937_64 & rng) : rng(rng)
  {
    const unsigned int size = 8 + rng() % 60;
    map = gridMap(size, std::array{0.03, 0.05, 0.1, 0.25}[rng() % 4], unit(rng) * 4 - 2);
    auto & costmap = *map->multi_map->costmap;
    const double density = unit(rng) * 0.3, low = costmap.getOriginX();
    for (unsigned int i = 0; i < size * size; ++i) {  // about the danger threshold, 253, or free
      costmap.setCost(i % size, i / size, unit(rng) < density ? 250 + rng() % 6 : 0);
    }
    map->multi_map->updateMap();
    for (unsigned int i = 0; i < size * size; ++i) {  // the danger layer shows what was written
      EXPECT_EQ(map->multi_map->inDanger(i % size, i / size, 0), costmap.getCharMap()[i] >= 253);
    }
    const double high = low + size * costmap.getResolution();
    along = std::uniform_real_distribution<double>(low - 0.5, high + 0.5);
    const int kind = rng() % 8;
    const double x = along(rng), y = along(rng), end = along(rng);
    area = kind == 0  ? box(low - 1, low - 1, high + 1, high + 1)
           : kind < 4 ? box(x, y, kind == 2 ? end : x, kind == 3 ? end : y)  // a point or a line
                      : Area();
    for (int corner = kind > 4 ? 3 + rng() % 3 : 0; corner > 0; --corner) {
      area.polygon.points.emplace_back().set__x(float(along(rng))).set__y(float(along(rng)));
    }
  }
  // Identity, any yaw, multiples of 45 degrees, or anything, not normalised and tilted.
  Pose randomPose()
  {
    const int turn = rng() % 4;
    const double yaw = turn == 1 ? unit(rng) * 8 - 4 : turn == 2 ? (rng() % 8) * M_PI / 4 : 0.0;
    Pose p = pose(along(rng), along(rng), yaw);
    const auto & corners = area.polygon.points;
    if (!corners.empty() && rng() % 4 == 0) {  // within the vertex tolerance, or just beyond
      const auto & c = corners[rng() % corners.size()];
      p.pose.position.set__x(c.x + unit(rng) * 0.03 - 0.015).set__y(c.y + unit(rng) * 0.03 - 0.015);
    }
    if (turn == 3) {
      p.pose.orientation.set__x(unit(rng) - 0.5).set__y(unit(rng) - 0.5);
      p.pose.orientation.set__z(unit(rng) * 2 - 1).set__w(unit(rng) * 2 - 1);
    }
    return p;
  }
  double extent()  // zero, negative, or up to 1.2 m
  {
    const int sign = rng() % 8;
    return sign == 0 ? 0.0 : sign == 1 ? -unit(rng) : unit(rng) * 1.2;
  }
  std::mt19937_64 & rng;
  std::uniform_real_distribution<double> unit{0.0, 1.0}, along;
  Map map;
  Area area;
};

TEST_F(FreeAreaTest, RandomChecksAndGoalSearchesMatchTheLiteralImplementation)
{
  // Empty and degenerate areas too: they hold what lies within the vertex tolerance.
  std::mt19937_64 rng(6);
  int blocked = 0, moved = 0;
  for (int world = 0; world < 80 && !HasFailure(); ++world) {
    RandomWorld w(rng);
    for (int query = 0; query < 15 && !HasFailure(); ++query) {
      SCOPED_TRACE(::testing::Message() << "world " << world << " query " << query);
      Pose at = w.randomPose();
      const Pose goal = at;
      const double length = w.extent(), width = w.extent(), rx = 2 * w.extent(),
                   ry = 2 * w.extent();
      same(
          [&] { return freeIn(at, length, width, w.map, w.area); },
          [&] { return literal::isFreeArea(at, length, width, w.map->multi_map, out, w.area); });
      blocked += !same(
          [&] { return robot.isFreeArea(at, length, width, w.map); },
          [&] { return literal::isFreeArea(at, length, width, w.map); });
      moved += searched(at, rx, ry, length, width, w.map, w.area) && !sameBits(at, goal);
    }
  }
  EXPECT_TRUE(blocked > 200 && moved > 100) << blocked << " " << moved;  // both answers reached
}

TEST_F(FreeAreaTest, HugeWindowsAreSearchedOverTheAreaOnlyOrRefused)
{
  // Beside a small area, windows up to 2000 km are searched over it only, as the literal scan
  // (run at 40 m) does; over 1e8 positions are refused, loops that cannot step have none, and a
  // free goal is kept without a look at its window.
  auto map = gridMap(80, 0.05);
  setCosts(map, 254, 1.0, 1.0, 3.0, 3.0);
  const Area area = box(3.2, 1.5, 3.6, 2.5);
  Pose goal = pose(2, 2), far = goal, kept = goal;
  EXPECT_TRUE(searched(goal, 40, 40, 0.3, 0.2, map, area));
  EXPECT_TRUE(robot.isFuzzyGoalFree(far, 2e6, 2e6, 0.3, 0.2, map, area));
  EXPECT_TRUE(robot.isPointInPolygon(area.polygon, far.pose));
  EXPECT_THAT(
      [&] { robot.isFuzzyGoalFree(kept, 1e12, 0.0, 0.4, 0.3, map, box(-4, -4, 4, 4)); },
      refused("isFuzzyGoalFree", "the search window has more than 1e8"));
  EXPECT_THAT(
      [&] { robot.isFuzzyGoalFree(kept, 2e4, 2e4, 0.4, 0.3, map, box(-1e4, -1e4, 1e4, 1e4)); },
      refused("isFuzzyGoalFree", "more than 1e8 positions of the search window"));
  EXPECT_FALSE(robot.isFuzzyGoalFree(kept, 1e300, 1e300, 0.4, 0.3, map, box(0, 0, 4, 4)));
  EXPECT_TRUE(sameBits(kept, pose(2, 2)));
  Pose free_goal = pose(0.5, 0.5, 0.3);  // kept, as its literal twin
  EXPECT_TRUE(searched(free_goal, 1e12, 1e12, 0.6, 0.5, map, everywhere) && records.empty());
  map = gridMap(60, 4.0, -120.0);  // 4 m cells: distances spread over many more metres than steps
  setCosts(map, 254, -30, -30, 30, 30);
  EXPECT_TRUE(searched(kept, 100, 100, 3, 3, map, everywhere));
}

TEST_F(FreeAreaTest, BadArgumentsAreRefusedAtOnceAndChangeNothing)
{
  // Each non-finite argument in turn, refused by name before any answer (even an empty area's);
  // the goal, blocked, is kept.
  auto map = gridMap(80, 0.05);
  setCosts(map, 254, 2, 2, 2, 2);
  const std::string names[] = {
      "position x",        "position y",       "orientation x", "orientation y", "orientation z",
      "orientation w",     "length",           "width",         "range_x",       "range_y",
      "an area point's x", "an area point's y"};
  for (int field = 0; field < 12; ++field) {
    double v[] = {2, 2, 0, 0, 0, 1, 0.4, 0.3, 2, 2, 4, 4};  // the area's far corner last
    v[field] = field % 2 ? INFINITY : NAN;
    Pose at = pose(v[0], v[1]);
    at.pose.orientation.set__x(v[2]).set__y(v[3]).set__z(v[4]).set__w(v[5]);
    expectRefused(
        names[field] + " is not finite", map, v[6], v[7], at,
        field < 8 ? Area() : box(0, 0, v[10], v[11]), v[8], v[9]);
  }
  // Scans of over 1e8 samples (also of a grid that fine) take hours or never end; cells divide by
  // the resolution. Outside the area the grid is not asked, nor anything refused.
  map = gridMap(10, 0.1);
  for (auto [l, w] :
       {std::pair{1e6, 1e6}, {1e12, 0.0}, {1e12, -1.0}, {0.05, 1e12}, {1e300, 1e300}}) {
    expectRefused("a rectangle of", map, l, w);
  }
  expectRefused("a rectangle of", gridMap(10, 1e-300, 0, 254), 0.5, 0.5);
  EXPECT_TRUE(robot.isFreeArea(pose(0.5, 0.5), 1e7, 0, map));  // 1e8 rows without width run
  for (double resolution : {-0.1, 0.0, double(NAN), double(INFINITY)}) {
    expectRefused("the costmap's resolution is not a positive", gridMap(20, resolution), 0.4, 0.3);
    EXPECT_FALSE(freeIn(pose(1.02, 0.5), 1e12, 1e12, gridMap(10, resolution), box(0, 0, 1, 1)));
  }
}

}  // namespace
