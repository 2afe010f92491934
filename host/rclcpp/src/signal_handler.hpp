// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#ifndef SIGNAL_HANDLER_HPP_
#define SIGNAL_HANDLER_HPP_

#include <signal.h>

#include <memory>
#include <mutex>
#include <thread>

#include "rclcpp/utilities.hpp"

namespace rclcpp {
namespace detail {

/// Turns SIGINT/SIGTERM into a shutdown of the global context. The handler itself only
/// posts a semaphore (async-signal-safe); a watcher thread does the shutdown.
class SignalHandler
{
public:
  static SignalHandler & get_global_signal_handler();

  /// @return false if already installed.
  bool install(SignalHandlerOptions signal_handler_options);

  /// @return false if not installed. May be called from the watcher thread itself.
  bool uninstall();

  bool is_installed();

  SignalHandlerOptions get_current_signal_handler_options();

private:
  struct Run;

  SignalHandler() = default;
  static void handle_signal(int signum);
  static void watch(std::shared_ptr<Run> run);

  std::mutex mutex_;
  bool installed_{false};
  SignalHandlerOptions options_{SignalHandlerOptions::None};
  struct sigaction old_sigint_
  {
  };
  struct sigaction old_sigterm_
  {
  };
  std::shared_ptr<Run> run_;
  std::thread watcher_;
};

}  // namespace detail
}  // namespace rclcpp

#endif  // SIGNAL_HANDLER_HPP_
