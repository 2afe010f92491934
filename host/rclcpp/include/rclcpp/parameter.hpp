// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

/// @file rclcpp/parameter.hpp
/// @brief rclcpp::Parameter: a named ParameterValue with typed accessors and message
/// conversion.

#ifndef RCLCPP__PARAMETER_HPP_
#define RCLCPP__PARAMETER_HPP_

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "rcl_interfaces/msg/parameter.hpp"
#include "rcl_interfaces/msg/parameter_value.hpp"
#include "rclcpp/exceptions.hpp"
#include "rclcpp/parameter_value.hpp"

namespace rclcpp {

class Parameter;

namespace detail {

// Lets Parameter::get_value<T>() also return the whole ParameterValue or Parameter.
template <typename T>
auto get_value_helper(const rclcpp::Parameter * parameter);

}  // namespace detail

/// A named parameter value. A plain copyable object, not synchronised.
class Parameter
{
public:
  /// Empty name, PARAMETER_NOT_SET.
  Parameter();
  /// Given name, PARAMETER_NOT_SET.
  explicit Parameter(const std::string & name);
  Parameter(const std::string & name, const ParameterValue & value);
  /// Given name, value `ParameterValue(value)`.
  template <typename ValueTypeT>
  Parameter(const std::string & name, ValueTypeT value) : Parameter(name, ParameterValue(value))
  {}

  bool operator==(const Parameter & rhs) const;
  bool operator!=(const Parameter & rhs) const;

  ParameterType get_type() const;
  /// to_string(get_type()).
  std::string get_type_name() const;
  const std::string & get_name() const;
  rcl_interfaces::msg::ParameterValue get_value_message() const;
  const rclcpp::ParameterValue & get_parameter_value() const;

  /// The value for a ParameterType. @throws ParameterTypeException on another type.
  template <ParameterType ParamT>
  decltype(auto) get_value() const
  {
    return value_.get<ParamT>();
  }

  /// The value for a C++ type (by value), or the ParameterValue / Parameter itself.
  /// @throws rclcpp::exceptions::InvalidParameterTypeException
  ///   `parameter '<name>' has invalid type: expected [<e>] got [<a>]` on another type.
  template <typename T>
  decltype(auto) get_value() const;

  /// Typed accessors. @throws ParameterTypeException (not wrapped) on another type.
  bool as_bool() const;
  int64_t as_int() const;
  double as_double() const;
  const std::string & as_string() const;
  const std::vector<uint8_t> & as_byte_array() const;
  const std::vector<bool> & as_bool_array() const;
  const std::vector<int64_t> & as_integer_array() const;
  const std::vector<double> & as_double_array() const;
  const std::vector<std::string> & as_string_array() const;

  static Parameter from_parameter_msg(const rcl_interfaces::msg::Parameter & parameter);
  rcl_interfaces::msg::Parameter to_parameter_msg() const;
  /// to_string(get_parameter_value()).
  std::string value_to_string() const;

private:
  std::string name_;
  ParameterValue value_;
};

/// `"<name>": {"type": "<type>", "value": "<value>"}`.
std::string _to_json_dict_entry(const Parameter & param);

std::ostream & operator<<(std::ostream & os, const rclcpp::Parameter & pv);
std::ostream & operator<<(std::ostream & os, const std::vector<Parameter> & parameters);

namespace detail {

template <typename T>
auto get_value_helper(const rclcpp::Parameter * parameter)
{
  return parameter->get_parameter_value().get<T>();
}

template <>
inline auto get_value_helper<rclcpp::ParameterValue>(const rclcpp::Parameter * parameter)
{
  return parameter->get_parameter_value();
}

template <>
inline auto get_value_helper<rclcpp::Parameter>(const rclcpp::Parameter * parameter)
{
  return *parameter;
}

}  // namespace detail

template <typename T>
decltype(auto) Parameter::get_value() const
{
  try {
    return detail::get_value_helper<T>(this);
  } catch (const ParameterTypeException & ex) {
    throw exceptions::InvalidParameterTypeException(this->name_, ex.what());
  }
}

}  // namespace rclcpp

namespace std {

/// `{"name": "<n>", "type": "<t>", "value": "<v>"}`.
std::string to_string(const rclcpp::Parameter & param);
/// `{<entry>, <entry>}` of _to_json_dict_entry.
std::string to_string(const std::vector<rclcpp::Parameter> & parameters);

}  // namespace std

#endif  // RCLCPP__PARAMETER_HPP_
