// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#ifndef RCLCPP__NODE_INTERFACES__NODE_GRAPH_INTERFACE_HPP_
#define RCLCPP__NODE_INTERFACES__NODE_GRAPH_INTERFACE_HPP_

#include <chrono>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "rclcpp/event.hpp"
#include "rclcpp/macros.hpp"
#include "rclcpp/topic_endpoint_info.hpp"
#include "rclcpp/visibility_control.hpp"

namespace rclcpp {
namespace node_interfaces {

/// Graph queries of a node (all nodes of the node's context). Thread-safe.
class NodeGraphInterface
{
public:
  RCLCPP_SMART_PTR_ALIASES_ONLY(NodeGraphInterface)

  RCLCPP_PUBLIC
  virtual ~NodeGraphInterface() = default;

  /// @brief Topic name -> message types ("pkg/msg/Type").
  virtual std::map<std::string, std::vector<std::string>> get_topic_names_and_types(
      bool no_demangle = false) const = 0;

  /// @brief Service name -> service types ("pkg/srv/Type").
  virtual std::map<std::string, std::vector<std::string>> get_service_names_and_types() const = 0;

  /// @brief The services offered by one node.
  virtual std::map<std::string, std::vector<std::string>> get_service_names_and_types_by_node(
      const std::string & node_name, const std::string & namespace_) const = 0;

  /// @brief Fully qualified names of all nodes.
  virtual std::vector<std::string> get_node_names() const = 0;

  /// @brief (name, namespace) of all nodes.
  virtual std::vector<std::pair<std::string, std::string>> get_node_names_and_namespaces()
      const = 0;

  /// @brief Publishers on the topic (name expanded, not remapped), whatever their QoS.
  virtual size_t count_publishers(const std::string & topic_name) const = 0;

  /// @brief Subscriptions on the topic (name expanded, not remapped), whatever their QoS.
  virtual size_t count_subscribers(const std::string & topic_name) const = 0;

  /// @brief An event raised by graph changes, for wait_for_graph_change().
  virtual rclcpp::Event::SharedPtr get_graph_event() = 0;

  /// @brief Wait until the graph changed since the event was last raised, or the timeout.
  /// @throws rclcpp::exceptions::InvalidEventError for a null event.
  virtual void wait_for_graph_change(
      rclcpp::Event::SharedPtr event, std::chrono::nanoseconds timeout) = 0;

  /// @brief Publishers of the topic (expanded and remapped unless no_mangle).
  virtual std::vector<rclcpp::TopicEndpointInfo> get_publishers_info_by_topic(
      const std::string & topic_name, bool no_mangle = false) const = 0;

  /// @brief Subscriptions of the topic (expanded and remapped unless no_mangle).
  virtual std::vector<rclcpp::TopicEndpointInfo> get_subscriptions_info_by_topic(
      const std::string & topic_name, bool no_mangle = false) const = 0;
};

}  // namespace node_interfaces
}  // namespace rclcpp

#endif  // RCLCPP__NODE_INTERFACES__NODE_GRAPH_INTERFACE_HPP_
