// The second process of the cross-process test: a decision bundle and the robot's other
// inputs (wheel odometry, tracked obstacles in "odom", the speed ratio, "map" -> "odom"),
// published until the engine's velocity command and global path have come back. Each is
// printed as one line, "<topic> <serialized message in hex>"; the exit status says whether
// both came within a minute.

#include <cstdio>
#include <future>
#include <memory>
#include <string>

#include "cross_process_scene.hpp"
#include "rclcpp/rclcpp.hpp"
#include "rclcpp/serialization.hpp"
#include "skelmar_nav2_tools/communicator/communicator.hpp"
#include "skelmar_protocol/msg/planner_speed_control.hpp"
#include "std_msgs/msg/int8.hpp"
#include "tf2_ros/static_transform_broadcaster.h"

namespace {

template <typename MessageT>
void print(const std::string & topic, const MessageT & message)
{
  rclcpp::SerializedMessage serialized;
  rclcpp::Serialization<MessageT>().serialize_message(&message, &serialized);
  const auto & bytes = serialized.get_rcl_serialized_message();
  std::string line = topic + " ";
  for (size_t i = 0; i < bytes.buffer_length; ++i) {
    char hex[3];
    std::snprintf(hex, sizeof(hex), "%02x", bytes.buffer[i]);
    line += hex;
  }
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

// Prints the first message that arrives on @p topic and then fulfils @p came.
template <typename MessageT>
typename rclcpp::Subscription<MessageT>::SharedPtr printFirst(
    rclcpp::Node & node, const std::string & topic, std::promise<void> & came)
{
  auto seen = std::make_shared<bool>(false);
  return node.create_subscription<MessageT>(
      topic, 10, [topic, seen, &came](typename MessageT::UniquePtr message) {
        if (!*seen) {
          *seen = true;
          print(topic, *message);
          came.set_value();
        }
      });
}

}  // namespace

int main(int argc, char ** argv)
{
  rclcpp::init(argc, argv);
  bool both_came = false;
  {
    skelmar_communicator::CommunicatorDecision decision;
    auto node = std::make_shared<rclcpp::Node>("cross_process_peer");
    tf2_ros::StaticTransformBroadcaster static_broadcaster(node);
    static_broadcaster.sendTransform(cross_process::mapToOdom());
    auto odom_pub = node->create_publisher<nav_msgs::msg::Odometry>(
        "robot_base/wheel/odom", rclcpp::SystemDefaultsQoS());
    auto obstacle_pub = node->create_publisher<skelmar_protocol::msg::DynamicObstacles>(
        "/bev_tracker_dynamic_obstacles", rclcpp::SystemDefaultsQoS());
    auto ratio_pub =
        node->create_publisher<skelmar_protocol::msg::PlannerSpeedControl>("planner_speed", 1);

    std::promise<void> velocity_came;
    std::promise<void> path_came;
    auto velocity_sub = printFirst<geometry_msgs::msg::Twist>(*node, "/cmd_vel_raw", velocity_came);
    auto path_sub = printFirst<nav_msgs::msg::Path>(
        *node, "skelmar_nav2_planning/global_planning_path", path_came);
    // Sent again and again: whenever the engine's process discovers this one, it gets them.
    auto timer = node->create_wall_timer(std::chrono::milliseconds(20), [&] {
      odom_pub->publish(cross_process::odometry());
      obstacle_pub->publish(cross_process::obstacles());
      skelmar_protocol::msg::PlannerSpeedControl ratio;
      ratio.speed_ratio = cross_process::kRatio;
      ratio_pub->publish(ratio);
      std_msgs::msg::Int8 error;
      error.data = cross_process::kErrorCode;
      decision.err_code->publishErrorMsg(error);
    });

    rclcpp::executors::SingleThreadedExecutor executor;
    executor.add_node(node);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    both_came =
        executor.spin_until_future_complete(velocity_came.get_future(), std::chrono::minutes(1)) ==
            rclcpp::FutureReturnCode::SUCCESS &&
        executor.spin_until_future_complete(
            path_came.get_future(), deadline - std::chrono::steady_clock::now()) ==
            rclcpp::FutureReturnCode::SUCCESS;
  }
  rclcpp::shutdown();
  return both_came ? 0 : 1;
}
