// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

/// @file rmw/topic_endpoint_info.h
/// @brief One publisher or subscription as a graph query reports it.

#ifndef RMW__TOPIC_ENDPOINT_INFO_H_
#define RMW__TOPIC_ENDPOINT_INFO_H_

#include "rmw/types.h"

#ifdef __cplusplus
extern "C" {
#endif

/// Endpoint description; the strings are owned by whoever filled the struct.
typedef struct rmw_topic_endpoint_info_s
{
  const char * node_name;
  const char * node_namespace;
  const char * topic_type;
  rmw_endpoint_type_t endpoint_type;
  uint8_t endpoint_gid[RMW_GID_STORAGE_SIZE];
  rmw_qos_profile_t qos_profile;
} rmw_topic_endpoint_info_t;

#ifdef __cplusplus
}
#endif

#endif  // RMW__TOPIC_ENDPOINT_INFO_H_
