// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#ifndef RCLCPP__NODE_INTERFACES__NODE_BASE_INTERFACE_HPP_
#define RCLCPP__NODE_INTERFACES__NODE_BASE_INTERFACE_HPP_

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "rcl/node.h"
#include "rclcpp/callback_group.hpp"
#include "rclcpp/context.hpp"
#include "rclcpp/guard_condition.hpp"
#include "rclcpp/macros.hpp"
#include "rclcpp/visibility_control.hpp"

namespace rclcpp {
namespace node_interfaces {

/// The core of a node: identity, context, callback groups and executor association.
class NodeBaseInterface
{
public:
  RCLCPP_SMART_PTR_ALIASES_ONLY(NodeBaseInterface)

  RCLCPP_PUBLIC
  virtual ~NodeBaseInterface() = default;

  /// @brief The node's (possibly remapped) name.
  virtual const char * get_name() const = 0;

  /// @brief The node's namespace, `/` or `/a/b`.
  virtual const char * get_namespace() const = 0;

  /// @brief `/name` or `/a/b/name`.
  virtual const char * get_fully_qualified_name() const = 0;

  virtual rclcpp::Context::SharedPtr get_context() = 0;

  /// @brief The node's registration handle (kept alive by every entity of the node).
  virtual rcl_node_t * get_rcl_node_handle() = 0;
  virtual const rcl_node_t * get_rcl_node_handle() const = 0;
  virtual std::shared_ptr<rcl_node_t> get_shared_rcl_node_handle() = 0;
  virtual std::shared_ptr<const rcl_node_t> get_shared_rcl_node_handle() const = 0;

  /// @brief A new callback group of this node.
  virtual rclcpp::CallbackGroup::SharedPtr create_callback_group(
      rclcpp::CallbackGroupType group_type,
      bool automatically_add_to_executor_with_node = true) = 0;

  /// @brief The group entities join when none is given.
  virtual rclcpp::CallbackGroup::SharedPtr get_default_callback_group() = 0;

  virtual bool callback_group_in_node(rclcpp::CallbackGroup::SharedPtr group) = 0;

  using CallbackGroupFunction = std::function<void(rclcpp::CallbackGroup::SharedPtr)>;

  /// @brief Call @p func for each live callback group of the node, in creation order.
  virtual void for_each_callback_group(const CallbackGroupFunction & func) = 0;

  /// @brief True while the node belongs to an executor.
  virtual std::atomic_bool & get_associated_with_executor_atomic() = 0;

  /// @brief Triggered when the node's set of callback groups changes.
  virtual rclcpp::GuardCondition & get_notify_guard_condition() = 0;

  virtual bool get_use_intra_process_default() const = 0;

  virtual bool get_enable_topic_statistics_default() const = 0;

  /// @brief Expand (and unless @p only_expand, remap) a topic or service name for this node.
  /// @throws rclcpp::exceptions::InvalidTopicNameError / InvalidServiceNameError.
  virtual std::string resolve_topic_or_service_name(
      const std::string & name, bool is_service, bool only_expand = false) const = 0;
};

}  // namespace node_interfaces
}  // namespace rclcpp

#endif  // RCLCPP__NODE_INTERFACES__NODE_BASE_INTERFACE_HPP_
