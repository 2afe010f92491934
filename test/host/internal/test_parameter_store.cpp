// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

// The node parameter store inside the host client library: the declare/get/set pipeline,
// descriptors, callbacks and the exact ROS 2 Humble texts. Built only against the host runtime.

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
#include "rclcpp/detail/parameter_store.hpp"
#include "rclcpp/exceptions.hpp"
#include "rclcpp/parameter.hpp"
#include "rclcpp/parameter_value.hpp"
#include "rclcpp/rclcpp.hpp"

namespace {

using runtime_test::accept_all;
using runtime_test::dynamic_descriptor;
using runtime_test::floating_range;
using runtime_test::integer_range;
using runtime_test::refuse;
using runtime_test::what_of;

using rcl_interfaces::msg::ParameterDescriptor;
using rcl_interfaces::msg::SetParametersResult;
using rclcpp::Parameter;
using rclcpp::ParameterValue;
using rclcpp::detail::ParameterStore;
namespace exceptions = rclcpp::exceptions;

class Store : public ::testing::Test
{
protected:
  ParameterStore store_{{}, false, false};
};

TEST_F(Store, DeclareReturnsTheValueInItsRosType)
{
  const auto rate = store_.declare_parameter("rate", 5);
  static_assert(std::is_same<decltype(rate), const int64_t>::value, "int declares int64_t");
  EXPECT_EQ(5, rate);
  const auto name = store_.declare_parameter("name", "robot");
  static_assert(std::is_same<decltype(name), const std::string>::value, "literal gives string");
  EXPECT_EQ("robot", name);
  EXPECT_EQ(0.5, store_.declare_parameter("ratio", 0.5f));
  EXPECT_TRUE(store_.has_parameter("rate"));
  EXPECT_EQ(5, store_.get_parameter("rate").as_int());
}

TEST_F(Store, DeclareErrorsHaveTheRosTexts)
{
  store_.declare_parameter("rate", 5);
  EXPECT_EQ(
      "parameter 'rate' has already been declared",
      what_of<exceptions::ParameterAlreadyDeclaredException>(
          [this] { store_.declare_parameter("rate", 6); }));
  EXPECT_EQ(
      "parameter name must not be empty",
      what_of<exceptions::InvalidParametersException>([this] { store_.declare_parameter("", 1); }));
  EXPECT_EQ(
      "parameter 'unset' has invalid type: cannot declare a statically typed parameter with an "
      "uninitialized value",
      what_of<exceptions::InvalidParameterTypeException>(
          [this] { store_.declare_parameter("unset", ParameterValue()); }));
  EXPECT_EQ(
      "declare_parameter(): the provided parameter type cannot be rclcpp::PARAMETER_NOT_SET",
      what_of<std::invalid_argument>(
          [this] { store_.declare_parameter("t", rclcpp::PARAMETER_NOT_SET); }));
  EXPECT_EQ(
      "declare_parameter(): cannot declare parameter of specific type and pass descriptorwith "
      "`dynamic_typing=true`",
      what_of<std::invalid_argument>([this] {
        store_.declare_parameter("t", rclcpp::PARAMETER_INTEGER, dynamic_descriptor());
      }));
  EXPECT_EQ(
      "Statically typed parameter 'must' must be initialized.",
      what_of<exceptions::UninitializedStaticallyTypedParameterException>(
          [this] { store_.declare_parameter<int64_t>("must"); }));
  EXPECT_EQ(
      "parameter 'ranged' could not be set: Parameter {ranged} doesn't comply with integer range.",
      what_of<exceptions::InvalidParameterValueException>(
          [this] { store_.declare_parameter("ranged", 11, integer_range(0, 10, 1)); }));
}

TEST(StoreOverrides, OverridesWinUnlessIgnoredAndMustMatchTheStaticType)
{
  ParameterStore store(
      {{"rate", ParameterValue(7)},
       {"gain", ParameterValue(5)},
       {"must", ParameterValue(3)},
       {"typed", ParameterValue(2.0)}},
      false, false);
  EXPECT_EQ(7, store.declare_parameter("rate", 1));
  EXPECT_EQ(3, store.declare_parameter<int>("must"));
  EXPECT_EQ(2.0, store.declare_parameter("typed", rclcpp::PARAMETER_DOUBLE).get<double>());
  EXPECT_EQ(
      "parameter 'gain' has invalid type: Wrong parameter type, parameter {gain} is of type "
      "{double}, setting it to {integer} is not allowed.",
      what_of<exceptions::InvalidParameterTypeException>(
          [&store] { store.declare_parameter("gain", 1.0); }));
  EXPECT_FALSE(store.has_parameter("gain"));
  EXPECT_EQ(1.0, store.declare_parameter("gain", 1.0, ParameterDescriptor(), true));
  EXPECT_EQ(4u, store.get_parameter_overrides().size());
}

TEST(StoreOverrides, AutomaticDeclarationIsDynamicallyTyped)
{
  ParameterStore store({{"a", ParameterValue(1)}}, false, true);
  ASSERT_TRUE(store.has_parameter("a"));
  EXPECT_TRUE(store.describe_parameter("a").dynamic_typing);
  EXPECT_TRUE(store.set_parameter(Parameter("a", "now a string")).successful);
  EXPECT_EQ("now a string", store.get_parameter("a").as_string());
}

TEST_F(Store, GettersReportUndeclaredAndUninitialisedParameters)
{
  EXPECT_EQ("nope", what_of<exceptions::ParameterNotDeclaredException>([this] {
              store_.get_parameter("nope");
            }));
  EXPECT_EQ("nope", what_of<exceptions::ParameterNotDeclaredException>([this] {
              store_.get_parameters({"nope"});
            }));
  EXPECT_EQ("nope", what_of<exceptions::ParameterNotDeclaredException>([this] {
              store_.describe_parameters({"nope"});
            }));
  EXPECT_EQ("nope", what_of<exceptions::ParameterNotDeclaredException>([this] {
              store_.get_parameter_types({"nope"});
            }));
  store_.declare_parameter("later", rclcpp::PARAMETER_DOUBLE);
  EXPECT_EQ(
      "parameter 'later' is not initialized", what_of<exceptions::ParameterUninitializedException>(
                                                  [this] { store_.get_parameter("later"); }));
  Parameter out;
  EXPECT_FALSE(store_.get_parameter("later", out));
  EXPECT_FALSE(store_.get_parameter("nope", out));
  double value = 0.0;
  EXPECT_FALSE(store_.get_parameter("later", value));
  EXPECT_EQ(4.0, store_.get_parameter_or("later", 4.0));
  EXPECT_EQ(rclcpp::PARAMETER_DOUBLE, store_.describe_parameter("later").type);
}

TEST_F(Store, TypedGettersConvertAndCheckTypes)
{
  store_.declare_parameter("count", 3);
  int count = 0;
  EXPECT_TRUE(store_.get_parameter("count", count));
  EXPECT_EQ(3, count);
  std::string text;
  EXPECT_EQ(
      "parameter 'count' has invalid type: expected [string] got [integer]",
      what_of<exceptions::InvalidParameterTypeException>(
          [this, &text] { store_.get_parameter("count", text); }));
  int fallback = 0;
  EXPECT_FALSE(store_.get_parameter_or("missing", fallback, 9));
  EXPECT_EQ(9, fallback);
  store_.declare_parameters<double>("pid", {{"p", 1.0}, {"i", 0.5}});
  store_.declare_parameters<int64_t>(
      "lim", {{"max", {10, ParameterDescriptor()}}, {"min", {-10, ParameterDescriptor()}}});
  std::map<std::string, double> gains;
  EXPECT_TRUE(store_.get_parameters("pid", gains));
  EXPECT_EQ((std::map<std::string, double>{{"i", 0.5}, {"p", 1.0}}), gains);
  EXPECT_EQ(-10, store_.get_parameter("lim.min").as_int());
  std::map<std::string, double> none;
  EXPECT_FALSE(store_.get_parameters("nothing", none));
}

TEST_F(Store, SetRefusalsComeBackAsResults)
{
  ParameterDescriptor read_only;
  read_only.read_only = true;
  store_.declare_parameter("fixed", 1, read_only);
  store_.declare_parameter("rate", 5);
  EXPECT_EQ(
      "parameter 'x' cannot be set because it was not declared",
      what_of<exceptions::ParameterNotDeclaredException>(
          [this] { store_.set_parameter(Parameter("x", 1)); }));
  EXPECT_EQ(
      "parameter name must not be empty", what_of<exceptions::InvalidParametersException>(
                                              [this] { store_.set_parameter(Parameter("", 1)); }));
  SetParametersResult result = store_.set_parameter(Parameter("fixed", 2));
  EXPECT_FALSE(result.successful);
  EXPECT_EQ("parameter 'fixed' cannot be set because it is read-only", result.reason);
  result = store_.set_parameter(Parameter("rate", "fast"));
  EXPECT_FALSE(result.successful);
  EXPECT_EQ(
      "Wrong parameter type, parameter {rate} is of type {integer}, setting it to {string} is not "
      "allowed.",
      result.reason);
  result = store_.set_parameter(Parameter("rate"));
  EXPECT_FALSE(result.successful);
  EXPECT_EQ("cannot undeclare an statically typed parameter", result.reason);
  EXPECT_EQ(5, store_.get_parameter("rate").as_int());
}

TEST_F(Store, RangesAcceptEndpointsAndSteps)
{
  store_.declare_parameter("i", 0, integer_range(0, 10, 3));
  for (int64_t ok : {0, 3, 9, 10}) {
    EXPECT_TRUE(store_.set_parameter(Parameter("i", ok)).successful) << ok;
  }
  for (int64_t bad : {-1, 4, 11}) {
    const SetParametersResult result = store_.set_parameter(Parameter("i", bad));
    EXPECT_FALSE(result.successful) << bad;
    EXPECT_EQ("Parameter {i} doesn't comply with integer range.", result.reason);
  }
  store_.declare_parameter("d", 0.0, floating_range(0.0, 1.0, 0.1));
  for (double ok : {0.0, 0.3, 0.7, 1.0}) {
    EXPECT_TRUE(store_.set_parameter(Parameter("d", ok)).successful) << ok;
  }
  for (double bad : {-0.1, 0.35, 1.05}) {
    const SetParametersResult result = store_.set_parameter(Parameter("d", bad));
    EXPECT_FALSE(result.successful) << bad;
    EXPECT_EQ("Parameter {d} doesn't comply with floating point range.", result.reason);
  }
  store_.declare_parameter("free", 0.5, floating_range(0.0, 1.0, 0.0));
  EXPECT_TRUE(store_.set_parameter(Parameter("free", 0.123)).successful);
}

TEST_F(Store, AtomicSetIsAllOrNothingUnlikeSetParameters)
{
  store_.declare_parameter("a", 1);
  store_.declare_parameter("b", 1);
  const auto results = store_.set_parameters({Parameter("a", 2), Parameter("b", "bad")});
  ASSERT_EQ(2u, results.size());
  EXPECT_TRUE(results[0].successful);
  EXPECT_FALSE(results[1].successful);
  EXPECT_EQ(2, store_.get_parameter("a").as_int());
  EXPECT_FALSE(
      store_.set_parameters_atomically({Parameter("a", 3), Parameter("b", "bad")}).successful);
  EXPECT_EQ(2, store_.get_parameter("a").as_int());
}

TEST_F(Store, DynamicParametersChangeTypeAndAreRemovedBySettingNotSet)
{
  store_.declare_parameter("dyn", 1, dynamic_descriptor());
  EXPECT_TRUE(store_.set_parameter(Parameter("dyn", "text")).successful);
  EXPECT_EQ(rclcpp::PARAMETER_STRING, store_.get_parameter_types({"dyn"}).front());
  EXPECT_TRUE(store_.set_parameter(Parameter("dyn")).successful);
  EXPECT_FALSE(store_.has_parameter("dyn"));
}

TEST_F(Store, UndeclareErrors)
{
  ParameterDescriptor read_only = dynamic_descriptor();
  read_only.read_only = true;
  store_.declare_parameter("fixed", 1, read_only);
  store_.declare_parameter("static", 1);
  store_.declare_parameter("dyn", 1, dynamic_descriptor());
  EXPECT_EQ(
      "cannot undeclare parameter 'x' which has not yet been declared",
      what_of<exceptions::ParameterNotDeclaredException>(
          [this] { store_.undeclare_parameter("x"); }));
  EXPECT_EQ(
      "cannot undeclare parameter 'fixed' because it is read-only",
      what_of<exceptions::ParameterImmutableException>(
          [this] { store_.undeclare_parameter("fixed"); }));
  EXPECT_EQ(
      "parameter 'static' has invalid type: cannot undeclare an statically typed parameter",
      what_of<exceptions::InvalidParameterTypeException>(
          [this] { store_.undeclare_parameter("static"); }));
  store_.undeclare_parameter("dyn");
  EXPECT_FALSE(store_.has_parameter("dyn"));
}

TEST_F(Store, NewestCallbackRunsFirstAndFirstRefusalStops)
{
  std::vector<std::string> calls;
  auto older = store_.add_on_set_parameters_callback([&calls](const std::vector<Parameter> & p) {
    calls.push_back("older");
    return accept_all(p);
  });
  auto newer = store_.add_on_set_parameters_callback([&calls](const std::vector<Parameter> & p) {
    calls.push_back("newer");
    return p.front().get_name() == "veto" ? refuse("vetoed") : accept_all(p);
  });
  store_.declare_parameter("ok", 1);
  EXPECT_EQ((std::vector<std::string>{"newer", "older"}), calls);
  calls.clear();
  EXPECT_EQ(
      "parameter 'veto' could not be set: vetoed",
      what_of<exceptions::InvalidParameterValueException>(
          [this] { store_.declare_parameter("veto", 1); }));
  EXPECT_EQ((std::vector<std::string>{"newer"}), calls);
  calls.clear();
  newer.reset();
  EXPECT_TRUE(store_.set_parameter(Parameter("ok", 2)).successful);
  EXPECT_EQ((std::vector<std::string>{"older"}), calls);
  store_.remove_on_set_parameters_callback(older.get());
  calls.clear();
  EXPECT_TRUE(store_.set_parameter(Parameter("ok", 3)).successful);
  EXPECT_TRUE(calls.empty());
  EXPECT_EQ("Callback doesn't exist", what_of<std::runtime_error>([this, &older] {
              store_.remove_on_set_parameters_callback(older.get());
            }));
}

TEST_F(Store, CallbacksMayReadButNotModifyParameters)
{
  store_.declare_parameter("limit", 10);
  store_.declare_parameter("value", 1);
  std::string nested_error;
  auto handle = store_.add_on_set_parameters_callback([this, &nested_error](const auto & params) {
    nested_error = what_of<exceptions::ParameterModifiedInCallbackException>(
        [this] { store_.set_parameter(Parameter("limit", 20)); });
    const int64_t limit = store_.get_parameter("limit").as_int();
    return params.front().as_int() <= limit ? accept_all(params) : refuse("above limit");
  });
  EXPECT_TRUE(store_.set_parameter(Parameter("value", 10)).successful);
  EXPECT_EQ(
      "cannot set or declare a parameter, or change the callback from within set callback",
      nested_error);
  EXPECT_EQ("above limit", store_.set_parameter(Parameter("value", 11)).reason);
  EXPECT_EQ(10, store_.get_parameter("limit").as_int());
}

TEST(StoreUndeclared, AllowedUndeclaredParametersAreDeclaredOnSet)
{
  ParameterStore store({{"x", ParameterValue(5)}}, true, false);
  EXPECT_EQ(rclcpp::PARAMETER_NOT_SET, store.get_parameter("x").get_type());
  EXPECT_EQ("x", store.describe_parameters({"x"}).front().name);
  EXPECT_TRUE(store.set_parameter(Parameter("x", "new")).successful);
  // Implicit declaration ignores overrides: the value set is kept.
  EXPECT_EQ("new", store.get_parameter("x").as_string());
  EXPECT_TRUE(store.describe_parameter("x").dynamic_typing);
  EXPECT_TRUE(store.set_parameter(Parameter("x", 1.5)).successful);
}

TEST_F(Store, ListsNamesAndPrefixesByDepth)
{
  for (const char * name : {"a", "b.c", "b.d.e", "f.g"}) {
    store_.declare_parameter(name, 1);
  }
  EXPECT_EQ(
      (std::vector<std::string>{"a", "b.c", "b.d.e", "f.g"}), store_.list_parameters({}, 0).names);
  EXPECT_EQ((std::vector<std::string>{"a"}), store_.list_parameters({}, 1).names);
  // The depth below a prefix counts the dot after the prefix too, as in ROS.
  EXPECT_TRUE(store_.list_parameters({"b"}, 1).names.empty());
  const auto under_b = store_.list_parameters({"b"}, 2);
  EXPECT_EQ((std::vector<std::string>{"b.c"}), under_b.names);
  EXPECT_EQ((std::vector<std::string>{"b"}), under_b.prefixes);
  EXPECT_EQ((std::vector<std::string>{"b.c", "b.d.e"}), store_.list_parameters({"b"}, 0).names);
}

TEST_F(Store, ObserversSeeEveryChangeAndMayChangeParameters)
{
  std::vector<std::string> changed;
  rcl_interfaces::msg::ParameterEvent last_event;
  store_.set_on_parameters_changed([this, &changed](const std::vector<Parameter> & parameters) {
    for (const Parameter & parameter : parameters) {
      changed.push_back(parameter.get_name() + "=" + parameter.value_to_string());
    }
    if (parameters.front().get_name() == "trigger") {
      store_.set_parameter(Parameter("follower", 2));
    }
  });
  store_.set_on_parameter_event(
      [&last_event](const rcl_interfaces::msg::ParameterEvent & event) { last_event = event; });
  store_.declare_parameter("follower", 1);
  EXPECT_EQ(1u, last_event.new_parameters.size());
  store_.declare_parameter("dyn", true, dynamic_descriptor());
  store_.declare_parameter("trigger", 0);
  store_.set_parameter(Parameter("trigger", 1));
  EXPECT_EQ(2, store_.get_parameter("follower").as_int());
  store_.set_parameter(Parameter("dyn"));
  EXPECT_EQ(1u, last_event.deleted_parameters.size());
  EXPECT_EQ(
      (std::vector<std::string>{
          "follower=1", "dyn=true", "trigger=0", "follower=2", "trigger=1", "follower=2",
          "dyn=not set"}),
      changed);
}

TEST(StoreThreads, ConcurrentSettersAndReadersStayConsistent)
{
  ParameterStore store({}, false, false);
  constexpr int kThreads = 4;
  constexpr int kRounds = 500;
  for (int t = 0; t < kThreads; ++t) {
    store.declare_parameter("p" + std::to_string(t), 0);
  }
  std::atomic<int> callback_calls{0};
  auto handle = store.add_on_set_parameters_callback([&store, &callback_calls](const auto & p) {
    ++callback_calls;
    store.get_parameter("p0");
    return accept_all(p);
  });
  std::vector<std::thread> threads;
  std::atomic<bool> reads_ok{true};
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&store, &reads_ok, t] {
      const std::string name = "p" + std::to_string(t);
      for (int i = 1; i <= kRounds; ++i) {
        store.set_parameter(Parameter(name, i));
        if (store.get_parameter(name).as_int() != i) {
          reads_ok = false;
        }
        store.list_parameters({}, 0);
      }
    });
  }
  for (std::thread & thread : threads) {
    thread.join();
  }
  EXPECT_TRUE(reads_ok);
  EXPECT_EQ(kThreads * kRounds, callback_calls.load());
  for (int t = 0; t < kThreads; ++t) {
    EXPECT_EQ(kRounds, store.get_parameter("p" + std::to_string(t)).as_int());
  }
}

}  // namespace
