// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#ifndef RCLCPP__INIT_OPTIONS_HPP_
#define RCLCPP__INIT_OPTIONS_HPP_

#include <cstddef>
#include <limits>

#include "rcl/allocator.h"
#include "rclcpp/visibility_control.hpp"

namespace rclcpp {

/// Options for initialising a context. Value type; not synchronised.
class RCLCPP_PUBLIC InitOptions
{
public:
  /// If true, the context is shut down when the process receives SIGINT or SIGTERM.
  bool shutdown_on_signal = true;

  /// @brief Default options (logging initialised, default domain id).
  explicit InitOptions(rcl_allocator_t allocator = rcl_get_default_allocator());

  InitOptions(const InitOptions & other) = default;
  InitOptions & operator=(const InitOptions & other) = default;
  virtual ~InitOptions() = default;

  /// @brief Whether init() initialises the logging system (default true).
  bool auto_initialize_logging() const;

  /// @brief Choose whether init() initialises the logging system.
  InitOptions & auto_initialize_logging(bool initialize_logging);

  /// @brief Use the domain id of the environment (ROS_DOMAIN_ID, else 0).
  void use_default_domain_id();

  /// @brief Use the given domain id.
  void set_domain_id(size_t domain_id);

  /// @brief The set domain id, or SIZE_MAX when the default is used.
  size_t get_domain_id() const;

  /// @brief The allocator given at construction.
  const rcl_allocator_t & get_allocator() const;

private:
  rcl_allocator_t allocator_;
  bool initialize_logging_{true};
  size_t domain_id_{std::numeric_limits<size_t>::max()};
};

}  // namespace rclcpp

#endif  // RCLCPP__INIT_OPTIONS_HPP_
