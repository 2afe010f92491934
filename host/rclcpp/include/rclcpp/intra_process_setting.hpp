// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#ifndef RCLCPP__INTRA_PROCESS_SETTING_HPP_
#define RCLCPP__INTRA_PROCESS_SETTING_HPP_

namespace rclcpp {

/// Whether an endpoint uses intra-process delivery (all delivery is in-process here; the
/// setting is kept for API compatibility).
enum class IntraProcessSetting { Enable, Disable, NodeDefault };

}  // namespace rclcpp

#endif  // RCLCPP__INTRA_PROCESS_SETTING_HPP_
