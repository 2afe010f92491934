// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#ifndef NODE_TIME_SOURCE_HPP_
#define NODE_TIME_SOURCE_HPP_

#include <memory>
#include <mutex>
#include <thread>

#include "rclcpp/clock.hpp"
#include "rclcpp/detail/parameter_store.hpp"
#include "rclcpp/executors/single_threaded_executor.hpp"
#include "rclcpp/logger.hpp"
#include "rclcpp/node_interfaces/node_base_interface.hpp"
#include "rclcpp/qos.hpp"
#include "rclcpp/subscription_base.hpp"

namespace rclcpp {
namespace detail {

/// Drives a node's clock from the `use_sim_time` parameter: when true, the clock reads the
/// time last received on /clock (0 before the first message). With a clock thread, /clock is
/// taken by a private executor on a group no other executor picks up, so time advances
/// without the node being spun.
class NodeTimeSource
{
public:
  NodeTimeSource(
      rclcpp::node_interfaces::NodeBaseInterface::SharedPtr node_base,
      rclcpp::detail::ParameterStore & parameters, rclcpp::Clock::SharedPtr clock,
      const rclcpp::QoS & clock_qos, bool use_clock_thread, rclcpp::Logger logger);

  /// @brief Stops the clock thread and releases the /clock subscription.
  ~NodeTimeSource();

  NodeTimeSource(const NodeTimeSource &) = delete;
  NodeTimeSource & operator=(const NodeTimeSource &) = delete;

  /// @brief Declare `use_sim_time` (bool, false) unless declared, and apply its value.
  /// @throws std::invalid_argument if it was declared with another type.
  void attach();

  /// @brief React to a new value of `use_sim_time` (a non-bool value is logged and ignored).
  void on_parameter(const rclcpp::Parameter & parameter);

private:
  void set_use_sim_time(bool use_sim_time);
  void enable_locked();
  void disable_locked();

  rclcpp::node_interfaces::NodeBaseInterface::SharedPtr node_base_;
  rclcpp::detail::ParameterStore & parameters_;
  rclcpp::Clock::SharedPtr clock_;
  rclcpp::QoS clock_qos_;
  bool use_clock_thread_;
  rclcpp::Logger logger_;

  std::mutex mutex_;
  bool active_{false};
  std::shared_ptr<std::atomic<rcl_time_point_value_t>> last_time_;
  rclcpp::CallbackGroup::SharedPtr group_;
  rclcpp::SubscriptionBase::SharedPtr subscription_;
  std::shared_ptr<rclcpp::executors::SingleThreadedExecutor> executor_;
  std::thread thread_;
};

}  // namespace detail
}  // namespace rclcpp

#endif  // NODE_TIME_SOURCE_HPP_
