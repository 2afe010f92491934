// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#ifndef RCLCPP__CREATE_SUBSCRIPTION_HPP_
#define RCLCPP__CREATE_SUBSCRIPTION_HPP_

#include <memory>
#include <string>
#include <utility>

#include "rclcpp/any_subscription_callback.hpp"
#include "rclcpp/detail/node_reference.hpp"
#include "rclcpp/detail/qos_parameters.hpp"
#include "rclcpp/exceptions.hpp"
#include "rclcpp/node_interfaces/node_base_interface.hpp"
#include "rclcpp/node_interfaces/node_parameters_interface.hpp"
#include "rclcpp/qos.hpp"
#include "rclcpp/subscription.hpp"
#include "rclcpp/subscription_options.hpp"

namespace rclcpp {
namespace detail {

/// @brief Create a subscription on the node behind @p node_base, in the options' callback
/// group (or the node's default group).
/// @throws std::runtime_error if the group is not the node's.
template <typename MessageT, typename CallbackT, typename AllocatorT, typename SubscriptionT>
std::shared_ptr<SubscriptionT> create_subscription_on(
    rclcpp::node_interfaces::NodeBaseInterface & node_base,
    rclcpp::node_interfaces::NodeParametersInterface & node_parameters,
    const std::string & topic_name, const rclcpp::QoS & qos, CallbackT && callback,
    const rclcpp::SubscriptionOptionsWithAllocator<AllocatorT> & options)
{
  auto group = options.callback_group;
  if (group) {
    if (!node_base.callback_group_in_node(group)) {
      throw std::runtime_error("Cannot create subscription, callback group not in node.");
    }
  } else {
    group = node_base.get_default_callback_group();
  }
  rclcpp::QoS actual_qos = qos;
  if (!options.qos_overriding_options.get_policy_kinds().empty()) {
    actual_qos = declare_qos_parameters(
        options.qos_overriding_options, node_parameters,
        node_base.resolve_topic_or_service_name(topic_name, false), qos, "subscription");
  }
  AnySubscriptionCallback<MessageT, AllocatorT> any_subscription_callback;
  any_subscription_callback.set(std::forward<CallbackT>(callback));
  auto subscription = std::make_shared<SubscriptionT>(
      &node_base, topic_name, actual_qos, std::move(any_subscription_callback), options, group);
  group->add_entity(subscription);
  return subscription;
}

}  // namespace detail

/// @brief Create a subscription on @p node (a node, node pointer or shared pointer, taken by
/// lvalue reference as Humble does).
/// @throws rclcpp::exceptions::InvalidTopicNameError for a bad topic name.
template <
    typename MessageT, typename CallbackT, typename AllocatorT = std::allocator<void>,
    typename SubscriptionT = rclcpp::Subscription<MessageT, AllocatorT>,
    typename MessageMemoryStrategyT = typename SubscriptionT::MessageMemoryStrategyType,
    typename NodeT>
typename std::shared_ptr<SubscriptionT> create_subscription(
    NodeT & node, const std::string & topic_name, const rclcpp::QoS & qos, CallbackT && callback,
    const rclcpp::SubscriptionOptionsWithAllocator<AllocatorT> & options =
        (rclcpp::SubscriptionOptionsWithAllocator<AllocatorT>()),
    typename MessageMemoryStrategyT::SharedPtr msg_mem_strat =
        (MessageMemoryStrategyT::create_default()))
{
  (void)msg_mem_strat;
  auto & node_ref = detail::node_reference(node);
  return detail::create_subscription_on<MessageT, CallbackT, AllocatorT, SubscriptionT>(
      *node_ref.get_node_base_interface(), *node_ref.get_node_parameters_interface(), topic_name,
      qos, std::forward<CallbackT>(callback), options);
}

}  // namespace rclcpp

#endif  // RCLCPP__CREATE_SUBSCRIPTION_HPP_
