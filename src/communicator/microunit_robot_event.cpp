#include "skelmar_nav2_tools/communicator/microunit_robot_event.hpp"

#include <utility>

namespace skelmar_communicator {

MicroUnitRobotEvent::MicroUnitRobotEvent(std::shared_ptr<rclcpp::Node> node) : node(std::move(node))
{
  robot_event_pub =
      this->node->create_publisher<skelmar_protocol::msg::RobotEvent>("/robot_event", 1);
}

void MicroUnitRobotEvent::publishRobotEvent(skelmar_protocol::msg::RobotEvent event)
{
  robot_event_pub->publish(event);
}

}  // namespace skelmar_communicator
