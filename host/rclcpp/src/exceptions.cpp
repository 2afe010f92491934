// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#include "rclcpp/exceptions.hpp"

#include <string>

namespace rclcpp {
namespace exceptions {

std::string NameValidationError::format_error(
    const char * name_type, const char * name, const char * error_msg, size_t invalid_index)
{
  std::string text = std::string("Invalid ") + name_type + ": " + error_msg + ":\n";
  text += std::string("  '") + name + "'\n";
  text += "   " + std::string(invalid_index, ' ') + "^\n";
  return text;
}

RCLErrorBase::RCLErrorBase(
    rcl_ret_t ret_, const std::string & message_, const std::string & file_, size_t line_)
    : ret(ret_),
      message(message_),
      file(file_),
      line(line_),
      formatted_message(message_ + ", at " + file_ + ":" + std::to_string(line_))
{}

RCLError::RCLError(const RCLErrorBase & base_exc, const std::string & prefix)
    : RCLErrorBase(base_exc), std::runtime_error(prefix + base_exc.formatted_message)
{}

RCLBadAlloc::RCLBadAlloc(const RCLErrorBase & base_exc) : RCLErrorBase(base_exc), std::bad_alloc()
{}

RCLInvalidArgument::RCLInvalidArgument(const RCLErrorBase & base_exc, const std::string & prefix)
    : RCLErrorBase(base_exc), std::invalid_argument(prefix + base_exc.formatted_message)
{}

RCLInvalidROSArgsError::RCLInvalidROSArgsError(
    const RCLErrorBase & base_exc, const std::string & prefix)
    : RCLErrorBase(base_exc), std::runtime_error(prefix + base_exc.formatted_message)
{}

}  // namespace exceptions
}  // namespace rclcpp
