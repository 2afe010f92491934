// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

/// @file rcl/time.h
/// @brief Clock types, time points, durations and time-jump descriptions of the C client
/// library.

#ifndef RCL__TIME_H_
#define RCL__TIME_H_

#include <stdbool.h>
#include <stdint.h>

#include "rcutils/time.h"

#ifdef __cplusplus
extern "C" {
#endif

#define RCL_S_TO_NS RCUTILS_S_TO_NS
#define RCL_MS_TO_NS RCUTILS_MS_TO_NS
#define RCL_US_TO_NS RCUTILS_US_TO_NS
#define RCL_NS_TO_S RCUTILS_NS_TO_S
#define RCL_NS_TO_MS RCUTILS_NS_TO_MS
#define RCL_NS_TO_US RCUTILS_NS_TO_US

/// Nanoseconds since the epoch of a clock.
typedef rcutils_time_point_value_t rcl_time_point_value_t;
/// A signed duration in nanoseconds.
typedef rcutils_duration_value_t rcl_duration_value_t;

/// Which clock a time point belongs to.
typedef enum rcl_clock_type_e {
  RCL_CLOCK_UNINITIALIZED = 0,
  /// System time, or the simulated time published on /clock when overridden.
  RCL_ROS_TIME,
  /// Wall-clock time.
  RCL_SYSTEM_TIME,
  /// Monotonic time.
  RCL_STEADY_TIME
} rcl_clock_type_t;

/// A duration in nanoseconds.
typedef struct rcl_duration_s
{
  rcl_duration_value_t nanoseconds;
} rcl_duration_t;

/// A time point of a given clock type.
typedef struct rcl_time_point_s
{
  rcl_time_point_value_t nanoseconds;
  rcl_clock_type_t clock_type;
} rcl_time_point_t;

/// What happened to a ROS clock when it jumped.
typedef enum rcl_clock_change_e {
  RCL_ROS_TIME_NO_CHANGE = 1,
  RCL_ROS_TIME_ACTIVATED = 2,
  RCL_ROS_TIME_DEACTIVATED = 3,
  RCL_SYSTEM_TIME_NO_CHANGE = 4
} rcl_clock_change_t;

/// A jump of a clock: the kind of change and the size of the jump.
typedef struct rcl_time_jump_s
{
  rcl_clock_change_t clock_change;
  rcl_duration_t delta;
} rcl_time_jump_t;

/// When a jump callback fires: on activation changes and/or jumps beyond the limits
/// (a zero limit disables that direction).
typedef struct rcl_jump_threshold_s
{
  bool on_clock_change;
  rcl_duration_t min_forward;
  rcl_duration_t min_backward;
} rcl_jump_threshold_t;

#ifdef __cplusplus
}
#endif

#endif  // RCL__TIME_H_
