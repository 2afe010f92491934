// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#include <ostream>
#include <string>

#include "rclcpp/event.hpp"
#include "rclcpp/future_return_code.hpp"
#include "rclcpp/message_info.hpp"

namespace rclcpp {

Event::Event() : state_(false) {}

bool Event::set()
{
  return state_.exchange(true);
}

bool Event::check()
{
  return state_.load();
}

bool Event::check_and_clear()
{
  return state_.exchange(false);
}

MessageInfo::MessageInfo(const rmw_message_info_t & rmw_message_info)
    : rmw_message_info_(rmw_message_info)
{}

const rmw_message_info_t & MessageInfo::get_rmw_message_info() const
{
  return rmw_message_info_;
}

rmw_message_info_t & MessageInfo::get_rmw_message_info()
{
  return rmw_message_info_;
}

std::string to_string(const FutureReturnCode & future_return_code)
{
  using enum_type = std::underlying_type<FutureReturnCode>::type;
  std::string prefix = "Unknown enum value (";
  std::string ret_as_string = std::to_string(static_cast<enum_type>(future_return_code));
  switch (future_return_code) {
    case FutureReturnCode::SUCCESS:
      prefix = "SUCCESS (";
      break;
    case FutureReturnCode::INTERRUPTED:
      prefix = "INTERRUPTED (";
      break;
    case FutureReturnCode::TIMEOUT:
      prefix = "TIMEOUT (";
      break;
  }
  return prefix + ret_as_string + ")";
}

std::ostream & operator<<(std::ostream & os, const FutureReturnCode & future_return_code)
{
  return os << to_string(future_return_code);
}

}  // namespace rclcpp
