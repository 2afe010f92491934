#include "skelmar_nav2_tools/logger.hpp"

#include <spdlog/sinks/ansicolor_sink.h>
#include <spdlog/sinks/systemd_sink.h>

#include <cstdlib>
#include <cstring>
#include <iostream>
#include <utility>
#include <vector>

namespace skelmar {
namespace {

enum class Switch { UNSET, ON, OFF, INVALID };

Switch readSwitch(const char * variable)
{
  const char * value = std::getenv(variable);
  if (value == nullptr) {
    return Switch::UNSET;
  }
  if (std::strcmp(value, "true") == 0) {
    return Switch::ON;
  }
  if (std::strcmp(value, "false") == 0) {
    return Switch::OFF;
  }
  return Switch::INVALID;
}

// Exact, case-sensitive names; spdlog's own short forms ("warn", "off") are not accepted.
bool parseLevel(const char * text, spdlog::level::level_enum & level)
{
  static const std::pair<const char *, spdlog::level::level_enum> kLevels[] = {
      {"trace", spdlog::level::trace}, {"debug", spdlog::level::debug},
      {"info", spdlog::level::info},   {"warning", spdlog::level::warn},
      {"error", spdlog::level::err},   {"critical", spdlog::level::critical},
  };
  for (const auto & entry : kLevels) {
    if (std::strcmp(text, entry.first) == 0) {
      level = entry.second;
      return true;
    }
  }
  return false;
}

}  // namespace

Logger::Logger(const std::string & name)
{
  try {
    std::vector<spdlog::sink_ptr> sinks;

    const Switch console = readSwitch("SPDLOG_STDOUT");
    if (console == Switch::UNSET) {
      std::cout << "environment variable SPDLOG_STDOUT is not set, and set true\n";
    } else if (console == Switch::INVALID) {
      std::cout << "environment variable SPDLOG_STDOUT is invalid, and set true\n";
    }
    if (console != Switch::OFF) {
      sinks.push_back(
          std::make_shared<spdlog::sinks::ansicolor_stdout_sink<spdlog::details::console_mutex>>(
              spdlog::color_mode::automatic));
    }

    const Switch journal = readSwitch("SPDLOG_SYSTEMD");
    if (journal == Switch::UNSET) {
      std::cout << "environment variable SPDLOG_SYSTEMD is not set, and set false\n";
    } else if (journal == Switch::INVALID) {
      std::cout << "environment variable SPDLOG_SYSTEMD is invalid, and set false\n";
    }
    if (journal == Switch::ON) {
      // No identifier of its own: entries carry the logger's name as syslog identifier.
      sinks.push_back(std::make_shared<spdlog::sinks::systemd_sink<std::mutex>>());
    }

    logger = std::make_shared<spdlog::logger>(name, sinks.begin(), sinks.end());

    const char * level_text = std::getenv("SPDLOG_LEVEL");
    if (level_text == nullptr) {
      std::cout << "environment variable SPDLOG_LEVEL is not set, and set default level\n";
    } else if (!parseLevel(level_text, level)) {
      std::cout << "environment variable SPDLOG_LEVEL is invalid, and set default level\n";
    }
    logger->set_level(level);

    logger->set_pattern("%v");
  } catch (const spdlog::spdlog_ex &) {
    // A logging-library failure must not stop the process: keep what was built so far.
    // Statements stay harmless without a logger (see the call site).
  }
}

}  // namespace skelmar
