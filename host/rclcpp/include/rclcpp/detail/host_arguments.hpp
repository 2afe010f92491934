// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

/// @file rclcpp/detail/host_arguments.hpp
/// @brief ROS command line arguments: parsing (`--ros-args ... --`), name remapping,
/// node name/namespace resolution and parameter override resolution, with the rules of
/// ROS 2 Humble. All functions are pure and thread-safe.

#ifndef RCLCPP__DETAIL__HOST_ARGUMENTS_HPP_
#define RCLCPP__DETAIL__HOST_ARGUMENTS_HPP_

#include <map>
#include <string>
#include <vector>

#include "rclcpp/parameter.hpp"
#include "rclcpp/parameter_value.hpp"

namespace rclcpp {
namespace detail {

/// One `-r`/`--remap` rule.
struct RemapRule
{
  /// Empty: applies to every node; else only to the node of that (constructor) name.
  std::string node_name;
  enum class Kind { TopicOrService, Topic, Service, NodeName, Namespace } kind;
  /// Name to match (relative, absolute or `~/...`); empty for NodeName and Namespace.
  std::string from;
  /// Replacement.
  std::string to;
};

/// One parameter override from `-p` or `--params-file`.
struct ParameterOverrideRule
{
  /// `/**` for an unprefixed `-p`; a node name, `/ns/node` or a wildcard pattern otherwise.
  std::string node_key;
  std::string name;
  rclcpp::ParameterValue value;
};

/// One `--log-level` setting.
struct LogLevelRule
{
  /// Empty: the default level of every logger.
  std::string logger_name;
  /// Upper-case severity: UNSET, DEBUG, INFO, WARN, ERROR or FATAL.
  std::string severity;
};

/// The ROS arguments of one argument list.
struct HostArguments
{
  std::vector<RemapRule> remaps;                           ///< order of appearance
  std::vector<ParameterOverrideRule> parameter_overrides;  ///< order of appearance
  std::vector<std::string> unknown;                        ///< unknown flags inside --ros-args
  std::vector<LogLevelRule> log_levels;                    ///< order of appearance
};

/// Parses argv-like tokens.
/**
 * For rclcpp::init pass argv including argv[0]; for NodeOptions::arguments no program name.
 * Outside `--ros-args`, a lone `from:=to` is still taken as a remap rule (with a
 * deprecation warning on stderr).
 * @param error_prefix prefix of the error text, e.g. `failed to initialize rcl`.
 * @throws rclcpp::exceptions::RCLInvalidROSArgsError `<error_prefix>: Couldn't parse ...`
 *   for a malformed rule or file;
 *   rclcpp::exceptions::UnknownROSArgsError for unknown flags inside `--ros-args`.
 */
HostArguments parse_arguments(
    const std::vector<std::string> & args, const std::string & error_prefix);

/// @p args without the ROS arguments (argv[0] and other program arguments kept).
/** @throws rclcpp::exceptions::RCLInvalidROSArgsError `failed to parse arguments: ...`. */
std::vector<std::string> remove_ros_arguments(const std::vector<std::string> & args);

/// Node name after the first matching `__node` rule (local lists first, then global).
std::string remap_node_name(
    const std::vector<const HostArguments *> & lists, const std::string & node_name);

/// Namespace after the first matching `__ns` rule, matched against the (remapped) name.
std::string remap_namespace(
    const std::vector<const HostArguments *> & lists, const std::string & node_name,
    const std::string & namespace_);

/// Name, namespace and fully qualified name of a node.
struct NodeIdentity
{
  std::string name;
  std::string namespace_;
  std::string fully_qualified_name;
};

/// Checks and normalises a node's name and namespace (`""` → `/`, `ns` → `/ns`), then
/// applies the node name and namespace rules of @p lists.
/**
 * @throws rclcpp::exceptions::InvalidNodeNameError for a bad name;
 *   InvalidNamespaceError for a bad namespace (reported as passed, so a bad relative
 *   namespace reports that it must be absolute);
 *   RCLError `failed to initialize rcl node: invalid node namespace: ...` when a rule
 *   remapped to an unusable namespace (such as one ending in `/`).
 */
NodeIdentity resolve_node_identity(
    const std::string & node_name, const std::string & namespace_,
    const std::vector<const HostArguments *> & lists);

/// Expands @p name, applies the first matching topic (or service) rule and checks the result.
/**
 * @param lists local arguments first, then global ones.
 * @return the fully qualified, remapped name.
 * @throws as rclcpp::expand_topic_or_service_name; an invalid remapped name throws
 *   InvalidTopicNameError / InvalidServiceNameError reporting the remapped name.
 */
std::string resolve_topic_or_service_name(
    const std::string & name, const std::string & node_name, const std::string & namespace_,
    bool is_service, const std::vector<const HostArguments *> & lists);

/// Effective parameter overrides of a node.
/**
 * For each list (lowest precedence first), node keys are taken in order of first
 * appearance; a key (with `/` prepended if missing, a `*` segment read as one name token
 * and a `**` segment as any number of them) must match @p fully_qualified_name; later
 * matches overwrite earlier ones. @p explicit_overrides (NodeOptions::parameter_overrides)
 * come last.
 * @throws rclcpp::exceptions::InvalidParameterValueException `No parameter value set` for
 *   an empty sequence value that reaches the node.
 */
std::map<std::string, rclcpp::ParameterValue> resolve_parameter_overrides(
    const std::string & fully_qualified_name,
    const std::vector<const HostArguments *> & low_to_high,
    const std::vector<rclcpp::Parameter> & explicit_overrides);

}  // namespace detail
}  // namespace rclcpp

#endif  // RCLCPP__DETAIL__HOST_ARGUMENTS_HPP_
