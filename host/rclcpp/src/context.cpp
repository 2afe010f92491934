// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#include "rclcpp/context.hpp"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "rclcpp/contexts/default_context.hpp"
#include "rclcpp/detail/host_arguments.hpp"
#include "rclcpp/logging.hpp"
#include "rcutils/error_handling.h"
#include "rcutils/logging.h"

#include "graph.hpp"

namespace rclcpp {
namespace {

// Every context of the process joins one graph, as the participants of one DDS domain
// discover each other whatever context created them.
std::shared_ptr<detail::Graph> domainGraph()
{
  static std::mutex mutex;
  static std::weak_ptr<detail::Graph> shared;
  std::lock_guard<std::mutex> lock(mutex);
  auto graph = shared.lock();
  if (!graph) {
    graph = std::make_shared<detail::Graph>();
    shared = graph;
  }
  return graph;
}

}  // namespace

Context::Context() : graph_(domainGraph()) {}

Context::~Context()
{
  // Shutting down in the destructor runs callbacks that may refer to this context; as in
  // rclcpp, only wake waiters here.
  interrupt_all_sleep_for();
}

void Context::init(int argc, char const * const * argv, const rclcpp::InitOptions & init_options)
{
  std::vector<std::string> arguments;
  for (int i = 0; i < argc && argv != nullptr; ++i) {
    arguments.emplace_back(argv[i] ? argv[i] : "");
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (valid_) {
      throw rclcpp::ContextAlreadyInitialized();
    }
  }
  auto parsed = std::make_shared<const detail::HostArguments>(
      detail::parse_arguments(arguments, "failed to initialize rcl"));
  if (init_options.auto_initialize_logging()) {
    if (rcutils_logging_initialize() != RCUTILS_RET_OK) {
      rcutils_reset_error();
    }
    for (const auto & rule : parsed->log_levels) {
      int severity = RCUTILS_LOG_SEVERITY_UNSET;
      if (rcutils_logging_severity_level_from_string(
              rule.severity.c_str(), rcutils_get_default_allocator(), &severity) !=
          RCUTILS_RET_OK) {
        rcutils_reset_error();
        continue;
      }
      if (rule.logger_name.empty()) {
        rcutils_logging_set_default_logger_level(severity);
      } else if (
          rcutils_logging_set_logger_level(rule.logger_name.c_str(), severity) != RCUTILS_RET_OK) {
        rcutils_reset_error();
      }
    }
  }
  std::lock_guard<std::mutex> lock(mutex_);
  if (valid_) {
    throw rclcpp::ContextAlreadyInitialized();
  }
  init_options_ = init_options;
  global_arguments_ = std::move(parsed);
  shutdown_reason_.clear();
  valid_ = true;
}

bool Context::is_valid() const
{
  std::lock_guard<std::mutex> lock(mutex_);
  return valid_;
}

rclcpp::InitOptions Context::get_init_options() const
{
  std::lock_guard<std::mutex> lock(mutex_);
  return init_options_;
}

size_t Context::get_domain_id() const
{
  const size_t requested = get_init_options().get_domain_id();
  if (requested != std::numeric_limits<size_t>::max()) {
    return requested;
  }
  const char * env = std::getenv("ROS_DOMAIN_ID");
  if (env == nullptr || *env == '\0') {
    return 0;
  }
  return static_cast<size_t>(std::strtoul(env, nullptr, 10));
}

std::string Context::shutdown_reason() const
{
  std::lock_guard<std::mutex> lock(mutex_);
  return shutdown_reason_;
}

bool Context::shutdown(const std::string & reason)
{
  std::lock_guard<std::mutex> shutdown_lock(shutdown_mutex_);
  std::vector<OnShutdownCallback> pre_callbacks;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!valid_) {
      return false;
    }
    pre_callbacks = copy_callbacks(pre_shutdown_callbacks_);
  }
  for (const auto & callback : pre_callbacks) {
    callback();
  }
  std::vector<OnShutdownCallback> callbacks;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    valid_ = false;
    shutdown_reason_ = reason;
    callbacks = copy_callbacks(on_shutdown_callbacks_);
  }
  for (const auto & callback : callbacks) {
    callback();
  }
  interrupt_all_sleep_for();
  graph_->notify_change();
  return true;
}

ShutdownCallbackHandle Context::add_callback(CallbackList & list, OnShutdownCallback callback)
{
  auto stored = std::make_shared<OnShutdownCallback>(std::move(callback));
  list.push_back(stored);
  ShutdownCallbackHandle handle;
  handle.callback = stored;
  return handle;
}

bool Context::remove_callback(CallbackList & list, const ShutdownCallbackHandle & handle)
{
  const auto callback = handle.callback.lock();
  if (!callback) {
    return false;
  }
  auto it = std::find(list.begin(), list.end(), callback);
  if (it == list.end()) {
    return false;
  }
  list.erase(it);
  return true;
}

std::vector<Context::OnShutdownCallback> Context::copy_callbacks(const CallbackList & list)
{
  std::vector<OnShutdownCallback> result;
  result.reserve(list.size());
  for (const auto & callback : list) {
    result.push_back(*callback);
  }
  return result;
}

Context::OnShutdownCallback Context::on_shutdown(OnShutdownCallback callback)
{
  add_on_shutdown_callback(callback);
  return callback;
}

OnShutdownCallbackHandle Context::add_on_shutdown_callback(OnShutdownCallback callback)
{
  std::lock_guard<std::mutex> lock(mutex_);
  return add_callback(on_shutdown_callbacks_, std::move(callback));
}

bool Context::remove_on_shutdown_callback(const OnShutdownCallbackHandle & callback_handle)
{
  std::lock_guard<std::mutex> lock(mutex_);
  return remove_callback(on_shutdown_callbacks_, callback_handle);
}

PreShutdownCallbackHandle Context::add_pre_shutdown_callback(PreShutdownCallback callback)
{
  std::lock_guard<std::mutex> lock(mutex_);
  return add_callback(pre_shutdown_callbacks_, std::move(callback));
}

bool Context::remove_pre_shutdown_callback(const PreShutdownCallbackHandle & callback_handle)
{
  std::lock_guard<std::mutex> lock(mutex_);
  return remove_callback(pre_shutdown_callbacks_, callback_handle);
}

std::vector<Context::OnShutdownCallback> Context::get_on_shutdown_callbacks() const
{
  std::lock_guard<std::mutex> lock(mutex_);
  return copy_callbacks(on_shutdown_callbacks_);
}

bool Context::sleep_for(const std::chrono::nanoseconds & nanoseconds)
{
  const auto deadline = std::chrono::steady_clock::now() + nanoseconds;
  std::unique_lock<std::mutex> lock(sleep_mutex_);
  // An interrupt only ends the sleep early once the context is shut down.
  while (std::chrono::steady_clock::now() < deadline) {
    const uint64_t interrupts = sleep_interrupts_;
    sleep_condition_.wait_until(
        lock, deadline, [this, interrupts]() { return sleep_interrupts_ != interrupts; });
    lock.unlock();
    if (!is_valid()) {
      return false;
    }
    lock.lock();
  }
  lock.unlock();
  return is_valid();
}

void Context::interrupt_all_sleep_for()
{
  {
    std::lock_guard<std::mutex> lock(sleep_mutex_);
    ++sleep_interrupts_;
  }
  sleep_condition_.notify_all();
}

std::shared_ptr<const detail::HostArguments> Context::get_global_arguments_internal() const
{
  std::lock_guard<std::mutex> lock(mutex_);
  return global_arguments_;
}

std::shared_ptr<detail::Graph> Context::get_graph_internal() const
{
  return graph_;
}

namespace contexts {

DefaultContext::DefaultContext() = default;

DefaultContext::SharedPtr get_global_default_context()
{
  static DefaultContext::SharedPtr default_context = DefaultContext::make_shared();
  return default_context;
}

}  // namespace contexts
}  // namespace rclcpp
