// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

/// @file rclcpp/parameter_value.hpp
/// @brief ParameterType, ParameterTypeException and ParameterValue, a typed parameter value
/// backed by an rcl_interfaces/msg/ParameterValue.

#ifndef RCLCPP__PARAMETER_VALUE_HPP_
#define RCLCPP__PARAMETER_VALUE_HPP_

#include <cstdint>
#include <ostream>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

#include "rcl_interfaces/msg/parameter_type.hpp"
#include "rcl_interfaces/msg/parameter_value.hpp"

namespace rclcpp {

/// The type of a parameter value; values equal rcl_interfaces/msg/ParameterType constants.
enum ParameterType : uint8_t {
  PARAMETER_NOT_SET = rcl_interfaces::msg::ParameterType::PARAMETER_NOT_SET,
  PARAMETER_BOOL = rcl_interfaces::msg::ParameterType::PARAMETER_BOOL,
  PARAMETER_INTEGER = rcl_interfaces::msg::ParameterType::PARAMETER_INTEGER,
  PARAMETER_DOUBLE = rcl_interfaces::msg::ParameterType::PARAMETER_DOUBLE,
  PARAMETER_STRING = rcl_interfaces::msg::ParameterType::PARAMETER_STRING,
  PARAMETER_BYTE_ARRAY = rcl_interfaces::msg::ParameterType::PARAMETER_BYTE_ARRAY,
  PARAMETER_BOOL_ARRAY = rcl_interfaces::msg::ParameterType::PARAMETER_BOOL_ARRAY,
  PARAMETER_INTEGER_ARRAY = rcl_interfaces::msg::ParameterType::PARAMETER_INTEGER_ARRAY,
  PARAMETER_DOUBLE_ARRAY = rcl_interfaces::msg::ParameterType::PARAMETER_DOUBLE_ARRAY,
  PARAMETER_STRING_ARRAY = rcl_interfaces::msg::ParameterType::PARAMETER_STRING_ARRAY,
};

/// Name of a type: "not set", "bool", "integer", ... ("unknown type" for other values).
std::string to_string(ParameterType type);

/// Writes to_string(type).
std::ostream & operator<<(std::ostream & os, ParameterType type);

/// Thrown when a ParameterValue is read as another type than it holds.
class ParameterTypeException : public std::runtime_error
{
public:
  /// what() is `expected [<expected>] got [<actual>]`.
  ParameterTypeException(ParameterType expected, ParameterType actual)
      : std::runtime_error("expected [" + to_string(expected) + "] got [" + to_string(actual) + "]")
  {}
};

/// A parameter value of one of the ParameterType kinds. Not synchronised: a value is a
/// plain copyable object.
class ParameterValue
{
public:
  /// A value of type PARAMETER_NOT_SET.
  ParameterValue();
  /// From a message. @throws std::runtime_error `Unknown type: <n>` for an unknown type.
  explicit ParameterValue(const rcl_interfaces::msg::ParameterValue & value);
  explicit ParameterValue(const bool bool_value);
  explicit ParameterValue(const int int_value);
  explicit ParameterValue(const int64_t int_value);
  /// Stored as PARAMETER_DOUBLE.
  explicit ParameterValue(const float double_value);
  explicit ParameterValue(const double double_value);
  explicit ParameterValue(const std::string & string_value);
  explicit ParameterValue(const char * string_value);
  /// Stored as PARAMETER_BYTE_ARRAY.
  explicit ParameterValue(const std::vector<uint8_t> & byte_array_value);
  explicit ParameterValue(const std::vector<bool> & bool_array_value);
  /// Stored as PARAMETER_INTEGER_ARRAY of int64_t.
  explicit ParameterValue(const std::vector<int> & int_array_value);
  explicit ParameterValue(const std::vector<int64_t> & int_array_value);
  /// Stored as PARAMETER_DOUBLE_ARRAY of double.
  explicit ParameterValue(const std::vector<float> & double_array_value);
  explicit ParameterValue(const std::vector<double> & double_array_value);
  explicit ParameterValue(const std::vector<std::string> & string_array_value);

  /// The type held.
  ParameterType get_type() const;

  /// The value as a message.
  rcl_interfaces::msg::ParameterValue to_value_msg() const;

  /// Same type and same value.
  bool operator==(const ParameterValue & rhs) const;
  bool operator!=(const ParameterValue & rhs) const;

  /// The value for a ParameterType. @throws ParameterTypeException if another type is held.
  template <ParameterType type>
  typename std::enable_if<type == PARAMETER_BOOL, const bool &>::type get() const
  {
    check_type(PARAMETER_BOOL);
    return value_.bool_value;
  }

  template <ParameterType type>
  typename std::enable_if<type == PARAMETER_INTEGER, const int64_t &>::type get() const
  {
    check_type(PARAMETER_INTEGER);
    return value_.integer_value;
  }

  template <ParameterType type>
  typename std::enable_if<type == PARAMETER_DOUBLE, const double &>::type get() const
  {
    check_type(PARAMETER_DOUBLE);
    return value_.double_value;
  }

  template <ParameterType type>
  typename std::enable_if<type == PARAMETER_STRING, const std::string &>::type get() const
  {
    check_type(PARAMETER_STRING);
    return value_.string_value;
  }

  template <ParameterType type>
  typename std::enable_if<type == PARAMETER_BYTE_ARRAY, const std::vector<uint8_t> &>::type get()
      const
  {
    check_type(PARAMETER_BYTE_ARRAY);
    return value_.byte_array_value;
  }

  template <ParameterType type>
  typename std::enable_if<type == PARAMETER_BOOL_ARRAY, const std::vector<bool> &>::type get() const
  {
    check_type(PARAMETER_BOOL_ARRAY);
    return value_.bool_array_value;
  }

  template <ParameterType type>
  typename std::enable_if<type == PARAMETER_INTEGER_ARRAY, const std::vector<int64_t> &>::type get()
      const
  {
    check_type(PARAMETER_INTEGER_ARRAY);
    return value_.integer_array_value;
  }

  template <ParameterType type>
  typename std::enable_if<type == PARAMETER_DOUBLE_ARRAY, const std::vector<double> &>::type get()
      const
  {
    check_type(PARAMETER_DOUBLE_ARRAY);
    return value_.double_array_value;
  }

  template <ParameterType type>
  typename std::enable_if<type == PARAMETER_STRING_ARRAY, const std::vector<std::string> &>::type
  get() const
  {
    check_type(PARAMETER_STRING_ARRAY);
    return value_.string_array_value;
  }

  /// The value for a C++ type: bool; any other integral type reads the int64_t; floating
  /// types read the double; string-convertible types the string; vectors likewise.
  /// @throws ParameterTypeException if another type is held.
  template <typename type>
  typename std::enable_if<std::is_same<type, bool>::value, const bool &>::type get() const
  {
    return get<PARAMETER_BOOL>();
  }

  template <typename type>
  typename std::enable_if<
      std::is_integral<type>::value && !std::is_same<type, bool>::value, const int64_t &>::type
  get() const
  {
    return get<PARAMETER_INTEGER>();
  }

  template <typename type>
  typename std::enable_if<std::is_floating_point<type>::value, const double &>::type get() const
  {
    return get<PARAMETER_DOUBLE>();
  }

  template <typename type>
  typename std::enable_if<std::is_convertible<type, std::string>::value, const std::string &>::type
  get() const
  {
    return get<PARAMETER_STRING>();
  }

  template <typename type>
  typename std::enable_if<
      std::is_convertible<type, const std::vector<uint8_t> &>::value,
      const std::vector<uint8_t> &>::type
  get() const
  {
    return get<PARAMETER_BYTE_ARRAY>();
  }

  template <typename type>
  typename std::enable_if<
      std::is_convertible<type, const std::vector<bool> &>::value, const std::vector<bool> &>::type
  get() const
  {
    return get<PARAMETER_BOOL_ARRAY>();
  }

  template <typename type>
  typename std::enable_if<
      std::is_convertible<type, const std::vector<int> &>::value,
      const std::vector<int64_t> &>::type
  get() const
  {
    return get<PARAMETER_INTEGER_ARRAY>();
  }

  template <typename type>
  typename std::enable_if<
      std::is_convertible<type, const std::vector<int64_t> &>::value,
      const std::vector<int64_t> &>::type
  get() const
  {
    return get<PARAMETER_INTEGER_ARRAY>();
  }

  template <typename type>
  typename std::enable_if<
      std::is_convertible<type, const std::vector<float> &>::value,
      const std::vector<double> &>::type
  get() const
  {
    return get<PARAMETER_DOUBLE_ARRAY>();
  }

  template <typename type>
  typename std::enable_if<
      std::is_convertible<type, const std::vector<double> &>::value,
      const std::vector<double> &>::type
  get() const
  {
    return get<PARAMETER_DOUBLE_ARRAY>();
  }

  template <typename type>
  typename std::enable_if<
      std::is_convertible<type, const std::vector<std::string> &>::value,
      const std::vector<std::string> &>::type
  get() const
  {
    return get<PARAMETER_STRING_ARRAY>();
  }

private:
  void check_type(ParameterType expected) const
  {
    if (get_type() != expected) {
      throw ParameterTypeException(expected, get_type());
    }
  }

  rcl_interfaces::msg::ParameterValue value_;
};

/// Human-readable value: "true", "42", "1.500000", "[1, 2]", "not set", ...
std::string to_string(const ParameterValue & value);

}  // namespace rclcpp

#endif  // RCLCPP__PARAMETER_VALUE_HPP_
