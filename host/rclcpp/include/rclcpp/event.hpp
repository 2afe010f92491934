// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#ifndef RCLCPP__EVENT_HPP_
#define RCLCPP__EVENT_HPP_

#include <atomic>
#include <cstdint>

#include "rclcpp/macros.hpp"
#include "rclcpp/visibility_control.hpp"

namespace rclcpp {

namespace node_interfaces {
class NodeGraph;
}

/// A flag raised by graph changes. Thread-safe.
class RCLCPP_PUBLIC Event
{
public:
  RCLCPP_SMART_PTR_DEFINITIONS(Event)

  Event();

  Event(const Event &) = delete;
  Event & operator=(const Event &) = delete;

  /// @brief Raise the flag; returns its previous state.
  bool set();

  /// @brief The flag's state.
  bool check();

  /// @brief Lower the flag; returns its previous state.
  bool check_and_clear();

private:
  friend class node_interfaces::NodeGraph;

  std::atomic_bool state_;
  // Graph change count already reported through this event.
  std::atomic<uint64_t> seen_changes_{0};
};

}  // namespace rclcpp

#endif  // RCLCPP__EVENT_HPP_
