#ifndef SKELMAR_NAV2_TOOLS__COMMUNICATOR__MICROUNIT_ERR_CODE_HPP_
#define SKELMAR_NAV2_TOOLS__COMMUNICATOR__MICROUNIT_ERR_CODE_HPP_

#include <memory>
#include <string>

#include "rclcpp/rclcpp.hpp"
#include "skelmar_protocol/msg/exception_handle.hpp"
#include "skelmar_protocol/msg/trigger_rosbag.hpp"
#include "std_msgs/msg/int8.hpp"

namespace skelmar_communicator {

/**
 * @brief Publishes error codes, stamped exception codes and rosbag triggers.
 *
 * Publishers on the given node, created in this order, all keep last 1, reliable,
 * volatile, relative names: "skelmar_nav2_error" (std_msgs/Int8), "active_trigger_rosbag"
 * (TriggerRosbag), "exception_handle" (ExceptionHandle).
 *
 * Thread safety: every operation may be called from any thread, concurrently.
 */
class MicroUnitErrCode
{
public:
  /**
   * @brief Creates the three publishers on @p node.
   * @throws rclcpp exceptions of endpoint creation
   */
  explicit MicroUnitErrCode(std::shared_ptr<rclcpp::Node> node);

  /**
   * @brief Publishes @p msg unchanged on "skelmar_nav2_error".
   * @throws rclcpp exceptions of the publish call
   */
  void publishErrorMsg(const std_msgs::msg::Int8 & msg);

  /**
   * @brief Publishes @p code on "exception_handle", stamped with the node clock's now().
   *
   * The frame id stays empty; with use_sim_time the stamp is simulated time.
   * @throws rclcpp exceptions of the publish call
   */
  void publishExceptionHandle(int code);

  /**
   * @brief Publishes a rosbag trigger on "active_trigger_rosbag".
   *
   * The fields are crossed on purpose, as the receivers expect: first_text receives
   * @p second and second_text receives @p first.
   * @throws rclcpp exceptions of the publish call
   */
  void publishActiveTriggerRosbag(const std::string & first, const std::string & second);

  /// The node all endpoints live on; its clock stamps the exception codes.
  std::shared_ptr<rclcpp::Node> node;
  /// Publisher on "skelmar_nav2_error".
  rclcpp::Publisher<std_msgs::msg::Int8>::SharedPtr error_pub;
  /// Publisher on "active_trigger_rosbag".
  rclcpp::Publisher<skelmar_protocol::msg::TriggerRosbag>::SharedPtr trigger_rosbag_pub;
  /// Publisher on "exception_handle".
  rclcpp::Publisher<skelmar_protocol::msg::ExceptionHandle>::SharedPtr exception_handle_pub;
};

}  // namespace skelmar_communicator

#endif  // SKELMAR_NAV2_TOOLS__COMMUNICATOR__MICROUNIT_ERR_CODE_HPP_
