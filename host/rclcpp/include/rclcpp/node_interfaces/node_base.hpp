// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#ifndef RCLCPP__NODE_INTERFACES__NODE_BASE_HPP_
#define RCLCPP__NODE_INTERFACES__NODE_BASE_HPP_

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "rclcpp/node_interfaces/node_base_interface.hpp"
#include "rclcpp/visibility_control.hpp"

namespace rclcpp {
namespace node_interfaces {

/// The node core: its graph registration, callback groups and executor association.
/// Thread-safe.
class RCLCPP_PUBLIC NodeBase : public NodeBaseInterface,
                               public std::enable_shared_from_this<NodeBase>
{
public:
  RCLCPP_SMART_PTR_ALIASES_ONLY(NodeBase)

  /// @param node_handle the node's registration in the context's graph.
  NodeBase(
      rclcpp::Context::SharedPtr context, std::shared_ptr<rcl_node_t> node_handle,
      bool use_intra_process_default, bool enable_topic_statistics_default);

  virtual ~NodeBase();

  NodeBase(const NodeBase &) = delete;
  NodeBase & operator=(const NodeBase &) = delete;

  const char * get_name() const override;
  const char * get_namespace() const override;
  const char * get_fully_qualified_name() const override;
  rclcpp::Context::SharedPtr get_context() override;
  rcl_node_t * get_rcl_node_handle() override;
  const rcl_node_t * get_rcl_node_handle() const override;
  std::shared_ptr<rcl_node_t> get_shared_rcl_node_handle() override;
  std::shared_ptr<const rcl_node_t> get_shared_rcl_node_handle() const override;
  rclcpp::CallbackGroup::SharedPtr create_callback_group(
      rclcpp::CallbackGroupType group_type,
      bool automatically_add_to_executor_with_node = true) override;
  rclcpp::CallbackGroup::SharedPtr get_default_callback_group() override;
  bool callback_group_in_node(rclcpp::CallbackGroup::SharedPtr group) override;
  void for_each_callback_group(const CallbackGroupFunction & func) override;
  std::atomic_bool & get_associated_with_executor_atomic() override;
  rclcpp::GuardCondition & get_notify_guard_condition() override;
  bool get_use_intra_process_default() const override;
  bool get_enable_topic_statistics_default() const override;
  std::string resolve_topic_or_service_name(
      const std::string & name, bool is_service, bool only_expand = false) const override;

private:
  rclcpp::Context::SharedPtr context_;
  std::shared_ptr<rcl_node_t> node_handle_;
  bool use_intra_process_default_;
  bool enable_topic_statistics_default_;

  std::mutex callback_groups_mutex_;
  rclcpp::CallbackGroup::SharedPtr default_callback_group_;
  std::vector<rclcpp::CallbackGroup::WeakPtr> callback_groups_;

  std::atomic_bool associated_with_executor_{false};
  rclcpp::GuardCondition notify_guard_condition_;
};

}  // namespace node_interfaces
}  // namespace rclcpp

#endif  // RCLCPP__NODE_INTERFACES__NODE_BASE_HPP_
