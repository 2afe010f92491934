// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

// Small helpers shared by the client library's tests: exception texts and parameter
// descriptors and results.

#ifndef HOST__RUNTIME_TEST_HELPERS_HPP_
#define HOST__RUNTIME_TEST_HELPERS_HPP_

#include <cstdint>
#include <string>
#include <vector>

#include "rcl_interfaces/msg/parameter_descriptor.hpp"
#include "rcl_interfaces/msg/set_parameters_result.hpp"
#include "rclcpp/parameter.hpp"

namespace runtime_test {

/// what() of the ExceptionT thrown by @p action, or "" if none was thrown.
template <typename ExceptionT, typename Action>
std::string what_of(Action action)
{
  try {
    action();
  } catch (const ExceptionT & error) {
    return error.what();
  }
  return "";
}

inline bool starts_with(const std::string & text, const std::string & prefix)
{
  return text.compare(0, prefix.size(), prefix) == 0;
}

inline rcl_interfaces::msg::SetParametersResult accept_all(const std::vector<rclcpp::Parameter> &)
{
  rcl_interfaces::msg::SetParametersResult result;
  result.successful = true;
  return result;
}

inline rcl_interfaces::msg::SetParametersResult refuse(const std::string & reason)
{
  rcl_interfaces::msg::SetParametersResult result;
  result.successful = false;
  result.reason = reason;
  return result;
}

inline rcl_interfaces::msg::ParameterDescriptor dynamic_descriptor()
{
  rcl_interfaces::msg::ParameterDescriptor descriptor;
  descriptor.dynamic_typing = true;
  return descriptor;
}

inline rcl_interfaces::msg::ParameterDescriptor integer_range(
    int64_t from, int64_t to, uint64_t step)
{
  rcl_interfaces::msg::ParameterDescriptor descriptor;
  descriptor.integer_range.resize(1);
  descriptor.integer_range[0].from_value = from;
  descriptor.integer_range[0].to_value = to;
  descriptor.integer_range[0].step = step;
  return descriptor;
}

inline rcl_interfaces::msg::ParameterDescriptor floating_range(double from, double to, double step)
{
  rcl_interfaces::msg::ParameterDescriptor descriptor;
  descriptor.floating_point_range.resize(1);
  descriptor.floating_point_range[0].from_value = from;
  descriptor.floating_point_range[0].to_value = to;
  descriptor.floating_point_range[0].step = step;
  return descriptor;
}

}  // namespace runtime_test

#endif  // HOST__RUNTIME_TEST_HELPERS_HPP_
