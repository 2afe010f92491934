#include "skelmar_nav2_tools/communicator/microunit_err_code.hpp"

#include <utility>

namespace skelmar_communicator {

MicroUnitErrCode::MicroUnitErrCode(std::shared_ptr<rclcpp::Node> node) : node(std::move(node))
{
  error_pub = this->node->create_publisher<std_msgs::msg::Int8>("skelmar_nav2_error", 1);
  trigger_rosbag_pub = this->node->create_publisher<skelmar_protocol::msg::TriggerRosbag>(
      "active_trigger_rosbag", 1);
  exception_handle_pub =
      this->node->create_publisher<skelmar_protocol::msg::ExceptionHandle>("exception_handle", 1);
}

void MicroUnitErrCode::publishErrorMsg(const std_msgs::msg::Int8 & msg)
{
  error_pub->publish(msg);
}

void MicroUnitErrCode::publishExceptionHandle(int code)
{
  skelmar_protocol::msg::ExceptionHandle msg;
  msg.header.stamp = node->now();
  msg.exception_code = code;
  exception_handle_pub->publish(msg);
}

void MicroUnitErrCode::publishActiveTriggerRosbag(
    const std::string & first, const std::string & second)
{
  skelmar_protocol::msg::TriggerRosbag msg;
  msg.first_text = second;
  msg.second_text = first;
  trigger_rosbag_pub->publish(msg);
}

}  // namespace skelmar_communicator
