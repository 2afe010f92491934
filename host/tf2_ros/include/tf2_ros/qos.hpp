// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#ifndef TF2_ROS__QOS_HPP_
#define TF2_ROS__QOS_HPP_

#include <cstddef>

#include "rclcpp/qos.hpp"

/// @file
/// @brief The QoS profiles of the transform topics.

namespace tf2_ros {
/// @brief Subscription QoS of /tf: keep-last @p depth, reliable, volatile.
class DynamicListenerQoS : public rclcpp::QoS
{
public:
  explicit DynamicListenerQoS(size_t depth = 100) : rclcpp::QoS(depth) {}
};

/// @brief Publisher QoS of /tf: keep-last @p depth, reliable, volatile.
class DynamicBroadcasterQoS : public rclcpp::QoS
{
public:
  explicit DynamicBroadcasterQoS(size_t depth = 100) : rclcpp::QoS(depth) {}
};

/// @brief Subscription QoS of /tf_static: keep-last @p depth, reliable, transient local.
class StaticListenerQoS : public rclcpp::QoS
{
public:
  explicit StaticListenerQoS(size_t depth = 100) : rclcpp::QoS(depth)
  {
    transient_local();
  }
};

/// @brief Publisher QoS of /tf_static: keep-last @p depth, reliable, transient local, so that
/// late subscribers receive the latched set.
class StaticBroadcasterQoS : public rclcpp::QoS
{
public:
  explicit StaticBroadcasterQoS(size_t depth = 1) : rclcpp::QoS(depth)
  {
    transient_local();
  }
};

}  // namespace tf2_ros

#endif  // TF2_ROS__QOS_HPP_
