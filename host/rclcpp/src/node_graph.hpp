// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#ifndef NODE_GRAPH_HPP_
#define NODE_GRAPH_HPP_

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "rclcpp/node_interfaces/node_base_interface.hpp"
#include "rclcpp/node_interfaces/node_graph_interface.hpp"

#include "graph.hpp"

namespace rclcpp {
namespace node_interfaces {

/// Graph queries of one node over its context's in-process graph.
class NodeGraph : public NodeGraphInterface
{
public:
  explicit NodeGraph(NodeBaseInterface * node_base);

  std::map<std::string, std::vector<std::string>> get_topic_names_and_types(
      bool no_demangle = false) const override;
  std::map<std::string, std::vector<std::string>> get_service_names_and_types() const override;
  std::map<std::string, std::vector<std::string>> get_service_names_and_types_by_node(
      const std::string & node_name, const std::string & namespace_) const override;
  std::vector<std::string> get_node_names() const override;
  std::vector<std::pair<std::string, std::string>> get_node_names_and_namespaces() const override;
  size_t count_publishers(const std::string & topic_name) const override;
  size_t count_subscribers(const std::string & topic_name) const override;
  rclcpp::Event::SharedPtr get_graph_event() override;
  void wait_for_graph_change(
      rclcpp::Event::SharedPtr event, std::chrono::nanoseconds timeout) override;
  std::vector<rclcpp::TopicEndpointInfo> get_publishers_info_by_topic(
      const std::string & topic_name, bool no_mangle = false) const override;
  std::vector<rclcpp::TopicEndpointInfo> get_subscriptions_info_by_topic(
      const std::string & topic_name, bool no_mangle = false) const override;

private:
  std::string expand(const std::string & topic_name) const;
  std::string resolve(const std::string & topic_name, bool no_mangle) const;

  // The node owns this object, so the base outlives it.
  NodeBaseInterface * node_base_;
  std::shared_ptr<detail::Graph> graph_;
};

}  // namespace node_interfaces
}  // namespace rclcpp

#endif  // NODE_GRAPH_HPP_
