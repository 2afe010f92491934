// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#ifndef RCLCPP__CALLBACK_GROUP_HPP_
#define RCLCPP__CALLBACK_GROUP_HPP_

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "rclcpp/context.hpp"
#include "rclcpp/detail/executable_entity.hpp"
#include "rclcpp/guard_condition.hpp"
#include "rclcpp/macros.hpp"
#include "rclcpp/visibility_control.hpp"

namespace rclcpp {

/// How callbacks of one group may run relative to each other.
enum class CallbackGroupType { MutuallyExclusive, Reentrant };

/// A set of subscriptions, timers, services and clients that an executor runs together.
/// A group belongs to at most one executor at a time. Thread-safe.
class RCLCPP_PUBLIC CallbackGroup
{
public:
  RCLCPP_SMART_PTR_DEFINITIONS(CallbackGroup)

  /// @param automatically_add_to_executor_with_node if false, Executor::add_node() skips the
  ///   group; add it with Executor::add_callback_group().
  explicit CallbackGroup(
      CallbackGroupType group_type, bool automatically_add_to_executor_with_node = true);

  ~CallbackGroup();

  CallbackGroup(const CallbackGroup &) = delete;
  CallbackGroup & operator=(const CallbackGroup &) = delete;

  /// @brief Whether an executor may currently take work from this group.
  std::atomic_bool & can_be_taken_from();

  const CallbackGroupType & type() const;

  /// @brief True while the group belongs to an executor.
  std::atomic_bool & get_associated_with_executor_atomic();

  bool automatically_add_to_executor_with_node() const;

  /// @brief The guard condition an executor waits on for this group (created on first use).
  rclcpp::GuardCondition::SharedPtr get_notify_guard_condition(
      const rclcpp::Context::SharedPtr context);

  /// @brief Wake the executor of this group, if any.
  void trigger_notify_guard_condition();

  /// @brief Number of live entities in the group.
  size_t size() const;

  /// @brief Add an entity (host runtime internal; the group keeps a weak reference).
  void add_entity(const std::shared_ptr<detail::ExecutableEntity> & entity);

  /// @brief The live entities of the group in creation order (host runtime internal).
  std::vector<std::shared_ptr<detail::ExecutableEntity>> get_entities() const;

private:
  CallbackGroupType type_;
  bool automatically_add_to_executor_with_node_;
  std::atomic_bool associated_with_executor_{false};
  std::atomic_bool can_be_taken_from_{true};

  mutable std::mutex mutex_;
  std::vector<std::weak_ptr<detail::ExecutableEntity>> entities_;
  rclcpp::GuardCondition::SharedPtr notify_guard_condition_;
};

}  // namespace rclcpp

#endif  // RCLCPP__CALLBACK_GROUP_HPP_
