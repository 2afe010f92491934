// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#ifndef RCLCPP__GUARD_CONDITION_HPP_
#define RCLCPP__GUARD_CONDITION_HPP_

#include <atomic>
#include <cstddef>
#include <functional>
#include <mutex>

#include "rclcpp/context.hpp"
#include "rclcpp/contexts/default_context.hpp"
#include "rclcpp/macros.hpp"
#include "rclcpp/visibility_control.hpp"

namespace rclcpp {

/// A condition that wakes whoever waits on it when triggered. Thread-safe.
class RCLCPP_PUBLIC GuardCondition
{
public:
  RCLCPP_SMART_PTR_DEFINITIONS_NOT_COPYABLE(GuardCondition)

  explicit GuardCondition(
      rclcpp::Context::SharedPtr context = rclcpp::contexts::get_global_default_context());

  virtual ~GuardCondition() = default;

  GuardCondition(const GuardCondition &) = delete;
  GuardCondition & operator=(const GuardCondition &) = delete;

  /// @brief The context this guard condition belongs to.
  rclcpp::Context::SharedPtr get_context() const;

  /// @brief Wake the waiter: calls the on-trigger callback with 1, or counts the trigger
  /// until a callback is set.
  void trigger();

  /// @brief Mark the guard condition as used by a wait set; returns the previous state.
  bool exchange_in_use_by_wait_set_state(bool in_use_state);

  /// @brief Set (or clear with nullptr) the callback run on each trigger. Triggers that
  /// happened while no callback was set are reported at once as one call with their count.
  /// Once this returns, a callback replaced here is no longer running.
  void set_on_trigger_callback(std::function<void(size_t)> callback);

private:
  rclcpp::Context::SharedPtr context_;
  std::recursive_mutex reentrant_mutex_;
  std::function<void(size_t)> on_trigger_callback_;
  size_t unread_count_{0};
  std::atomic<bool> in_use_by_wait_set_{false};
};

}  // namespace rclcpp

#endif  // RCLCPP__GUARD_CONDITION_HPP_
