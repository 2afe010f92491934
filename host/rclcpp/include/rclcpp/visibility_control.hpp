// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

/// @file rclcpp/visibility_control.hpp
/// @brief Symbol visibility macros of the client library.

#ifndef RCLCPP__VISIBILITY_CONTROL_HPP_
#define RCLCPP__VISIBILITY_CONTROL_HPP_

#define RCLCPP_PUBLIC __attribute__((visibility("default")))
#define RCLCPP_LOCAL __attribute__((visibility("hidden")))
#define RCLCPP_EXPORT RCLCPP_PUBLIC
#define RCLCPP_IMPORT
#define RCLCPP_PUBLIC_TYPE RCLCPP_PUBLIC

#endif  // RCLCPP__VISIBILITY_CONTROL_HPP_
