#include "skelmar_nav2_tools/communicator/microunit_trace.hpp"

#include <utility>

#include "tf2/utils.h"
#include "tf2_geometry_msgs/tf2_geometry_msgs.hpp"

namespace skelmar_communicator {

MicroUnitTrace::MicroUnitTrace(std::shared_ptr<rclcpp::Node> node) : node(std::move(node))
{
  local_end_pose_pub = this->node->create_publisher<nav_msgs::msg::Path>("trace/local_end_pose", 1);
  dir_pose_pub = this->node->create_publisher<geometry_msgs::msg::PoseStamped>("trace/dir_pose", 1);
  recovery_backward_pub =
      this->node->create_publisher<geometry_msgs::msg::Twist>("trace/recovery_backward", 1);
  footprint_pub = this->node->create_publisher<geometry_msgs::msg::PolygonStamped>(
      "trace_published_footprint", rclcpp::SystemDefaultsQoS());
}

void MicroUnitTrace::PublishLocalEndPose(
    const geometry_msgs::msg::PoseStamped & start, const geometry_msgs::msg::PoseStamped & end)
{
  nav_msgs::msg::Path path;
  path.header.frame_id = start.header.frame_id;
  path.poses.push_back(start);
  path.poses.push_back(end);
  local_end_pose_pub->publish(path);
}

void MicroUnitTrace::PublishDirPose(const geometry_msgs::msg::PoseStamped & pose)
{
  dir_pose_pub->publish(pose);
}

void MicroUnitTrace::publishRecoveryBackward(const geometry_msgs::msg::Twist & cmd)
{
  recovery_backward_pub->publish(cmd);
}

void MicroUnitTrace::publishFootPrint(
    const std::vector<geometry_msgs::msg::Point> & footprint,
    geometry_msgs::msg::PoseStamped & pose)
{
  const double yaw = tf2::getYaw(pose.pose.orientation);
  auto placed = std::make_unique<geometry_msgs::msg::PolygonStamped>();
  placed->header = pose.header;
  robot.transformFootprint(pose.pose.position.x, pose.pose.position.y, yaw, footprint, *placed);
  footprint_pub->publish(std::move(placed));
}

}  // namespace skelmar_communicator
