// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#ifndef RCLCPP__PUBLISHER_BASE_HPP_
#define RCLCPP__PUBLISHER_BASE_HPP_

#include <atomic>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <typeinfo>

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

/// Type-independent part of a publisher: its place in the graph and its QoS.
/// All members are thread-safe.
class RCLCPP_PUBLIC PublisherBase : public std::enable_shared_from_this<PublisherBase>
{
public:
  RCLCPP_SMART_PTR_DEFINITIONS(PublisherBase)

  /// @brief Resolve the topic name for the node and join the graph.
  /// @throws rclcpp::exceptions::InvalidTopicNameError for a bad name.
  PublisherBase(
      rclcpp::node_interfaces::NodeBaseInterface * node_base, const std::string & topic,
      const char * type_name, const std::type_info & type, const rclcpp::QoS & qos);

  /// @brief Leaves the graph; nothing is delivered through it afterwards.
  virtual ~PublisherBase();

  PublisherBase(const PublisherBase &) = delete;
  PublisherBase & operator=(const PublisherBase &) = delete;

  /// @brief Fully expanded and remapped topic name.
  const char * get_topic_name() const;

  /// @brief The history depth asked for.
  size_t get_queue_size() const;

  const rmw_gid_t & get_gid() const;

  /// @brief Number of QoS-compatible subscriptions of the same type on the topic.
  size_t get_subscription_count() const;

  /// @brief Same as get_subscription_count(): every subscription is in-process.
  size_t get_intra_process_subscription_count() const;

  /// @brief Always true (liveliness is automatic).
  bool assert_liveliness() const;

  /// @brief The QoS in effect, middleware defaults resolved (system default reliability of a
  /// publisher is reliable, durability volatile, depth 0 means 1).
  rclcpp::QoS get_actual_qos() const;

  bool can_loan_messages() const;

  bool operator==(const rmw_gid_t & gid) const;
  bool operator==(const rmw_gid_t * gid) const;

protected:
  /// @brief Hand a message to every matched subscription (and keep it for late
  /// transient-local subscriptions). Returns silently once the context is shut down.
  void publish_type_erased(std::shared_ptr<const void> message);

private:
  friend class detail::Graph;

  struct StoredSample
  {
    std::shared_ptr<const void> message;
    rmw_message_info_t info;
  };

  detail::EndpointData endpoint_;
  size_t requested_depth_;
  std::shared_ptr<detail::Graph> graph_;
  // Serialises publishing; guards sequence_number_ and history_ (with the graph lock).
  std::mutex publish_mutex_;
  uint64_t sequence_number_{0};
  // Samples kept for late-joining transient-local subscriptions.
  std::deque<StoredSample> history_;
};

}  // namespace rclcpp

#endif  // RCLCPP__PUBLISHER_BASE_HPP_
