// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#include "rclcpp/detail/host_arguments.hpp"

#include <rcutils/logging_macros.h>

#include <string>
#include <utility>
#include <vector>

#include "host_argument_rules.hpp"
#include "host_error_text.hpp"
#include "host_yaml_parameters.hpp"
#include "rcl/types.h"
#include "rclcpp/exceptions.hpp"

namespace rclcpp {
namespace detail {

namespace {

struct ParsedArguments
{
  HostArguments ros;
  std::vector<std::string> other;
};

class ArgumentParser
{
public:
  ArgumentParser(const std::vector<std::string> & args, const std::string & error_prefix)
      : args_(args), error_prefix_(error_prefix + ": ")
  {}

  ParsedArguments parse()
  {
    bool in_ros_arguments = false;
    for (i_ = 0; i_ < args_.size(); ++i_) {
      const std::string & arg = args_[i_];
      if (in_ros_arguments) {
        if (arg == "--") {
          in_ros_arguments = false;
        } else if (arg != "--ros-args") {
          parse_ros_argument(arg);
        }
      } else if (arg == "--ros-args") {
        in_ros_arguments = true;
      } else if (!parse_deprecated_remap(arg)) {
        result_.other.push_back(arg);
      }
    }
    return std::move(result_);
  }

private:
  void parse_ros_argument(const std::string & flag)
  {
    HostArguments & ros = result_.ros;
    if (flag == "-p" || flag == "--param") {
      with_value(
          flag, "Couldn't parse parameter override rule", "No parameter override rule found.",
          [&ros](const std::string & rule) {
            parse_parameter_rule(rule, ros.parameter_overrides);
          });
    } else if (flag == "-r" || flag == "--remap") {
      with_value(
          flag, "Couldn't parse remap rule", "No remap rule found.",
          [&ros](const std::string & rule) { ros.remaps.push_back(parse_remap_rule(rule)); });
    } else if (flag == "--params-file") {
      with_value(
          flag, "Couldn't parse params file", "No file path provided.",
          [&ros](const std::string & path) {
            parse_parameters_file(path, ros.parameter_overrides);
          });
    } else if (flag == "--log-level") {
      if (i_ + 1 >= args_.size()) {
        fail("Couldn't parse trailing log level flag: '" + flag + "'. No log level provided.");
      }
      with_value(flag, "Couldn't parse log level", "", [&ros](const std::string & rule) {
        ros.log_levels.push_back(parse_log_level_rule(rule));
      });
    } else if (flag == "--log-config-file") {
      // Accepted; host logging has no external configuration.
      with_value(flag, "", "No file path provided.", [](const std::string &) {});
    } else if (flag == "-e" || flag == "--enclave") {
      // Accepted; there is no security layer in process.
      with_value(flag, "", "No enclave path provided.", [](const std::string &) {});
    } else if (!is_logging_switch(flag)) {
      result_.ros.unknown.push_back(flag);
    }
  }

  static bool is_logging_switch(const std::string & flag)
  {
    for (const char * prefix : {"--enable-", "--disable-"}) {
      for (const char * suffix : {"stdout-logs", "rosout-logs", "external-lib-logs"}) {
        if (flag == std::string(prefix) + suffix) {
          return true;
        }
      }
    }
    return false;
  }

  // Runs @p parse_rule on the value after @p flag, turning failures into the C layer's texts.
  template <typename ParseRule>
  void with_value(
      const std::string & flag, const std::string & parse_failure,
      const std::string & missing_value, ParseRule parse_rule)
  {
    if (i_ + 1 >= args_.size()) {
      fail("Couldn't parse trailing " + flag + " flag. " + missing_value);
    }
    const std::string & value = args_[++i_];
    try {
      parse_rule(value);
    } catch (const RuleError & error) {
      fail(parse_failure + ": '" + flag + " " + value + "'. Error: " + error.what());
    }
  }

  bool parse_deprecated_remap(const std::string & arg)
  {
    try {
      result_.ros.remaps.push_back(parse_remap_rule(arg));
    } catch (const RuleError &) {
      return false;
    }
    RCUTILS_LOG_WARN_NAMED(
        "rcl",
        "Found remap rule '%s'. This syntax is deprecated. Use '--ros-args --remap %s' instead.",
        arg.c_str(), arg.c_str());
    return true;
  }

  [[noreturn]] void fail(const std::string & message) const
  {
    throw exceptions::RCLInvalidROSArgsError(
        exceptions::RCLErrorBase(RCL_RET_INVALID_ROS_ARGS, message, __FILE__, __LINE__),
        error_prefix_);
  }

  const std::vector<std::string> & args_;
  const std::string error_prefix_;
  size_t i_ = 0;
  ParsedArguments result_;
};

}  // namespace

HostArguments parse_arguments(
    const std::vector<std::string> & args, const std::string & error_prefix)
{
  HostArguments parsed = ArgumentParser(args, error_prefix).parse().ros;
  if (!parsed.unknown.empty()) {
    throw exceptions::UnknownROSArgsError(std::move(parsed.unknown));
  }
  return parsed;
}

std::vector<std::string> remove_ros_arguments(const std::vector<std::string> & args)
{
  return ArgumentParser(args, "failed to parse arguments").parse().other;
}

}  // namespace detail
}  // namespace rclcpp
