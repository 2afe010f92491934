// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#include "rclcpp/clock.hpp"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <stdexcept>
#include <thread>
#include <vector>

#include "ros_time_override.hpp"

namespace rclcpp {

class Clock::Impl
{
public:
  explicit Impl(rcl_clock_type_t type) : clock_type(type) {}

  rcl_time_point_value_t now() const
  {
    std::lock_guard<std::mutex> lock(state_mutex);
    return now_locked();
  }

  rcl_time_point_value_t now_locked() const
  {
    if (clock_type == RCL_ROS_TIME && override_enabled) {
      return override_ns;
    }
    if (clock_type == RCL_STEADY_TIME) {
      return std::chrono::duration_cast<std::chrono::nanoseconds>(
                 std::chrono::steady_clock::now().time_since_epoch())
          .count();
    }
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
  }

  // Handlers whose threshold @p jump passes.
  std::vector<JumpHandler::SharedPtr> handlers_for(const rcl_time_jump_t & jump)
  {
    std::vector<JumpHandler::SharedPtr> result;
    std::lock_guard<std::mutex> lock(state_mutex);
    handlers.erase(
        std::remove_if(
            handlers.begin(), handlers.end(),
            [](const std::weak_ptr<JumpHandler> & handler) { return handler.expired(); }),
        handlers.end());
    for (const auto & weak_handler : handlers) {
      auto handler = weak_handler.lock();
      if (!handler) {
        continue;
      }
      const auto & threshold = handler->notice_threshold;
      bool fire = false;
      if (jump.clock_change != RCL_ROS_TIME_NO_CHANGE) {
        fire = threshold.on_clock_change;
      } else {
        fire = (threshold.min_forward.nanoseconds > 0 &&
                jump.delta.nanoseconds >= threshold.min_forward.nanoseconds) ||
               (threshold.min_backward.nanoseconds < 0 &&
                jump.delta.nanoseconds <= threshold.min_backward.nanoseconds);
      }
      if (fire) {
        result.push_back(handler);
      }
    }
    return result;
  }

  // Applies @p change under the state lock and runs the jump callbacks around it.
  template <typename ChangeT>
  void jump(ChangeT change)
  {
    std::lock_guard<std::mutex> jump_lock(jump_mutex);
    rcl_time_jump_t time_jump{};
    bool jumped = false;
    {
      std::lock_guard<std::mutex> lock(state_mutex);
      const rcl_time_point_value_t before = now_locked();
      const bool was_enabled = override_enabled;
      change();
      jumped = was_enabled || override_enabled;
      time_jump.delta.nanoseconds = now_locked() - before;
      if (was_enabled == override_enabled) {
        time_jump.clock_change = RCL_ROS_TIME_NO_CHANGE;
      } else {
        time_jump.clock_change =
            override_enabled ? RCL_ROS_TIME_ACTIVATED : RCL_ROS_TIME_DEACTIVATED;
      }
      ++generation;
    }
    condition.notify_all();
    if (!jumped) {
      return;
    }
    const auto to_call = handlers_for(time_jump);
    for (const auto & handler : to_call) {
      if (handler->pre_callback) {
        handler->pre_callback();
      }
    }
    for (const auto & handler : to_call) {
      if (handler->post_callback) {
        handler->post_callback(time_jump);
      }
    }
  }

  const rcl_clock_type_t clock_type;
  std::mutex clock_mutex;

  mutable std::mutex state_mutex;
  std::condition_variable condition;
  bool override_enabled{false};
  rcl_time_point_value_t override_ns{0};
  uint64_t generation{0};
  std::vector<std::weak_ptr<JumpHandler>> handlers;

  // Serialises jumps so callbacks see them in order.
  std::mutex jump_mutex;
};

JumpHandler::JumpHandler(
    pre_callback_t pre_callback_in, post_callback_t post_callback_in,
    const rcl_jump_threshold_t & threshold)
    : pre_callback(std::move(pre_callback_in)),
      post_callback(std::move(post_callback_in)),
      notice_threshold(threshold)
{}

Clock::Clock(rcl_clock_type_t clock_type) : impl_(std::make_shared<Impl>(clock_type))
{
  if (clock_type == RCL_CLOCK_UNINITIALIZED) {
    throw std::invalid_argument("clock type must not be RCL_CLOCK_UNINITIALIZED");
  }
}

Clock::~Clock() = default;

Time Clock::now()
{
  return Time(impl_->now(), impl_->clock_type);
}

bool Clock::sleep_until(Time until, Context::SharedPtr context)
{
  if (!context || !context->is_valid()) {
    throw std::runtime_error("context cannot be slept with because it's invalid");
  }
  if (until.get_clock_type() != impl_->clock_type) {
    throw std::runtime_error("until's clock type does not match this clock's type");
  }
  std::weak_ptr<Impl> weak_impl = impl_;
  auto shutdown_handle = context->add_on_shutdown_callback([weak_impl]() {
    if (auto impl = weak_impl.lock()) {
      {
        std::lock_guard<std::mutex> lock(impl->state_mutex);
        ++impl->generation;
      }
      impl->condition.notify_all();
    }
  });

  bool time_source_changed = false;
  {
    std::unique_lock<std::mutex> lock(impl_->state_mutex);
    const bool started_with_override = impl_->override_enabled;
    while (context->is_valid()) {
      if (impl_->clock_type == RCL_ROS_TIME && impl_->override_enabled != started_with_override) {
        time_source_changed = true;
        break;
      }
      const rcl_time_point_value_t now = impl_->now_locked();
      if (now >= until.nanoseconds()) {
        break;
      }
      if (impl_->clock_type == RCL_ROS_TIME && impl_->override_enabled) {
        // Simulated time only moves when set; set() wakes us.
        const uint64_t seen = impl_->generation;
        impl_->condition.wait(lock, [this, seen]() { return impl_->generation != seen; });
      } else {
        // Wall time: sleep the remaining span (re-checked, as the system clock may jump).
        const auto remaining = std::chrono::nanoseconds(until.nanoseconds() - now);
        impl_->condition.wait_for(
            lock, std::min<std::chrono::nanoseconds>(remaining, std::chrono::milliseconds(100)));
      }
    }
  }
  context->remove_on_shutdown_callback(shutdown_handle);
  if (time_source_changed) {
    return false;
  }
  return context->is_valid() && now() >= until;
}

bool Clock::sleep_for(Duration rel_time, Context::SharedPtr context)
{
  return sleep_until(now() + rel_time, context);
}

bool Clock::started()
{
  return impl_->now() > 0;
}

bool Clock::wait_until_started(Context::SharedPtr context)
{
  if (!context || !context->is_valid()) {
    throw std::runtime_error("context cannot be slept with because it's invalid");
  }
  while (!started()) {
    if (!context->is_valid()) {
      return false;
    }
    std::unique_lock<std::mutex> lock(impl_->state_mutex);
    impl_->condition.wait_for(lock, std::chrono::milliseconds(10));
  }
  return true;
}

bool Clock::wait_until_started(
    const rclcpp::Duration & timeout, Context::SharedPtr context,
    const rclcpp::Duration & wait_tick_ns)
{
  if (!context || !context->is_valid()) {
    throw std::runtime_error("context cannot be slept with because it's invalid");
  }
  Clock timeout_clock(RCL_STEADY_TIME);
  const Time start = timeout_clock.now();
  while (!started() && context->is_valid()) {
    if (timeout < wait_tick_ns) {
      std::this_thread::sleep_for(timeout.to_chrono<std::chrono::nanoseconds>());
    } else {
      const Duration time_left = start + timeout - timeout_clock.now();
      if (time_left > wait_tick_ns) {
        std::this_thread::sleep_for(wait_tick_ns.to_chrono<std::chrono::nanoseconds>());
      } else {
        std::this_thread::sleep_for(time_left.to_chrono<std::chrono::nanoseconds>());
      }
    }
    if (timeout_clock.now() - start > timeout) {
      return started();
    }
  }
  return started();
}

bool Clock::ros_time_is_active()
{
  if (impl_->clock_type != RCL_ROS_TIME) {
    return false;
  }
  std::lock_guard<std::mutex> lock(impl_->state_mutex);
  return impl_->override_enabled;
}

rcl_clock_type_t Clock::get_clock_type() const noexcept
{
  return impl_->clock_type;
}

std::mutex & Clock::get_clock_mutex() noexcept
{
  return impl_->clock_mutex;
}

JumpHandler::SharedPtr Clock::create_jump_callback(
    JumpHandler::pre_callback_t pre_callback, JumpHandler::post_callback_t post_callback,
    const rcl_jump_threshold_t & threshold)
{
  auto handler =
      std::make_shared<JumpHandler>(std::move(pre_callback), std::move(post_callback), threshold);
  std::lock_guard<std::mutex> lock(impl_->state_mutex);
  impl_->handlers.push_back(handler);
  return handler;
}

namespace detail {

void RosTimeOverride::enable(Clock & clock)
{
  clock.impl_->jump([&clock]() { clock.impl_->override_enabled = true; });
}

void RosTimeOverride::disable(Clock & clock)
{
  clock.impl_->jump([&clock]() { clock.impl_->override_enabled = false; });
}

void RosTimeOverride::set(Clock & clock, rcl_time_point_value_t nanoseconds)
{
  clock.impl_->jump([&clock, nanoseconds]() { clock.impl_->override_ns = nanoseconds; });
}

}  // namespace detail
}  // namespace rclcpp
