// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#ifndef RCLCPP__PUBLISHER_HPP_
#define RCLCPP__PUBLISHER_HPP_

#include <memory>
#include <string>
#include <type_traits>
#include <typeinfo>
#include <utility>

#include "rclcpp/macros.hpp"
#include "rclcpp/publisher_base.hpp"
#include "rclcpp/publisher_options.hpp"
#include "rclcpp/qos.hpp"
#include "rosidl_runtime_cpp/traits.hpp"

namespace rclcpp {

/// A publisher of messages of type MessageT. publish() is thread-safe; each matched
/// subscription receives the messages of one publisher in publish order.
template <typename MessageT, typename AllocatorT = std::allocator<void>>
class Publisher : public PublisherBase
{
public:
  using ROSMessageType = MessageT;
  using MessageUniquePtr = std::unique_ptr<MessageT>;
  using MessageSharedPtr = std::shared_ptr<const MessageT>;

  RCLCPP_SMART_PTR_DEFINITIONS(Publisher<MessageT, AllocatorT>)

  /// @brief Create a publisher; prefer Node::create_publisher().
  Publisher(
      rclcpp::node_interfaces::NodeBaseInterface * node_base, const std::string & topic,
      const rclcpp::QoS & qos, const rclcpp::PublisherOptionsWithAllocator<AllocatorT> & options)
      : PublisherBase(
            node_base, topic, rosidl_generator_traits::name<MessageT>(), typeid(MessageT), qos),
        options_(options)
  {}

  virtual ~Publisher() = default;

  /// @brief Publish a message, taking ownership (no copy). Returns silently once the context
  /// is shut down.
  template <typename T>
  std::enable_if_t<
      rosidl_generator_traits::is_message<T>::value && std::is_same<T, ROSMessageType>::value>
  publish(std::unique_ptr<T> msg)
  {
    publish_type_erased(std::shared_ptr<const MessageT>(std::move(msg)));
  }

  /// @brief Publish a copy of @p msg. Returns silently once the context is shut down.
  template <typename T>
  std::enable_if_t<
      rosidl_generator_traits::is_message<T>::value && std::is_same<T, ROSMessageType>::value>
  publish(const T & msg)
  {
    publish_type_erased(std::make_shared<const MessageT>(msg));
  }

private:
  const rclcpp::PublisherOptionsWithAllocator<AllocatorT> options_;
};

}  // namespace rclcpp

#endif  // RCLCPP__PUBLISHER_HPP_
