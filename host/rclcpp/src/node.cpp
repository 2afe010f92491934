// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#include "rclcpp/node.hpp"

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "rclcpp/detail/host_arguments.hpp"
#include "rclcpp/node_interfaces/node_base.hpp"

#include "node_graph.hpp"
#include "node_time_source.hpp"
#include "rcl_node_impl.hpp"

namespace rclcpp {
namespace {

class NodeLogging : public node_interfaces::NodeLoggingInterface
{
public:
  explicit NodeLogging(const std::string & logger_name) : logger_(rclcpp::get_logger(logger_name))
  {}

  rclcpp::Logger get_logger() const override
  {
    return logger_;
  }

  const char * get_logger_name() const override
  {
    return logger_.get_name();
  }

private:
  rclcpp::Logger logger_;
};

class NodeClock : public node_interfaces::NodeClockInterface
{
public:
  NodeClock() : clock_(std::make_shared<rclcpp::Clock>(RCL_ROS_TIME)) {}

  rclcpp::Clock::SharedPtr get_clock() override
  {
    return clock_;
  }

  rclcpp::Clock::ConstSharedPtr get_clock() const override
  {
    return clock_;
  }

private:
  rclcpp::Clock::SharedPtr clock_;
};

// The node's registration: arguments parsed, context checked, names validated and remapped.
std::shared_ptr<rcl_node_t> make_node_handle(
    const std::string & node_name, const std::string & namespace_, const NodeOptions & options)
{
  auto local_arguments = std::make_shared<const detail::HostArguments>(
      detail::parse_arguments(options.arguments(), "failed to parse arguments"));
  auto context = options.context();
  // Humble fails on the node's guard condition, which is made before the node itself: a
  // context never initialised has no C-layer context at all.
  if (!context || !context->get_global_arguments_internal()) {
    throw exceptions::RCLInvalidArgument(
        exceptions::RCLErrorBase(
            RCL_RET_INVALID_ARGUMENT, "context argument is null", __FILE__, __LINE__),
        "failed to create guard condition: ");
  }
  if (!context->is_valid()) {
    throw exceptions::RCLError(
        exceptions::RCLErrorBase(
            RCL_RET_NOT_INIT,
            "the given context is not valid, either rcl_init() was not called or rcl_shutdown() "
            "was called.",
            __FILE__, __LINE__),
        "failed to create guard condition: ");
  }
  std::shared_ptr<const detail::HostArguments> global_arguments;
  if (options.use_global_arguments()) {
    global_arguments = context->get_global_arguments_internal();
  }
  std::vector<const detail::HostArguments *> lists{local_arguments.get()};
  if (global_arguments) {
    lists.push_back(global_arguments.get());
  }
  const auto identity = detail::resolve_node_identity(node_name, namespace_, lists);
  return std::make_shared<rcl_node_s>(
      context, identity.name, identity.namespace_, std::move(local_arguments),
      std::move(global_arguments));
}

}  // namespace

Node::Node(const std::string & node_name, const NodeOptions & options)
    : Node(node_name, "", options)
{}

Node::Node(
    const std::string & node_name, const std::string & namespace_, const NodeOptions & options)
    : node_options_(options)
{
  auto handle = make_node_handle(node_name, namespace_, options);
  std::vector<const detail::HostArguments *> low_to_high;
  if (handle->global_arguments) {
    low_to_high.push_back(handle->global_arguments.get());
  }
  low_to_high.push_back(handle->local_arguments.get());
  auto overrides = detail::resolve_parameter_overrides(
      handle->fully_qualified_name, low_to_high, options.parameter_overrides());
  const std::string logger_name = handle->logger_name;

  node_base_ = std::make_shared<node_interfaces::NodeBase>(
      options.context(), std::move(handle), options.use_intra_process_comms(),
      options.enable_topic_statistics());
  node_graph_ = std::make_shared<node_interfaces::NodeGraph>(node_base_.get());
  node_logging_ = std::make_shared<NodeLogging>(logger_name);
  node_clock_ = std::make_shared<NodeClock>();
  parameters_ = std::make_shared<detail::ParameterStore>(
      std::move(overrides), options.allow_undeclared_parameters(),
      options.automatically_declare_parameters_from_overrides());
  time_source_ = std::make_unique<detail::NodeTimeSource>(
      node_base_, *parameters_, node_clock_->get_clock(), options.clock_qos(),
      options.use_clock_thread(), node_logging_->get_logger());
  time_source_->attach();
  parameters_->set_on_parameters_changed(
      [time_source = time_source_.get()](const std::vector<rclcpp::Parameter> & parameters) {
        for (const auto & parameter : parameters) {
          time_source->on_parameter(parameter);
        }
      });
}

Node::~Node()
{
  // The store may outlive the node (shared through its interface); stop its observer first.
  parameters_->set_on_parameters_changed(nullptr);
  time_source_.reset();
}

const char * Node::get_name() const
{
  return node_base_->get_name();
}

const char * Node::get_namespace() const
{
  return node_base_->get_namespace();
}

const char * Node::get_fully_qualified_name() const
{
  return node_base_->get_fully_qualified_name();
}

rclcpp::Logger Node::get_logger() const
{
  return node_logging_->get_logger();
}

rclcpp::CallbackGroup::SharedPtr Node::create_callback_group(
    rclcpp::CallbackGroupType group_type, bool automatically_add_to_executor_with_node)
{
  return node_base_->create_callback_group(group_type, automatically_add_to_executor_with_node);
}

void Node::for_each_callback_group(
    const node_interfaces::NodeBaseInterface::CallbackGroupFunction & func)
{
  node_base_->for_each_callback_group(func);
}

rclcpp::CallbackGroup::SharedPtr Node::group_for(
    const char * refusal, rclcpp::CallbackGroup::SharedPtr group)
{
  if (!group) {
    return node_base_->get_default_callback_group();
  }
  if (!node_base_->callback_group_in_node(group)) {
    throw std::runtime_error(refusal);
  }
  return group;
}

const rclcpp::ParameterValue & Node::declare_parameter(
    const std::string & name, const rclcpp::ParameterValue & default_value,
    const rcl_interfaces::msg::ParameterDescriptor & parameter_descriptor, bool ignore_override)
{
  return parameters_->declare_parameter(name, default_value, parameter_descriptor, ignore_override);
}

const rclcpp::ParameterValue & Node::declare_parameter(
    const std::string & name, rclcpp::ParameterType type,
    const rcl_interfaces::msg::ParameterDescriptor & parameter_descriptor, bool ignore_override)
{
  return parameters_->declare_parameter(name, type, parameter_descriptor, ignore_override);
}

void Node::undeclare_parameter(const std::string & name)
{
  parameters_->undeclare_parameter(name);
}

bool Node::has_parameter(const std::string & name) const
{
  return parameters_->has_parameter(name);
}

rcl_interfaces::msg::SetParametersResult Node::set_parameter(const rclcpp::Parameter & parameter)
{
  return parameters_->set_parameter(parameter);
}

std::vector<rcl_interfaces::msg::SetParametersResult> Node::set_parameters(
    const std::vector<rclcpp::Parameter> & parameters)
{
  return parameters_->set_parameters(parameters);
}

rcl_interfaces::msg::SetParametersResult Node::set_parameters_atomically(
    const std::vector<rclcpp::Parameter> & parameters)
{
  return parameters_->set_parameters_atomically(parameters);
}

rclcpp::Parameter Node::get_parameter(const std::string & name) const
{
  return parameters_->get_parameter(name);
}

bool Node::get_parameter(const std::string & name, rclcpp::Parameter & parameter) const
{
  return parameters_->get_parameter(name, parameter);
}

std::vector<rclcpp::Parameter> Node::get_parameters(const std::vector<std::string> & names) const
{
  return parameters_->get_parameters(names);
}

rcl_interfaces::msg::ParameterDescriptor Node::describe_parameter(const std::string & name) const
{
  return parameters_->describe_parameter(name);
}

std::vector<rcl_interfaces::msg::ParameterDescriptor> Node::describe_parameters(
    const std::vector<std::string> & names) const
{
  return parameters_->describe_parameters(names);
}

std::vector<uint8_t> Node::get_parameter_types(const std::vector<std::string> & names) const
{
  return parameters_->get_parameter_types(names);
}

rcl_interfaces::msg::ListParametersResult Node::list_parameters(
    const std::vector<std::string> & prefixes, uint64_t depth) const
{
  return parameters_->list_parameters(prefixes, depth);
}

Node::OnSetParametersCallbackHandle::SharedPtr Node::add_on_set_parameters_callback(
    OnParametersSetCallbackType callback)
{
  return parameters_->add_on_set_parameters_callback(std::move(callback));
}

void Node::remove_on_set_parameters_callback(const OnSetParametersCallbackHandle * const handler)
{
  parameters_->remove_on_set_parameters_callback(handler);
}

std::vector<std::string> Node::get_node_names() const
{
  return node_graph_->get_node_names();
}

std::map<std::string, std::vector<std::string>> Node::get_topic_names_and_types() const
{
  return node_graph_->get_topic_names_and_types();
}

std::map<std::string, std::vector<std::string>> Node::get_service_names_and_types() const
{
  return node_graph_->get_service_names_and_types();
}

std::map<std::string, std::vector<std::string>> Node::get_service_names_and_types_by_node(
    const std::string & node_name, const std::string & namespace_) const
{
  return node_graph_->get_service_names_and_types_by_node(node_name, namespace_);
}

size_t Node::count_publishers(const std::string & topic_name) const
{
  return node_graph_->count_publishers(topic_name);
}

size_t Node::count_subscribers(const std::string & topic_name) const
{
  return node_graph_->count_subscribers(topic_name);
}

std::vector<rclcpp::TopicEndpointInfo> Node::get_publishers_info_by_topic(
    const std::string & topic_name, bool no_mangle) const
{
  return node_graph_->get_publishers_info_by_topic(topic_name, no_mangle);
}

std::vector<rclcpp::TopicEndpointInfo> Node::get_subscriptions_info_by_topic(
    const std::string & topic_name, bool no_mangle) const
{
  return node_graph_->get_subscriptions_info_by_topic(topic_name, no_mangle);
}

rclcpp::Event::SharedPtr Node::get_graph_event()
{
  return node_graph_->get_graph_event();
}

void Node::wait_for_graph_change(rclcpp::Event::SharedPtr event, std::chrono::nanoseconds timeout)
{
  node_graph_->wait_for_graph_change(std::move(event), timeout);
}

rclcpp::Clock::SharedPtr Node::get_clock()
{
  return node_clock_->get_clock();
}

rclcpp::Clock::ConstSharedPtr Node::get_clock() const
{
  return node_clock_->get_clock();
}

Time Node::now() const
{
  return node_clock_->get_clock()->now();
}

rclcpp::node_interfaces::NodeBaseInterface::SharedPtr Node::get_node_base_interface()
{
  return node_base_;
}

rclcpp::node_interfaces::NodeClockInterface::SharedPtr Node::get_node_clock_interface()
{
  return node_clock_;
}

rclcpp::node_interfaces::NodeGraphInterface::SharedPtr Node::get_node_graph_interface()
{
  return node_graph_;
}

rclcpp::node_interfaces::NodeLoggingInterface::SharedPtr Node::get_node_logging_interface()
{
  return node_logging_;
}

rclcpp::node_interfaces::NodeParametersInterface::SharedPtr Node::get_node_parameters_interface()
{
  return parameters_;
}

const rclcpp::NodeOptions & Node::get_node_options() const
{
  return node_options_;
}

}  // namespace rclcpp
