// The engine bundle in this process, a decision bundle and the robot's inputs in a second
// one: what crosses between them over the middleware arrives whole and exact.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <future>

#include "cross_process_scene.hpp"
#include "support/ros_test_support.hpp"

TEST(CrossProcess, EngineAndDecisionProcessesExchangeOverTheMiddleware)
{
  namespace scene = cross_process;
  // The peer ends by itself within a minute, so the test always waits for it.
  auto peer =
      std::async(std::launch::async, [] { return std::system(SKELMAR_CROSS_PROCESS_PEER); });
  skelmar_communicator::CommunicatorEngine engine;
  // On the engine's node, which its thread spins; the inbox goes first.
  skelmar_test::Inbox<std_msgs::msg::Int8> errors(*engine.node, "skelmar_nav2_error");
  const auto odom = scene::odometry();
  ASSERT_TRUE(skelmar_test::waitFor(
      [&] {
        return engine.cmd_vel->speed_ratio.load() == scene::kRatio &&
               engine.odom->getOdomPose().header == odom.header &&
               !engine.dynamic_obstacle->getDynamicObstacle().empty() && !errors.messages().empty();
      },
      std::chrono::seconds(30)))
      << "the peer's messages did not arrive";
  EXPECT_EQ(engine.odom->getOdomPose().pose, odom.pose.pose);
  geometry_msgs::msg::TwistStamped planar;  // the planar components only
  planar.set__header(odom.header).twist = odom.twist.twist;
  planar.twist.linear.z = planar.twist.angular.x = planar.twist.angular.y = 0;
  EXPECT_EQ(engine.odom->getOdom(), planar);
  EXPECT_EQ(errors.messages().front().data, scene::kErrorCode);

  // Obstacles in "odom" come back in "map": half a turn, then the shift.
  auto sent = scene::obstacles();
  std::vector<nav_msgs::msg::Path> in_map(2);
  in_map[0].header = in_map[1].header = sent.header.set__frame_id("map");
  for (const auto & point : sent.obstacles[0].points) {
    auto & pose = in_map[0].poses.emplace_back();
    pose.header.frame_id = "map";
    pose.pose.position.set__x(10.0 - point.x).set__y(-4.0 - point.y).set__z(point.z);
    pose.pose.orientation.set__z(1.0).set__w(0.0);
  }
  EXPECT_EQ(engine.dynamic_obstacle->getDynamicObstacle(), in_map);

  // The engine's command goes out until the peer has had it and ended.
  ASSERT_TRUE(skelmar_test::waitFor(
      [&] {
        engine.cmd_vel->publishVelocity(scene::command());
        return peer.wait_for(std::chrono::milliseconds(20)) == std::future_status::ready;
      },
      std::chrono::seconds(60)))
      << "the peer did not end";
  const int status = peer.get();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the peer printed what it got";
}
