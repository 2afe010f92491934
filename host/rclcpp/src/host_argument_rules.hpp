// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

// Parsers of single remap, parameter and log level rules. Each throws RuleError whose
// what() is the located inner error text (`error not set` where the C layer sets none).

#ifndef HOST_ARGUMENT_RULES_HPP_
#define HOST_ARGUMENT_RULES_HPP_

#include <string>
#include <vector>

#include "rclcpp/detail/host_arguments.hpp"

namespace rclcpp {
namespace detail {

/// `[node:]from:=to`, `[node:]rostopic://from:=to`, `__node:=name`, `__ns:=/ns` ...
RemapRule parse_remap_rule(const std::string & rule);

/// `[node:]name:=<yaml value>`; appends the override.
void parse_parameter_rule(const std::string & rule, std::vector<ParameterOverrideRule> & rules);

/// `<severity>` or `<logger>:=<severity>`.
LogLevelRule parse_log_level_rule(const std::string & rule);

}  // namespace detail
}  // namespace rclcpp

#endif  // HOST_ARGUMENT_RULES_HPP_
