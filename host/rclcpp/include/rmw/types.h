// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

/// @file rmw/types.h
/// @brief Middleware value types used by the client library API: QoS profiles, gids,
/// request ids and message info.

#ifndef RMW__TYPES_H_
#define RMW__TYPES_H_

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

#include "rmw/time.h"

#ifdef __cplusplus
extern "C" {
#endif

/// Size of an endpoint's globally unique id in bytes.
#define RMW_GID_STORAGE_SIZE 24u

typedef int32_t rmw_ret_t;
#define RMW_RET_OK 0
#define RMW_RET_ERROR 1
#define RMW_RET_TIMEOUT 2

/// History policy of a QoS profile.
enum rmw_qos_history_policy_e {
  RMW_QOS_POLICY_HISTORY_SYSTEM_DEFAULT,
  RMW_QOS_POLICY_HISTORY_KEEP_LAST,
  RMW_QOS_POLICY_HISTORY_KEEP_ALL,
  RMW_QOS_POLICY_HISTORY_UNKNOWN
};
typedef enum rmw_qos_history_policy_e rmw_qos_history_policy_t;

/// Reliability policy of a QoS profile.
enum rmw_qos_reliability_policy_e {
  RMW_QOS_POLICY_RELIABILITY_SYSTEM_DEFAULT,
  RMW_QOS_POLICY_RELIABILITY_RELIABLE,
  RMW_QOS_POLICY_RELIABILITY_BEST_EFFORT,
  RMW_QOS_POLICY_RELIABILITY_UNKNOWN
};
typedef enum rmw_qos_reliability_policy_e rmw_qos_reliability_policy_t;

/// Durability policy of a QoS profile.
enum rmw_qos_durability_policy_e {
  RMW_QOS_POLICY_DURABILITY_SYSTEM_DEFAULT,
  RMW_QOS_POLICY_DURABILITY_TRANSIENT_LOCAL,
  RMW_QOS_POLICY_DURABILITY_VOLATILE,
  RMW_QOS_POLICY_DURABILITY_UNKNOWN
};
typedef enum rmw_qos_durability_policy_e rmw_qos_durability_policy_t;

/// Liveliness policy of a QoS profile (value 2 is unused, as in rmw).
enum rmw_qos_liveliness_policy_e {
  RMW_QOS_POLICY_LIVELINESS_SYSTEM_DEFAULT = 0,
  RMW_QOS_POLICY_LIVELINESS_AUTOMATIC = 1,
  RMW_QOS_POLICY_LIVELINESS_MANUAL_BY_TOPIC = 3,
  RMW_QOS_POLICY_LIVELINESS_UNKNOWN = 4
};
typedef enum rmw_qos_liveliness_policy_e rmw_qos_liveliness_policy_t;

/// Policy kinds, used to name an incompatible policy.
typedef enum rmw_qos_policy_kind_e {
  RMW_QOS_POLICY_INVALID = 1 << 0,
  RMW_QOS_POLICY_DURABILITY = 1 << 1,
  RMW_QOS_POLICY_DEADLINE = 1 << 2,
  RMW_QOS_POLICY_LIVELINESS = 1 << 3,
  RMW_QOS_POLICY_RELIABILITY = 1 << 4,
  RMW_QOS_POLICY_HISTORY = 1 << 5,
  RMW_QOS_POLICY_LIFESPAN = 1 << 6,
  RMW_QOS_POLICY_DEPTH = 1 << 7,
  RMW_QOS_POLICY_LIVELINESS_LEASE_DURATION = 1 << 8,
  RMW_QOS_POLICY_AVOID_ROS_NAMESPACE_CONVENTIONS = 1 << 9,
} rmw_qos_policy_kind_t;

/// A complete QoS profile. Zero durations mean "middleware default".
typedef struct rmw_qos_profile_s
{
  enum rmw_qos_history_policy_e history;
  /// Queue depth for KEEP_LAST; 0 means the middleware default.
  size_t depth;
  enum rmw_qos_reliability_policy_e reliability;
  enum rmw_qos_durability_policy_e durability;
  struct rmw_time_s deadline;
  struct rmw_time_s lifespan;
  enum rmw_qos_liveliness_policy_e liveliness;
  struct rmw_time_s liveliness_lease_duration;
  bool avoid_ros_namespace_conventions;
} rmw_qos_profile_t;

/// Globally unique id of an endpoint.
typedef struct rmw_gid_s
{
  const char * implementation_identifier;
  uint8_t data[RMW_GID_STORAGE_SIZE];
} rmw_gid_t;

/// Identifies one service request: the writer of the client plus its sequence number.
typedef struct rmw_request_id_s
{
  int8_t writer_guid[16];
  int64_t sequence_number;
} rmw_request_id_t;

/// Timestamps and ids attached to a service request or response.
typedef struct rmw_service_info_s
{
  rmw_time_point_value_t source_timestamp;
  rmw_time_point_value_t received_timestamp;
  rmw_request_id_t request_id;
} rmw_service_info_t;

/// Metadata attached to a received message.
typedef struct rmw_message_info_s
{
  rmw_time_point_value_t source_timestamp;
  rmw_time_point_value_t received_timestamp;
  uint64_t publication_sequence_number;
  uint64_t reception_sequence_number;
  rmw_gid_t publisher_gid;
  bool from_intra_process;
} rmw_message_info_t;

/// Kind of a graph endpoint.
typedef enum rmw_endpoint_type_e {
  RMW_ENDPOINT_INVALID = 0,
  RMW_ENDPOINT_PUBLISHER,
  RMW_ENDPOINT_SUBSCRIPTION
} rmw_endpoint_type_t;

#ifdef __cplusplus
}
#endif

#endif  // RMW__TYPES_H_
