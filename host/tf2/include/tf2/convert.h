// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#ifndef TF2__CONVERT_H_
#define TF2__CONVERT_H_

#include <string>

#include "geometry_msgs/msg/transform_stamped.hpp"
#include "rosidl_runtime_cpp/traits.hpp"
#include "tf2/exceptions.h"
#include "tf2/impl/convert.h"
#include "tf2/time.h"
#include "tf2/transform_datatypes.h"

/// @file
/// @brief Generic entry points that datatype packages (e.g. tf2_geometry_msgs) specialise.

namespace tf2 {
/**
 * @brief Applies @p transform to @p data_in. Specialised per datatype; for stamped types the
 * output header takes the transform's stamp and frame_id.
 * @param transform maps coordinates of child_frame_id into header.frame_id.
 */
template <class T>
void doTransform(
    const T & data_in, T & data_out, const geometry_msgs::msg::TransformStamped & transform);

/// @brief Time stamp of a stamped datatype (specialised per datatype).
template <class T>
tf2::TimePoint getTimestamp(const T & t);

/// @brief Frame id of a stamped datatype (specialised per datatype).
template <class T>
std::string getFrameId(const T & t);

/// @brief Time stamp of a tf2::Stamped value.
template <class P>
tf2::TimePoint getTimestamp(const tf2::Stamped<P> & t)
{
  return t.stamp_;
}

/// @brief Frame id of a tf2::Stamped value.
template <class P>
std::string getFrameId(const tf2::Stamped<P> & t)
{
  return t.frame_id_;
}

/// @brief Converts a tf2 datatype to its message (specialised per pair).
template <typename A, typename B>
B toMsg(const A & a);

/// @brief Converts a message to a tf2 datatype (specialised per pair).
template <typename A, typename B>
void fromMsg(const A &, B & b);

/// @brief Converts @p a into @p b through the toMsg()/fromMsg() overloads in scope.
template <class A, class B>
void convert(const A & a, B & b)
{
  impl::Converter<
      rosidl_generator_traits::is_message<A>::value,
      rosidl_generator_traits::is_message<B>::value>::convert(a, b);
}

/// @brief Same-type conversion: a copy (nothing when @p a1 and @p a2 are the same object).
template <class A>
void convert(const A & a1, A & a2)
{
  if (&a1 != &a2) {
    a2 = a1;
  }
}

}  // namespace tf2

#endif  // TF2__CONVERT_H_
