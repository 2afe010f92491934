// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#ifndef NAV2_UTIL__NODE_THREAD_HPP_
#define NAV2_UTIL__NODE_THREAD_HPP_

#include <memory>
#include <thread>

#include "rclcpp/rclcpp.hpp"

namespace nav2_util {

/// A thread that spins a node (on its own SingleThreadedExecutor) or a given executor for the
/// lifetime of this object. The destructor cancels the executor and joins the thread.
///
/// As in Nav2, exceptions thrown on the thread (for example a node that already belongs to
/// an executor) are not caught and end the process.
class NodeThread
{
public:
  /// @brief Spin @p node_base on a new SingleThreadedExecutor (global context) in a new
  /// thread; the thread adds the node, spins, then removes it.
  explicit NodeThread(rclcpp::node_interfaces::NodeBaseInterface::SharedPtr node_base);

  /// @brief Run `executor->spin()` in a new thread.
  explicit NodeThread(rclcpp::executors::SingleThreadedExecutor::SharedPtr executor);

  /// @brief Spin `node->get_node_base_interface()` (shared or raw node pointer).
  template <typename NodeT>
  explicit NodeThread(NodeT node) : NodeThread(node->get_node_base_interface())
  {}

  /// @brief Cancel the executor, then join the thread. Safe right after construction: the
  /// executor keeps a cancel that arrives before its spin() starts.
  ~NodeThread();

  NodeThread(const NodeThread &) = delete;
  NodeThread & operator=(const NodeThread &) = delete;

protected:
  rclcpp::node_interfaces::NodeBaseInterface::SharedPtr node_;
  std::unique_ptr<std::thread> thread_;
  rclcpp::Executor::SharedPtr executor_;
};

}  // namespace nav2_util

#endif  // NAV2_UTIL__NODE_THREAD_HPP_
