// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

/// @file rcl/types.h
/// @brief Return codes of the C client library.

#ifndef RCL__TYPES_H_
#define RCL__TYPES_H_

#include "rmw/types.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef rmw_ret_t rcl_ret_t;

#define RCL_RET_OK 0
#define RCL_RET_ERROR 1
#define RCL_RET_TIMEOUT 2
#define RCL_RET_BAD_ALLOC 10
#define RCL_RET_INVALID_ARGUMENT 11
#define RCL_RET_ALREADY_INIT 100
#define RCL_RET_NOT_INIT 101
#define RCL_RET_NODE_INVALID 200
#define RCL_RET_PUBLISHER_INVALID 300
#define RCL_RET_INVALID_ROS_ARGS 1001

#ifdef __cplusplus
}
#endif

#endif  // RCL__TYPES_H_
