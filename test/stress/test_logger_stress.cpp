// The library's logger from many threads at once: every record whole, none lost or repeated.

#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <set>
#include <string>

#include "log_call.hpp"
#include "stress_support.hpp"
#include "support/log_capture.hpp"

TEST(LoggerStress, SixteenThreadsKeepEveryRecordWholeAndCounted)
{
  constexpr int kLoggingThreads = 2 * stress::kThreads;
  constexpr int kStatements = 1000;
  setenv("SPDLOG_STDOUT", "false", 1);  // checked through the capture, not the console
  auto capture = skelmar_test::LogCapture::attach();
  stress::runTogether(kLoggingThreads, [](int t) {
    for (int k = 1; k <= kStatements; ++k) {
      if (k % 2 == 0) {
        SKELMAR_LOG_INFO("thread {} statement {} text {}", t, k, std::string(k % 50, 'x'));
      } else {
        SKELMAR_LOG_ERROR("thread {} statement {} text {}", t, k, std::string(k % 50, 'y'));
      }
    }
  });

  const auto records = capture->records();
  ASSERT_EQ(records.size(), static_cast<size_t>(kLoggingThreads * kStatements));
  const std::regex format(
      R"(( {2}[0-9]| [1-9][0-9]|1[01][0-9]|12[0-7]) \[(INFO|ERROR)\] thread ([0-9]+) statement ([0-9]+) text (x*|y*))");
  std::set<std::pair<int, int>> seen;
  for (const auto & record : records) {
    std::smatch match;
    ASSERT_TRUE(std::regex_match(record.payload, match, format)) << record.payload;
    const int statement = std::stoi(match[4]);
    EXPECT_TRUE(seen.insert({std::stoi(match[3]), statement}).second) << record.payload;
    const bool info = statement % 2 == 0;
    EXPECT_EQ(match[2], info ? "INFO" : "ERROR") << record.payload;
    EXPECT_EQ(record.level, info ? spdlog::level::info : spdlog::level::err);
    EXPECT_EQ(match[5], std::string(statement % 50, info ? 'x' : 'y')) << record.payload;
    EXPECT_EQ(record.function, "operator()");
    EXPECT_NE(record.file.find("test_logger_stress.cpp"), std::string::npos) << record.file;
  }
}
