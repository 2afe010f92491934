// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#include "rclcpp/callback_group.hpp"

#include <algorithm>

namespace rclcpp {

CallbackGroup::CallbackGroup(
    CallbackGroupType group_type, bool automatically_add_to_executor_with_node)
    : type_(group_type),
      automatically_add_to_executor_with_node_(automatically_add_to_executor_with_node)
{}

CallbackGroup::~CallbackGroup() = default;

std::atomic_bool & CallbackGroup::can_be_taken_from()
{
  return can_be_taken_from_;
}

const CallbackGroupType & CallbackGroup::type() const
{
  return type_;
}

std::atomic_bool & CallbackGroup::get_associated_with_executor_atomic()
{
  return associated_with_executor_;
}

bool CallbackGroup::automatically_add_to_executor_with_node() const
{
  return automatically_add_to_executor_with_node_;
}

rclcpp::GuardCondition::SharedPtr CallbackGroup::get_notify_guard_condition(
    const rclcpp::Context::SharedPtr context)
{
  std::lock_guard<std::mutex> lock(mutex_);
  if (!notify_guard_condition_) {
    notify_guard_condition_ = std::make_shared<rclcpp::GuardCondition>(context);
  }
  return notify_guard_condition_;
}

void CallbackGroup::trigger_notify_guard_condition()
{
  rclcpp::GuardCondition::SharedPtr guard_condition;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    guard_condition = notify_guard_condition_;
  }
  if (guard_condition) {
    guard_condition->trigger();
  }
}

size_t CallbackGroup::size() const
{
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<size_t>(std::count_if(
      entities_.begin(), entities_.end(),
      [](const std::weak_ptr<detail::ExecutableEntity> & entity) { return !entity.expired(); }));
}

void CallbackGroup::add_entity(const std::shared_ptr<detail::ExecutableEntity> & entity)
{
  {
    std::lock_guard<std::mutex> lock(mutex_);
    entities_.erase(
        std::remove_if(
            entities_.begin(), entities_.end(),
            [](const std::weak_ptr<detail::ExecutableEntity> & weak) { return weak.expired(); }),
        entities_.end());
    entities_.push_back(entity);
  }
  // The executor rescans its groups and finds the new entity (and its queued work).
  trigger_notify_guard_condition();
}

std::vector<std::shared_ptr<detail::ExecutableEntity>> CallbackGroup::get_entities() const
{
  std::vector<std::shared_ptr<detail::ExecutableEntity>> result;
  std::lock_guard<std::mutex> lock(mutex_);
  result.reserve(entities_.size());
  for (const auto & weak : entities_) {
    if (auto entity = weak.lock()) {
      result.push_back(std::move(entity));
    }
  }
  return result;
}

namespace detail {

void ExecutableEntity::notify_executor() const
{
  if (auto group = executable_group_.lock()) {
    group->trigger_notify_guard_condition();
  }
}

}  // namespace detail
}  // namespace rclcpp
