// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#include "signal_handler.hpp"

#include <semaphore.h>

#include <atomic>
#include <cerrno>

#include "rclcpp/contexts/default_context.hpp"
#include "rclcpp/logging.hpp"

namespace rclcpp {
namespace detail {

struct SignalHandler::Run
{
  Run()
  {
    sem_init(&semaphore, 0, 0);
  }

  ~Run()
  {
    sem_destroy(&semaphore);
  }

  Run(const Run &) = delete;
  Run & operator=(const Run &) = delete;

  sem_t semaphore;
  std::atomic<bool> stop{false};
  std::atomic<int> signal_number{0};
};

namespace {
// The run the async signal handler posts to (kept alive by the SignalHandler meanwhile).
std::atomic<void *> g_current_run{nullptr};
}  // namespace

SignalHandler & SignalHandler::get_global_signal_handler()
{
  static SignalHandler handler;
  return handler;
}

void SignalHandler::handle_signal(int signum)
{
  auto * run = static_cast<Run *>(g_current_run.load());
  if (run != nullptr) {
    run->signal_number.store(signum);
    sem_post(&run->semaphore);
  }
}

void SignalHandler::watch(std::shared_ptr<Run> run)
{
  while (true) {
    if (sem_wait(&run->semaphore) != 0) {
      if (errno == EINTR) {
        continue;
      }
      return;
    }
    if (run->stop.load()) {
      return;
    }
    RCLCPP_INFO(
        rclcpp::get_logger("rclcpp"), "signal_handler(signum=%d)", run->signal_number.load());
    auto context = rclcpp::contexts::get_global_default_context();
    if (context->get_init_options().shutdown_on_signal) {
      rclcpp::shutdown(context, "signal handler");
    }
  }
}

bool SignalHandler::install(SignalHandlerOptions signal_handler_options)
{
  std::lock_guard<std::mutex> lock(mutex_);
  if (installed_) {
    return false;
  }
  if (signal_handler_options == SignalHandlerOptions::None) {
    return true;
  }
  run_ = std::make_shared<Run>();
  g_current_run.store(run_.get());
  watcher_ = std::thread(&SignalHandler::watch, run_);

  struct sigaction action
  {
  };
  action.sa_handler = &SignalHandler::handle_signal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;
  if (signal_handler_options == SignalHandlerOptions::All ||
      signal_handler_options == SignalHandlerOptions::SigInt) {
    sigaction(SIGINT, &action, &old_sigint_);
  }
  if (signal_handler_options == SignalHandlerOptions::All ||
      signal_handler_options == SignalHandlerOptions::SigTerm) {
    sigaction(SIGTERM, &action, &old_sigterm_);
  }
  options_ = signal_handler_options;
  installed_ = true;
  return true;
}

bool SignalHandler::uninstall()
{
  std::lock_guard<std::mutex> lock(mutex_);
  if (!installed_) {
    return false;
  }
  if (options_ == SignalHandlerOptions::All || options_ == SignalHandlerOptions::SigInt) {
    sigaction(SIGINT, &old_sigint_, nullptr);
  }
  if (options_ == SignalHandlerOptions::All || options_ == SignalHandlerOptions::SigTerm) {
    sigaction(SIGTERM, &old_sigterm_, nullptr);
  }
  g_current_run.store(nullptr);
  run_->stop.store(true);
  sem_post(&run_->semaphore);
  if (watcher_.get_id() == std::this_thread::get_id()) {
    // Shut down from the watcher itself: it leaves its loop right after returning.
    watcher_.detach();
  } else {
    watcher_.join();
  }
  run_.reset();
  options_ = SignalHandlerOptions::None;
  installed_ = false;
  return true;
}

bool SignalHandler::is_installed()
{
  std::lock_guard<std::mutex> lock(mutex_);
  return installed_;
}

SignalHandlerOptions SignalHandler::get_current_signal_handler_options()
{
  std::lock_guard<std::mutex> lock(mutex_);
  return options_;
}

}  // namespace detail
}  // namespace rclcpp
