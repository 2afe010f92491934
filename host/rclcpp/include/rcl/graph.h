// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

/// @file rcl/graph.h
/// @brief Graph query types of the C client library.

#ifndef RCL__GRAPH_H_
#define RCL__GRAPH_H_

#include "rmw/topic_endpoint_info.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef rmw_topic_endpoint_info_t rcl_topic_endpoint_info_t;

#ifdef __cplusplus
}
#endif

#endif  // RCL__GRAPH_H_
