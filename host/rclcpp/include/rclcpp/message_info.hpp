// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#ifndef RCLCPP__MESSAGE_INFO_HPP_
#define RCLCPP__MESSAGE_INFO_HPP_

#include "rclcpp/visibility_control.hpp"
#include "rmw/types.h"

namespace rclcpp {

/// Metadata of a received message: timestamps, sequence numbers and the publisher's gid.
class RCLCPP_PUBLIC MessageInfo
{
public:
  MessageInfo() = default;

  // cppcheck-suppress noExplicitConstructor
  MessageInfo(const rmw_message_info_t & rmw_message_info);  // NOLINT(runtime/explicit)

  virtual ~MessageInfo() = default;

  const rmw_message_info_t & get_rmw_message_info() const;
  rmw_message_info_t & get_rmw_message_info();

private:
  rmw_message_info_t rmw_message_info_{};
};

}  // namespace rclcpp

#endif  // RCLCPP__MESSAGE_INFO_HPP_
