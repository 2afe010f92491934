// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#ifndef TF2__IMPL__UTILS_H_
#define TF2__IMPL__UTILS_H_

#include <cmath>

#include "geometry_msgs/msg/quaternion.hpp"
#include "geometry_msgs/msg/quaternion_stamped.hpp"
#include "tf2/LinearMath/Quaternion.h"
#include "tf2/convert.h"
#include "tf2/transform_datatypes.h"

/// @file
/// @brief Quaternion adapters and Euler-angle formulas behind tf2/utils.h.

namespace tf2 {
/// @brief Copies a quaternion message (x, y, z, w) into @p out; defined in tf2_geometry_msgs,
/// so include tf2_geometry_msgs/tf2_geometry_msgs.hpp when converting messages.
void fromMsg(const geometry_msgs::msg::Quaternion & in, tf2::Quaternion & out);

namespace impl {
/// @brief Identity adapter.
inline tf2::Quaternion toQuaternion(const tf2::Quaternion & q)
{
  return q;
}

/// @brief Quaternion of a message, components copied as they are (no normalisation).
inline tf2::Quaternion toQuaternion(const geometry_msgs::msg::Quaternion & q)
{
  tf2::Quaternion res;
  fromMsg(q, res);
  return res;
}

/// @brief Quaternion of a stamped message; the header is ignored.
inline tf2::Quaternion toQuaternion(const geometry_msgs::msg::QuaternionStamped & q)
{
  tf2::Quaternion res;
  fromMsg(q.quaternion, res);
  return res;
}

/**
 * @brief Z-Y-X Euler angles (radians) of a quaternion, which need not be normalised.
 *
 * With sarg = -2(xz - wy) / (x² + y² + z² + w²): at sarg <= -0.99999 or sarg >= 0.99999
 * (gimbal lock) roll is 0, yaw is -/+ 2 atan2(y, x) and pitch is reported as -/+ pi/4, the
 * value upstream tf2 gives on this branch (kept so that results agree with it); otherwise
 * pitch = asin(sarg), roll = atan2(2(yz + wx), w² - x² - y² + z²),
 * yaw = atan2(2(xy + wz), w² + x² - y² - z²).
 */
inline void getEulerYPR(const tf2::Quaternion & q, double & yaw, double & pitch, double & roll)
{
  const double half_pi = 1.57079632679489661923;
  const double sqx = q.x() * q.x();
  const double sqy = q.y() * q.y();
  const double sqz = q.z() * q.z();
  const double sqw = q.w() * q.w();
  const double sarg = -2 * (q.x() * q.z() - q.w() * q.y()) / (sqx + sqy + sqz + sqw);
  if (sarg <= -0.99999) {
    pitch = -0.5 * half_pi;
    roll = 0;
    yaw = -2 * std::atan2(q.y(), q.x());
  } else if (sarg >= 0.99999) {
    pitch = 0.5 * half_pi;
    roll = 0;
    yaw = 2 * std::atan2(q.y(), q.x());
  } else {
    pitch = std::asin(sarg);
    roll = std::atan2(2 * (q.y() * q.z() + q.w() * q.x()), sqw - sqx - sqy + sqz);
    yaw = std::atan2(2 * (q.x() * q.y() + q.w() * q.z()), sqw + sqx - sqy - sqz);
  }
}

/// @brief Yaw (radians) of a quaternion, by the same cases as getEulerYPR().
inline double getYaw(const tf2::Quaternion & q)
{
  const double sqx = q.x() * q.x();
  const double sqy = q.y() * q.y();
  const double sqz = q.z() * q.z();
  const double sqw = q.w() * q.w();
  const double sarg = -2 * (q.x() * q.z() - q.w() * q.y()) / (sqx + sqy + sqz + sqw);
  if (sarg <= -0.99999) {
    return -2 * std::atan2(q.y(), q.x());
  }
  if (sarg >= 0.99999) {
    return 2 * std::atan2(q.y(), q.x());
  }
  return std::atan2(2 * (q.x() * q.y() + q.w() * q.z()), sqw + sqx - sqy - sqz);
}

}  // namespace impl
}  // namespace tf2

#endif  // TF2__IMPL__UTILS_H_
