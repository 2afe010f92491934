#include "literal_free_area.hpp"

#include <cmath>

#include <geometry_msgs/msg/transform_stamped.hpp>
#include <skelmar_nav2_tools/base_robot.hpp>
#include <tf2_geometry_msgs/tf2_geometry_msgs.hpp>

#include "log_call.hpp"

namespace skelmar_literal {
namespace {

// The rectangle scan. Named like the operations because log records carry the name of the
// function that writes them.
bool isFreeArea(
    const geometry_msgs::msg::PoseStamped & pose, double length, double width,
    skelmar_nav2_gridmap::MultiGridMap & multi_map)
{
  geometry_msgs::msg::TransformStamped lift_to_map;
  lift_to_map.header.frame_id = "map";
  lift_to_map.child_frame_id = "lift_frame";
  lift_to_map.transform.translation.x = pose.pose.position.x;
  lift_to_map.transform.translation.y = pose.pose.position.y;
  lift_to_map.transform.translation.z = 0.0;
  lift_to_map.transform.rotation = pose.pose.orientation;

  const double res = multi_map.costmap->getResolution();
  for (double u = -length / 2; u < length / 2; u += res) {
    for (double v = -width / 2; v < width / 2; v += res) {
      geometry_msgs::msg::PoseStamped sample;
      sample.header.frame_id = "lift_frame";
      sample.pose.position.x = u;
      sample.pose.position.y = v;
      sample.pose.position.z = 0.0;
      geometry_msgs::msg::PoseStamped in_map;
      tf2::doTransform(sample, in_map, lift_to_map);
      unsigned int mx = 0;
      unsigned int my = 0;
      if (!multi_map.costmap->worldToMap(in_map.pose.position.x, in_map.pose.position.y, mx, my)) {
        SKELMAR_LOG_ERROR("isFreeArea failed worldToMap, error code is {}", 101100005);
        continue;
      }
      if (multi_map.inDanger(mx, my, 0)) {
        return false;
      }
    }
  }
  return true;
}

}  // namespace

bool isFreeArea(
    geometry_msgs::msg::PoseStamped pose, double length, double width,
    std::shared_ptr<skelmar_nav2_gridmap::GridMapROS> gridmap)
{
  gridmap->waitForCostmap();
  gridmap->multi_map->updateMap();
  const std::shared_ptr<skelmar_nav2_gridmap::MultiGridMap> multi_map = gridmap->multi_map;
  return isFreeArea(pose, length, width, *multi_map);
}

bool isFreeArea(
    geometry_msgs::msg::PoseStamped pose, double length, double width,
    const std::shared_ptr<skelmar_nav2_gridmap::MultiGridMap> & multi_map,
    geometry_msgs::msg::PoseStamped & /*out_pose*/, const geometry_msgs::msg::PolygonStamped & area)
{
  if (!BaseRobot().isPointInPolygon(area.polygon, pose.pose)) {
    return false;
  }
  return isFreeArea(pose, length, width, *multi_map);
}

bool isFuzzyGoalFree(
    geometry_msgs::msg::PoseStamped & goal, double range_x, double range_y, double length,
    double width, std::shared_ptr<skelmar_nav2_gridmap::GridMapROS> gridmap,
    const geometry_msgs::msg::PolygonStamped & area)
{
  gridmap->waitForCostmap();
  gridmap->multi_map->updateMap();
  const std::shared_ptr<skelmar_nav2_gridmap::MultiGridMap> multi_map = gridmap->multi_map;
  const double res = multi_map->costmap->getResolution();

  if (isFreeArea(goal, length, width, multi_map, goal, area)) {
    return true;
  }
  const double gx = goal.pose.position.x;
  const double gy = goal.pose.position.y;
  double best = 1.7976931348623157e308;
  bool found = false;
  double best_x = 0.0;
  double best_y = 0.0;
  for (double y = gy - range_y / 2; y <= gy + range_y / 2; y += res) {
    for (double x = gx - range_x / 2; x <= gx + range_x / 2; x += res) {
      const double d = std::abs(gy - y) + std::abs(gx - x);
      if (d < best) {
        geometry_msgs::msg::PoseStamped candidate = goal;
        candidate.pose.position.x = x;
        candidate.pose.position.y = y;
        if (isFreeArea(candidate, length, width, multi_map, goal, area)) {
          best = d;
          best_x = x;
          best_y = y;
          found = true;
        }
      }
    }
  }
  if (found) {
    goal.pose.position.x = best_x;
    goal.pose.position.y = best_y;
    return true;
  }
  SKELMAR_LOG_INFO("isFuzzyGoalFree fail to find free pose.");
  return false;
}

}  // namespace skelmar_literal
