// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#ifndef TF2__TIME_H_
#define TF2__TIME_H_

#include <chrono>
#include <string>

/// @file
/// @brief Time types of the transform library: nanosecond durations and system-clock time points.

namespace tf2 {
/// @brief A span of time in nanoseconds.
using Duration = std::chrono::nanoseconds;
/// @brief A point in time with nanosecond resolution, counted from the epoch.
using TimePoint = std::chrono::time_point<std::chrono::system_clock, Duration>;

using IDuration = std::chrono::duration<int, std::nano>;
/// @brief The epoch; as a lookup time it asks for the latest data available.
static const TimePoint TimePointZero = TimePoint(IDuration::zero());

/// @brief Current wall-clock time.
TimePoint get_now();

/// @brief Duration of @p t_sec seconds: whole seconds by floor, the rest rounded to nanoseconds.
Duration durationFromSec(double t_sec);

/// @brief Time point @p t_sec seconds after the epoch (see durationFromSec()).
TimePoint timeFromSec(double t_sec);

/// @brief Duration in seconds.
double durationToSec(const tf2::Duration & input);

/// @brief Seconds since the epoch.
double timeToSec(const TimePoint & timepoint);

/// @brief Seconds since the epoch printed with six decimals ("%.6f"), as used in error texts.
std::string displayTimePoint(const TimePoint & stamp);

}  // namespace tf2

#endif  // TF2__TIME_H_
