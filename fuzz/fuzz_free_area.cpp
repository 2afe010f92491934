// BaseRobot::isFreeArea (both overloads) and isFuzzyGoalFree on small random costmaps with
// arbitrary poses, areas, rectangles and windows: refusals only for what must be refused, a
// goal moved only to a free place inside the area, and left alone otherwise.

#include <stdexcept>

#include <nav2_costmap_2d/costmap_2d.hpp>
#include <skelmar_nav2_gridmap/grid_map_ros.hpp>

#include "fuzz_input.hpp"
#include "skelmar_nav2_tools/base_robot.hpp"

using geometry_msgs::msg::PoseStamped;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t * data, std::size_t size)
{
  skelmar_fuzz::FuzzInput in{data, size};
  const unsigned int size_x = 1 + in.byte() % 64, size_y = 1 + in.byte() % 64;
  const double resolutions[] = {0.05, 0.1, 0.3, 0.2, 0.15, 0.0, -0.1, NAN};
  const double res = resolutions[in.byte() % 8];
  const double origin = in.byte() % 8 == 0 ? in.hostile(-1e6, 1e6) : in.inRange(-5, 5);
  auto costmap = std::make_shared<nav2_costmap_2d::Costmap2D>(size_x, size_y, res, origin, 0.0);
  const unsigned char costs[] = {100, 252, 253, 254, 255};
  for (int n = in.byte() % 16; n > 0; --n) {
    const unsigned int x = in.byte() % size_x, y = in.byte() % size_y;
    costmap->setCost(x, y, costs[in.byte() % 5]);
  }
  const auto grid = std::make_shared<skelmar_nav2_gridmap::GridMapROS>(costmap);
  const auto same = [](const PoseStamped & a, const PoseStamped & b) {  // NaN equal to itself
    return a.header == b.header && std::memcmp(&a.pose, &b.pose, sizeof(a.pose)) == 0;
  };
  BaseRobot robot;
  for (int i = 0; i < 3 && !in.empty(); ++i) {
    const double half_x = size_x * 0.05, half_y = size_y * 0.05;
    const auto p = in.pose(origin + half_x, half_y, std::max(half_x, half_y) + 1);
    // Now and then a length the library must refuse: more than 10^8 samples.
    const double length = in.byte() % 16 == 0 ? 1e10 : in.hostile(-0.2, 1.0);
    const double width = in.hostile(-0.2, 1.0), range_x = in.inRange(-0.2, 1.5);
    const double range_y = in.inRange(-0.2, 1.5);
    geometry_msgs::msg::PolygonStamped area;
    area.polygon = in.polygon(6, p.pose.position.x, p.pose.position.y, 2);
    double sum = p.pose.position.x + p.pose.position.y + length + width + p.pose.orientation.z;
    for (const auto & v : area.polygon.points) {
      sum += v.x + v.y;
    }
    // Beyond 10^8 samples (with room for rounding) a rectangle is refused; rows count even
    // without width.
    const bool huge = length > 0 && (length / res + 2) * (std::max(width, 0.0) / res + 2) > 0.9e8;
    PoseStamped out = p;
    try {
      if (in.byte() % 2 == 0) {
        robot.isFreeArea(p, length, width, grid);
        robot.isFreeArea(p, length, width, grid->multi_map, out, area);
      } else if (robot.isFuzzyGoalFree(out, range_x, range_y, length, width, grid, area)) {
        PoseStamped moved = p;
        moved.pose.position.set__x(out.pose.position.x).set__y(out.pose.position.y);
        FUZZ_CHECK(same(out, moved) && robot.isPointInPolygon(area.polygon, out.pose));
        FUZZ_CHECK(robot.isFreeArea(out, length, width, grid->multi_map, moved, area));
        continue;
      }
    } catch (const std::invalid_argument &) {
      FUZZ_CHECK(!std::isfinite(sum) || !(res > 0.0) || huge);
    }
    FUZZ_CHECK(same(out, p));
  }
  return 0;
}
