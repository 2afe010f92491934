// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

/// @file rcl/node.h
/// @brief The node handle type of the C client library (opaque).

#ifndef RCL__NODE_H_
#define RCL__NODE_H_

#ifdef __cplusplus
extern "C" {
#endif

/// A node's registration in its context's graph; defined by the implementation.
typedef struct rcl_node_s rcl_node_t;

#ifdef __cplusplus
}
#endif

#endif  // RCL__NODE_H_
