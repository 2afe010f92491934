// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#include "rclcpp/subscription_base.hpp"

#include <chrono>
#include <utility>

#include "graph.hpp"
#include "rcl_node_impl.hpp"

namespace rclcpp {

SubscriptionBase::SubscriptionBase(
    rclcpp::node_interfaces::NodeBaseInterface * node_base, const std::string & topic_name,
    const char * type_name, const std::type_info & type, const rclcpp::QoS & qos,
    const rclcpp::CallbackGroup::SharedPtr & group, bool ignore_local_publications)
    : endpoint_(detail::make_endpoint_data(
          node_base, topic_name, false, type_name, type, qos.get_rmw_qos_profile(),
          detail::EndpointRole::Reader)),
      ignore_local_publications_(ignore_local_publications),
      queue_limit_(
          endpoint_.qos.history == RMW_QOS_POLICY_HISTORY_KEEP_ALL ? 0 : endpoint_.qos.depth),
      graph_(endpoint_.node->graph)
{
  set_executable_group(group);
  graph_->add_subscription(*this);
}

SubscriptionBase::~SubscriptionBase()
{
  graph_->remove_subscription(*this);
}

const char * SubscriptionBase::get_topic_name() const
{
  return endpoint_.name.c_str();
}

rclcpp::QoS SubscriptionBase::get_actual_qos() const
{
  rclcpp::QoS qos(rclcpp::QoSInitialization::from_rmw(endpoint_.qos), endpoint_.qos);
  return qos;
}

size_t SubscriptionBase::get_publisher_count() const
{
  return graph_->count_matched_publishers(*this);
}

bool SubscriptionBase::is_serialized() const
{
  return false;
}

bool SubscriptionBase::can_loan_messages() const
{
  return false;
}

detail::ExecutableEntity::Kind SubscriptionBase::executable_kind() const
{
  return Kind::Subscription;
}

bool SubscriptionBase::has_work()
{
  return queued_.load() > 0;
}

bool SubscriptionBase::take_type_erased(
    std::shared_ptr<const void> & message, rmw_message_info_t & info)
{
  std::lock_guard<std::mutex> lock(queue_mutex_);
  if (queue_.empty()) {
    return false;
  }
  message = std::move(queue_.front().message);
  info = queue_.front().info;
  queue_.pop_front();
  queued_.store(queue_.size());
  return true;
}

void SubscriptionBase::deliver(
    const std::shared_ptr<const void> & message, const rmw_message_info_t & info)
{
  {
    std::lock_guard<std::mutex> lock(queue_mutex_);
    QueuedMessage queued{message, info};
    queued.info.received_timestamp = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                         std::chrono::system_clock::now().time_since_epoch())
                                         .count();
    queued.info.reception_sequence_number = ++reception_sequence_number_;
    queue_.push_back(std::move(queued));
    // Keep-last: the oldest untaken samples make room for new ones.
    while (queue_limit_ > 0 && queue_.size() > queue_limit_) {
      queue_.pop_front();
    }
    queued_.store(queue_.size());
  }
  notify_executor();
}

}  // namespace rclcpp
