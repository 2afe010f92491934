// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#include "tf2/time.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

namespace tf2 {
namespace {
constexpr int64_t kNanosPerSecond = 1000000000;
}  // namespace

TimePoint get_now()
{
  return std::chrono::time_point_cast<Duration>(std::chrono::system_clock::now());
}

Duration durationFromSec(double t_sec)
{
  int64_t sec = static_cast<int64_t>(std::floor(t_sec));
  int64_t nsec = static_cast<int64_t>(std::round((t_sec - static_cast<double>(sec)) * 1e9));
  // Rounding may carry a full second (e.g. 0.9999999999 s).
  sec += nsec / kNanosPerSecond;
  nsec %= kNanosPerSecond;
  return std::chrono::seconds(sec) + std::chrono::nanoseconds(nsec);
}

TimePoint timeFromSec(double t_sec)
{
  return TimePoint(durationFromSec(t_sec));
}

double durationToSec(const tf2::Duration & input)
{
  // Whole seconds and the nanosecond rest are scaled separately to keep precision.
  const int64_t count = input.count();
  const int64_t nsec = count % kNanosPerSecond;
  const int64_t sec = (count - nsec) / kNanosPerSecond;
  return static_cast<double>(sec) + 1e-9 * static_cast<double>(nsec);
}

double timeToSec(const TimePoint & timepoint)
{
  return durationToSec(timepoint.time_since_epoch());
}

std::string displayTimePoint(const TimePoint & stamp)
{
  const double seconds = timeToSec(stamp);
  const int size = std::snprintf(nullptr, 0, "%.6f", seconds);
  std::string text(static_cast<size_t>(size), '\0');
  std::snprintf(text.data(), text.size() + 1, "%.6f", seconds);
  return text;
}

}  // namespace tf2
