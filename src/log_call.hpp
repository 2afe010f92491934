#ifndef SKELMAR_NAV2_TOOLS__SRC__LOG_CALL_HPP_
#define SKELMAR_NAV2_TOOLS__SRC__LOG_CALL_HPP_

// The library's logging statements. Each one numbers its record and writes
// "<n modulo 128, width 3> [INFO] <message>" (or "[ERROR]") through skelmar::Logger with the
// statement's source file, line and function name.
//
//   SKELMAR_LOG_INFO("goal {} is blocked", id);
//   SKELMAR_LOG_ERROR("service not available");
//
// The format string must be a literal: it is checked at compile time.

#include <fmt/format.h>
#include <spdlog/common.h>

#include <cstdint>
#include <memory>
#include <utility>

#include "skelmar_nav2_tools/logger.hpp"

namespace skelmar_internal {

inline skelmar::Logger & libraryLogger()
{
  static skelmar::Logger & instance = skelmar::Logger::Instance("spdlog");
  return instance;
}

/// Counts and writes one statement. `literal` repeats the format text and is unused: it lets
/// the macros check the format at compile time without an empty variadic macro argument.
template <typename... Args>
void logStatement(
    const spdlog::source_loc & location, spdlog::level::level_enum level,
    fmt::format_string<Args...> format, const char * /*literal*/, Args &&... args)
{
  skelmar::Logger & instance = libraryLogger();
  // Checked before anything else so that a disabled statement costs no formatting.
  if (instance.level > level) {
    return;
  }
  const std::shared_ptr<spdlog::logger> logger = instance.logger;
  if (!logger) {
    return;  // construction stopped early: there is nowhere to write
  }
  const std::uint8_t number =
      static_cast<std::uint8_t>(instance.counter.fetch_add(1, std::memory_order_relaxed) + 1);

  fmt::memory_buffer payload;
  if (level == spdlog::level::err) {
    fmt::format_to(std::back_inserter(payload), FMT_STRING("{0:3d} [ERROR] "), number % 128);
  } else {
    fmt::format_to(std::back_inserter(payload), FMT_STRING("{0:3d} [INFO] "), number % 128);
  }
  fmt::format_to(std::back_inserter(payload), format, std::forward<Args>(args)...);
  logger->log(location, level, spdlog::string_view_t(payload.data(), payload.size()));
}

}  // namespace skelmar_internal

#define SKELMAR_LOG_FIRST_(...) SKELMAR_LOG_FIRST_OF_(__VA_ARGS__, unused)
#define SKELMAR_LOG_FIRST_OF_(first, ...) first
#define SKELMAR_LOG_AT_(level, ...)                              \
  ::skelmar_internal::logStatement(                              \
      ::spdlog::source_loc{__FILE__, __LINE__, __func__}, level, \
      FMT_STRING(SKELMAR_LOG_FIRST_(__VA_ARGS__)), __VA_ARGS__)

/// Logs at info level: SKELMAR_LOG_INFO(format_literal, args...), fmt brace syntax.
#define SKELMAR_LOG_INFO(...) SKELMAR_LOG_AT_(::spdlog::level::info, __VA_ARGS__)
/// Logs at error level: SKELMAR_LOG_ERROR(format_literal, args...), fmt brace syntax.
#define SKELMAR_LOG_ERROR(...) SKELMAR_LOG_AT_(::spdlog::level::err, __VA_ARGS__)

#endif  // SKELMAR_NAV2_TOOLS__SRC__LOG_CALL_HPP_
