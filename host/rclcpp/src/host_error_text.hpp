// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

// Error texts in the C layer's error-state format `<message>, at <file>:<line>`.

#ifndef HOST_ERROR_TEXT_HPP_
#define HOST_ERROR_TEXT_HPP_

#include <stdexcept>
#include <string>

namespace rclcpp {
namespace detail {

inline std::string located_error_text(const std::string & message, const char * file, int line)
{
  return message + ", at " + file + ":" + std::to_string(line);
}

/// Failure of one argument rule; what() is already in the located format.
class RuleError : public std::runtime_error
{
public:
  using std::runtime_error::runtime_error;
};

}  // namespace detail
}  // namespace rclcpp

/// `<message>, at <this file>:<this line>`.
#define HOST_ERROR_TEXT(message) ::rclcpp::detail::located_error_text(message, __FILE__, __LINE__)

#endif  // HOST_ERROR_TEXT_HPP_
