// The second process of the cross-process test: a decision bundle and the robot's other
// inputs (wheel odometry, obstacles in "odom", the speed ratio, "map" -> "odom"), sent until
// the engine's velocity command has come back, for at most a minute. It prints the first
// command and exits with 0 if it came as expected.

#include <cstdio>
#include <optional>

#include "cross_process_scene.hpp"
#include "tf2_ros/static_transform_broadcaster.h"

namespace scene = cross_process;

int main(int argc, char ** argv)
{
  rclcpp::init(argc, argv);
  std::optional<geometry_msgs::msg::Twist> command;
  {
    skelmar_communicator::CommunicatorDecision decision;
    auto node = std::make_shared<rclcpp::Node>("cross_process_peer");
    geometry_msgs::msg::TransformStamped map_to_odom;  // half a turn and a shift, exact
    map_to_odom.set__child_frame_id("odom").header.frame_id = "map";
    map_to_odom.transform.translation.set__x(10.0).set__y(-4.0);
    map_to_odom.transform.rotation.set__z(1.0).set__w(0.0);
    tf2_ros::StaticTransformBroadcaster static_broadcaster(node);
    static_broadcaster.sendTransform(map_to_odom);
    auto odom_pub = node->create_publisher<nav_msgs::msg::Odometry>("robot_base/wheel/odom", 10);
    auto obstacle_pub = node->create_publisher<skelmar_protocol::msg::DynamicObstacles>(
        "/bev_tracker_dynamic_obstacles", 10);
    auto ratio_pub =
        node->create_publisher<skelmar_protocol::msg::PlannerSpeedControl>("planner_speed", 1);
    auto command_sub = node->create_subscription<geometry_msgs::msg::Twist>(
        "/cmd_vel_raw", 10,
        [&](geometry_msgs::msg::Twist::UniquePtr m) { command = command ? command : *m; });
    // Sent again and again: whenever the engine's process discovers this one, it gets them.
    auto timer = node->create_wall_timer(std::chrono::milliseconds(20), [&] {
      odom_pub->publish(scene::odometry());
      obstacle_pub->publish(scene::obstacles());
      ratio_pub->publish(
          skelmar_protocol::msg::PlannerSpeedControl().set__speed_ratio(scene::kRatio));
      decision.err_code->publishErrorMsg(std_msgs::msg::Int8().set__data(scene::kErrorCode));
    });
    rclcpp::executors::SingleThreadedExecutor executor;
    executor.add_node(node);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (!command && std::chrono::steady_clock::now() < deadline) {
      executor.spin_once(std::chrono::milliseconds(100));
    }
  }
  rclcpp::shutdown();
  std::printf("command: %s\n", command ? to_yaml(*command).c_str() : "nothing");
  return command == scene::command(scene::kRatio) ? 0 : 1;
}
