// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

/// @file rclcpp/expand_topic_or_service_name.hpp
/// @brief Expansion of a topic or service name to its fully qualified form.

#ifndef RCLCPP__EXPAND_TOPIC_OR_SERVICE_NAME_HPP_
#define RCLCPP__EXPAND_TOPIC_OR_SERVICE_NAME_HPP_

#include <string>

namespace rclcpp {

/// Expands a topic or service name and checks the result.
/**
 * `~` becomes `<namespace>/<node_name>`, `{node}` the node name, `{ns}` and `{namespace}`
 * the namespace, and a relative name is prefixed by the namespace. No remapping is applied.
 * Thread-safe (pure function).
 *
 * @param name topic or service name as given by the user.
 * @param node_name a valid node name.
 * @param namespace_ a valid absolute node namespace.
 * @param is_service report faults as service-name errors.
 * @return the fully qualified name, e.g. `/ns/node/x`.
 * @throws rclcpp::exceptions::InvalidTopicNameError / InvalidServiceNameError for a bad
 *   input (reporting @p name) or a bad expansion (reporting the expanded name);
 *   InvalidNodeNameError / InvalidNamespaceError for a bad node name / namespace;
 *   std::runtime_error `topic name unexpectedly valid` for an unknown substitution.
 */
std::string expand_topic_or_service_name(
    const std::string & name, const std::string & node_name, const std::string & namespace_,
    bool is_service = false);

}  // namespace rclcpp

#endif  // RCLCPP__EXPAND_TOPIC_OR_SERVICE_NAME_HPP_
