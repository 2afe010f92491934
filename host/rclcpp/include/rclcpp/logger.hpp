// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#ifndef RCLCPP__LOGGER_HPP_
#define RCLCPP__LOGGER_HPP_

#include <memory>
#include <string>

#include "rclcpp/visibility_control.hpp"
#include "rcutils/logging.h"

namespace rclcpp {

namespace node_interfaces {
class NodeLogging;
}

class Logger;

/// @brief The logger of the given name (names are dot-separated hierarchies).
RCLCPP_PUBLIC Logger get_logger(const std::string & name);

/// A named logger; cheap to copy. Records go through rcutils (console format, output handler).
class RCLCPP_PUBLIC Logger
{
public:
  /// Severity thresholds; Unset inherits from the parent logger.
  enum class Level {
    Unset = RCUTILS_LOG_SEVERITY_UNSET,
    Debug = RCUTILS_LOG_SEVERITY_DEBUG,
    Info = RCUTILS_LOG_SEVERITY_INFO,
    Warn = RCUTILS_LOG_SEVERITY_WARN,
    Error = RCUTILS_LOG_SEVERITY_ERROR,
    Fatal = RCUTILS_LOG_SEVERITY_FATAL,
  };

private:
  friend Logger rclcpp::get_logger(const std::string & name);
  friend ::rclcpp::node_interfaces::NodeLogging;

  /// A logger that discards everything (null name).
  Logger() : name_(nullptr) {}

  explicit Logger(const std::string & name) : name_(new std::string(name)) {}

  std::shared_ptr<const std::string> name_;

public:
  Logger(const Logger &) = default;
  Logger & operator=(const Logger &) = default;

  /// @brief The logger's name, or nullptr for the dummy logger.
  const char * get_name() const
  {
    if (!name_) {
      return nullptr;
    }
    return name_->c_str();
  }

  /// @brief The logger "<name>.<suffix>".
  Logger get_child(const std::string & suffix)
  {
    if (!name_) {
      return Logger();
    }
    return Logger(*name_ + "." + suffix);
  }

  /// @brief Set this logger's threshold (process-wide, by name). Thread-safe.
  /// @throws std::runtime_error if rcutils rejects the level.
  void set_level(Level level);
};

}  // namespace rclcpp

#endif  // RCLCPP__LOGGER_HPP_
