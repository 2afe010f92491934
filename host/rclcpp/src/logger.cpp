// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#include "rclcpp/logger.hpp"

#include <mutex>
#include <stdexcept>
#include <string>

#include "rcutils/error_handling.h"

namespace rclcpp {
namespace {

// rcutils' logger-level table is not thread-safe by itself.
std::mutex & level_mutex()
{
  static std::mutex mutex;
  return mutex;
}

}  // namespace

Logger get_logger(const std::string & name)
{
  return Logger(name);
}

void Logger::set_level(Level level)
{
  if (!name_) {
    return;
  }
  std::lock_guard<std::mutex> lock(level_mutex());
  if (rcutils_logging_initialize() != RCUTILS_RET_OK) {
    rcutils_reset_error();
    throw std::runtime_error("failed to initialize logging");
  }
  if (rcutils_logging_set_logger_level(name_->c_str(), static_cast<int>(level)) != RCUTILS_RET_OK) {
    const std::string message = rcutils_get_error_string().str;
    rcutils_reset_error();
    throw std::runtime_error("failed to set logger level: " + message);
  }
}

}  // namespace rclcpp
