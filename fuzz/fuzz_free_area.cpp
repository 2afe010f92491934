// BaseRobot::isFreeArea (both overloads) and isFuzzyGoalFree on small random costmaps with
// arbitrary poses, areas, rectangles and windows: refusals only for what must be refused, a
// goal moved only to a free place inside the area, and left alone otherwise.

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <stdexcept>

#include <nav2_costmap_2d/costmap_2d.hpp>
#include <skelmar_nav2_gridmap/grid_map_ros.hpp>

#include "fuzz_input.hpp"
#include "skelmar_nav2_tools/base_robot.hpp"

namespace {

using geometry_msgs::msg::PoseStamped;

// Bit for bit, so that NaN coordinates equal themselves.
bool same(const PoseStamped & a, const PoseStamped & b)
{
  return a.header == b.header && std::memcmp(&a.pose, &b.pose, sizeof(a.pose)) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t * data, std::size_t size)
{
  static const bool quiet = (skelmar_fuzz::quietLogger(), true);
  (void)quiet;
  skelmar_fuzz::FuzzInput in(data, size);
  const unsigned int size_x = 1 + in.byte() % 64;
  const unsigned int size_y = 1 + in.byte() % 64;
  const double resolutions[] = {0.05, 0.1, 0.3, 0.0, -0.1, NAN};
  const double res = resolutions[in.byte() % 16 % 6];
  const double origin = in.byte() % 8 == 0 ? in.hostile(-1e6, 1e6) : in.inRange(-5, 5);
  auto costmap = std::make_shared<nav2_costmap_2d::Costmap2D>(size_x, size_y, res, origin, 0.0);
  const unsigned char costs[] = {0, 0, 0, 0, 0, 100, 252, 253, 254, 255};
  for (unsigned int i = 0; i < size_x * size_y && !in.empty(); i += 1 + in.byte() % 8) {
    costmap->setCost(i % size_x, i / size_x, costs[in.byte() % 10]);
  }
  const auto grid = std::make_shared<skelmar_nav2_gridmap::GridMapROS>(costmap);
  const bool usable = res > 0.0;
  BaseRobot robot;
  for (int i = 0; i < 3 && !in.empty(); ++i) {
    PoseStamped p;
    p.header.frame_id = "map";
    p.pose.position.x = origin + in.hostile(-1.0, size_x * 0.1 + 1.0);
    p.pose.position.y = in.hostile(-1.0, size_y * 0.1 + 1.0);
    const double yaw = in.inRange(-4, 4);
    p.pose.orientation.z = in.byte() % 8 == 0 ? in.hostile(-1, 1) : std::sin(yaw / 2);
    p.pose.orientation.w = std::cos(yaw / 2);
    // Now and then a length the library must refuse: more than 10^8 samples.
    const double length = in.byte() % 16 == 0 ? 1e10 : in.hostile(-0.2, 1.0);
    const double width = in.hostile(-0.2, 1.0);
    geometry_msgs::msg::PolygonStamped area;
    area.polygon.points.resize(in.count(6));
    bool finite_area = true;
    for (auto & v : area.polygon.points) {
      v.x = static_cast<float>(p.pose.position.x + in.hostile(-2, 2));
      v.y = static_cast<float>(p.pose.position.y + in.inRange(-2, 2));
      finite_area = finite_area && std::isfinite(v.x);
    }
    const bool finite = std::isfinite(
        p.pose.position.x + p.pose.position.y + length + width + p.pose.orientation.z);
    // Beyond 10^8 samples (with room for rounding) a rectangle is refused; rows count even
    // without width.
    const bool huge = length > 0 && (length / res + 2) * (std::max(width, 0.0) / res + 2) > 0.9e8;
    const bool refusable = !finite || !usable || huge;
    PoseStamped out = p;
    const PoseStamped before = p;
    try {
      if (in.byte() % 2 == 0) {
        robot.isFreeArea(p, length, width, grid);
        robot.isFreeArea(p, length, width, grid->multi_map, out, area);
      } else if (robot.isFuzzyGoalFree(
                     out, in.inRange(-0.2, 1.5), in.inRange(-0.2, 1.5), length, width, grid,
                     area)) {
        PoseStamped moved = before;
        moved.pose.position.x = out.pose.position.x;
        moved.pose.position.y = out.pose.position.y;
        FUZZ_CHECK(same(out, moved) && robot.isPointInPolygon(area.polygon, out.pose));
        PoseStamped unused;
        FUZZ_CHECK(robot.isFreeArea(out, length, width, grid->multi_map, unused, area));
        continue;
      }
    } catch (const std::invalid_argument &) {
      FUZZ_CHECK(refusable || !finite_area);
    }
    FUZZ_CHECK(same(out, before));
  }
  return 0;
}
