// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#ifndef RCLCPP__PUBLISHER_OPTIONS_HPP_
#define RCLCPP__PUBLISHER_OPTIONS_HPP_

#include <memory>

#include "rclcpp/callback_group.hpp"
#include "rclcpp/intra_process_setting.hpp"
#include "rclcpp/qos_overriding_options.hpp"

namespace rclcpp {

/// Non-templated part of the publisher options.
struct PublisherOptionsBase
{
  /// Kept for API compatibility; delivery is always in-process.
  IntraProcessSetting use_intra_process_comm = IntraProcessSetting::NodeDefault;
  bool use_default_callbacks = true;
  /// Callback group of the publisher's events (unused: no events are raised).
  std::shared_ptr<rclcpp::CallbackGroup> callback_group;
  /// Policies that may be overridden through parameters (declared at creation).
  QosOverridingOptions qos_overriding_options;
};

/// Publisher options with an allocator (the allocator is not used).
template <typename Allocator>
struct PublisherOptionsWithAllocator : public PublisherOptionsBase
{
  std::shared_ptr<Allocator> allocator = nullptr;

  PublisherOptionsWithAllocator<Allocator>() {}

  explicit PublisherOptionsWithAllocator(const PublisherOptionsBase & publisher_options_base)
      : PublisherOptionsBase(publisher_options_base)
  {}
};

using PublisherOptions = PublisherOptionsWithAllocator<std::allocator<void>>;

}  // namespace rclcpp

#endif  // RCLCPP__PUBLISHER_OPTIONS_HPP_
