// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#include "tf2_ros/static_transform_broadcaster.h"

#include <algorithm>

namespace tf2_ros {
void StaticTransformBroadcaster::sendTransform(
    const geometry_msgs::msg::TransformStamped & transform)
{
  sendTransform(std::vector<geometry_msgs::msg::TransformStamped>{transform});
}

void StaticTransformBroadcaster::sendTransform(
    const std::vector<geometry_msgs::msg::TransformStamped> & transforms)
{
  std::lock_guard<std::mutex> lock(mutex_);
  auto & stored = net_message_.transforms;
  for (const auto & transform : transforms) {
    auto same_child = std::find_if(stored.begin(), stored.end(), [&transform](const auto & s) {
      return s.child_frame_id == transform.child_frame_id;
    });
    if (same_child != stored.end()) {
      *same_child = transform;
    } else {
      stored.push_back(transform);
    }
  }
  // Published under the lock so that concurrent sends reach subscribers in set order.
  publisher_->publish(net_message_);
}

}  // namespace tf2_ros
