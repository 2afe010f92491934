// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

/// @file rmw/time.h
/// @brief Durations as the middleware layer spells them (whole seconds plus nanoseconds).

#ifndef RMW__TIME_H_
#define RMW__TIME_H_

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/// A non-negative duration: seconds plus nanoseconds.
typedef struct rmw_time_s
{
  uint64_t sec;
  uint64_t nsec;
} rmw_time_t;

/// Nanoseconds since the epoch (or a duration) as a signed 64-bit count.
typedef int64_t rmw_time_point_value_t;
typedef int64_t rmw_duration_t;

/// "Use the middleware's default" for a QoS duration.
#define RMW_DURATION_DEFAULT \
  {                          \
    0, 0                     \
  }
/// The largest representable duration (INT64_MAX nanoseconds).
#define RMW_DURATION_INFINITE \
  {                           \
    9223372036LL, 854775807LL \
  }
#define RMW_DURATION_UNSPECIFIED \
  {                              \
    0LL, 0LL                     \
  }

#ifdef __cplusplus
}
#endif

#endif  // RMW__TIME_H_
