#ifndef SUPPORT__ROS_TEST_SUPPORT_HPP_
#define SUPPORT__ROS_TEST_SUPPORT_HPP_

// What the tests that talk ROS share: bounded waits, unique names, a node spun on a thread of
// its own, and an inbox that keeps what a topic carries.

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "nav2_util/node_thread.hpp"
#include "node_thread_start.hpp"
#include "rclcpp/rclcpp.hpp"

namespace skelmar_test {

/// Polls @p predicate until it holds or @p timeout passed; returns its last answer.
inline bool waitFor(
    const std::function<bool()> & predicate,
    std::chrono::milliseconds timeout = std::chrono::seconds(5))
{
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!predicate()) {
    if (std::chrono::steady_clock::now() >= deadline) {
      return predicate();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

/// What @p read returns once it equals @p expected, or its last answer after a few seconds:
/// the middleware updates the graph asynchronously, so graph checks go through this.
template <typename Read, typename Expected>
auto settled(Read read, const Expected & expected) -> decltype(read())
{
  auto value = read();
  waitFor([&] {
    value = read();
    return value == expected;
  });
  return value;
}

/// `<prefix>_<pid>_<n>`: a node or topic name token unique within the process and unlikely to
/// clash with other processes.
inline std::string uniqueName(const std::string & prefix)
{
  static std::atomic<unsigned> counter{0};
  return prefix + "_" + std::to_string(::getpid()) + "_" + std::to_string(++counter);
}

/// Spins @p node on a thread of its own until the result is destroyed: declare it after
/// whatever the node's callbacks use.
inline std::unique_ptr<nav2_util::NodeThread> spin(const std::shared_ptr<rclcpp::Node> & node)
{
  return skelmar_internal::startNodeThread(node->get_node_base_interface());
}

/// A node of the test's own, spun on a thread of its own from spin() until stop().
class SpunNode
{
public:
  explicit SpunNode(
      const std::string & prefix, const std::string & namespace_ = "",
      const rclcpp::NodeOptions & options = rclcpp::NodeOptions())
      : node(std::make_shared<rclcpp::Node>(uniqueName(prefix), namespace_, options))
  {}
  ~SpunNode()
  {
    stop();
  }
  SpunNode(const SpunNode &) = delete;
  SpunNode & operator=(const SpunNode &) = delete;

  void spin()
  {
    thread_ = skelmar_test::spin(node);
  }
  void stop()
  {
    thread_.reset();
  }

  std::shared_ptr<rclcpp::Node> node;

private:
  std::unique_ptr<nav2_util::NodeThread> thread_;
};

/// Keeps every message of one topic. The callback holds only shared state, so the inbox may
/// go away in any order relative to the thread spinning its node.
template <typename MessageT>
class Inbox
{
public:
  Inbox(rclcpp::Node & node, const std::string & topic, const rclcpp::QoS & qos = rclcpp::QoS(100))
      : state_(std::make_shared<State>()),
        subscription_(node.create_subscription<MessageT>(
            topic, qos, [state = state_](typename MessageT::UniquePtr msg) {
              std::lock_guard<std::mutex> lock(state->mutex);
              state->messages.push_back(std::move(*msg));
            }))
  {}

  std::vector<MessageT> messages() const
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->messages;
  }
  size_t size() const
  {
    return messages().size();
  }
  MessageT last() const
  {
    return messages().back();
  }

  bool waitForCount(size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(5)) const
  {
    return waitFor([this, count] { return size() >= count; }, timeout);
  }

  /// Waits until @p publisher sees this subscription, so that nothing sent later is lost.
  bool waitForMatch(const std::shared_ptr<rclcpp::PublisherBase> & publisher) const
  {
    return waitFor([&publisher] { return publisher->get_subscription_count() > 0; });
  }

  /// Calls @p publish until a message arrives and returns the first one: a subscription is
  /// matched asynchronously. The inbox's node must be spinning.
  MessageT firstOf(const std::function<void()> & publish) const
  {
    EXPECT_TRUE(waitFor([&] {
      publish();
      return waitForCount(1, std::chrono::milliseconds(20));
    })) << "nothing arrived on "
        << subscription_->get_topic_name();
    return size() > 0 ? messages().front() : MessageT();
  }

private:
  struct State
  {
    std::mutex mutex;
    std::vector<MessageT> messages;
  };
  std::shared_ptr<State> state_;
  std::shared_ptr<rclcpp::Subscription<MessageT>> subscription_;
};

/// Subscribes @p node (which must be spinning) to @p topic and returns the first message that
/// arrives while @p publish is called again and again.
template <typename MessageT>
MessageT firstReceived(
    rclcpp::Node & node, const std::string & topic, const std::function<void()> & publish,
    const rclcpp::QoS & qos = rclcpp::QoS(100))
{
  return Inbox<MessageT>(node, topic, qos).firstOf(publish);
}

/// Initialises the default ROS context around all tests of a binary.
class RosEnvironment : public ::testing::Environment
{
public:
  void SetUp() override
  {
    rclcpp::init(0, nullptr);
  }
  void TearDown() override
  {
    rclcpp::shutdown();
  }
};

}  // namespace skelmar_test

#endif  // SUPPORT__ROS_TEST_SUPPORT_HPP_
