// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

/// @file rclcpp/logging.hpp
/// @brief RCLCPP_<SEVERITY>[_ONCE|_EXPRESSION|_FUNCTION|_SKIPFIRST|_THROTTLE|_SKIPFIRST_THROTTLE]
/// [_STREAM] logging macros. The first argument must be an rclcpp::Logger; the rest is a
/// printf format literal with its arguments (or one `<<` expression for the _STREAM forms).
/// Records go through rcutils_log, so thresholds, console format and output handlers are
/// rcutils' own. Thread-safe.

#ifndef RCLCPP__LOGGING_HPP_
#define RCLCPP__LOGGING_HPP_

#include <sstream>
#include <type_traits>

#include "rclcpp/logger.hpp"
#include "rcutils/error_handling.h"
#include "rcutils/logging_macros.h"

/// Compile-time check shared by all macros.
#define RCLCPP_LOGGING_CHECK_LOGGER_(logger)                                             \
  static_assert(                                                                         \
      ::std::is_same<                                                                    \
          typename std::remove_cv_t<typename std::remove_reference_t<decltype(logger)>>, \
          typename ::rclcpp::Logger>::value,                                             \
      "First argument to logging macros must be an rclcpp::Logger")

/// Defines `get_time_point`, reading the given rclcpp::Clock for the throttled macros.
#define RCLCPP_LOGGING_TIME_POINT_(clock, macro_name)                                            \
  auto get_time_point = [&c = clock](rcutils_time_point_value_t * time_point) -> rcutils_ret_t { \
    try {                                                                                        \
      *time_point = c.now().nanoseconds();                                                       \
    } catch (...) {                                                                              \
      RCUTILS_SAFE_FWRITE_TO_STDERR("[rclcpp|logging.hpp] " macro_name                           \
                                    " could not get current time stamp\n");                      \
      return RCUTILS_RET_ERROR;                                                                  \
    }                                                                                            \
    return RCUTILS_RET_OK;                                                                       \
  }

// ---- DEBUG ----
#define RCLCPP_DEBUG(logger, ...)                              \
  do {                                                         \
    RCLCPP_LOGGING_CHECK_LOGGER_(logger);                      \
    RCUTILS_LOG_DEBUG_NAMED((logger).get_name(), __VA_ARGS__); \
  } while (0)
#define RCLCPP_DEBUG_ONCE(logger, ...)                              \
  do {                                                              \
    RCLCPP_LOGGING_CHECK_LOGGER_(logger);                           \
    RCUTILS_LOG_DEBUG_ONCE_NAMED((logger).get_name(), __VA_ARGS__); \
  } while (0)
#define RCLCPP_DEBUG_EXPRESSION(logger, expression, ...)                              \
  do {                                                                                \
    RCLCPP_LOGGING_CHECK_LOGGER_(logger);                                             \
    RCUTILS_LOG_DEBUG_EXPRESSION_NAMED(expression, (logger).get_name(), __VA_ARGS__); \
  } while (0)
#define RCLCPP_DEBUG_FUNCTION(logger, function, ...)                              \
  do {                                                                            \
    RCLCPP_LOGGING_CHECK_LOGGER_(logger);                                         \
    RCUTILS_LOG_DEBUG_FUNCTION_NAMED(function, (logger).get_name(), __VA_ARGS__); \
  } while (0)
#define RCLCPP_DEBUG_SKIPFIRST(logger, ...)                              \
  do {                                                                   \
    RCLCPP_LOGGING_CHECK_LOGGER_(logger);                                \
    RCUTILS_LOG_DEBUG_SKIPFIRST_NAMED((logger).get_name(), __VA_ARGS__); \
  } while (0)
#define RCLCPP_DEBUG_THROTTLE(logger, clock, duration, ...)                                       \
  do {                                                                                            \
    RCLCPP_LOGGING_CHECK_LOGGER_(logger);                                                         \
    RCLCPP_LOGGING_TIME_POINT_(clock, "RCLCPP_DEBUG_THROTTLE");                                   \
    RCUTILS_LOG_DEBUG_THROTTLE_NAMED(get_time_point, duration, (logger).get_name(), __VA_ARGS__); \
  } while (0)
#define RCLCPP_DEBUG_SKIPFIRST_THROTTLE(logger, clock, duration, ...)     \
  do {                                                                    \
    RCLCPP_LOGGING_CHECK_LOGGER_(logger);                                 \
    RCLCPP_LOGGING_TIME_POINT_(clock, "RCLCPP_DEBUG_SKIPFIRST_THROTTLE"); \
    RCUTILS_LOG_DEBUG_SKIPFIRST_THROTTLE_NAMED(                           \
        get_time_point, duration, (logger).get_name(), __VA_ARGS__);      \
  } while (0)
#define RCLCPP_DEBUG_STREAM(logger, stream_arg)                                          \
  do {                                                                                   \
    RCLCPP_LOGGING_CHECK_LOGGER_(logger);                                                \
    std::stringstream rclcpp_stream_ss_;                                                 \
    rclcpp_stream_ss_ << stream_arg;                                                     \
    RCUTILS_LOG_DEBUG_NAMED((logger).get_name(), "%s", rclcpp_stream_ss_.str().c_str()); \
  } while (0)
#define RCLCPP_DEBUG_STREAM_ONCE(logger, stream_arg)                                          \
  do {                                                                                        \
    RCLCPP_LOGGING_CHECK_LOGGER_(logger);                                                     \
    std::stringstream rclcpp_stream_ss_;                                                      \
    rclcpp_stream_ss_ << stream_arg;                                                          \
    RCUTILS_LOG_DEBUG_ONCE_NAMED((logger).get_name(), "%s", rclcpp_stream_ss_.str().c_str()); \
  } while (0)
#define RCLCPP_DEBUG_STREAM_EXPRESSION(logger, expression, stream_arg)           \
  do {                                                                           \
    RCLCPP_LOGGING_CHECK_LOGGER_(logger);                                        \
    std::stringstream rclcpp_stream_ss_;                                         \
    rclcpp_stream_ss_ << stream_arg;                                             \
    RCUTILS_LOG_DEBUG_EXPRESSION_NAMED(                                          \
        expression, (logger).get_name(), "%s", rclcpp_stream_ss_.str().c_str()); \
  } while (0)
#define RCLCPP_DEBUG_STREAM_FUNCTION(logger, function, stream_arg)             \
  do {                                                                         \
    RCLCPP_LOGGING_CHECK_LOGGER_(logger);                                      \
    std::stringstream rclcpp_stream_ss_;                                       \
    rclcpp_stream_ss_ << stream_arg;                                           \
    RCUTILS_LOG_DEBUG_FUNCTION_NAMED(                                          \
        function, (logger).get_name(), "%s", rclcpp_stream_ss_.str().c_str()); \
  } while (0)
#define RCLCPP_DEBUG_STREAM_SKIPFIRST(logger, stream_arg)                                          \
  do {                                                                                             \
    RCLCPP_LOGGING_CHECK_LOGGER_(logger);                                                          \
    std::stringstream rclcpp_stream_ss_;                                                           \
    rclcpp_stream_ss_ << stream_arg;                                                               \
    RCUTILS_LOG_DEBUG_SKIPFIRST_NAMED((logger).get_name(), "%s", rclcpp_stream_ss_.str().c_str()); \
  } while (0)
#define RCLCPP_DEBUG_STREAM_THROTTLE(logger, clock, duration, stream_arg)                      \
  do {                                                                                         \
    RCLCPP_LOGGING_CHECK_LOGGER_(logger);                                                      \
    RCLCPP_LOGGING_TIME_POINT_(clock, "RCLCPP_DEBUG_STREAM_THROTTLE");                         \
    std::stringstream rclcpp_stream_ss_;                                                       \
    rclcpp_stream_ss_ << stream_arg;                                                           \
    RCUTILS_LOG_DEBUG_THROTTLE_NAMED(                                                          \
        get_time_point, duration, (logger).get_name(), "%s", rclcpp_stream_ss_.str().c_str()); \
  } while (0)
#define RCLCPP_DEBUG_STREAM_SKIPFIRST_THROTTLE(logger, clock, duration, stream_arg)            \
  do {                                                                                         \
    RCLCPP_LOGGING_CHECK_LOGGER_(logger);                                                      \
    RCLCPP_LOGGING_TIME_POINT_(clock, "RCLCPP_DEBUG_STREAM_SKIPFIRST_THROTTLE");               \
    std::stringstream rclcpp_stream_ss_;                                                       \
    rclcpp_stream_ss_ << stream_arg;                                                           \
    RCUTILS_LOG_DEBUG_SKIPFIRST_THROTTLE_NAMED(                                                \
        get_time_point, duration, (logger).get_name(), "%s", rclcpp_stream_ss_.str().c_str()); \
  } while (0)

// ---- INFO ----
#define RCLCPP_INFO(logger, ...)                              \
  do {                                                        \
    RCLCPP_LOGGING_CHECK_LOGGER_(logger);                     \
    RCUTILS_LOG_INFO_NAMED((logger).get_name(), __VA_ARGS__); \
  } while (0)
#define RCLCPP_INFO_ONCE(logger, ...)                              \
  do {                                                             \
    RCLCPP_LOGGING_CHECK_LOGGER_(logger);                          \
    RCUTILS_LOG_INFO_ONCE_NAMED((logger).get_name(), __VA_ARGS__); \
  } while (0)
#define RCLCPP_INFO_EXPRESSION(logger, expression, ...)                              \
  do {                                                                               \
    RCLCPP_LOGGING_CHECK_LOGGER_(logger);                                            \
    RCUTILS_LOG_INFO_EXPRESSION_NAMED(expression, (logger).get_name(), __VA_ARGS__); \
  } while (0)
#define RCLCPP_INFO_FUNCTION(logger, function, ...)                              \
  do {                                                                           \
    RCLCPP_LOGGING_CHECK_LOGGER_(logger);                                        \
    RCUTILS_LOG_INFO_FUNCTION_NAMED(function, (logger).get_name(), __VA_ARGS__); \
  } while (0)
#define RCLCPP_INFO_SKIPFIRST(logger, ...)                              \
  do {                                                                  \
    RCLCPP_LOGGING_CHECK_LOGGER_(logger);                               \
    RCUTILS_LOG_INFO_SKIPFIRST_NAMED((logger).get_name(), __VA_ARGS__); \
  } while (0)
#define RCLCPP_INFO_THROTTLE(logger, clock, duration, ...)                                       \
  do {                                                                                           \
    RCLCPP_LOGGING_CHECK_LOGGER_(logger);                                                        \
    RCLCPP_LOGGING_TIME_POINT_(clock, "RCLCPP_INFO_THROTTLE");                                   \
    RCUTILS_LOG_INFO_THROTTLE_NAMED(get_time_point, duration, (logger).get_name(), __VA_ARGS__); \
  } while (0)
#define RCLCPP_INFO_SKIPFIRST_THROTTLE(logger, clock, duration, ...)     \
  do {                                                                   \
    RCLCPP_LOGGING_CHECK_LOGGER_(logger);                                \
    RCLCPP_LOGGING_TIME_POINT_(clock, "RCLCPP_INFO_SKIPFIRST_THROTTLE"); \
    RCUTILS_LOG_INFO_SKIPFIRST_THROTTLE_NAMED(                           \
        get_time_point, duration, (logger).get_name(), __VA_ARGS__);     \
  } while (0)
#define RCLCPP_INFO_STREAM(logger, stream_arg)                                          \
  do {                                                                                  \
    RCLCPP_LOGGING_CHECK_LOGGER_(logger);                                               \
    std::stringstream rclcpp_stream_ss_;                                                \
    rclcpp_stream_ss_ << stream_arg;                                                    \
    RCUTILS_LOG_INFO_NAMED((logger).get_name(), "%s", rclcpp_stream_ss_.str().c_str()); \
  } while (0)
#define RCLCPP_INFO_STREAM_ONCE(logger, stream_arg)                                          \
  do {                                                                                       \
    RCLCPP_LOGGING_CHECK_LOGGER_(logger);                                                    \
    std::stringstream rclcpp_stream_ss_;                                                     \
    rclcpp_stream_ss_ << stream_arg;                                                         \
    RCUTILS_LOG_INFO_ONCE_NAMED((logger).get_name(), "%s", rclcpp_stream_ss_.str().c_str()); \
  } while (0)
#define RCLCPP_INFO_STREAM_EXPRESSION(logger, expression, stream_arg)            \
  do {                                                                           \
    RCLCPP_LOGGING_CHECK_LOGGER_(logger);                                        \
    std::stringstream rclcpp_stream_ss_;                                         \
    rclcpp_stream_ss_ << stream_arg;                                             \
    RCUTILS_LOG_INFO_EXPRESSION_NAMED(                                           \
        expression, (logger).get_name(), "%s", rclcpp_stream_ss_.str().c_str()); \
  } while (0)
#define RCLCPP_INFO_STREAM_FUNCTION(logger, function, stream_arg)              \
  do {                                                                         \
    RCLCPP_LOGGING_CHECK_LOGGER_(logger);                                      \
    std::stringstream rclcpp_stream_ss_;                                       \
    rclcpp_stream_ss_ << stream_arg;                                           \
    RCUTILS_LOG_INFO_FUNCTION_NAMED(                                           \
        function, (logger).get_name(), "%s", rclcpp_stream_ss_.str().c_str()); \
  } while (0)
#define RCLCPP_INFO_STREAM_SKIPFIRST(logger, stream_arg)                                          \
  do {                                                                                            \
    RCLCPP_LOGGING_CHECK_LOGGER_(logger);                                                         \
    std::stringstream rclcpp_stream_ss_;                                                          \
    rclcpp_stream_ss_ << stream_arg;                                                              \
    RCUTILS_LOG_INFO_SKIPFIRST_NAMED((logger).get_name(), "%s", rclcpp_stream_ss_.str().c_str()); \
  } while (0)
#define RCLCPP_INFO_STREAM_THROTTLE(logger, clock, duration, stream_arg)                       \
  do {                                                                                         \
    RCLCPP_LOGGING_CHECK_LOGGER_(logger);                                                      \
    RCLCPP_LOGGING_TIME_POINT_(clock, "RCLCPP_INFO_STREAM_THROTTLE");                          \
    std::stringstream rclcpp_stream_ss_;                                                       \
    rclcpp_stream_ss_ << stream_arg;                                                           \
    RCUTILS_LOG_INFO_THROTTLE_NAMED(                                                           \
        get_time_point, duration, (logger).get_name(), "%s", rclcpp_stream_ss_.str().c_str()); \
  } while (0)
#define RCLCPP_INFO_STREAM_SKIPFIRST_THROTTLE(logger, clock, duration, stream_arg)             \
  do {                                                                                         \
    RCLCPP_LOGGING_CHECK_LOGGER_(logger);                                                      \
    RCLCPP_LOGGING_TIME_POINT_(clock, "RCLCPP_INFO_STREAM_SKIPFIRST_THROTTLE");                \
    std::stringstream rclcpp_stream_ss_;                                                       \
    rclcpp_stream_ss_ << stream_arg;                                                           \
    RCUTILS_LOG_INFO_SKIPFIRST_THROTTLE_NAMED(                                                 \
        get_time_point, duration, (logger).get_name(), "%s", rclcpp_stream_ss_.str().c_str()); \
  } while (0)

// ---- WARN ----
#define RCLCPP_WARN(logger, ...)                              \
  do {                                                        \
    RCLCPP_LOGGING_CHECK_LOGGER_(logger);                     \
    RCUTILS_LOG_WARN_NAMED((logger).get_name(), __VA_ARGS__); \
  } while (0)
#define RCLCPP_WARN_ONCE(logger, ...)                              \
  do {                                                             \
    RCLCPP_LOGGING_CHECK_LOGGER_(logger);                          \
    RCUTILS_LOG_WARN_ONCE_NAMED((logger).get_name(), __VA_ARGS__); \
  } while (0)
#define RCLCPP_WARN_EXPRESSION(logger, expression, ...)                              \
  do {                                                                               \
    RCLCPP_LOGGING_CHECK_LOGGER_(logger);                                            \
    RCUTILS_LOG_WARN_EXPRESSION_NAMED(expression, (logger).get_name(), __VA_ARGS__); \
  } while (0)
#define RCLCPP_WARN_FUNCTION(logger, function, ...)                              \
  do {                                                                           \
    RCLCPP_LOGGING_CHECK_LOGGER_(logger);                                        \
    RCUTILS_LOG_WARN_FUNCTION_NAMED(function, (logger).get_name(), __VA_ARGS__); \
  } while (0)
#define RCLCPP_WARN_SKIPFIRST(logger, ...)                              \
  do {                                                                  \
    RCLCPP_LOGGING_CHECK_LOGGER_(logger);                               \
    RCUTILS_LOG_WARN_SKIPFIRST_NAMED((logger).get_name(), __VA_ARGS__); \
  } while (0)
#define RCLCPP_WARN_THROTTLE(logger, clock, duration, ...)                                       \
  do {                                                                                           \
    RCLCPP_LOGGING_CHECK_LOGGER_(logger);                                                        \
    RCLCPP_LOGGING_TIME_POINT_(clock, "RCLCPP_WARN_THROTTLE");                                   \
    RCUTILS_LOG_WARN_THROTTLE_NAMED(get_time_point, duration, (logger).get_name(), __VA_ARGS__); \
  } while (0)
#define RCLCPP_WARN_SKIPFIRST_THROTTLE(logger, clock, duration, ...)     \
  do {                                                                   \
    RCLCPP_LOGGING_CHECK_LOGGER_(logger);                                \
    RCLCPP_LOGGING_TIME_POINT_(clock, "RCLCPP_WARN_SKIPFIRST_THROTTLE"); \
    RCUTILS_LOG_WARN_SKIPFIRST_THROTTLE_NAMED(                           \
        get_time_point, duration, (logger).get_name(), __VA_ARGS__);     \
  } while (0)
#define RCLCPP_WARN_STREAM(logger, stream_arg)                                          \
  do {                                                                                  \
    RCLCPP_LOGGING_CHECK_LOGGER_(logger);                                               \
    std::stringstream rclcpp_stream_ss_;                                                \
    rclcpp_stream_ss_ << stream_arg;                                                    \
    RCUTILS_LOG_WARN_NAMED((logger).get_name(), "%s", rclcpp_stream_ss_.str().c_str()); \
  } while (0)
#define RCLCPP_WARN_STREAM_ONCE(logger, stream_arg)                                          \
  do {                                                                                       \
    RCLCPP_LOGGING_CHECK_LOGGER_(logger);                                                    \
    std::stringstream rclcpp_stream_ss_;                                                     \
    rclcpp_stream_ss_ << stream_arg;                                                         \
    RCUTILS_LOG_WARN_ONCE_NAMED((logger).get_name(), "%s", rclcpp_stream_ss_.str().c_str()); \
  } while (0)
#define RCLCPP_WARN_STREAM_EXPRESSION(logger, expression, stream_arg)            \
  do {                                                                           \
    RCLCPP_LOGGING_CHECK_LOGGER_(logger);                                        \
    std::stringstream rclcpp_stream_ss_;                                         \
    rclcpp_stream_ss_ << stream_arg;                                             \
    RCUTILS_LOG_WARN_EXPRESSION_NAMED(                                           \
        expression, (logger).get_name(), "%s", rclcpp_stream_ss_.str().c_str()); \
  } while (0)
#define RCLCPP_WARN_STREAM_FUNCTION(logger, function, stream_arg)              \
  do {                                                                         \
    RCLCPP_LOGGING_CHECK_LOGGER_(logger);                                      \
    std::stringstream rclcpp_stream_ss_;                                       \
    rclcpp_stream_ss_ << stream_arg;                                           \
    RCUTILS_LOG_WARN_FUNCTION_NAMED(                                           \
        function, (logger).get_name(), "%s", rclcpp_stream_ss_.str().c_str()); \
  } while (0)
#define RCLCPP_WARN_STREAM_SKIPFIRST(logger, stream_arg)                                          \
  do {                                                                                            \
    RCLCPP_LOGGING_CHECK_LOGGER_(logger);                                                         \
    std::stringstream rclcpp_stream_ss_;                                                          \
    rclcpp_stream_ss_ << stream_arg;                                                              \
    RCUTILS_LOG_WARN_SKIPFIRST_NAMED((logger).get_name(), "%s", rclcpp_stream_ss_.str().c_str()); \
  } while (0)
#define RCLCPP_WARN_STREAM_THROTTLE(logger, clock, duration, stream_arg)                       \
  do {                                                                                         \
    RCLCPP_LOGGING_CHECK_LOGGER_(logger);                                                      \
    RCLCPP_LOGGING_TIME_POINT_(clock, "RCLCPP_WARN_STREAM_THROTTLE");                          \
    std::stringstream rclcpp_stream_ss_;                                                       \
    rclcpp_stream_ss_ << stream_arg;                                                           \
    RCUTILS_LOG_WARN_THROTTLE_NAMED(                                                           \
        get_time_point, duration, (logger).get_name(), "%s", rclcpp_stream_ss_.str().c_str()); \
  } while (0)
#define RCLCPP_WARN_STREAM_SKIPFIRST_THROTTLE(logger, clock, duration, stream_arg)             \
  do {                                                                                         \
    RCLCPP_LOGGING_CHECK_LOGGER_(logger);                                                      \
    RCLCPP_LOGGING_TIME_POINT_(clock, "RCLCPP_WARN_STREAM_SKIPFIRST_THROTTLE");                \
    std::stringstream rclcpp_stream_ss_;                                                       \
    rclcpp_stream_ss_ << stream_arg;                                                           \
    RCUTILS_LOG_WARN_SKIPFIRST_THROTTLE_NAMED(                                                 \
        get_time_point, duration, (logger).get_name(), "%s", rclcpp_stream_ss_.str().c_str()); \
  } while (0)

// ---- ERROR ----
#define RCLCPP_ERROR(logger, ...)                              \
  do {                                                         \
    RCLCPP_LOGGING_CHECK_LOGGER_(logger);                      \
    RCUTILS_LOG_ERROR_NAMED((logger).get_name(), __VA_ARGS__); \
  } while (0)
#define RCLCPP_ERROR_ONCE(logger, ...)                              \
  do {                                                              \
    RCLCPP_LOGGING_CHECK_LOGGER_(logger);                           \
    RCUTILS_LOG_ERROR_ONCE_NAMED((logger).get_name(), __VA_ARGS__); \
  } while (0)
#define RCLCPP_ERROR_EXPRESSION(logger, expression, ...)                              \
  do {                                                                                \
    RCLCPP_LOGGING_CHECK_LOGGER_(logger);                                             \
    RCUTILS_LOG_ERROR_EXPRESSION_NAMED(expression, (logger).get_name(), __VA_ARGS__); \
  } while (0)
#define RCLCPP_ERROR_FUNCTION(logger, function, ...)                              \
  do {                                                                            \
    RCLCPP_LOGGING_CHECK_LOGGER_(logger);                                         \
    RCUTILS_LOG_ERROR_FUNCTION_NAMED(function, (logger).get_name(), __VA_ARGS__); \
  } while (0)
#define RCLCPP_ERROR_SKIPFIRST(logger, ...)                              \
  do {                                                                   \
    RCLCPP_LOGGING_CHECK_LOGGER_(logger);                                \
    RCUTILS_LOG_ERROR_SKIPFIRST_NAMED((logger).get_name(), __VA_ARGS__); \
  } while (0)
#define RCLCPP_ERROR_THROTTLE(logger, clock, duration, ...)                                       \
  do {                                                                                            \
    RCLCPP_LOGGING_CHECK_LOGGER_(logger);                                                         \
    RCLCPP_LOGGING_TIME_POINT_(clock, "RCLCPP_ERROR_THROTTLE");                                   \
    RCUTILS_LOG_ERROR_THROTTLE_NAMED(get_time_point, duration, (logger).get_name(), __VA_ARGS__); \
  } while (0)
#define RCLCPP_ERROR_SKIPFIRST_THROTTLE(logger, clock, duration, ...)     \
  do {                                                                    \
    RCLCPP_LOGGING_CHECK_LOGGER_(logger);                                 \
    RCLCPP_LOGGING_TIME_POINT_(clock, "RCLCPP_ERROR_SKIPFIRST_THROTTLE"); \
    RCUTILS_LOG_ERROR_SKIPFIRST_THROTTLE_NAMED(                           \
        get_time_point, duration, (logger).get_name(), __VA_ARGS__);      \
  } while (0)
#define RCLCPP_ERROR_STREAM(logger, stream_arg)                                          \
  do {                                                                                   \
    RCLCPP_LOGGING_CHECK_LOGGER_(logger);                                                \
    std::stringstream rclcpp_stream_ss_;                                                 \
    rclcpp_stream_ss_ << stream_arg;                                                     \
    RCUTILS_LOG_ERROR_NAMED((logger).get_name(), "%s", rclcpp_stream_ss_.str().c_str()); \
  } while (0)
#define RCLCPP_ERROR_STREAM_ONCE(logger, stream_arg)                                          \
  do {                                                                                        \
    RCLCPP_LOGGING_CHECK_LOGGER_(logger);                                                     \
    std::stringstream rclcpp_stream_ss_;                                                      \
    rclcpp_stream_ss_ << stream_arg;                                                          \
    RCUTILS_LOG_ERROR_ONCE_NAMED((logger).get_name(), "%s", rclcpp_stream_ss_.str().c_str()); \
  } while (0)
#define RCLCPP_ERROR_STREAM_EXPRESSION(logger, expression, stream_arg)           \
  do {                                                                           \
    RCLCPP_LOGGING_CHECK_LOGGER_(logger);                                        \
    std::stringstream rclcpp_stream_ss_;                                         \
    rclcpp_stream_ss_ << stream_arg;                                             \
    RCUTILS_LOG_ERROR_EXPRESSION_NAMED(                                          \
        expression, (logger).get_name(), "%s", rclcpp_stream_ss_.str().c_str()); \
  } while (0)
#define RCLCPP_ERROR_STREAM_FUNCTION(logger, function, stream_arg)             \
  do {                                                                         \
    RCLCPP_LOGGING_CHECK_LOGGER_(logger);                                      \
    std::stringstream rclcpp_stream_ss_;                                       \
    rclcpp_stream_ss_ << stream_arg;                                           \
    RCUTILS_LOG_ERROR_FUNCTION_NAMED(                                          \
        function, (logger).get_name(), "%s", rclcpp_stream_ss_.str().c_str()); \
  } while (0)
#define RCLCPP_ERROR_STREAM_SKIPFIRST(logger, stream_arg)                                          \
  do {                                                                                             \
    RCLCPP_LOGGING_CHECK_LOGGER_(logger);                                                          \
    std::stringstream rclcpp_stream_ss_;                                                           \
    rclcpp_stream_ss_ << stream_arg;                                                               \
    RCUTILS_LOG_ERROR_SKIPFIRST_NAMED((logger).get_name(), "%s", rclcpp_stream_ss_.str().c_str()); \
  } while (0)
#define RCLCPP_ERROR_STREAM_THROTTLE(logger, clock, duration, stream_arg)                      \
  do {                                                                                         \
    RCLCPP_LOGGING_CHECK_LOGGER_(logger);                                                      \
    RCLCPP_LOGGING_TIME_POINT_(clock, "RCLCPP_ERROR_STREAM_THROTTLE");                         \
    std::stringstream rclcpp_stream_ss_;                                                       \
    rclcpp_stream_ss_ << stream_arg;                                                           \
    RCUTILS_LOG_ERROR_THROTTLE_NAMED(                                                          \
        get_time_point, duration, (logger).get_name(), "%s", rclcpp_stream_ss_.str().c_str()); \
  } while (0)
#define RCLCPP_ERROR_STREAM_SKIPFIRST_THROTTLE(logger, clock, duration, stream_arg)            \
  do {                                                                                         \
    RCLCPP_LOGGING_CHECK_LOGGER_(logger);                                                      \
    RCLCPP_LOGGING_TIME_POINT_(clock, "RCLCPP_ERROR_STREAM_SKIPFIRST_THROTTLE");               \
    std::stringstream rclcpp_stream_ss_;                                                       \
    rclcpp_stream_ss_ << stream_arg;                                                           \
    RCUTILS_LOG_ERROR_SKIPFIRST_THROTTLE_NAMED(                                                \
        get_time_point, duration, (logger).get_name(), "%s", rclcpp_stream_ss_.str().c_str()); \
  } while (0)

// ---- FATAL ----
#define RCLCPP_FATAL(logger, ...)                              \
  do {                                                         \
    RCLCPP_LOGGING_CHECK_LOGGER_(logger);                      \
    RCUTILS_LOG_FATAL_NAMED((logger).get_name(), __VA_ARGS__); \
  } while (0)
#define RCLCPP_FATAL_ONCE(logger, ...)                              \
  do {                                                              \
    RCLCPP_LOGGING_CHECK_LOGGER_(logger);                           \
    RCUTILS_LOG_FATAL_ONCE_NAMED((logger).get_name(), __VA_ARGS__); \
  } while (0)
#define RCLCPP_FATAL_EXPRESSION(logger, expression, ...)                              \
  do {                                                                                \
    RCLCPP_LOGGING_CHECK_LOGGER_(logger);                                             \
    RCUTILS_LOG_FATAL_EXPRESSION_NAMED(expression, (logger).get_name(), __VA_ARGS__); \
  } while (0)
#define RCLCPP_FATAL_FUNCTION(logger, function, ...)                              \
  do {                                                                            \
    RCLCPP_LOGGING_CHECK_LOGGER_(logger);                                         \
    RCUTILS_LOG_FATAL_FUNCTION_NAMED(function, (logger).get_name(), __VA_ARGS__); \
  } while (0)
#define RCLCPP_FATAL_SKIPFIRST(logger, ...)                              \
  do {                                                                   \
    RCLCPP_LOGGING_CHECK_LOGGER_(logger);                                \
    RCUTILS_LOG_FATAL_SKIPFIRST_NAMED((logger).get_name(), __VA_ARGS__); \
  } while (0)
#define RCLCPP_FATAL_THROTTLE(logger, clock, duration, ...)                                       \
  do {                                                                                            \
    RCLCPP_LOGGING_CHECK_LOGGER_(logger);                                                         \
    RCLCPP_LOGGING_TIME_POINT_(clock, "RCLCPP_FATAL_THROTTLE");                                   \
    RCUTILS_LOG_FATAL_THROTTLE_NAMED(get_time_point, duration, (logger).get_name(), __VA_ARGS__); \
  } while (0)
#define RCLCPP_FATAL_SKIPFIRST_THROTTLE(logger, clock, duration, ...)     \
  do {                                                                    \
    RCLCPP_LOGGING_CHECK_LOGGER_(logger);                                 \
    RCLCPP_LOGGING_TIME_POINT_(clock, "RCLCPP_FATAL_SKIPFIRST_THROTTLE"); \
    RCUTILS_LOG_FATAL_SKIPFIRST_THROTTLE_NAMED(                           \
        get_time_point, duration, (logger).get_name(), __VA_ARGS__);      \
  } while (0)
#define RCLCPP_FATAL_STREAM(logger, stream_arg)                                          \
  do {                                                                                   \
    RCLCPP_LOGGING_CHECK_LOGGER_(logger);                                                \
    std::stringstream rclcpp_stream_ss_;                                                 \
    rclcpp_stream_ss_ << stream_arg;                                                     \
    RCUTILS_LOG_FATAL_NAMED((logger).get_name(), "%s", rclcpp_stream_ss_.str().c_str()); \
  } while (0)
#define RCLCPP_FATAL_STREAM_ONCE(logger, stream_arg)                                          \
  do {                                                                                        \
    RCLCPP_LOGGING_CHECK_LOGGER_(logger);                                                     \
    std::stringstream rclcpp_stream_ss_;                                                      \
    rclcpp_stream_ss_ << stream_arg;                                                          \
    RCUTILS_LOG_FATAL_ONCE_NAMED((logger).get_name(), "%s", rclcpp_stream_ss_.str().c_str()); \
  } while (0)
#define RCLCPP_FATAL_STREAM_EXPRESSION(logger, expression, stream_arg)           \
  do {                                                                           \
    RCLCPP_LOGGING_CHECK_LOGGER_(logger);                                        \
    std::stringstream rclcpp_stream_ss_;                                         \
    rclcpp_stream_ss_ << stream_arg;                                             \
    RCUTILS_LOG_FATAL_EXPRESSION_NAMED(                                          \
        expression, (logger).get_name(), "%s", rclcpp_stream_ss_.str().c_str()); \
  } while (0)
#define RCLCPP_FATAL_STREAM_FUNCTION(logger, function, stream_arg)             \
  do {                                                                         \
    RCLCPP_LOGGING_CHECK_LOGGER_(logger);                                      \
    std::stringstream rclcpp_stream_ss_;                                       \
    rclcpp_stream_ss_ << stream_arg;                                           \
    RCUTILS_LOG_FATAL_FUNCTION_NAMED(                                          \
        function, (logger).get_name(), "%s", rclcpp_stream_ss_.str().c_str()); \
  } while (0)
#define RCLCPP_FATAL_STREAM_SKIPFIRST(logger, stream_arg)                                          \
  do {                                                                                             \
    RCLCPP_LOGGING_CHECK_LOGGER_(logger);                                                          \
    std::stringstream rclcpp_stream_ss_;                                                           \
    rclcpp_stream_ss_ << stream_arg;                                                               \
    RCUTILS_LOG_FATAL_SKIPFIRST_NAMED((logger).get_name(), "%s", rclcpp_stream_ss_.str().c_str()); \
  } while (0)
#define RCLCPP_FATAL_STREAM_THROTTLE(logger, clock, duration, stream_arg)                      \
  do {                                                                                         \
    RCLCPP_LOGGING_CHECK_LOGGER_(logger);                                                      \
    RCLCPP_LOGGING_TIME_POINT_(clock, "RCLCPP_FATAL_STREAM_THROTTLE");                         \
    std::stringstream rclcpp_stream_ss_;                                                       \
    rclcpp_stream_ss_ << stream_arg;                                                           \
    RCUTILS_LOG_FATAL_THROTTLE_NAMED(                                                          \
        get_time_point, duration, (logger).get_name(), "%s", rclcpp_stream_ss_.str().c_str()); \
  } while (0)
#define RCLCPP_FATAL_STREAM_SKIPFIRST_THROTTLE(logger, clock, duration, stream_arg)            \
  do {                                                                                         \
    RCLCPP_LOGGING_CHECK_LOGGER_(logger);                                                      \
    RCLCPP_LOGGING_TIME_POINT_(clock, "RCLCPP_FATAL_STREAM_SKIPFIRST_THROTTLE");               \
    std::stringstream rclcpp_stream_ss_;                                                       \
    rclcpp_stream_ss_ << stream_arg;                                                           \
    RCUTILS_LOG_FATAL_SKIPFIRST_THROTTLE_NAMED(                                                \
        get_time_point, duration, (logger).get_name(), "%s", rclcpp_stream_ss_.str().c_str()); \
  } while (0)

#endif  // RCLCPP__LOGGING_HPP_
