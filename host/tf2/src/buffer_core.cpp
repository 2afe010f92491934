// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#include "tf2/buffer_core.h"

#include <algorithm>
#include <cmath>
#include <sstream>

#include "console_bridge/console.h"
#include "frame_history.hpp"
#include "tf2/LinearMath/Transform.h"

namespace tf2 {
namespace {
// Allowed deviation of a received quaternion's squared norm from 1.
constexpr double kQuaternionNormTolerance = 10e-3;

bool startsWithSlash(const std::string & frame_id)
{
  return !frame_id.empty() && frame_id[0] == '/';
}

std::string stripSlash(const std::string & frame_id)
{
  return startsWithSlash(frame_id) ? frame_id.substr(1) : frame_id;
}

// Reasons a frame id can be refused, shared by the throwing and the reporting validation.
const char * invalidFrameReason(const std::string & frame_id)
{
  if (frame_id.empty()) {
    return "in tf2 frame_ids cannot be empty";
  }
  if (startsWithSlash(frame_id)) {
    return "in tf2 frame_ids cannot start with a '/'";
  }
  return nullptr;
}

TimePoint toTimePoint(const builtin_interfaces::msg::Time & stamp)
{
  return TimePoint(std::chrono::seconds(stamp.sec) + std::chrono::nanoseconds(stamp.nanosec));
}

geometry_msgs::msg::TransformStamped toMessage(
    const tf2::Transform & transform, TimePoint time, const std::string & target_frame,
    const std::string & source_frame)
{
  geometry_msgs::msg::TransformStamped msg;
  msg.transform.translation.x = transform.getOrigin().x();
  msg.transform.translation.y = transform.getOrigin().y();
  msg.transform.translation.z = transform.getOrigin().z();
  const tf2::Quaternion rotation = transform.getRotation();
  msg.transform.rotation.x = rotation.x();
  msg.transform.rotation.y = rotation.y();
  msg.transform.rotation.z = rotation.z();
  msg.transform.rotation.w = rotation.w();
  const auto since_epoch = time.time_since_epoch();
  msg.header.stamp.sec =
      static_cast<int32_t>(std::chrono::duration_cast<std::chrono::seconds>(since_epoch).count());
  msg.header.stamp.nanosec = static_cast<uint32_t>(since_epoch.count() % 1000000000LL);
  msg.header.frame_id = target_frame;
  msg.child_frame_id = source_frame;
  return msg;
}

bool hasNan(const tf2::Quaternion & rotation, const tf2::Vector3 & translation)
{
  return std::isnan(translation.x()) || std::isnan(translation.y()) ||
         std::isnan(translation.z()) || std::isnan(rotation.x()) || std::isnan(rotation.y()) ||
         std::isnan(rotation.z()) || std::isnan(rotation.w());
}

// A rigid motion accumulated along one side of the chain, kept as quaternion and vector so
// that the arithmetic follows the classic buffer exactly.
struct Motion
{
  tf2::Quaternion rotation{0.0, 0.0, 0.0, 1.0};
  tf2::Vector3 translation{0.0, 0.0, 0.0};

  // Prepends one parent step: this becomes parent <- child <- ... .
  void pushParent(const TransformSample & step)
  {
    translation = quatRotate(step.rotation, translation) + step.translation;
    rotation = step.rotation * rotation;
  }

  Motion inverse() const
  {
    Motion inv;
    inv.rotation = rotation.inverse();
    inv.translation = quatRotate(inv.rotation, -translation);
    return inv;
  }

  tf2::Transform toTransform() const
  {
    return tf2::Transform(rotation, translation);
  }
};
}  // namespace

BufferCore::BufferCore(tf2::Duration cache_time)
    : cache_time_(cache_time), using_dedicated_thread_(false)
{
  // Id 0 stands for "no frame" so that a parent of 0 ends every chain.
  frames_.emplace_back();
  frame_names_.emplace_back("NO_PARENT");
  frame_ids_["NO_PARENT"] = 0;
}

BufferCore::~BufferCore() = default;

void BufferCore::clear()
{
  std::lock_guard<std::mutex> lock(frame_mutex_);
  for (auto & frame : frames_) {
    if (frame) {
      frame->clear();
    }
  }
}

bool BufferCore::setTransform(
    const geometry_msgs::msg::TransformStamped & transform, const std::string & authority,
    bool is_static)
{
  const std::string parent = stripSlash(transform.header.frame_id);
  const std::string child = stripSlash(transform.child_frame_id);
  const auto & t = transform.transform;
  // As in Humble, the message passes through a tf2::Transform first: the rotation that is
  // checked and stored is the one read back from its matrix, normalised (and possibly negated).
  const tf2::Transform passed(
      tf2::Quaternion(t.rotation.x, t.rotation.y, t.rotation.z, t.rotation.w),
      tf2::Vector3(t.translation.x, t.translation.y, t.translation.z));
  const tf2::Quaternion rotation = passed.getRotation();
  const tf2::Vector3 & translation = passed.getOrigin();

  bool rejected = false;
  if (child == parent) {
    CONSOLE_BRIDGE_logError(
        "TF_SELF_TRANSFORM: Ignoring transform from authority \"%s\" with frame_id and  "
        "child_frame_id \"%s\" because they are the same",
        authority.c_str(), child.c_str());
    rejected = true;
  }
  if (child.empty()) {
    CONSOLE_BRIDGE_logError(
        "TF_NO_CHILD_FRAME_ID: Ignoring transform from authority \"%s\" because child_frame_id not"
        " set ",
        authority.c_str());
    rejected = true;
  }
  if (parent.empty()) {
    CONSOLE_BRIDGE_logError(
        "TF_NO_FRAME_ID: Ignoring transform with child_frame_id \"%s\"  from authority \"%s\" "
        "because frame_id not set",
        child.c_str(), authority.c_str());
    rejected = true;
  }
  if (hasNan(rotation, translation)) {
    CONSOLE_BRIDGE_logError(
        "TF_NAN_INPUT: Ignoring transform for child_frame_id \"%s\" from authority \"%s\" because"
        " of a nan value in the transform (%f %f %f) (%f %f %f %f)",
        child.c_str(), authority.c_str(), translation.x(), translation.y(), translation.z(),
        rotation.x(), rotation.y(), rotation.z(), rotation.w());
    rejected = true;
  }
  const double norm2 = rotation.w() * rotation.w() + rotation.x() * rotation.x() +
                       rotation.y() * rotation.y() + rotation.z() * rotation.z();
  if (!(std::abs(norm2 - 1.0f) < kQuaternionNormTolerance)) {
    CONSOLE_BRIDGE_logError(
        "TF_DENORMALIZED_QUATERNION: Ignoring transform for child_frame_id \"%s\" from authority"
        " \"%s\" because of an invalid quaternion in the transform (%f %f %f %f)",
        child.c_str(), authority.c_str(), rotation.x(), rotation.y(), rotation.z(), rotation.w());
    rejected = true;
  }
  if (rejected) {
    return false;
  }

  TransformSample sample;
  sample.stamp = toTimePoint(transform.header.stamp);
  sample.rotation = rotation;
  sample.translation = translation;

  std::lock_guard<std::mutex> lock(frame_mutex_);
  const CompactFrameID child_id = lookupOrInsertFrameNumber(child);
  sample.parent = lookupOrInsertFrameNumber(parent);
  auto & history = frames_[child_id];
  if (!history || history->isStatic() != is_static) {
    history = std::make_unique<FrameHistory>(is_static, cache_time_);
  }
  if (!history->insert(sample)) {
    const std::string stamp_text = displayTimePoint(sample.stamp);
    CONSOLE_BRIDGE_logWarn(
        "TF_OLD_DATA ignoring data from the past for frame %s at time %s according to authority"
        " %s\nPossible reasons are listed at http://wiki.ros.org/tf/Errors%%20explained",
        child.c_str(), stamp_text.c_str(), authority.c_str());
    return false;
  }
  return true;
}

CompactFrameID BufferCore::validateFrameId(
    const char * function_name_arg, const std::string & frame_id) const
{
  if (const char * reason = invalidFrameReason(frame_id)) {
    throw tf2::InvalidArgumentException(
        "Invalid argument \"" + frame_id + "\" passed to " + function_name_arg + " - " + reason);
  }
  const CompactFrameID id = lookupFrameNumber(frame_id);
  if (id == 0) {
    throw tf2::LookupException(
        "\"" + frame_id + "\" passed to " + function_name_arg + " does not exist. ");
  }
  return id;
}

CompactFrameID BufferCore::validateFrameId(
    const char * function_name_arg, const std::string & frame_id, std::string * error_msg) const
{
  const char * reason = invalidFrameReason(frame_id);
  const CompactFrameID id = reason == nullptr ? lookupFrameNumber(frame_id) : 0;
  if (id == 0) {
    const std::string text = "Invalid frame ID \"" + frame_id + "\" passed to " +
                             function_name_arg + " - " +
                             (reason != nullptr ? reason : "frame does not exist");
    if (error_msg != nullptr) {
      *error_msg = text;
    } else {
      CONSOLE_BRIDGE_logWarn("%s", text.c_str());
    }
  }
  return id;
}

CompactFrameID BufferCore::lookupFrameNumber(const std::string & frameid_str) const
{
  const auto found = frame_ids_.find(frameid_str);
  return found == frame_ids_.end() ? 0 : found->second;
}

CompactFrameID BufferCore::lookupOrInsertFrameNumber(const std::string & frameid_str)
{
  const auto found = frame_ids_.find(frameid_str);
  if (found != frame_ids_.end()) {
    return found->second;
  }
  const auto id = static_cast<CompactFrameID>(frames_.size());
  frames_.emplace_back();
  frame_names_.push_back(frameid_str);
  frame_ids_.emplace(frameid_str, id);
  return id;
}

const BufferCore::FrameHistory * BufferCore::getFrame(CompactFrameID id) const
{
  return id < frames_.size() ? frames_[id].get() : nullptr;
}

std::string BufferCore::connectivityError(CompactFrameID source_id, CompactFrameID target_id) const
{
  return "Could not find a connection between '" + frame_names_[target_id] + "' and '" +
         frame_names_[source_id] +
         "' because they are not part of the same tree.Tf has two or more unconnected trees.";
}

std::string BufferCore::loopError() const
{
  std::ostringstream text;
  text << "The tf tree is invalid because it contains a loop." << std::endl
       << allFramesAsStringNoLock() << std::endl;
  return text.str();
}

// Latest time at which every frame between source and their common ancestor (or the direct
// ancestor one of them is of the other) has data; static links do not constrain it.
tf2::TF2Error BufferCore::getLatestCommonTime(
    CompactFrameID target_id, CompactFrameID source_id, TimePoint & time,
    std::string * error_string) const
{
  if (source_id == target_id) {
    const FrameHistory * frame = getFrame(source_id);
    time = frame != nullptr ? frame->latest().first : TimePointZero;
    return TF2Error::TF2_NO_ERROR;
  }
  auto fold = [](TimePoint & common, TimePoint stamp) {
    if (stamp != TimePointZero) {
      common = std::min(common, stamp);
    }
  };
  auto finish = [&time](TimePoint common) {
    time = common == TimePoint::max() ? TimePointZero : common;
    return TF2Error::TF2_NO_ERROR;
  };

  // Source side: remember every (stamp, parent) step up to the root.
  std::vector<std::pair<TimePoint, CompactFrameID>> source_steps;
  TimePoint common = TimePoint::max();
  for (CompactFrameID frame = source_id; frame != 0;) {
    const FrameHistory * history = getFrame(frame);
    const auto step = history != nullptr ? history->latest() : std::make_pair(TimePoint(), 0u);
    if (step.second == 0) {
      break;
    }
    fold(common, step.first);
    source_steps.push_back(step);
    frame = step.second;
    if (frame == target_id) {
      return finish(common);
    }
    if (source_steps.size() > MAX_GRAPH_DEPTH) {
      if (error_string != nullptr) {
        *error_string = loopError();
      }
      return TF2Error::TF2_LOOKUP_ERROR;
    }
  }

  // Target side: climb until reaching the source or a parent the source side also reached.
  common = TimePoint::max();
  CompactFrameID common_parent = 0;
  uint32_t depth = 0;
  for (CompactFrameID frame = target_id;;) {
    const FrameHistory * history = getFrame(frame);
    const auto step = history != nullptr ? history->latest() : std::make_pair(TimePoint(), 0u);
    if (step.second == 0) {
      break;
    }
    fold(common, step.first);
    const bool shared = std::any_of(
        source_steps.begin(), source_steps.end(),
        [&step](const auto & s) { return s.second == step.second; });
    if (shared) {
      common_parent = step.second;
      break;
    }
    frame = step.second;
    if (frame == source_id) {
      return finish(common);
    }
    if (++depth > MAX_GRAPH_DEPTH) {
      if (error_string != nullptr) {
        *error_string = loopError();
      }
      return TF2Error::TF2_LOOKUP_ERROR;
    }
  }
  if (common_parent == 0) {
    if (error_string != nullptr) {
      *error_string = connectivityError(source_id, target_id);
    }
    return TF2Error::TF2_CONNECTIVITY_ERROR;
  }
  for (const auto & step : source_steps) {
    fold(common, step.first);
    if (step.second == common_parent) {
      break;
    }
  }
  return finish(common);
}

// Composes source -> target at time (TimePointZero resolved to the latest common time):
// climbs from the source towards its root, then from the target until it meets that climb.
tf2::TF2Error BufferCore::walkChain(
    CompactFrameID target_id, CompactFrameID source_id, TimePoint & time,
    tf2::Transform & transform, std::string * error_string) const
{
  if (source_id == target_id) {
    transform.setIdentity();
    return TF2Error::TF2_NO_ERROR;
  }
  if (time == TimePointZero) {
    const TF2Error status = getLatestCommonTime(target_id, source_id, time, error_string);
    if (status != TF2Error::TF2_NO_ERROR) {
      return status;
    }
  }
  auto describe = [&](const std::string & reason) {
    if (error_string != nullptr) {
      *error_string = reason + ", when looking up transform from frame [" +
                      frame_names_[source_id] + "] to frame [" + frame_names_[target_id] + "]";
    }
  };

  Motion source_to_top;
  CompactFrameID top = source_id;
  std::string source_gap;
  bool source_gap_seen = false;
  uint32_t depth = 0;
  for (CompactFrameID frame = source_id;; ++depth) {
    if (frame == target_id) {
      transform = source_to_top.toTransform();
      return TF2Error::TF2_NO_ERROR;
    }
    const FrameHistory * history = getFrame(frame);
    TransformSample step;
    top = frame;
    if (history == nullptr) {
      break;
    }
    // A gap here may still be bridged from the target side, so it is only remembered.
    if (!history->sample(time, step, &source_gap)) {
      source_gap_seen = true;
      break;
    }
    if (depth >= MAX_GRAPH_DEPTH) {
      if (error_string != nullptr) {
        *error_string = loopError();
      }
      return TF2Error::TF2_LOOKUP_ERROR;
    }
    source_to_top.pushParent(step);
    frame = step.parent;
  }

  Motion target_to_top;
  CompactFrameID frame = target_id;
  for (depth = 0; frame != top; ++depth) {
    const FrameHistory * history = getFrame(frame);
    if (history == nullptr) {
      break;
    }
    TransformSample step;
    std::string gap;
    if (!history->sample(time, step, &gap)) {
      describe(gap);
      return TF2Error::TF2_EXTRAPOLATION_ERROR;
    }
    if (frame == source_id) {
      transform = target_to_top.inverse().toTransform();
      return TF2Error::TF2_NO_ERROR;
    }
    if (depth >= MAX_GRAPH_DEPTH) {
      if (error_string != nullptr) {
        *error_string = loopError();
      }
      return TF2Error::TF2_LOOKUP_ERROR;
    }
    target_to_top.pushParent(step);
    frame = step.parent;
  }
  if (frame != top) {
    if (source_gap_seen) {
      describe(source_gap);
      return TF2Error::TF2_EXTRAPOLATION_ERROR;
    }
    if (error_string != nullptr) {
      *error_string = connectivityError(source_id, target_id);
    }
    return TF2Error::TF2_CONNECTIVITY_ERROR;
  }
  const Motion top_to_target = target_to_top.inverse();
  transform = tf2::Transform(
      top_to_target.rotation * source_to_top.rotation,
      quatRotate(top_to_target.rotation, source_to_top.translation) + top_to_target.translation);
  return TF2Error::TF2_NO_ERROR;
}

void BufferCore::lookupTransformImpl(
    const std::string & target_frame, const std::string & source_frame, const TimePoint & time,
    tf2::Transform & transform, TimePoint & time_out) const
{
  std::lock_guard<std::mutex> lock(frame_mutex_);
  if (target_frame == source_frame) {
    // Identity needs no known frame; "latest" is the frame's newest stamp if it has data.
    transform.setIdentity();
    time_out = time;
    if (time == TimePointZero) {
      const FrameHistory * frame = getFrame(lookupFrameNumber(target_frame));
      if (frame != nullptr) {
        time_out = frame->latest().first;
      }
    }
    return;
  }
  const CompactFrameID target_id =
      validateFrameId("lookupTransform argument target_frame", target_frame);
  const CompactFrameID source_id =
      validateFrameId("lookupTransform argument source_frame", source_frame);

  std::string error;
  time_out = time;
  switch (walkChain(target_id, source_id, time_out, transform, &error)) {
    case TF2Error::TF2_NO_ERROR:
      return;
    case TF2Error::TF2_CONNECTIVITY_ERROR:
      throw ConnectivityException(error);
    case TF2Error::TF2_EXTRAPOLATION_ERROR:
      throw ExtrapolationException(error);
    default:
      throw LookupException(error);
  }
}

geometry_msgs::msg::TransformStamped BufferCore::lookupTransform(
    const std::string & target_frame, const std::string & source_frame,
    const TimePoint & time) const
{
  tf2::Transform transform;
  TimePoint time_out;
  lookupTransformImpl(target_frame, source_frame, time, transform, time_out);
  return toMessage(transform, time_out, target_frame, source_frame);
}

geometry_msgs::msg::TransformStamped BufferCore::lookupTransform(
    const std::string & target_frame, const TimePoint & target_time,
    const std::string & source_frame, const TimePoint & source_time,
    const std::string & fixed_frame) const
{
  {
    std::lock_guard<std::mutex> lock(frame_mutex_);
    validateFrameId("lookupTransform argument target_frame", target_frame);
    validateFrameId("lookupTransform argument source_frame", source_frame);
    validateFrameId("lookupTransform argument fixed_frame", fixed_frame);
  }
  tf2::Transform fixed_from_source;
  tf2::Transform target_from_fixed;
  TimePoint time_out;
  lookupTransformImpl(fixed_frame, source_frame, source_time, fixed_from_source, time_out);
  lookupTransformImpl(target_frame, fixed_frame, target_time, target_from_fixed, time_out);
  return toMessage(target_from_fixed * fixed_from_source, time_out, target_frame, source_frame);
}

bool BufferCore::canTransformInternal(
    CompactFrameID target_id, CompactFrameID source_id, const TimePoint & time,
    std::string * error_msg) const
{
  std::lock_guard<std::mutex> lock(frame_mutex_);
  TimePoint resolved = time;
  tf2::Transform unused;
  return walkChain(target_id, source_id, resolved, unused, error_msg) == TF2Error::TF2_NO_ERROR;
}

bool BufferCore::canTransform(
    const std::string & target_frame, const std::string & source_frame, const TimePoint & time,
    std::string * error_msg) const
{
  if (target_frame == source_frame) {
    return true;
  }
  CompactFrameID target_id;
  CompactFrameID source_id;
  {
    std::lock_guard<std::mutex> lock(frame_mutex_);
    target_id = validateFrameId("canTransform argument target_frame", target_frame, error_msg);
    if (target_id == 0) {
      return false;
    }
    source_id = validateFrameId("canTransform argument source_frame", source_frame, error_msg);
    if (source_id == 0) {
      return false;
    }
  }
  return canTransformInternal(target_id, source_id, time, error_msg);
}

bool BufferCore::canTransform(
    const std::string & target_frame, const TimePoint & target_time,
    const std::string & source_frame, const TimePoint & source_time,
    const std::string & fixed_frame, std::string * error_msg) const
{
  CompactFrameID target_id;
  CompactFrameID source_id;
  CompactFrameID fixed_id;
  {
    std::lock_guard<std::mutex> lock(frame_mutex_);
    target_id = validateFrameId("canTransform argument target_frame", target_frame, error_msg);
    if (target_id == 0) {
      return false;
    }
    source_id = validateFrameId("canTransform argument source_frame", source_frame, error_msg);
    if (source_id == 0) {
      return false;
    }
    fixed_id = validateFrameId("canTransform argument fixed_frame", fixed_frame, error_msg);
    if (fixed_id == 0) {
      return false;
    }
  }
  return canTransformInternal(target_id, fixed_id, target_time, error_msg) &&
         canTransformInternal(fixed_id, source_id, source_time, error_msg);
}

std::vector<std::string> BufferCore::getAllFrameNames() const
{
  std::lock_guard<std::mutex> lock(frame_mutex_);
  return std::vector<std::string>(frame_names_.begin() + 1, frame_names_.end());
}

bool BufferCore::_frameExists(const std::string & frame_id_str) const
{
  std::lock_guard<std::mutex> lock(frame_mutex_);
  return frame_ids_.count(frame_id_str) != 0;
}

std::string BufferCore::allFramesAsString() const
{
  std::lock_guard<std::mutex> lock(frame_mutex_);
  return allFramesAsStringNoLock();
}

std::string BufferCore::allFramesAsStringNoLock() const
{
  std::ostringstream text;
  for (size_t id = 1; id < frames_.size(); ++id) {
    if (!frames_[id]) {
      continue;
    }
    TransformSample newest;
    const CompactFrameID parent =
        frames_[id]->sample(TimePointZero, newest, nullptr) ? newest.parent : 0;
    text << "Frame " << frame_names_[id] << " exists with parent " << frame_names_[parent] << "."
         << std::endl;
  }
  return text.str();
}

}  // namespace tf2
