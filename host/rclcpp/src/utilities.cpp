// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#include "rclcpp/utilities.hpp"

#include <string>
#include <vector>

#include "rclcpp/contexts/default_context.hpp"
#include "rclcpp/detail/host_arguments.hpp"

#include "signal_handler.hpp"

namespace rclcpp {
namespace {

rclcpp::Context::SharedPtr or_default(rclcpp::Context::SharedPtr context)
{
  return context ? context : rclcpp::contexts::get_global_default_context();
}

std::vector<std::string> to_vector(int argc, char const * const * argv)
{
  std::vector<std::string> arguments;
  for (int i = 0; i < argc && argv != nullptr; ++i) {
    arguments.emplace_back(argv[i] ? argv[i] : "");
  }
  return arguments;
}

}  // namespace

void init(
    int argc, char const * const * argv, const InitOptions & init_options,
    SignalHandlerOptions signal_handler_options)
{
  rclcpp::contexts::get_global_default_context()->init(argc, argv, init_options);
  if (signal_handler_options != SignalHandlerOptions::None) {
    install_signal_handlers(signal_handler_options);
  }
}

bool install_signal_handlers(SignalHandlerOptions signal_handler_options)
{
  return detail::SignalHandler::get_global_signal_handler().install(signal_handler_options);
}

bool signal_handlers_installed()
{
  return detail::SignalHandler::get_global_signal_handler().is_installed();
}

SignalHandlerOptions get_current_signal_handler_options()
{
  return detail::SignalHandler::get_global_signal_handler().get_current_signal_handler_options();
}

bool uninstall_signal_handlers()
{
  return detail::SignalHandler::get_global_signal_handler().uninstall();
}

std::vector<std::string> init_and_remove_ros_arguments(
    int argc, char const * const * argv, const InitOptions & init_options)
{
  init(argc, argv, init_options);
  return remove_ros_arguments(argc, argv);
}

std::vector<std::string> remove_ros_arguments(int argc, char const * const * argv)
{
  return detail::remove_ros_arguments(to_vector(argc, argv));
}

bool ok(rclcpp::Context::SharedPtr context)
{
  return or_default(std::move(context))->is_valid();
}

bool shutdown(rclcpp::Context::SharedPtr context, const std::string & reason)
{
  auto default_context = rclcpp::contexts::get_global_default_context();
  context = or_default(std::move(context));
  const bool ret = context->shutdown(reason);
  if (context == default_context) {
    uninstall_signal_handlers();
  }
  return ret;
}

void on_shutdown(std::function<void()> callback, rclcpp::Context::SharedPtr context)
{
  or_default(std::move(context))->on_shutdown(std::move(callback));
}

bool sleep_for(const std::chrono::nanoseconds & nanoseconds, rclcpp::Context::SharedPtr context)
{
  return or_default(std::move(context))->sleep_for(nanoseconds);
}

const char * get_c_string(const char * string_in)
{
  return string_in;
}

const char * get_c_string(const std::string & string_in)
{
  return string_in.c_str();
}

}  // namespace rclcpp
