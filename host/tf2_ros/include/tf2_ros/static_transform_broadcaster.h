// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#ifndef TF2_ROS__STATIC_TRANSFORM_BROADCASTER_H_
#define TF2_ROS__STATIC_TRANSFORM_BROADCASTER_H_

#include <memory>
#include <mutex>
#include <vector>

#include "geometry_msgs/msg/transform_stamped.hpp"
#include "rclcpp/rclcpp.hpp"
#include "tf2_msgs/msg/tf_message.hpp"
#include "tf2_ros/detail/node_access.hpp"
#include "tf2_ros/qos.hpp"

/// @file
/// @brief tf2_ros::StaticTransformBroadcaster: publishes the latched set of static transforms.

namespace tf2_ros {
/**
 * @brief Publishes static transforms on /tf_static (transient local, so listeners that join
 * later still receive them).
 *
 * The broadcaster accumulates: a sent transform replaces the stored one with the same
 * child_frame_id or is appended, and every send publishes the whole stored set.
 *
 * Thread safety: sendTransform may be called from several threads.
 */
class StaticTransformBroadcaster
{
public:
  /**
   * @brief Creates the /tf_static publisher on @p node.
   * @param node a node as shared pointer, raw pointer or reference.
   * @param qos publisher QoS, by default keep-last 1, reliable, transient local.
   */
  template <class NodeT>
  explicit StaticTransformBroadcaster(
      NodeT && node, const rclcpp::QoS & qos = StaticBroadcasterQoS())
  {
    publisher_ = detail::node_reference(std::forward<NodeT>(node))
                     .template create_publisher<tf2_msgs::msg::TFMessage>("/tf_static", qos);
  }

  /// @brief Adds or replaces @p transform in the set and publishes the set.
  void sendTransform(const geometry_msgs::msg::TransformStamped & transform);

  /// @brief Adds or replaces each of @p transforms in the set and publishes the set once.
  void sendTransform(const std::vector<geometry_msgs::msg::TransformStamped> & transforms);

private:
  rclcpp::Publisher<tf2_msgs::msg::TFMessage>::SharedPtr publisher_;
  std::mutex mutex_;
  tf2_msgs::msg::TFMessage net_message_;
};

}  // namespace tf2_ros

#endif  // TF2_ROS__STATIC_TRANSFORM_BROADCASTER_H_
