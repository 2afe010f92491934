#ifndef SKELMAR_NAV2_TOOLS__COMMUNICATOR__MICROUNIT_TRACE_HPP_
#define SKELMAR_NAV2_TOOLS__COMMUNICATOR__MICROUNIT_TRACE_HPP_

#include <memory>
#include <vector>

#include "geometry_msgs/msg/point.hpp"
#include "geometry_msgs/msg/polygon_stamped.hpp"
#include "geometry_msgs/msg/pose_stamped.hpp"
#include "geometry_msgs/msg/twist.hpp"
#include "nav_msgs/msg/path.hpp"
#include "rclcpp/rclcpp.hpp"
#include "skelmar_nav2_tools/base_robot.hpp"

namespace skelmar_communicator {

/**
 * @brief Publishes debugging traces of the engine's local decisions.
 *
 * Publishers on the given node, created in this order (relative names): "trace/local_end_pose"
 * (nav_msgs/Path), "trace/dir_pose" (PoseStamped), "trace/recovery_backward" (Twist), all
 * keep last 1, reliable, volatile; and "trace_published_footprint" (PolygonStamped) with
 * the system-default QoS.
 *
 * Thread safety: every operation may be called from any thread, concurrently.
 */
class MicroUnitTrace
{
public:
  /**
   * @brief Creates the four publishers on @p node.
   * @throws rclcpp exceptions of endpoint creation
   */
  explicit MicroUnitTrace(std::shared_ptr<rclcpp::Node> node);

  /**
   * @brief Publishes @p start and @p end as a two-pose path in @p start's frame, stamp 0.
   *
   * Each pose keeps its own header.
   * @throws rclcpp exceptions of the publish call
   */
  void PublishLocalEndPose(
      const geometry_msgs::msg::PoseStamped & start, const geometry_msgs::msg::PoseStamped & end);

  /// @brief Publishes @p pose unchanged on "trace/dir_pose".
  void PublishDirPose(const geometry_msgs::msg::PoseStamped & pose);

  /// @brief Publishes @p cmd unchanged on "trace/recovery_backward".
  void publishRecoveryBackward(const geometry_msgs::msg::Twist & cmd);

  /**
   * @brief Publishes @p footprint placed at @p pose on "trace_published_footprint".
   *
   * The footprint (robot frame, m) is rotated by the yaw of the pose's orientation as
   * tf2::getYaw gives it and moved to the pose's x and y; the message carries the pose's
   * header. @p pose is only read.
   * @throws rclcpp exceptions of the publish call
   */
  void publishFootPrint(
      const std::vector<geometry_msgs::msg::Point> & footprint,
      geometry_msgs::msg::PoseStamped & pose);

  /// The node all endpoints live on.
  std::shared_ptr<rclcpp::Node> node;
  /// "trace/local_end_pose".
  rclcpp::Publisher<nav_msgs::msg::Path>::SharedPtr local_end_pose_pub;
  /// "trace/dir_pose".
  rclcpp::Publisher<geometry_msgs::msg::PoseStamped>::SharedPtr dir_pose_pub;
  /// "trace/recovery_backward".
  rclcpp::Publisher<geometry_msgs::msg::Twist>::SharedPtr recovery_backward_pub;
  /// "trace_published_footprint".
  rclcpp::Publisher<geometry_msgs::msg::PolygonStamped>::SharedPtr footprint_pub;
  /// Places the footprint.
  BaseRobot robot;
};

}  // namespace skelmar_communicator

#endif  // SKELMAR_NAV2_TOOLS__COMMUNICATOR__MICROUNIT_TRACE_HPP_
