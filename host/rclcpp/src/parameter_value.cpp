// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#include "rclcpp/parameter_value.hpp"

#include <sstream>
#include <string>
#include <vector>

namespace rclcpp {

std::string to_string(const ParameterType type)
{
  switch (type) {
    case PARAMETER_NOT_SET:
      return "not set";
    case PARAMETER_BOOL:
      return "bool";
    case PARAMETER_INTEGER:
      return "integer";
    case PARAMETER_DOUBLE:
      return "double";
    case PARAMETER_STRING:
      return "string";
    case PARAMETER_BYTE_ARRAY:
      return "byte_array";
    case PARAMETER_BOOL_ARRAY:
      return "bool_array";
    case PARAMETER_INTEGER_ARRAY:
      return "integer_array";
    case PARAMETER_DOUBLE_ARRAY:
      return "double_array";
    case PARAMETER_STRING_ARRAY:
      return "string_array";
    default:
      return "unknown type";
  }
}

std::ostream & operator<<(std::ostream & os, const ParameterType type)
{
  return os << to_string(type);
}

namespace {

// Element printing follows the stream flags given: hex with base prefix for bytes,
// boolalpha for bools, defaults otherwise.
template <typename ValueT, typename PrintT = ValueT>
std::string array_to_string(
    const std::vector<ValueT> & values, std::ios::fmtflags flags = std::ios::dec)
{
  std::ostringstream out;
  out.setf(flags, std::ios_base::basefield | std::ios::boolalpha);
  out << std::showbase << "[";
  for (size_t i = 0; i < values.size(); ++i) {
    out << (i == 0 ? "" : ", ") << static_cast<PrintT>(values[i]);
  }
  out << "]";
  return out.str();
}

}  // namespace

std::string to_string(const ParameterValue & value)
{
  switch (value.get_type()) {
    case PARAMETER_NOT_SET:
      return "not set";
    case PARAMETER_BOOL:
      return value.get<bool>() ? "true" : "false";
    case PARAMETER_INTEGER:
      return std::to_string(value.get<int64_t>());
    case PARAMETER_DOUBLE:
      return std::to_string(value.get<double>());
    case PARAMETER_STRING:
      return value.get<std::string>();
    case PARAMETER_BYTE_ARRAY:
      return array_to_string<uint8_t, int>(value.get<std::vector<uint8_t>>(), std::ios::hex);
    case PARAMETER_BOOL_ARRAY:
      return array_to_string(value.get<std::vector<bool>>(), std::ios::boolalpha);
    case PARAMETER_INTEGER_ARRAY:
      return array_to_string(value.get<std::vector<int64_t>>());
    case PARAMETER_DOUBLE_ARRAY:
      return array_to_string(value.get<std::vector<double>>());
    case PARAMETER_STRING_ARRAY:
      return array_to_string(value.get<std::vector<std::string>>());
    default:
      return "unknown type";
  }
}

ParameterValue::ParameterValue()
{
  value_.type = PARAMETER_NOT_SET;
}

ParameterValue::ParameterValue(const rcl_interfaces::msg::ParameterValue & value) : value_(value)
{
  if (value.type > PARAMETER_STRING_ARRAY) {
    throw std::runtime_error("Unknown type: " + std::to_string(value.type));
  }
}

ParameterValue::ParameterValue(const bool bool_value)
{
  value_.bool_value = bool_value;
  value_.type = PARAMETER_BOOL;
}

ParameterValue::ParameterValue(const int int_value)
    : ParameterValue(static_cast<int64_t>(int_value))
{}

ParameterValue::ParameterValue(const int64_t int_value)
{
  value_.integer_value = int_value;
  value_.type = PARAMETER_INTEGER;
}

ParameterValue::ParameterValue(const float double_value)
    : ParameterValue(static_cast<double>(double_value))
{}

ParameterValue::ParameterValue(const double double_value)
{
  value_.double_value = double_value;
  value_.type = PARAMETER_DOUBLE;
}

ParameterValue::ParameterValue(const std::string & string_value)
{
  value_.string_value = string_value;
  value_.type = PARAMETER_STRING;
}

ParameterValue::ParameterValue(const char * string_value)
    : ParameterValue(std::string(string_value))
{}

ParameterValue::ParameterValue(const std::vector<uint8_t> & byte_array_value)
{
  value_.byte_array_value = byte_array_value;
  value_.type = PARAMETER_BYTE_ARRAY;
}

ParameterValue::ParameterValue(const std::vector<bool> & bool_array_value)
{
  value_.bool_array_value = bool_array_value;
  value_.type = PARAMETER_BOOL_ARRAY;
}

ParameterValue::ParameterValue(const std::vector<int> & int_array_value)
{
  value_.integer_array_value.assign(int_array_value.begin(), int_array_value.end());
  value_.type = PARAMETER_INTEGER_ARRAY;
}

ParameterValue::ParameterValue(const std::vector<int64_t> & int_array_value)
{
  value_.integer_array_value = int_array_value;
  value_.type = PARAMETER_INTEGER_ARRAY;
}

ParameterValue::ParameterValue(const std::vector<float> & double_array_value)
{
  value_.double_array_value.assign(double_array_value.begin(), double_array_value.end());
  value_.type = PARAMETER_DOUBLE_ARRAY;
}

ParameterValue::ParameterValue(const std::vector<double> & double_array_value)
{
  value_.double_array_value = double_array_value;
  value_.type = PARAMETER_DOUBLE_ARRAY;
}

ParameterValue::ParameterValue(const std::vector<std::string> & string_array_value)
{
  value_.string_array_value = string_array_value;
  value_.type = PARAMETER_STRING_ARRAY;
}

ParameterType ParameterValue::get_type() const
{
  return static_cast<ParameterType>(value_.type);
}

rcl_interfaces::msg::ParameterValue ParameterValue::to_value_msg() const
{
  return value_;
}

bool ParameterValue::operator==(const ParameterValue & rhs) const
{
  return value_ == rhs.value_;
}

bool ParameterValue::operator!=(const ParameterValue & rhs) const
{
  return !(*this == rhs);
}

}  // namespace rclcpp
