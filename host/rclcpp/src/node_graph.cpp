// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#include "node_graph.hpp"

#include "rclcpp/exceptions.hpp"
#include "rclcpp/expand_topic_or_service_name.hpp"

namespace rclcpp {
namespace node_interfaces {

NodeGraph::NodeGraph(NodeBaseInterface * node_base)
    : node_base_(node_base), graph_(node_base->get_context()->get_graph_internal())
{}

std::map<std::string, std::vector<std::string>> NodeGraph::get_topic_names_and_types(
    bool no_demangle) const
{
  (void)no_demangle;
  return graph_->get_topic_names_and_types();
}

std::map<std::string, std::vector<std::string>> NodeGraph::get_service_names_and_types() const
{
  return graph_->get_service_names_and_types();
}

std::map<std::string, std::vector<std::string>> NodeGraph::get_service_names_and_types_by_node(
    const std::string & node_name, const std::string & namespace_) const
{
  return graph_->get_service_names_and_types_by_node(node_name, namespace_);
}

std::vector<std::string> NodeGraph::get_node_names() const
{
  std::vector<std::string> names;
  for (const auto & entry : graph_->get_node_names_and_namespaces()) {
    names.push_back(entry.second == "/" ? "/" + entry.first : entry.second + "/" + entry.first);
  }
  return names;
}

std::vector<std::pair<std::string, std::string>> NodeGraph::get_node_names_and_namespaces() const
{
  return graph_->get_node_names_and_namespaces();
}

std::string NodeGraph::expand(const std::string & topic_name) const
{
  return rclcpp::expand_topic_or_service_name(
      topic_name, node_base_->get_name(), node_base_->get_namespace(), false);
}

std::string NodeGraph::resolve(const std::string & topic_name, bool no_mangle) const
{
  return no_mangle ? topic_name : node_base_->resolve_topic_or_service_name(topic_name, false);
}

size_t NodeGraph::count_publishers(const std::string & topic_name) const
{
  return graph_->count_publishers(expand(topic_name));
}

size_t NodeGraph::count_subscribers(const std::string & topic_name) const
{
  return graph_->count_subscribers(expand(topic_name));
}

rclcpp::Event::SharedPtr NodeGraph::get_graph_event()
{
  auto event = rclcpp::Event::make_shared();
  event->seen_changes_.store(graph_->get_change_count());
  return event;
}

void NodeGraph::wait_for_graph_change(
    rclcpp::Event::SharedPtr event, std::chrono::nanoseconds timeout)
{
  if (!event) {
    throw rclcpp::exceptions::InvalidEventError();
  }
  const uint64_t seen = event->seen_changes_.load();
  const uint64_t now = graph_->wait_for_change(seen, timeout);
  if (now != seen) {
    event->seen_changes_.store(now);
    event->set();
  }
}

std::vector<rclcpp::TopicEndpointInfo> NodeGraph::get_publishers_info_by_topic(
    const std::string & topic_name, bool no_mangle) const
{
  return graph_->get_endpoint_info(resolve(topic_name, no_mangle), true);
}

std::vector<rclcpp::TopicEndpointInfo> NodeGraph::get_subscriptions_info_by_topic(
    const std::string & topic_name, bool no_mangle) const
{
  return graph_->get_endpoint_info(resolve(topic_name, no_mangle), false);
}

}  // namespace node_interfaces
}  // namespace rclcpp
