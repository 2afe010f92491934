// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#include "rclcpp/publisher_base.hpp"

#include <cstring>
#include <utility>

#include "graph.hpp"
#include "rcl_node_impl.hpp"

namespace rclcpp {

PublisherBase::PublisherBase(
    rclcpp::node_interfaces::NodeBaseInterface * node_base, const std::string & topic,
    const char * type_name, const std::type_info & type, const rclcpp::QoS & qos)
    : endpoint_(detail::make_endpoint_data(
          node_base, topic, false, type_name, type, qos.get_rmw_qos_profile(),
          detail::EndpointRole::Writer)),
      requested_depth_(qos.depth()),
      graph_(endpoint_.node->graph)
{
  graph_->add_publisher(*this);
}

PublisherBase::~PublisherBase()
{
  graph_->remove_publisher(*this);
}

const char * PublisherBase::get_topic_name() const
{
  return endpoint_.name.c_str();
}

size_t PublisherBase::get_queue_size() const
{
  return requested_depth_;
}

const rmw_gid_t & PublisherBase::get_gid() const
{
  return endpoint_.gid;
}

size_t PublisherBase::get_subscription_count() const
{
  return graph_->count_matched_subscriptions(*this);
}

size_t PublisherBase::get_intra_process_subscription_count() const
{
  return get_subscription_count();
}

bool PublisherBase::assert_liveliness() const
{
  return true;
}

rclcpp::QoS PublisherBase::get_actual_qos() const
{
  rclcpp::QoS qos(rclcpp::QoSInitialization::from_rmw(endpoint_.qos), endpoint_.qos);
  return qos;
}

bool PublisherBase::can_loan_messages() const
{
  return false;
}

bool PublisherBase::operator==(const rmw_gid_t & gid) const
{
  return std::memcmp(gid.data, endpoint_.gid.data, RMW_GID_STORAGE_SIZE) == 0;
}

bool PublisherBase::operator==(const rmw_gid_t * gid) const
{
  return gid != nullptr && *this == *gid;
}

void PublisherBase::publish_type_erased(std::shared_ptr<const void> message)
{
  // Humble's publish() returns quietly once the context is shut down.
  if (!endpoint_.node->context->is_valid()) {
    return;
  }
  graph_->publish(*this, std::move(message));
}

}  // namespace rclcpp
