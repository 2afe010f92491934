// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#include "rclcpp/timer.hpp"

#include <stdexcept>

#include "rclcpp/callback_group.hpp"

namespace rclcpp {

TimerBase::TimerBase(
    rclcpp::Clock::SharedPtr clock, std::chrono::nanoseconds period,
    rclcpp::Context::SharedPtr context)
    : clock_(std::move(clock)),
      context_(std::move(context)),
      period_(period),
      next_call_(std::chrono::steady_clock::now() + period)
{
  if (period < std::chrono::nanoseconds::zero()) {
    throw std::invalid_argument("timer period cannot be negative");
  }
}

void TimerBase::cancel()
{
  std::lock_guard<std::mutex> lock(mutex_);
  canceled_ = true;
}

bool TimerBase::is_canceled()
{
  std::lock_guard<std::mutex> lock(mutex_);
  return canceled_;
}

void TimerBase::reset()
{
  {
    std::lock_guard<std::mutex> lock(mutex_);
    canceled_ = false;
    next_call_ = std::chrono::steady_clock::now() + period_;
  }
  // The executor may be waiting for the old deadline.
  notify_executor();
}

rclcpp::Clock::SharedPtr TimerBase::get_clock()
{
  return clock_;
}

std::chrono::nanoseconds TimerBase::time_until_trigger()
{
  std::lock_guard<std::mutex> lock(mutex_);
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
      next_call_ - std::chrono::steady_clock::now());
}

bool TimerBase::is_ready()
{
  std::lock_guard<std::mutex> lock(mutex_);
  return !canceled_ && std::chrono::steady_clock::now() >= next_call_;
}

detail::ExecutableEntity::Kind TimerBase::executable_kind() const
{
  return Kind::Timer;
}

bool TimerBase::has_work()
{
  return is_ready();
}

void TimerBase::execute_one()
{
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto now = std::chrono::steady_clock::now();
    if (canceled_ || now < next_call_) {
      return;
    }
    next_call_ += period_;
    if (next_call_ <= now && period_.count() > 0) {
      // Skip the periods that were missed entirely.
      const auto behind = now - next_call_;
      next_call_ = now + period_ - (behind % period_);
    }
  }
  execute_callback();
}

std::optional<std::chrono::steady_clock::time_point> TimerBase::next_wakeup()
{
  std::lock_guard<std::mutex> lock(mutex_);
  if (canceled_) {
    return std::nullopt;
  }
  return next_call_;
}

}  // namespace rclcpp
