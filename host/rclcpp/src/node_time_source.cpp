// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#include "node_time_source.hpp"

#include <stdexcept>
#include <utility>

#include "rclcpp/create_subscription.hpp"
#include "rclcpp/logging.hpp"
#include "rosgraph_msgs/msg/clock.hpp"

#include "ros_time_override.hpp"

namespace rclcpp {
namespace detail {
namespace {
const char kUseSimTime[] = "use_sim_time";
}  // namespace

NodeTimeSource::NodeTimeSource(
    rclcpp::node_interfaces::NodeBaseInterface::SharedPtr node_base,
    rclcpp::detail::ParameterStore & parameters, rclcpp::Clock::SharedPtr clock,
    const rclcpp::QoS & clock_qos, bool use_clock_thread, rclcpp::Logger logger)
    : node_base_(std::move(node_base)),
      parameters_(parameters),
      clock_(std::move(clock)),
      clock_qos_(clock_qos),
      use_clock_thread_(use_clock_thread),
      logger_(std::move(logger)),
      last_time_(std::make_shared<std::atomic<rcl_time_point_value_t>>(0))
{}

NodeTimeSource::~NodeTimeSource()
{
  std::lock_guard<std::mutex> lock(mutex_);
  disable_locked();
}

void NodeTimeSource::attach()
{
  rclcpp::ParameterValue value;
  if (!parameters_.has_parameter(kUseSimTime)) {
    value = parameters_.declare_parameter(
        kUseSimTime, rclcpp::ParameterValue(false), rcl_interfaces::msg::ParameterDescriptor());
  } else {
    value = parameters_.get_parameter(kUseSimTime).get_parameter_value();
  }
  if (value.get_type() != rclcpp::PARAMETER_BOOL) {
    RCLCPP_ERROR(
        logger_, "Invalid type '%s' for parameter 'use_sim_time', should be 'bool'",
        rclcpp::to_string(value.get_type()).c_str());
    throw std::invalid_argument("Invalid type for parameter 'use_sim_time', should be 'bool'");
  }
  set_use_sim_time(value.get<bool>());
}

void NodeTimeSource::on_parameter(const rclcpp::Parameter & parameter)
{
  if (parameter.get_name() != kUseSimTime) {
    return;
  }
  if (parameter.get_type() != rclcpp::PARAMETER_BOOL) {
    RCLCPP_ERROR(logger_, "use_sim_time parameter cannot be set to anything but a bool");
    return;
  }
  set_use_sim_time(parameter.as_bool());
}

void NodeTimeSource::set_use_sim_time(bool use_sim_time)
{
  std::lock_guard<std::mutex> lock(mutex_);
  if (use_sim_time) {
    enable_locked();
  } else {
    disable_locked();
  }
}

void NodeTimeSource::enable_locked()
{
  if (active_) {
    return;
  }
  active_ = true;
  RosTimeOverride::set(*clock_, last_time_->load());
  RosTimeOverride::enable(*clock_);

  rclcpp::SubscriptionOptions options;
  if (use_clock_thread_) {
    group_ = node_base_->create_callback_group(rclcpp::CallbackGroupType::MutuallyExclusive, false);
    options.callback_group = group_;
  }
  std::weak_ptr<rclcpp::Clock> weak_clock = clock_;
  auto last_time = last_time_;
  subscription_ = create_subscription_on<
      rosgraph_msgs::msg::Clock,
      std::function<void(std::shared_ptr<const rosgraph_msgs::msg::Clock>)>, std::allocator<void>,
      rclcpp::Subscription<rosgraph_msgs::msg::Clock>>(
      *node_base_, parameters_, "/clock", clock_qos_,
      [weak_clock, last_time](std::shared_ptr<const rosgraph_msgs::msg::Clock> msg) {
        const rcl_time_point_value_t time = rclcpp::Time(msg->clock).nanoseconds();
        last_time->store(time);
        if (auto clock = weak_clock.lock()) {
          RosTimeOverride::set(*clock, time);
        }
      },
      options);

  if (use_clock_thread_) {
    rclcpp::ExecutorOptions executor_options;
    executor_options.context = node_base_->get_context();
    executor_ = std::make_shared<rclcpp::executors::SingleThreadedExecutor>(executor_options);
    executor_->add_callback_group(group_, node_base_);
    thread_ = std::thread([executor = executor_]() { executor->spin(); });
  }
}

void NodeTimeSource::disable_locked()
{
  if (!active_) {
    return;
  }
  active_ = false;
  if (executor_) {
    // The executor keeps a cancel issued before its spin() starts, so this cannot hang.
    executor_->cancel();
    if (thread_.joinable()) {
      thread_.join();
    }
    executor_.reset();
  }
  subscription_.reset();
  group_.reset();
  RosTimeOverride::disable(*clock_);
}

}  // namespace detail
}  // namespace rclcpp
