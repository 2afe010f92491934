// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#ifndef RCLCPP__DURATION_HPP_
#define RCLCPP__DURATION_HPP_

#include <chrono>

#include "builtin_interfaces/msg/duration.hpp"
#include "rcl/time.h"
#include "rclcpp/visibility_control.hpp"
#include "rmw/types.h"

namespace rclcpp {

/// A signed span of time in nanoseconds. Value type; not synchronised.
class RCLCPP_PUBLIC Duration
{
public:
  /// @brief seconds + nanoseconds (nanoseconds may exceed one second).
  Duration(int32_t seconds, uint32_t nanoseconds);

  /// @brief From a chrono nanosecond count.
  explicit Duration(std::chrono::nanoseconds nanoseconds);

  /// @brief From any chrono duration (truncated to nanoseconds).
  template <class Rep, class Period>
  // cppcheck-suppress noExplicitConstructor
  Duration(const std::chrono::duration<Rep, Period> & duration)  // NOLINT(runtime/explicit)
      : Duration(std::chrono::duration_cast<std::chrono::nanoseconds>(duration))
  {}

  /// @brief From a message (sec * 1e9 + nanosec).
  // cppcheck-suppress noExplicitConstructor
  Duration(const builtin_interfaces::msg::Duration & duration_msg);  // NOLINT(runtime/explicit)

  /// @brief From the C type.
  explicit Duration(const rcl_duration_t & duration);

  Duration(const Duration & rhs);
  virtual ~Duration() = default;

  /// @brief Message form: sec = floor(ns / 1e9), saturating at the int32 range.
  operator builtin_interfaces::msg::Duration() const;

  Duration & operator=(const Duration & rhs);
  Duration & operator=(const builtin_interfaces::msg::Duration & duration_msg);

  bool operator==(const rclcpp::Duration & rhs) const;
  bool operator!=(const rclcpp::Duration & rhs) const;
  bool operator<(const rclcpp::Duration & rhs) const;
  bool operator<=(const rclcpp::Duration & rhs) const;
  bool operator>=(const rclcpp::Duration & rhs) const;
  bool operator>(const rclcpp::Duration & rhs) const;

  /// @throws std::overflow_error / std::underflow_error when the int64 range is left.
  Duration operator+(const rclcpp::Duration & rhs) const;
  Duration & operator+=(const rclcpp::Duration & rhs);
  /// @throws std::overflow_error / std::underflow_error when the int64 range is left.
  Duration operator-(const rclcpp::Duration & rhs) const;
  Duration & operator-=(const rclcpp::Duration & rhs);
  /// @throws std::runtime_error for a non-finite scale, overflow/underflow errors.
  Duration operator*(double scale) const;
  Duration & operator*=(double scale);

  /// @brief (INT32_MAX s, 999999999 ns).
  static Duration max();

  rcl_duration_value_t nanoseconds() const;
  double seconds() const;

  static Duration from_seconds(double seconds);
  static Duration from_nanoseconds(rcl_duration_value_t nanoseconds);
  /// @brief Saturates at INT64_MAX nanoseconds.
  static Duration from_rmw_time(rmw_time_t duration);

  template <class DurationT>
  DurationT to_chrono() const
  {
    return std::chrono::duration_cast<DurationT>(std::chrono::nanoseconds(this->nanoseconds()));
  }

  /// @throws std::runtime_error for a negative duration.
  rmw_time_t to_rmw_time() const;

private:
  rcl_duration_t rcl_duration_;
  Duration();
};

}  // namespace rclcpp

#endif  // RCLCPP__DURATION_HPP_
