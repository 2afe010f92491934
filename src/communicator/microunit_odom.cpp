#include "skelmar_nav2_tools/communicator/microunit_odom.hpp"

#include <utility>

namespace skelmar_communicator {

MicroUnitOdom::MicroUnitOdom(std::shared_ptr<rclcpp::Node> node) : node(std::move(node))
{
  // Created in the body so that the callback never sees members still being built.
  odom_sub = this->node->create_subscription<nav_msgs::msg::Odometry>(
      "robot_base/wheel/odom", rclcpp::SystemDefaultsQoS(),
      [this](nav_msgs::msg::Odometry::UniquePtr msg) {
        odomCallback(std::shared_ptr<nav_msgs::msg::Odometry>(std::move(msg)));
      });
}

void MicroUnitOdom::odomCallback(std::shared_ptr<nav_msgs::msg::Odometry> msg)
{
  std::lock_guard<std::recursive_mutex> lock(odom_mutex);
  velocity.header = msg->header;
  velocity.twist.linear.x = msg->twist.twist.linear.x;
  velocity.twist.linear.y = msg->twist.twist.linear.y;
  velocity.twist.angular.z = msg->twist.twist.angular.z;
  pose.header = msg->header;
  pose.pose = msg->pose.pose;
}

geometry_msgs::msg::TwistStamped MicroUnitOdom::getOdom()
{
  std::lock_guard<std::recursive_mutex> lock(odom_mutex);
  return velocity;
}

geometry_msgs::msg::PoseStamped MicroUnitOdom::getOdomPose()
{
  std::lock_guard<std::recursive_mutex> lock(odom_mutex);
  return pose;
}

}  // namespace skelmar_communicator
