// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#ifndef RCLCPP__TIME_HPP_
#define RCLCPP__TIME_HPP_

#include "builtin_interfaces/msg/time.hpp"
#include "rcl/time.h"
#include "rclcpp/duration.hpp"
#include "rclcpp/visibility_control.hpp"

namespace rclcpp {

/// A time point of one clock type, in nanoseconds. Value type; not synchronised.
class RCLCPP_PUBLIC Time
{
public:
  /// @throws std::runtime_error for negative seconds.
  Time(int32_t seconds, uint32_t nanoseconds, rcl_clock_type_t clock_type = RCL_SYSTEM_TIME);
  explicit Time(int64_t nanoseconds = 0, rcl_clock_type_t clock_type = RCL_SYSTEM_TIME);
  Time(const Time & rhs);
  Time(Time && rhs) noexcept;
  /// @brief From a message; note the ROS clock type default. @throws std::runtime_error for
  /// negative seconds.
  // cppcheck-suppress noExplicitConstructor
  Time(  // NOLINT(runtime/explicit)
      const builtin_interfaces::msg::Time & time_msg, rcl_clock_type_t clock_type = RCL_ROS_TIME);
  explicit Time(const rcl_time_point_t & time_point);
  virtual ~Time() = default;

  /// @brief Floor split into sec / nanosec (-1 ns -> sec -1, nanosec 999999999).
  operator builtin_interfaces::msg::Time() const;

  Time & operator=(const Time & rhs);
  Time & operator=(Time && rhs) noexcept;
  /// @brief Becomes Time(msg): clock type RCL_ROS_TIME.
  Time & operator=(const builtin_interfaces::msg::Time & time_msg);

  /// Comparisons @throw std::runtime_error when the clock types differ.
  bool operator==(const rclcpp::Time & rhs) const;
  bool operator!=(const rclcpp::Time & rhs) const;
  bool operator<(const rclcpp::Time & rhs) const;
  bool operator<=(const rclcpp::Time & rhs) const;
  bool operator>=(const rclcpp::Time & rhs) const;
  bool operator>(const rclcpp::Time & rhs) const;

  /// @throws std::overflow_error / std::underflow_error when the int64 range is left.
  Time operator+(const rclcpp::Duration & rhs) const;
  /// @throws std::runtime_error for different clock types, overflow/underflow errors.
  Duration operator-(const rclcpp::Time & rhs) const;
  Time operator-(const rclcpp::Duration & rhs) const;
  Time & operator+=(const rclcpp::Duration & rhs);
  Time & operator-=(const rclcpp::Duration & rhs);

  rcl_time_point_value_t nanoseconds() const;
  /// @brief (INT32_MAX s, 999999999 ns) of the system clock.
  static Time max();
  double seconds() const;
  rcl_clock_type_t get_clock_type() const;

private:
  rcl_time_point_t rcl_time_;
};

RCLCPP_PUBLIC Time operator+(const rclcpp::Duration & lhs, const rclcpp::Time & rhs);

}  // namespace rclcpp

#endif  // RCLCPP__TIME_HPP_
