#ifndef SUPPORT__LOG_CAPTURE_HPP_
#define SUPPORT__LOG_CAPTURE_HPP_

// Receives the records of the library's logger from the moment it is attached.

#include <gtest/gtest.h>
#include <spdlog/sinks/base_sink.h>

#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "skelmar_nav2_tools/logger.hpp"

namespace skelmar_test {

// The logger reads its environment once per process: records go to the captures only, at info.
[[maybe_unused]] const int kLoggerEnvironment = setenv("SPDLOG_STDOUT", "false", 1) +
                                                setenv("SPDLOG_SYSTEMD", "false", 1) +
                                                setenv("SPDLOG_LEVEL", "info", 1);

struct LogRecord
{
  spdlog::level::level_enum level;
  std::string payload;  // "<number> [INFO] <message>"
  std::string function;

  /// The payload after its numbered prefix.
  std::string message() const
  {
    return payload.substr(payload.find("] ") + 2);
  }
};

class LogCapture : public spdlog::sinks::base_sink<std::mutex>
{
public:
  /// Builds the logger if it does not exist yet.
  static std::shared_ptr<LogCapture> attach()
  {
    auto capture = std::make_shared<LogCapture>();
    auto logger = skelmar::Logger::Instance("spdlog").logger;
    EXPECT_TRUE(logger) << "the logger could not be built";
    if (logger) {
      logger->sinks().push_back(capture);
    }
    return capture;
  }
  /// The records so far, forgotten here.
  std::vector<LogRecord> take()
  {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::exchange(records_, {});
  }

protected:
  void sink_it_(const spdlog::details::log_msg & msg) override
  {
    records_.push_back(
        {msg.level, std::string(msg.payload.begin(), msg.payload.end()),
         msg.source.funcname ? msg.source.funcname : ""});
  }
  void flush_() override {}

private:
  std::vector<LogRecord> records_;
};

}  // namespace skelmar_test

#endif  // SUPPORT__LOG_CAPTURE_HPP_
