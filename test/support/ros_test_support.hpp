// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

/// @file support/ros_test_support.hpp
/// @brief Test helpers: a ROS context owner, a gtest environment that holds one per test
/// binary, condition waits with a deadline and unique names.

#ifndef SUPPORT__ROS_TEST_SUPPORT_HPP_
#define SUPPORT__ROS_TEST_SUPPORT_HPP_

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "rclcpp/rclcpp.hpp"

namespace skelmar_test {

/// Initialises the global ROS context on construction and shuts it down on destruction.
class RosContext
{
public:
  /// @param arguments command line arguments after the program name (e.g. "--ros-args", ...).
  explicit RosContext(const std::vector<std::string> & arguments = {})
  {
    std::vector<const char *> argv{"skelmar_test"};
    for (const auto & argument : arguments) {
      argv.push_back(argument.c_str());
    }
    rclcpp::init(static_cast<int>(argv.size()), argv.data());
  }

  ~RosContext()
  {
    rclcpp::shutdown();
  }

  RosContext(const RosContext &) = delete;
  RosContext & operator=(const RosContext &) = delete;
};

/// Holds one RosContext for the whole test binary:
/// `testing::AddGlobalTestEnvironment(new skelmar_test::RosEnvironment());`
class RosEnvironment : public ::testing::Environment
{
public:
  void SetUp() override
  {
    context_ = std::make_unique<RosContext>();
  }

  void TearDown() override
  {
    context_.reset();
  }

private:
  std::unique_ptr<RosContext> context_;
};

/// @brief Poll @p predicate (every millisecond) until it holds or @p timeout passed.
/// @return the predicate's last result.
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

/// @brief What @p read returns once it returns @p expected, or its last answer after
/// @p timeout. The middleware updates the graph asynchronously: graph checks go through this.
template <typename Read, typename Expected>
auto settled(
    Read read, const Expected & expected,
    std::chrono::milliseconds timeout = std::chrono::seconds(5)) -> decltype(read())
{
  auto value = read();
  waitFor(
      [&] {
        value = read();
        return value == expected;
      },
      timeout);
  return value;
}

/// @brief EXPECT_EQ on a graph query, once the graph has caught up (see settled()).
#define EXPECT_SETTLED_EQ(expected, query) \
  EXPECT_EQ(expected, skelmar_test::settled([&] { return query; }, expected))

/// @brief `<prefix>_<pid>_<n>`: a valid node or topic name token unique within the process
/// and unlikely to clash with other processes.
inline std::string uniqueName(const std::string & prefix)
{
  static std::atomic<unsigned> counter{0};
  return prefix + "_" + std::to_string(::getpid()) + "_" + std::to_string(++counter);
}

}  // namespace skelmar_test

#endif  // SUPPORT__ROS_TEST_SUPPORT_HPP_
