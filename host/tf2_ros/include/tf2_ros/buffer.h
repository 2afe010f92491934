// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#ifndef TF2_ROS__BUFFER_H_
#define TF2_ROS__BUFFER_H_

#include <memory>
#include <string>

#include "geometry_msgs/msg/transform_stamped.hpp"
#include "rclcpp/rclcpp.hpp"
#include "tf2/buffer_core.h"
#include "tf2/time.h"
#include "tf2_ros/buffer_interface.h"

/// @file
/// @brief tf2_ros::Buffer: the transform buffer bound to an rclcpp clock.

namespace tf2_ros {
/**
 * @brief A tf2::BufferCore whose lookups may wait for data, measured on an rclcpp clock.
 *
 * The plain BufferCore calls (lookupTransform / canTransform with a tf2::TimePoint and no
 * timeout) are inherited unchanged: they never wait and never need a dedicated thread. Every
 * call with a timeout (including the rclcpp::Time overloads, whose timeout defaults to 0)
 * first checks that another thread fills the buffer (setUsingDedicatedThread(true), done by
 * TransformListener); otherwise it logs and reports tf2_ros::threading_error and does not
 * wait. Waiting polls every 10 ms on the buffer's clock, so with simulated time the timeout
 * elapses only as /clock advances.
 *
 * A backward jump of the clock or a switch between system and ROS time clears the buffer
 * (warning "Detected jump back in time. Clearing TF buffer." / "Detected time source change.
 * Clearing TF buffer."). Thread safe like tf2::BufferCore.
 */
class Buffer : public BufferInterface, public tf2::BufferCore
{
public:
  using tf2::BufferCore::canTransform;
  using tf2::BufferCore::lookupTransform;
  using SharedPtr = std::shared_ptr<tf2_ros::Buffer>;

  /**
   * @brief Creates an empty buffer.
   * @param clock clock used to measure timeouts; must not be null.
   * @param cache_time how long dynamic transforms are kept.
   * @param node optional node whose logger the buffer uses (otherwise logger "tf2_buffer").
   * @throws std::invalid_argument "clock must be a valid instance" for a null @p clock.
   */
  Buffer(
      rclcpp::Clock::SharedPtr clock,
      tf2::Duration cache_time = tf2::Duration(tf2::BUFFER_CORE_DEFAULT_CACHE_TIME),
      rclcpp::Node::SharedPtr node = rclcpp::Node::SharedPtr());

  /**
   * @brief Waits up to @p timeout for the transform, then looks it up.
   * @throws what tf2::BufferCore::lookupTransform throws when it is still unavailable.
   */
  geometry_msgs::msg::TransformStamped lookupTransform(
      const std::string & target_frame, const std::string & source_frame,
      const tf2::TimePoint & time, const tf2::Duration timeout) const override;

  /// @brief rclcpp form of the waiting lookup (time nanoseconds taken as they are).
  geometry_msgs::msg::TransformStamped lookupTransform(
      const std::string & target_frame, const std::string & source_frame, const rclcpp::Time & time,
      const rclcpp::Duration timeout = rclcpp::Duration::from_nanoseconds(0)) const
  {
    return lookupTransform(target_frame, source_frame, fromRclcpp(time), fromRclcpp(timeout));
  }

  /// @brief Waiting time-travelling lookup.
  geometry_msgs::msg::TransformStamped lookupTransform(
      const std::string & target_frame, const tf2::TimePoint & target_time,
      const std::string & source_frame, const tf2::TimePoint & source_time,
      const std::string & fixed_frame, const tf2::Duration timeout) const override;

  /// @brief rclcpp form of the waiting time-travelling lookup.
  geometry_msgs::msg::TransformStamped lookupTransform(
      const std::string & target_frame, const rclcpp::Time & target_time,
      const std::string & source_frame, const rclcpp::Time & source_time,
      const std::string & fixed_frame,
      const rclcpp::Duration timeout = rclcpp::Duration::from_nanoseconds(0)) const
  {
    return lookupTransform(
        target_frame, fromRclcpp(target_time), source_frame, fromRclcpp(source_time), fixed_frame,
        fromRclcpp(timeout));
  }

  /**
   * @brief Whether the transform becomes available within @p timeout; never throws.
   * @param errstr if not null, receives the reason followed by
   *        ". canTransform returned after <s> timeout was <s>.".
   */
  bool canTransform(
      const std::string & target_frame, const std::string & source_frame,
      const tf2::TimePoint & target_time, const tf2::Duration timeout,
      std::string * errstr = NULL) const override;

  /// @brief rclcpp form of the waiting canTransform.
  bool canTransform(
      const std::string & target_frame, const std::string & source_frame, const rclcpp::Time & time,
      const rclcpp::Duration timeout = rclcpp::Duration::from_nanoseconds(0),
      std::string * errstr = NULL) const
  {
    return canTransform(target_frame, source_frame, fromRclcpp(time), fromRclcpp(timeout), errstr);
  }

  /// @brief Waiting time-travelling canTransform.
  bool canTransform(
      const std::string & target_frame, const tf2::TimePoint & target_time,
      const std::string & source_frame, const tf2::TimePoint & source_time,
      const std::string & fixed_frame, const tf2::Duration timeout,
      std::string * errstr = NULL) const override;

  /// @brief rclcpp form of the waiting time-travelling canTransform.
  bool canTransform(
      const std::string & target_frame, const rclcpp::Time & target_time,
      const std::string & source_frame, const rclcpp::Time & source_time,
      const std::string & fixed_frame,
      const rclcpp::Duration timeout = rclcpp::Duration::from_nanoseconds(0),
      std::string * errstr = NULL) const
  {
    return canTransform(
        target_frame, fromRclcpp(target_time), source_frame, fromRclcpp(source_time), fixed_frame,
        fromRclcpp(timeout), errstr);
  }

private:
  template <class Check>
  bool waitUntil(const tf2::Duration timeout, std::string * errstr, const Check & check) const;
  void onTimeJump(const rcl_time_jump_t & jump);
  bool checkAndErrorDedicatedThreadPresent(std::string * errstr) const;
  rclcpp::Logger getLogger() const;

  rclcpp::Clock::SharedPtr clock_;
  rclcpp::Node::SharedPtr node_;
  rclcpp::JumpHandler::SharedPtr jump_handler_;
};

/// @brief Text reported by the waiting calls of a Buffer that no thread fills.
static const char threading_error[] =
    "Do not call canTransform or lookupTransform with a timeout "
    "unless you are using another thread for populating data. Without a dedicated thread it will "
    "always timeout.  If you have a separate thread servicing tf messages, call "
    "setUsingDedicatedThread(true) on your Buffer instance.";

}  // namespace tf2_ros

#endif  // TF2_ROS__BUFFER_H_
