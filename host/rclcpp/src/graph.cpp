// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#include "graph.hpp"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>

#include "rclcpp/logger.hpp"
#include "rclcpp/logging.hpp"
#include "rclcpp/qos.hpp"

#include "rcl_node_impl.hpp"

namespace rclcpp {
namespace detail {
namespace {

const char kImplementationIdentifier[] = "rmw_inprocess_cpp";

template <typename T>
void erase_pointer(std::vector<T *> & list, const T * item)
{
  list.erase(std::remove(list.begin(), list.end(), item), list.end());
}

int64_t now_ns()
{
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

// The policy that makes the pair incompatible, or RMW_QOS_POLICY_INVALID if they match.
rmw_qos_policy_kind_t incompatible_policy(const EndpointData & pub, const EndpointData & sub)
{
  if (pub.qos.durability == RMW_QOS_POLICY_DURABILITY_VOLATILE &&
      sub.qos.durability == RMW_QOS_POLICY_DURABILITY_TRANSIENT_LOCAL) {
    return RMW_QOS_POLICY_DURABILITY;
  }
  if (pub.qos.reliability == RMW_QOS_POLICY_RELIABILITY_BEST_EFFORT &&
      sub.qos.reliability == RMW_QOS_POLICY_RELIABILITY_RELIABLE) {
    return RMW_QOS_POLICY_RELIABILITY;
  }
  return RMW_QOS_POLICY_INVALID;
}

bool same_type(const EndpointData & a, const EndpointData & b)
{
  return a.type_name == b.type_name && a.type != nullptr && b.type != nullptr && *a.type == *b.type;
}

void warn_incompatible(const EndpointData & pub, const EndpointData & sub, bool new_subscription)
{
  const rmw_qos_policy_kind_t policy = incompatible_policy(pub, sub);
  if (policy == RMW_QOS_POLICY_INVALID || !same_type(pub, sub)) {
    return;
  }
  const std::string policy_name = rclcpp::qos_policy_name_from_kind(policy);
  if (new_subscription) {
    RCLCPP_WARN(
        rclcpp::get_logger(pub.node->logger_name),
        "New subscription discovered on topic '%s', requesting incompatible QoS. "
        "No messages will be sent to it. Last incompatible policy: %s",
        pub.name.c_str(), policy_name.c_str());
  } else {
    RCLCPP_WARN(
        rclcpp::get_logger(sub.node->logger_name),
        "New publisher discovered on topic '%s', offering incompatible QoS. "
        "No messages will be sent to it. Last incompatible policy: %s",
        sub.name.c_str(), policy_name.c_str());
  }
}

rcl_topic_endpoint_info_t to_rcl_info(const EndpointData & endpoint, rmw_endpoint_type_t kind)
{
  rcl_topic_endpoint_info_t info{};
  info.node_name = endpoint.node->name.c_str();
  info.node_namespace = endpoint.node->namespace_.c_str();
  info.topic_type = endpoint.type_name.c_str();
  info.endpoint_type = kind;
  std::memcpy(info.endpoint_gid, endpoint.gid.data, RMW_GID_STORAGE_SIZE);
  info.qos_profile = endpoint.qos;
  return info;
}

void add_type(std::vector<std::string> & types, const std::string & type)
{
  if (std::find(types.begin(), types.end(), type) == types.end()) {
    types.push_back(type);
  }
}

}  // namespace

Graph::Graph() = default;

bool Graph::matches(const EndpointData & publisher, const EndpointData & subscription)
{
  return same_type(publisher, subscription) &&
         incompatible_policy(publisher, subscription) == RMW_QOS_POLICY_INVALID;
}

bool Graph::same_node(const EndpointData & a, const EndpointData & b)
{
  return a.node == b.node;
}

bool Graph::same_service_type(const EndpointData & server, const EndpointData & client)
{
  return same_type(server, client);
}

uint64_t Graph::add_node(const std::string & name, const std::string & namespace_)
{
  uint64_t id = 0;
  {
    std::unique_lock<std::shared_mutex> lock(mutex_);
    id = next_node_id_++;
    nodes_.emplace(id, std::make_pair(name, namespace_));
  }
  notify_change();
  return id;
}

void Graph::remove_node(uint64_t id)
{
  {
    std::unique_lock<std::shared_mutex> lock(mutex_);
    nodes_.erase(id);
  }
  notify_change();
}

std::vector<std::pair<std::string, std::string>> Graph::get_node_names_and_namespaces() const
{
  std::shared_lock<std::shared_mutex> lock(mutex_);
  std::vector<std::pair<std::string, std::string>> result;
  result.reserve(nodes_.size());
  for (const auto & entry : nodes_) {
    result.push_back(entry.second);
  }
  return result;
}

void Graph::add_publisher(PublisherBase & publisher)
{
  {
    std::unique_lock<std::shared_mutex> lock(mutex_);
    auto & topic = topics_[publisher.endpoint_.name];
    topic.publishers.push_back(&publisher);
    for (const SubscriptionBase * subscription : topic.subscriptions) {
      warn_incompatible(publisher.endpoint_, subscription->endpoint_, false);
    }
  }
  notify_change();
}

void Graph::remove_publisher(PublisherBase & publisher)
{
  {
    std::unique_lock<std::shared_mutex> lock(mutex_);
    auto it = topics_.find(publisher.endpoint_.name);
    if (it != topics_.end()) {
      erase_pointer(it->second.publishers, &publisher);
      if (it->second.publishers.empty() && it->second.subscriptions.empty()) {
        topics_.erase(it);
      }
    }
  }
  notify_change();
}

void Graph::add_subscription(SubscriptionBase & subscription)
{
  {
    std::unique_lock<std::shared_mutex> lock(mutex_);
    auto & topic = topics_[subscription.endpoint_.name];
    topic.subscriptions.push_back(&subscription);
    for (PublisherBase * publisher : topic.publishers) {
      warn_incompatible(publisher->endpoint_, subscription.endpoint_, true);
      if (!matches(publisher->endpoint_, subscription.endpoint_) ||
          (subscription.ignore_local_publications_ &&
           same_node(publisher->endpoint_, subscription.endpoint_))) {
        continue;
      }
      // A matched transient-local pair: the late subscription gets the stored samples.
      if (subscription.endpoint_.qos.durability == RMW_QOS_POLICY_DURABILITY_TRANSIENT_LOCAL) {
        for (const auto & sample : publisher->history_) {
          subscription.deliver(sample.message, sample.info);
        }
      }
    }
  }
  notify_change();
}

void Graph::remove_subscription(SubscriptionBase & subscription)
{
  {
    std::unique_lock<std::shared_mutex> lock(mutex_);
    auto it = topics_.find(subscription.endpoint_.name);
    if (it != topics_.end()) {
      erase_pointer(it->second.subscriptions, &subscription);
      if (it->second.publishers.empty() && it->second.subscriptions.empty()) {
        topics_.erase(it);
      }
    }
  }
  notify_change();
}

void Graph::publish(PublisherBase & publisher, std::shared_ptr<const void> message)
{
  rmw_message_info_t info{};
  info.source_timestamp = now_ns();
  info.received_timestamp = info.source_timestamp;
  info.publisher_gid = publisher.endpoint_.gid;
  info.from_intra_process = false;

  std::shared_lock<std::shared_mutex> lock(mutex_);
  // One publish at a time per publisher, so every subscription sees its samples in sequence
  // number order even when several threads publish at once.
  std::lock_guard<std::mutex> publish_lock(publisher.publish_mutex_);
  info.publication_sequence_number = ++publisher.sequence_number_;
  const auto & qos = publisher.endpoint_.qos;
  if (qos.durability == RMW_QOS_POLICY_DURABILITY_TRANSIENT_LOCAL) {
    publisher.history_.push_back({message, info});
    if (qos.history != RMW_QOS_POLICY_HISTORY_KEEP_ALL) {
      while (publisher.history_.size() > std::max<size_t>(qos.depth, 1)) {
        publisher.history_.pop_front();
      }
    }
  }
  auto it = topics_.find(publisher.endpoint_.name);
  if (it == topics_.end()) {
    return;
  }
  for (SubscriptionBase * subscription : it->second.subscriptions) {
    if (matches(publisher.endpoint_, subscription->endpoint_) &&
        !(subscription->ignore_local_publications_ &&
          same_node(publisher.endpoint_, subscription->endpoint_))) {
      subscription->deliver(message, info);
    }
  }
}

size_t Graph::count_publishers(const std::string & topic) const
{
  std::shared_lock<std::shared_mutex> lock(mutex_);
  auto it = topics_.find(topic);
  return it == topics_.end() ? 0 : it->second.publishers.size();
}

size_t Graph::count_subscribers(const std::string & topic) const
{
  std::shared_lock<std::shared_mutex> lock(mutex_);
  auto it = topics_.find(topic);
  return it == topics_.end() ? 0 : it->second.subscriptions.size();
}

size_t Graph::count_matched_subscriptions(const PublisherBase & publisher) const
{
  std::shared_lock<std::shared_mutex> lock(mutex_);
  auto it = topics_.find(publisher.endpoint_.name);
  if (it == topics_.end()) {
    return 0;
  }
  return static_cast<size_t>(std::count_if(
      it->second.subscriptions.begin(), it->second.subscriptions.end(),
      [&publisher](const SubscriptionBase * subscription) {
        return matches(publisher.endpoint_, subscription->endpoint_);
      }));
}

size_t Graph::count_matched_publishers(const SubscriptionBase & subscription) const
{
  std::shared_lock<std::shared_mutex> lock(mutex_);
  auto it = topics_.find(subscription.endpoint_.name);
  if (it == topics_.end()) {
    return 0;
  }
  return static_cast<size_t>(std::count_if(
      it->second.publishers.begin(), it->second.publishers.end(),
      [&subscription](const PublisherBase * publisher) {
        return matches(publisher->endpoint_, subscription.endpoint_);
      }));
}

std::vector<rclcpp::TopicEndpointInfo> Graph::get_endpoint_info(
    const std::string & topic, bool publishers) const
{
  std::shared_lock<std::shared_mutex> lock(mutex_);
  std::vector<rclcpp::TopicEndpointInfo> result;
  auto it = topics_.find(topic);
  if (it == topics_.end()) {
    return result;
  }
  if (publishers) {
    for (const PublisherBase * publisher : it->second.publishers) {
      result.emplace_back(to_rcl_info(publisher->endpoint_, RMW_ENDPOINT_PUBLISHER));
    }
  } else {
    for (const SubscriptionBase * subscription : it->second.subscriptions) {
      result.emplace_back(to_rcl_info(subscription->endpoint_, RMW_ENDPOINT_SUBSCRIPTION));
    }
  }
  return result;
}

std::map<std::string, std::vector<std::string>> Graph::get_topic_names_and_types() const
{
  std::shared_lock<std::shared_mutex> lock(mutex_);
  std::map<std::string, std::vector<std::string>> result;
  for (const auto & topic : topics_) {
    auto & types = result[topic.first];
    for (const PublisherBase * publisher : topic.second.publishers) {
      add_type(types, publisher->endpoint_.type_name);
    }
    for (const SubscriptionBase * subscription : topic.second.subscriptions) {
      add_type(types, subscription->endpoint_.type_name);
    }
  }
  return result;
}

std::map<std::string, std::vector<std::string>> Graph::get_service_names_and_types() const
{
  std::shared_lock<std::shared_mutex> lock(mutex_);
  std::map<std::string, std::vector<std::string>> result;
  for (const auto & service : services_) {
    auto & types = result[service.first];
    for (const ServiceBase * server : service.second.servers) {
      add_type(types, server->endpoint_.type_name);
    }
    for (const ClientBase * client : service.second.clients) {
      add_type(types, client->endpoint_.type_name);
    }
  }
  return result;
}

std::map<std::string, std::vector<std::string>> Graph::get_service_names_and_types_by_node(
    const std::string & node_name, const std::string & namespace_) const
{
  std::shared_lock<std::shared_mutex> lock(mutex_);
  std::map<std::string, std::vector<std::string>> result;
  for (const auto & service : services_) {
    for (const ServiceBase * server : service.second.servers) {
      if (server->endpoint_.node->name == node_name &&
          server->endpoint_.node->namespace_ == namespace_) {
        add_type(result[service.first], server->endpoint_.type_name);
      }
    }
  }
  return result;
}

void Graph::add_service(ServiceBase & service)
{
  {
    std::unique_lock<std::shared_mutex> lock(mutex_);
    services_[service.endpoint_.name].servers.push_back(&service);
  }
  notify_change();
}

void Graph::remove_service(ServiceBase & service)
{
  {
    std::unique_lock<std::shared_mutex> lock(mutex_);
    auto it = services_.find(service.endpoint_.name);
    if (it != services_.end()) {
      erase_pointer(it->second.servers, &service);
      if (it->second.servers.empty() && it->second.clients.empty()) {
        services_.erase(it);
      }
    }
  }
  notify_change();
}

void Graph::add_client(ClientBase & client)
{
  {
    std::unique_lock<std::shared_mutex> lock(mutex_);
    services_[client.endpoint_.name].clients.push_back(&client);
  }
  notify_change();
}

void Graph::remove_client(ClientBase & client)
{
  {
    std::unique_lock<std::shared_mutex> lock(mutex_);
    auto it = services_.find(client.endpoint_.name);
    if (it != services_.end()) {
      erase_pointer(it->second.clients, &client);
      if (it->second.servers.empty() && it->second.clients.empty()) {
        services_.erase(it);
      }
    }
  }
  notify_change();
}

bool Graph::service_is_ready(const ClientBase & client) const
{
  std::shared_lock<std::shared_mutex> lock(mutex_);
  auto it = services_.find(client.endpoint_.name);
  if (it == services_.end()) {
    return false;
  }
  return std::any_of(
      it->second.servers.begin(), it->second.servers.end(), [&client](const ServiceBase * server) {
        return same_service_type(server->endpoint_, client.endpoint_);
      });
}

void Graph::send_request(
    ClientBase & client, const rmw_request_id_t & request_id, std::shared_ptr<const void> request)
{
  std::shared_lock<std::shared_mutex> lock(mutex_);
  auto it = services_.find(client.endpoint_.name);
  if (it == services_.end()) {
    return;
  }
  for (ServiceBase * server : it->second.servers) {
    if (same_service_type(server->endpoint_, client.endpoint_)) {
      server->deliver_request(request_id, request, client.weak_from_this());
    }
  }
}

rmw_gid_t Graph::make_gid()
{
  std::unique_lock<std::shared_mutex> lock(mutex_);
  rmw_gid_t gid{};
  gid.implementation_identifier = kImplementationIdentifier;
  const uint64_t pid = static_cast<uint64_t>(::getpid());
  const uint64_t graph_address = reinterpret_cast<uintptr_t>(this);
  const uint64_t serial = next_gid_++;
  std::memcpy(gid.data, &pid, sizeof(pid));
  std::memcpy(gid.data + 8, &graph_address, sizeof(graph_address));
  std::memcpy(gid.data + 16, &serial, sizeof(serial));
  return gid;
}

uint64_t Graph::get_change_count() const
{
  std::lock_guard<std::mutex> lock(change_mutex_);
  return change_count_;
}

void Graph::notify_change()
{
  {
    std::lock_guard<std::mutex> lock(change_mutex_);
    ++change_count_;
  }
  change_condition_.notify_all();
}

uint64_t Graph::wait_for_change(uint64_t seen, std::chrono::nanoseconds timeout) const
{
  // Bounded so that "wait for ever" does not overflow the clock arithmetic.
  timeout = std::min<std::chrono::nanoseconds>(timeout, std::chrono::hours(1));
  std::unique_lock<std::mutex> lock(change_mutex_);
  change_condition_.wait_for(lock, timeout, [this, seen]() { return change_count_ != seen; });
  return change_count_;
}

}  // namespace detail
}  // namespace rclcpp
