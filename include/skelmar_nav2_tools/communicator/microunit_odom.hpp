#ifndef SKELMAR_NAV2_TOOLS__COMMUNICATOR__MICROUNIT_ODOM_HPP_
#define SKELMAR_NAV2_TOOLS__COMMUNICATOR__MICROUNIT_ODOM_HPP_

#include <memory>
#include <mutex>

#include "geometry_msgs/msg/pose_stamped.hpp"
#include "geometry_msgs/msg/twist_stamped.hpp"
#include "nav_msgs/msg/odometry.hpp"
#include "rclcpp/rclcpp.hpp"

namespace skelmar_communicator {

/**
 * @brief Keeps the planar velocity and the pose of the latest wheel odometry message.
 *
 * Subscribes to the relative topic "robot_base/wheel/odom" with the system-default QoS.
 * Only header, twist linear.x, linear.y, angular.z and the pose are kept; the other twist
 * components stay 0. Every message replaces the stored values, whatever its stamp.
 *
 * Thread safety: the getters may be called from any thread; each returns one message's
 * data, copied under the unit's recursive mutex. The unit must outlive every spin of its
 * node that may still run its callback.
 */
class MicroUnitOdom
{
public:
  /**
   * @brief Creates the odometry subscription on @p node.
   * @throws rclcpp exceptions of endpoint creation
   */
  explicit MicroUnitOdom(std::shared_ptr<rclcpp::Node> node);

  /// @brief Stores the kept fields of @p msg; called for every odometry message.
  void odomCallback(std::shared_ptr<nav_msgs::msg::Odometry> msg);

  /**
   * @brief Latest velocity (despite the name, not the pose) in the odometry message's frame.
   * @return a copy; stamp 0, empty frame and zero twist before the first message
   */
  geometry_msgs::msg::TwistStamped getOdom();

  /**
   * @brief Latest pose in the odometry message's frame.
   * @return a copy; stamp 0, empty frame, origin with identity orientation before the
   *         first message
   */
  geometry_msgs::msg::PoseStamped getOdomPose();

  /// The node the subscription lives on.
  std::shared_ptr<rclcpp::Node> node;
  /// Subscription to "robot_base/wheel/odom".
  rclcpp::Subscription<nav_msgs::msg::Odometry>::SharedPtr odom_sub;
  /// Guards velocity and pose.
  std::recursive_mutex odom_mutex;
  /// Latest planar velocity (m/s, rad/s).
  geometry_msgs::msg::TwistStamped velocity;
  /// Latest pose (m).
  geometry_msgs::msg::PoseStamped pose;
};

}  // namespace skelmar_communicator

#endif  // SKELMAR_NAV2_TOOLS__COMMUNICATOR__MICROUNIT_ODOM_HPP_
