// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#include "rclcpp/executor.hpp"

#include <algorithm>
#include <string>
#include <utility>

#include "rclcpp/executors/single_threaded_executor.hpp"
#include "rclcpp/node.hpp"

namespace rclcpp {

/// Wakes a waiting executor: a counter bumped on every trigger, so a trigger between
/// "look for work" and "wait" is never lost.
class Executor::WakeSignal
{
public:
  uint64_t count()
  {
    std::lock_guard<std::mutex> lock(mutex_);
    return count_;
  }

  void notify()
  {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ++count_;
    }
    condition_.notify_all();
  }

  /// Wait until notified after @p seen was read, or until @p wake_at (if given).
  void wait(uint64_t seen, const std::optional<std::chrono::steady_clock::time_point> & wake_at)
  {
    std::unique_lock<std::mutex> lock(mutex_);
    auto changed = [this, seen]() { return count_ != seen; };
    if (wake_at) {
      condition_.wait_until(lock, *wake_at, changed);
    } else {
      condition_.wait(lock, changed);
    }
  }

private:
  std::mutex mutex_;
  std::condition_variable condition_;
  uint64_t count_{0};
};

Executor::Executor(const rclcpp::ExecutorOptions & options)
    : spinning(false), context_(options.context), wake_signal_(std::make_shared<WakeSignal>())
{
  std::weak_ptr<WakeSignal> weak_signal = wake_signal_;
  shutdown_callback_handle_ = context_->add_on_shutdown_callback([weak_signal]() {
    if (auto signal = weak_signal.lock()) {
      signal->notify();
    }
  });
}

Executor::~Executor()
{
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto & entry : groups_) {
    if (auto group = entry.group.lock()) {
      release_group(group);
    }
  }
  groups_.clear();
  for (auto & weak_node : weak_nodes_) {
    if (auto node = weak_node.lock()) {
      node->get_notify_guard_condition().set_on_trigger_callback(nullptr);
      node->get_associated_with_executor_atomic().store(false);
    }
  }
  weak_nodes_.clear();
  context_->remove_on_shutdown_callback(shutdown_callback_handle_);
}

void Executor::associate_group(
    const rclcpp::CallbackGroup::SharedPtr & group,
    const rclcpp::node_interfaces::NodeBaseInterface::SharedPtr & node, bool automatically)
{
  if (group->get_associated_with_executor_atomic().exchange(true)) {
    throw std::runtime_error("Callback group has already been added to an executor.");
  }
  groups_.push_back(GroupEntry{group, node, automatically});
  std::weak_ptr<WakeSignal> weak_signal = wake_signal_;
  group->get_notify_guard_condition(context_)->set_on_trigger_callback([weak_signal](size_t) {
    if (auto signal = weak_signal.lock()) {
      signal->notify();
    }
  });
}

void Executor::release_group(const rclcpp::CallbackGroup::SharedPtr & group)
{
  group->get_notify_guard_condition(context_)->set_on_trigger_callback(nullptr);
  group->get_associated_with_executor_atomic().store(false);
}

void Executor::add_new_groups_from_nodes()
{
  weak_nodes_.erase(
      std::remove_if(
          weak_nodes_.begin(), weak_nodes_.end(),
          [](const rclcpp::node_interfaces::NodeBaseInterface::WeakPtr & weak) {
            return weak.expired();
          }),
      weak_nodes_.end());
  groups_.erase(
      std::remove_if(
          groups_.begin(), groups_.end(),
          [](const GroupEntry & entry) { return entry.group.expired(); }),
      groups_.end());
  for (const auto & weak_node : weak_nodes_) {
    auto node = weak_node.lock();
    if (!node) {
      continue;
    }
    node->for_each_callback_group([this, &node](rclcpp::CallbackGroup::SharedPtr group) {
      if (group->automatically_add_to_executor_with_node() &&
          !group->get_associated_with_executor_atomic().load()) {
        try {
          associate_group(group, node, true);
        } catch (const std::runtime_error &) {
          // Another executor took it in the meantime.
        }
      }
    });
  }
}

void Executor::add_callback_group(
    rclcpp::CallbackGroup::SharedPtr group_ptr,
    rclcpp::node_interfaces::NodeBaseInterface::SharedPtr node_ptr, bool notify)
{
  {
    std::lock_guard<std::mutex> lock(mutex_);
    associate_group(group_ptr, node_ptr, false);
  }
  if (notify) {
    wake_signal_->notify();
  }
}

void Executor::remove_callback_group(rclcpp::CallbackGroup::SharedPtr group_ptr, bool notify)
{
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = std::find_if(groups_.begin(), groups_.end(), [&group_ptr](const GroupEntry & entry) {
      return entry.group.lock() == group_ptr;
    });
    if (it == groups_.end()) {
      throw std::runtime_error("Callback group needs to be associated with executor.");
    }
    release_group(group_ptr);
    groups_.erase(it);
  }
  if (notify) {
    wake_signal_->notify();
  }
}

std::vector<rclcpp::CallbackGroup::WeakPtr> Executor::groups_where(bool automatically)
{
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<rclcpp::CallbackGroup::WeakPtr> result;
  for (const auto & entry : groups_) {
    if (entry.automatically_added == automatically) {
      result.push_back(entry.group);
    }
  }
  return result;
}

std::vector<rclcpp::CallbackGroup::WeakPtr> Executor::get_all_callback_groups()
{
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<rclcpp::CallbackGroup::WeakPtr> result;
  for (const auto & entry : groups_) {
    result.push_back(entry.group);
  }
  return result;
}

std::vector<rclcpp::CallbackGroup::WeakPtr> Executor::get_manually_added_callback_groups()
{
  return groups_where(false);
}

std::vector<rclcpp::CallbackGroup::WeakPtr>
Executor::get_automatically_added_callback_groups_from_nodes()
{
  return groups_where(true);
}

void Executor::add_node(rclcpp::node_interfaces::NodeBaseInterface::SharedPtr node_ptr, bool notify)
{
  if (node_ptr->get_associated_with_executor_atomic().exchange(true)) {
    throw std::runtime_error(
        std::string("Node '") + node_ptr->get_fully_qualified_name() +
        "' has already been added to an executor.");
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    node_ptr->for_each_callback_group([this, &node_ptr](rclcpp::CallbackGroup::SharedPtr group) {
      if (!group->get_associated_with_executor_atomic().load() &&
          group->automatically_add_to_executor_with_node()) {
        associate_group(group, node_ptr, true);
      }
    });
    weak_nodes_.push_back(node_ptr);
    std::weak_ptr<WakeSignal> weak_signal = wake_signal_;
    node_ptr->get_notify_guard_condition().set_on_trigger_callback([weak_signal](size_t) {
      if (auto signal = weak_signal.lock()) {
        signal->notify();
      }
    });
  }
  if (notify) {
    wake_signal_->notify();
  }
}

void Executor::add_node(std::shared_ptr<rclcpp::Node> node_ptr, bool notify)
{
  add_node(node_ptr->get_node_base_interface(), notify);
}

void Executor::remove_node(
    rclcpp::node_interfaces::NodeBaseInterface::SharedPtr node_ptr, bool notify)
{
  if (!node_ptr->get_associated_with_executor_atomic().load()) {
    throw std::runtime_error("Node needs to be associated with an executor.");
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = std::find_if(
        weak_nodes_.begin(), weak_nodes_.end(),
        [&node_ptr](const rclcpp::node_interfaces::NodeBaseInterface::WeakPtr & weak) {
          return weak.lock() == node_ptr;
        });
    if (it == weak_nodes_.end()) {
      throw std::runtime_error("Node needs to be associated with this executor.");
    }
    weak_nodes_.erase(it);
    for (auto entry = groups_.begin(); entry != groups_.end();) {
      auto group = entry->group.lock();
      if (entry->automatically_added && entry->node.lock() == node_ptr) {
        if (group) {
          release_group(group);
        }
        entry = groups_.erase(entry);
      } else {
        ++entry;
      }
    }
    node_ptr->get_notify_guard_condition().set_on_trigger_callback(nullptr);
    node_ptr->get_associated_with_executor_atomic().store(false);
  }
  if (notify) {
    wake_signal_->notify();
  }
}

void Executor::remove_node(std::shared_ptr<rclcpp::Node> node_ptr, bool notify)
{
  remove_node(node_ptr->get_node_base_interface(), notify);
}

void Executor::spin_node_once_nanoseconds(
    rclcpp::node_interfaces::NodeBaseInterface::SharedPtr node, std::chrono::nanoseconds timeout)
{
  add_node(node, false);
  try {
    spin_once(timeout);
  } catch (...) {
    remove_node(node, false);
    throw;
  }
  remove_node(node, false);
}

void Executor::spin_node_some(rclcpp::node_interfaces::NodeBaseInterface::SharedPtr node)
{
  add_node(node, false);
  try {
    spin_some();
  } catch (...) {
    remove_node(node, false);
    throw;
  }
  remove_node(node, false);
}

void Executor::spin_node_some(std::shared_ptr<rclcpp::Node> node)
{
  spin_node_some(node->get_node_base_interface());
}

void Executor::spin_some(std::chrono::nanoseconds max_duration)
{
  spin_some_impl(max_duration, false);
}

void Executor::spin_all(std::chrono::nanoseconds max_duration)
{
  if (max_duration < std::chrono::nanoseconds(0)) {
    throw std::invalid_argument("max_duration must be greater than or equal to 0");
  }
  spin_some_impl(max_duration, true);
}

void Executor::spin_some_impl(std::chrono::nanoseconds max_duration, bool exhaustive)
{
  const auto start = std::chrono::steady_clock::now();
  auto max_duration_not_elapsed = [max_duration, start]() {
    return max_duration == std::chrono::nanoseconds(0) ||
           std::chrono::steady_clock::now() - start < max_duration;
  };
  SpinGuard guard(*this, "spin_some() called while already spinning");
  take_pending_cancel();
  bool work_available = false;
  while (rclcpp::ok(context_) && spinning.load() && max_duration_not_elapsed()) {
    if (!work_available) {
      wait_for_work(std::chrono::nanoseconds(0));
    }
    auto entity = get_next_executable(std::chrono::nanoseconds(0));
    if (entity) {
      execute_entity(entity);
      work_available = true;
    } else {
      if (!work_available || !exhaustive) {
        break;
      }
      work_available = false;
    }
  }
}

void Executor::spin_once(std::chrono::nanoseconds timeout)
{
  SpinGuard guard(*this, "spin_once() called while already spinning");
  take_pending_cancel();
  spin_once_impl(timeout);
}

void Executor::spin_once_impl(std::chrono::nanoseconds timeout)
{
  auto entity = get_next_executable(timeout);
  if (entity) {
    execute_entity(entity);
  }
}

std::vector<std::weak_ptr<detail::ExecutableEntity>> Executor::collect_ready(
    std::optional<std::chrono::steady_clock::time_point> & next_deadline)
{
  std::vector<rclcpp::CallbackGroup::SharedPtr> groups;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    add_new_groups_from_nodes();
    for (const auto & entry : groups_) {
      if (auto group = entry.group.lock()) {
        groups.push_back(std::move(group));
      }
    }
  }
  std::vector<std::pair<int, std::weak_ptr<detail::ExecutableEntity>>> ready;
  for (const auto & group : groups) {
    for (const auto & entity : group->get_entities()) {
      if (entity->has_work()) {
        ready.emplace_back(static_cast<int>(entity->executable_kind()), entity);
      } else if (auto wakeup = entity->next_wakeup()) {
        if (!next_deadline || *wakeup < *next_deadline) {
          next_deadline = wakeup;
        }
      }
    }
  }
  std::stable_sort(
      ready.begin(), ready.end(), [](const auto & a, const auto & b) { return a.first < b.first; });
  std::vector<std::weak_ptr<detail::ExecutableEntity>> result;
  result.reserve(ready.size());
  for (auto & item : ready) {
    result.push_back(std::move(item.second));
  }
  return result;
}

void Executor::wait_for_work(std::chrono::nanoseconds timeout)
{
  ready_.clear();
  ready_index_ = 0;
  const bool forever = timeout < std::chrono::nanoseconds(0);
  const auto deadline =
      std::chrono::steady_clock::now() + std::max(timeout, std::chrono::nanoseconds(0));
  while (true) {
    const uint64_t seen = wake_signal_->count();
    std::optional<std::chrono::steady_clock::time_point> next_timer;
    ready_ = collect_ready(next_timer);
    if (!ready_.empty() || !spinning.load() || !rclcpp::ok(context_)) {
      return;
    }
    if (!forever && std::chrono::steady_clock::now() >= deadline) {
      return;
    }
    std::optional<std::chrono::steady_clock::time_point> wake_at;
    if (!forever) {
      wake_at = deadline;
    }
    if (next_timer && (!wake_at || *next_timer < *wake_at)) {
      wake_at = next_timer;
    }
    wake_signal_->wait(seen, wake_at);
  }
}

std::shared_ptr<detail::ExecutableEntity> Executor::get_next_executable(
    std::chrono::nanoseconds timeout)
{
  auto next_ready = [this]() -> std::shared_ptr<detail::ExecutableEntity> {
    while (ready_index_ < ready_.size()) {
      // Entities destroyed since the wait are skipped: no callback after destruction.
      if (auto entity = ready_[ready_index_++].lock()) {
        return entity;
      }
    }
    return nullptr;
  };
  if (auto entity = next_ready()) {
    return entity;
  }
  if (timeout == std::chrono::nanoseconds(0) && !ready_.empty()) {
    // This wait's work is done; a zero-timeout caller decides whether to wait again.
    return nullptr;
  }
  wait_for_work(timeout);
  return next_ready();
}

void Executor::execute_entity(const std::shared_ptr<detail::ExecutableEntity> & entity)
{
  entity->execute_one();
}

std::chrono::nanoseconds Executor::bounded_wait(std::chrono::nanoseconds timeout)
{
  const std::chrono::nanoseconds step = std::chrono::milliseconds(100);
  if (timeout < std::chrono::nanoseconds(0) || timeout > step) {
    return step;
  }
  return timeout;
}

void Executor::cancel()
{
  if (!spinning.exchange(false)) {
    cancel_pending_.store(true);
  }
  wake_signal_->notify();
}

bool Executor::is_spinning()
{
  return spinning.load();
}

bool Executor::take_pending_cancel()
{
  return cancel_pending_.exchange(false);
}

Executor::SpinGuard::SpinGuard(Executor & executor, const char * already_spinning_message)
    : executor_(executor)
{
  if (executor_.spinning.exchange(true)) {
    throw std::runtime_error(already_spinning_message);
  }
}

Executor::SpinGuard::~SpinGuard()
{
  executor_.spinning.store(false);
}

namespace executors {

SingleThreadedExecutor::SingleThreadedExecutor(const rclcpp::ExecutorOptions & options)
    : rclcpp::Executor(options)
{}

SingleThreadedExecutor::~SingleThreadedExecutor() = default;

void SingleThreadedExecutor::spin()
{
  SpinGuard guard(*this, "spin() called while already spinning");
  if (take_pending_cancel()) {
    return;
  }
  while (rclcpp::ok(context_) && spinning.load()) {
    auto entity = get_next_executable(std::chrono::nanoseconds(-1));
    if (entity) {
      execute_entity(entity);
    }
  }
}

}  // namespace executors

void spin_some(rclcpp::node_interfaces::NodeBaseInterface::SharedPtr node_ptr)
{
  rclcpp::ExecutorOptions options;
  options.context = node_ptr->get_context();
  rclcpp::executors::SingleThreadedExecutor executor(options);
  executor.spin_node_some(node_ptr);
}

void spin_some(rclcpp::Node::SharedPtr node_ptr)
{
  rclcpp::spin_some(node_ptr->get_node_base_interface());
}

void spin(rclcpp::node_interfaces::NodeBaseInterface::SharedPtr node_ptr)
{
  rclcpp::ExecutorOptions options;
  options.context = node_ptr->get_context();
  rclcpp::executors::SingleThreadedExecutor executor(options);
  executor.add_node(node_ptr);
  executor.spin();
  executor.remove_node(node_ptr);
}

void spin(rclcpp::Node::SharedPtr node_ptr)
{
  rclcpp::spin(node_ptr->get_node_base_interface());
}

}  // namespace rclcpp
