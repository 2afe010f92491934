// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#ifndef TF2__BUFFER_CORE_H_
#define TF2__BUFFER_CORE_H_

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "geometry_msgs/msg/transform_stamped.hpp"
#include "tf2/LinearMath/Transform.h"
#include "tf2/exceptions.h"
#include "tf2/time.h"

/// @file
/// @brief The transform buffer: a time-indexed tree of coordinate frames.

namespace tf2 {
/// @brief Compact numeric id of a frame inside one buffer; 0 means "no frame".
typedef uint32_t CompactFrameID;

/// @brief How long a buffer keeps dynamic transforms by default.
static constexpr Duration BUFFER_CORE_DEFAULT_CACHE_TIME = std::chrono::seconds(10);

/**
 * @brief Stores the transforms between frames over a sliding window of time and answers
 * queries between any two frames of one tree.
 *
 * Each frame has one parent at any time. Dynamic transforms are kept for the cache time
 * (measured back from the newest sample of that frame) and interpolated between samples
 * (linear for the translation, slerp for the rotation); static transforms hold at all times.
 * Frame ids are plain names without a leading '/'.
 *
 * Thread safety: every member may be called concurrently from any thread; one internal
 * mutex guards the frame tree.
 */
class BufferCore
{
public:
  /// @brief Chains deeper than this are taken as a loop in the tree.
  static const uint32_t MAX_GRAPH_DEPTH = 1000UL;

  /// @brief Creates an empty buffer keeping dynamic data for @p cache_time_.
  explicit BufferCore(tf2::Duration cache_time_ = BUFFER_CORE_DEFAULT_CACHE_TIME);

  virtual ~BufferCore(void);

  /// @brief Drops all dynamic transforms; static transforms and known frame names remain.
  virtual void clear();

  /**
   * @brief Adds one transform: the pose of child_frame_id expressed in header.frame_id.
   * @param transform the transform; a leading '/' of either frame id is ignored.
   * @param authority who sent it, only used in diagnostics.
   * @param is_static true for a transform valid at all times; a frame switching between
   *        static and dynamic loses its former data.
   * @return false (with an error printed to the console) when the transform is rejected:
   *         same child and parent, empty child or parent, a NaN value, a quaternion whose
   *         squared norm is off 1 by 0.01 or more, or a stamp older than the frame's newest
   *         stamp minus the cache time (TF_OLD_DATA warning).
   */
  bool setTransform(
      const geometry_msgs::msg::TransformStamped & transform, const std::string & authority,
      bool is_static = false);

  /**
   * @brief The transform that maps coordinates in @p source_frame into @p target_frame.
   * @param time the time of the data; TimePointZero asks for the latest time at which the
   *        whole chain has data (0 when the chain is all static).
   * @return header.frame_id = target, child_frame_id = source, stamp = the time used.
   *         Equal frame names give the identity without any validation.
   * @throws tf2::InvalidArgumentException for an empty frame id or one with a leading '/'.
   * @throws tf2::LookupException for an unknown frame or a loop in the tree.
   * @throws tf2::ConnectivityException when the frames are in different trees.
   * @throws tf2::ExtrapolationException when some frame of the chain lacks data at @p time.
   */
  virtual geometry_msgs::msg::TransformStamped lookupTransform(
      const std::string & target_frame, const std::string & source_frame,
      const TimePoint & time) const;

  /**
   * @brief Time-travelling lookup: source at @p source_time into @p fixed_frame, then from
   * @p fixed_frame into target at @p target_time. The stamp is the time of the second step.
   * @throws as the three-argument lookupTransform(); all three frames are validated first.
   */
  virtual geometry_msgs::msg::TransformStamped lookupTransform(
      const std::string & target_frame, const TimePoint & target_time,
      const std::string & source_frame, const TimePoint & source_time,
      const std::string & fixed_frame) const;

  /**
   * @brief Whether lookupTransform() would succeed; never throws.
   * @param error_msg if not null, receives the reason on failure (without it, invalid frame
   *        ids are printed as console warnings).
   */
  virtual bool canTransform(
      const std::string & target_frame, const std::string & source_frame, const TimePoint & time,
      std::string * error_msg = nullptr) const;

  /// @brief Time-travelling form of canTransform(); never throws.
  virtual bool canTransform(
      const std::string & target_frame, const TimePoint & target_time,
      const std::string & source_frame, const TimePoint & source_time,
      const std::string & fixed_frame, std::string * error_msg = nullptr) const;

  /// @brief Names of every frame ever seen (as child or as parent).
  virtual std::vector<std::string> getAllFrameNames() const;

  /// @brief One line "Frame <child> exists with parent <parent>." per frame with data.
  std::string allFramesAsString() const;

  /// @brief Marks that another thread fills this buffer, so waiting for data makes sense.
  void setUsingDedicatedThread(bool value)
  {
    using_dedicated_thread_ = value;
  }

  /// @brief Whether setUsingDedicatedThread(true) was called.
  bool isUsingDedicatedThread() const
  {
    return using_dedicated_thread_;
  }

  /// @brief Whether @p frame_id_str names a known frame.
  bool _frameExists(const std::string & frame_id_str) const;

  /// @brief The cache time given at construction.
  tf2::Duration getCacheLength()
  {
    return cache_time_;
  }

private:
  class FrameHistory;

  CompactFrameID validateFrameId(
      const char * function_name_arg, const std::string & frame_id) const;
  CompactFrameID validateFrameId(
      const char * function_name_arg, const std::string & frame_id, std::string * error_msg) const;
  CompactFrameID lookupFrameNumber(const std::string & frameid_str) const;
  CompactFrameID lookupOrInsertFrameNumber(const std::string & frameid_str);
  const FrameHistory * getFrame(CompactFrameID id) const;

  tf2::TF2Error getLatestCommonTime(
      CompactFrameID target_id, CompactFrameID source_id, TimePoint & time,
      std::string * error_string) const;
  tf2::TF2Error walkChain(
      CompactFrameID target_id, CompactFrameID source_id, TimePoint & time,
      tf2::Transform & transform, std::string * error_string) const;
  void lookupTransformImpl(
      const std::string & target_frame, const std::string & source_frame, const TimePoint & time,
      tf2::Transform & transform, TimePoint & time_out) const;
  bool canTransformInternal(
      CompactFrameID target_id, CompactFrameID source_id, const TimePoint & time,
      std::string * error_msg) const;
  std::string connectivityError(CompactFrameID source_id, CompactFrameID target_id) const;
  std::string loopError() const;
  std::string allFramesAsStringNoLock() const;

  mutable std::mutex frame_mutex_;
  // Indexed by CompactFrameID; a null entry is a frame known only as a parent.
  std::vector<std::unique_ptr<FrameHistory>> frames_;
  std::unordered_map<std::string, CompactFrameID> frame_ids_;
  std::vector<std::string> frame_names_;
  tf2::Duration cache_time_;
  std::atomic<bool> using_dedicated_thread_;
};

}  // namespace tf2

#endif  // TF2__BUFFER_CORE_H_
