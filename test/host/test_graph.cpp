// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

// Graph queries: counts on expanded names, endpoint descriptions that carry their node,
// node, topic and service listings.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "rclcpp/rclcpp.hpp"
#include "std_msgs/msg/int32.hpp"
#include "std_msgs/msg/string.hpp"
#include "support/ros_test_support.hpp"

namespace {
using std_msgs::msg::Int32;

bool internal_topic(const std::string & topic)
{
  return topic.rfind("/rosout", 0) == 0 || topic.rfind("/parameter_events", 0) == 0;
}

TEST(Graph, CountsUseExpandedButNotRemappedNames)
{
  const std::string base = skelmar_test::uniqueName("counted");
  auto node = std::make_shared<rclcpp::Node>(
      skelmar_test::uniqueName("graph"), "/robot",
      rclcpp::NodeOptions().arguments({"--ros-args", "-r", base + "_from:=" + base + "_to"}));
  auto pub = node->create_publisher<Int32>(base + "_from", 1);
  auto sub_a = node->create_subscription<Int32>(base, 1, [](const Int32 &) {});
  auto sub_b = node->create_subscription<Int32>("/robot/" + base, 1, [](const Int32 &) {});

  EXPECT_STREQ(pub->get_topic_name(), ("/robot/" + base + "_to").c_str());
  EXPECT_SETTLED_EQ(2u, node->count_subscribers(base));
  EXPECT_SETTLED_EQ(2u, node->count_subscribers("/robot/" + base));
  EXPECT_EQ(node->count_subscribers("/" + base), 0u);
  // Counting does not remap: the publisher is found under its final name only.
  EXPECT_SETTLED_EQ(1u, node->count_publishers(base + "_to"));
  EXPECT_EQ(node->count_publishers(base + "_from"), 0u);
  // Endpoint queries do remap.
  EXPECT_SETTLED_EQ(1u, node->get_publishers_info_by_topic(base + "_from").size());
  EXPECT_TRUE(node->get_publishers_info_by_topic(base + "_from", true).empty());
  EXPECT_THROW(node->count_publishers("bad name"), rclcpp::exceptions::InvalidTopicNameError);
}

TEST(Graph, EndpointInfoDescribesTheOwningNodeTypeGidAndQoS)
{
  auto node = std::make_shared<rclcpp::Node>(skelmar_test::uniqueName("owner"), "/ns");
  auto other = std::make_shared<rclcpp::Node>(skelmar_test::uniqueName("other"));
  const std::string topic = "/" + skelmar_test::uniqueName("described");
  auto pub = node->create_publisher<Int32>(topic, rclcpp::QoS(3).transient_local());
  auto sub =
      other->create_subscription<Int32>(topic, rclcpp::SystemDefaultsQoS(), [](const Int32 &) {});

  ASSERT_TRUE(skelmar_test::waitFor([&] {
    return other->get_publishers_info_by_topic(topic).size() == 1u &&
           node->get_subscriptions_info_by_topic(topic).size() == 1u;
  }));
  const auto publishers = other->get_publishers_info_by_topic(topic);
  ASSERT_EQ(publishers.size(), 1u);
  const auto & info = publishers[0];
  EXPECT_EQ(info.node_name(), node->get_name());
  EXPECT_EQ(info.node_namespace(), "/ns");
  EXPECT_EQ(info.topic_type(), "std_msgs/msg/Int32");
  EXPECT_EQ(info.endpoint_type(), rclcpp::EndpointType::Publisher);
  EXPECT_EQ(info.endpoint_gid().size(), 24u);
  if (skelmar_test::middlewareActsLikeFastDds()) {  // Cyclone DDS reports another identifier
    EXPECT_TRUE(
        std::equal(info.endpoint_gid().begin(), info.endpoint_gid().end(), pub->get_gid().data));
  }
  EXPECT_EQ(info.qos_profile().history(), rclcpp::HistoryPolicy::KeepLast);
  EXPECT_EQ(info.qos_profile().depth(), 3u);
  EXPECT_EQ(info.qos_profile().reliability(), rclcpp::ReliabilityPolicy::Reliable);
  EXPECT_EQ(info.qos_profile().durability(), rclcpp::DurabilityPolicy::TransientLocal);

  const auto subscriptions = node->get_subscriptions_info_by_topic(topic);
  ASSERT_EQ(subscriptions.size(), 1u);
  EXPECT_EQ(subscriptions[0].node_name(), other->get_name());
  EXPECT_EQ(subscriptions[0].node_namespace(), "/");
  EXPECT_EQ(subscriptions[0].endpoint_type(), rclcpp::EndpointType::Subscription);
  if (skelmar_test::middlewareActsLikeFastDds()) {
    EXPECT_EQ(subscriptions[0].qos_profile().depth(), 1u);
    EXPECT_EQ(subscriptions[0].qos_profile().reliability(), rclcpp::ReliabilityPolicy::BestEffort);
  }
  EXPECT_FALSE(std::equal(
      subscriptions[0].endpoint_gid().begin(), subscriptions[0].endpoint_gid().end(),
      info.endpoint_gid().begin()));
}

TEST(Graph, ANodeCarriesExactlyTheEndpointsItCreated)
{
  auto node = std::make_shared<rclcpp::Node>(skelmar_test::uniqueName("exact"));
  const std::string prefix = "/" + skelmar_test::uniqueName("own");
  auto p1 = node->create_publisher<Int32>(prefix + "_a", 1);
  auto p2 = node->create_publisher<std_msgs::msg::String>(prefix + "_b", 1);
  auto s1 = node->create_subscription<Int32>(prefix + "_c", 1, [](const Int32 &) {});
  ASSERT_TRUE(skelmar_test::waitFor([&] {
    return node->count_publishers(prefix + "_a") == 1u &&
           node->count_publishers(prefix + "_b") == 1u &&
           node->count_subscribers(prefix + "_c") == 1u;
  }));

  std::vector<std::string> published;
  std::vector<std::string> subscribed;
  for (const auto & entry : node->get_topic_names_and_types()) {
    if (internal_topic(entry.first)) {
      continue;
    }
    for (const auto & info : node->get_publishers_info_by_topic(entry.first)) {
      if (info.node_name() == node->get_name() && info.node_namespace() == node->get_namespace()) {
        published.push_back(entry.first + " " + info.topic_type());
      }
    }
    for (const auto & info : node->get_subscriptions_info_by_topic(entry.first)) {
      if (info.node_name() == node->get_name() && info.node_namespace() == node->get_namespace()) {
        subscribed.push_back(entry.first + " " + info.topic_type());
      }
    }
  }
  std::sort(published.begin(), published.end());
  EXPECT_EQ(
      published, (std::vector<std::string>{
                     prefix + "_a std_msgs/msg/Int32", prefix + "_b std_msgs/msg/String"}));
  EXPECT_EQ(subscribed, (std::vector<std::string>{prefix + "_c std_msgs/msg/Int32"}));

  p2.reset();
  EXPECT_SETTLED_EQ(0u, node->get_publishers_info_by_topic(prefix + "_b").size());
  EXPECT_SETTLED_EQ(0u, node->get_topic_names_and_types().count(prefix + "_b"));
}

TEST(Graph, NodeNamesAreFullyQualifiedAndLeaveWithTheirLastEndpoint)
{
  auto observer = std::make_shared<rclcpp::Node>(skelmar_test::uniqueName("observer"));
  const std::string name = skelmar_test::uniqueName("listed");
  auto node = std::make_shared<rclcpp::Node>(name, "a/b");
  auto names = observer->get_node_names();
  EXPECT_NE(std::find(names.begin(), names.end(), "/a/b/" + name), names.end());
  EXPECT_NE(
      std::find(names.begin(), names.end(), observer->get_fully_qualified_name()), names.end());

  // An endpoint keeps its node in the graph, as an rcl node handle does.
  auto pub = node->create_publisher<Int32>("kept", 1);
  node.reset();
  names = observer->get_node_names();
  EXPECT_NE(std::find(names.begin(), names.end(), "/a/b/" + name), names.end());
  pub.reset();
  names = observer->get_node_names();
  EXPECT_EQ(std::find(names.begin(), names.end(), "/a/b/" + name), names.end());
}

TEST(Graph, GraphEventsWakeOnChanges)
{
  auto node = std::make_shared<rclcpp::Node>(skelmar_test::uniqueName("events"));
  auto event = node->get_graph_event();
  EXPECT_THROW(
      node->wait_for_graph_change(nullptr, std::chrono::milliseconds(1)),
      rclcpp::exceptions::InvalidEventError);
  // Once the node's own arrival has settled, a wait sees no change.
  EXPECT_TRUE(skelmar_test::waitFor([&] {
    node->wait_for_graph_change(event, std::chrono::milliseconds(50));
    return !event->check_and_clear();
  }));
  auto pub = node->create_publisher<Int32>(skelmar_test::uniqueName("event_topic"), 1);
  node->wait_for_graph_change(event, std::chrono::seconds(5));
  EXPECT_TRUE(event->check_and_clear());
}

}  // namespace
