// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#include "rclcpp/time.hpp"

#include <cstdlib>
#include <limits>
#include <stdexcept>
#include <string>

#include "overflow_checks.hpp"

namespace rclcpp {
namespace {

void require_same_clock(const rcl_time_point_t & a, const rcl_time_point_t & b)
{
  if (a.clock_type != b.clock_type) {
    throw std::runtime_error("can't compare times with different time sources");
  }
}

}  // namespace

Time::Time(int32_t seconds, uint32_t nanoseconds, rcl_clock_type_t clock_type)
    : rcl_time_{0, clock_type}
{
  if (seconds < 0) {
    throw std::runtime_error("cannot store a negative time point in rclcpp::Time");
  }
  rcl_time_.nanoseconds = RCL_S_TO_NS(static_cast<int64_t>(seconds));
  rcl_time_.nanoseconds += nanoseconds;
}

Time::Time(int64_t nanoseconds, rcl_clock_type_t clock_type) : rcl_time_{nanoseconds, clock_type} {}

Time::Time(const Time & rhs) = default;

Time::Time(Time && rhs) noexcept = default;

Time::Time(const builtin_interfaces::msg::Time & time_msg, rcl_clock_type_t clock_type)
    : rcl_time_{0, clock_type}
{
  if (time_msg.sec < 0) {
    throw std::runtime_error("cannot store a negative time point in rclcpp::Time");
  }
  rcl_time_.nanoseconds = RCL_S_TO_NS(static_cast<int64_t>(time_msg.sec));
  rcl_time_.nanoseconds += time_msg.nanosec;
}

Time::Time(const rcl_time_point_t & time_point) : rcl_time_(time_point) {}

Time::operator builtin_interfaces::msg::Time() const
{
  builtin_interfaces::msg::Time msg;
  constexpr rcl_time_point_value_t kDivisor = RCL_S_TO_NS(1);
  const auto result = std::div(rcl_time_.nanoseconds, kDivisor);
  if (result.rem >= 0) {
    msg.sec = static_cast<int32_t>(result.quot);
    msg.nanosec = static_cast<uint32_t>(result.rem);
  } else {
    msg.sec = static_cast<int32_t>(result.quot - 1);
    msg.nanosec = static_cast<uint32_t>(kDivisor + result.rem);
  }
  return msg;
}

Time & Time::operator=(const Time & rhs) = default;

Time & Time::operator=(Time && rhs) noexcept = default;

Time & Time::operator=(const builtin_interfaces::msg::Time & time_msg)
{
  *this = Time(time_msg);
  return *this;
}

bool Time::operator==(const rclcpp::Time & rhs) const
{
  require_same_clock(rcl_time_, rhs.rcl_time_);
  return rcl_time_.nanoseconds == rhs.rcl_time_.nanoseconds;
}

bool Time::operator!=(const rclcpp::Time & rhs) const
{
  return !(*this == rhs);
}

bool Time::operator<(const rclcpp::Time & rhs) const
{
  require_same_clock(rcl_time_, rhs.rcl_time_);
  return rcl_time_.nanoseconds < rhs.rcl_time_.nanoseconds;
}

bool Time::operator<=(const rclcpp::Time & rhs) const
{
  require_same_clock(rcl_time_, rhs.rcl_time_);
  return rcl_time_.nanoseconds <= rhs.rcl_time_.nanoseconds;
}

bool Time::operator>=(const rclcpp::Time & rhs) const
{
  require_same_clock(rcl_time_, rhs.rcl_time_);
  return rcl_time_.nanoseconds >= rhs.rcl_time_.nanoseconds;
}

bool Time::operator>(const rclcpp::Time & rhs) const
{
  require_same_clock(rcl_time_, rhs.rcl_time_);
  return rcl_time_.nanoseconds > rhs.rcl_time_.nanoseconds;
}

Time Time::operator+(const rclcpp::Duration & rhs) const
{
  detail::check_addition(rcl_time_.nanoseconds, rhs.nanoseconds(), "addition");
  return Time(rcl_time_.nanoseconds + rhs.nanoseconds(), rcl_time_.clock_type);
}

Duration Time::operator-(const rclcpp::Time & rhs) const
{
  if (rcl_time_.clock_type != rhs.rcl_time_.clock_type) {
    throw std::runtime_error(
        "can't subtract times with different time sources [" +
        std::to_string(rcl_time_.clock_type) + " != " + std::to_string(rhs.rcl_time_.clock_type) +
        "]");
  }
  detail::check_subtraction(rcl_time_.nanoseconds, rhs.rcl_time_.nanoseconds, "time subtraction");
  return Duration::from_nanoseconds(rcl_time_.nanoseconds - rhs.rcl_time_.nanoseconds);
}

Time Time::operator-(const rclcpp::Duration & rhs) const
{
  detail::check_subtraction(rcl_time_.nanoseconds, rhs.nanoseconds(), "time subtraction");
  return Time(rcl_time_.nanoseconds - rhs.nanoseconds(), rcl_time_.clock_type);
}

Time & Time::operator+=(const rclcpp::Duration & rhs)
{
  *this = *this + rhs;
  return *this;
}

Time & Time::operator-=(const rclcpp::Duration & rhs)
{
  *this = *this - rhs;
  return *this;
}

rcl_time_point_value_t Time::nanoseconds() const
{
  return rcl_time_.nanoseconds;
}

Time Time::max()
{
  return Time(std::numeric_limits<int32_t>::max(), 999999999);
}

double Time::seconds() const
{
  return std::chrono::duration<double>(std::chrono::nanoseconds(rcl_time_.nanoseconds)).count();
}

rcl_clock_type_t Time::get_clock_type() const
{
  return rcl_time_.clock_type;
}

Time operator+(const rclcpp::Duration & lhs, const rclcpp::Time & rhs)
{
  return rhs + lhs;
}

}  // namespace rclcpp
