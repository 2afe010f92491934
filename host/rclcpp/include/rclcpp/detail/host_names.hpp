// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

/// @file rclcpp/detail/host_names.hpp
/// @brief Name checks and topic name expansion with the rules and messages of the ROS 2
/// C layers (rcl input checks, rmw checks of fully qualified names, node names and
/// namespaces). All functions are pure and thread-safe.

#ifndef RCLCPP__DETAIL__HOST_NAMES_HPP_
#define RCLCPP__DETAIL__HOST_NAMES_HPP_

#include <cstddef>
#include <string>

namespace rclcpp {
namespace detail {

/// Result of a name check: valid, or the first fault's message and character index.
struct NameCheck
{
  const char * error = nullptr;
  size_t index = 0;

  bool valid() const
  {
    return error == nullptr;
  }
};

/// Longest fully qualified topic name (255 minus 8 reserved for middleware prefixes).
constexpr size_t kTopicMaxNameLength = 255U - 8U;
/// Longest namespace.
constexpr size_t kNamespaceMaxLength = kTopicMaxNameLength - 2U;
/// Longest node name.
constexpr size_t kNodeNameMaxLength = 255U;

/// Checks a topic or service name as the user wrote it (before expansion): may be
/// relative, start with `~`, hold `{substitutions}`. Does not check `//` or the length.
NameCheck check_topic_name_input(const std::string & name);

/// Checks a fully expanded topic or service name (absolute, no `//`, length).
NameCheck check_full_topic_name(const std::string & name);

/// Checks a node name (alphanumerics and `_`, not starting with a digit, length).
NameCheck check_node_name(const std::string & name);

/// Checks an absolute namespace (`/` alone is valid).
NameCheck check_namespace(const std::string & namespace_);

/// Outcome of expand_topic_name().
enum class ExpandStatus {
  Ok,
  InvalidTopicName,
  InvalidNodeName,
  InvalidNamespace,
  UnknownSubstitution
};

/// Expands @p name for a node; on success writes the result to @p output.
/** The result is not checked with check_full_topic_name(). */
ExpandStatus expand_topic_name(
    const std::string & name, const std::string & node_name, const std::string & namespace_,
    std::string & output);

}  // namespace detail
}  // namespace rclcpp

#endif  // RCLCPP__DETAIL__HOST_NAMES_HPP_
