// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#include "rclcpp/detail/qos_parameters.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>

#include "rclcpp/exceptions.hpp"

namespace rclcpp {
namespace detail {
namespace {

// Declaration order of the override parameters.
constexpr std::array<QosPolicyKind, 9> kPolicies = {
    QosPolicyKind::AvoidRosNamespaceConventions,
    QosPolicyKind::Deadline,
    QosPolicyKind::Durability,
    QosPolicyKind::History,
    QosPolicyKind::Depth,
    QosPolicyKind::Lifespan,
    QosPolicyKind::Liveliness,
    QosPolicyKind::LivelinessLeaseDuration,
    QosPolicyKind::Reliability,
};

const char * history_to_str(rmw_qos_history_policy_t value)
{
  switch (value) {
    case RMW_QOS_POLICY_HISTORY_SYSTEM_DEFAULT:
      return "system_default";
    case RMW_QOS_POLICY_HISTORY_KEEP_LAST:
      return "keep_last";
    case RMW_QOS_POLICY_HISTORY_KEEP_ALL:
      return "keep_all";
    default:
      return "unknown";
  }
}

const char * reliability_to_str(rmw_qos_reliability_policy_t value)
{
  switch (value) {
    case RMW_QOS_POLICY_RELIABILITY_SYSTEM_DEFAULT:
      return "system_default";
    case RMW_QOS_POLICY_RELIABILITY_RELIABLE:
      return "reliable";
    case RMW_QOS_POLICY_RELIABILITY_BEST_EFFORT:
      return "best_effort";
    default:
      return "unknown";
  }
}

const char * durability_to_str(rmw_qos_durability_policy_t value)
{
  switch (value) {
    case RMW_QOS_POLICY_DURABILITY_SYSTEM_DEFAULT:
      return "system_default";
    case RMW_QOS_POLICY_DURABILITY_TRANSIENT_LOCAL:
      return "transient_local";
    case RMW_QOS_POLICY_DURABILITY_VOLATILE:
      return "volatile";
    default:
      return "unknown";
  }
}

const char * liveliness_to_str(rmw_qos_liveliness_policy_t value)
{
  switch (value) {
    case RMW_QOS_POLICY_LIVELINESS_SYSTEM_DEFAULT:
      return "system_default";
    case RMW_QOS_POLICY_LIVELINESS_AUTOMATIC:
      return "automatic";
    case RMW_QOS_POLICY_LIVELINESS_MANUAL_BY_TOPIC:
      return "manual_by_topic";
    default:
      return "unknown";
  }
}

int64_t to_nanoseconds(const rmw_time_t & time)
{
  return rclcpp::Duration::from_rmw_time(time).nanoseconds();
}

rclcpp::ParameterValue current_value(QosPolicyKind kind, const rclcpp::QoS & qos)
{
  const auto & profile = qos.get_rmw_qos_profile();
  switch (kind) {
    case QosPolicyKind::AvoidRosNamespaceConventions:
      return rclcpp::ParameterValue(profile.avoid_ros_namespace_conventions);
    case QosPolicyKind::Deadline:
      return rclcpp::ParameterValue(to_nanoseconds(profile.deadline));
    case QosPolicyKind::Depth:
      return rclcpp::ParameterValue(static_cast<int64_t>(profile.depth));
    case QosPolicyKind::Durability:
      return rclcpp::ParameterValue(durability_to_str(profile.durability));
    case QosPolicyKind::History:
      return rclcpp::ParameterValue(history_to_str(profile.history));
    case QosPolicyKind::Lifespan:
      return rclcpp::ParameterValue(to_nanoseconds(profile.lifespan));
    case QosPolicyKind::Liveliness:
      return rclcpp::ParameterValue(liveliness_to_str(profile.liveliness));
    case QosPolicyKind::LivelinessLeaseDuration:
      return rclcpp::ParameterValue(to_nanoseconds(profile.liveliness_lease_duration));
    case QosPolicyKind::Reliability:
      return rclcpp::ParameterValue(reliability_to_str(profile.reliability));
    case QosPolicyKind::Invalid:
      break;
  }
  throw rclcpp::exceptions::InvalidQosOverridesException{"unknown QoS policy kind"};
}

template <typename EnumT, size_t N>
EnumT parse_policy(
    const std::string & text, const std::array<EnumT, N> & values, const char * (*to_str)(EnumT))
{
  for (EnumT value : values) {
    if (text == to_str(value)) {
      return value;
    }
  }
  throw rclcpp::exceptions::InvalidQosOverridesException{"unknown QoS policy value: " + text};
}

rmw_time_t to_rmw_time(int64_t nanoseconds)
{
  return rclcpp::Duration::from_nanoseconds(nanoseconds).to_rmw_time();
}

void apply(QosPolicyKind kind, const rclcpp::ParameterValue & value, rclcpp::QoS & qos)
{
  auto & profile = qos.get_rmw_qos_profile();
  switch (kind) {
    case QosPolicyKind::AvoidRosNamespaceConventions:
      profile.avoid_ros_namespace_conventions = value.get<bool>();
      break;
    case QosPolicyKind::Deadline:
      profile.deadline = to_rmw_time(value.get<int64_t>());
      break;
    case QosPolicyKind::Depth:
      profile.depth = static_cast<size_t>(value.get<int64_t>());
      break;
    case QosPolicyKind::Durability:
      profile.durability = parse_policy(
          value.get<std::string>(),
          std::array<rmw_qos_durability_policy_t, 3>{
              RMW_QOS_POLICY_DURABILITY_SYSTEM_DEFAULT, RMW_QOS_POLICY_DURABILITY_TRANSIENT_LOCAL,
              RMW_QOS_POLICY_DURABILITY_VOLATILE},
          &durability_to_str);
      break;
    case QosPolicyKind::History:
      profile.history = parse_policy(
          value.get<std::string>(),
          std::array<rmw_qos_history_policy_t, 3>{
              RMW_QOS_POLICY_HISTORY_SYSTEM_DEFAULT, RMW_QOS_POLICY_HISTORY_KEEP_LAST,
              RMW_QOS_POLICY_HISTORY_KEEP_ALL},
          &history_to_str);
      break;
    case QosPolicyKind::Lifespan:
      profile.lifespan = to_rmw_time(value.get<int64_t>());
      break;
    case QosPolicyKind::Liveliness:
      profile.liveliness = parse_policy(
          value.get<std::string>(),
          std::array<rmw_qos_liveliness_policy_t, 3>{
              RMW_QOS_POLICY_LIVELINESS_SYSTEM_DEFAULT, RMW_QOS_POLICY_LIVELINESS_AUTOMATIC,
              RMW_QOS_POLICY_LIVELINESS_MANUAL_BY_TOPIC},
          &liveliness_to_str);
      break;
    case QosPolicyKind::LivelinessLeaseDuration:
      profile.liveliness_lease_duration = to_rmw_time(value.get<int64_t>());
      break;
    case QosPolicyKind::Reliability:
      profile.reliability = parse_policy(
          value.get<std::string>(),
          std::array<rmw_qos_reliability_policy_t, 3>{
              RMW_QOS_POLICY_RELIABILITY_SYSTEM_DEFAULT, RMW_QOS_POLICY_RELIABILITY_RELIABLE,
              RMW_QOS_POLICY_RELIABILITY_BEST_EFFORT},
          &reliability_to_str);
      break;
    case QosPolicyKind::Invalid:
      break;
  }
}

}  // namespace

rclcpp::QoS declare_qos_parameters(
    const rclcpp::QosOverridingOptions & options,
    rclcpp::node_interfaces::NodeParametersInterface & parameters, const std::string & topic_name,
    const rclcpp::QoS & default_qos, const std::string & entity)
{
  std::string prefix = "qos_overrides." + topic_name + "." + entity;
  std::string description_suffix = "} for " + entity + " {" + topic_name + "}";
  if (!options.get_id().empty()) {
    prefix += "_" + options.get_id();
    description_suffix += " with id {" + options.get_id() + "}";
  }
  prefix += ".";
  rclcpp::QoS qos = default_qos;
  const auto & kinds = options.get_policy_kinds();
  for (QosPolicyKind kind : kPolicies) {
    if (std::find(kinds.begin(), kinds.end(), kind) == kinds.end()) {
      continue;
    }
    const std::string name = prefix + qos_policy_kind_to_cstr(kind);
    rclcpp::ParameterValue value;
    if (parameters.has_parameter(name)) {
      value = parameters.get_parameter(name).get_parameter_value();
    } else {
      rcl_interfaces::msg::ParameterDescriptor descriptor;
      descriptor.description =
          std::string("qos policy {") + qos_policy_kind_to_cstr(kind) + description_suffix;
      descriptor.read_only = true;
      value = parameters.declare_parameter(name, current_value(kind, qos), descriptor);
    }
    try {
      apply(kind, value, qos);
    } catch (const rclcpp::ParameterTypeException & ex) {
      throw rclcpp::exceptions::InvalidQosOverridesException{
          "parameter '" + name + "' has an invalid type: " + ex.what()};
    }
  }
  const auto & validation_callback = options.get_validation_callback();
  if (validation_callback) {
    const auto result = validation_callback(qos);
    if (!result.successful) {
      throw rclcpp::exceptions::InvalidQosOverridesException{
          "validation callback failed: " + result.reason};
    }
  }
  return qos;
}

}  // namespace detail
}  // namespace rclcpp
