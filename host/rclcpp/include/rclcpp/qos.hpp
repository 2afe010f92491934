// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#ifndef RCLCPP__QOS_HPP_
#define RCLCPP__QOS_HPP_

#include <cstddef>
#include <string>

#include "rclcpp/duration.hpp"
#include "rclcpp/visibility_control.hpp"
#include "rmw/qos_profiles.h"
#include "rmw/types.h"

namespace rclcpp {

/// @brief Name of a policy kind as rmw spells it ("DURABILITY_QOS_POLICY" ...).
RCLCPP_PUBLIC std::string qos_policy_name_from_kind(rmw_qos_policy_kind_t policy_kind);

enum class HistoryPolicy {
  KeepLast = RMW_QOS_POLICY_HISTORY_KEEP_LAST,
  KeepAll = RMW_QOS_POLICY_HISTORY_KEEP_ALL,
  SystemDefault = RMW_QOS_POLICY_HISTORY_SYSTEM_DEFAULT,
  Unknown = RMW_QOS_POLICY_HISTORY_UNKNOWN,
};

enum class ReliabilityPolicy {
  BestEffort = RMW_QOS_POLICY_RELIABILITY_BEST_EFFORT,
  Reliable = RMW_QOS_POLICY_RELIABILITY_RELIABLE,
  SystemDefault = RMW_QOS_POLICY_RELIABILITY_SYSTEM_DEFAULT,
  Unknown = RMW_QOS_POLICY_RELIABILITY_UNKNOWN,
};

enum class DurabilityPolicy {
  Volatile = RMW_QOS_POLICY_DURABILITY_VOLATILE,
  TransientLocal = RMW_QOS_POLICY_DURABILITY_TRANSIENT_LOCAL,
  SystemDefault = RMW_QOS_POLICY_DURABILITY_SYSTEM_DEFAULT,
  Unknown = RMW_QOS_POLICY_DURABILITY_UNKNOWN,
};

enum class LivelinessPolicy {
  Automatic = RMW_QOS_POLICY_LIVELINESS_AUTOMATIC,
  ManualByTopic = RMW_QOS_POLICY_LIVELINESS_MANUAL_BY_TOPIC,
  SystemDefault = RMW_QOS_POLICY_LIVELINESS_SYSTEM_DEFAULT,
  Unknown = RMW_QOS_POLICY_LIVELINESS_UNKNOWN,
};

/// History kind and depth used to start a QoS.
struct RCLCPP_PUBLIC QoSInitialization
{
  rmw_qos_history_policy_t history_policy;
  size_t depth;

  QoSInitialization(rmw_qos_history_policy_t history_policy_arg, size_t depth_arg);

  /// @brief KEEP_ALL -> KeepAll; anything else -> KeepLast(profile.depth).
  static QoSInitialization from_rmw(const rmw_qos_profile_t & rmw_qos);
};

/// Keep every sample.
struct RCLCPP_PUBLIC KeepAll : public rclcpp::QoSInitialization
{
  KeepAll();
};

/// Keep the newest `depth` samples.
struct RCLCPP_PUBLIC KeepLast : public rclcpp::QoSInitialization
{
  explicit KeepLast(size_t depth);
};

/// A QoS profile with chainable setters. Value type; not synchronised.
class RCLCPP_PUBLIC QoS
{
public:
  /// @brief Copy initial_profile, then take history and depth from the initialization.
  explicit QoS(
      const QoSInitialization & qos_initialization,
      const rmw_qos_profile_t & initial_profile = rmw_qos_profile_default);

  /// @brief Keep-last `history_depth`, reliable, volatile (implicit, so `10` is a QoS).
  // cppcheck-suppress noExplicitConstructor
  QoS(size_t history_depth);  // NOLINT(runtime/explicit)

  rmw_qos_profile_t & get_rmw_qos_profile();
  const rmw_qos_profile_t & get_rmw_qos_profile() const;

  QoS & history(rmw_qos_history_policy_t history);
  QoS & history(HistoryPolicy history);
  QoS & keep_last(size_t depth);
  QoS & keep_all();
  QoS & reliability(rmw_qos_reliability_policy_t reliability);
  QoS & reliability(ReliabilityPolicy reliability);
  QoS & reliable();
  QoS & best_effort();
  QoS & durability(rmw_qos_durability_policy_t durability);
  QoS & durability(DurabilityPolicy durability);
  QoS & durability_volatile();
  QoS & transient_local();
  QoS & deadline(rmw_time_t deadline);
  QoS & deadline(const rclcpp::Duration & deadline);
  QoS & lifespan(rmw_time_t lifespan);
  QoS & lifespan(const rclcpp::Duration & lifespan);
  QoS & liveliness(rmw_qos_liveliness_policy_t liveliness);
  QoS & liveliness(LivelinessPolicy liveliness);
  QoS & liveliness_lease_duration(rmw_time_t liveliness_lease_duration);
  QoS & liveliness_lease_duration(const rclcpp::Duration & liveliness_lease_duration);
  QoS & avoid_ros_namespace_conventions(bool avoid_ros_namespace_conventions);

  HistoryPolicy history() const;
  size_t depth() const;
  ReliabilityPolicy reliability() const;
  DurabilityPolicy durability() const;
  rclcpp::Duration deadline() const;
  rclcpp::Duration lifespan() const;
  LivelinessPolicy liveliness() const;
  rclcpp::Duration liveliness_lease_duration() const;
  bool avoid_ros_namespace_conventions() const;

private:
  rmw_qos_profile_t rmw_qos_profile_;
};

/// Compare all nine policies.
RCLCPP_PUBLIC bool operator==(const QoS & left, const QoS & right);
RCLCPP_PUBLIC bool operator!=(const QoS & left, const QoS & right);

/// Keep-last 5, best effort, volatile.
class RCLCPP_PUBLIC SensorDataQoS : public QoS
{
public:
  explicit SensorDataQoS(
      const QoSInitialization & qos_initialization =
          (QoSInitialization::from_rmw(rmw_qos_profile_sensor_data)));
};

/// Keep-last 1000, reliable, volatile.
class RCLCPP_PUBLIC ParametersQoS : public QoS
{
public:
  explicit ParametersQoS(
      const QoSInitialization & qos_initialization =
          (QoSInitialization::from_rmw(rmw_qos_profile_parameters)));
};

/// Keep-last 10, reliable, volatile.
class RCLCPP_PUBLIC ServicesQoS : public QoS
{
public:
  explicit ServicesQoS(
      const QoSInitialization & qos_initialization =
          (QoSInitialization::from_rmw(rmw_qos_profile_services_default)));
};

/// Keep-last 1000, reliable, volatile.
class RCLCPP_PUBLIC ParameterEventsQoS : public QoS
{
public:
  explicit ParameterEventsQoS(
      const QoSInitialization & qos_initialization =
          (QoSInitialization::from_rmw(rmw_qos_profile_parameter_events)));
};

/// Keep-last 1000, reliable, transient local, lifespan 10 s.
class RCLCPP_PUBLIC RosoutQoS : public QoS
{
public:
  explicit RosoutQoS(const QoSInitialization & rosout_qos_initialization = KeepLast(1000));
};

/// History KeepLast(0) (the middleware's default depth); other policies system default.
class RCLCPP_PUBLIC SystemDefaultsQoS : public QoS
{
public:
  explicit SystemDefaultsQoS(
      const QoSInitialization & qos_initialization =
          (QoSInitialization::from_rmw(rmw_qos_profile_system_default)));
};

/// Keep-last 1, best effort, volatile: the /clock topic.
class RCLCPP_PUBLIC ClockQoS : public QoS
{
public:
  explicit ClockQoS(const QoSInitialization & qos_initialization = KeepLast(1));
};

}  // namespace rclcpp

#endif  // RCLCPP__QOS_HPP_
