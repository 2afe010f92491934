// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#ifndef TF2_GEOMETRY_MSGS__TF2_GEOMETRY_MSGS_HPP_
#define TF2_GEOMETRY_MSGS__TF2_GEOMETRY_MSGS_HPP_

#include <chrono>
#include <string>
#include <utility>

#include "geometry_msgs/msg/point.hpp"
#include "geometry_msgs/msg/point32.hpp"
#include "geometry_msgs/msg/point_stamped.hpp"
#include "geometry_msgs/msg/polygon.hpp"
#include "geometry_msgs/msg/polygon_stamped.hpp"
#include "geometry_msgs/msg/pose.hpp"
#include "geometry_msgs/msg/pose_stamped.hpp"
#include "geometry_msgs/msg/quaternion.hpp"
#include "geometry_msgs/msg/quaternion_stamped.hpp"
#include "geometry_msgs/msg/transform.hpp"
#include "geometry_msgs/msg/transform_stamped.hpp"
#include "geometry_msgs/msg/vector3.hpp"
#include "geometry_msgs/msg/vector3_stamped.hpp"
#include "kdl/frames.hpp"
#include "tf2/LinearMath/Quaternion.h"
#include "tf2/LinearMath/Transform.h"
#include "tf2/LinearMath/Vector3.h"
#include "tf2/convert.h"

/// @file
/// @brief tf2 conversions and transforms for geometry_msgs types.
///
/// doTransform() applies a TransformStamped T (child_frame_id -> header.frame_id) by building
/// the KDL frame F = (Rotation::Quaternion(T.rotation), T.translation) and composing with KDL.
/// KDL does not normalise the quaternion, so a non-unit rotation scales the results; rotations
/// read back with GetQuaternion() come from the matrix and need not keep the input's sign.
/// Stamped outputs take stamp and frame_id from T's header. All functions are reentrant.

namespace tf2 {
/// @brief The KDL frame of a transform message (quaternion not normalised).
inline KDL::Frame gmTransformToKDL(const geometry_msgs::msg::TransformStamped & t)
{
  const auto & r = t.transform.rotation;
  const auto & p = t.transform.translation;
  return KDL::Frame(KDL::Rotation::Quaternion(r.x, r.y, r.z, r.w), KDL::Vector(p.x, p.y, p.z));
}

namespace detail {
inline tf2::TimePoint stampToTimePoint(const builtin_interfaces::msg::Time & stamp)
{
  return tf2::TimePoint(std::chrono::seconds(stamp.sec) + std::chrono::nanoseconds(stamp.nanosec));
}

// F * (rotation, position) written back as (position, quaternion) fields.
template <class PositionT, class OrientationT>
void composeFrame(
    const KDL::Frame & frame, const PositionT & position_in, const OrientationT & rotation_in,
    PositionT & position_out, OrientationT & rotation_out)
{
  const KDL::Frame out =
      frame *
      KDL::Frame(
          KDL::Rotation::Quaternion(rotation_in.x, rotation_in.y, rotation_in.z, rotation_in.w),
          KDL::Vector(position_in.x, position_in.y, position_in.z));
  position_out.x = out.p[0];
  position_out.y = out.p[1];
  position_out.z = out.p[2];
  out.M.GetQuaternion(rotation_out.x, rotation_out.y, rotation_out.z, rotation_out.w);
}
}  // namespace detail

// ---------------------------------------------------------------------------------- Vector3

/// @brief Rotates a vector by the transform's rotation (no translation).
template <>
inline void doTransform(
    const geometry_msgs::msg::Vector3 & t_in, geometry_msgs::msg::Vector3 & t_out,
    const geometry_msgs::msg::TransformStamped & transform)
{
  const KDL::Vector v = gmTransformToKDL(transform).M * KDL::Vector(t_in.x, t_in.y, t_in.z);
  t_out.x = v[0];
  t_out.y = v[1];
  t_out.z = v[2];
}

/// @brief Vector message of a tf2 vector.
inline geometry_msgs::msg::Vector3 toMsg(const tf2::Vector3 & in)
{
  geometry_msgs::msg::Vector3 out;
  out.x = in.getX();
  out.y = in.getY();
  out.z = in.getZ();
  return out;
}

/// @brief tf2 vector of a vector message.
inline void fromMsg(const geometry_msgs::msg::Vector3 & in, tf2::Vector3 & out)
{
  out = tf2::Vector3(in.x, in.y, in.z);
}

/// @brief Stamp of a stamped vector.
template <>
inline tf2::TimePoint getTimestamp(const geometry_msgs::msg::Vector3Stamped & t)
{
  return detail::stampToTimePoint(t.header.stamp);
}

/// @brief Frame of a stamped vector.
template <>
inline std::string getFrameId(const geometry_msgs::msg::Vector3Stamped & t)
{
  return t.header.frame_id;
}

/// @brief Rotates a stamped vector; the header becomes the transform's.
template <>
inline void doTransform(
    const geometry_msgs::msg::Vector3Stamped & t_in, geometry_msgs::msg::Vector3Stamped & t_out,
    const geometry_msgs::msg::TransformStamped & transform)
{
  doTransform(t_in.vector, t_out.vector, transform);
  t_out.header.stamp = transform.header.stamp;
  t_out.header.frame_id = transform.header.frame_id;
}

/// @brief Identity conversion.
inline geometry_msgs::msg::Vector3Stamped toMsg(const geometry_msgs::msg::Vector3Stamped & in)
{
  return in;
}

/// @brief Identity conversion.
inline void fromMsg(
    const geometry_msgs::msg::Vector3Stamped & msg, geometry_msgs::msg::Vector3Stamped & out)
{
  out = msg;
}

// ---------------------------------------------------------------------------------- Point

/// @brief Moves a point: F * p.
template <>
inline void doTransform(
    const geometry_msgs::msg::Point & t_in, geometry_msgs::msg::Point & t_out,
    const geometry_msgs::msg::TransformStamped & transform)
{
  const KDL::Vector v = gmTransformToKDL(transform) * KDL::Vector(t_in.x, t_in.y, t_in.z);
  t_out.x = v[0];
  t_out.y = v[1];
  t_out.z = v[2];
}

/// @brief Writes a tf2 vector into a point message and returns it.
inline geometry_msgs::msg::Point & toMsg(const tf2::Vector3 & in, geometry_msgs::msg::Point & out)
{
  out.x = in.getX();
  out.y = in.getY();
  out.z = in.getZ();
  return out;
}

/// @brief tf2 vector of a point message.
inline void fromMsg(const geometry_msgs::msg::Point & in, tf2::Vector3 & out)
{
  out = tf2::Vector3(in.x, in.y, in.z);
}

/// @brief Moves a single-precision point: F * p in double, each result rounded to float.
template <>
inline void doTransform(
    const geometry_msgs::msg::Point32 & t_in, geometry_msgs::msg::Point32 & t_out,
    const geometry_msgs::msg::TransformStamped & transform)
{
  const KDL::Vector v = gmTransformToKDL(transform) * KDL::Vector(t_in.x, t_in.y, t_in.z);
  t_out.x = static_cast<float>(v[0]);
  t_out.y = static_cast<float>(v[1]);
  t_out.z = static_cast<float>(v[2]);
}

/// @brief Writes a tf2 vector into a Point32 (rounded to float) and returns it.
inline geometry_msgs::msg::Point32 & toMsg(
    const tf2::Vector3 & in, geometry_msgs::msg::Point32 & out)
{
  out.x = static_cast<float>(in.getX());
  out.y = static_cast<float>(in.getY());
  out.z = static_cast<float>(in.getZ());
  return out;
}

/// @brief tf2 vector of a Point32.
inline void fromMsg(const geometry_msgs::msg::Point32 & in, tf2::Vector3 & out)
{
  out = tf2::Vector3(in.x, in.y, in.z);
}

/// @brief Stamp of a stamped point.
template <>
inline tf2::TimePoint getTimestamp(const geometry_msgs::msg::PointStamped & t)
{
  return detail::stampToTimePoint(t.header.stamp);
}

/// @brief Frame of a stamped point.
template <>
inline std::string getFrameId(const geometry_msgs::msg::PointStamped & t)
{
  return t.header.frame_id;
}

/// @brief Moves a stamped point; the header becomes the transform's.
template <>
inline void doTransform(
    const geometry_msgs::msg::PointStamped & t_in, geometry_msgs::msg::PointStamped & t_out,
    const geometry_msgs::msg::TransformStamped & transform)
{
  doTransform(t_in.point, t_out.point, transform);
  t_out.header.stamp = transform.header.stamp;
  t_out.header.frame_id = transform.header.frame_id;
}

/// @brief Identity conversion.
inline geometry_msgs::msg::PointStamped toMsg(const geometry_msgs::msg::PointStamped & in)
{
  return in;
}

/// @brief Identity conversion.
inline void fromMsg(
    const geometry_msgs::msg::PointStamped & msg, geometry_msgs::msg::PointStamped & out)
{
  out = msg;
}

// ---------------------------------------------------------------------------------- Polygon

/// @brief Moves every vertex as a Point32; @p poly_out is cleared first.
template <>
inline void doTransform(
    const geometry_msgs::msg::Polygon & poly_in, geometry_msgs::msg::Polygon & poly_out,
    const geometry_msgs::msg::TransformStamped & transform)
{
  // Cleared first, as in Humble: transforming a polygon into itself leaves it empty.
  poly_out.points.clear();
  for (const auto & point : poly_in.points) {
    geometry_msgs::msg::Point32 transformed;
    doTransform(point, transformed, transform);
    poly_out.points.push_back(transformed);
  }
}

/// @brief Identity conversion.
inline geometry_msgs::msg::Polygon toMsg(const geometry_msgs::msg::Polygon & in)
{
  return in;
}

/// @brief Identity conversion.
inline void fromMsg(const geometry_msgs::msg::Polygon & msg, geometry_msgs::msg::Polygon & out)
{
  out = msg;
}

/// @brief Stamp of a stamped polygon.
template <>
inline tf2::TimePoint getTimestamp(const geometry_msgs::msg::PolygonStamped & t)
{
  return detail::stampToTimePoint(t.header.stamp);
}

/// @brief Frame of a stamped polygon.
template <>
inline std::string getFrameId(const geometry_msgs::msg::PolygonStamped & t)
{
  return t.header.frame_id;
}

/// @brief Moves a stamped polygon; the header becomes the transform's.
template <>
inline void doTransform(
    const geometry_msgs::msg::PolygonStamped & poly_in,
    geometry_msgs::msg::PolygonStamped & poly_out,
    const geometry_msgs::msg::TransformStamped & transform)
{
  doTransform(poly_in.polygon, poly_out.polygon, transform);
  poly_out.header.stamp = transform.header.stamp;
  poly_out.header.frame_id = transform.header.frame_id;
}

/// @brief Identity conversion.
inline geometry_msgs::msg::PolygonStamped toMsg(const geometry_msgs::msg::PolygonStamped & in)
{
  return in;
}

/// @brief Identity conversion.
inline void fromMsg(
    const geometry_msgs::msg::PolygonStamped & msg, geometry_msgs::msg::PolygonStamped & out)
{
  out = msg;
}

// ---------------------------------------------------------------------------------- Quaternion

/// @brief Quaternion message of a tf2 quaternion (components copied, no normalisation).
inline geometry_msgs::msg::Quaternion toMsg(const tf2::Quaternion & in)
{
  geometry_msgs::msg::Quaternion out;
  out.x = in.getX();
  out.y = in.getY();
  out.z = in.getZ();
  out.w = in.getW();
  return out;
}

/// @brief tf2 quaternion of a message, components x, y, z, w copied as they are.
inline void fromMsg(const geometry_msgs::msg::Quaternion & in, tf2::Quaternion & out)
{
  out = tf2::Quaternion(in.x, in.y, in.z, in.w);
}

/// @brief Rotates an orientation: q_T * q (tf2 quaternion product, not KDL).
template <>
inline void doTransform(
    const geometry_msgs::msg::Quaternion & t_in, geometry_msgs::msg::Quaternion & t_out,
    const geometry_msgs::msg::TransformStamped & transform)
{
  const auto & r = transform.transform.rotation;
  t_out =
      toMsg(tf2::Quaternion(r.x, r.y, r.z, r.w) * tf2::Quaternion(t_in.x, t_in.y, t_in.z, t_in.w));
}

/// @brief Stamp of a stamped quaternion.
template <>
inline tf2::TimePoint getTimestamp(const geometry_msgs::msg::QuaternionStamped & t)
{
  return detail::stampToTimePoint(t.header.stamp);
}

/// @brief Frame of a stamped quaternion.
template <>
inline std::string getFrameId(const geometry_msgs::msg::QuaternionStamped & t)
{
  return t.header.frame_id;
}

/// @brief Rotates a stamped orientation; the header becomes the transform's.
template <>
inline void doTransform(
    const geometry_msgs::msg::QuaternionStamped & t_in,
    geometry_msgs::msg::QuaternionStamped & t_out,
    const geometry_msgs::msg::TransformStamped & transform)
{
  doTransform(t_in.quaternion, t_out.quaternion, transform);
  t_out.header.stamp = transform.header.stamp;
  t_out.header.frame_id = transform.header.frame_id;
}

/// @brief Identity conversion.
inline geometry_msgs::msg::QuaternionStamped toMsg(const geometry_msgs::msg::QuaternionStamped & in)
{
  return in;
}

/// @brief Identity conversion.
inline void fromMsg(
    const geometry_msgs::msg::QuaternionStamped & msg, geometry_msgs::msg::QuaternionStamped & out)
{
  out = msg;
}

/// @brief Stamped message of a stamped tf2 quaternion.
inline geometry_msgs::msg::QuaternionStamped toMsg(const tf2::Stamped<tf2::Quaternion> & in)
{
  geometry_msgs::msg::QuaternionStamped out;
  const auto since_epoch = in.stamp_.time_since_epoch();
  out.header.stamp.sec =
      static_cast<int32_t>(std::chrono::duration_cast<std::chrono::seconds>(since_epoch).count());
  out.header.stamp.nanosec = static_cast<uint32_t>(since_epoch.count() % 1000000000LL);
  out.header.frame_id = in.frame_id_;
  out.quaternion = toMsg(static_cast<const tf2::Quaternion &>(in));
  return out;
}

/// @brief Stamped tf2 quaternion of a stamped message.
inline void fromMsg(
    const geometry_msgs::msg::QuaternionStamped & in, tf2::Stamped<tf2::Quaternion> & out)
{
  out.stamp_ = detail::stampToTimePoint(in.header.stamp);
  out.frame_id_ = in.header.frame_id;
  tf2::Quaternion q;
  fromMsg(in.quaternion, q);
  out.setData(q);
}

// ---------------------------------------------------------------------------------- Transform

/// @brief Transform message of a tf2 transform.
inline geometry_msgs::msg::Transform toMsg(const tf2::Transform & in)
{
  geometry_msgs::msg::Transform out;
  out.translation = toMsg(in.getOrigin());
  out.rotation = toMsg(in.getRotation());
  return out;
}

/// @brief Writes a tf2 transform into a transform message.
inline void toMsg(const tf2::Transform & in, geometry_msgs::msg::Transform & out)
{
  out = toMsg(in);
}

/// @brief tf2 transform of a message (the rotation matrix is built from the normalised quaternion).
inline void fromMsg(const geometry_msgs::msg::Transform & in, tf2::Transform & out)
{
  tf2::Vector3 translation;
  fromMsg(in.translation, translation);
  tf2::Quaternion rotation;
  fromMsg(in.rotation, rotation);
  out.setOrigin(translation);
  out.setRotation(rotation);
}

/// @brief Composes a transform: F * (rotation, translation).
template <>
inline void doTransform(
    const geometry_msgs::msg::Transform & t_in, geometry_msgs::msg::Transform & t_out,
    const geometry_msgs::msg::TransformStamped & transform)
{
  detail::composeFrame(
      gmTransformToKDL(transform), t_in.translation, t_in.rotation, t_out.translation,
      t_out.rotation);
}

/// @brief Stamp of a stamped transform.
template <>
inline tf2::TimePoint getTimestamp(const geometry_msgs::msg::TransformStamped & t)
{
  return detail::stampToTimePoint(t.header.stamp);
}

/// @brief Parent frame of a stamped transform.
template <>
inline std::string getFrameId(const geometry_msgs::msg::TransformStamped & t)
{
  return t.header.frame_id;
}

/// @brief Composes a stamped transform; stamp and frame_id become the transform's,
/// child_frame_id is left as it was in @p t_out.
template <>
inline void doTransform(
    const geometry_msgs::msg::TransformStamped & t_in, geometry_msgs::msg::TransformStamped & t_out,
    const geometry_msgs::msg::TransformStamped & transform)
{
  doTransform(t_in.transform, t_out.transform, transform);
  t_out.header.stamp = transform.header.stamp;
  t_out.header.frame_id = transform.header.frame_id;
}

/// @brief Identity conversion.
inline geometry_msgs::msg::TransformStamped toMsg(const geometry_msgs::msg::TransformStamped & in)
{
  return in;
}

/// @brief Identity conversion.
inline void fromMsg(
    const geometry_msgs::msg::TransformStamped & msg, geometry_msgs::msg::TransformStamped & out)
{
  out = msg;
}

/// @brief Stamped tf2 transform of a stamped message (header.frame_id becomes frame_id_).
inline void fromMsg(
    const geometry_msgs::msg::TransformStamped & in, tf2::Stamped<tf2::Transform> & out)
{
  out.stamp_ = detail::stampToTimePoint(in.header.stamp);
  out.frame_id_ = in.header.frame_id;
  tf2::Transform t;
  fromMsg(in.transform, t);
  out.setData(t);
}

// ---------------------------------------------------------------------------------- Pose

/// @brief Moves a pose: F * (orientation, position).
template <>
inline void doTransform(
    const geometry_msgs::msg::Pose & t_in, geometry_msgs::msg::Pose & t_out,
    const geometry_msgs::msg::TransformStamped & transform)
{
  detail::composeFrame(
      gmTransformToKDL(transform), t_in.position, t_in.orientation, t_out.position,
      t_out.orientation);
}

/// @brief Identity conversion.
inline geometry_msgs::msg::Pose toMsg(const geometry_msgs::msg::Pose & in)
{
  return in;
}

/// @brief Identity conversion.
inline void fromMsg(const geometry_msgs::msg::Pose & msg, geometry_msgs::msg::Pose & out)
{
  out = msg;
}

/// @brief Writes a tf2 transform into a pose message.
inline void toMsg(const tf2::Transform & in, geometry_msgs::msg::Pose & out)
{
  toMsg(in.getOrigin(), out.position);
  out.orientation = toMsg(in.getRotation());
}

/// @brief tf2 transform of a pose (the rotation matrix is built from the normalised quaternion).
inline void fromMsg(const geometry_msgs::msg::Pose & in, tf2::Transform & out)
{
  out.setOrigin(tf2::Vector3(in.position.x, in.position.y, in.position.z));
  tf2::Quaternion rotation;
  fromMsg(in.orientation, rotation);
  out.setRotation(rotation);
}

/// @brief Stamp of a stamped pose.
template <>
inline tf2::TimePoint getTimestamp(const geometry_msgs::msg::PoseStamped & t)
{
  return detail::stampToTimePoint(t.header.stamp);
}

/// @brief Frame of a stamped pose.
template <>
inline std::string getFrameId(const geometry_msgs::msg::PoseStamped & t)
{
  return t.header.frame_id;
}

/// @brief Moves a stamped pose: position R·p + t, orientation from the composed KDL rotation;
/// the header (stamp and frame_id) becomes the transform's, whatever the input's was.
template <>
inline void doTransform(
    const geometry_msgs::msg::PoseStamped & t_in, geometry_msgs::msg::PoseStamped & t_out,
    const geometry_msgs::msg::TransformStamped & transform)
{
  doTransform(t_in.pose, t_out.pose, transform);
  t_out.header.stamp = transform.header.stamp;
  t_out.header.frame_id = transform.header.frame_id;
}

/// @brief Identity conversion.
inline geometry_msgs::msg::PoseStamped toMsg(const geometry_msgs::msg::PoseStamped & in)
{
  return in;
}

/// @brief Identity conversion.
inline void fromMsg(
    const geometry_msgs::msg::PoseStamped & msg, geometry_msgs::msg::PoseStamped & out)
{
  out = msg;
}

}  // namespace tf2

#endif  // TF2_GEOMETRY_MSGS__TF2_GEOMETRY_MSGS_HPP_
