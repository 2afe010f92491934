// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

// ParameterValue, Parameter and node parameters through the public API: types, overrides,
// the undeclared-parameter option and set callbacks, with the exact ROS 2 Humble texts.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <map>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "host/runtime_test_helpers.hpp"
#include "rcl_interfaces/msg/parameter_descriptor.hpp"
#include "rclcpp/exceptions.hpp"
#include "rclcpp/parameter.hpp"
#include "rclcpp/parameter_value.hpp"
#include "rclcpp/rclcpp.hpp"

namespace {

using runtime_test::accept_all;
using runtime_test::dynamic_descriptor;
using runtime_test::floating_range;
using runtime_test::refuse;
using runtime_test::what_of;

using rcl_interfaces::msg::ParameterDescriptor;
using rcl_interfaces::msg::SetParametersResult;
using rclcpp::Parameter;
using rclcpp::ParameterValue;
namespace exceptions = rclcpp::exceptions;

TEST(ParameterValue, ConstructorsChooseTheRosTypes)
{
  EXPECT_EQ(rclcpp::PARAMETER_NOT_SET, ParameterValue().get_type());
  EXPECT_EQ(rclcpp::PARAMETER_BOOL, ParameterValue(true).get_type());
  EXPECT_EQ(rclcpp::PARAMETER_INTEGER, ParameterValue(3).get_type());
  EXPECT_EQ(rclcpp::PARAMETER_DOUBLE, ParameterValue(1.5f).get_type());
  EXPECT_EQ(rclcpp::PARAMETER_STRING, ParameterValue("text").get_type());
  EXPECT_EQ(rclcpp::PARAMETER_BYTE_ARRAY, ParameterValue(std::vector<uint8_t>{1}).get_type());
  EXPECT_EQ(rclcpp::PARAMETER_BOOL_ARRAY, ParameterValue(std::vector<bool>{true}).get_type());
  EXPECT_EQ(rclcpp::PARAMETER_INTEGER_ARRAY, ParameterValue(std::vector<int>{1}).get_type());
  EXPECT_EQ(rclcpp::PARAMETER_DOUBLE_ARRAY, ParameterValue(std::vector<float>{1}).get_type());
  EXPECT_EQ(
      rclcpp::PARAMETER_STRING_ARRAY, ParameterValue(std::vector<std::string>{"a"}).get_type());
  EXPECT_EQ(
      (std::vector<int64_t>{1, -2}),
      ParameterValue(std::vector<int>{1, -2}).get<std::vector<int>>());
  static_assert(std::is_same<decltype(ParameterValue(1).get<int>()), const int64_t &>::value, "");
  static_assert(
      std::is_same<decltype(ParameterValue(1.f).get<float>()), const double &>::value, "");
}

TEST(ParameterValue, TypeNamesAndWrongTypeText)
{
  const char * names[] = {"not set",      "bool",        "integer",    "double",
                          "string",       "byte_array",  "bool_array", "integer_array",
                          "double_array", "string_array"};
  for (uint8_t type = 0; type < 10; ++type) {
    EXPECT_EQ(names[type], rclcpp::to_string(static_cast<rclcpp::ParameterType>(type)));
  }
  EXPECT_EQ("unknown type", rclcpp::to_string(static_cast<rclcpp::ParameterType>(42)));
  EXPECT_EQ("expected [integer] got [string]", what_of<rclcpp::ParameterTypeException>([] {
              ParameterValue("x").get<int64_t>();
            }));
  rcl_interfaces::msg::ParameterValue message;
  message.type = 42;
  EXPECT_EQ(
      "Unknown type: 42", what_of<std::runtime_error>([&message] { ParameterValue{message}; }));
}

TEST(ParameterValue, RoundTripsThroughMessagesAndPrints)
{
  const ParameterValue value(std::vector<double>{1.5, 2.0});
  EXPECT_EQ(value, ParameterValue(value.to_value_msg()));
  EXPECT_NE(value, ParameterValue(std::vector<double>{1.5}));
  EXPECT_EQ("[1.5, 2]", rclcpp::to_string(value));
  EXPECT_EQ("1.500000", rclcpp::to_string(ParameterValue(1.5)));
  EXPECT_EQ("[true, false]", rclcpp::to_string(ParameterValue(std::vector<bool>{true, false})));
  EXPECT_EQ("[0x1, 0xff]", rclcpp::to_string(ParameterValue(std::vector<uint8_t>{1, 255})));
}

TEST(Parameter, GetValueWrapsTypeErrorsButAsAccessorsDoNot)
{
  const Parameter parameter("gain", 2.5);
  EXPECT_EQ(2.5, parameter.as_double());
  EXPECT_EQ(2.5, parameter.get_value<double>());
  EXPECT_EQ(
      "parameter 'gain' has invalid type: expected [integer] got [double]",
      what_of<exceptions::InvalidParameterTypeException>(
          [&parameter] { parameter.get_value<int>(); }));
  EXPECT_EQ(
      "expected [integer] got [double]",
      what_of<rclcpp::ParameterTypeException>([&parameter] { parameter.as_int(); }));
  EXPECT_EQ(parameter, Parameter::from_parameter_msg(parameter.to_parameter_msg()));
  EXPECT_EQ(
      "{\"name\": \"gain\", \"type\": \"double\", \"value\": \"2.500000\"}",
      std::to_string(parameter));
  EXPECT_EQ(rclcpp::PARAMETER_NOT_SET, Parameter("unset").get_type());
  EXPECT_EQ(parameter.get_parameter_value(), parameter.get_value<ParameterValue>());
}

rclcpp::NodeOptions with_arguments(const std::vector<std::string> & ros_arguments)
{
  std::vector<std::string> arguments{"--ros-args"};
  arguments.insert(arguments.end(), ros_arguments.begin(), ros_arguments.end());
  return rclcpp::NodeOptions().arguments(arguments);
}

TEST(NodeParameters, OverridesAreTypedFromTheCommandLine)
{
  rclcpp::Node node("typed", with_arguments({"-p", "octal:=010", "-p", "hex:=0x10", "-p", "n:=5"}));
  EXPECT_EQ(8, node.declare_parameter("octal", 0));
  EXPECT_EQ(16, node.declare_parameter("hex", 0));
  EXPECT_EQ(
      "parameter 'n' has invalid type: Wrong parameter type, parameter {n} is of type {double}, "
      "setting it to {integer} is not allowed.",
      what_of<exceptions::InvalidParameterTypeException>(
          [&node] { node.declare_parameter("n", 1.0); }));
  EXPECT_EQ(
      5, node.declare_parameter("n", rclcpp::ParameterValue(), dynamic_descriptor()).get<int>());
}

TEST(NodeParameters, ExplicitOverridesWinOverArguments)
{
  rclcpp::Node node(
      "explicit", with_arguments({"-p", "a:=1", "-p", "b:=1"})
                      .append_parameter_override("b", 2)
                      .automatically_declare_parameters_from_overrides(true));
  EXPECT_EQ(1, node.get_parameter("a").as_int());
  EXPECT_EQ(2, node.get_parameter("b").as_int());
  EXPECT_TRUE(node.describe_parameter("b").dynamic_typing);
}

TEST(NodeParameters, UndeclaredParametersFollowTheNodeOption)
{
  rclcpp::Node strict("strict");
  EXPECT_THROW(
      strict.set_parameter(Parameter("free", 1)), exceptions::ParameterNotDeclaredException);
  rclcpp::Node relaxed("relaxed", rclcpp::NodeOptions().allow_undeclared_parameters(true));
  EXPECT_TRUE(relaxed.set_parameter(Parameter("free", 1)).successful);
  EXPECT_EQ(1, relaxed.get_parameter("free").as_int());
  EXPECT_EQ(rclcpp::PARAMETER_NOT_SET, relaxed.get_parameter("other").get_type());
}

TEST(NodeParameters, NodeCallbacksGuardSets)
{
  rclcpp::Node node("guarded");
  node.declare_parameter("speed", 0.5, floating_range(0.0, 1.0, 0.0));
  auto handle = node.add_on_set_parameters_callback([](const std::vector<Parameter> & parameters) {
    return parameters.front().as_double() == 0.7 ? refuse("unlucky") : accept_all(parameters);
  });
  EXPECT_TRUE(node.set_parameter(Parameter("speed", 0.9)).successful);
  EXPECT_EQ("unlucky", node.set_parameter(Parameter("speed", 0.7)).reason);
  EXPECT_EQ(
      "Parameter {speed} doesn't comply with floating point range.",
      node.set_parameter(Parameter("speed", 1.5)).reason);
  EXPECT_EQ(0.9, node.get_parameter("speed").as_double());
}

}  // namespace
