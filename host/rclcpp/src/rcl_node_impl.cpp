// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#include "rcl_node_impl.hpp"

#include <utility>

#include "rclcpp/exceptions.hpp"

namespace {

std::string make_fully_qualified_name(const std::string & name, const std::string & namespace_)
{
  return namespace_ == "/" ? "/" + name : namespace_ + "/" + name;
}

std::string make_logger_name(const std::string & name, const std::string & namespace_)
{
  std::string logger_name;
  for (size_t i = 1; i < namespace_.size(); ++i) {
    logger_name += namespace_[i] == '/' ? '.' : namespace_[i];
  }
  return logger_name.empty() ? name : logger_name + "." + name;
}

}  // namespace

rcl_node_s::rcl_node_s(
    rclcpp::Context::SharedPtr context_in, std::string name_in, std::string namespace_in,
    std::shared_ptr<const rclcpp::detail::HostArguments> local_arguments_in,
    std::shared_ptr<const rclcpp::detail::HostArguments> global_arguments_in)
    : context(std::move(context_in)),
      graph(context->get_graph_internal()),
      name(std::move(name_in)),
      namespace_(std::move(namespace_in)),
      fully_qualified_name(make_fully_qualified_name(name, namespace_)),
      logger_name(make_logger_name(name, namespace_)),
      local_arguments(std::move(local_arguments_in)),
      global_arguments(std::move(global_arguments_in)),
      graph_id(graph->add_node(name, namespace_))
{}

rcl_node_s::~rcl_node_s()
{
  graph->remove_node(graph_id);
}

std::vector<const rclcpp::detail::HostArguments *> rcl_node_s::argument_lists() const
{
  std::vector<const rclcpp::detail::HostArguments *> lists;
  if (local_arguments) {
    lists.push_back(local_arguments.get());
  }
  if (global_arguments) {
    lists.push_back(global_arguments.get());
  }
  return lists;
}

namespace rclcpp {
namespace detail {

rmw_qos_profile_t resolve_qos(const rmw_qos_profile_t & requested, EndpointRole role)
{
  rmw_qos_profile_t qos = requested;
  if (qos.history == RMW_QOS_POLICY_HISTORY_SYSTEM_DEFAULT) {
    qos.history = RMW_QOS_POLICY_HISTORY_KEEP_LAST;
    qos.depth = 1;
  }
  if (qos.history == RMW_QOS_POLICY_HISTORY_KEEP_LAST && qos.depth == 0) {
    qos.depth = 1;
  }
  if (qos.reliability == RMW_QOS_POLICY_RELIABILITY_SYSTEM_DEFAULT) {
    qos.reliability = role == EndpointRole::Writer ? RMW_QOS_POLICY_RELIABILITY_RELIABLE
                                                   : RMW_QOS_POLICY_RELIABILITY_BEST_EFFORT;
  }
  if (qos.durability == RMW_QOS_POLICY_DURABILITY_SYSTEM_DEFAULT) {
    qos.durability = RMW_QOS_POLICY_DURABILITY_VOLATILE;
  }
  if (qos.liveliness == RMW_QOS_POLICY_LIVELINESS_SYSTEM_DEFAULT) {
    qos.liveliness = RMW_QOS_POLICY_LIVELINESS_AUTOMATIC;
  }
  return qos;
}

EndpointData make_endpoint_data(
    rclcpp::node_interfaces::NodeBaseInterface * node_base, const std::string & name,
    bool is_service, const char * type_name, const std::type_info & type,
    const rmw_qos_profile_t & qos, EndpointRole role)
{
  EndpointData endpoint;
  endpoint.node = node_base->get_shared_rcl_node_handle();
  endpoint.name = node_base->resolve_topic_or_service_name(name, is_service);
  endpoint.type_name = type_name;
  endpoint.type = &type;
  endpoint.qos = resolve_qos(qos, role);
  endpoint.gid = endpoint.node->graph->make_gid();
  return endpoint;
}

}  // namespace detail
}  // namespace rclcpp
