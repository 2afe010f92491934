// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

/// @file rclcpp/node_interfaces/node_parameters_interface.hpp
/// @brief The parameters part of a node (NodeParametersInterface) and the handle of an
/// on-set-parameters callback.

#ifndef RCLCPP__NODE_INTERFACES__NODE_PARAMETERS_INTERFACE_HPP_
#define RCLCPP__NODE_INTERFACES__NODE_PARAMETERS_INTERFACE_HPP_

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "rcl_interfaces/msg/list_parameters_result.hpp"
#include "rcl_interfaces/msg/parameter_descriptor.hpp"
#include "rcl_interfaces/msg/set_parameters_result.hpp"
#include "rclcpp/macros.hpp"
#include "rclcpp/parameter.hpp"
#include "rclcpp/parameter_value.hpp"

namespace rclcpp {
namespace node_interfaces {

/// Keeps an on-set-parameters callback registered for as long as the handle lives.
struct OnSetParametersCallbackHandle
{
  RCLCPP_SMART_PTR_DEFINITIONS(OnSetParametersCallbackHandle)

  /// Validates a set of parameters about to be set; `successful = false` rejects all.
  using OnParametersSetCallbackType = std::function<rcl_interfaces::msg::SetParametersResult(
      const std::vector<rclcpp::Parameter> &)>;

  OnParametersSetCallbackType callback;
};

/// The parameter operations of a node. Implementations are thread-safe.
/** See rclcpp::Node for the meaning of each operation and what it throws. */
class NodeParametersInterface
{
public:
  RCLCPP_SMART_PTR_ALIASES_ONLY(NodeParametersInterface)

  using OnParametersSetCallbackType = OnSetParametersCallbackHandle::OnParametersSetCallbackType;

  virtual ~NodeParametersInterface() = default;

  virtual const rclcpp::ParameterValue & declare_parameter(
      const std::string & name, const rclcpp::ParameterValue & default_value,
      const rcl_interfaces::msg::ParameterDescriptor & parameter_descriptor =
          rcl_interfaces::msg::ParameterDescriptor(),
      bool ignore_override = false) = 0;

  virtual const rclcpp::ParameterValue & declare_parameter(
      const std::string & name, rclcpp::ParameterType type,
      const rcl_interfaces::msg::ParameterDescriptor & parameter_descriptor =
          rcl_interfaces::msg::ParameterDescriptor(),
      bool ignore_override = false) = 0;

  virtual void undeclare_parameter(const std::string & name) = 0;

  virtual bool has_parameter(const std::string & name) const = 0;

  virtual std::vector<rcl_interfaces::msg::SetParametersResult> set_parameters(
      const std::vector<rclcpp::Parameter> & parameters) = 0;

  virtual rcl_interfaces::msg::SetParametersResult set_parameters_atomically(
      const std::vector<rclcpp::Parameter> & parameters) = 0;

  virtual std::vector<rclcpp::Parameter> get_parameters(
      const std::vector<std::string> & names) const = 0;

  virtual rclcpp::Parameter get_parameter(const std::string & name) const = 0;

  virtual bool get_parameter(const std::string & name, rclcpp::Parameter & parameter) const = 0;

  /// Parameters whose name starts with `<prefix>.`, keyed by the rest of the name.
  virtual bool get_parameters_by_prefix(
      const std::string & prefix, std::map<std::string, rclcpp::Parameter> & parameters) const = 0;

  virtual std::vector<rcl_interfaces::msg::ParameterDescriptor> describe_parameters(
      const std::vector<std::string> & names) const = 0;

  virtual std::vector<uint8_t> get_parameter_types(
      const std::vector<std::string> & names) const = 0;

  virtual rcl_interfaces::msg::ListParametersResult list_parameters(
      const std::vector<std::string> & prefixes, uint64_t depth) const = 0;

  virtual OnSetParametersCallbackHandle::SharedPtr add_on_set_parameters_callback(
      OnParametersSetCallbackType callback) = 0;

  virtual void remove_on_set_parameters_callback(
      const OnSetParametersCallbackHandle * const handler) = 0;

  /// The overrides this node was constructed with (after resolution).
  virtual const std::map<std::string, rclcpp::ParameterValue> & get_parameter_overrides() const = 0;
};

}  // namespace node_interfaces
}  // namespace rclcpp

#endif  // RCLCPP__NODE_INTERFACES__NODE_PARAMETERS_INTERFACE_HPP_
