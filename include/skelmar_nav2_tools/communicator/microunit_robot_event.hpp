#ifndef SKELMAR_NAV2_TOOLS__COMMUNICATOR__MICROUNIT_ROBOT_EVENT_HPP_
#define SKELMAR_NAV2_TOOLS__COMMUNICATOR__MICROUNIT_ROBOT_EVENT_HPP_

#include <memory>

#include "rclcpp/rclcpp.hpp"
#include "skelmar_protocol/msg/robot_event.hpp"

namespace skelmar_communicator {

/**
 * @brief Publishes robot events on the absolute topic "/robot_event" (keep last 1,
 *        reliable, volatile).
 *
 * Thread safety: publishRobotEvent may be called from any thread, concurrently.
 */
class MicroUnitRobotEvent
{
public:
  /**
   * @brief Creates the publisher on @p node.
   * @throws rclcpp exceptions of endpoint creation
   */
  explicit MicroUnitRobotEvent(std::shared_ptr<rclcpp::Node> node);

  /**
   * @brief Publishes @p event unchanged.
   * @throws rclcpp exceptions of the publish call
   */
  void publishRobotEvent(skelmar_protocol::msg::RobotEvent event);

  /// The node the publisher lives on.
  std::shared_ptr<rclcpp::Node> node;
  /// Publisher on "/robot_event".
  rclcpp::Publisher<skelmar_protocol::msg::RobotEvent>::SharedPtr robot_event_pub;
};

}  // namespace skelmar_communicator

#endif  // SKELMAR_NAV2_TOOLS__COMMUNICATOR__MICROUNIT_ROBOT_EVENT_HPP_
