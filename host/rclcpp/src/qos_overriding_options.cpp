// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#include "rclcpp/qos_overriding_options.hpp"

#include <utility>

namespace rclcpp {

const char * qos_policy_kind_to_cstr(const QosPolicyKind & qpk)
{
  switch (qpk) {
    case QosPolicyKind::AvoidRosNamespaceConventions:
      return "avoid_ros_namespace_conventions";
    case QosPolicyKind::Deadline:
      return "deadline";
    case QosPolicyKind::Depth:
      return "depth";
    case QosPolicyKind::Durability:
      return "durability";
    case QosPolicyKind::History:
      return "history";
    case QosPolicyKind::Lifespan:
      return "lifespan";
    case QosPolicyKind::Liveliness:
      return "liveliness";
    case QosPolicyKind::LivelinessLeaseDuration:
      return "liveliness_lease_duration";
    case QosPolicyKind::Reliability:
      return "reliability";
    case QosPolicyKind::Invalid:
      break;
  }
  return nullptr;
}

QosOverridingOptions::QosOverridingOptions(
    std::initializer_list<QosPolicyKind> policy_kinds, QosCallback validation_callback,
    std::string id)
    : id_(std::move(id)),
      policy_kinds_(policy_kinds),
      validation_callback_(std::move(validation_callback))
{}

const std::string & QosOverridingOptions::get_id() const
{
  return id_;
}

const std::vector<QosPolicyKind> & QosOverridingOptions::get_policy_kinds() const
{
  return policy_kinds_;
}

const QosCallback & QosOverridingOptions::get_validation_callback() const
{
  return validation_callback_;
}

QosOverridingOptions QosOverridingOptions::with_default_policies(
    QosCallback validation_callback, std::string id)
{
  return QosOverridingOptions{
      {QosPolicyKind::History, QosPolicyKind::Depth, QosPolicyKind::Reliability,
       QosPolicyKind::Durability},
      std::move(validation_callback),
      std::move(id)};
}

}  // namespace rclcpp
