// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#include "nav2_util/node_thread.hpp"

#include <utility>

namespace nav2_util {

NodeThread::NodeThread(rclcpp::node_interfaces::NodeBaseInterface::SharedPtr node_base)
    : node_(std::move(node_base))
{
  executor_ = std::make_shared<rclcpp::executors::SingleThreadedExecutor>();
  thread_ = std::make_unique<std::thread>([&]() {
    executor_->add_node(node_);
    executor_->spin();
    executor_->remove_node(node_);
  });
}

NodeThread::NodeThread(rclcpp::executors::SingleThreadedExecutor::SharedPtr executor)
    : executor_(std::move(executor))
{
  thread_ = std::make_unique<std::thread>([&]() { executor_->spin(); });
}

NodeThread::~NodeThread()
{
  executor_->cancel();
  thread_->join();
}

}  // namespace nav2_util
