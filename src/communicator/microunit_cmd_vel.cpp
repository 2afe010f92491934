#include "skelmar_nav2_tools/communicator/microunit_cmd_vel.hpp"

#include <cmath>
#include <functional>
#include <string>
#include <utility>

namespace skelmar_communicator {

MicroUnitCmdVel::MicroUnitCmdVel(std::shared_ptr<rclcpp::Node> node) : node(std::move(node))
{
  planner_speed_sub = this->node->create_subscription<skelmar_protocol::msg::PlannerSpeedControl>(
      "planner_speed", 1,
      std::bind(&MicroUnitCmdVel::plannerSpeedSub, this, std::placeholders::_1));
  const std::string parameter = "communicator_cmd_vel_out";
  if (!this->node->has_parameter(parameter)) {
    this->node->declare_parameter(parameter, rclcpp::ParameterValue(std::string("/cmd_vel_raw")));
  }
  const std::string topic = this->node->get_parameter(parameter).get_value<std::string>();
  cmd_vel_pub = this->node->create_publisher<geometry_msgs::msg::Twist>(topic, 1);
}

void MicroUnitCmdVel::plannerSpeedSub(skelmar_protocol::msg::PlannerSpeedControl msg)
{
  if (!std::isfinite(msg.speed_ratio)) {
    return;
  }
  speed_ratio.store(msg.speed_ratio);
}

void MicroUnitCmdVel::publishVelocity(geometry_msgs::msg::Twist twist)
{
  twist.linear.x *= static_cast<double>(speed_ratio.load());
  twist.linear.y *= static_cast<double>(speed_ratio.load());
  twist.angular.z *= static_cast<double>(speed_ratio.load());
  cmd_vel_pub->publish(twist);
}

void MicroUnitCmdVel::publishVelocity(const geometry_msgs::msg::TwistStamped & cmd)
{
  publishVelocity(cmd.twist);
}

void MicroUnitCmdVel::publishZeroVelocity()
{
  cmd_vel_pub->publish(geometry_msgs::msg::Twist());
}

}  // namespace skelmar_communicator
