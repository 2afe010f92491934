// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#ifndef TF2_ROS__BUFFER_INTERFACE_H_
#define TF2_ROS__BUFFER_INTERFACE_H_

#include <chrono>
#include <cstdint>
#include <string>

#include "builtin_interfaces/msg/duration.hpp"
#include "builtin_interfaces/msg/time.hpp"
#include "geometry_msgs/msg/transform_stamped.hpp"
#include "rclcpp/rclcpp.hpp"
#include "tf2/convert.h"
#include "tf2/exceptions.h"
#include "tf2/time.h"
#include "tf2/transform_datatypes.h"

/// @file
/// @brief Time conversions between tf2, messages and rclcpp, and the abstract transform buffer.

namespace tf2_ros {
/// @brief Time message of a time point (seconds truncated toward zero, rest in nanoseconds).
inline builtin_interfaces::msg::Time toMsg(const tf2::TimePoint & t)
{
  const auto since_epoch = t.time_since_epoch();
  builtin_interfaces::msg::Time msg;
  msg.sec =
      static_cast<int32_t>(std::chrono::duration_cast<std::chrono::seconds>(since_epoch).count());
  msg.nanosec = static_cast<uint32_t>(since_epoch.count() % 1000000000LL);
  return msg;
}

/// @brief Time point of a time message.
inline tf2::TimePoint fromMsg(const builtin_interfaces::msg::Time & time_msg)
{
  return tf2::TimePoint(
      std::chrono::seconds(time_msg.sec) + std::chrono::nanoseconds(time_msg.nanosec));
}

/// @brief Duration message of a duration (seconds truncated toward zero, rest in nanoseconds).
inline builtin_interfaces::msg::Duration toMsg(const tf2::Duration & t)
{
  builtin_interfaces::msg::Duration msg;
  msg.sec = static_cast<int32_t>(std::chrono::duration_cast<std::chrono::seconds>(t).count());
  msg.nanosec = static_cast<uint32_t>(t.count() % 1000000000LL);
  return msg;
}

/// @brief Duration of a duration message.
inline tf2::Duration fromMsg(const builtin_interfaces::msg::Duration & duration_msg)
{
  return std::chrono::seconds(duration_msg.sec) + std::chrono::nanoseconds(duration_msg.nanosec);
}

/// @brief Seconds of a time message.
inline double timeToSec(const builtin_interfaces::msg::Time & time_msg)
{
  return static_cast<double>(time_msg.sec) + 1e-9 * static_cast<double>(time_msg.nanosec);
}

/// @brief Time point with the same nanosecond count; the clock type is dropped.
inline tf2::TimePoint fromRclcpp(const rclcpp::Time & time)
{
  return tf2::TimePoint(std::chrono::nanoseconds(time.nanoseconds()));
}

/// @brief rclcpp time (RCL_SYSTEM_TIME) with the same nanosecond count.
inline rclcpp::Time toRclcpp(const tf2::TimePoint & time)
{
  return rclcpp::Time(std::chrono::nanoseconds(time.time_since_epoch()).count());
}

/// @brief Duration with the same nanosecond count.
inline tf2::Duration fromRclcpp(const rclcpp::Duration & duration)
{
  return tf2::Duration(std::chrono::nanoseconds(duration.nanoseconds()));
}

/// @brief rclcpp duration with the same nanosecond count.
inline rclcpp::Duration toRclcpp(const tf2::Duration & duration)
{
  return rclcpp::Duration(std::chrono::duration_cast<std::chrono::nanoseconds>(duration));
}

/**
 * @brief A transform buffer that may wait for data, and transforms stamped datatypes.
 *
 * The transform() helpers look up the transform from the datatype's frame at its stamp
 * (tf2::getFrameId / tf2::getTimestamp) and apply tf2::doTransform; they throw what the
 * lookup throws (tf2::TransformException subclasses).
 */
class BufferInterface
{
public:
  /// @brief As tf2::BufferCore::lookupTransform, after waiting up to @p timeout for the data.
  virtual geometry_msgs::msg::TransformStamped lookupTransform(
      const std::string & target_frame, const std::string & source_frame,
      const tf2::TimePoint & time, const tf2::Duration timeout) const = 0;

  /// @brief Time-travelling lookup after waiting up to @p timeout for the data.
  virtual geometry_msgs::msg::TransformStamped lookupTransform(
      const std::string & target_frame, const tf2::TimePoint & target_time,
      const std::string & source_frame, const tf2::TimePoint & source_time,
      const std::string & fixed_frame, const tf2::Duration timeout) const = 0;

  /// @brief Whether the transform is available, waiting up to @p timeout for it.
  virtual bool canTransform(
      const std::string & target_frame, const std::string & source_frame,
      const tf2::TimePoint & time, const tf2::Duration timeout,
      std::string * errstr = NULL) const = 0;

  /// @brief Time-travelling canTransform, waiting up to @p timeout.
  virtual bool canTransform(
      const std::string & target_frame, const tf2::TimePoint & target_time,
      const std::string & source_frame, const tf2::TimePoint & source_time,
      const std::string & fixed_frame, const tf2::Duration timeout,
      std::string * errstr = NULL) const = 0;

  /// @brief Transforms @p in into @p target_frame, writing @p out; returns @p out.
  template <class T>
  T & transform(
      const T & in, T & out, const std::string & target_frame,
      tf2::Duration timeout = tf2::durationFromSec(0.0)) const
  {
    tf2::doTransform(
        in, out,
        lookupTransform(target_frame, tf2::getFrameId(in), tf2::getTimestamp(in), timeout));
    return out;
  }

  /// @brief Transforms @p in into @p target_frame and returns the result.
  template <class T>
  T transform(
      const T & in, const std::string & target_frame,
      tf2::Duration timeout = tf2::durationFromSec(0.0)) const
  {
    T out;
    return this->transform(in, out, target_frame, timeout);
  }

  /// @brief Transforms @p in into @p target_frame and converts the result into @p out.
  template <class A, class B>
  B & transform(
      const A & in, B & out, const std::string & target_frame,
      tf2::Duration timeout = tf2::durationFromSec(0.0)) const
  {
    A copy = this->transform(in, target_frame, timeout);
    tf2::convert(copy, out);
    return out;
  }

  /// @brief Time-travelling transform through @p fixed_frame into @p target_frame at
  /// @p target_time.
  template <class T>
  T & transform(
      const T & in, T & out, const std::string & target_frame, const tf2::TimePoint & target_time,
      const std::string & fixed_frame, tf2::Duration timeout = tf2::durationFromSec(0.0)) const
  {
    tf2::doTransform(
        in, out,
        lookupTransform(
            target_frame, target_time, tf2::getFrameId(in), tf2::getTimestamp(in), fixed_frame,
            timeout));
    return out;
  }

  /// @brief Time-travelling transform returning the result.
  template <class T>
  T transform(
      const T & in, const std::string & target_frame, const tf2::TimePoint & target_time,
      const std::string & fixed_frame, tf2::Duration timeout = tf2::durationFromSec(0.0)) const
  {
    T out;
    return this->transform(in, out, target_frame, target_time, fixed_frame, timeout);
  }

  /// @brief Time-travelling transform converting the result into @p out.
  template <class A, class B>
  B & transform(
      const A & in, B & out, const std::string & target_frame, const tf2::TimePoint & target_time,
      const std::string & fixed_frame, tf2::Duration timeout = tf2::durationFromSec(0.0)) const
  {
    A copy = this->transform(in, target_frame, target_time, fixed_frame, timeout);
    tf2::convert(copy, out);
    return out;
  }

  virtual ~BufferInterface() {}
};

}  // namespace tf2_ros

#endif  // TF2_ROS__BUFFER_INTERFACE_H_
