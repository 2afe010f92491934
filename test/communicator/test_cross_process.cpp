// The engine bundle in this process, a decision bundle and the robot's inputs in a second
// one: what crosses between them over the middleware arrives whole and exact.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include "cross_process_scene.hpp"
#include "skelmar_nav2_tools/communicator/communicator.hpp"
#include "support/child_process.hpp"
#include "support/ros_test_support.hpp"

TEST(CrossProcess, EngineAndDecisionProcessesExchangeOverTheMiddleware)
{
  skelmar_test::ChildProcess peer(SKELMAR_CROSS_PROCESS_PEER, {});
  skelmar_communicator::CommunicatorEngine engine;
  skelmar_test::SpunNode observer("cross_process_observer");
  skelmar_test::Inbox<std_msgs::msg::Int8> errors(*observer.node, "skelmar_nav2_error");
  observer.spin();
  const auto odom = cross_process::odometry();
  ASSERT_TRUE(skelmar_test::waitFor(
      [&] {
        return engine.cmd_vel->speed_ratio.load() == cross_process::kRatio &&
               engine.odom->getOdomPose().header == odom.header &&
               !engine.dynamic_obstacle->getDynamicObstacle().empty() && errors.size() > 0;
      },
      std::chrono::seconds(30)))
      << "the peer's messages did not arrive";
  EXPECT_EQ(engine.odom->getOdomPose().pose, odom.pose.pose);
  EXPECT_EQ(engine.odom->getOdom().twist, odom.twist.twist);
  EXPECT_EQ(errors.messages().front().data, cross_process::kErrorCode);

  // Obstacles in "odom" come back in "map": half a turn, then the shift.
  const auto sent = cross_process::obstacles();
  std::vector<nav_msgs::msg::Path> in_map(2);
  for (auto & path : in_map) {
    path.header.set__frame_id("map").stamp = sent.header.stamp;
  }
  for (const auto & point : sent.obstacles[0].points) {
    auto & pose = in_map[0].poses.emplace_back();
    pose.header.frame_id = "map";
    pose.pose.position.set__x(10.0 - point.x).set__y(-4.0 - point.y).set__z(point.z);
    pose.pose.orientation.set__z(1.0).set__w(0.0);
  }
  EXPECT_EQ(engine.dynamic_obstacle->getDynamicObstacle(), in_map);

  // The engine's command and path go out until the peer has had both and ended.
  std::optional<int> status;
  skelmar_test::waitFor(
      [&] {
        engine.cmd_vel->publishVelocity(cross_process::command());
        engine.planning->publishGlobalPath(cross_process::globalPath());
        return (status = peer.waitForExit(std::chrono::milliseconds(20))).has_value();
      },
      std::chrono::seconds(60));
  ASSERT_TRUE(status.has_value()) << "the peer did not end";
  EXPECT_EQ(peer.readAll(), "") << "what the peer received other than expected";
  EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0);
}
