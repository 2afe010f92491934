// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

/// @file rmw/qos_profiles.h
/// @brief The predefined QoS profiles of the middleware layer.

#ifndef RMW__QOS_PROFILES_H_
#define RMW__QOS_PROFILES_H_

#include "rmw/types.h"

#ifdef __cplusplus
extern "C" {
#endif

/// Keep-last 5, best effort, volatile: for high-rate sensor streams.
static const rmw_qos_profile_t rmw_qos_profile_sensor_data = {
    RMW_QOS_POLICY_HISTORY_KEEP_LAST,
    5,
    RMW_QOS_POLICY_RELIABILITY_BEST_EFFORT,
    RMW_QOS_POLICY_DURABILITY_VOLATILE,
    RMW_DURATION_DEFAULT,
    RMW_DURATION_DEFAULT,
    RMW_QOS_POLICY_LIVELINESS_SYSTEM_DEFAULT,
    RMW_DURATION_DEFAULT,
    false};

/// Keep-last 1000, reliable, volatile: parameter services.
static const rmw_qos_profile_t rmw_qos_profile_parameters = {
    RMW_QOS_POLICY_HISTORY_KEEP_LAST,
    1000,
    RMW_QOS_POLICY_RELIABILITY_RELIABLE,
    RMW_QOS_POLICY_DURABILITY_VOLATILE,
    RMW_DURATION_DEFAULT,
    RMW_DURATION_DEFAULT,
    RMW_QOS_POLICY_LIVELINESS_SYSTEM_DEFAULT,
    RMW_DURATION_DEFAULT,
    false};

/// Keep-last 10, reliable, volatile: the default for topics.
static const rmw_qos_profile_t rmw_qos_profile_default = {
    RMW_QOS_POLICY_HISTORY_KEEP_LAST,
    10,
    RMW_QOS_POLICY_RELIABILITY_RELIABLE,
    RMW_QOS_POLICY_DURABILITY_VOLATILE,
    RMW_DURATION_DEFAULT,
    RMW_DURATION_DEFAULT,
    RMW_QOS_POLICY_LIVELINESS_SYSTEM_DEFAULT,
    RMW_DURATION_DEFAULT,
    false};

/// Keep-last 10, reliable, volatile: the default for services and clients.
static const rmw_qos_profile_t rmw_qos_profile_services_default = {
    RMW_QOS_POLICY_HISTORY_KEEP_LAST,
    10,
    RMW_QOS_POLICY_RELIABILITY_RELIABLE,
    RMW_QOS_POLICY_DURABILITY_VOLATILE,
    RMW_DURATION_DEFAULT,
    RMW_DURATION_DEFAULT,
    RMW_QOS_POLICY_LIVELINESS_SYSTEM_DEFAULT,
    RMW_DURATION_DEFAULT,
    false};

/// Keep-last 1000, reliable, volatile: the /parameter_events topic.
static const rmw_qos_profile_t rmw_qos_profile_parameter_events = {
    RMW_QOS_POLICY_HISTORY_KEEP_LAST,
    1000,
    RMW_QOS_POLICY_RELIABILITY_RELIABLE,
    RMW_QOS_POLICY_DURABILITY_VOLATILE,
    RMW_DURATION_DEFAULT,
    RMW_DURATION_DEFAULT,
    RMW_QOS_POLICY_LIVELINESS_SYSTEM_DEFAULT,
    RMW_DURATION_DEFAULT,
    false};

/// Every policy left to the middleware (depth 0 = its default depth).
static const rmw_qos_profile_t rmw_qos_profile_system_default = {
    RMW_QOS_POLICY_HISTORY_SYSTEM_DEFAULT,
    0,
    RMW_QOS_POLICY_RELIABILITY_SYSTEM_DEFAULT,
    RMW_QOS_POLICY_DURABILITY_SYSTEM_DEFAULT,
    RMW_DURATION_DEFAULT,
    RMW_DURATION_DEFAULT,
    RMW_QOS_POLICY_LIVELINESS_SYSTEM_DEFAULT,
    RMW_DURATION_DEFAULT,
    false};

/// Every policy unknown: what a query reports when it cannot tell.
static const rmw_qos_profile_t rmw_qos_profile_unknown = {
    RMW_QOS_POLICY_HISTORY_UNKNOWN,
    0,
    RMW_QOS_POLICY_RELIABILITY_UNKNOWN,
    RMW_QOS_POLICY_DURABILITY_UNKNOWN,
    RMW_DURATION_DEFAULT,
    RMW_DURATION_DEFAULT,
    RMW_QOS_POLICY_LIVELINESS_UNKNOWN,
    RMW_DURATION_DEFAULT,
    false};

#ifdef __cplusplus
}
#endif

#endif  // RMW__QOS_PROFILES_H_
