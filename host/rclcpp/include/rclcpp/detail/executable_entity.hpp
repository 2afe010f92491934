// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#ifndef RCLCPP__DETAIL__EXECUTABLE_ENTITY_HPP_
#define RCLCPP__DETAIL__EXECUTABLE_ENTITY_HPP_

#include <chrono>
#include <memory>
#include <optional>

#include "rclcpp/visibility_control.hpp"

namespace rclcpp {

class CallbackGroup;

namespace detail {

/// Something an executor runs: a subscription, timer, service or client. Data arrives on any
/// thread (has_work() is thread-safe); execute_one() is called by the one executor that owns
/// the entity's callback group.
class RCLCPP_PUBLIC ExecutableEntity
{
public:
  /// Order in which ready entities of one wait are executed.
  enum class Kind {
    Timer = 0,
    Subscription = 1,
    Service = 2,
    Client = 3,
  };

  virtual ~ExecutableEntity() = default;

  virtual Kind executable_kind() const = 0;

  /// @brief Whether execute_one() would run a callback now.
  virtual bool has_work() = 0;

  /// @brief Take one item of work and run its callback (nothing if none is left).
  virtual void execute_one() = 0;

  /// @brief When the entity becomes ready by itself (timers), if ever.
  virtual std::optional<std::chrono::steady_clock::time_point> next_wakeup()
  {
    return std::nullopt;
  }

  /// @brief The callback group the entity belongs to.
  std::shared_ptr<CallbackGroup> get_executable_group() const
  {
    return executable_group_.lock();
  }

  /// @brief Record the group (host runtime internal: called once, before the entity is
  /// shared with other threads).
  void set_executable_group(const std::shared_ptr<CallbackGroup> & group)
  {
    executable_group_ = group;
  }

protected:
  /// @brief Wake the executor of the entity's group (new data arrived).
  void notify_executor() const;

private:
  std::weak_ptr<CallbackGroup> executable_group_;
};

}  // namespace detail
}  // namespace rclcpp

#endif  // RCLCPP__DETAIL__EXECUTABLE_ENTITY_HPP_
