// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#ifndef ROS_TIME_OVERRIDE_HPP_
#define ROS_TIME_OVERRIDE_HPP_

#include "rclcpp/clock.hpp"

namespace rclcpp {
namespace detail {

/// Simulated-time control of RCL_ROS_TIME clocks (what a time source does to a clock).
/// Jump callbacks run on the calling thread, after the change. Thread-safe.
class RosTimeOverride
{
public:
  /// @brief Make the clock read its override time (fires "activated" callbacks).
  static void enable(Clock & clock);

  /// @brief Make the clock read system time again (fires "deactivated" callbacks).
  static void disable(Clock & clock);

  /// @brief Set the override time; jump callbacks fire only while the override is enabled.
  static void set(Clock & clock, rcl_time_point_value_t nanoseconds);
};

}  // namespace detail
}  // namespace rclcpp

#endif  // ROS_TIME_OVERRIDE_HPP_
