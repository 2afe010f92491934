// The second process of the cross-process test: a decision bundle and the robot's other
// inputs (wheel odometry, obstacles in "odom", the speed ratio, "map" -> "odom"), sent until
// the engine's velocity command and global path have come back, for at most a minute. It
// prints the first of each and exits with 0 if both came as expected.

#include <cstdio>
#include <optional>

#include "cross_process_scene.hpp"
#include "tf2_ros/static_transform_broadcaster.h"

namespace scene = cross_process;

int main(int argc, char ** argv)
{
  rclcpp::init(argc, argv);
  std::optional<geometry_msgs::msg::Twist> command;
  std::optional<nav_msgs::msg::Path> path;
  {
    skelmar_communicator::CommunicatorDecision decision;
    auto node = std::make_shared<rclcpp::Node>("cross_process_peer");
    tf2_ros::StaticTransformBroadcaster static_broadcaster(node);
    static_broadcaster.sendTransform(scene::mapToOdom());
    auto odom_pub = node->create_publisher<nav_msgs::msg::Odometry>("robot_base/wheel/odom", 10);
    auto obstacle_pub = node->create_publisher<skelmar_protocol::msg::DynamicObstacles>(
        "/bev_tracker_dynamic_obstacles", 10);
    auto ratio_pub =
        node->create_publisher<skelmar_protocol::msg::PlannerSpeedControl>("planner_speed", 1);
    auto command_sub = node->create_subscription<geometry_msgs::msg::Twist>(
        "/cmd_vel_raw", 10,
        [&](geometry_msgs::msg::Twist::UniquePtr m) { command = command ? command : *m; });
    auto path_sub = node->create_subscription<nav_msgs::msg::Path>(
        "skelmar_nav2_planning/global_planning_path", 10,
        [&](nav_msgs::msg::Path::UniquePtr m) { path = path ? path : *m; });
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
    while (!(command && path) && std::chrono::steady_clock::now() < deadline) {
      executor.spin_once(std::chrono::milliseconds(100));
    }
  }
  rclcpp::shutdown();
  const auto show = [](const auto & m) { return m ? to_yaml(*m) : std::string("nothing"); };
  std::printf("command: %s\npath: %s\n", show(command).c_str(), show(path).c_str());
  return command == scene::command(scene::kRatio) && path == scene::path() ? 0 : 1;
}
