// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

// Publish/subscribe behaviour of the in-process runtime, checked through the public rclcpp
// API: per-subscription keep-last queues, transient-local replay, QoS matching, the accepted
// callback forms, message info, concurrency and teardown.

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "nav2_util/node_thread.hpp"
#include "rclcpp/rclcpp.hpp"
#include "std_msgs/msg/int32.hpp"
#include "support/ros_test_support.hpp"

namespace {
using std_msgs::msg::Int32;
using namespace std::chrono_literals;

Int32 make(int value)
{
  Int32 msg;
  msg.data = value;
  return msg;
}

/// Values received by a subscription callback, thread-safe.
class Inbox
{
public:
  void add(int value)
  {
    std::lock_guard<std::mutex> lock(mutex_);
    values_.push_back(value);
  }

  std::vector<int> values() const
  {
    std::lock_guard<std::mutex> lock(mutex_);
    return values_;
  }

  size_t size() const
  {
    std::lock_guard<std::mutex> lock(mutex_);
    return values_.size();
  }

private:
  mutable std::mutex mutex_;
  std::vector<int> values_;
};

class PubSub : public ::testing::Test
{
protected:
  void SetUp() override
  {
    node = std::make_shared<rclcpp::Node>(skelmar_test::uniqueName("pubsub"));
    topic = "/" + skelmar_test::uniqueName("topic");
  }

  rclcpp::Subscription<Int32>::SharedPtr subscribe(const rclcpp::QoS & qos, Inbox & inbox)
  {
    return node->create_subscription<Int32>(
        topic, qos, [&inbox](const Int32 & msg) { inbox.add(msg.data); });
  }

  // Runs every callback that is ready, repeatedly, until nothing is left.
  void drain()
  {
    rclcpp::executors::SingleThreadedExecutor executor;
    executor.add_node(node);
    executor.spin_all(1s);
    executor.remove_node(node);
  }

  rclcpp::Node::SharedPtr node;
  std::string topic;
};

TEST_F(PubSub, EachSubscriptionKeepsItsOwnNewestSamples)
{
  Inbox two;
  Inbox five;
  Inbox all;
  auto sub_two = subscribe(rclcpp::QoS(2), two);
  auto sub_five = subscribe(rclcpp::QoS(5), five);
  auto sub_all = subscribe(rclcpp::QoS(rclcpp::KeepAll()), all);
  auto pub = node->create_publisher<Int32>(topic, 10);
  ASSERT_EQ(3u, skelmar_test::settled([&] { return pub->get_subscription_count(); }, 3u));

  for (int i = 0; i < 40; ++i) {
    pub->publish(make(i));
  }
  drain();

  EXPECT_EQ(two.values(), (std::vector<int>{38, 39}));
  EXPECT_EQ(five.values(), (std::vector<int>{35, 36, 37, 38, 39}));
  std::vector<int> expected_all;
  for (int i = 0; i < 40; ++i) {
    expected_all.push_back(i);
  }
  EXPECT_EQ(all.values(), expected_all);
}

TEST_F(PubSub, SystemDefaultsQoSKeepsOneSampleAndMatchesReliablePublishers)
{
  Inbox inbox;
  auto sub = subscribe(rclcpp::SystemDefaultsQoS(), inbox);
  auto pub = node->create_publisher<Int32>(topic, rclcpp::QoS(1));
  EXPECT_SETTLED_EQ(1u, sub->get_publisher_count());
  const auto actual = sub->get_actual_qos();
  EXPECT_EQ(actual.history(), rclcpp::HistoryPolicy::KeepLast);
  EXPECT_EQ(actual.depth(), 1u);
  if (!skelmar_test::middlewareActsLikeFastDds()) {
    return;  // Cyclone DDS makes system-default subscriptions reliable
  }
  EXPECT_EQ(actual.reliability(), rclcpp::ReliabilityPolicy::BestEffort);

  pub->publish(make(1));
  pub->publish(make(2));
  pub->publish(make(3));
  drain();
  EXPECT_EQ(inbox.values(), (std::vector<int>{3}));
}

TEST_F(PubSub, TransientLocalPublisherReplaysItsLastDepthToLateTransientLocalSubscribers)
{
  auto pub = node->create_publisher<Int32>(topic, rclcpp::QoS(3).transient_local());
  for (int i = 0; i < 5; ++i) {
    pub->publish(make(i));
  }
  Inbox late_durable;
  Inbox late_volatile;
  auto durable = subscribe(rclcpp::QoS(10).transient_local(), late_durable);
  auto volatile_sub = subscribe(rclcpp::QoS(10), late_volatile);
  drain();
  EXPECT_EQ(late_durable.values(), (std::vector<int>{2, 3, 4}));
  EXPECT_TRUE(late_volatile.values().empty());

  pub->publish(make(5));
  drain();
  EXPECT_EQ(late_durable.values(), (std::vector<int>{2, 3, 4, 5}));
  EXPECT_EQ(late_volatile.values(), (std::vector<int>{5}));
}

TEST_F(PubSub, IncompatibleQoSNeverConnects)
{
  Inbox durable_inbox;
  Inbox reliable_inbox;
  auto volatile_pub = node->create_publisher<Int32>(topic, rclcpp::QoS(5).best_effort());
  auto durable_sub = subscribe(rclcpp::QoS(5).transient_local().best_effort(), durable_inbox);
  auto reliable_sub = subscribe(rclcpp::QoS(5).reliable(), reliable_inbox);

  // Counted by the graph, but not matched.
  EXPECT_SETTLED_EQ(2u, node->count_subscribers(topic));
  EXPECT_EQ(volatile_pub->get_subscription_count(), 0u);
  EXPECT_EQ(durable_sub->get_publisher_count(), 0u);
  EXPECT_EQ(reliable_sub->get_publisher_count(), 0u);

  volatile_pub->publish(make(7));
  drain();
  EXPECT_TRUE(durable_inbox.values().empty());
  EXPECT_TRUE(reliable_inbox.values().empty());

  // The other way round both match: reliable offers satisfy best-effort requests.
  Inbox best_effort_inbox;
  auto best_effort_sub = subscribe(rclcpp::QoS(5).best_effort(), best_effort_inbox);
  auto reliable_pub = node->create_publisher<Int32>(topic, rclcpp::QoS(5).transient_local());
  EXPECT_SETTLED_EQ(3u, reliable_pub->get_subscription_count());
  reliable_pub->publish(make(8));
  drain();
  EXPECT_EQ(best_effort_inbox.values(), (std::vector<int>{8}));
  EXPECT_EQ(durable_inbox.values(), (std::vector<int>{8}));
  EXPECT_EQ(reliable_inbox.values(), (std::vector<int>{8}));
}

class Receiver
{
public:
  void by_value(Int32 msg)
  {
    inbox.add(msg.data);
  }

  Inbox inbox;
};

TEST_F(PubSub, EveryAcceptedCallbackFormReceivesTheMessage)
{
  std::vector<Inbox> inboxes(10);
  Receiver receiver;
  std::vector<rclcpp::SubscriptionBase::SharedPtr> subs;
  subs.push_back(node->create_subscription<Int32>(
      topic, 10, [&](const Int32 & msg) { inboxes[0].add(msg.data); }));
  subs.push_back(node->create_subscription<Int32>(
      topic, 10, [&](const Int32 & msg, const rclcpp::MessageInfo & info) {
        inboxes[1].add(msg.data + static_cast<int>(info.get_rmw_message_info().from_intra_process));
      }));
  subs.push_back(node->create_subscription<Int32>(
      topic, 10, [&](std::unique_ptr<Int32> msg) { inboxes[2].add(msg->data); }));
  subs.push_back(node->create_subscription<Int32>(
      topic, 10,
      [&](std::unique_ptr<Int32> msg, const rclcpp::MessageInfo &) { inboxes[3].add(msg->data); }));
  subs.push_back(node->create_subscription<Int32>(
      topic, 10, [&](std::shared_ptr<const Int32> msg) { inboxes[4].add(msg->data); }));
  subs.push_back(node->create_subscription<Int32>(
      topic, 10,
      [&](Int32::ConstSharedPtr msg, const rclcpp::MessageInfo &) { inboxes[5].add(msg->data); }));
  subs.push_back(node->create_subscription<Int32>(
      topic, 10, [&](const Int32::ConstSharedPtr & msg) { inboxes[6].add(msg->data); }));
  subs.push_back(
      node->create_subscription<Int32>(topic, 10, [&](Int32 msg) { inboxes[7].add(msg.data); }));
  subs.push_back(node->create_subscription<Int32>(
      topic, 10, std::bind(&Receiver::by_value, &receiver, std::placeholders::_1)));
  // The deprecated mutable shared pointer form still works (on a copy).
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  subs.push_back(node->create_subscription<Int32>(topic, 10, [&](Int32::SharedPtr msg) {
    msg->data += 100;
    inboxes[8].add(msg->data);
  }));
#pragma GCC diagnostic pop

  auto pub = node->create_publisher<Int32>(topic, 10);
  pub->publish(make(5));
  auto owned = std::make_unique<Int32>();
  owned->data = 6;
  pub->publish(std::move(owned));
  drain();

  for (size_t i = 0; i < 8; ++i) {
    EXPECT_EQ(inboxes[i].values(), (std::vector<int>{5, 6})) << "callback form " << i;
  }
  EXPECT_EQ(receiver.inbox.values(), (std::vector<int>{5, 6}));
  // The mutable copy does not leak into the other subscriptions' messages.
  EXPECT_EQ(inboxes[8].values(), (std::vector<int>{105, 106}));
}

TEST_F(PubSub, MessageInfoCarriesThePublisherAndItsSequence)
{
  std::vector<rmw_message_info_t> infos;
  auto sub = node->create_subscription<Int32>(
      topic, 10, [&](const Int32 &, const rclcpp::MessageInfo & info) {
        infos.push_back(info.get_rmw_message_info());
      });
  auto pub = node->create_publisher<Int32>(topic, 10);
  pub->publish(make(1));
  pub->publish(make(2));
  drain();
  ASSERT_EQ(infos.size(), 2u);
  if (skelmar_test::middlewareActsLikeFastDds()) {  // Cyclone DDS has no sequence numbers
    EXPECT_EQ(infos[0].publication_sequence_number + 1, infos[1].publication_sequence_number);
    EXPECT_EQ(infos[0].reception_sequence_number + 1, infos[1].reception_sequence_number);
  }
  EXPECT_TRUE(*pub == infos[1].publisher_gid);
  EXPECT_GT(infos[0].source_timestamp, 0);
}

TEST_F(PubSub, FreeFunctionsAcceptNodeReferencesPointersAndSharedPointers)
{
  Inbox inbox;
  rclcpp::Node * raw = node.get();
  auto by_pointer = rclcpp::create_subscription<Int32>(
      raw, topic, 10, [&](const Int32 & msg) { inbox.add(msg.data); });
  auto by_reference = rclcpp::create_publisher<Int32>(*node, topic, 10);
  auto by_shared = rclcpp::create_publisher<Int32>(node, topic, rclcpp::QoS(10));
  EXPECT_STREQ(by_reference->get_topic_name(), topic.c_str());
  EXPECT_EQ(by_reference->get_queue_size(), 10u);
  by_reference->publish(make(1));
  by_shared->publish(make(2));
  drain();
  EXPECT_EQ(inbox.values(), (std::vector<int>{1, 2}));
}

TEST_F(PubSub, ConcurrentPublishersKeepEachPublishersOrder)
{
  constexpr int kThreads = 4;
  constexpr int kPerThread = 500;
  std::mutex mutex;
  std::vector<std::vector<int>> per_thread(kThreads);
  std::atomic<int> total{0};
  auto sub = node->create_subscription<Int32>(
      topic, rclcpp::QoS(rclcpp::KeepAll()), [&](const Int32 & msg) {
        std::lock_guard<std::mutex> lock(mutex);
        per_thread[msg.data / kPerThread].push_back(msg.data % kPerThread);
        ++total;
      });
  nav2_util::NodeThread spinner(node);
  std::vector<rclcpp::Publisher<Int32>::SharedPtr> pubs;
  for (int t = 0; t < kThreads; ++t) {
    pubs.push_back(node->create_publisher<Int32>(topic, 10));
  }
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t]() {
      for (int i = 0; i < kPerThread; ++i) {
        pubs[t]->publish(make(t * kPerThread + i));
      }
    });
  }
  for (auto & t : threads) {
    t.join();
  }
  ASSERT_TRUE(skelmar_test::waitFor([&] { return total.load() == kThreads * kPerThread; }, 10s));
  std::lock_guard<std::mutex> lock(mutex);
  for (int t = 0; t < kThreads; ++t) {
    ASSERT_EQ(per_thread[t].size(), static_cast<size_t>(kPerThread));
    for (int i = 0; i < kPerThread; ++i) {
      ASSERT_EQ(per_thread[t][i], i) << "publisher " << t;
    }
  }
}

TEST_F(PubSub, NoCallbackRunsAfterTheExecutorStoppedOrTheSubscriptionIsGone)
{
  std::atomic<int> calls{0};
  auto sub = node->create_subscription<Int32>(topic, 10, [&](const Int32 &) { ++calls; });
  auto pub = node->create_publisher<Int32>(topic, 10);
  std::atomic<bool> stop{false};
  std::thread publisher([&]() {
    while (!stop.load()) {
      pub->publish(make(1));
    }
  });
  {
    nav2_util::NodeThread spinner(node);
    ASSERT_TRUE(skelmar_test::waitFor([&] { return calls.load() > 10; }));
  }
  const int after_stop = calls.load();
  // Still publishing, nobody spinning: nothing more runs.
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(calls.load(), after_stop);

  // A destroyed subscription's queued messages are never delivered.
  sub.reset();
  drain();
  EXPECT_EQ(calls.load(), after_stop);
  stop = true;
  publisher.join();
}

TEST_F(PubSub, SubscriptionsComeAndGoWhileMessagesArrive)
{
  auto pub = node->create_publisher<Int32>(topic, 10);
  std::atomic<bool> stop{false};
  std::thread publisher([&]() {
    while (!stop.load()) {
      pub->publish(make(1));
    }
  });
  nav2_util::NodeThread spinner(node);
  for (int round = 0; round < 50; ++round) {
    auto counter = std::make_shared<std::atomic<int>>(0);
    auto sub = node->create_subscription<Int32>(
        topic, 1, [counter](const Int32 &) { counter->fetch_add(1); });
    ASSERT_TRUE(skelmar_test::waitFor([&] { return counter->load() > 0; }));
  }
  stop = true;
  publisher.join();
}

TEST_F(PubSub, QosOverridingOptionsDeclareReadOnlyParametersAndApplyOverrides)
{
  auto overridden = std::make_shared<rclcpp::Node>(
      skelmar_test::uniqueName("overridden"),
      rclcpp::NodeOptions().parameter_overrides(
          {{"qos_overrides." + topic + ".publisher.depth", 7},
           {"qos_overrides." + topic + ".publisher.reliability", "best_effort"}}));
  rclcpp::PublisherOptions options;
  options.qos_overriding_options = rclcpp::QosOverridingOptions{
      rclcpp::QosPolicyKind::Depth, rclcpp::QosPolicyKind::Durability,
      rclcpp::QosPolicyKind::Reliability};
  auto pub = overridden->create_publisher<Int32>(topic, rclcpp::QoS(1), options);
  EXPECT_EQ(pub->get_actual_qos().depth(), 7u);
  EXPECT_EQ(pub->get_actual_qos().reliability(), rclcpp::ReliabilityPolicy::BestEffort);
  EXPECT_EQ(
      overridden->get_parameter("qos_overrides." + topic + ".publisher.durability").as_string(),
      "volatile");
  EXPECT_TRUE(
      overridden->describe_parameter("qos_overrides." + topic + ".publisher.depth").read_only);
  EXPECT_FALSE(overridden->has_parameter("qos_overrides." + topic + ".publisher.history"));

  rclcpp::SubscriptionOptions refusing;
  refusing.qos_overriding_options =
      rclcpp::QosOverridingOptions({rclcpp::QosPolicyKind::Depth}, [](const rclcpp::QoS &) {
        rclcpp::QosCallbackResult result;
        result.successful = false;
        result.reason = "no";
        return result;
      });
  EXPECT_THROW(
      overridden->create_subscription<Int32>(
          topic, 1, [](const Int32 &) {}, refusing),
      rclcpp::exceptions::InvalidQosOverridesException);
}

TEST(PubSubShutdown, PublishAfterShutdownReturnsQuietly)
{
  auto context = std::make_shared<rclcpp::Context>();
  const char * argv[] = {"test"};
  context->init(1, argv);
  auto node =
      std::make_shared<rclcpp::Node>("shutdown_pub", rclcpp::NodeOptions().context(context));
  auto pub = node->create_publisher<Int32>("chatter", 10);
  int received = 0;
  auto sub = node->create_subscription<Int32>("chatter", 10, [&](const Int32 &) { ++received; });
  rclcpp::shutdown(context);
  EXPECT_NO_THROW(pub->publish(make(1)));
  EXPECT_NO_THROW(pub->publish(std::make_unique<Int32>()));
  EXPECT_SETTLED_EQ(1u, sub->get_publisher_count());
}

TEST(PubSubContexts, ContextsShareOneGraph)
{
  auto context = std::make_shared<rclcpp::Context>();
  const char * argv[] = {"test"};
  context->init(1, argv);
  auto a = std::make_shared<rclcpp::Node>("graph_a");
  auto b = std::make_shared<rclcpp::Node>("graph_b", rclcpp::NodeOptions().context(context));
  const std::string topic = "/" + skelmar_test::uniqueName("separate");
  auto pub = a->create_publisher<Int32>(topic, 10);
  auto sub = b->create_subscription<Int32>(topic, 10, [](const Int32 &) {});
  // Like the participants of one DDS domain, nodes of different contexts see each other.
  EXPECT_SETTLED_EQ(1u, pub->get_subscription_count());
  EXPECT_SETTLED_EQ(1u, b->count_publishers(topic));
  context->shutdown("done");
}

}  // namespace
