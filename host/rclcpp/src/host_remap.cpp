// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#include <algorithm>
#include <map>
#include <regex>
#include <stdexcept>
#include <string>
#include <vector>

#include "rcl/types.h"
#include "rclcpp/detail/host_arguments.hpp"
#include "rclcpp/detail/host_names.hpp"
#include "rclcpp/exceptions.hpp"
#include "rclcpp/expand_topic_or_service_name.hpp"

namespace rclcpp {
namespace detail {

namespace {

bool applies_to(const RemapRule & rule, const std::string & node_name)
{
  return rule.node_name.empty() || rule.node_name == node_name;
}

// Replacement of the first rule of @p kind that applies to @p node_name, or @p fallback.
std::string first_replacement(
    const std::vector<const HostArguments *> & lists, RemapRule::Kind kind,
    const std::string & node_name, const std::string & fallback)
{
  for (const HostArguments * list : lists) {
    if (list == nullptr) {
      continue;
    }
    for (const RemapRule & rule : list->remaps) {
      if (rule.kind == kind && applies_to(rule, node_name)) {
        return rule.to;
      }
    }
  }
  return fallback;
}

bool is_name_rule_for(const RemapRule & rule, bool is_service)
{
  switch (rule.kind) {
    case RemapRule::Kind::TopicOrService:
      return true;
    case RemapRule::Kind::Topic:
      return !is_service;
    case RemapRule::Kind::Service:
      return is_service;
    default:
      return false;
  }
}

// Node keys read `/*` as one name token and `/**` as any number of them.
std::regex node_key_pattern(const std::string & node_key)
{
  std::string pattern = node_key[0] == '/' ? node_key : "/" + node_key;
  const std::string one_token = "(/\\w+)";
  for (size_t pos = pattern.find("/*"); pos != std::string::npos;
       pos = pattern.find("/*", pos + one_token.size())) {
    pattern.replace(pos, 2, one_token);
  }
  return std::regex(pattern);
}

}  // namespace

std::string remap_node_name(
    const std::vector<const HostArguments *> & lists, const std::string & node_name)
{
  return first_replacement(lists, RemapRule::Kind::NodeName, node_name, node_name);
}

std::string remap_namespace(
    const std::vector<const HostArguments *> & lists, const std::string & node_name,
    const std::string & namespace_)
{
  return first_replacement(lists, RemapRule::Kind::Namespace, node_name, namespace_);
}

NodeIdentity resolve_node_identity(
    const std::string & node_name, const std::string & namespace_,
    const std::vector<const HostArguments *> & lists)
{
  const NameCheck name_check = check_node_name(node_name);
  if (!name_check.valid()) {
    throw exceptions::InvalidNodeNameError(node_name.c_str(), name_check.error, name_check.index);
  }
  std::string absolute_namespace = namespace_;
  if (namespace_.empty()) {
    absolute_namespace = "/";
  } else if (namespace_[0] != '/') {
    absolute_namespace = "/" + namespace_;
  }
  if (!check_namespace(absolute_namespace).valid()) {
    // Reported for the namespace as given, as the ROS client library does.
    const NameCheck given = check_namespace(namespace_);
    if (given.valid()) {
      throw std::runtime_error("valid rmw node namespace but invalid rcl node namespace");
    }
    throw exceptions::InvalidNamespaceError(namespace_.c_str(), given.error, given.index);
  }
  NodeIdentity identity;
  identity.name = remap_node_name(lists, node_name);
  identity.namespace_ = remap_namespace(lists, identity.name, absolute_namespace);
  const NameCheck remapped = check_namespace(identity.namespace_);
  if (!remapped.valid()) {
    throw exceptions::RCLError(
        exceptions::RCLErrorBase(
            RCL_RET_ERROR, std::string("invalid node namespace: ") + remapped.error, __FILE__,
            __LINE__),
        "failed to initialize rcl node: ");
  }
  identity.fully_qualified_name =
      identity.namespace_ == "/" ? "/" + identity.name : identity.namespace_ + "/" + identity.name;
  return identity;
}

std::string resolve_topic_or_service_name(
    const std::string & name, const std::string & node_name, const std::string & namespace_,
    bool is_service, const std::vector<const HostArguments *> & lists)
{
  const std::string expanded =
      rclcpp::expand_topic_or_service_name(name, node_name, namespace_, is_service);
  for (const HostArguments * list : lists) {
    if (list == nullptr) {
      continue;
    }
    for (const RemapRule & rule : list->remaps) {
      if (!is_name_rule_for(rule, is_service) || !applies_to(rule, node_name)) {
        continue;
      }
      std::string match;
      if (expand_topic_name(rule.from, node_name, namespace_, match) != ExpandStatus::Ok ||
          match != expanded) {
        continue;
      }
      // The first matching rule decides; its result is not remapped again.
      return rclcpp::expand_topic_or_service_name(rule.to, node_name, namespace_, is_service);
    }
  }
  return expanded;
}

std::map<std::string, rclcpp::ParameterValue> resolve_parameter_overrides(
    const std::string & fully_qualified_name,
    const std::vector<const HostArguments *> & low_to_high,
    const std::vector<rclcpp::Parameter> & explicit_overrides)
{
  std::map<std::string, rclcpp::ParameterValue> result;
  for (const HostArguments * list : low_to_high) {
    if (list == nullptr) {
      continue;
    }
    // Keys apply in order of their first appearance, each with all of its rules.
    std::vector<std::string> keys;
    for (const ParameterOverrideRule & rule : list->parameter_overrides) {
      if (std::find(keys.begin(), keys.end(), rule.node_key) == keys.end()) {
        keys.push_back(rule.node_key);
      }
    }
    for (const std::string & key : keys) {
      if (!std::regex_match(fully_qualified_name, node_key_pattern(key))) {
        continue;
      }
      for (const ParameterOverrideRule & rule : list->parameter_overrides) {
        if (rule.node_key != key) {
          continue;
        }
        if (rule.value.get_type() == PARAMETER_NOT_SET) {
          throw exceptions::InvalidParameterValueException("No parameter value set");
        }
        result[rule.name] = rule.value;
      }
    }
  }
  for (const rclcpp::Parameter & parameter : explicit_overrides) {
    result[parameter.get_name()] = parameter.get_parameter_value();
  }
  return result;
}

}  // namespace detail
}  // namespace rclcpp
