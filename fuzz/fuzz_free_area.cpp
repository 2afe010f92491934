// BaseRobot::isFreeArea (both overloads) and BaseRobot::isFuzzyGoalFree on small random
// costmaps with arbitrary poses, orientations, areas, rectangle sizes and search windows.
// Sizes and windows stay bounded (apart from values the library must refuse) so that one
// input stays short.

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <stdexcept>

#include <nav2_costmap_2d/cost_values.hpp>
#include <nav2_costmap_2d/costmap_2d.hpp>
#include <skelmar_nav2_gridmap/grid_map_ros.hpp>

#include "fuzz_input.hpp"
#include "skelmar_nav2_tools/base_robot.hpp"

namespace {

using geometry_msgs::msg::PolygonStamped;
using geometry_msgs::msg::PoseStamped;
using skelmar_fuzz::FuzzInput;

constexpr unsigned int kMaxCells = 64;

std::uint64_t splitmix(std::uint64_t & state)
{
  std::uint64_t z = (state += 0x9e3779b97f4a7c15ULL);
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
  return z ^ (z >> 31);
}

std::shared_ptr<skelmar_nav2_gridmap::GridMapROS> gridMap(FuzzInput & in)
{
  const unsigned int size_x = 1 + in.byte() % kMaxCells;
  const unsigned int size_y = 1 + in.byte() % kMaxCells;
  double resolution = in.inRange(0.05, 0.5);
  switch (in.byte() % 32) {
    case 0:
      resolution = 0.0;
      break;
    case 1:
      resolution = -0.1;
      break;
    case 2:
      resolution = std::numeric_limits<double>::quiet_NaN();
      break;
    default:
      break;
  }
  const double origin_x = in.byte() % 8 == 0 ? in.hostile(-1e6, 1e6) : in.inRange(-5.0, 5.0);
  const double origin_y = in.byte() % 8 == 0 ? in.hostile(-1e6, 1e6) : in.inRange(-5.0, 5.0);
  auto costmap = std::make_shared<nav2_costmap_2d::Costmap2D>(
      size_x, size_y, resolution, origin_x, origin_y, nav2_costmap_2d::FREE_SPACE);
  // Costs from a seed: a few bytes decide the whole map.
  const unsigned int blocked_per_256 = in.byte();
  std::uint64_t state = in.raw<std::uint64_t>();
  for (unsigned int my = 0; my < size_y; ++my) {
    for (unsigned int mx = 0; mx < size_x; ++mx) {
      const auto r = splitmix(state);
      unsigned char cost = nav2_costmap_2d::FREE_SPACE;
      if ((r & 0xff) < blocked_per_256) {
        static const unsigned char kBlocking[] = {
            nav2_costmap_2d::LETHAL_OBSTACLE, nav2_costmap_2d::INSCRIBED_INFLATED_OBSTACLE,
            nav2_costmap_2d::NO_INFORMATION};
        cost = kBlocking[(r >> 8) % 3];
      } else if ((r >> 16) % 4 == 0) {
        cost = static_cast<unsigned char>((r >> 24) % 253);
      }
      costmap->setCost(mx, my, cost);
    }
  }
  return std::make_shared<skelmar_nav2_gridmap::GridMapROS>(costmap);
}

// Usually a value in [lo, hi]; sometimes one the library must refuse or treat as empty.
double extent(FuzzInput & in, double lo, double hi)
{
  switch (in.byte() % 16) {
    case 0:
      return std::numeric_limits<double>::quiet_NaN();
    case 1:
      return std::numeric_limits<double>::infinity();
    case 2:
      return -std::numeric_limits<double>::infinity();
    case 3:
      return -std::numeric_limits<double>::max();
    case 4:
      return in.inRange(1e9, 1e12);  // refused unless the other side is negative
    default:
      return in.inRange(lo, hi);
  }
}

PoseStamped pose(FuzzInput & in, const nav2_costmap_2d::Costmap2D & costmap)
{
  PoseStamped p;
  p.header.frame_id = "map";
  p.header.stamp.sec = 7;
  const double span_x = costmap.getSizeInCellsX() * costmap.getResolution();
  const double span_y = costmap.getSizeInCellsY() * costmap.getResolution();
  if (in.byte() % 8 == 0) {
    p.pose.position.x = in.hostile(-100.0, 100.0);
    p.pose.position.y = in.hostile(-100.0, 100.0);
  } else {
    p.pose.position.x = costmap.getOriginX() + in.inRange(-1.0, span_x + 1.0);
    p.pose.position.y = costmap.getOriginY() + in.inRange(-1.0, span_y + 1.0);
  }
  p.pose.position.z = in.hostile(-1.0, 1.0);
  if (in.byte() % 8 == 0) {
    p.pose.orientation.x = in.hostile(-1.0, 1.0);
    p.pose.orientation.y = in.hostile(-1.0, 1.0);
    p.pose.orientation.z = in.hostile(-1.0, 1.0);
    p.pose.orientation.w = in.hostile(-1.0, 1.0);
  } else {
    const double yaw = in.inRange(-4.0, 4.0);
    p.pose.orientation.z = std::sin(yaw / 2);
    p.pose.orientation.w = std::cos(yaw / 2);
  }
  return p;
}

PolygonStamped area(FuzzInput & in, const PoseStamped & near)
{
  PolygonStamped a;
  a.header.frame_id = "map";
  a.polygon.points.resize(in.count(8));
  const bool hostile = in.byte() % 16 == 0;
  for (auto & p : a.polygon.points) {
    p.x = static_cast<float>(
        hostile ? in.hostile(-1e3, 1e3) : near.pose.position.x + in.inRange(-2.0, 2.0));
    p.y = static_cast<float>(
        hostile ? in.hostile(-1e3, 1e3) : near.pose.position.y + in.inRange(-2.0, 2.0));
  }
  return a;
}

bool finitePose(const PoseStamped & p)
{
  const auto & o = p.pose.orientation;
  return std::isfinite(p.pose.position.x) && std::isfinite(p.pose.position.y) &&
         std::isfinite(o.x) && std::isfinite(o.y) && std::isfinite(o.z) && std::isfinite(o.w);
}

bool finiteArea(const PolygonStamped & a)
{
  for (const auto & p : a.polygon.points) {
    if (!std::isfinite(p.x) || !std::isfinite(p.y)) {
      return false;
    }
  }
  return true;
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

// Whether a rectangle takes more than 10^8 samples at any resolution the fuzzer makes: a
// length of 1e9 m does, a width of 1e9 m too unless no row is sampled.
bool hugeRectangle(double length, double width)
{
  return length >= 1e9 || (width >= 1e9 && length > 0.0);
}

// Only these are refused: a non-finite argument, a huge rectangle or a window of more than
// 10^8 positions.
void checkRefusal(
    bool finite_arguments, bool huge_rectangle, double range_x, double range_y, double resolution)
{
  // Positions per axis are about range / resolution + 1; leave room for rounding.
  const bool large_window =
      (std::abs(range_x) / resolution + 2) * (std::abs(range_y) / resolution + 2) > 0.9e8;
  FUZZ_CHECK(!finite_arguments || huge_rectangle || large_window);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t * data, std::size_t size)
{
  static const bool quiet = (skelmar_fuzz::quietLogger(), true);
  (void)quiet;
  FuzzInput in(data, size);
  BaseRobot robot;
  const auto gridmap = gridMap(in);
  const auto & costmap = *gridmap->multi_map->costmap;
  const double resolution = costmap.getResolution();
  const bool usable = resolution > 0.0 && std::isfinite(resolution);

  for (int i = 0; i < 3 && !in.empty(); ++i) {
    const PoseStamped p = pose(in, costmap);
    const double length = extent(in, -0.2, 1.0);
    const double width = extent(in, -0.2, 1.0);
    const PolygonStamped permitted = area(in, p);
    const bool finite = finitePose(p) && std::isfinite(length) && std::isfinite(width);
    switch (in.byte() % 3) {
      case 0:
        try {
          robot.isFreeArea(p, length, width, gridmap);
        } catch (const std::invalid_argument &) {
          FUZZ_CHECK(!finite || !usable || hugeRectangle(length, width));
        }
        break;
      case 1: {
        PoseStamped out = p;
        out.header.frame_id = "untouched";
        const PoseStamped out_before = out;
        try {
          const bool free = robot.isFreeArea(p, length, width, gridmap->multi_map, out, permitted);
          FUZZ_CHECK(!free || !permitted.polygon.points.empty());
        } catch (const std::invalid_argument &) {
          FUZZ_CHECK(!finite || !finiteArea(permitted) || !usable || hugeRectangle(length, width));
        }
        FUZZ_CHECK(samePose(out, out_before));
        break;
      }
      default: {
        double range_x = extent(in, -0.2, 1.5);
        double range_y = extent(in, -0.2, 1.5);
        if (in.byte() % 16 == 0) {
          // Far larger than the area: only the part over the area may cost time.
          range_x = in.inRange(1e3, 1e5);
          range_y = in.inRange(1e3, 1e5);
        }
        PoseStamped goal = p;
        const PoseStamped before = goal;
        try {
          if (robot.isFuzzyGoalFree(goal, range_x, range_y, length, width, gridmap, permitted)) {
            PoseStamped expected = before;
            expected.pose.position.x = goal.pose.position.x;
            expected.pose.position.y = goal.pose.position.y;
            FUZZ_CHECK(samePose(goal, expected));
            FUZZ_CHECK(robot.isPointInPolygon(permitted.polygon, goal.pose));
            PoseStamped unused;
            FUZZ_CHECK(
                robot.isFreeArea(goal, length, width, gridmap->multi_map, unused, permitted));
          } else {
            FUZZ_CHECK(samePose(goal, before));
          }
        } catch (const std::invalid_argument &) {
          FUZZ_CHECK(samePose(goal, before));
          checkRefusal(
              finite && usable && finiteArea(permitted) && std::isfinite(range_x) &&
                  std::isfinite(range_y),
              hugeRectangle(length, width), range_x, range_y, resolution);
        }
        break;
      }
    }
  }
  return 0;
}
