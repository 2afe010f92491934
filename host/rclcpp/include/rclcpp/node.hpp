// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#ifndef RCLCPP__NODE_HPP_
#define RCLCPP__NODE_HPP_

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "rcl_interfaces/msg/list_parameters_result.hpp"
#include "rcl_interfaces/msg/parameter_descriptor.hpp"
#include "rcl_interfaces/msg/set_parameters_result.hpp"
#include "rclcpp/callback_group.hpp"
#include "rclcpp/client.hpp"
#include "rclcpp/clock.hpp"
#include "rclcpp/context.hpp"
#include "rclcpp/create_publisher.hpp"
#include "rclcpp/create_subscription.hpp"
#include "rclcpp/detail/parameter_store.hpp"
#include "rclcpp/event.hpp"
#include "rclcpp/exceptions.hpp"
#include "rclcpp/logger.hpp"
#include "rclcpp/macros.hpp"
#include "rclcpp/node_interfaces/node_base_interface.hpp"
#include "rclcpp/node_interfaces/node_clock_interface.hpp"
#include "rclcpp/node_interfaces/node_graph_interface.hpp"
#include "rclcpp/node_interfaces/node_logging_interface.hpp"
#include "rclcpp/node_interfaces/node_parameters_interface.hpp"
#include "rclcpp/node_options.hpp"
#include "rclcpp/parameter.hpp"
#include "rclcpp/publisher.hpp"
#include "rclcpp/qos.hpp"
#include "rclcpp/service.hpp"
#include "rclcpp/subscription.hpp"
#include "rclcpp/time.hpp"
#include "rclcpp/timer.hpp"
#include "rclcpp/topic_endpoint_info.hpp"
#include "rclcpp/visibility_control.hpp"
#include "rmw/qos_profiles.h"

namespace rclcpp {

namespace detail {
class NodeTimeSource;
}

/// A ROS node: a named member of its context's graph that owns publishers, subscriptions,
/// timers, services, clients and parameters. Creating entities, parameter access and graph
/// queries are thread-safe. Callbacks of its entities run on the executor the node (or the
/// entity's callback group) was added to.
class Node : public std::enable_shared_from_this<Node>
{
public:
  RCLCPP_SMART_PTR_DEFINITIONS(Node)

  using OnSetParametersCallbackHandle = rclcpp::node_interfaces::OnSetParametersCallbackHandle;
  using OnParametersSetCallbackType =
      rclcpp::node_interfaces::NodeParametersInterface::OnParametersSetCallbackType;

  /// @brief A node in the root namespace (or the one remapping gives it).
  /// @throws rclcpp::exceptions::RCLError if the context is not initialised;
  ///   InvalidNodeNameError / InvalidNamespaceError for bad names;
  ///   UnknownROSArgsError / RCLInvalidROSArgsError for bad NodeOptions::arguments;
  ///   parameter exceptions for a use_sim_time override that is not a bool.
  RCLCPP_PUBLIC
  explicit Node(const std::string & node_name, const NodeOptions & options = NodeOptions());

  /// @brief A node in @p namespace_ (`""` and relative namespaces are made absolute).
  RCLCPP_PUBLIC
  explicit Node(
      const std::string & node_name, const std::string & namespace_,
      const NodeOptions & options = NodeOptions());

  RCLCPP_PUBLIC
  virtual ~Node();

  Node(const Node &) = delete;
  Node & operator=(const Node &) = delete;

  /// @brief The node's (possibly remapped) name.
  RCLCPP_PUBLIC
  const char * get_name() const;

  /// @brief `/` or `/a/b`.
  RCLCPP_PUBLIC
  const char * get_namespace() const;

  /// @brief `/name` or `/a/b/name`.
  RCLCPP_PUBLIC
  const char * get_fully_qualified_name() const;

  /// @brief Logger `a.b.name` for a node `name` in `/a/b`.
  RCLCPP_PUBLIC
  rclcpp::Logger get_logger() const;

  /// @brief A new callback group of this node.
  RCLCPP_PUBLIC
  rclcpp::CallbackGroup::SharedPtr create_callback_group(
      rclcpp::CallbackGroupType group_type, bool automatically_add_to_executor_with_node = true);

  RCLCPP_PUBLIC
  void for_each_callback_group(
      const node_interfaces::NodeBaseInterface::CallbackGroupFunction & func);

  /// @brief Create a publisher; @p qos may be an integer (keep-last depth).
  /// @throws rclcpp::exceptions::InvalidTopicNameError for a bad topic name.
  template <
      typename MessageT, typename AllocatorT = std::allocator<void>,
      typename PublisherT = rclcpp::Publisher<MessageT, AllocatorT>>
  std::shared_ptr<PublisherT> create_publisher(
      const std::string & topic_name, const rclcpp::QoS & qos,
      const PublisherOptionsWithAllocator<AllocatorT> & options =
          PublisherOptionsWithAllocator<AllocatorT>())
  {
    return rclcpp::create_publisher<MessageT, AllocatorT, PublisherT>(
        *this, topic_name, qos, options);
  }

  /// @brief Create a subscription; see AnySubscriptionCallback for the callback forms.
  /// @throws rclcpp::exceptions::InvalidTopicNameError for a bad topic name;
  ///   std::runtime_error if the options' group is not this node's.
  template <
      typename MessageT, typename CallbackT, typename AllocatorT = std::allocator<void>,
      typename SubscriptionT = rclcpp::Subscription<MessageT, AllocatorT>,
      typename MessageMemoryStrategyT = typename SubscriptionT::MessageMemoryStrategyType>
  std::shared_ptr<SubscriptionT> create_subscription(
      const std::string & topic_name, const rclcpp::QoS & qos, CallbackT && callback,
      const SubscriptionOptionsWithAllocator<AllocatorT> & options =
          SubscriptionOptionsWithAllocator<AllocatorT>(),
      typename MessageMemoryStrategyT::SharedPtr msg_mem_strat =
          (MessageMemoryStrategyT::create_default()))
  {
    return rclcpp::create_subscription<
        MessageT, CallbackT, AllocatorT, SubscriptionT, MessageMemoryStrategyT>(
        *this, topic_name, qos, std::forward<CallbackT>(callback), options, msg_mem_strat);
  }

  /// @brief Create a timer on the steady clock; the callback takes `()` or
  /// `(rclcpp::TimerBase &)`.
  /// @throws std::invalid_argument `timer period cannot be negative`.
  template <typename DurationRepT = int64_t, typename DurationT = std::milli, typename CallbackT>
  typename rclcpp::WallTimer<CallbackT>::SharedPtr create_wall_timer(
      std::chrono::duration<DurationRepT, DurationT> period, CallbackT callback,
      rclcpp::CallbackGroup::SharedPtr group = nullptr)
  {
    if (period < std::chrono::duration<DurationRepT, DurationT>::zero()) {
      throw std::invalid_argument{"timer period cannot be negative"};
    }
    if (std::chrono::duration_cast<std::chrono::duration<long double, std::nano>>(period) >
        std::chrono::duration<long double, std::nano>(std::chrono::nanoseconds::max().count())) {
      throw std::invalid_argument{"timer period must be less than std::chrono::nanoseconds::max()"};
    }
    group = group_for("Cannot create timer, group not in node.", group);
    auto timer = std::make_shared<rclcpp::WallTimer<CallbackT>>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(period), std::move(callback),
        get_node_base_interface()->get_context());
    timer->set_executable_group(group);
    group->add_entity(timer);
    return timer;
  }

  /// @brief Create a client; responses complete on the executor spinning @p group (default:
  /// the node's default group).
  /// @throws rclcpp::exceptions::InvalidServiceNameError for a bad name.
  template <typename ServiceT>
  typename rclcpp::Client<ServiceT>::SharedPtr create_client(
      const std::string & service_name,
      const rmw_qos_profile_t & qos_profile = rmw_qos_profile_services_default,
      rclcpp::CallbackGroup::SharedPtr group = nullptr)
  {
    group = group_for("Cannot create client, group not in node.", group);
    auto client = std::make_shared<rclcpp::Client<ServiceT>>(
        get_node_base_interface().get(), get_node_graph_interface(), service_name, qos_profile,
        group);
    group->add_entity(client);
    return client;
  }

  /// @brief Create a service; requests are served on the executor spinning @p group.
  /// @throws rclcpp::exceptions::InvalidServiceNameError for a bad name;
  ///   std::invalid_argument for a null callback.
  template <typename ServiceT, typename CallbackT>
  typename rclcpp::Service<ServiceT>::SharedPtr create_service(
      const std::string & service_name, CallbackT && callback,
      const rmw_qos_profile_t & qos_profile = rmw_qos_profile_services_default,
      rclcpp::CallbackGroup::SharedPtr group = nullptr)
  {
    rclcpp::AnyServiceCallback<ServiceT> any_service_callback;
    any_service_callback.set(std::forward<CallbackT>(callback));
    group = group_for("Cannot create service, group not in node.", group);
    auto service = std::make_shared<rclcpp::Service<ServiceT>>(
        get_node_base_interface().get(), service_name, std::move(any_service_callback), qos_profile,
        group);
    group->add_entity(service);
    return service;
  }

  // ---- parameters (see rclcpp::detail::ParameterStore for behaviour and exceptions) ----

  RCLCPP_PUBLIC
  const rclcpp::ParameterValue & declare_parameter(
      const std::string & name, const rclcpp::ParameterValue & default_value,
      const rcl_interfaces::msg::ParameterDescriptor & parameter_descriptor =
          rcl_interfaces::msg::ParameterDescriptor(),
      bool ignore_override = false);

  RCLCPP_PUBLIC
  const rclcpp::ParameterValue & declare_parameter(
      const std::string & name, rclcpp::ParameterType type,
      const rcl_interfaces::msg::ParameterDescriptor & parameter_descriptor =
          rcl_interfaces::msg::ParameterDescriptor{},
      bool ignore_override = false);

  template <typename ParameterT>
  auto declare_parameter(
      const std::string & name, const ParameterT & default_value,
      const rcl_interfaces::msg::ParameterDescriptor & parameter_descriptor =
          rcl_interfaces::msg::ParameterDescriptor(),
      bool ignore_override = false)
  {
    return parameters_->declare_parameter(
        name, default_value, parameter_descriptor, ignore_override);
  }

  template <typename ParameterT>
  auto declare_parameter(
      const std::string & name,
      const rcl_interfaces::msg::ParameterDescriptor & parameter_descriptor =
          rcl_interfaces::msg::ParameterDescriptor(),
      bool ignore_override = false)
  {
    return parameters_->template declare_parameter<ParameterT>(
        name, parameter_descriptor, ignore_override);
  }

  template <typename ParameterT>
  std::vector<ParameterT> declare_parameters(
      const std::string & namespace_, const std::map<std::string, ParameterT> & parameters,
      bool ignore_overrides = false)
  {
    return parameters_->declare_parameters(namespace_, parameters, ignore_overrides);
  }

  template <typename ParameterT>
  std::vector<ParameterT> declare_parameters(
      const std::string & namespace_,
      const std::map<std::string, std::pair<ParameterT, rcl_interfaces::msg::ParameterDescriptor>> &
          parameters,
      bool ignore_overrides = false)
  {
    return parameters_->declare_parameters(namespace_, parameters, ignore_overrides);
  }

  RCLCPP_PUBLIC
  void undeclare_parameter(const std::string & name);

  RCLCPP_PUBLIC
  bool has_parameter(const std::string & name) const;

  RCLCPP_PUBLIC
  rcl_interfaces::msg::SetParametersResult set_parameter(const rclcpp::Parameter & parameter);

  RCLCPP_PUBLIC
  std::vector<rcl_interfaces::msg::SetParametersResult> set_parameters(
      const std::vector<rclcpp::Parameter> & parameters);

  RCLCPP_PUBLIC
  rcl_interfaces::msg::SetParametersResult set_parameters_atomically(
      const std::vector<rclcpp::Parameter> & parameters);

  RCLCPP_PUBLIC
  rclcpp::Parameter get_parameter(const std::string & name) const;

  RCLCPP_PUBLIC
  bool get_parameter(const std::string & name, rclcpp::Parameter & parameter) const;

  template <typename ParameterT>
  bool get_parameter(const std::string & name, ParameterT & parameter) const
  {
    return parameters_->get_parameter(name, parameter);
  }

  template <typename ParameterT>
  bool get_parameter_or(
      const std::string & name, ParameterT & parameter, const ParameterT & alternative_value) const
  {
    return parameters_->get_parameter_or(name, parameter, alternative_value);
  }

  template <typename ParameterT>
  ParameterT get_parameter_or(const std::string & name, const ParameterT & alternative_value) const
  {
    return parameters_->get_parameter_or(name, alternative_value);
  }

  RCLCPP_PUBLIC
  std::vector<rclcpp::Parameter> get_parameters(const std::vector<std::string> & names) const;

  template <typename ParameterT>
  bool get_parameters(const std::string & prefix, std::map<std::string, ParameterT> & values) const
  {
    return parameters_->get_parameters(prefix, values);
  }

  RCLCPP_PUBLIC
  rcl_interfaces::msg::ParameterDescriptor describe_parameter(const std::string & name) const;

  RCLCPP_PUBLIC
  std::vector<rcl_interfaces::msg::ParameterDescriptor> describe_parameters(
      const std::vector<std::string> & names) const;

  RCLCPP_PUBLIC
  std::vector<uint8_t> get_parameter_types(const std::vector<std::string> & names) const;

  RCLCPP_PUBLIC
  rcl_interfaces::msg::ListParametersResult list_parameters(
      const std::vector<std::string> & prefixes, uint64_t depth) const;

  [[nodiscard]] RCLCPP_PUBLIC OnSetParametersCallbackHandle::SharedPtr
  add_on_set_parameters_callback(OnParametersSetCallbackType callback);

  RCLCPP_PUBLIC
  void remove_on_set_parameters_callback(const OnSetParametersCallbackHandle * const handler);

  // ---- graph ----

  /// @brief Fully qualified names of all nodes of the context.
  RCLCPP_PUBLIC
  std::vector<std::string> get_node_names() const;

  RCLCPP_PUBLIC
  std::map<std::string, std::vector<std::string>> get_topic_names_and_types() const;

  RCLCPP_PUBLIC
  std::map<std::string, std::vector<std::string>> get_service_names_and_types() const;

  RCLCPP_PUBLIC
  std::map<std::string, std::vector<std::string>> get_service_names_and_types_by_node(
      const std::string & node_name, const std::string & namespace_) const;

  /// @brief Publishers of the topic (name expanded, not remapped), any QoS.
  RCLCPP_PUBLIC
  size_t count_publishers(const std::string & topic_name) const;

  /// @brief Subscriptions of the topic (name expanded, not remapped), any QoS.
  RCLCPP_PUBLIC
  size_t count_subscribers(const std::string & topic_name) const;

  /// @brief Publishers of the topic (expanded and remapped unless no_mangle).
  RCLCPP_PUBLIC
  std::vector<rclcpp::TopicEndpointInfo> get_publishers_info_by_topic(
      const std::string & topic_name, bool no_mangle = false) const;

  /// @brief Subscriptions of the topic (expanded and remapped unless no_mangle).
  RCLCPP_PUBLIC
  std::vector<rclcpp::TopicEndpointInfo> get_subscriptions_info_by_topic(
      const std::string & topic_name, bool no_mangle = false) const;

  RCLCPP_PUBLIC
  rclcpp::Event::SharedPtr get_graph_event();

  RCLCPP_PUBLIC
  void wait_for_graph_change(rclcpp::Event::SharedPtr event, std::chrono::nanoseconds timeout);

  // ---- time ----

  /// @brief The node's RCL_ROS_TIME clock.
  RCLCPP_PUBLIC
  rclcpp::Clock::SharedPtr get_clock();

  RCLCPP_PUBLIC
  rclcpp::Clock::ConstSharedPtr get_clock() const;

  /// @brief get_clock()->now().
  RCLCPP_PUBLIC
  Time now() const;

  // ---- interfaces ----

  RCLCPP_PUBLIC
  rclcpp::node_interfaces::NodeBaseInterface::SharedPtr get_node_base_interface();

  RCLCPP_PUBLIC
  rclcpp::node_interfaces::NodeClockInterface::SharedPtr get_node_clock_interface();

  RCLCPP_PUBLIC
  rclcpp::node_interfaces::NodeGraphInterface::SharedPtr get_node_graph_interface();

  RCLCPP_PUBLIC
  rclcpp::node_interfaces::NodeLoggingInterface::SharedPtr get_node_logging_interface();

  RCLCPP_PUBLIC
  rclcpp::node_interfaces::NodeParametersInterface::SharedPtr get_node_parameters_interface();

  /// @brief The options the node was created with.
  RCLCPP_PUBLIC
  const rclcpp::NodeOptions & get_node_options() const;

private:
  /// @brief @p group if it is this node's, else the default group when null.
  /// @throws std::runtime_error with @p refusal for a foreign group, as Humble does.
  RCLCPP_PUBLIC
  rclcpp::CallbackGroup::SharedPtr group_for(
      const char * refusal, rclcpp::CallbackGroup::SharedPtr group);

  rclcpp::NodeOptions node_options_;
  rclcpp::node_interfaces::NodeBaseInterface::SharedPtr node_base_;
  rclcpp::node_interfaces::NodeGraphInterface::SharedPtr node_graph_;
  rclcpp::node_interfaces::NodeLoggingInterface::SharedPtr node_logging_;
  rclcpp::node_interfaces::NodeClockInterface::SharedPtr node_clock_;
  std::shared_ptr<rclcpp::detail::ParameterStore> parameters_;
  std::unique_ptr<rclcpp::detail::NodeTimeSource> time_source_;
};

}  // namespace rclcpp

#endif  // RCLCPP__NODE_HPP_
