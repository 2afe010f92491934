// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#ifndef RCLCPP__TOPIC_ENDPOINT_INFO_HPP_
#define RCLCPP__TOPIC_ENDPOINT_INFO_HPP_

#include <array>
#include <cstdint>
#include <string>

#include "rcl/graph.h"
#include "rclcpp/qos.hpp"
#include "rclcpp/visibility_control.hpp"

namespace rclcpp {

/// Kind of a topic endpoint.
enum class EndpointType {
  Invalid = RMW_ENDPOINT_INVALID,
  Publisher = RMW_ENDPOINT_PUBLISHER,
  Subscription = RMW_ENDPOINT_SUBSCRIPTION
};

/// One publisher or subscription of a topic as the graph reports it: owning node, message
/// type, kind, gid and QoS (history and depth as in effect).
class RCLCPP_PUBLIC TopicEndpointInfo
{
public:
  /// @brief Copy the strings and values of the C struct.
  explicit TopicEndpointInfo(const rcl_topic_endpoint_info_t & info);

  std::string & node_name();
  const std::string & node_name() const;
  std::string & node_namespace();
  const std::string & node_namespace() const;
  /// @brief The message type, "pkg/msg/Type".
  std::string & topic_type();
  const std::string & topic_type() const;
  rclcpp::EndpointType & endpoint_type();
  const rclcpp::EndpointType & endpoint_type() const;
  std::array<uint8_t, RMW_GID_STORAGE_SIZE> & endpoint_gid();
  const std::array<uint8_t, RMW_GID_STORAGE_SIZE> & endpoint_gid() const;
  rclcpp::QoS & qos_profile();
  const rclcpp::QoS & qos_profile() const;

private:
  std::string node_name_;
  std::string node_namespace_;
  std::string topic_type_;
  rclcpp::EndpointType endpoint_type_;
  std::array<uint8_t, RMW_GID_STORAGE_SIZE> endpoint_gid_;
  rclcpp::QoS qos_profile_;
};

}  // namespace rclcpp

#endif  // RCLCPP__TOPIC_ENDPOINT_INFO_HPP_
