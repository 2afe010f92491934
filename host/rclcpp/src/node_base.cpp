// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#include "rclcpp/node_interfaces/node_base.hpp"

#include <algorithm>
#include <utility>

#include "rclcpp/detail/host_arguments.hpp"
#include "rclcpp/expand_topic_or_service_name.hpp"

#include "rcl_node_impl.hpp"

namespace rclcpp {
namespace node_interfaces {

NodeBase::NodeBase(
    rclcpp::Context::SharedPtr context, std::shared_ptr<rcl_node_t> node_handle,
    bool use_intra_process_default, bool enable_topic_statistics_default)
    : context_(std::move(context)),
      node_handle_(std::move(node_handle)),
      use_intra_process_default_(use_intra_process_default),
      enable_topic_statistics_default_(enable_topic_statistics_default),
      notify_guard_condition_(context_)
{
  default_callback_group_ =
      std::make_shared<rclcpp::CallbackGroup>(rclcpp::CallbackGroupType::MutuallyExclusive);
  callback_groups_.push_back(default_callback_group_);
}

NodeBase::~NodeBase() = default;

const char * NodeBase::get_name() const
{
  return node_handle_->name.c_str();
}

const char * NodeBase::get_namespace() const
{
  return node_handle_->namespace_.c_str();
}

const char * NodeBase::get_fully_qualified_name() const
{
  return node_handle_->fully_qualified_name.c_str();
}

rclcpp::Context::SharedPtr NodeBase::get_context()
{
  return context_;
}

rcl_node_t * NodeBase::get_rcl_node_handle()
{
  return node_handle_.get();
}

const rcl_node_t * NodeBase::get_rcl_node_handle() const
{
  return node_handle_.get();
}

std::shared_ptr<rcl_node_t> NodeBase::get_shared_rcl_node_handle()
{
  return node_handle_;
}

std::shared_ptr<const rcl_node_t> NodeBase::get_shared_rcl_node_handle() const
{
  return node_handle_;
}

rclcpp::CallbackGroup::SharedPtr NodeBase::create_callback_group(
    rclcpp::CallbackGroupType group_type, bool automatically_add_to_executor_with_node)
{
  auto group =
      std::make_shared<rclcpp::CallbackGroup>(group_type, automatically_add_to_executor_with_node);
  {
    std::lock_guard<std::mutex> lock(callback_groups_mutex_);
    callback_groups_.push_back(group);
  }
  // An executor holding this node picks the new group up.
  notify_guard_condition_.trigger();
  return group;
}

rclcpp::CallbackGroup::SharedPtr NodeBase::get_default_callback_group()
{
  return default_callback_group_;
}

bool NodeBase::callback_group_in_node(rclcpp::CallbackGroup::SharedPtr group)
{
  std::lock_guard<std::mutex> lock(callback_groups_mutex_);
  return std::any_of(
      callback_groups_.begin(), callback_groups_.end(),
      [&group](const rclcpp::CallbackGroup::WeakPtr & weak) { return weak.lock() == group; });
}

void NodeBase::for_each_callback_group(const CallbackGroupFunction & func)
{
  std::vector<rclcpp::CallbackGroup::SharedPtr> groups;
  {
    std::lock_guard<std::mutex> lock(callback_groups_mutex_);
    callback_groups_.erase(
        std::remove_if(
            callback_groups_.begin(), callback_groups_.end(),
            [](const rclcpp::CallbackGroup::WeakPtr & weak) { return weak.expired(); }),
        callback_groups_.end());
    for (const auto & weak : callback_groups_) {
      if (auto group = weak.lock()) {
        groups.push_back(std::move(group));
      }
    }
  }
  for (const auto & group : groups) {
    func(group);
  }
}

std::atomic_bool & NodeBase::get_associated_with_executor_atomic()
{
  return associated_with_executor_;
}

rclcpp::GuardCondition & NodeBase::get_notify_guard_condition()
{
  return notify_guard_condition_;
}

bool NodeBase::get_use_intra_process_default() const
{
  return use_intra_process_default_;
}

bool NodeBase::get_enable_topic_statistics_default() const
{
  return enable_topic_statistics_default_;
}

std::string NodeBase::resolve_topic_or_service_name(
    const std::string & name, bool is_service, bool only_expand) const
{
  if (only_expand) {
    return rclcpp::expand_topic_or_service_name(
        name, node_handle_->name, node_handle_->namespace_, is_service);
  }
  return rclcpp::detail::resolve_topic_or_service_name(
      name, node_handle_->name, node_handle_->namespace_, is_service,
      node_handle_->argument_lists());
}

}  // namespace node_interfaces
}  // namespace rclcpp
