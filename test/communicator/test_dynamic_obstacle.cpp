// Dynamic obstacle unit: paths in "map", transforms from other frames, failed lookups.

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>

#include "communicator_test_helpers.hpp"
#include "skelmar_nav2_tools/communicator/microunit_dynamic_obstacle.hpp"
#include "tf2_ros/transform_broadcaster.h"

using communicator_test::RosLogCapture;
using communicator_test::SpunNode;
using skelmar_communicator::MicroUnitDynamicObstacle;
using skelmar_protocol::msg::DynamicObstacles;

namespace {

DynamicObstacles obstacles(
    const std::string & frame, int sec,
    const std::vector<std::vector<geometry_msgs::msg::Point>> & sets)
{
  DynamicObstacles msg;
  msg.header.frame_id = frame;
  msg.header.stamp.sec = sec;
  msg.header.stamp.nanosec = 250;
  msg.tracker_state = 4;
  for (const auto & points : sets) {
    skelmar_protocol::msg::DynamicObstacle obstacle;
    obstacle.id = static_cast<int32_t>(msg.obstacles.size());
    obstacle.speed = 1.5;
    obstacle.points = points;
    msg.obstacles.push_back(obstacle);
  }
  return msg;
}

geometry_msgs::msg::Point point(double x, double y, double z = 0.0)
{
  geometry_msgs::msg::Point p;
  p.x = x;
  p.y = y;
  p.z = z;
  return p;
}

}  // namespace

class DynamicObstacleTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    unit = std::make_shared<MicroUnitDynamicObstacle>(unit_node.node);
    unit_node.spin();
    obstacle_pub =
        peer.node->create_publisher<DynamicObstacles>("/bev_tracker_dynamic_obstacles", 10);
    ASSERT_TRUE(
        skelmar_test::waitFor([this] { return obstacle_pub->get_subscription_count() > 0; }));
  }
  void TearDown() override
  {
    unit_node.stop();
  }

  SpunNode unit_node{"obstacle_unit"};
  SpunNode peer{"obstacle_peer"};
  std::shared_ptr<MicroUnitDynamicObstacle> unit;
  rclcpp::Publisher<DynamicObstacles>::SharedPtr obstacle_pub;
};

TEST_F(DynamicObstacleTest, MapFrameObstaclesBecomePathsAndEmptyListsKeepThem)
{
  EXPECT_TRUE(unit->getDynamicObstacle().empty());
  const auto msg = obstacles("map", 11, {{point(1, 2, 3), point(4, 5), point(-1, -2)}, {}});
  obstacle_pub->publish(msg);
  ASSERT_TRUE(skelmar_test::waitFor([this] { return unit->getDynamicObstacle().size() == 2; }));
  const auto paths = unit->getDynamicObstacle();
  EXPECT_EQ(paths[0].header, msg.header);
  ASSERT_EQ(paths[0].poses.size(), 3U);
  EXPECT_TRUE(paths[1].poses.empty());
  EXPECT_EQ(paths[1].header, msg.header);
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(paths[0].poses[i].header, msg.header);
    EXPECT_EQ(paths[0].poses[i].pose.position, msg.obstacles[0].points[i]);
    EXPECT_EQ(paths[0].poses[i].pose.orientation, geometry_msgs::msg::Quaternion());
  }
  EXPECT_EQ(unit->getDynamicObstacle(), paths);

  // No obstacles: the list stays; a later message in "map" shows the empty one was taken.
  obstacle_pub->publish(obstacles("map", 12, {}));
  obstacle_pub->publish(obstacles("map", 13, {{point(9, 9)}}));
  ASSERT_TRUE(skelmar_test::waitFor(
      [this] { return unit->getDynamicObstacle().front().header.stamp.sec == 13; }));
  unit->DynamicObstacleCallback(std::make_shared<DynamicObstacles>(obstacles("map", 14, {})));
  ASSERT_EQ(unit->getDynamicObstacle().size(), 1U);
  EXPECT_EQ(unit->getDynamicObstacle().front().header.stamp.sec, 13);
}

TEST_F(DynamicObstacleTest, OtherFrameGoesThroughTheLatestTransform)
{
  tf2_ros::TransformBroadcaster broadcaster(peer.node);
  geometry_msgs::msg::TransformStamped laser;
  laser.header.frame_id = "map";
  laser.header.stamp.sec = 5;
  laser.child_frame_id = "laser";
  laser.transform.translation.x = 1.0;
  laser.transform.translation.y = 2.0;
  laser.transform.rotation.z = std::sqrt(0.5);
  laser.transform.rotation.w = std::sqrt(0.5);
  ASSERT_TRUE(skelmar_test::waitFor([&] {
    broadcaster.sendTransform(laser);
    return unit->tf_buffer->canTransform("map", "laser", tf2::TimePointZero);
  }));

  const auto msg = obstacles("laser", 21, {{point(1, 0, 0.5), point(0, 2)}, {}});
  obstacle_pub->publish(msg);
  ASSERT_TRUE(skelmar_test::waitFor([this] { return unit->getDynamicObstacle().size() == 2; }));
  const auto paths = unit->getDynamicObstacle();
  EXPECT_EQ(paths[0].header.frame_id, "map");
  EXPECT_EQ(paths[0].header.stamp, msg.header.stamp);
  EXPECT_EQ(paths[1].header.frame_id, "map");
  EXPECT_TRUE(paths[1].poses.empty());
  ASSERT_EQ(paths[0].poses.size(), 2U);
  const double expected[2][3] = {{1.0, 3.0, 0.5}, {-1.0, 2.0, 0.0}};
  for (size_t i = 0; i < 2; ++i) {
    const auto & pose = paths[0].poses[i];
    EXPECT_EQ(pose.header.frame_id, "map");
    EXPECT_EQ(pose.header.stamp.sec, 5);
    EXPECT_NEAR(pose.pose.position.x, expected[i][0], 1e-12);
    EXPECT_NEAR(pose.pose.position.y, expected[i][1], 1e-12);
    EXPECT_NEAR(pose.pose.position.z, expected[i][2], 1e-12);
    // The rotation of the transform, possibly with all four signs flipped.
    const auto & q = pose.pose.orientation;
    const double sign = q.w < 0 ? -1.0 : 1.0;
    EXPECT_NEAR(sign * q.x, 0.0, 1e-12);
    EXPECT_NEAR(sign * q.y, 0.0, 1e-12);
    EXPECT_NEAR(sign * q.z, std::sqrt(0.5), 1e-12);
    EXPECT_NEAR(sign * q.w, std::sqrt(0.5), 1e-12);
  }
}

TEST_F(DynamicObstacleTest, FailedLookupsWarnAndLeaveTheListEmpty)
{
  RosLogCapture ros_log;
  for (const std::string frame : {"unknown_frame", "/map", "Map"}) {
    unit->DynamicObstacleCallback(
        std::make_shared<DynamicObstacles>(obstacles("map", 1, {{point(1, 1)}})));
    ASSERT_EQ(unit->getDynamicObstacle().size(), 1U);

    const size_t before = RosLogCapture::records().size();
    obstacle_pub->publish(obstacles(frame, 2, {{point(1, 1)}, {point(2, 2)}}));
    ASSERT_TRUE(skelmar_test::waitFor([this] { return unit->getDynamicObstacle().empty(); }))
        << frame;
    const auto records = RosLogCapture::records();
    ASSERT_EQ(records.size(), before + 1) << frame;
    const auto & warning = records.back();
    EXPECT_EQ(warning.severity, RCUTILS_LOG_SEVERITY_WARN);
    EXPECT_EQ(warning.name, unit_node.node->get_logger().get_name());
    const std::string prefix = "Could not transform " + frame + " to map: ";
    EXPECT_EQ(warning.message.substr(0, prefix.size()), prefix) << warning.message;
    EXPECT_GT(warning.message.size(), prefix.size());
  }
}

TEST_F(DynamicObstacleTest, EverySnapshotIsOneWholeMessage)
{
  std::atomic<bool> stop{false};
  std::vector<std::thread> readers;
  for (int t = 0; t < 3; ++t) {
    readers.emplace_back([&] {
      while (!stop.load()) {
        const auto paths = unit->getDynamicObstacle();
        if (paths.empty()) {
          continue;
        }
        const int n = paths.front().header.stamp.sec;
        ASSERT_EQ(paths.size(), static_cast<size_t>(n % 5 + 1));
        for (const auto & path : paths) {
          ASSERT_EQ(path.header.stamp.sec, n);
          ASSERT_EQ(path.poses.size(), static_cast<size_t>(n % 4));
        }
      }
    });
  }
  for (int n = 1; n <= 300; ++n) {
    std::vector<std::vector<geometry_msgs::msg::Point>> sets(
        static_cast<size_t>(n % 5 + 1), std::vector<geometry_msgs::msg::Point>(n % 4, point(n, n)));
    obstacle_pub->publish(obstacles("map", n, sets));
  }
  EXPECT_TRUE(skelmar_test::waitFor([this] {
    const auto paths = unit->getDynamicObstacle();
    return !paths.empty() && paths.front().header.stamp.sec == 300;
  }));
  stop = true;
  for (auto & reader : readers) {
    reader.join();
  }
}
