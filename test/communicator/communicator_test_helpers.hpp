#ifndef COMMUNICATOR__COMMUNICATOR_TEST_HELPERS_HPP_
#define COMMUNICATOR__COMMUNICATOR_TEST_HELPERS_HPP_

// Helpers shared by the communicator tests: nodes spun on their own thread, inboxes that
// collect what a topic carries, captures of the library's and ROS's log records.

#include <spdlog/details/log_msg.h>
#include <spdlog/sinks/base_sink.h>

#include <algorithm>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "nav2_util/node_thread.hpp"
#include "node_thread_start.hpp"
#include "rclcpp/rclcpp.hpp"
#include "rcutils/logging.h"
#include "skelmar_nav2_tools/logger.hpp"
#include "support/ros_test_support.hpp"

namespace communicator_test {

/// A node of the test's own, spun on a thread of its own once spin() is called.
class SpunNode
{
public:
  explicit SpunNode(
      const std::string & prefix, const std::string & namespace_ = "",
      const rclcpp::NodeOptions & options = rclcpp::NodeOptions())
      : node(std::make_shared<rclcpp::Node>(skelmar_test::uniqueName(prefix), namespace_, options))
  {}

  ~SpunNode()
  {
    stop();
  }

  SpunNode(const SpunNode &) = delete;
  SpunNode & operator=(const SpunNode &) = delete;

  void spin()
  {
    thread_ = skelmar_internal::startNodeThread(node->get_node_base_interface());
  }
  void stop()
  {
    thread_.reset();
  }

  std::shared_ptr<rclcpp::Node> node;

private:
  std::unique_ptr<nav2_util::NodeThread> thread_;
};

/// Collects every message of one topic; the callback only holds shared state, so the inbox
/// may go away in any order relative to the node spinning it.
template <typename MessageT>
class Inbox
{
public:
  Inbox(rclcpp::Node & node, const std::string & topic, const rclcpp::QoS & qos = rclcpp::QoS(100))
      : state_(std::make_shared<State>())
  {
    subscription_ = node.create_subscription<MessageT>(
        topic, qos, [state = state_](typename MessageT::UniquePtr msg) {
          std::lock_guard<std::mutex> lock(state->mutex);
          state->messages.push_back(std::move(*msg));
        });
  }

  std::vector<MessageT> messages() const
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->messages;
  }

  size_t size() const
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->messages.size();
  }

  MessageT last() const
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->messages.back();
  }

  bool waitForCount(size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(5)) const
  {
    return skelmar_test::waitFor([this, count] { return size() >= count; }, timeout);
  }

  /// Waits until the publisher side sees this subscription, so that nothing is lost.
  template <typename PublisherT>
  bool waitForMatch(const PublisherT & publisher) const
  {
    return skelmar_test::waitFor([&publisher] { return publisher->get_subscription_count() > 0; });
  }

  const std::shared_ptr<rclcpp::Subscription<MessageT>> & subscription() const
  {
    return subscription_;
  }

private:
  struct State
  {
    mutable std::mutex mutex;
    std::vector<MessageT> messages;
  };
  std::shared_ptr<State> state_;
  std::shared_ptr<rclcpp::Subscription<MessageT>> subscription_;
};

/// One record of the library's logger.
struct LogRecord
{
  spdlog::level::level_enum level;
  std::string payload;
  std::string file;
  std::string function;
};

/// Receives the records of skelmar::Logger while it is attached.
class LoggerCapture : public spdlog::sinks::base_sink<std::mutex>
{
public:
  static std::shared_ptr<LoggerCapture> attach()
  {
    auto capture = std::make_shared<LoggerCapture>();
    auto logger = skelmar::Logger::Instance("spdlog").logger;
    if (logger) {
      logger->sinks().push_back(capture);
    }
    return capture;
  }

  std::vector<LogRecord> records()
  {
    std::lock_guard<std::mutex> lock(mutex_);
    return records_;
  }

protected:
  void sink_it_(const spdlog::details::log_msg & msg) override
  {
    records_.push_back(
        {msg.level, std::string(msg.payload.begin(), msg.payload.end()),
         msg.source.filename ? msg.source.filename : "",
         msg.source.funcname ? msg.source.funcname : ""});
  }
  void flush_() override {}

private:
  std::vector<LogRecord> records_;
};

/// Captures the records written through the ROS logging macros while it lives.
class RosLogCapture
{
public:
  struct Record
  {
    int severity;
    std::string name;
    std::string message;
  };

  RosLogCapture() : previous_(rcutils_logging_get_output_handler())
  {
    rcutils_logging_set_output_handler(&RosLogCapture::handle);
  }
  ~RosLogCapture()
  {
    rcutils_logging_set_output_handler(previous_);
  }

  RosLogCapture(const RosLogCapture &) = delete;
  RosLogCapture & operator=(const RosLogCapture &) = delete;

  static std::vector<Record> records()
  {
    std::lock_guard<std::mutex> lock(mutex());
    return store();
  }

private:
  static void handle(
      const rcutils_log_location_t *, int severity, const char * name, rcutils_time_point_value_t,
      const char * format, va_list * args)
  {
    va_list copy;
    va_copy(copy, *args);
    char text[1024];
    std::vsnprintf(text, sizeof(text), format, copy);
    va_end(copy);
    std::lock_guard<std::mutex> lock(mutex());
    store().push_back({severity, name ? name : "", text});
  }
  static std::mutex & mutex()
  {
    static std::mutex instance;
    return instance;
  }
  static std::vector<Record> & store()
  {
    static std::vector<Record> instance;
    return instance;
  }

  rcutils_logging_output_handler_t previous_;
};

/// Restarts the default context with the given global ROS arguments (for the bundles, whose
/// nodes take their configuration from there) and restarts a plain one afterwards.
class GlobalRosArguments
{
public:
  explicit GlobalRosArguments(const std::vector<std::string> & ros_args)
  {
    rclcpp::shutdown();
    std::vector<std::string> args{"test_communicator", "--ros-args"};
    args.insert(args.end(), ros_args.begin(), ros_args.end());
    std::vector<const char *> argv;
    for (const auto & arg : args) {
      argv.push_back(arg.c_str());
    }
    rclcpp::init(static_cast<int>(argv.size()), argv.data());
  }

  ~GlobalRosArguments()
  {
    rclcpp::shutdown();
    const char * argv[] = {"test_communicator"};
    rclcpp::init(1, argv);
  }

  GlobalRosArguments(const GlobalRosArguments &) = delete;
  GlobalRosArguments & operator=(const GlobalRosArguments &) = delete;
};

/// Number of threads of this process.
inline size_t threadCount()
{
  size_t count = 0;
  for ([[maybe_unused]] const auto & entry :
       std::filesystem::directory_iterator("/proc/self/task")) {
    ++count;
  }
  return count;
}

/// Topics on which the node named @p node_name in @p node_namespace publishes (or, with
/// @p publishers false, subscribes), each as "topic type"; the internal topics of every
/// node (/rosout, /parameter_events) are left out.
inline std::vector<std::string> endpointsOf(
    rclcpp::Node & observer, const std::string & node_name, const std::string & node_namespace,
    bool publishers)
{
  std::vector<std::string> result;
  for (const auto & [topic, types] : observer.get_topic_names_and_types()) {
    if (topic == "/rosout" || topic == "/parameter_events") {
      continue;
    }
    const auto infos = publishers ? observer.get_publishers_info_by_topic(topic)
                                  : observer.get_subscriptions_info_by_topic(topic);
    for (const auto & info : infos) {
      if (info.node_name() == node_name && info.node_namespace() == node_namespace) {
        result.push_back(topic + " " + info.topic_type());
      }
    }
  }
  std::sort(result.begin(), result.end());
  return result;
}

/// endpointsOf once it shows @p expected, or as it stands after a few seconds: a real
/// middleware discovers endpoints, even a process's own, asynchronously.
inline std::vector<std::string> settledEndpointsOf(
    rclcpp::Node & observer, const std::string & node_name, const std::string & node_namespace,
    bool publishers, const std::vector<std::string> & expected)
{
  return skelmar_test::settled(
      [&] { return endpointsOf(observer, node_name, node_namespace, publishers); }, expected);
}

}  // namespace communicator_test

#endif  // COMMUNICATOR__COMMUNICATOR_TEST_HELPERS_HPP_
