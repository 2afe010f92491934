// Bad input to the geometry and the free-space checks: non-finite poses, quaternions, sizes,
// ranges and areas are refused with std::invalid_argument and change nothing; empty and
// degenerate polygons give their defined answers; search windows far larger than the
// permitted area are searched only over the area, and searches too large to finish are
// refused instead of hanging the caller.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <nav2_costmap_2d/cost_values.hpp>
#include <nav2_costmap_2d/costmap_2d.hpp>
#include <skelmar_nav2_gridmap/grid_map_ros.hpp>

#include "literal_free_area.hpp"
#include "skelmar_nav2_tools/base_robot.hpp"

namespace {

using geometry_msgs::msg::PolygonStamped;
using geometry_msgs::msg::PoseStamped;
using skelmar_nav2_gridmap::GridMapROS;

constexpr double kPi = 3.141592653589793;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
const double kNonFinite[] = {kNaN, kInf, -kInf};

PoseStamped pose(double x, double y)
{
  PoseStamped p;
  p.header.frame_id = "map";
  p.header.stamp.sec = 42;
  p.pose.position.x = x;
  p.pose.position.y = y;
  p.pose.position.z = 0.5;
  p.pose.orientation.w = 1.0;
  return p;
}

PolygonStamped box(double x0, double y0, double x1, double y1)
{
  PolygonStamped area;
  area.header.frame_id = "map";
  for (const auto & [x, y] : {std::pair{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}}) {
    geometry_msgs::msg::Point32 p;
    p.x = static_cast<float>(x);
    p.y = static_cast<float>(y);
    area.polygon.points.push_back(p);
  }
  return area;
}

// A 4 m x 4 m map at 0.05 m with its origin at (0, 0), free except where blocked.
std::shared_ptr<GridMapROS> gridMap()
{
  return std::make_shared<GridMapROS>(std::make_shared<nav2_costmap_2d::Costmap2D>(
      80, 80, 0.05, 0.0, 0.0, nav2_costmap_2d::FREE_SPACE));
}

void block(GridMapROS & map, double x0, double y0, double x1, double y1)
{
  map.multi_map->editCostmap([&](nav2_costmap_2d::Costmap2D & costmap) {
    for (unsigned int my = 0; my < costmap.getSizeInCellsY(); ++my) {
      for (unsigned int mx = 0; mx < costmap.getSizeInCellsX(); ++mx) {
        double wx = 0.0;
        double wy = 0.0;
        costmap.mapToWorld(mx, my, wx, wy);
        if (wx >= x0 && wx <= x1 && wy >= y0 && wy <= y1) {
          costmap.setCost(mx, my, nav2_costmap_2d::LETHAL_OBSTACLE);
        }
      }
    }
  });
}

bool samePose(const PoseStamped & a, const PoseStamped & b)
{
  const auto & pa = a.pose;
  const auto & pb = b.pose;
  const double va[] = {pa.position.x,    pa.position.y,    pa.position.z,   pa.orientation.x,
                       pa.orientation.y, pa.orientation.z, pa.orientation.w};
  const double vb[] = {pb.position.x,    pb.position.y,    pb.position.z,   pb.orientation.x,
                       pb.orientation.y, pb.orientation.z, pb.orientation.w};
  return a.header == b.header && std::memcmp(va, vb, sizeof(va)) == 0;
}

// Every way of making one field of a pose non-finite (x, y and each quaternion component).
std::vector<PoseStamped> nonFinitePoses(const PoseStamped & base)
{
  std::vector<PoseStamped> poses;
  for (double bad : kNonFinite) {
    for (int i = 0; i < 6; ++i) {
      PoseStamped p = base;
      double * fields[] = {&p.pose.position.x,    &p.pose.position.y,    &p.pose.orientation.x,
                           &p.pose.orientation.y, &p.pose.orientation.z, &p.pose.orientation.w};
      *fields[i] = bad;
      poses.push_back(p);
    }
  }
  return poses;
}

std::string refusal(const std::function<void()> & call)
{
  try {
    call();
  } catch (const std::invalid_argument & e) {
    return e.what();
  }
  return "";
}

TEST(FreeAreaBadInput, NonFinitePoseOrSizeIsRefusedBeforeAnyAnswer)
{
  BaseRobot robot;
  auto map = gridMap();
  // An empty area would answer false at once: a refusal shows the check comes first.
  const PolygonStamped nowhere;
  PoseStamped out = pose(9, 9);
  const PoseStamped out_before = out;
  for (const PoseStamped & p : nonFinitePoses(pose(2, 2))) {
    EXPECT_NE(refusal([&] { robot.isFreeArea(p, 0.4, 0.3, map); }), "");
    EXPECT_NE(refusal([&] { robot.isFreeArea(p, 0.4, 0.3, map->multi_map, out, nowhere); }), "");
  }
  for (double bad : kNonFinite) {
    const std::string length_error = refusal([&] { robot.isFreeArea(pose(2, 2), bad, 0.3, map); });
    EXPECT_NE(length_error.find("isFreeArea"), std::string::npos) << length_error;
    EXPECT_NE(length_error.find("length"), std::string::npos) << length_error;
    const std::string width_error = refusal(
        [&] { robot.isFreeArea(pose(2, 2), 0.4, bad, map->multi_map, out, box(0, 0, 4, 4)); });
    EXPECT_NE(width_error.find("width"), std::string::npos) << width_error;
  }
  EXPECT_TRUE(samePose(out, out_before));
  // Finite values, even extreme ones, are answered.
  EXPECT_NO_THROW(robot.isFreeArea(pose(2, 2), -1e300, 1e-300, map));
}

TEST(FreeAreaBadInput, NonFiniteAreaIsRefused)
{
  BaseRobot robot;
  auto map = gridMap();
  PoseStamped out;
  for (double bad : kNonFinite) {
    for (int corner = 0; corner < 4; ++corner) {
      PolygonStamped area = box(0, 0, 4, 4);
      (corner % 2 ? area.polygon.points[corner].x : area.polygon.points[corner].y) =
          static_cast<float>(bad);
      EXPECT_NE(
          refusal([&] { robot.isFreeArea(pose(2, 2), 0.4, 0.3, map->multi_map, out, area); }), "");
      PoseStamped goal = pose(2, 2);
      const PoseStamped before = goal;
      EXPECT_NE(refusal([&] { robot.isFuzzyGoalFree(goal, 1.0, 1.0, 0.4, 0.3, map, area); }), "");
      EXPECT_TRUE(samePose(goal, before));
    }
  }
}

TEST(FuzzyGoalBadInput, NonFiniteArgumentsLeaveTheGoalUnchanged)
{
  BaseRobot robot;
  auto map = gridMap();
  block(*map, 1.8, 1.8, 2.2, 2.2);  // the goal is blocked: a search would move it
  const PolygonStamped area = box(0, 0, 4, 4);
  for (PoseStamped goal : nonFinitePoses(pose(2, 2))) {
    const PoseStamped before = goal;
    EXPECT_NE(refusal([&] { robot.isFuzzyGoalFree(goal, 2, 2, 0.4, 0.3, map, area); }), "");
    EXPECT_TRUE(samePose(goal, before));
  }
  for (double bad : kNonFinite) {
    PoseStamped goal = pose(2, 2);
    const PoseStamped before = goal;
    const std::string range_error =
        refusal([&] { robot.isFuzzyGoalFree(goal, bad, 2, 0.4, 0.3, map, area); });
    EXPECT_NE(range_error.find("isFuzzyGoalFree"), std::string::npos) << range_error;
    EXPECT_NE(range_error.find("range_x"), std::string::npos) << range_error;
    EXPECT_NE(refusal([&] { robot.isFuzzyGoalFree(goal, 2, bad, 0.4, 0.3, map, area); }), "");
    EXPECT_NE(refusal([&] { robot.isFuzzyGoalFree(goal, 2, 2, bad, 0.3, map, area); }), "");
    EXPECT_NE(refusal([&] { robot.isFuzzyGoalFree(goal, 2, 2, 0.4, bad, map, area); }), "");
    EXPECT_TRUE(samePose(goal, before));
  }
  // The same goal with finite arguments is moved: the refusals above are not a blocked map.
  PoseStamped goal = pose(2, 2);
  EXPECT_TRUE(robot.isFuzzyGoalFree(goal, 2, 2, 0.4, 0.3, map, area));
  EXPECT_FALSE(goal.pose.position.x == 2 && goal.pose.position.y == 2);
}

TEST(FuzzyGoalBadInput, HugeWindowOverASmallAreaGivesTheLiteralResult)
{
  BaseRobot robot;
  auto map = gridMap();
  block(*map, 1.0, 1.0, 3.0, 3.0);
  // A small area beside the blocked block, well inside the map, and windows of 40 m up to
  // 2000 km around a goal in the block: only the positions over the area can win.
  const PolygonStamped area = box(3.2, 1.5, 3.6, 2.5);
  for (double range : {40.0, 2e6}) {
    PoseStamped goal = pose(2.0, 2.0);
    ASSERT_TRUE(robot.isFuzzyGoalFree(goal, range, range, 0.3, 0.2, map, area)) << range;
    EXPECT_TRUE(robot.isPointInPolygon(area.polygon, goal.pose));
    if (range == 40.0) {
      // Small enough for the literal scan of every position.
      PoseStamped literal_goal = pose(2.0, 2.0);
      ASSERT_TRUE(
          skelmar_literal::isFuzzyGoalFree(literal_goal, range, range, 0.3, 0.2, map, area));
      EXPECT_EQ(goal.pose.position.x, literal_goal.pose.position.x);
      EXPECT_EQ(goal.pose.position.y, literal_goal.pose.position.y);
    }
  }
}

TEST(FuzzyGoalBadInput, SearchesBeyondAHundredMillionPositionsAreRefused)
{
  BaseRobot robot;
  auto map = gridMap();
  block(*map, 1.8, 1.8, 2.2, 2.2);
  // 1e12 m at 0.05 m: 2e13 positions along each axis, whatever the area.
  {
    PoseStamped goal = pose(2, 2);
    const PoseStamped before = goal;
    const std::string error =
        refusal([&] { robot.isFuzzyGoalFree(goal, 1e12, 0, 0.4, 0.3, map, box(0, 0, 4, 4)); });
    EXPECT_NE(error.find("1e8"), std::string::npos) << error;
    EXPECT_TRUE(samePose(goal, before));
  }
  // 2e4 m at 0.05 m over an area just as large: 4e5 x 4e5 positions inside its bounds.
  {
    PoseStamped goal = pose(2, 2);
    const PoseStamped before = goal;
    const std::string error = refusal(
        [&] { robot.isFuzzyGoalFree(goal, 2e4, 2e4, 0.4, 0.3, map, box(-1e4, -1e4, 1e4, 1e4)); });
    EXPECT_NE(error.find("1e8"), std::string::npos) << error;
    EXPECT_TRUE(samePose(goal, before));
  }
  // A window whose loops can never advance has no positions at all: not refused, not found.
  {
    PoseStamped goal = pose(2, 2);
    EXPECT_FALSE(robot.isFuzzyGoalFree(goal, 1e300, 1e300, 0.4, 0.3, map, box(0, 0, 4, 4)));
  }
}

TEST(FreeAreaBadInput, GridThatCannotBeSampledIsRefused)
{
  BaseRobot robot;
  // Cell indices would come from dividing by this resolution: nothing is asked of such a grid.
  for (double resolution : {-0.1, 0.0, kNaN, kInf}) {
    auto map = std::make_shared<GridMapROS>(std::make_shared<nav2_costmap_2d::Costmap2D>(
        20, 20, resolution, 0.0, 0.0, nav2_costmap_2d::FREE_SPACE));
    PoseStamped out;
    const std::string error = refusal([&] { robot.isFreeArea(pose(0.5, 0.5), 0.4, 0.3, map); });
    EXPECT_NE(error.find("resolution"), std::string::npos) << resolution << ": " << error;
    EXPECT_NE(
        refusal([&] {
          robot.isFreeArea(pose(0.5, 0.5), 0.4, 0.3, map->multi_map, out, box(-2, -2, 2, 2));
        }),
        "")
        << resolution;
    // Outside the permitted area the grid is never asked: not free, and nothing to refuse.
    EXPECT_FALSE(robot.isFreeArea(pose(3.5, 0.5), 0.4, 0.3, map->multi_map, out, box(-2, -2, 2, 2)))
        << resolution;
    PoseStamped goal = pose(0.5, 0.5);
    const PoseStamped before = goal;
    EXPECT_NE(
        refusal([&] { robot.isFuzzyGoalFree(goal, 1.0, 1.0, 0.4, 0.3, map, box(-2, -2, 2, 2)); }),
        "")
        << resolution;
    EXPECT_TRUE(samePose(goal, before));
  }
}

TEST(PolygonBadInput, EmptyAndDegenerateAreas)
{
  BaseRobot robot;
  auto map = gridMap();
  PoseStamped out;
  // Empty: contains nothing, so nothing is free and nothing is found.
  const PolygonStamped empty;
  EXPECT_FALSE(robot.isFreeArea(pose(2, 2), 0.4, 0.3, map->multi_map, out, empty));
  PoseStamped goal = pose(2, 2);
  const PoseStamped before = goal;
  EXPECT_FALSE(robot.isFuzzyGoalFree(goal, 1, 1, 0.4, 0.3, map, empty));
  EXPECT_TRUE(samePose(goal, before));

  // One point repeated: only positions closer than 0.01 m to it pass.
  PolygonStamped dot = box(2, 2, 2, 2);
  EXPECT_TRUE(robot.isFreeArea(pose(2.005, 2), 0.4, 0.3, map->multi_map, out, dot));
  EXPECT_FALSE(robot.isFreeArea(pose(2.02, 2), 0.4, 0.3, map->multi_map, out, dot));
  goal = pose(2.5, 2.5);
  EXPECT_TRUE(robot.isFuzzyGoalFree(goal, 2, 2, 0.4, 0.3, map, dot));
  EXPECT_LT(std::hypot(goal.pose.position.x - 2, goal.pose.position.y - 2), 0.01);

  // Collinear points: no inside, only the vertices' tolerance.
  PolygonStamped line = box(1, 2, 3, 2);
  EXPECT_FALSE(robot.isFreeArea(pose(2, 2.02), 0.4, 0.3, map->multi_map, out, line));
  EXPECT_TRUE(robot.isFreeArea(pose(3, 2.005), 0.4, 0.3, map->multi_map, out, line));
}

TEST(PolygonBadInput, DegenerateLiftFramesAndPolygons)
{
  BaseRobot robot;
  geometry_msgs::msg::Polygon frame = box(1, 1, 1, 1).polygon;
  // Four equal corners: zero directions, so nothing moves, whatever the depth.
  const auto same = robot.resizeLiftFrame(frame, 5.0, false);
  ASSERT_EQ(same.points.size(), 4u);
  for (const auto & p : same.points) {
    EXPECT_EQ(p.x, 1.0F);
    EXPECT_EQ(p.y, 1.0F);
  }
  frame.points.pop_back();
  EXPECT_THROW(robot.resizeLiftFrame(frame, 0.5, false), std::invalid_argument);
  frame.points.clear();
  EXPECT_THROW(robot.resizeLiftFrame(frame, 0.5, true), std::invalid_argument);

  const geometry_msgs::msg::Polygon empty;
  EXPECT_FALSE(robot.isPointInPolygon(empty, pose(0, 0).pose));
  EXPECT_TRUE(robot.isPolygonContained(empty, empty));
  EXPECT_FALSE(robot.isPolygonContained(box(0, 0, 1, 1).polygon, empty));
}

TEST(GeometryBadInput, NonFiniteValuesNeitherHangNorCorrupt)
{
  BaseRobot robot;
  for (double bad : kNonFinite) {
    EXPECT_TRUE(std::isnan(robot.calDelAngle(bad, 0.0)));
    EXPECT_TRUE(std::isnan(robot.calDelAngle(0.0, bad)));
  }
  // Far beyond a few turns the difference is still reduced into (-pi, pi].
  const double d = robot.calDelAngle(1e300, -1e300);
  EXPECT_GT(d, -kPi);
  EXPECT_LE(d, kPi);

  // A rotation that lands outside int leaves the output exactly as it was.
  const std::vector<cv::Point> in{{1, 2}, {2147483647, 0}};
  std::vector<cv::Point> out{{7, 7}};
  EXPECT_THROW(robot.transformPoints(in, out, {0, 0}, kNaN), std::out_of_range);
  EXPECT_THROW(robot.transformPoints(in, out, {-2147483647, 0}, 180.0), std::out_of_range);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0], cv::Point(7, 7));
}

}  // namespace

int main(int argc, char ** argv)
{
  // Rectangles off the grid log one record per sample: keep the console quiet.
  setenv("SPDLOG_STDOUT", "false", 1);
  setenv("SPDLOG_SYSTEMD", "false", 1);
  setenv("SPDLOG_LEVEL", "info", 1);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
