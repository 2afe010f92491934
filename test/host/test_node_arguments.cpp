// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

// Global and local --ros-args through the public API: remapping, parameter overrides and the
// failures of bad arguments and names, as ROS 2 Humble has them.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "host/runtime_test_helpers.hpp"
#include "rclcpp/exceptions.hpp"
#include "rclcpp/rclcpp.hpp"
#include "std_msgs/msg/string.hpp"

namespace {

using runtime_test::starts_with;
using runtime_test::what_of;

}  // namespace

// Through the public API: a context of its own carries the global arguments, so the
// binary's default context is left alone.
class NodeArguments : public ::testing::Test
{
protected:
  rclcpp::Context::SharedPtr init_context(const std::vector<std::string> & ros_arguments)
  {
    std::vector<const char *> argv{"prog", "--ros-args"};
    for (const std::string & argument : ros_arguments) {
      argv.push_back(argument.c_str());
    }
    auto context = std::make_shared<rclcpp::Context>();
    context->init(static_cast<int>(argv.size()), argv.data());
    contexts_.push_back(context);
    return context;
  }

  void TearDown() override
  {
    for (const auto & context : contexts_) {
      context->shutdown("test done");
    }
  }

  static std::string topic_of(rclcpp::Node & node, const std::string & name)
  {
    return node.create_publisher<std_msgs::msg::String>(name, 1)->get_topic_name();
  }

  std::vector<rclcpp::Context::SharedPtr> contexts_;
};

TEST_F(NodeArguments, GlobalRemapsAndOverridesReachNodesAsInRos)
{
  const auto context = init_context(
      {"-r", "chatter:=talk", "-r", "/chatter:=/x", "-p", "talker:x:=1", "-p", "y:=2"});
  rclcpp::Node in_ns("talker", "ns", rclcpp::NodeOptions().context(context));
  EXPECT_EQ("/ns/talk", topic_of(in_ns, "chatter"));
  EXPECT_EQ(0, in_ns.declare_parameter("x", 0));
  EXPECT_EQ(2, in_ns.declare_parameter("y", 0));
  rclcpp::Node at_root("talker", rclcpp::NodeOptions().context(context));
  EXPECT_EQ("/talk", topic_of(at_root, "chatter"));
  EXPECT_EQ(1, at_root.declare_parameter("x", 0));
}

TEST_F(NodeArguments, LocalArgumentsComeFirstAndCanIgnoreGlobalOnes)
{
  const auto context = init_context({"-r", "chatter:=global", "-r", "__node:=renamed"});
  const auto local = rclcpp::NodeOptions().context(context).arguments(
      {"--ros-args", "-r", "chatter:=local", "-r", "__ns:=/moved"});
  rclcpp::Node node("talker", local);
  EXPECT_STREQ("renamed", node.get_name());
  EXPECT_STREQ("/moved", node.get_namespace());
  EXPECT_STREQ("/moved/renamed", node.get_fully_qualified_name());
  EXPECT_EQ("/moved/local", topic_of(node, "chatter"));
  rclcpp::Node isolated(
      "talker", rclcpp::NodeOptions().context(context).use_global_arguments(false));
  EXPECT_STREQ("talker", isolated.get_name());
  EXPECT_EQ("/chatter", topic_of(isolated, "chatter"));
}

TEST_F(NodeArguments, BadArgumentsAndNamesFailConstruction)
{
  EXPECT_EQ(
      "found unknown ROS arguments: '--foo'", what_of<rclcpp::exceptions::UnknownROSArgsError>([] {
        rclcpp::Node("n", rclcpp::NodeOptions().arguments({"--ros-args", "--foo"}));
      }));
  EXPECT_TRUE(starts_with(
      what_of<rclcpp::exceptions::RCLInvalidROSArgsError>([] {
        rclcpp::Node("n", rclcpp::NodeOptions().arguments({"--ros-args", "-r", "bad"}));
      }),
      "failed to parse arguments: Couldn't parse remap rule: '-r bad'. Error: "));
  EXPECT_TRUE(starts_with(
      what_of<rclcpp::exceptions::RCLInvalidROSArgsError>([this] { init_context({"-p"}); }),
      "failed to initialize rcl: Couldn't parse trailing -p flag."));
  EXPECT_EQ(
      "Invalid namespace: namespace must be absolute, it must lead with a '/':\n  'ns/'\n   ^\n",
      what_of<rclcpp::exceptions::InvalidNamespaceError>([] { rclcpp::Node("n", "ns/"); }));
  EXPECT_NE(
      "", what_of<rclcpp::exceptions::InvalidNodeNameError>([] { rclcpp::Node("bad-name"); }));
  rclcpp::Node node("n", "/ns");
  EXPECT_EQ(
      "Invalid topic name: topic name must not contain repeated '/':\n  '/ns/foo//bar'\n"
      "           ^\n",
      what_of<rclcpp::exceptions::InvalidTopicNameError>([&node] { topic_of(node, "foo//bar"); }));
}
