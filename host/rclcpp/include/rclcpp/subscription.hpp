// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#ifndef RCLCPP__SUBSCRIPTION_HPP_
#define RCLCPP__SUBSCRIPTION_HPP_

#include <memory>
#include <string>
#include <typeinfo>
#include <utility>

#include "rclcpp/any_subscription_callback.hpp"
#include "rclcpp/macros.hpp"
#include "rclcpp/message_info.hpp"
#include "rclcpp/message_memory_strategy.hpp"
#include "rclcpp/qos.hpp"
#include "rclcpp/subscription_base.hpp"
#include "rclcpp/subscription_options.hpp"
#include "rosidl_runtime_cpp/traits.hpp"

namespace rclcpp {

/// A subscription to messages of type MessageT. Its callback runs on the executor that spins
/// its callback group, one message per execution, oldest first.
template <typename MessageT, typename AllocatorT = std::allocator<void>>
class Subscription : public SubscriptionBase
{
public:
  using MessageMemoryStrategyType =
      rclcpp::message_memory_strategy::MessageMemoryStrategy<MessageT, AllocatorT>;
  using ROSMessageType = MessageT;

  RCLCPP_SMART_PTR_DEFINITIONS(Subscription)

  /// @brief Create a subscription; prefer Node::create_subscription().
  Subscription(
      rclcpp::node_interfaces::NodeBaseInterface * node_base, const std::string & topic_name,
      const rclcpp::QoS & qos, AnySubscriptionCallback<MessageT, AllocatorT> callback,
      const rclcpp::SubscriptionOptionsWithAllocator<AllocatorT> & options,
      const rclcpp::CallbackGroup::SharedPtr & group)
      : SubscriptionBase(
            node_base, topic_name, rosidl_generator_traits::name<MessageT>(), typeid(MessageT), qos,
            group, options.ignore_local_publications),
        any_callback_(std::move(callback))
  {}

  virtual ~Subscription() = default;

  void execute_one() override
  {
    std::shared_ptr<const void> message;
    rmw_message_info_t info{};
    if (!take_type_erased(message, info)) {
      return;
    }
    any_callback_.dispatch(
        std::static_pointer_cast<const MessageT>(std::move(message)), rclcpp::MessageInfo(info));
  }

private:
  AnySubscriptionCallback<MessageT, AllocatorT> any_callback_;
};

}  // namespace rclcpp

#endif  // RCLCPP__SUBSCRIPTION_HPP_
