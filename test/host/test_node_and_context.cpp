// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

// Context life cycle, node construction and options, and logging through rcutils.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "rclcpp/rclcpp.hpp"
#include "rcutils/logging.h"
#include "support/ros_test_support.hpp"

namespace {
using namespace std::chrono_literals;

rclcpp::Context::SharedPtr initialised_context(std::vector<const char *> argv = {"test"})
{
  auto context = std::make_shared<rclcpp::Context>();
  context->init(static_cast<int>(argv.size()), argv.data());
  return context;
}

TEST(ContextLifeCycle, InitShutdownAndReinit)
{
  auto context = std::make_shared<rclcpp::Context>();
  EXPECT_FALSE(rclcpp::ok(context));
  EXPECT_FALSE(rclcpp::shutdown(context));
  const char * argv[] = {"test"};
  context->init(1, argv);
  EXPECT_TRUE(rclcpp::ok(context));
  try {
    context->init(1, argv);
    FAIL() << "expected ContextAlreadyInitialized";
  } catch (const rclcpp::ContextAlreadyInitialized & error) {
    EXPECT_STREQ(error.what(), "context is already initialized");
  }
  std::vector<std::string> order;
  context->add_pre_shutdown_callback([&] { order.push_back("pre"); });
  rclcpp::on_shutdown([&] { order.push_back("on"); }, context);
  auto removed = context->add_on_shutdown_callback([&] { order.push_back("removed"); });
  EXPECT_TRUE(context->remove_on_shutdown_callback(removed));
  EXPECT_TRUE(rclcpp::shutdown(context));
  EXPECT_EQ(order, (std::vector<std::string>{"pre", "on"}));
  EXPECT_EQ(context->shutdown_reason(), "user called rclcpp::shutdown()");
  EXPECT_FALSE(rclcpp::ok(context));
  EXPECT_NO_THROW(context->init(1, argv));
  EXPECT_TRUE(context->shutdown("again"));
}

TEST(ContextLifeCycle, SleepForEndsEarlyOnShutdown)
{
  auto context = initialised_context();
  EXPECT_TRUE(rclcpp::sleep_for(1ms, context));
  std::thread stopper([&] {
    std::this_thread::sleep_for(20ms);
    context->shutdown("stop");
  });
  EXPECT_FALSE(rclcpp::sleep_for(100s, context));
  stopper.join();
}

TEST(ContextLifeCycle, InitRejectsUnknownRosArgumentsAndKeepsProgramArguments)
{
  auto context = std::make_shared<rclcpp::Context>();
  const char * bad[] = {"test", "--ros-args", "--foo", "--bar"};
  try {
    context->init(4, bad);
    FAIL() << "expected UnknownROSArgsError";
  } catch (const rclcpp::exceptions::UnknownROSArgsError & error) {
    EXPECT_STREQ(error.what(), "found unknown ROS arguments: '--foo', '--bar'");
  }
  EXPECT_FALSE(context->is_valid());
  const char * argv[] = {"prog", "x", "--ros-args", "-r", "a:=b", "--", "y"};
  EXPECT_EQ(rclcpp::remove_ros_arguments(7, argv), (std::vector<std::string>{"prog", "x", "y"}));
}

TEST(NodeConstruction, NeedsAnInitialisedContext)
{
  auto context = std::make_shared<rclcpp::Context>();
  try {
    rclcpp::Node node("orphan", rclcpp::NodeOptions().context(context));
    FAIL() << "expected RCLInvalidArgument";
  } catch (const rclcpp::exceptions::RCLInvalidArgument & error) {
    const std::string what = error.what();
    EXPECT_EQ(what.rfind("failed to create guard condition: context argument is null, at ", 0), 0u)
        << what;
  }

  const char * argv[] = {"test"};
  context->init(1, argv);
  context->shutdown("done");
  try {
    rclcpp::Node node("late", rclcpp::NodeOptions().context(context));
    FAIL() << "expected RCLError";
  } catch (const rclcpp::exceptions::RCLError & error) {
    const std::string what = error.what();
    EXPECT_EQ(
        what.rfind(
            "failed to create guard condition: the given context is not valid, either rcl_init() "
            "was not called or rcl_shutdown() was called., at ",
            0),
        0u)
        << what;
  }
}

TEST(NodeConstruction, NamesNamespacesAndLoggers)
{
  auto root = std::make_shared<rclcpp::Node>("plain");
  EXPECT_STREQ(root->get_name(), "plain");
  EXPECT_STREQ(root->get_namespace(), "/");
  EXPECT_STREQ(root->get_fully_qualified_name(), "/plain");
  EXPECT_STREQ(root->get_logger().get_name(), "plain");

  rclcpp::Node::SharedPtr nested = rclcpp::Node::make_shared("inner", "a/b");
  EXPECT_STREQ(nested->get_namespace(), "/a/b");
  EXPECT_STREQ(nested->get_fully_qualified_name(), "/a/b/inner");
  EXPECT_STREQ(nested->get_logger().get_name(), "a.b.inner");
  EXPECT_STREQ(nested->get_logger().get_child("part").get_name(), "a.b.inner.part");

  EXPECT_THROW(rclcpp::Node("bad-name"), rclcpp::exceptions::InvalidNodeNameError);
  EXPECT_THROW(rclcpp::Node("ok", "bad//ns"), rclcpp::exceptions::InvalidNamespaceError);

  auto renamed = std::make_shared<rclcpp::Node>(
      "before", rclcpp::NodeOptions().arguments({"--ros-args", "-r", "__node:=after"}));
  EXPECT_STREQ(renamed->get_name(), "after");
}

TEST(NodeConstruction, OptionsHaveHumblesDefaults)
{
  const rclcpp::NodeOptions options;
  EXPECT_EQ(options.context(), rclcpp::contexts::get_global_default_context());
  EXPECT_TRUE(options.arguments().empty());
  EXPECT_TRUE(options.parameter_overrides().empty());
  EXPECT_TRUE(options.use_global_arguments());
  EXPECT_TRUE(options.enable_rosout());
  EXPECT_FALSE(options.use_intra_process_comms());
  EXPECT_FALSE(options.enable_topic_statistics());
  EXPECT_TRUE(options.start_parameter_services());
  EXPECT_TRUE(options.start_parameter_event_publisher());
  EXPECT_EQ(options.clock_qos(), rclcpp::ClockQoS());
  EXPECT_TRUE(options.use_clock_thread());
  EXPECT_EQ(options.parameter_event_qos(), rclcpp::ParameterEventsQoS());
  EXPECT_EQ(options.rosout_qos(), rclcpp::RosoutQoS());
  EXPECT_FALSE(options.allow_undeclared_parameters());
  EXPECT_FALSE(options.automatically_declare_parameters_from_overrides());

  rclcpp::NodeOptions changed;
  changed.use_intra_process_comms(true).append_parameter_override("x", 3);
  EXPECT_TRUE(changed.use_intra_process_comms());
  ASSERT_EQ(changed.parameter_overrides().size(), 1u);
  EXPECT_EQ(changed.parameter_overrides()[0].as_int(), 3);
}

TEST(QoSProfiles, PresetsMatchTheRmwProfiles)
{
  const rclcpp::QoS keep_one(1);
  EXPECT_EQ(keep_one.history(), rclcpp::HistoryPolicy::KeepLast);
  EXPECT_EQ(keep_one.depth(), 1u);
  EXPECT_EQ(keep_one.reliability(), rclcpp::ReliabilityPolicy::Reliable);
  EXPECT_EQ(keep_one.durability(), rclcpp::DurabilityPolicy::Volatile);

  const rclcpp::SystemDefaultsQoS system_default;
  EXPECT_EQ(system_default.history(), rclcpp::HistoryPolicy::KeepLast);
  EXPECT_EQ(system_default.depth(), 0u);
  EXPECT_EQ(system_default.reliability(), rclcpp::ReliabilityPolicy::SystemDefault);
  EXPECT_EQ(system_default.durability(), rclcpp::DurabilityPolicy::SystemDefault);

  const rclcpp::ClockQoS clock;
  EXPECT_EQ(clock.depth(), 1u);
  EXPECT_EQ(clock.reliability(), rclcpp::ReliabilityPolicy::BestEffort);
  EXPECT_EQ(rclcpp::SensorDataQoS().depth(), 5u);
  EXPECT_EQ(rclcpp::ServicesQoS().depth(), 10u);
  EXPECT_EQ(rclcpp::ParameterEventsQoS().depth(), 1000u);
  EXPECT_EQ(rclcpp::RosoutQoS().durability(), rclcpp::DurabilityPolicy::TransientLocal);
  EXPECT_EQ(rclcpp::RosoutQoS().lifespan(), rclcpp::Duration(10, 0));
  EXPECT_EQ(rclcpp::QoS(rclcpp::KeepAll()).history(), rclcpp::HistoryPolicy::KeepAll);
  EXPECT_NE(rclcpp::QoS(1), rclcpp::QoS(1).transient_local());
}

// Collects log records through rcutils' output handler.
class LogCapture
{
public:
  LogCapture()
  {
    previous_ = rcutils_logging_get_output_handler();
    records().clear();
    rcutils_logging_set_output_handler(&LogCapture::handler);
  }

  ~LogCapture()
  {
    rcutils_logging_set_output_handler(previous_);
  }

  static std::vector<std::string> & records()
  {
    static std::vector<std::string> stored;
    return stored;
  }

private:
  static void handler(
      const rcutils_log_location_t *, int severity, const char * name, rcutils_time_point_value_t,
      const char * format, va_list * args)
  {
    char buffer[512];
    va_list copy;
    va_copy(copy, *args);
    std::vsnprintf(buffer, sizeof(buffer), format, copy);
    va_end(copy);
    records().push_back(std::to_string(severity) + " " + name + " " + buffer);
  }

  rcutils_logging_output_handler_t previous_;
};

TEST(Logging, MacrosFormatThroughRcutilsAndHonourLevels)
{
  auto node = std::make_shared<rclcpp::Node>("talker", "/log");
  LogCapture capture;
  RCLCPP_INFO(node->get_logger(), "value %d of %s", 3, "three");
  RCLCPP_DEBUG(node->get_logger(), "hidden by default");
  RCLCPP_WARN_STREAM(node->get_logger(), "stream " << 4.5);
  for (int i = 0; i < 3; ++i) {
    RCLCPP_ERROR_ONCE(node->get_logger(), "once");
  }
  auto child = node->get_logger().get_child("detail");
  child.set_level(rclcpp::Logger::Level::Debug);
  RCLCPP_DEBUG(child, "now visible");
  child.set_level(rclcpp::Logger::Level::Unset);
  RCLCPP_FATAL(rclcpp::get_logger("standalone"), "fatal");

  EXPECT_EQ(
      LogCapture::records(),
      (std::vector<std::string>{
          "20 log.talker value 3 of three", "30 log.talker stream 4.5", "40 log.talker once",
          "10 log.talker.detail now visible", "50 standalone fatal"}));
}

}  // namespace
