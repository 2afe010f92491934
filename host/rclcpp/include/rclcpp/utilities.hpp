// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#ifndef RCLCPP__UTILITIES_HPP_
#define RCLCPP__UTILITIES_HPP_

#include <chrono>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "rclcpp/context.hpp"
#include "rclcpp/init_options.hpp"
#include "rclcpp/visibility_control.hpp"

namespace rclcpp {

/// Which signals init() turns into a shutdown of the global context.
enum class SignalHandlerOptions {
  All,
  SigInt,
  SigTerm,
  None,
};

/// @brief Initialise the global default context from argv (argv[0] included) and install
/// the signal handlers.
/// @throws ContextAlreadyInitialized, rclcpp::exceptions::UnknownROSArgsError,
///   RCLInvalidROSArgsError.
RCLCPP_PUBLIC void init(
    int argc, char const * const * argv, const InitOptions & init_options = InitOptions(),
    SignalHandlerOptions signal_handler_options = SignalHandlerOptions::All);

/// @brief Install SIGINT/SIGTERM handlers that shut the global context down.
/// @return false if they were already installed.
RCLCPP_PUBLIC bool install_signal_handlers(
    SignalHandlerOptions signal_handler_options = SignalHandlerOptions::All);

RCLCPP_PUBLIC bool signal_handlers_installed();

RCLCPP_PUBLIC SignalHandlerOptions get_current_signal_handler_options();

/// @brief Restore the previous handlers. @return false if none were installed.
RCLCPP_PUBLIC bool uninstall_signal_handlers();

/// @brief init(), then the arguments without the ROS ones (argv[0] kept).
RCLCPP_PUBLIC std::vector<std::string> init_and_remove_ros_arguments(
    int argc, char const * const * argv, const InitOptions & init_options = InitOptions());

/// @brief argv without the ROS arguments (argv[0] kept).
/// @throws rclcpp::exceptions::RCLInvalidROSArgsError for malformed ROS arguments.
RCLCPP_PUBLIC std::vector<std::string> remove_ros_arguments(int argc, char const * const * argv);

/// @brief True if the context (default: global) is initialised and not shut down.
RCLCPP_PUBLIC bool ok(rclcpp::Context::SharedPtr context = nullptr);

/// @brief Shut the context (default: global) down; wakes every waiting executor and sleep.
/// @return false if it was not initialised or already shut down.
RCLCPP_PUBLIC bool shutdown(
    rclcpp::Context::SharedPtr context = nullptr,
    const std::string & reason = "user called rclcpp::shutdown()");

/// @brief Register a callback run when the context (default: global) shuts down.
RCLCPP_PUBLIC void on_shutdown(
    std::function<void()> callback, rclcpp::Context::SharedPtr context = nullptr);

/// @brief Sleep, waking early on shutdown. @return false if interrupted.
RCLCPP_PUBLIC bool sleep_for(
    const std::chrono::nanoseconds & nanoseconds, rclcpp::Context::SharedPtr context = nullptr);

/// @brief True if x + y overflows T.
template <typename T>
bool add_will_overflow(const T x, const T y)
{
  return (y > 0) && (x > (std::numeric_limits<T>::max() - y));
}

/// @brief True if x + y underflows T.
template <typename T>
bool add_will_underflow(const T x, const T y)
{
  return (y < 0) && (x < (std::numeric_limits<T>::min() - y));
}

/// @brief True if x - y overflows T.
template <typename T>
bool sub_will_overflow(const T x, const T y)
{
  return (y < 0) && (x > (std::numeric_limits<T>::max() + y));
}

/// @brief True if x - y underflows T.
template <typename T>
bool sub_will_underflow(const T x, const T y)
{
  return (y > 0) && (x < (std::numeric_limits<T>::min() + y));
}

RCLCPP_PUBLIC const char * get_c_string(const char * string_in);
RCLCPP_PUBLIC const char * get_c_string(const std::string & string_in);

}  // namespace rclcpp

#endif  // RCLCPP__UTILITIES_HPP_
