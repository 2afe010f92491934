// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#ifndef RCLCPP__TIMER_HPP_
#define RCLCPP__TIMER_HPP_

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <type_traits>
#include <utility>

#include "rclcpp/clock.hpp"
#include "rclcpp/context.hpp"
#include "rclcpp/detail/executable_entity.hpp"
#include "rclcpp/function_traits.hpp"
#include "rclcpp/macros.hpp"
#include "rclcpp/visibility_control.hpp"

namespace rclcpp {

/// A periodic trigger measured on the steady clock; its callback runs on the executor that
/// spins its callback group. Missed periods are skipped, not queued. Thread-safe.
class RCLCPP_PUBLIC TimerBase : public detail::ExecutableEntity
{
public:
  RCLCPP_SMART_PTR_DEFINITIONS_NOT_COPYABLE(TimerBase)

  /// @throws std::invalid_argument `timer period cannot be negative`.
  TimerBase(
      rclcpp::Clock::SharedPtr clock, std::chrono::nanoseconds period,
      rclcpp::Context::SharedPtr context);

  virtual ~TimerBase() = default;

  TimerBase(const TimerBase &) = delete;
  TimerBase & operator=(const TimerBase &) = delete;

  /// @brief Stop triggering until reset().
  void cancel();

  bool is_canceled();

  /// @brief Restart the period from now (and un-cancel).
  void reset();

  /// @brief Run the user callback once.
  virtual void execute_callback() = 0;

  rclcpp::Clock::SharedPtr get_clock();

  /// @brief Time left until the next trigger (negative if overdue).
  std::chrono::nanoseconds time_until_trigger();

  virtual bool is_steady() = 0;

  /// @brief True if due and not canceled.
  bool is_ready();

  Kind executable_kind() const override;
  bool has_work() override;
  void execute_one() override;
  std::optional<std::chrono::steady_clock::time_point> next_wakeup() override;

protected:
  rclcpp::Clock::SharedPtr clock_;
  rclcpp::Context::SharedPtr context_;

private:
  const std::chrono::nanoseconds period_;
  std::mutex mutex_;
  bool canceled_{false};
  std::chrono::steady_clock::time_point next_call_;
};

using VoidCallbackType = std::function<void()>;
using TimerCallbackType = std::function<void(TimerBase &)>;

/// A timer with a callback of type `void()` or `void(rclcpp::TimerBase &)`.
template <typename FunctorT>
class GenericTimer : public TimerBase
{
public:
  RCLCPP_SMART_PTR_DEFINITIONS(GenericTimer)

  GenericTimer(
      Clock::SharedPtr clock, std::chrono::nanoseconds period, FunctorT && callback,
      rclcpp::Context::SharedPtr context)
      : TimerBase(clock, period, context), callback_(std::forward<FunctorT>(callback))
  {
    static_assert(
        rclcpp::function_traits::same_arguments<FunctorT, VoidCallbackType>::value ||
            rclcpp::function_traits::same_arguments<FunctorT, TimerCallbackType>::value,
        "Timer callback must be void() or void(rclcpp::TimerBase &)");
  }

  void execute_callback() override
  {
    if constexpr (rclcpp::function_traits::same_arguments<FunctorT, VoidCallbackType>::value) {
      callback_();
    } else {
      callback_(*this);
    }
  }

  bool is_steady() override
  {
    return clock_->get_clock_type() == RCL_STEADY_TIME;
  }

protected:
  FunctorT callback_;
};

/// A timer on the steady clock.
template <typename FunctorT>
class WallTimer : public GenericTimer<FunctorT>
{
public:
  RCLCPP_SMART_PTR_DEFINITIONS(WallTimer)

  WallTimer(
      std::chrono::nanoseconds period, FunctorT && callback, rclcpp::Context::SharedPtr context)
      : GenericTimer<FunctorT>(
            std::make_shared<Clock>(RCL_STEADY_TIME), period, std::move(callback), context)
  {}
};

}  // namespace rclcpp

#endif  // RCLCPP__TIMER_HPP_
