// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#ifndef RCLCPP__DETAIL__TOPIC_ENDPOINT_HPP_
#define RCLCPP__DETAIL__TOPIC_ENDPOINT_HPP_

#include <memory>
#include <string>
#include <typeinfo>

#include "rcl/node.h"
#include "rmw/types.h"

namespace rclcpp {
namespace detail {

/// What the in-process graph knows about a publisher, subscription, service or client.
/// Set once at creation, then only read.
struct EndpointData
{
  /// The owning node's registration; keeps the node listed in the graph while the endpoint
  /// lives.
  std::shared_ptr<rcl_node_t> node;
  /// Fully expanded and remapped topic or service name.
  std::string name;
  /// "pkg/msg/Type" or "pkg/srv/Type".
  std::string type_name;
  /// The C++ type carried, so only identical types are connected.
  const std::type_info * type = nullptr;
  /// The QoS in effect (middleware defaults resolved).
  rmw_qos_profile_t qos{};
  rmw_gid_t gid{};
};

}  // namespace detail
}  // namespace rclcpp

#endif  // RCLCPP__DETAIL__TOPIC_ENDPOINT_HPP_
