// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#ifndef RCLCPP__CREATE_PUBLISHER_HPP_
#define RCLCPP__CREATE_PUBLISHER_HPP_

#include <memory>
#include <string>

#include "rclcpp/detail/node_reference.hpp"
#include "rclcpp/detail/qos_parameters.hpp"
#include "rclcpp/node_interfaces/node_base_interface.hpp"
#include "rclcpp/node_interfaces/node_parameters_interface.hpp"
#include "rclcpp/publisher.hpp"
#include "rclcpp/publisher_options.hpp"
#include "rclcpp/qos.hpp"

namespace rclcpp {
namespace detail {

/// @brief Create a publisher on the node behind @p node_base (QoS overriding parameters are
/// declared on @p node_parameters).
template <typename MessageT, typename AllocatorT, typename PublisherT>
std::shared_ptr<PublisherT> create_publisher_on(
    rclcpp::node_interfaces::NodeBaseInterface & node_base,
    rclcpp::node_interfaces::NodeParametersInterface & node_parameters,
    const std::string & topic_name, const rclcpp::QoS & qos,
    const rclcpp::PublisherOptionsWithAllocator<AllocatorT> & options)
{
  rclcpp::QoS actual_qos = qos;
  if (!options.qos_overriding_options.get_policy_kinds().empty()) {
    actual_qos = declare_qos_parameters(
        options.qos_overriding_options, node_parameters,
        node_base.resolve_topic_or_service_name(topic_name, false), qos, "publisher");
  }
  return std::make_shared<PublisherT>(&node_base, topic_name, actual_qos, options);
}

}  // namespace detail

/// @brief Create a publisher on @p node (a node, node pointer or shared pointer).
/// @throws rclcpp::exceptions::InvalidTopicNameError for a bad topic name.
template <
    typename MessageT, typename AllocatorT = std::allocator<void>,
    typename PublisherT = rclcpp::Publisher<MessageT, AllocatorT>, typename NodeT>
std::shared_ptr<PublisherT> create_publisher(
    NodeT && node, const std::string & topic_name, const rclcpp::QoS & qos,
    const rclcpp::PublisherOptionsWithAllocator<AllocatorT> & options =
        (rclcpp::PublisherOptionsWithAllocator<AllocatorT>()))
{
  auto & node_ref = detail::node_reference(std::forward<NodeT>(node));
  return detail::create_publisher_on<MessageT, AllocatorT, PublisherT>(
      *node_ref.get_node_base_interface(), *node_ref.get_node_parameters_interface(), topic_name,
      qos, options);
}

}  // namespace rclcpp

#endif  // RCLCPP__CREATE_PUBLISHER_HPP_
