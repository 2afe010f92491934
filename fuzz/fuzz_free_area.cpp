// BaseRobot::isFreeArea (both overloads) and isFuzzyGoalFree on small random costmaps: refused
// only for wild input, a bad resolution or too many samples; a goal moved only to a free place.

#include <skelmar_nav2_gridmap/grid_map_ros.hpp>

#include "fuzz_input.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t * data, std::size_t size)
{
  FuzzInput in{data, size};
  const unsigned int size_x = 1 + in.next() % 64, size_y = 1 + in.next() % 64;
  const double resolutions[] = {0.05, 0.1, 0.3, 0.2, 0.15, 0.0, -0.1, NAN};
  const double res = resolutions[in.next() % 8], origin = in.hostile(-5, 5);
  auto costmap = std::make_shared<nav2_costmap_2d::Costmap2D>(size_x, size_y, res, origin, 0.0);
  for (int n = in.next() % 16; n > 0; --n) {  // costs on either side of the danger threshold
    costmap->getCharMap()[in.next<std::uint16_t>() % (size_x * size_y)] = 250 + in.next() % 6;
  }
  const auto grid = std::make_shared<skelmar_nav2_gridmap::GridMapROS>(costmap);
  const auto p = in.pose(origin + 2, 2, 3);
  const double length = in.hostile(-0.2, 1.0), width = in.hostile(-0.2, 1.0);
  const double range_x = in.inRange(-0.2, 1.5), range_y = in.inRange(-0.2, 1.5);
  const auto area = in.polygon(6, p.pose.position.x, p.pose.position.y, 2);
  // More than 10^8 samples (with room for rounding) are refused; rows count even without width.
  const bool huge = length > 0 && (length / res + 2) * (std::max(width, 0.0) / res + 2) > 0.9e8;
  BaseRobot robot;
  auto out = p;
  try {
    if (in.next() % 2 == 0) {
      robot.isFreeArea(p, length, width, grid);
      robot.isFreeArea(p, length, width, grid->multi_map, out, area);
    } else if (robot.isFuzzyGoalFree(out, range_x, range_y, length, width, grid, area)) {
      assert(robot.isFreeArea(out, length, width, grid->multi_map, out, area));  // in the area
      out.pose.position.set__x(p.pose.position.x).set__y(p.pose.position.y);     // all else kept
    }
  } catch (const std::invalid_argument &) {
    assert(in.wild > 0 || !(res > 0.0) || huge);  // all else is finite
  }
  assert(!std::memcmp(&out.pose, &p.pose, sizeof(p.pose)));  // bit for bit, as NaN is unequal
  return 0;
}
