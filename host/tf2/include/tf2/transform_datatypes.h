// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#ifndef TF2__TRANSFORM_DATATYPES_H_
#define TF2__TRANSFORM_DATATYPES_H_

#include <string>

#include "tf2/time.h"

/// @file
/// @brief tf2::Stamped: a value tagged with the time and frame it refers to.

namespace tf2 {
/// @brief @p T extended with a time stamp and a frame id.
template <typename T>
class Stamped : public T
{
public:
  TimePoint stamp_;       ///< Time the data refers to.
  std::string frame_id_;  ///< Frame the data is expressed in.

  /// @brief Default data, stamp 0 and a frame id that marks the default construction.
  Stamped() : frame_id_("NO_ID_STAMPED_DEFAULT_CONSTRUCTION") {}

  /// @brief Tags @p input with @p timestamp and @p frame_id.
  Stamped(const T & input, const TimePoint & timestamp, const std::string & frame_id)
      : T(input), stamp_(timestamp), frame_id_(frame_id)
  {}

  Stamped(const Stamped<T> & s) = default;
  Stamped & operator=(const Stamped<T> & s) = default;

  /// @brief Replaces the data, keeping stamp and frame.
  void setData(const T & input)
  {
    *static_cast<T *>(this) = input;
  }
};

/// @brief Equal when frame, stamp and data are equal.
template <typename T>
bool operator==(const Stamped<T> & a, const Stamped<T> & b)
{
  return a.frame_id_ == b.frame_id_ && a.stamp_ == b.stamp_ &&
         static_cast<const T &>(a) == static_cast<const T &>(b);
}

}  // namespace tf2

#endif  // TF2__TRANSFORM_DATATYPES_H_
