// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#ifndef RCLCPP__FUTURE_RETURN_CODE_HPP_
#define RCLCPP__FUTURE_RETURN_CODE_HPP_

#include <iostream>
#include <string>

#include "rclcpp/visibility_control.hpp"

namespace rclcpp {

/// Outcome of waiting for a future while spinning.
enum class FutureReturnCode { SUCCESS, INTERRUPTED, TIMEOUT };

/// @brief "SUCCESS (0)", "INTERRUPTED (1)", "TIMEOUT (2)".
RCLCPP_PUBLIC std::string to_string(const FutureReturnCode & future_return_code);

RCLCPP_PUBLIC std::ostream & operator<<(
    std::ostream & os, const FutureReturnCode & future_return_code);

}  // namespace rclcpp

#endif  // RCLCPP__FUTURE_RETURN_CODE_HPP_
