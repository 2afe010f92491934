// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#include "rclcpp/topic_endpoint_info.hpp"

#include <algorithm>

namespace rclcpp {

TopicEndpointInfo::TopicEndpointInfo(const rcl_topic_endpoint_info_t & info)
    : node_name_(info.node_name ? info.node_name : ""),
      node_namespace_(info.node_namespace ? info.node_namespace : ""),
      topic_type_(info.topic_type ? info.topic_type : ""),
      endpoint_type_(static_cast<rclcpp::EndpointType>(info.endpoint_type)),
      endpoint_gid_{},
      qos_profile_(QoSInitialization::from_rmw(info.qos_profile), info.qos_profile)
{
  std::copy(info.endpoint_gid, info.endpoint_gid + RMW_GID_STORAGE_SIZE, endpoint_gid_.begin());
  // from_rmw() maps every non-KEEP_ALL history to KEEP_LAST; keep what the graph said.
  qos_profile_.get_rmw_qos_profile().history = info.qos_profile.history;
}

std::string & TopicEndpointInfo::node_name()
{
  return node_name_;
}

const std::string & TopicEndpointInfo::node_name() const
{
  return node_name_;
}

std::string & TopicEndpointInfo::node_namespace()
{
  return node_namespace_;
}

const std::string & TopicEndpointInfo::node_namespace() const
{
  return node_namespace_;
}

std::string & TopicEndpointInfo::topic_type()
{
  return topic_type_;
}

const std::string & TopicEndpointInfo::topic_type() const
{
  return topic_type_;
}

rclcpp::EndpointType & TopicEndpointInfo::endpoint_type()
{
  return endpoint_type_;
}

const rclcpp::EndpointType & TopicEndpointInfo::endpoint_type() const
{
  return endpoint_type_;
}

std::array<uint8_t, RMW_GID_STORAGE_SIZE> & TopicEndpointInfo::endpoint_gid()
{
  return endpoint_gid_;
}

const std::array<uint8_t, RMW_GID_STORAGE_SIZE> & TopicEndpointInfo::endpoint_gid() const
{
  return endpoint_gid_;
}

rclcpp::QoS & TopicEndpointInfo::qos_profile()
{
  return qos_profile_;
}

const rclcpp::QoS & TopicEndpointInfo::qos_profile() const
{
  return qos_profile_;
}

}  // namespace rclcpp
