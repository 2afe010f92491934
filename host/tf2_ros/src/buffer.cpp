// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#include "tf2_ros/buffer.h"

#include <chrono>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace tf2_ros {
Buffer::Buffer(
    rclcpp::Clock::SharedPtr clock, tf2::Duration cache_time, rclcpp::Node::SharedPtr node)
    : BufferCore(cache_time), clock_(std::move(clock)), node_(std::move(node))
{
  if (nullptr == clock_) {
    throw std::invalid_argument("clock must be a valid instance");
  }
  rcl_jump_threshold_t threshold;
  threshold.on_clock_change = true;
  threshold.min_forward.nanoseconds = 0;    // forward jumps are harmless
  threshold.min_backward.nanoseconds = -1;  // any step back invalidates the history
  jump_handler_ = clock_->create_jump_callback(
      nullptr, [this](const rcl_time_jump_t & jump) { onTimeJump(jump); }, threshold);
}

void Buffer::onTimeJump(const rcl_time_jump_t & jump)
{
  if (RCL_ROS_TIME_ACTIVATED == jump.clock_change ||
      RCL_ROS_TIME_DEACTIVATED == jump.clock_change) {
    RCLCPP_WARN(getLogger(), "Detected time source change. Clearing TF buffer.");
    clear();
  } else if (jump.delta.nanoseconds < 0) {
    RCLCPP_WARN(getLogger(), "Detected jump back in time. Clearing TF buffer.");
    clear();
  }
}

rclcpp::Logger Buffer::getLogger() const
{
  return node_ ? node_->get_logger() : rclcpp::get_logger("tf2_buffer");
}

bool Buffer::checkAndErrorDedicatedThreadPresent(std::string * errstr) const
{
  if (isUsingDedicatedThread()) {
    return true;
  }
  if (errstr != nullptr) {
    *errstr = threading_error;
  }
  RCLCPP_ERROR(getLogger(), "%s", threading_error);
  return false;
}

// Polls @p check every 10 ms on the buffer's clock until it holds, the timeout elapses, the
// clock jumps back more than 3 s (a restarted bag) or the context shuts down; then checks a
// last time and appends the elapsed and allowed time to @p errstr.
template <class Check>
bool Buffer::waitUntil(const tf2::Duration timeout, std::string * errstr, const Check & check) const
{
  if (!checkAndErrorDedicatedThreadPresent(errstr)) {
    return false;
  }
  const rclcpp::Duration rclcpp_timeout = toRclcpp(timeout);
  const rclcpp::Time start_time = clock_->now();
  while (clock_->now() < start_time + rclcpp_timeout && !check(errstr) &&
         clock_->now() + rclcpp::Duration(3, 0) >= start_time && rclcpp::ok()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  const bool available = check(errstr);
  const rclcpp::Time current_time = clock_->now();
  if (errstr != nullptr) {
    std::ostringstream suffix;
    suffix << ". canTransform returned after "
           << tf2::durationToSec(fromRclcpp(current_time - start_time)) << " timeout was "
           << tf2::durationToSec(timeout) << ".";
    *errstr += suffix.str();
  }
  return available;
}

bool Buffer::canTransform(
    const std::string & target_frame, const std::string & source_frame, const tf2::TimePoint & time,
    const tf2::Duration timeout, std::string * errstr) const
{
  return waitUntil(timeout, errstr, [&](std::string * error) {
    return BufferCore::canTransform(target_frame, source_frame, time, error);
  });
}

bool Buffer::canTransform(
    const std::string & target_frame, const tf2::TimePoint & target_time,
    const std::string & source_frame, const tf2::TimePoint & source_time,
    const std::string & fixed_frame, const tf2::Duration timeout, std::string * errstr) const
{
  return waitUntil(timeout, errstr, [&](std::string * error) {
    return BufferCore::canTransform(
        target_frame, target_time, source_frame, source_time, fixed_frame, error);
  });
}

geometry_msgs::msg::TransformStamped Buffer::lookupTransform(
    const std::string & target_frame, const std::string & source_frame, const tf2::TimePoint & time,
    const tf2::Duration timeout) const
{
  // The wait's verdict is not needed: the lookup below throws the precise reason. Passing a
  // string keeps the failed checks off the console.
  std::string error;
  canTransform(target_frame, source_frame, time, timeout, &error);
  return BufferCore::lookupTransform(target_frame, source_frame, time);
}

geometry_msgs::msg::TransformStamped Buffer::lookupTransform(
    const std::string & target_frame, const tf2::TimePoint & target_time,
    const std::string & source_frame, const tf2::TimePoint & source_time,
    const std::string & fixed_frame, const tf2::Duration timeout) const
{
  std::string error;
  canTransform(target_frame, target_time, source_frame, source_time, fixed_frame, timeout, &error);
  return BufferCore::lookupTransform(
      target_frame, target_time, source_frame, source_time, fixed_frame);
}

}  // namespace tf2_ros
