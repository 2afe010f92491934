// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#include "rclcpp/expand_topic_or_service_name.hpp"

#include <stdexcept>
#include <string>

#include "rclcpp/detail/host_names.hpp"
#include "rclcpp/exceptions.hpp"

namespace rclcpp {

namespace {

[[noreturn]] void throw_name_error(
    const std::string & name, const detail::NameCheck & check, bool is_service)
{
  if (is_service) {
    throw exceptions::InvalidServiceNameError(name.c_str(), check.error, check.index);
  }
  throw exceptions::InvalidTopicNameError(name.c_str(), check.error, check.index);
}

}  // namespace

std::string expand_topic_or_service_name(
    const std::string & name, const std::string & node_name, const std::string & namespace_,
    bool is_service)
{
  std::string expanded;
  switch (detail::expand_topic_name(name, node_name, namespace_, expanded)) {
    case detail::ExpandStatus::Ok:
      break;
    case detail::ExpandStatus::InvalidTopicName:
    case detail::ExpandStatus::UnknownSubstitution: {
      // The input is checked again to report it; an unknown substitution passes that
      // check, which ends in the same generic error the ROS client library gives.
      const detail::NameCheck input = detail::check_topic_name_input(name);
      if (!input.valid()) {
        throw_name_error(name, input, is_service);
      }
      throw std::runtime_error("topic name unexpectedly valid");
    }
    case detail::ExpandStatus::InvalidNodeName: {
      const detail::NameCheck check = detail::check_node_name(node_name);
      throw exceptions::InvalidNodeNameError(node_name.c_str(), check.error, check.index);
    }
    case detail::ExpandStatus::InvalidNamespace: {
      const detail::NameCheck check = detail::check_namespace(namespace_);
      throw exceptions::InvalidNamespaceError(namespace_.c_str(), check.error, check.index);
    }
  }
  const detail::NameCheck full = detail::check_full_topic_name(expanded);
  if (!full.valid()) {
    throw_name_error(expanded, full, is_service);
  }
  return expanded;
}

}  // namespace rclcpp
