// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

// Parameter values and parameter files in YAML, typed and laid out the way the ROS 2
// YAML parameter parser does it.

#ifndef HOST_YAML_PARAMETERS_HPP_
#define HOST_YAML_PARAMETERS_HPP_

#include <string>
#include <vector>

#include "rclcpp/detail/host_arguments.hpp"
#include "rclcpp/parameter_value.hpp"

namespace rclcpp {
namespace detail {

/// Value of a `-p name:=<text>` rule: one scalar or a sequence of scalars of one type.
/** An empty sequence gives PARAMETER_NOT_SET. @throws RuleError. */
rclcpp::ParameterValue parse_yaml_parameter_value(const std::string & text);

/// Appends the overrides of a `--params-file` in file order. @throws RuleError.
void parse_parameters_file(const std::string & path, std::vector<ParameterOverrideRule> & rules);

}  // namespace detail
}  // namespace rclcpp

#endif  // HOST_YAML_PARAMETERS_HPP_
