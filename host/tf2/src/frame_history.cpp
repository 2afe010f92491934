// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#include "frame_history.hpp"

#include <algorithm>

namespace tf2 {
namespace {
bool sameSample(const TransformSample & a, const TransformSample & b)
{
  return a.stamp == b.stamp && a.parent == b.parent && a.rotation == b.rotation &&
         a.translation == b.translation;
}

// Writes "<before><requested><between><available><after>" into error, if asked for.
void describeGap(
    const char * before, TimePoint requested, const char * between, TimePoint available,
    const char * after, std::string * error)
{
  if (error != nullptr) {
    *error = before + displayTimePoint(requested) + between + displayTimePoint(available) + after;
  }
}
}  // namespace

BufferCore::FrameHistory::FrameHistory(bool is_static, tf2::Duration cache_time)
    : is_static_(is_static), cache_time_(cache_time)
{}

bool BufferCore::FrameHistory::insert(const TransformSample & sample)
{
  if (is_static_) {
    samples_.assign(1, sample);
    return true;
  }
  // Pruning is measured from the newest stamp seen before this sample.
  prune();
  if (!samples_.empty() && sample.stamp < samples_.back().stamp - cache_time_) {
    return false;
  }
  auto position = std::upper_bound(
      samples_.begin(), samples_.end(), sample.stamp,
      [](const TimePoint & stamp, const TransformSample & s) { return stamp < s.stamp; });
  // A repeated identical message must not appear twice.
  for (auto same = position; same != samples_.begin();) {
    --same;
    if (same->stamp != sample.stamp) {
      break;
    }
    if (sameSample(*same, sample)) {
      return true;
    }
  }
  samples_.insert(position, sample);
  return true;
}

void BufferCore::FrameHistory::prune()
{
  if (samples_.empty()) {
    return;
  }
  const TimePoint newest = samples_.back().stamp;
  while (!samples_.empty() && samples_.front().stamp + cache_time_ < newest) {
    samples_.pop_front();
  }
}

bool BufferCore::FrameHistory::sample(
    TimePoint time, TransformSample & out, std::string * error) const
{
  if (samples_.empty()) {
    return false;
  }
  if (is_static_) {
    out = samples_.front();
    out.stamp = time;
    return true;
  }
  if (time == TimePointZero) {
    out = samples_.back();
    return true;
  }
  if (samples_.size() == 1) {
    if (samples_.front().stamp == time) {
      out = samples_.front();
      return true;
    }
    describeGap(
        "Lookup would require extrapolation at time ", time, ", but only time ",
        samples_.front().stamp, " is in the buffer", error);
    return false;
  }
  const TimePoint newest = samples_.back().stamp;
  const TimePoint oldest = samples_.front().stamp;
  if (time == newest) {
    out = samples_.back();
    return true;
  }
  if (time == oldest) {
    out = samples_.front();
    return true;
  }
  if (time > newest) {
    describeGap(
        "Lookup would require extrapolation into the future.  Requested time ", time,
        " but the latest data is at time ", newest, "", error);
    return false;
  }
  if (time < oldest) {
    describeGap(
        "Lookup would require extrapolation into the past.  Requested time ", time,
        " but the earliest data is at time ", oldest, "", error);
    return false;
  }
  // oldest < time < newest: the last sample at or before time and the one after it.
  auto newer = std::upper_bound(
      samples_.begin(), samples_.end(), time,
      [](const TimePoint & stamp, const TransformSample & s) { return stamp < s.stamp; });
  const TransformSample & before = *(newer - 1);
  const TransformSample & after = *newer;
  if (before.parent != after.parent) {
    // The frame was re-parented in between: no meaningful blend exists.
    out = before;
    return true;
  }
  const tf2Scalar ratio = static_cast<double>((time - before.stamp).count()) /
                          static_cast<double>((after.stamp - before.stamp).count());
  out = before;
  out.translation.setInterpolate3(before.translation, after.translation, ratio);
  out.rotation = slerp(before.rotation, after.rotation, ratio);
  return true;
}

std::pair<TimePoint, CompactFrameID> BufferCore::FrameHistory::latest() const
{
  if (samples_.empty()) {
    return {TimePoint(), 0};
  }
  if (is_static_) {
    return {TimePoint(), samples_.front().parent};
  }
  return {samples_.back().stamp, samples_.back().parent};
}

void BufferCore::FrameHistory::clear()
{
  if (!is_static_) {
    samples_.clear();
  }
}

}  // namespace tf2
