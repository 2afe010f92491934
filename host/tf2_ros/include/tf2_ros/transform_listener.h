// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#ifndef TF2_ROS__TRANSFORM_LISTENER_H_
#define TF2_ROS__TRANSFORM_LISTENER_H_

#include <memory>
#include <thread>

#include "rclcpp/rclcpp.hpp"
#include "tf2/buffer_core.h"
#include "tf2_msgs/msg/tf_message.hpp"
#include "tf2_ros/qos.hpp"

/// @file
/// @brief tf2_ros::TransformListener: fills a buffer from the /tf and /tf_static topics.

namespace tf2_ros {
/**
 * @brief Subscribes to /tf (DynamicListenerQoS) and /tf_static (StaticListenerQoS) on a node of
 * its own and stores every received transform in a buffer.
 *
 * The node is named "transform_listener_impl_<hex address of this object>", with parameter
 * services and the parameter event publisher off; the process's global arguments (e.g.
 * `-p use_sim_time:=true`) still apply to it. Each transform is stored with authority
 * "Authority undetectable"; transforms the buffer rejects are reported by the buffer itself.
 *
 * With @p spin_thread the node is spun by a private executor on a thread of its own and the
 * buffer is marked as filled by a dedicated thread (so waiting lookups are allowed). The
 * constructor returns only once that thread is spinning, so the destructor's cancel can never
 * be missed and destruction never hangs, however soon it follows construction. Without
 * @p spin_thread nothing spins the node and no transform is received.
 *
 * The buffer must outlive the listener. Not copyable.
 */
class TransformListener
{
public:
  /**
   * @brief Starts listening into @p buffer.
   * @throws what rclcpp throws when creating a node (e.g. rclcpp::init was not called).
   */
  explicit TransformListener(tf2::BufferCore & buffer, bool spin_thread = true);

  TransformListener(const TransformListener &) = delete;
  TransformListener & operator=(const TransformListener &) = delete;

  /// @brief Stops the spin thread (if any) and waits for it; the buffer keeps its data.
  virtual ~TransformListener();

private:
  void subscription_callback(tf2_msgs::msg::TFMessage::ConstSharedPtr msg, bool is_static);
  void startSpinThread();

  tf2::BufferCore & buffer_;
  bool spin_thread_{false};
  rclcpp::Node::SharedPtr optional_default_node_;
  rclcpp::Subscription<tf2_msgs::msg::TFMessage>::SharedPtr message_subscription_tf_;
  rclcpp::Subscription<tf2_msgs::msg::TFMessage>::SharedPtr message_subscription_tf_static_;
  rclcpp::executors::SingleThreadedExecutor::SharedPtr executor_;
  std::unique_ptr<std::thread> dedicated_listener_thread_;
};

}  // namespace tf2_ros

#endif  // TF2_ROS__TRANSFORM_LISTENER_H_
