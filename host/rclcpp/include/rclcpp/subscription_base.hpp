// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#ifndef RCLCPP__SUBSCRIPTION_BASE_HPP_
#define RCLCPP__SUBSCRIPTION_BASE_HPP_

#include <atomic>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <typeinfo>

#include "rclcpp/callback_group.hpp"
#include "rclcpp/detail/executable_entity.hpp"
#include "rclcpp/detail/topic_endpoint.hpp"
#include "rclcpp/macros.hpp"
#include "rclcpp/node_interfaces/node_base_interface.hpp"
#include "rclcpp/qos.hpp"
#include "rclcpp/visibility_control.hpp"
#include "rmw/types.h"

namespace rclcpp {

namespace detail {
class Graph;
}

/// Type-independent part of a subscription: its place in the graph and its own queue of
/// received messages (keep-last N drops the oldest). Messages arrive on any thread; the
/// executor of the subscription's callback group takes them.
class RCLCPP_PUBLIC SubscriptionBase : public detail::ExecutableEntity,
                                       public std::enable_shared_from_this<SubscriptionBase>
{
public:
  RCLCPP_SMART_PTR_DEFINITIONS_NOT_COPYABLE(SubscriptionBase)

  /// @brief Resolve the topic name for the node and join the graph (late transient-local
  /// subscriptions receive the stored samples at once).
  /// @throws rclcpp::exceptions::InvalidTopicNameError for a bad name.
  SubscriptionBase(
      rclcpp::node_interfaces::NodeBaseInterface * node_base, const std::string & topic_name,
      const char * type_name, const std::type_info & type, const rclcpp::QoS & qos,
      const rclcpp::CallbackGroup::SharedPtr & group, bool ignore_local_publications);

  /// @brief Leaves the graph; nothing is delivered to it afterwards.
  virtual ~SubscriptionBase();

  SubscriptionBase(const SubscriptionBase &) = delete;
  SubscriptionBase & operator=(const SubscriptionBase &) = delete;

  /// @brief Fully expanded and remapped topic name.
  const char * get_topic_name() const;

  /// @brief The QoS in effect (system default reliability of a subscription is best effort).
  rclcpp::QoS get_actual_qos() const;

  /// @brief Number of QoS-compatible publishers of the same type on the topic.
  size_t get_publisher_count() const;

  bool is_serialized() const;

  bool can_loan_messages() const;

  Kind executable_kind() const override;

  bool has_work() override;

protected:
  /// @brief Take the oldest queued message; false if none.
  bool take_type_erased(std::shared_ptr<const void> & message, rmw_message_info_t & info);

private:
  friend class detail::Graph;

  /// @brief Queue a message (called by the graph under its lock).
  void deliver(const std::shared_ptr<const void> & message, const rmw_message_info_t & info);

  struct QueuedMessage
  {
    std::shared_ptr<const void> message;
    rmw_message_info_t info;
  };

  detail::EndpointData endpoint_;
  bool ignore_local_publications_;
  // 0: unbounded (keep all).
  size_t queue_limit_;
  std::shared_ptr<detail::Graph> graph_;

  std::mutex queue_mutex_;
  std::deque<QueuedMessage> queue_;
  std::atomic<size_t> queued_{0};
  uint64_t reception_sequence_number_{0};
};

}  // namespace rclcpp

#endif  // RCLCPP__SUBSCRIPTION_BASE_HPP_
