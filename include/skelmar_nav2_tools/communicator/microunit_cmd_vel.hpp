#ifndef SKELMAR_NAV2_TOOLS__COMMUNICATOR__MICROUNIT_CMD_VEL_HPP_
#define SKELMAR_NAV2_TOOLS__COMMUNICATOR__MICROUNIT_CMD_VEL_HPP_

#include <atomic>
#include <memory>

#include "geometry_msgs/msg/twist.hpp"
#include "geometry_msgs/msg/twist_stamped.hpp"
#include "rclcpp/rclcpp.hpp"
#include "skelmar_protocol/msg/planner_speed_control.hpp"

namespace skelmar_communicator {

/**
 * @brief Publishes velocity commands, scaled by the planner's latest speed ratio.
 *
 * Endpoints on the given node: a subscription to the relative topic "planner_speed"
 * (keep last 1, reliable, volatile) and a geometry_msgs/Twist publisher (keep last 1)
 * on the topic named by the string parameter "communicator_cmd_vel_out" (declared with
 * the default "/cmd_vel_raw" unless the node already has it; read once).
 *
 * Thread safety: the publish operations may be called from any thread, concurrently; the
 * ratio is a lock-free atomic shared with the subscription callback, which runs on the
 * thread spinning the node. The unit must outlive every spin of that node that may still
 * run its callback.
 */
class MicroUnitCmdVel
{
public:
  /**
   * @brief Creates the ratio subscription and the velocity publisher on @p node.
   * @throws rclcpp::exceptions::InvalidParameterTypeException if "communicator_cmd_vel_out"
   *         holds a value that is not a string
   * @throws rclcpp exceptions of endpoint creation (for example an invalid topic name)
   */
  explicit MicroUnitCmdVel(std::shared_ptr<rclcpp::Node> node);

  /**
   * @brief Stores the message's speed ratio for the following scaled commands.
   *
   * A ratio that is not finite (NaN or infinite) is ignored and the previous ratio kept,
   * so that a faulty planner message can never put non-finite commands on the wheels.
   * Zero, negative and large finite ratios are stored as they are.
   */
  void plannerSpeedSub(skelmar_protocol::msg::PlannerSpeedControl msg);

  /**
   * @brief Publishes @p twist with linear.x, linear.y and angular.z multiplied by the ratio.
   *
   * linear.z, angular.x and angular.y pass through unchanged. The ratio is read once per
   * product, so an update landing during the call may scale the components differently.
   * @param twist command in m/s and rad/s
   * @throws rclcpp exceptions of the publish call
   */
  void publishVelocity(geometry_msgs::msg::Twist twist);

  /**
   * @brief Publishes the twist of @p cmd as the Twist overload does; the header is dropped.
   * @throws rclcpp exceptions of the publish call
   */
  void publishVelocity(const geometry_msgs::msg::TwistStamped & cmd);

  /**
   * @brief Publishes an all-zero Twist, whatever the ratio.
   * @throws rclcpp exceptions of the publish call
   */
  void publishZeroVelocity();

  /// The node all endpoints live on.
  std::shared_ptr<rclcpp::Node> node;
  /// Subscription to "planner_speed".
  rclcpp::Subscription<skelmar_protocol::msg::PlannerSpeedControl>::SharedPtr planner_speed_sub;
  /// Velocity output.
  rclcpp::Publisher<geometry_msgs::msg::Twist>::SharedPtr cmd_vel_pub;
  /// Latest finite speed ratio received; 1.0 until the first one arrives.
  std::atomic<float> speed_ratio{1.0F};
};

}  // namespace skelmar_communicator

#endif  // SKELMAR_NAV2_TOOLS__COMMUNICATOR__MICROUNIT_CMD_VEL_HPP_
