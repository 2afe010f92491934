// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#ifndef RCL_NODE_IMPL_HPP_
#define RCL_NODE_IMPL_HPP_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "rcl/node.h"
#include "rclcpp/context.hpp"
#include "rclcpp/detail/host_arguments.hpp"
#include "rclcpp/detail/topic_endpoint.hpp"
#include "rclcpp/node_interfaces/node_base_interface.hpp"

#include "graph.hpp"

/// A node's registration in its context's graph. Shared by the node and all its endpoints,
/// so the node stays listed while any of them lives (as an rcl node handle does).
struct rcl_node_s
{
  rcl_node_s(
      rclcpp::Context::SharedPtr context, std::string name, std::string namespace_,
      std::shared_ptr<const rclcpp::detail::HostArguments> local_arguments,
      std::shared_ptr<const rclcpp::detail::HostArguments> global_arguments);
  ~rcl_node_s();

  rcl_node_s(const rcl_node_s &) = delete;
  rcl_node_s & operator=(const rcl_node_s &) = delete;

  /// @brief Argument lists for name resolution: local first, then global (if used).
  std::vector<const rclcpp::detail::HostArguments *> argument_lists() const;

  const rclcpp::Context::SharedPtr context;
  const std::shared_ptr<rclcpp::detail::Graph> graph;
  const std::string name;
  const std::string namespace_;
  const std::string fully_qualified_name;
  /// `a.b.name` for node `name` in `/a/b`.
  const std::string logger_name;
  const std::shared_ptr<const rclcpp::detail::HostArguments> local_arguments;
  /// Null when the node does not use the global arguments.
  const std::shared_ptr<const rclcpp::detail::HostArguments> global_arguments;
  const uint64_t graph_id;
};

namespace rclcpp {
namespace detail {

/// Whether an endpoint sends or receives (middleware defaults differ).
enum class EndpointRole { Writer, Reader };

/// @brief Identity of a new endpoint of the node behind @p node_base: resolved name, type,
/// the QoS in effect (middleware defaults resolved) and a fresh gid.
/// @throws rclcpp::exceptions::InvalidTopicNameError / InvalidServiceNameError.
EndpointData make_endpoint_data(
    rclcpp::node_interfaces::NodeBaseInterface * node_base, const std::string & name,
    bool is_service, const char * type_name, const std::type_info & type,
    const rmw_qos_profile_t & qos, EndpointRole role);

/// @brief The QoS a middleware applies for the requested one: system defaults resolved
/// (keep-last 1, volatile, reliable writers and best-effort readers), depth 0 means 1.
rmw_qos_profile_t resolve_qos(const rmw_qos_profile_t & requested, EndpointRole role);

}  // namespace detail
}  // namespace rclcpp

#endif  // RCL_NODE_IMPL_HPP_
