// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#ifndef TF2__FRAME_HISTORY_HPP_
#define TF2__FRAME_HISTORY_HPP_

#include <deque>
#include <string>
#include <utility>

#include "tf2/LinearMath/Quaternion.h"
#include "tf2/LinearMath/Vector3.h"
#include "tf2/buffer_core.h"

namespace tf2 {
/// Pose of one frame in its parent at one instant.
struct TransformSample
{
  TimePoint stamp;
  tf2::Quaternion rotation;
  tf2::Vector3 translation;
  CompactFrameID parent = 0;
};

/// The transforms of one child frame over time. A static history holds a single sample that
/// is valid at every time; a dynamic one keeps samples sorted by stamp (oldest first) within
/// the cache time of the newest sample. Not thread safe: BufferCore's mutex guards it.
class BufferCore::FrameHistory
{
public:
  FrameHistory(bool is_static, tf2::Duration cache_time);

  bool isStatic() const
  {
    return is_static_;
  }

  /// Stores @p sample; false when it is older than the newest stamp minus the cache time.
  bool insert(const TransformSample & sample);

  /// The pose at @p time (TimePointZero: the newest), interpolated between the two
  /// neighbouring samples when they share a parent. On failure @p error (if not null)
  /// describes the extrapolation; an empty history fails without a description.
  bool sample(TimePoint time, TransformSample & out, std::string * error) const;

  /// Newest stamp and parent; (0, 0) when empty; a static frame reports stamp 0.
  std::pair<TimePoint, CompactFrameID> latest() const;

  /// Forgets dynamic samples; a static sample is kept.
  void clear();

private:
  void prune();

  bool is_static_;
  tf2::Duration cache_time_;
  std::deque<TransformSample> samples_;
};

}  // namespace tf2

#endif  // TF2__FRAME_HISTORY_HPP_
