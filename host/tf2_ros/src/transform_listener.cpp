// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#include "tf2_ros/transform_listener.h"

#include <atomic>
#include <chrono>
#include <exception>
#include <sstream>
#include <string>

namespace tf2_ros {
TransformListener::TransformListener(tf2::BufferCore & buffer, bool spin_thread)
    : buffer_(buffer), spin_thread_(spin_thread)
{
  std::ostringstream name;
  name << "transform_listener_impl_" << std::hex << reinterpret_cast<size_t>(this);
  rclcpp::NodeOptions options;
  // The name goes in the node's own arguments so that a __node remap on the command line,
  // meant for the user's node, cannot rename this one.
  options.arguments({"--ros-args", "-r", "__node:=" + name.str()});
  options.start_parameter_event_publisher(false);
  options.start_parameter_services(false);
  optional_default_node_ = rclcpp::Node::make_shared("_", options);

  // As in Humble, the QoS of both subscriptions may be overridden through the read-only
  // parameters qos_overrides./tf.subscription.* and qos_overrides./tf_static.subscription.*.
  using rclcpp::QosPolicyKind;
  rclcpp::SubscriptionOptions tf_options;
  tf_options.qos_overriding_options = rclcpp::QosOverridingOptions{
      QosPolicyKind::Depth, QosPolicyKind::Durability, QosPolicyKind::History,
      QosPolicyKind::Reliability};
  rclcpp::SubscriptionOptions tf_static_options;
  tf_static_options.qos_overriding_options = rclcpp::QosOverridingOptions{
      QosPolicyKind::Depth, QosPolicyKind::History, QosPolicyKind::Reliability};

  message_subscription_tf_ = optional_default_node_->create_subscription<tf2_msgs::msg::TFMessage>(
      "/tf", DynamicListenerQoS(),
      [this](std::shared_ptr<const tf2_msgs::msg::TFMessage> msg) {
        subscription_callback(msg, false);
      },
      tf_options);
  message_subscription_tf_static_ =
      optional_default_node_->create_subscription<tf2_msgs::msg::TFMessage>(
          "/tf_static", StaticListenerQoS(),
          [this](std::shared_ptr<const tf2_msgs::msg::TFMessage> msg) {
            subscription_callback(msg, true);
          },
          tf_static_options);

  if (spin_thread_) {
    startSpinThread();
    buffer_.setUsingDedicatedThread(true);
  }
}

void TransformListener::startSpinThread()
{
  executor_ = std::make_shared<rclcpp::executors::SingleThreadedExecutor>();
  executor_->add_node(optional_default_node_);
  auto finished = std::make_shared<std::atomic<bool>>(false);
  dedicated_listener_thread_ = std::make_unique<std::thread>(
      [executor = executor_, finished, logger = optional_default_node_->get_logger()]() {
        try {
          executor->spin();
        } catch (const std::exception & e) {
          RCLCPP_ERROR(logger, "Transform listener thread stopped: %s", e.what());
        }
        *finished = true;
      });
  // An executor drops a cancel() that arrives before spin() has started, which would leave
  // the destructor joining a thread that never ends; so return only once it really spins
  // (or has already stopped, e.g. because the context was shut down).
  while (!executor_->is_spinning() && !*finished) {
    std::this_thread::sleep_for(std::chrono::microseconds(100));
  }
}

TransformListener::~TransformListener()
{
  if (dedicated_listener_thread_) {
    executor_->cancel();
    dedicated_listener_thread_->join();
  }
}

void TransformListener::subscription_callback(
    tf2_msgs::msg::TFMessage::ConstSharedPtr msg, bool is_static)
{
  const std::string authority = "Authority undetectable";
  for (const auto & transform : msg->transforms) {
    try {
      buffer_.setTransform(transform, authority, is_static);
    } catch (const tf2::TransformException & ex) {
      RCLCPP_ERROR(
          optional_default_node_->get_logger(),
          "Failure to set received transform from %s to %s with error: %s\n",
          transform.child_frame_id.c_str(), transform.header.frame_id.c_str(), ex.what());
    }
  }
}

}  // namespace tf2_ros
