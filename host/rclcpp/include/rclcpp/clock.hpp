// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#ifndef RCLCPP__CLOCK_HPP_
#define RCLCPP__CLOCK_HPP_

#include <functional>
#include <memory>
#include <mutex>

#include "rcl/time.h"
#include "rclcpp/context.hpp"
#include "rclcpp/contexts/default_context.hpp"
#include "rclcpp/duration.hpp"
#include "rclcpp/macros.hpp"
#include "rclcpp/time.hpp"
#include "rclcpp/visibility_control.hpp"

namespace rclcpp {

namespace detail {
class RosTimeOverride;
}

/// Callbacks run around a jump of a clock (see Clock::create_jump_callback()).
class RCLCPP_PUBLIC JumpHandler
{
public:
  RCLCPP_SMART_PTR_DEFINITIONS(JumpHandler)

  using pre_callback_t = std::function<void()>;
  using post_callback_t = std::function<void(const rcl_time_jump_t &)>;

  JumpHandler(
      pre_callback_t pre_callback, post_callback_t post_callback,
      const rcl_jump_threshold_t & threshold);

  pre_callback_t pre_callback;
  post_callback_t post_callback;
  rcl_jump_threshold_t notice_threshold;
};

/// A clock of one type. RCL_ROS_TIME clocks read system time unless simulated time is
/// active, then the time last received on /clock. All members are thread-safe.
class RCLCPP_PUBLIC Clock
{
public:
  RCLCPP_SMART_PTR_DEFINITIONS(Clock)

  explicit Clock(rcl_clock_type_t clock_type = RCL_SYSTEM_TIME);

  ~Clock();

  Clock(const Clock &) = delete;
  Clock & operator=(const Clock &) = delete;

  /// @brief The current time of this clock, typed with its clock type.
  Time now();

  /// @brief Sleep until @p until (of this clock's type). Follows simulated time.
  /// @return true if the time was reached, false if the context was shut down (or the ROS
  /// time source changed).
  /// @throws std::runtime_error if the clock types differ or the context is invalid.
  bool sleep_until(Time until, Context::SharedPtr context = contexts::get_global_default_context());

  /// @brief sleep_until(now() + rel_time).
  bool sleep_for(
      Duration rel_time, Context::SharedPtr context = contexts::get_global_default_context());

  /// @brief True once the clock reads a non-zero time.
  bool started();

  /// @brief Wait until started(); false if the context was shut down.
  bool wait_until_started(Context::SharedPtr context = contexts::get_global_default_context());

  /// @brief Wait until started() for at most @p timeout (wall time), checking every
  /// @p wait_tick_ns. @return started().
  bool wait_until_started(
      const rclcpp::Duration & timeout,
      Context::SharedPtr context = contexts::get_global_default_context(),
      const rclcpp::Duration & wait_tick_ns = rclcpp::Duration(0, static_cast<uint32_t>(1e7)));

  /// @brief True if this is a ROS clock whose simulated time is active.
  bool ros_time_is_active();

  rcl_clock_type_t get_clock_type() const noexcept;

  /// @brief A mutex callers may use to serialise their own use of the clock.
  std::mutex & get_clock_mutex() noexcept;

  /// @brief Register callbacks run before and after a jump that passes @p threshold; they
  /// stay registered while the returned handler lives.
  JumpHandler::SharedPtr create_jump_callback(
      JumpHandler::pre_callback_t pre_callback, JumpHandler::post_callback_t post_callback,
      const rcl_jump_threshold_t & threshold);

private:
  friend class detail::RosTimeOverride;

  class Impl;
  std::shared_ptr<Impl> impl_;
};

}  // namespace rclcpp

#endif  // RCLCPP__CLOCK_HPP_
