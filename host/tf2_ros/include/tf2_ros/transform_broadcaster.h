// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#ifndef TF2_ROS__TRANSFORM_BROADCASTER_H_
#define TF2_ROS__TRANSFORM_BROADCASTER_H_

#include <memory>
#include <vector>

#include "geometry_msgs/msg/transform_stamped.hpp"
#include "rclcpp/rclcpp.hpp"
#include "tf2_msgs/msg/tf_message.hpp"
#include "tf2_ros/detail/node_access.hpp"
#include "tf2_ros/qos.hpp"

/// @file
/// @brief tf2_ros::TransformBroadcaster: publishes dynamic transforms on /tf.

namespace tf2_ros {
/**
 * @brief Publishes transforms on /tf through a publisher of the given node.
 *
 * Thread safety: sendTransform may be called from several threads (each call is one
 * publish).
 */
class TransformBroadcaster
{
public:
  /**
   * @brief Creates the /tf publisher on @p node.
   * @param node a node as shared pointer, raw pointer or reference; it must outlive nothing
   *        here (the publisher keeps what it needs).
   * @param qos publisher QoS, by default keep-last 100, reliable, volatile.
   */
  template <class NodeT>
  explicit TransformBroadcaster(NodeT && node, const rclcpp::QoS & qos = DynamicBroadcasterQoS())
  {
    publisher_ = detail::node_reference(std::forward<NodeT>(node))
                     .template create_publisher<tf2_msgs::msg::TFMessage>("/tf", qos);
  }

  /// @brief Publishes one TFMessage holding @p transform.
  void sendTransform(const geometry_msgs::msg::TransformStamped & transform);

  /// @brief Publishes one TFMessage holding all of @p transforms, in order.
  void sendTransform(const std::vector<geometry_msgs::msg::TransformStamped> & transforms);

private:
  rclcpp::Publisher<tf2_msgs::msg::TFMessage>::SharedPtr publisher_;
};

}  // namespace tf2_ros

#endif  // TF2_ROS__TRANSFORM_BROADCASTER_H_
