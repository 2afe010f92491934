// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

// Time, Duration and Clock arithmetic with their exact error texts, and the node clock:
// ROS time typed, simulated time from /clock driven without spinning the node.

#include <gtest/gtest.h>

#include <chrono>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

#include "nav2_util/node_thread.hpp"
#include "rclcpp/rclcpp.hpp"
#include "rosgraph_msgs/msg/clock.hpp"
#include "support/ros_test_support.hpp"

namespace {
using namespace std::chrono_literals;

template <typename Function>
std::string error_of(Function && function)
{
  try {
    function();
  } catch (const std::exception & error) {
    return error.what();
  }
  return "no exception";
}

TEST(TimeArithmetic, MessagesConvertWithAFloorSplit)
{
  const rclcpp::Time minus_one(int64_t{-1}, RCL_ROS_TIME);
  const builtin_interfaces::msg::Time msg = minus_one;
  EXPECT_EQ(msg.sec, -1);
  EXPECT_EQ(msg.nanosec, 999999999u);

  builtin_interfaces::msg::Time stamp;
  stamp.sec = 12;
  stamp.nanosec = 345;
  const rclcpp::Time from_msg(stamp);
  EXPECT_EQ(from_msg.nanoseconds(), 12000000345);
  EXPECT_EQ(from_msg.get_clock_type(), RCL_ROS_TIME);
  EXPECT_EQ(rclcpp::Time(1, 2).get_clock_type(), RCL_SYSTEM_TIME);
  EXPECT_EQ(rclcpp::Time::max().nanoseconds(), 2147483647999999999);

  const rclcpp::Duration d(std::chrono::milliseconds(-1500));
  const builtin_interfaces::msg::Duration dmsg = d;
  EXPECT_EQ(dmsg.sec, -2);
  EXPECT_EQ(dmsg.nanosec, 500000000u);
  EXPECT_DOUBLE_EQ(rclcpp::Duration::from_seconds(1.25).seconds(), 1.25);
  EXPECT_EQ(rclcpp::Duration(1, 500).to_chrono<std::chrono::nanoseconds>().count(), 1000000500);
}

TEST(TimeArithmetic, FaultsThrowWithRclcppsTexts)
{
  EXPECT_EQ(
      error_of([] { rclcpp::Time(-1, 0u); }), "cannot store a negative time point in rclcpp::Time");
  builtin_interfaces::msg::Time negative;
  negative.sec = -5;
  EXPECT_EQ(
      error_of([&] { rclcpp::Time{negative}; }),
      "cannot store a negative time point in rclcpp::Time");
  const rclcpp::Time ros(5, 0, RCL_ROS_TIME);
  const rclcpp::Time system(5, 0, RCL_SYSTEM_TIME);
  EXPECT_EQ(
      error_of([&] { (void)(ros < system); }), "can't compare times with different time sources");
  EXPECT_EQ(
      error_of([&] { (void)(ros == system); }), "can't compare times with different time sources");
  EXPECT_EQ(
      error_of([&] { (void)(ros - system); }),
      "can't subtract times with different time sources [1 != 2]");
  const rclcpp::Time big(std::numeric_limits<int64_t>::max() - 1);
  EXPECT_THROW((void)(big + rclcpp::Duration(1, 0)), std::overflow_error);
  EXPECT_EQ(
      error_of([&] { (void)(big + rclcpp::Duration(1, 0)); }),
      "addition leads to int64_t overflow");
  const rclcpp::Time small(std::numeric_limits<int64_t>::min() + 1);
  EXPECT_THROW((void)(small - big), std::underflow_error);
  EXPECT_EQ(
      error_of([] { rclcpp::Duration::from_nanoseconds(-1).to_rmw_time(); }),
      "rmw_time_t cannot be negative");
  EXPECT_EQ((ros + rclcpp::Duration(1, 0)).get_clock_type(), RCL_ROS_TIME);
  EXPECT_EQ((ros - ros).nanoseconds(), 0);
}

class NodeClock : public ::testing::Test
{
protected:
  rclcpp::Node::SharedPtr make_node(const rclcpp::NodeOptions & options = rclcpp::NodeOptions())
  {
    return std::make_shared<rclcpp::Node>(skelmar_test::uniqueName("clock"), options);
  }

  void publish_clock(int32_t seconds)
  {
    if (!clock_pub_) {
      clock_node_ = make_node();
      clock_pub_ =
          clock_node_->create_publisher<rosgraph_msgs::msg::Clock>("/clock", rclcpp::ClockQoS());
    }
    rosgraph_msgs::msg::Clock msg;
    msg.clock.sec = seconds;
    clock_pub_->publish(msg);
  }

  rclcpp::Node::SharedPtr clock_node_;
  rclcpp::Publisher<rosgraph_msgs::msg::Clock>::SharedPtr clock_pub_;
};

TEST_F(NodeClock, ReadsSystemTimeTypedAsRosTimeByDefault)
{
  auto node = make_node();
  EXPECT_EQ(node->get_clock()->get_clock_type(), RCL_ROS_TIME);
  EXPECT_FALSE(node->get_clock()->ros_time_is_active());
  const auto parameter = node->get_parameter("use_sim_time");
  EXPECT_EQ(parameter.get_type(), rclcpp::PARAMETER_BOOL);
  EXPECT_FALSE(parameter.as_bool());
  rclcpp::Clock system(RCL_SYSTEM_TIME);
  const auto before = system.now().nanoseconds();
  const auto now = node->now();
  EXPECT_EQ(now.get_clock_type(), RCL_ROS_TIME);
  EXPECT_GE(now.nanoseconds(), before);
  EXPECT_LE(now.nanoseconds(), system.now().nanoseconds());
  // Statically typed: a string is refused.
  EXPECT_FALSE(node->set_parameter(rclcpp::Parameter("use_sim_time", "yes")).successful);
}

TEST_F(NodeClock, SimulatedTimeStartsAtZeroAndFollowsClockWithoutSpinning)
{
  auto node = make_node(rclcpp::NodeOptions().parameter_overrides({{"use_sim_time", true}}));
  EXPECT_TRUE(node->get_clock()->ros_time_is_active());
  EXPECT_EQ(node->now().nanoseconds(), 0);
  EXPECT_SETTLED_EQ(1u, node->count_subscribers("/clock"));
  publish_clock(42);
  EXPECT_TRUE(skelmar_test::waitFor([&] { return node->now().nanoseconds() == 42000000000; }));
  publish_clock(43);
  EXPECT_TRUE(skelmar_test::waitFor([&] { return node->now().seconds() == 43.0; }));
}

TEST_F(NodeClock, SettingUseSimTimeLaterTakesEffect)
{
  auto node = make_node();
  auto jumps = std::make_shared<std::vector<rcl_clock_change_t>>();
  rcl_jump_threshold_t threshold{};
  threshold.on_clock_change = true;
  auto handler = node->get_clock()->create_jump_callback(
      nullptr, [jumps](const rcl_time_jump_t & jump) { jumps->push_back(jump.clock_change); },
      threshold);

  // ROS applies the change from the node's own parameter events, so the node is spun.
  nav2_util::NodeThread spinner(node);
  ASSERT_TRUE(node->set_parameter(rclcpp::Parameter("use_sim_time", true)).successful);
  EXPECT_TRUE(skelmar_test::waitFor([&] { return node->get_clock()->ros_time_is_active(); }));
  publish_clock(7);
  EXPECT_TRUE(skelmar_test::waitFor([&] { return node->now().nanoseconds() == 7000000000; }));

  ASSERT_TRUE(node->set_parameter(rclcpp::Parameter("use_sim_time", false)).successful);
  EXPECT_TRUE(skelmar_test::waitFor([&] { return !node->get_clock()->ros_time_is_active(); }));
  EXPECT_GT(node->now().seconds(), 1e9);
  EXPECT_SETTLED_EQ(0u, node->count_subscribers("/clock"));
  EXPECT_EQ(
      *jumps, (std::vector<rcl_clock_change_t>{RCL_ROS_TIME_ACTIVATED, RCL_ROS_TIME_DEACTIVATED}));
}

TEST_F(NodeClock, UseSimTimeOverridesOfAnotherTypeAreRefused)
{
  EXPECT_THROW(
      make_node(rclcpp::NodeOptions().parameter_overrides({{"use_sim_time", 1}})),
      rclcpp::exceptions::InvalidParameterTypeException);
  EXPECT_THROW(
      make_node(rclcpp::NodeOptions()
                    .parameter_overrides({{"use_sim_time", "true"}})
                    .automatically_declare_parameters_from_overrides(true)),
      std::invalid_argument);
}

TEST_F(NodeClock, CommandLineUseSimTimeReachesEveryNodeOfTheContext)
{
  auto context = std::make_shared<rclcpp::Context>();
  const char * argv[] = {"test", "--ros-args", "-p", "use_sim_time:=true"};
  context->init(4, argv);
  auto node = make_node(rclcpp::NodeOptions().context(context));
  EXPECT_TRUE(node->get_parameter("use_sim_time").as_bool());
  EXPECT_EQ(node->now().nanoseconds(), 0);
  auto local = make_node(rclcpp::NodeOptions().context(context).use_global_arguments(false));
  EXPECT_FALSE(local->get_parameter("use_sim_time").as_bool());
  context->shutdown("done");
}

TEST_F(NodeClock, SleepingFollowsSimulatedTimeAndStopsOnShutdown)
{
  auto node = make_node(rclcpp::NodeOptions().parameter_overrides({{"use_sim_time", true}}));
  auto clock = node->get_clock();
  std::thread ticker([&] {
    for (int s = 1; s <= 3; ++s) {
      std::this_thread::sleep_for(5ms);
      publish_clock(s);
    }
  });
  EXPECT_TRUE(clock->sleep_until(rclcpp::Time(3, 0, RCL_ROS_TIME)));
  ticker.join();
  EXPECT_EQ(
      error_of([&] { clock->sleep_until(rclcpp::Time(3, 0, RCL_SYSTEM_TIME)); }),
      "until's clock type does not match this clock's type");

  auto context = std::make_shared<rclcpp::Context>();
  const char * argv[] = {"test"};
  context->init(1, argv);
  std::thread stopper([&] {
    std::this_thread::sleep_for(20ms);
    context->shutdown("done");
  });
  rclcpp::Clock steady(RCL_STEADY_TIME);
  EXPECT_FALSE(steady.sleep_for(rclcpp::Duration(100s), context));
  stopper.join();
}

}  // namespace
