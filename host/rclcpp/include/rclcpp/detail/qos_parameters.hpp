// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#ifndef RCLCPP__DETAIL__QOS_PARAMETERS_HPP_
#define RCLCPP__DETAIL__QOS_PARAMETERS_HPP_

#include <string>

#include "rclcpp/node_interfaces/node_parameters_interface.hpp"
#include "rclcpp/qos.hpp"
#include "rclcpp/qos_overriding_options.hpp"
#include "rclcpp/visibility_control.hpp"

namespace rclcpp {
namespace detail {

/// @brief Declare the read-only parameters
/// `qos_overrides.<topic>.<entity>[_<id>].<policy>` for the policies listed in @p options
/// (already declared ones are reused) and return @p default_qos with their values applied.
/// @param entity "publisher" or "subscription".
/// @throws rclcpp::exceptions::InvalidQosOverridesException if the validation callback
/// refuses the result or a value is not understood.
RCLCPP_PUBLIC rclcpp::QoS declare_qos_parameters(
    const rclcpp::QosOverridingOptions & options,
    rclcpp::node_interfaces::NodeParametersInterface & parameters, const std::string & topic_name,
    const rclcpp::QoS & default_qos, const std::string & entity);

}  // namespace detail
}  // namespace rclcpp

#endif  // RCLCPP__DETAIL__QOS_PARAMETERS_HPP_
