// The second process of the cross-process test: a decision bundle and the robot's other
// inputs (wheel odometry, obstacles in "odom", the speed ratio, "map" -> "odom"), sent until
// the engine's velocity command and global path have come back. It prints each that came
// other than expected, and exits with 0 once both came as expected within a minute.

#include <cstdio>
#include <utility>

#include "cross_process_scene.hpp"
#include "skelmar_nav2_tools/communicator/communicator.hpp"
#include "tf2_ros/static_transform_broadcaster.h"

namespace {

int awaited = 2;  // touched only by the executor's thread
bool as_expected = true;

// Compares the first message on @p topic with @p expected.
template <typename MessageT>
rclcpp::SubscriptionBase::SharedPtr expectFirst(
    rclcpp::Node & node, const std::string & topic, const MessageT & expected)
{
  auto seen = std::make_shared<bool>(false);
  return node.create_subscription<MessageT>(topic, 10, [=](typename MessageT::UniquePtr message) {
    if (!std::exchange(*seen, true)) {
      if (*message != expected) {
        std::printf("%s came as\n%s\n", topic.c_str(), to_yaml(*message).c_str());
        as_expected = false;
      }
      --awaited;
    }
  });
}

}  // namespace

int main(int argc, char ** argv)
{
  rclcpp::init(argc, argv);
  {
    skelmar_communicator::CommunicatorDecision decision;
    auto node = std::make_shared<rclcpp::Node>("cross_process_peer");
    tf2_ros::StaticTransformBroadcaster static_broadcaster(node);
    static_broadcaster.sendTransform(cross_process::mapToOdom());
    auto odom_pub = node->create_publisher<nav_msgs::msg::Odometry>("robot_base/wheel/odom", 10);
    auto obstacle_pub = node->create_publisher<skelmar_protocol::msg::DynamicObstacles>(
        "/bev_tracker_dynamic_obstacles", 10);
    auto ratio_pub =
        node->create_publisher<skelmar_protocol::msg::PlannerSpeedControl>("planner_speed", 1);
    const auto subscriptions = {
        expectFirst(*node, "/cmd_vel_raw", cross_process::command(cross_process::kRatio)),
        expectFirst(
            *node, "skelmar_nav2_planning/global_planning_path", cross_process::flatPath())};
    // Sent again and again: whenever the engine's process discovers this one, it gets them.
    auto timer = node->create_wall_timer(std::chrono::milliseconds(20), [&] {
      odom_pub->publish(cross_process::odometry());
      obstacle_pub->publish(cross_process::obstacles());
      ratio_pub->publish(
          skelmar_protocol::msg::PlannerSpeedControl().set__speed_ratio(cross_process::kRatio));
      decision.err_code->publishErrorMsg(
          std_msgs::msg::Int8().set__data(cross_process::kErrorCode));
    });
    rclcpp::executors::SingleThreadedExecutor executor;
    executor.add_node(node);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (awaited > 0 && std::chrono::steady_clock::now() < deadline) {
      executor.spin_once(std::chrono::milliseconds(100));
    }
  }
  rclcpp::shutdown();
  return awaited == 0 && as_expected ? 0 : 1;
}
