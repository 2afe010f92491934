#ifndef SKELMAR_NAV2_TOOLS__BENCH__LITERAL_FREE_AREA_HPP_
#define SKELMAR_NAV2_TOOLS__BENCH__LITERAL_FREE_AREA_HPP_

// The free-area check and the fuzzy goal search written as plainly as they are defined: every
// sample carried through tf2::doTransform, every cell asked of the grid map, every window
// position visited in scan order. The benchmarks and tests hold the library to its results,
// the goal it writes and its log records.

#include <memory>

#include <geometry_msgs/msg/polygon_stamped.hpp>
#include <geometry_msgs/msg/pose_stamped.hpp>
#include <skelmar_nav2_gridmap/grid_map_ros.hpp>

namespace skelmar_literal {

/// BaseRobot::isFreeArea, first overload: refreshes the grid map, then scans.
bool isFreeArea(
    geometry_msgs::msg::PoseStamped pose, double length, double width,
    std::shared_ptr<skelmar_nav2_gridmap::GridMapROS> gridmap);

/// BaseRobot::isFreeArea, second overload: the area test, then the scan without refresh.
bool isFreeArea(
    geometry_msgs::msg::PoseStamped pose, double length, double width,
    const std::shared_ptr<skelmar_nav2_gridmap::MultiGridMap> & multi_map,
    geometry_msgs::msg::PoseStamped & out_pose, const geometry_msgs::msg::PolygonStamped & area);

/// BaseRobot::isFuzzyGoalFree.
bool isFuzzyGoalFree(
    geometry_msgs::msg::PoseStamped & goal, double range_x, double range_y, double length,
    double width, std::shared_ptr<skelmar_nav2_gridmap::GridMapROS> gridmap,
    const geometry_msgs::msg::PolygonStamped & area);

}  // namespace skelmar_literal

#endif  // SKELMAR_NAV2_TOOLS__BENCH__LITERAL_FREE_AREA_HPP_
