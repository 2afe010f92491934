// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#ifndef RCLCPP__SUBSCRIPTION_OPTIONS_HPP_
#define RCLCPP__SUBSCRIPTION_OPTIONS_HPP_

#include <memory>

#include "rclcpp/callback_group.hpp"
#include "rclcpp/intra_process_setting.hpp"
#include "rclcpp/qos_overriding_options.hpp"

namespace rclcpp {

/// Non-templated part of the subscription options.
struct SubscriptionOptionsBase
{
  bool use_default_callbacks = true;
  /// If true, messages from publishers of the same node are not received.
  bool ignore_local_publications = false;
  /// The group whose executor runs the callback; null means the node's default group.
  std::shared_ptr<rclcpp::CallbackGroup> callback_group = nullptr;
  /// Kept for API compatibility; delivery is always in-process.
  IntraProcessSetting use_intra_process_comm = IntraProcessSetting::NodeDefault;
  /// Policies that may be overridden through parameters (declared at creation).
  QosOverridingOptions qos_overriding_options;
};

/// Subscription options with an allocator (the allocator is not used).
template <typename Allocator>
struct SubscriptionOptionsWithAllocator : public SubscriptionOptionsBase
{
  std::shared_ptr<Allocator> allocator = nullptr;

  SubscriptionOptionsWithAllocator<Allocator>() {}

  explicit SubscriptionOptionsWithAllocator(
      const SubscriptionOptionsBase & subscription_options_base)
      : SubscriptionOptionsBase(subscription_options_base)
  {}
};

using SubscriptionOptions = SubscriptionOptionsWithAllocator<std::allocator<void>>;

}  // namespace rclcpp

#endif  // RCLCPP__SUBSCRIPTION_OPTIONS_HPP_
