// Starting and stopping node threads: never hangs, however early it is stopped.

#include <gtest/gtest.h>

#include "communicator_test_helpers.hpp"
#include "std_msgs/msg/int8.hpp"

using communicator_test::Inbox;
using communicator_test::threadCount;

TEST(NodeThreadStart, DestroyedRightAfterStartingManyTimes)
{
  auto node = std::make_shared<rclcpp::Node>(skelmar_test::uniqueName("thread_cycles"));
  const size_t threads = threadCount();
  for (int i = 0; i < 300; ++i) {
    // The node leaves its executor when the executor goes, so it can be added again.
    auto thread = skelmar_internal::startNodeThread(node->get_node_base_interface());
    ASSERT_TRUE(thread);
  }
  EXPECT_EQ(threadCount(), threads);
}

TEST(NodeThreadStart, SpinsTheNodeUntilDestroyed)
{
  auto node = std::make_shared<rclcpp::Node>(skelmar_test::uniqueName("thread_spin"));
  Inbox<std_msgs::msg::Int8> inbox(*node, "thread_spin_topic");
  auto publisher = node->create_publisher<std_msgs::msg::Int8>("thread_spin_topic", 10);
  auto thread = skelmar_internal::startNodeThread(node->get_node_base_interface());
  publisher->publish(std_msgs::msg::Int8());
  ASSERT_TRUE(inbox.waitForCount(1));
  thread.reset();

  // Stopped: a message now stays undelivered until the node is spun again.
  publisher->publish(std_msgs::msg::Int8());
  auto probe = std::make_shared<rclcpp::Node>(skelmar_test::uniqueName("thread_probe"));
  Inbox<std_msgs::msg::Int8> probe_inbox(*probe, "thread_spin_topic");
  auto probe_pub = probe->create_publisher<std_msgs::msg::Int8>("thread_spin_topic", 10);
  auto probe_thread = skelmar_internal::startNodeThread(probe->get_node_base_interface());
  ASSERT_TRUE(probe_inbox.waitForMatch(probe_pub));
  probe_pub->publish(std_msgs::msg::Int8());
  ASSERT_TRUE(probe_inbox.waitForCount(1));
  EXPECT_EQ(inbox.size(), 1U);

  thread = skelmar_internal::startNodeThread(node->get_node_base_interface());
  EXPECT_TRUE(inbox.waitForCount(3));
}
