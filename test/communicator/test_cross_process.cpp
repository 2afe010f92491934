// The engine bundle in this process, a decision bundle and the robot's inputs in a second
// one: what crosses between them over the middleware arrives whole and exact.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <chrono>
#include <map>
#include <string>
#include <vector>

#include "cross_process_scene.hpp"
#include "rclcpp/serialization.hpp"
#include "skelmar_nav2_tools/communicator/communicator.hpp"
#include "std_msgs/msg/int8.hpp"
#include "support/child_process.hpp"
#include "support/ros_test_support.hpp"

using skelmar_test::Inbox;
using skelmar_test::SpunNode;

namespace {

template <typename MessageT>
MessageT deserialize(const std::string & hex)
{
  rclcpp::SerializedMessage serialized(hex.size() / 2);
  auto & bytes = serialized.get_rcl_serialized_message();
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes.buffer[i / 2] = static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16));
  }
  bytes.buffer_length = hex.size() / 2;
  MessageT message;
  rclcpp::Serialization<MessageT>().deserialize_message(&serialized, &message);
  return message;
}

}  // namespace

TEST(CrossProcess, EngineAndDecisionProcessesExchangeOverTheMiddleware)
{
  skelmar_test::ChildProcess peer(SKELMAR_CROSS_PROCESS_PEER, {});
  skelmar_communicator::CommunicatorEngine engine;
  SpunNode observer("cross_process_observer");
  Inbox<std_msgs::msg::Int8> errors(*observer.node, "skelmar_nav2_error");
  observer.spin();

  // The peer's inputs reach the engine's units.
  ASSERT_TRUE(skelmar_test::waitFor(
      [&] {
        return engine.cmd_vel->speed_ratio.load() == cross_process::kRatio &&
               engine.odom->getOdomPose().header.frame_id == "odom" &&
               !engine.dynamic_obstacle->getDynamicObstacle().empty() && errors.size() > 0;
      },
      std::chrono::seconds(30)))
      << "the peer's messages did not arrive";
  const auto odom = cross_process::odometry();
  EXPECT_EQ(engine.odom->getOdomPose().header, odom.header);
  EXPECT_EQ(engine.odom->getOdomPose().pose, odom.pose.pose);
  EXPECT_EQ(engine.odom->getOdom().twist.linear.x, odom.twist.twist.linear.x);
  EXPECT_EQ(engine.odom->getOdom().twist.angular.z, odom.twist.twist.angular.z);
  EXPECT_EQ(errors.messages().back().data, cross_process::kErrorCode);

  // Obstacles in "odom" come back in "map": half a turn, then the shift.
  const auto obstacles = engine.dynamic_obstacle->getDynamicObstacle();
  const auto sent = cross_process::obstacles();
  ASSERT_EQ(obstacles.size(), 2U);
  EXPECT_TRUE(obstacles[1].poses.empty());
  ASSERT_EQ(obstacles[0].poses.size(), 3U);
  EXPECT_EQ(obstacles[0].header.frame_id, "map");
  EXPECT_EQ(obstacles[0].header.stamp, sent.header.stamp);
  for (size_t i = 0; i < 3; ++i) {
    const auto & point = sent.obstacles[0].points[i];
    const auto & pose = obstacles[0].poses[i];
    EXPECT_EQ(pose.header.frame_id, "map");
    EXPECT_EQ(pose.pose.position.x, 10.0 - point.x);
    EXPECT_EQ(pose.pose.position.y, -4.0 - point.y);
    EXPECT_EQ(pose.pose.position.z, point.z);
    EXPECT_EQ(std::abs(pose.pose.orientation.z), 1.0);
  }

  // The engine's command goes out scaled by the peer's ratio, its path flattened; the
  // peer prints each as it first arrives.
  std::map<std::string, std::string> received;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (received.size() < 2 && std::chrono::steady_clock::now() < deadline) {
    engine.cmd_vel->publishVelocity(cross_process::command());
    engine.planning->publishGlobalPath(cross_process::globalPath());
    if (const auto line = peer.readLine(std::chrono::milliseconds(50))) {
      received[line->substr(0, line->find(' '))] = line->substr(line->find(' ') + 1);
    }
  }
  ASSERT_EQ(received.size(), 2U) << "the peer did not receive the engine's output";

  auto expected_command = cross_process::command();
  expected_command.linear.x = 0.2;
  expected_command.linear.y = 0.1;
  expected_command.angular.z = 0.5;
  EXPECT_EQ(deserialize<geometry_msgs::msg::Twist>(received["/cmd_vel_raw"]), expected_command);

  const auto path =
      deserialize<nav_msgs::msg::Path>(received["skelmar_nav2_planning/global_planning_path"]);
  const auto entries = cross_process::globalPath();
  EXPECT_EQ(path.header.frame_id, "map");
  EXPECT_EQ(path.header.stamp, builtin_interfaces::msg::Time());
  std::vector<geometry_msgs::msg::PoseStamped> poses = entries.paths[0].poses;
  poses.insert(poses.end(), entries.paths[1].poses.begin(), entries.paths[1].poses.end());
  EXPECT_EQ(path.poses, poses);

  const auto status = peer.waitForExit(std::chrono::seconds(10));
  ASSERT_TRUE(status.has_value()) << "the peer did not end";
  EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0);
}
