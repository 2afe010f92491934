// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#ifndef GRAPH_HPP_
#define GRAPH_HPP_

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <utility>
#include <vector>

#include "rclcpp/client.hpp"
#include "rclcpp/publisher_base.hpp"
#include "rclcpp/service.hpp"
#include "rclcpp/subscription_base.hpp"
#include "rclcpp/topic_endpoint_info.hpp"
#include "rmw/types.h"

namespace rclcpp {
namespace detail {

/// The in-process graph of one context: nodes, topics with their publishers and
/// subscriptions, services with their servers and clients. Delivers messages and requests.
/// Endpoints register in their constructors and leave in their destructors, so the graph
/// holds plain pointers: a registered endpoint is always alive.
///
/// Locking: one reader/writer lock guards the registry; publishing and sending requests take
/// it shared, (un)registering takes it exclusively. Under it, only endpoint queue locks are
/// taken, never the other way round.
class Graph
{
public:
  Graph();

  /// @brief Register a node; returns its id.
  uint64_t add_node(const std::string & name, const std::string & namespace_);
  void remove_node(uint64_t id);
  /// @brief (name, namespace) of every node, in registration order.
  std::vector<std::pair<std::string, std::string>> get_node_names_and_namespaces() const;

  void add_publisher(PublisherBase & publisher);
  void remove_publisher(PublisherBase & publisher);
  void add_subscription(SubscriptionBase & subscription);
  void remove_subscription(SubscriptionBase & subscription);

  /// @brief Deliver a message of @p publisher to every matched subscription.
  void publish(PublisherBase & publisher, std::shared_ptr<const void> message);

  size_t count_publishers(const std::string & topic) const;
  size_t count_subscribers(const std::string & topic) const;
  size_t count_matched_subscriptions(const PublisherBase & publisher) const;
  size_t count_matched_publishers(const SubscriptionBase & subscription) const;

  /// @brief Endpoint descriptions of the publishers (or subscriptions) of @p topic.
  std::vector<rclcpp::TopicEndpointInfo> get_endpoint_info(
      const std::string & topic, bool publishers) const;

  std::map<std::string, std::vector<std::string>> get_topic_names_and_types() const;
  std::map<std::string, std::vector<std::string>> get_service_names_and_types() const;
  std::map<std::string, std::vector<std::string>> get_service_names_and_types_by_node(
      const std::string & node_name, const std::string & namespace_) const;

  void add_service(ServiceBase & service);
  void remove_service(ServiceBase & service);
  void add_client(ClientBase & client);
  void remove_client(ClientBase & client);

  /// @brief True if a server of the client's name and type exists.
  bool service_is_ready(const ClientBase & client) const;

  /// @brief Deliver a request to every server of the client's name and type.
  void send_request(
      ClientBase & client, const rmw_request_id_t & request_id,
      std::shared_ptr<const void> request);

  /// @brief A new globally unique endpoint id.
  rmw_gid_t make_gid();

  /// @brief Counter increased on every change of the graph (and on shutdown).
  uint64_t get_change_count() const;

  /// @brief Wake every wait_for_change() (graph changed or context shut down).
  void notify_change();

  /// @brief Wait until the change count differs from @p seen or the timeout passes.
  /// @return the change count at return.
  uint64_t wait_for_change(uint64_t seen, std::chrono::nanoseconds timeout) const;

private:
  struct TopicEntry
  {
    std::vector<PublisherBase *> publishers;
    std::vector<SubscriptionBase *> subscriptions;
  };

  struct ServiceEntry
  {
    std::vector<ServiceBase *> servers;
    std::vector<ClientBase *> clients;
  };

  static bool matches(const EndpointData & publisher, const EndpointData & subscription);
  static bool same_node(const EndpointData & a, const EndpointData & b);
  static bool same_service_type(const EndpointData & server, const EndpointData & client);

  mutable std::shared_mutex mutex_;
  std::map<uint64_t, std::pair<std::string, std::string>> nodes_;
  uint64_t next_node_id_{1};
  std::map<std::string, TopicEntry> topics_;
  std::map<std::string, ServiceEntry> services_;
  uint64_t next_gid_{1};

  mutable std::mutex change_mutex_;
  mutable std::condition_variable change_condition_;
  uint64_t change_count_{0};
};

}  // namespace detail
}  // namespace rclcpp

#endif  // GRAPH_HPP_
