// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#ifndef RCLCPP__CONTEXT_HPP_
#define RCLCPP__CONTEXT_HPP_

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "rclcpp/init_options.hpp"
#include "rclcpp/macros.hpp"
#include "rclcpp/visibility_control.hpp"

namespace rclcpp {

namespace detail {
struct HostArguments;
class Graph;
}  // namespace detail

/// Thrown by Context::init() on a context that is already initialised.
class ContextAlreadyInitialized : public std::runtime_error
{
public:
  ContextAlreadyInitialized() : std::runtime_error("context is already initialized") {}
};

/// Handle of a registered shutdown callback; the callback is owned by the context.
struct RCLCPP_PUBLIC ShutdownCallbackHandle
{
  using ShutdownCallbackType = std::function<void()>;
  std::weak_ptr<ShutdownCallbackType> callback;
};

using OnShutdownCallbackHandle = ShutdownCallbackHandle;
using PreShutdownCallbackHandle = ShutdownCallbackHandle;

/// The state shared by everything created under one init(): validity, the arguments given to
/// init(), shutdown callbacks and the in-process graph of all nodes of the context.
/// All members are thread-safe.
class RCLCPP_PUBLIC Context : public std::enable_shared_from_this<Context>
{
public:
  RCLCPP_SMART_PTR_DEFINITIONS(Context)

  Context();
  virtual ~Context();

  /// @brief Initialise the context and parse argv (argv[0] included) into its global arguments.
  /// @throws ContextAlreadyInitialized if already valid,
  ///   rclcpp::exceptions::UnknownROSArgsError / RCLInvalidROSArgsError for bad ROS arguments.
  virtual void init(
      int argc, char const * const * argv,
      const rclcpp::InitOptions & init_options = rclcpp::InitOptions());

  /// @brief True between init() and shutdown().
  bool is_valid() const;

  /// @brief The options given to the last init().
  rclcpp::InitOptions get_init_options() const;

  /// @brief The domain id in use (environment ROS_DOMAIN_ID or 0 unless set).
  size_t get_domain_id() const;

  /// @brief The reason given to shutdown(), empty before.
  std::string shutdown_reason() const;

  /// @brief Runs pre-shutdown callbacks, invalidates the context, runs on-shutdown callbacks and
  /// wakes every sleep_for(). @return false if the context was not valid.
  virtual bool shutdown(const std::string & reason);

  using OnShutdownCallback = OnShutdownCallbackHandle::ShutdownCallbackType;
  using PreShutdownCallback = PreShutdownCallbackHandle::ShutdownCallbackType;

  /// @brief Register a callback run by shutdown(); returns the callback.
  virtual OnShutdownCallback on_shutdown(OnShutdownCallback callback);

  /// @brief Register a callback run by shutdown(); returns a handle for removal.
  virtual OnShutdownCallbackHandle add_on_shutdown_callback(OnShutdownCallback callback);

  /// @brief Remove a registered on-shutdown callback. @return true if it was found.
  virtual bool remove_on_shutdown_callback(const OnShutdownCallbackHandle & callback_handle);

  /// @brief Register a callback run by shutdown() before the context becomes invalid.
  virtual PreShutdownCallbackHandle add_pre_shutdown_callback(PreShutdownCallback callback);

  /// @brief Remove a registered pre-shutdown callback. @return true if it was found.
  virtual bool remove_pre_shutdown_callback(const PreShutdownCallbackHandle & callback_handle);

  /// @brief Copies of the registered on-shutdown callbacks.
  std::vector<OnShutdownCallback> get_on_shutdown_callbacks() const;

  /// @brief Sleep, waking early on shutdown() or interrupt_all_sleep_for().
  /// @return false if interrupted.
  bool sleep_for(const std::chrono::nanoseconds & nanoseconds);

  /// @brief Wake every thread blocked in sleep_for().
  virtual void interrupt_all_sleep_for();

  /// @brief Arguments parsed by init() (host runtime internal; null before the first init()).
  std::shared_ptr<const detail::HostArguments> get_global_arguments_internal() const;

  /// @brief The in-process graph, shared by every context of the process (host runtime
  /// internal).
  std::shared_ptr<detail::Graph> get_graph_internal() const;

private:
  using CallbackList = std::vector<std::shared_ptr<OnShutdownCallback>>;
  static ShutdownCallbackHandle add_callback(CallbackList & list, OnShutdownCallback callback);
  static bool remove_callback(CallbackList & list, const ShutdownCallbackHandle & handle);
  static std::vector<OnShutdownCallback> copy_callbacks(const CallbackList & list);

  mutable std::mutex mutex_;
  bool valid_{false};
  std::string shutdown_reason_;
  rclcpp::InitOptions init_options_;
  std::shared_ptr<const detail::HostArguments> global_arguments_;
  CallbackList on_shutdown_callbacks_;
  CallbackList pre_shutdown_callbacks_;
  std::shared_ptr<detail::Graph> graph_;
  // Serialises shutdown() so callbacks of one shutdown finish before another returns.
  std::mutex shutdown_mutex_;

  std::mutex sleep_mutex_;
  std::condition_variable sleep_condition_;
  uint64_t sleep_interrupts_{0};
};

}  // namespace rclcpp

#endif  // RCLCPP__CONTEXT_HPP_
