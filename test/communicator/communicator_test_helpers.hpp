#ifndef COMMUNICATOR__COMMUNICATOR_TEST_HELPERS_HPP_
#define COMMUNICATOR__COMMUNICATOR_TEST_HELPERS_HPP_

// What the bundle tests need beyond the shared support: global ROS arguments, the process's
// thread count and the endpoints a node shows in the graph.

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "rclcpp/rclcpp.hpp"
#include "support/ros_test_support.hpp"

namespace communicator_test {

/// Restarts the default context with @p ros_args as global arguments (the bundles' nodes
/// take their configuration from there), and restarts a plain one afterwards.
class GlobalRosArguments
{
public:
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
  GlobalRosArguments(const GlobalRosArguments &) = delete;
  GlobalRosArguments & operator=(const GlobalRosArguments &) = delete;
};

inline size_t threadCount()
{
  const std::filesystem::directory_iterator tasks("/proc/self/task");
  return static_cast<size_t>(std::distance(begin(tasks), end(tasks)));
}

/// "topic type" of every publisher (or subscription) of the node @p name in @p namespace_,
/// sorted, once the graph shows @p expected or after a few seconds; /rosout and
/// /parameter_events, which every node has, are left out.
inline std::vector<std::string> endpointsOf(
    rclcpp::Node & observer, const std::string & name, const std::string & namespace_,
    bool publishers, const std::vector<std::string> & expected)
{
  const auto read = [&] {
    std::vector<std::string> result;
    for (const auto & [topic, types] : observer.get_topic_names_and_types()) {
      const auto infos = publishers ? observer.get_publishers_info_by_topic(topic)
                                    : observer.get_subscriptions_info_by_topic(topic);
      for (const auto & info : infos) {
        if (info.node_name() == name && info.node_namespace() == namespace_ && topic != "/rosout" &&
            topic != "/parameter_events") {
          result.push_back(topic + " " + info.topic_type());
        }
      }
    }
    std::sort(result.begin(), result.end());
    return result;
  };
  return skelmar_test::settled(read, expected);
}

}  // namespace communicator_test

#endif  // COMMUNICATOR__COMMUNICATOR_TEST_HELPERS_HPP_
