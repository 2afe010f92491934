// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#ifndef TF2_GEOMETRY_MSGS__TF2_GEOMETRY_MSGS_H_
#define TF2_GEOMETRY_MSGS__TF2_GEOMETRY_MSGS_H_

/// @file
/// @brief Obsolete name kept for old callers; include tf2_geometry_msgs.hpp instead.

#warning This header is obsolete, please include tf2_geometry_msgs/tf2_geometry_msgs.hpp instead

#include "tf2_geometry_msgs/tf2_geometry_msgs.hpp"

#endif  // TF2_GEOMETRY_MSGS__TF2_GEOMETRY_MSGS_H_
