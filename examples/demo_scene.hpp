#ifndef SKELMAR_NAV2_TOOLS__EXAMPLES__DEMO_SCENE_HPP_
#define SKELMAR_NAV2_TOOLS__EXAMPLES__DEMO_SCENE_HPP_

#include <memory>
#include <vector>

#include <tf2_ros/static_transform_broadcaster.h>
#include <geometry_msgs/msg/point.hpp>
#include <geometry_msgs/msg/pose_stamped.hpp>
#include <nav_msgs/msg/occupancy_grid.hpp>
#include <nav_msgs/msg/path.hpp>
#include <rclcpp/rclcpp.hpp>
#include <skelmar_nav2_gridmap/grid_map_ros.hpp>
#include <skelmar_nav2_tools/base_robot.hpp>
#include <skelmar_nav2_tools/communicator/communicator.hpp>

#include "demo_options.hpp"

namespace skelmar_demo {

/// What the demo found, step by step; printed as the summary and checked by the tests.
struct DemoResult
{
  bool goal_was_blocked = false;
  bool goal_found = false;
  geometry_msgs::msg::PoseStamped blocked_goal;
  geometry_msgs::msg::PoseStamped moved_goal;
  double search_ms = 0.0;
  nav_msgs::msg::Path path;
  nav_msgs::msg::Path thinned_path;
  std::size_t received_path_poses = 0;
  std::vector<nav_msgs::msg::Path> obstacles;
  double commanded_speed = 0.0;
  double received_speed = 0.0;
  nav_msgs::msg::OccupancyGrid trace;
};

/**
 * @brief The whole demo in one process: a grid map, both communicator bundles, a small
 *        tracker, a listener node of the demo's own and a trace raster.
 *
 * Every step prints a short summary on standard output.
 */
class DemoScene
{
public:
  /// Builds the grid map from the map file and both bundles. rclcpp must be initialised.
  explicit DemoScene(const DemoOptions & options);
  ~DemoScene();

  /// Runs every step and writes the picture.
  DemoResult run();

private:
  void moveBlockedGoal(DemoResult & result);
  void buildAndPublishPath(DemoResult & result);
  void trackObstacles(DemoResult & result);
  void scaleVelocity(DemoResult & result);
  void drawTrace(DemoResult & result);

  /// Spins the demo's own node until the condition holds or two seconds pass.
  template <typename ConditionT>
  bool spinUntil(ConditionT condition);

  DemoOptions options_;
  PlanarPose start_;
  PlanarPose goal_;
  std::vector<geometry_msgs::msg::Point> footprint_;
  BaseRobot robot_;
  std::shared_ptr<skelmar_nav2_gridmap::GridMapROS> gridmap_;
  std::unique_ptr<skelmar_communicator::CommunicatorEngine> engine_;
  std::unique_ptr<skelmar_communicator::CommunicatorDecision> decision_;
  rclcpp::Node::SharedPtr node_;
  rclcpp::executors::SingleThreadedExecutor executor_;
  std::unique_ptr<tf2_ros::StaticTransformBroadcaster> tf_broadcaster_;
};

}  // namespace skelmar_demo

#endif  // SKELMAR_NAV2_TOOLS__EXAMPLES__DEMO_SCENE_HPP_
