// The synchronous clean-coverage call against a missing, a prompt and a slow service.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <set>
#include <thread>
#include <tuple>

#include "skelmar_nav2_tools/communicator/microunit_planning.hpp"
#include "support/log_capture.hpp"
#include "support/ros_test_support.hpp"

using TriggerCleanCoverage = skelmar_nav2_protocol::srv::TriggerCleanCoverage;
using Request = std::tuple<bool, int, int>;

class TriggerTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    unit_node.spin();
  }

  // The service callback uses this fixture's members.
  void TearDown() override
  {
    hold = false;
    server.stop();
    unit_node.stop();
  }

  /// A service that records every request and holds back its answers while `hold` is set.
  void startService()
  {
    service = server.node->create_service<TriggerCleanCoverage>(
        "/trigger_clean_coverage", [this](
                                       const std::shared_ptr<TriggerCleanCoverage::Request> request,
                                       std::shared_ptr<TriggerCleanCoverage::Response>) {
          {
            std::lock_guard<std::mutex> lock(mutex);
            requests.emplace(request->flag, request->first_value, request->second_value);
          }
          skelmar_test::waitFor([this] { return !hold.load(); }, std::chrono::seconds(10));
          ++answered;
        });
    server.spin();
  }

  std::multiset<Request> received()
  {
    std::lock_guard<std::mutex> lock(mutex);
    return requests;
  }

  /// One call, which must end well within a generous bound of its one-second limits.
  bool call(bool flag, int first, int second)
  {
    const auto start = std::chrono::steady_clock::now();
    const bool result = unit.triggerCleanCoverage(flag, first, second);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    return result;
  }

  /// The error messages logged so far; each must name the call's source and function.
  std::vector<std::string> errors()
  {
    std::vector<std::string> messages;
    for (const auto & record : log->records()) {
      EXPECT_EQ(record.level, spdlog::level::err);
      EXPECT_EQ(record.file, "./src/communicator/microunit_planning.cpp");
      EXPECT_EQ(record.function, "triggerCleanCoverage");
      EXPECT_NE(record.payload.find(" [ERROR] "), std::string::npos) << record.payload;
      messages.push_back(record.message());
    }
    return messages;
  }

  std::shared_ptr<skelmar_test::LogCapture> log = skelmar_test::LogCapture::attach();
  skelmar_test::SpunNode unit_node{"trigger_unit"};
  skelmar_test::SpunNode server{"trigger_server"};
  skelmar_communicator::MicroUnitPlanning unit{unit_node.node};
  rclcpp::Service<TriggerCleanCoverage>::SharedPtr service;
  std::mutex mutex;
  std::multiset<Request> requests;
  std::atomic<bool> hold{false};
  std::atomic<int> answered{0};
};

TEST_F(TriggerTest, ReturnsWhetherTheServiceAnsweredInTimeAndLogsWhyNot)
{
  EXPECT_FALSE(call(true, 1, 2));
  EXPECT_EQ(errors(), std::vector<std::string>{"Server not exist"});
  // A service that holds back its answer: the call gives up, and the late answer is dropped.
  hold = true;
  startService();
  EXPECT_TRUE(call(true, 1, 1));
  EXPECT_EQ(errors().back(), "SyncCallService server timeout");
  hold = false;
  ASSERT_TRUE(skelmar_test::waitFor([this] { return answered.load() == 1; }));
  // A prompt one gets the arguments, and nothing more is logged.
  EXPECT_TRUE(call(true, -3, 2147483647));
  EXPECT_TRUE(call(false, -2147483647 - 1, -1));
  EXPECT_EQ(answered.load(), 3);
  EXPECT_EQ(
      received(),
      (std::multiset<Request>{{true, 1, 1}, {true, -3, 2147483647}, {false, -2147483647 - 1, -1}}));
  EXPECT_EQ(errors().size(), 2U);
  unit.trigger_clean_coverage_client.reset();
  EXPECT_FALSE(call(false, 0, 0));
  EXPECT_EQ(errors().back(), "SyncCallService client is nullptr");
}

TEST_F(TriggerTest, SeveralThreadsCallAtOnce)
{
  startService();
  std::multiset<Request> expected;
  std::vector<std::thread> callers;
  std::atomic<int> succeeded{0};
  for (int t = 0; t < 4; ++t) {
    expected.emplace(t % 2 == 0, t, -t);
    callers.emplace_back([this, t, &succeeded] {
      succeeded += unit.triggerCleanCoverage(t % 2 == 0, t, -t) ? 1 : 0;
    });
  }
  for (auto & caller : callers) {
    caller.join();
  }
  EXPECT_EQ(succeeded.load(), 4);
  EXPECT_EQ(received(), expected);
  EXPECT_TRUE(errors().empty());
}
