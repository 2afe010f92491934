// The synchronous clean-coverage call against a missing, a prompt and a slow service.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <set>
#include <thread>
#include <tuple>

#include "communicator_test_helpers.hpp"
#include "skelmar_nav2_tools/communicator/microunit_planning.hpp"

using communicator_test::LoggerCapture;
using communicator_test::LogRecord;
using communicator_test::SpunNode;
using skelmar_communicator::MicroUnitPlanning;
using TriggerCleanCoverage = skelmar_nav2_protocol::srv::TriggerCleanCoverage;

namespace {

constexpr auto kCallDeadline = std::chrono::seconds(3);

/// Runs one call and checks that it ended within a generous deadline.
bool timedCall(MicroUnitPlanning & unit, bool flag, int first, int second)
{
  const auto start = std::chrono::steady_clock::now();
  const bool result = unit.triggerCleanCoverage(flag, first, second);
  EXPECT_LT(std::chrono::steady_clock::now() - start, kCallDeadline);
  return result;
}

void expectRecord(const LogRecord & record, const std::string & message)
{
  EXPECT_EQ(record.level, spdlog::level::err);
  const std::string suffix = "[ERROR] " + message;
  ASSERT_GE(record.payload.size(), suffix.size());
  EXPECT_EQ(record.payload.substr(record.payload.size() - suffix.size()), suffix) << record.payload;
  EXPECT_EQ(record.file, "./src/communicator/microunit_planning.cpp");
  EXPECT_EQ(record.function, "triggerCleanCoverage");
}

}  // namespace

class TriggerTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    log = LoggerCapture::attach();
    unit = std::make_shared<MicroUnitPlanning>(unit_node.node);
    unit_node.spin();
  }

  // The service callback uses this fixture's members.
  void TearDown() override
  {
    hold = false;
    server.stop();
    unit_node.stop();
  }

  /// A service that records every request and holds back answers while @p hold is set.
  void startService()
  {
    service = server.node->create_service<TriggerCleanCoverage>(
        "/trigger_clean_coverage", [this](
                                       const std::shared_ptr<TriggerCleanCoverage::Request> request,
                                       std::shared_ptr<TriggerCleanCoverage::Response> response) {
          {
            std::lock_guard<std::mutex> lock(mutex);
            requests.emplace_back(request->flag, request->first_value, request->second_value);
          }
          skelmar_test::waitFor([this] { return !hold.load(); }, std::chrono::seconds(10));
          response->result = 1;
          ++answered;
        });
    server.spin();
  }

  std::vector<std::tuple<bool, int, int>> received()
  {
    std::lock_guard<std::mutex> lock(mutex);
    return requests;
  }

  std::shared_ptr<LoggerCapture> log;
  SpunNode unit_node{"trigger_unit"};
  SpunNode server{"trigger_server"};
  std::shared_ptr<MicroUnitPlanning> unit;
  rclcpp::Service<TriggerCleanCoverage>::SharedPtr service;
  std::mutex mutex;
  std::vector<std::tuple<bool, int, int>> requests;
  std::atomic<bool> hold{false};
  std::atomic<int> answered{0};
};

TEST_F(TriggerTest, WithoutServiceReturnsFalseAndLogsOnce)
{
  EXPECT_FALSE(timedCall(*unit, true, 1, 2));
  const auto records = log->records();
  ASSERT_EQ(records.size(), 1U);
  expectRecord(records[0], "Server not exist");
}

TEST_F(TriggerTest, WithoutClientReturnsFalseAndLogs)
{
  unit->trigger_clean_coverage_client.reset();
  EXPECT_FALSE(unit->triggerCleanCoverage(false, 0, 0));
  const auto records = log->records();
  ASSERT_EQ(records.size(), 1U);
  expectRecord(records[0], "SyncCallService client is nullptr");
}

TEST_F(TriggerTest, PromptServiceGetsTheArgumentsAndNothingIsLogged)
{
  startService();
  EXPECT_TRUE(timedCall(*unit, true, -3, 2147483647));
  EXPECT_TRUE(timedCall(*unit, false, -2147483647 - 1, -1));
  const std::vector<std::tuple<bool, int, int>> expected{
      {true, -3, 2147483647}, {false, -2147483647 - 1, -1}};
  EXPECT_EQ(received(), expected);
  EXPECT_TRUE(log->records().empty());
}

TEST_F(TriggerTest, SlowServiceTimesOutAndItsLateAnswerIsDropped)
{
  hold = true;
  startService();
  EXPECT_TRUE(timedCall(*unit, true, 1, 1));
  auto records = log->records();
  ASSERT_EQ(records.size(), 1U);
  expectRecord(records[0], "SyncCallService server timeout");

  hold = false;
  ASSERT_TRUE(skelmar_test::waitFor([this] { return answered.load() == 1; }));
  EXPECT_TRUE(timedCall(*unit, false, 2, 2));
  EXPECT_EQ(answered.load(), 2);
  EXPECT_EQ(log->records().size(), 1U);
  EXPECT_EQ(received().size(), 2U);
}

TEST_F(TriggerTest, SeveralThreadsCallAtOnce)
{
  startService();
  constexpr int kThreads = 4;
  std::atomic<int> succeeded{0};
  std::vector<std::thread> callers;
  for (int t = 0; t < kThreads; ++t) {
    callers.emplace_back([this, t, &succeeded] {
      if (unit->triggerCleanCoverage(t % 2 == 0, t, -t)) {
        ++succeeded;
      }
    });
  }
  for (auto & caller : callers) {
    caller.join();
  }
  EXPECT_EQ(succeeded.load(), kThreads);
  const auto requests = received();
  const std::set<std::tuple<bool, int, int>> distinct(requests.begin(), requests.end());
  ASSERT_EQ(distinct.size(), static_cast<size_t>(kThreads));
  for (int t = 0; t < kThreads; ++t) {
    EXPECT_EQ(distinct.count({t % 2 == 0, t, -t}), 1U);
  }
  EXPECT_TRUE(log->records().empty());
}
