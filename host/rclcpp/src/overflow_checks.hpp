// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#ifndef OVERFLOW_CHECKS_HPP_
#define OVERFLOW_CHECKS_HPP_

#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>

namespace rclcpp {
namespace detail {

/// Throws "<what> leads to int64_t overflow|underflow" when a + b leaves the int64 range.
inline void check_addition(int64_t a, int64_t b, const char * what)
{
  if (b > 0 && a > std::numeric_limits<int64_t>::max() - b) {
    throw std::overflow_error(std::string(what) + " leads to int64_t overflow");
  }
  if (b < 0 && a < std::numeric_limits<int64_t>::min() - b) {
    throw std::underflow_error(std::string(what) + " leads to int64_t underflow");
  }
}

/// Throws "<what> leads to int64_t overflow|underflow" when a - b leaves the int64 range.
inline void check_subtraction(int64_t a, int64_t b, const char * what)
{
  if (b < 0 && a > std::numeric_limits<int64_t>::max() + b) {
    throw std::overflow_error(std::string(what) + " leads to int64_t overflow");
  }
  if (b > 0 && a < std::numeric_limits<int64_t>::min() + b) {
    throw std::underflow_error(std::string(what) + " leads to int64_t underflow");
  }
}

}  // namespace detail
}  // namespace rclcpp

#endif  // OVERFLOW_CHECKS_HPP_
