// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#ifndef RCLCPP__EXECUTOR_HPP_
#define RCLCPP__EXECUTOR_HPP_

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <vector>

#include "rclcpp/callback_group.hpp"
#include "rclcpp/context.hpp"
#include "rclcpp/detail/executable_entity.hpp"
#include "rclcpp/executor_options.hpp"
#include "rclcpp/future_return_code.hpp"
#include "rclcpp/macros.hpp"
#include "rclcpp/node_interfaces/node_base_interface.hpp"
#include "rclcpp/utilities.hpp"
#include "rclcpp/visibility_control.hpp"

namespace rclcpp {

class Node;

/// Runs the callbacks of the nodes and callback groups added to it, on the thread that calls
/// a spin function. A node or group belongs to at most one executor.
///
/// Within one wait, ready work runs in the order timers, subscriptions, services, clients.
/// add/remove, cancel() and is_spinning() are thread-safe; one spin function at a time.
///
/// Unlike Humble's executor, a cancel() issued while the executor is not spinning is kept:
/// the next spin() returns at once (spin_some/spin_all/spin_once/spin_until_future_complete
/// discard it), so "start a spinning thread, then cancel and join" never hangs.
class RCLCPP_PUBLIC Executor
{
public:
  RCLCPP_SMART_PTR_DEFINITIONS_NOT_COPYABLE(Executor)

  explicit Executor(const rclcpp::ExecutorOptions & options = rclcpp::ExecutorOptions());

  /// @brief Releases every node and group it holds (they may join another executor).
  virtual ~Executor();

  Executor(const Executor &) = delete;
  Executor & operator=(const Executor &) = delete;

  /// @brief Run callbacks until cancel() or shutdown.
  /// @throws std::runtime_error `spin() called while already spinning`.
  virtual void spin() = 0;

  /// @brief Add a callback group of @p node_ptr.
  /// @throws std::runtime_error `Callback group has already been added to an executor.`
  virtual void add_callback_group(
      rclcpp::CallbackGroup::SharedPtr group_ptr,
      rclcpp::node_interfaces::NodeBaseInterface::SharedPtr node_ptr, bool notify = true);

  /// @brief Remove a group added with add_callback_group().
  /// @throws std::runtime_error if this executor does not hold it.
  virtual void remove_callback_group(
      rclcpp::CallbackGroup::SharedPtr group_ptr, bool notify = true);

  /// @brief All groups this executor runs (added manually or through nodes).
  virtual std::vector<rclcpp::CallbackGroup::WeakPtr> get_all_callback_groups();

  virtual std::vector<rclcpp::CallbackGroup::WeakPtr> get_manually_added_callback_groups();

  virtual std::vector<rclcpp::CallbackGroup::WeakPtr>
  get_automatically_added_callback_groups_from_nodes();

  /// @brief Add a node: all its groups made with automatically_add_to_executor_with_node,
  /// now and later.
  /// @throws std::runtime_error `Node '<fqn>' has already been added to an executor.`
  virtual void add_node(
      rclcpp::node_interfaces::NodeBaseInterface::SharedPtr node_ptr, bool notify = true);

  virtual void add_node(std::shared_ptr<rclcpp::Node> node_ptr, bool notify = true);

  /// @brief Remove a node and its groups.
  /// @throws std::runtime_error `Node needs to be associated with an executor.` /
  ///   `Node needs to be associated with this executor.`
  virtual void remove_node(
      rclcpp::node_interfaces::NodeBaseInterface::SharedPtr node_ptr, bool notify = true);

  virtual void remove_node(std::shared_ptr<rclcpp::Node> node_ptr, bool notify = true);

  /// @brief Add @p node, run at most one ready callback (waiting up to @p timeout), remove.
  template <typename RepT = int64_t, typename T = std::milli>
  void spin_node_once(
      rclcpp::node_interfaces::NodeBaseInterface::SharedPtr node,
      std::chrono::duration<RepT, T> timeout = std::chrono::duration<RepT, T>(-1))
  {
    return spin_node_once_nanoseconds(
        node, std::chrono::duration_cast<std::chrono::nanoseconds>(timeout));
  }

  template <typename NodeT = rclcpp::Node, typename RepT = int64_t, typename T = std::milli>
  void spin_node_once(
      std::shared_ptr<NodeT> node,
      std::chrono::duration<RepT, T> timeout = std::chrono::duration<RepT, T>(-1))
  {
    return spin_node_once_nanoseconds(
        node->get_node_base_interface(),
        std::chrono::duration_cast<std::chrono::nanoseconds>(timeout));
  }

  /// @brief Add @p node, spin_some(), remove it.
  void spin_node_some(rclcpp::node_interfaces::NodeBaseInterface::SharedPtr node);

  void spin_node_some(std::shared_ptr<rclcpp::Node> node);

  /// @brief Run once each callback that is ready now (one wait); 0 = no time limit.
  /// @throws std::runtime_error `spin_some() called while already spinning`.
  virtual void spin_some(std::chrono::nanoseconds max_duration = std::chrono::nanoseconds(0));

  /// @brief Run ready callbacks until none is ready or @p max_duration passed (0 = no limit).
  /// @throws std::invalid_argument for a negative duration.
  virtual void spin_all(std::chrono::nanoseconds max_duration);

  /// @brief Run at most one callback, waiting up to @p timeout for one (negative: for ever).
  /// @throws std::runtime_error `spin_once() called while already spinning`.
  virtual void spin_once(std::chrono::nanoseconds timeout = std::chrono::nanoseconds(-1));

  /// @brief Spin until @p future is ready, the timeout passes (negative: never) or the
  /// executor is cancelled / the context shut down.
  /// @throws std::runtime_error `spin_until_future_complete() called while already spinning`.
  template <typename FutureT, typename TimeRepT = int64_t, typename TimeT = std::milli>
  FutureReturnCode spin_until_future_complete(
      const FutureT & future,
      std::chrono::duration<TimeRepT, TimeT> timeout = std::chrono::duration<TimeRepT, TimeT>(-1))
  {
    std::future_status status = future.wait_for(std::chrono::seconds(0));
    if (status == std::future_status::ready) {
      return FutureReturnCode::SUCCESS;
    }
    auto end_time = std::chrono::steady_clock::now();
    std::chrono::nanoseconds timeout_ns =
        std::chrono::duration_cast<std::chrono::nanoseconds>(timeout);
    if (timeout_ns > std::chrono::nanoseconds::zero()) {
      end_time += timeout_ns;
    }
    std::chrono::nanoseconds timeout_left = timeout_ns;
    SpinGuard guard(*this, "spin_until_future_complete() called while already spinning");
    while (rclcpp::ok(this->context_) && spinning.load()) {
      // Bounded waits, so a future completed by another thread is noticed.
      spin_once_impl(bounded_wait(timeout_left));
      status = future.wait_for(std::chrono::seconds(0));
      if (status == std::future_status::ready) {
        return FutureReturnCode::SUCCESS;
      }
      if (timeout_ns < std::chrono::nanoseconds::zero()) {
        continue;
      }
      auto now = std::chrono::steady_clock::now();
      if (now >= end_time) {
        return FutureReturnCode::TIMEOUT;
      }
      timeout_left = std::chrono::duration_cast<std::chrono::nanoseconds>(end_time - now);
    }
    return FutureReturnCode::INTERRUPTED;
  }

  /// @brief Stop the current spin (see the class comment for a cancel before spin()).
  void cancel();

  /// @brief True while a spin function runs.
  bool is_spinning();

protected:
  /// Marks the executor as spinning for a scope.
  class RCLCPP_PUBLIC SpinGuard
  {
  public:
    SpinGuard(Executor & executor, const char * already_spinning_message);
    ~SpinGuard();
    SpinGuard(const SpinGuard &) = delete;
    SpinGuard & operator=(const SpinGuard &) = delete;

  private:
    Executor & executor_;
  };

  /// @brief Consume a cancel() issued while not spinning; true if there was one.
  bool take_pending_cancel();

  void spin_node_once_nanoseconds(
      rclcpp::node_interfaces::NodeBaseInterface::SharedPtr node, std::chrono::nanoseconds timeout);

  void spin_some_impl(std::chrono::nanoseconds max_duration, bool exhaustive);

  /// @brief Run one ready callback, waiting up to @p timeout (negative: for ever).
  void spin_once_impl(std::chrono::nanoseconds timeout);

  /// @brief Take the next ready entity, waiting up to @p timeout; null if none.
  std::shared_ptr<detail::ExecutableEntity> get_next_executable(std::chrono::nanoseconds timeout);

  /// @brief Execute one item of @p entity.
  void execute_entity(const std::shared_ptr<detail::ExecutableEntity> & entity);

  static std::chrono::nanoseconds bounded_wait(std::chrono::nanoseconds timeout);

  std::atomic_bool spinning;
  rclcpp::Context::SharedPtr context_;

private:
  struct GroupEntry
  {
    rclcpp::CallbackGroup::WeakPtr group;
    rclcpp::node_interfaces::NodeBaseInterface::WeakPtr node;
    bool automatically_added;
  };

  class WakeSignal;

  // Collect groups of added nodes created since the last call (mutex_ held).
  void add_new_groups_from_nodes();
  void associate_group(
      const rclcpp::CallbackGroup::SharedPtr & group,
      const rclcpp::node_interfaces::NodeBaseInterface::SharedPtr & node, bool automatically);
  void release_group(const rclcpp::CallbackGroup::SharedPtr & group);
  std::vector<rclcpp::CallbackGroup::WeakPtr> groups_where(bool automatically);
  // Ready entities right now, in execution order, and the earliest timer deadline.
  std::vector<std::weak_ptr<detail::ExecutableEntity>> collect_ready(
      std::optional<std::chrono::steady_clock::time_point> & next_deadline);
  // Fill ready_ by one wait of at most @p timeout.
  void wait_for_work(std::chrono::nanoseconds timeout);

  std::shared_ptr<WakeSignal> wake_signal_;
  rclcpp::OnShutdownCallbackHandle shutdown_callback_handle_;

  std::mutex mutex_;
  std::vector<rclcpp::node_interfaces::NodeBaseInterface::WeakPtr> weak_nodes_;
  std::vector<GroupEntry> groups_;

  // Work found by the last wait and not yet run (spinning thread only).
  std::vector<std::weak_ptr<detail::ExecutableEntity>> ready_;
  size_t ready_index_{0};

  std::atomic_bool cancel_pending_{false};
};

}  // namespace rclcpp

#endif  // RCLCPP__EXECUTOR_HPP_
