#ifndef SUPPORT__ROS_TEST_SUPPORT_HPP_
#define SUPPORT__ROS_TEST_SUPPORT_HPP_

// What the tests that talk ROS share: the default ROS context held around all tests of the
// executable, bounded waits, uniquely named nodes and their spinning, an inbox per topic and
// threads released together.

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

#include "node_thread_start.hpp"
#include "rclcpp/rclcpp.hpp"

namespace skelmar_test {

struct RosContext : ::testing::Environment
{
  void SetUp() override
  {
    rclcpp::init(0, nullptr);
  }
  void TearDown() override
  {
    rclcpp::shutdown();
  }
};
inline ::testing::Environment * const ros_context =
    ::testing::AddGlobalTestEnvironment(new RosContext());

/// Polls @p predicate until it holds or @p timeout passed; returns its last answer.
inline bool waitFor(
    const std::function<bool()> & predicate,
    std::chrono::milliseconds timeout = std::chrono::seconds(5))
{
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (; !predicate(); std::this_thread::sleep_for(std::chrono::milliseconds(1))) {
    if (std::chrono::steady_clock::now() >= deadline) {
      return predicate();
    }
  }
  return true;
}

/// `<prefix>_<pid>_<n>`: unique within the process and unlikely to clash with others.
inline std::string uniqueName(const std::string & prefix)
{
  static std::atomic<unsigned> count{0};
  return prefix + "_" + std::to_string(::getpid()) + "_" + std::to_string(++count);
}

/// A node named uniquely after @p prefix.
inline rclcpp::Node::SharedPtr uniqueNode(
    const std::string & prefix, const rclcpp::NodeOptions & options = rclcpp::NodeOptions())
{
  return std::make_shared<rclcpp::Node>(uniqueName(prefix), options);
}

/// Spins @p node until the result is destroyed: declare it after what the callbacks use.
inline std::unique_ptr<nav2_util::NodeThread> spin(const rclcpp::Node::SharedPtr & node)
{
  return skelmar_internal::startNodeThread(node->get_node_base_interface());
}

/// Keeps every message of one topic; the callback holds only shared state, so the inbox may
/// go before or after the thread spinning its node.
template <typename MessageT>
class Inbox
{
public:
  Inbox(rclcpp::Node & node, const std::string & topic)
      : subscription_(node.create_subscription<MessageT>(
            topic, 100, [state = state_](typename MessageT::UniquePtr msg) {
              std::lock_guard<std::mutex> lock(state->mutex);
              state->messages.push_back(std::move(*msg));
            }))
  {}
  std::vector<MessageT> messages() const
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->messages;
  }
  bool waitForCount(size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(5)) const
  {
    return waitFor([this, count] { return messages().size() >= count; }, timeout);
  }

private:
  struct State
  {
    std::mutex mutex;
    std::vector<MessageT> messages;
  };
  std::shared_ptr<State> state_ = std::make_shared<State>();
  std::shared_ptr<rclcpp::Subscription<MessageT>> subscription_;
};

/// Restarts the default context with @p ros_args as global arguments (the bundles' nodes take
/// their configuration from there), and a plain one afterwards.
struct GlobalRosArguments
{
  explicit GlobalRosArguments(std::vector<std::string> ros_args)
  {
    ros_args.insert(ros_args.begin(), {"test", "--ros-args"});
    std::vector<const char *> argv;
    for (const auto & arg : ros_args) {
      argv.push_back(arg.c_str());
    }
    rclcpp::shutdown();
    rclcpp::init(static_cast<int>(argv.size()), argv.data());
  }
  ~GlobalRosArguments()
  {
    rclcpp::shutdown();
    rclcpp::init(0, nullptr);
  }
};

/// Runs @p body(thread_index) on @p threads threads released together and joins them.
inline void runTogether(int threads, const std::function<void(int)> & body)
{
  std::atomic<bool> go{false};
  std::vector<std::thread> workers;
  for (int t = 0; t < threads; ++t) {
    workers.emplace_back([&, t] {
      while (!go) {
        std::this_thread::yield();
      }
      body(t);
    });
  }
  go = true;
  for (auto & worker : workers) {
    worker.join();
  }
}

}  // namespace skelmar_test

#endif  // SUPPORT__ROS_TEST_SUPPORT_HPP_
