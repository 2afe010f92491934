// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#ifndef RCLCPP__QOS_OVERRIDING_OPTIONS_HPP_
#define RCLCPP__QOS_OVERRIDING_OPTIONS_HPP_

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "rcl_interfaces/msg/set_parameters_result.hpp"
#include "rclcpp/qos.hpp"
#include "rclcpp/visibility_control.hpp"
#include "rmw/types.h"

namespace rclcpp {

/// The policies a QoS override parameter can name.
enum class RCLCPP_PUBLIC_TYPE QosPolicyKind {
  AvoidRosNamespaceConventions = RMW_QOS_POLICY_AVOID_ROS_NAMESPACE_CONVENTIONS,
  Deadline = RMW_QOS_POLICY_DEADLINE,
  Depth = RMW_QOS_POLICY_DEPTH,
  Durability = RMW_QOS_POLICY_DURABILITY,
  History = RMW_QOS_POLICY_HISTORY,
  Lifespan = RMW_QOS_POLICY_LIFESPAN,
  Liveliness = RMW_QOS_POLICY_LIVELINESS,
  LivelinessLeaseDuration = RMW_QOS_POLICY_LIVELINESS_LEASE_DURATION,
  Reliability = RMW_QOS_POLICY_RELIABILITY,
  Invalid = RMW_QOS_POLICY_INVALID,
};

/// @brief "durability", "history", "depth", "reliability" ... as used in parameter names.
RCLCPP_PUBLIC const char * qos_policy_kind_to_cstr(const QosPolicyKind & qpk);

using QosCallbackResult = rcl_interfaces::msg::SetParametersResult;
using QosCallback = std::function<QosCallbackResult(const rclcpp::QoS &)>;

/// Which QoS policies of an endpoint may be overridden through read-only parameters
/// `qos_overrides.<topic>.<publisher|subscription>[_<id>].<policy>`.
class RCLCPP_PUBLIC QosOverridingOptions
{
public:
  QosOverridingOptions() = default;

  QosOverridingOptions(
      std::initializer_list<QosPolicyKind> policy_kinds, QosCallback validation_callback = nullptr,
      std::string id = {});

  const std::string & get_id() const;
  const std::vector<QosPolicyKind> & get_policy_kinds() const;
  const QosCallback & get_validation_callback() const;

  /// @brief Options for History, Depth, Reliability and Durability.
  static QosOverridingOptions with_default_policies(
      QosCallback validation_callback = nullptr, std::string id = {});

private:
  std::string id_;
  std::vector<QosPolicyKind> policy_kinds_;
  QosCallback validation_callback_;
};

}  // namespace rclcpp

#endif  // RCLCPP__QOS_OVERRIDING_OPTIONS_HPP_
