// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#ifndef TF2__UTILS_H_
#define TF2__UTILS_H_

#include "tf2/LinearMath/Quaternion.h"
#include "tf2/LinearMath/Transform.h"
#include "tf2/impl/utils.h"

/// @file
/// @brief Euler angles of quaternions given as tf2 types or messages.

namespace tf2 {
/**
 * @brief Yaw, pitch and roll (radians, Z-Y-X convention) of a rotation.
 * @param a a tf2::Quaternion or a geometry_msgs Quaternion(Stamped); messages need
 *        tf2_geometry_msgs/tf2_geometry_msgs.hpp for the conversion.
 */
template <class A>
void getEulerYPR(const A & a, double & yaw, double & pitch, double & roll)
{
  tf2::Quaternion q = impl::toQuaternion(a);
  impl::getEulerYPR(q, yaw, pitch, roll);
}

/**
 * @brief Yaw (radians) of a rotation, in (-pi, pi] away from the singular pitches; near pitch
 * +/-pi/2 (|sarg| >= 0.99999) it is +/-2 atan2(y, x). Unnormalised quaternions are fine.
 * @param a as for getEulerYPR().
 */
template <class A>
double getYaw(const A & a)
{
  tf2::Quaternion q = impl::toQuaternion(a);
  return impl::getYaw(q);
}

}  // namespace tf2

#endif  // TF2__UTILS_H_
