// Trace publication unit and robot event unit.

#include <gtest/gtest.h>

#include <cmath>

#include "communicator_test_helpers.hpp"
#include "skelmar_nav2_tools/communicator/microunit_robot_event.hpp"
#include "skelmar_nav2_tools/communicator/microunit_trace.hpp"

using communicator_test::Inbox;
using communicator_test::SpunNode;
using geometry_msgs::msg::PolygonStamped;
using geometry_msgs::msg::PoseStamped;
using skelmar_communicator::MicroUnitRobotEvent;
using skelmar_communicator::MicroUnitTrace;

namespace {

PoseStamped poseAt(double x, double y, double qx, double qy, double qz, double qw)
{
  PoseStamped pose;
  pose.header.frame_id = "odom";
  pose.header.stamp.sec = 17;
  pose.header.stamp.nanosec = 99;
  pose.pose.position.x = x;
  pose.pose.position.y = y;
  pose.pose.orientation.x = qx;
  pose.pose.orientation.y = qy;
  pose.pose.orientation.z = qz;
  pose.pose.orientation.w = qw;
  return pose;
}

geometry_msgs::msg::Point point(double x, double y)
{
  geometry_msgs::msg::Point p;
  p.x = x;
  p.y = y;
  p.z = 5.0;  // ignored by the placement
  return p;
}

}  // namespace

class TraceTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    peer.spin();
    ASSERT_TRUE(footprints.waitForMatch(unit->footprint_pub));
  }

  /// Publishes @p footprint placed at @p pose and returns what arrived.
  PolygonStamped place(PoseStamped pose, const std::vector<geometry_msgs::msg::Point> & footprint)
  {
    const size_t before = footprints.size();
    unit->publishFootPrint(footprint, pose);
    EXPECT_TRUE(footprints.waitForCount(before + 1));
    return footprints.last();
  }

  SpunNode unit_node{"trace_unit"};
  SpunNode peer{"trace_peer"};
  std::shared_ptr<MicroUnitTrace> unit{std::make_shared<MicroUnitTrace>(unit_node.node)};
  Inbox<PolygonStamped> footprints{
      *peer.node, "trace_published_footprint", rclcpp::SystemDefaultsQoS().keep_last(100)};
};

TEST_F(TraceTest, FootprintIsPlacedAtThePoseWithItsHeader)
{
  const std::vector<geometry_msgs::msg::Point> footprint{point(1, 0), point(0, 0.5)};

  auto placed = place(poseAt(1, 2, 0, 0, 0, 1), footprint);
  EXPECT_EQ(placed.header.frame_id, "odom");
  EXPECT_EQ(placed.header.stamp.sec, 17);
  EXPECT_EQ(placed.header.stamp.nanosec, 99U);
  ASSERT_EQ(placed.polygon.points.size(), 2U);
  EXPECT_FLOAT_EQ(placed.polygon.points[0].x, 2.0F);
  EXPECT_FLOAT_EQ(placed.polygon.points[0].y, 2.0F);
  EXPECT_EQ(placed.polygon.points[0].z, 0.0F);
  EXPECT_FLOAT_EQ(placed.polygon.points[1].y, 2.5F);

  const double h = std::sqrt(0.5);
  placed = place(poseAt(1, 2, 0, 0, h, h), footprint);  // quarter turn
  ASSERT_EQ(placed.polygon.points.size(), 2U);
  EXPECT_NEAR(placed.polygon.points[0].x, 1.0, 1e-6);
  EXPECT_NEAR(placed.polygon.points[0].y, 3.0, 1e-6);
  EXPECT_NEAR(placed.polygon.points[1].x, 0.5, 1e-6);
  EXPECT_NEAR(placed.polygon.points[1].y, 2.0, 1e-6);

  placed = place(poseAt(1, 2, 0, 0, 0, 1), {});
  EXPECT_TRUE(placed.polygon.points.empty());
  EXPECT_EQ(placed.header.frame_id, "odom");
}

TEST_F(TraceTest, NearSingularOrientationsUseTheHalfAngleBranches)
{
  // (a, b, -a, b) makes s = -2 (xz - wy) / n exactly 1, (a, b, a, -b) exactly -1; the yaw
  // then comes from 2 atan2(y, x) and -2 atan2(y, x).
  const double a = 0.1;
  const double b = 0.3;
  struct Case
  {
    PoseStamped pose;
    double yaw;
  };
  for (const Case & c :
       {Case{poseAt(0, 0, a, b, -a, b), 2.0 * std::atan2(b, a)},
        Case{poseAt(0, 0, a, b, a, -b), -2.0 * std::atan2(b, a)}}) {
    const auto placed = place(c.pose, {point(1, 0)});
    ASSERT_EQ(placed.polygon.points.size(), 1U);
    EXPECT_NEAR(placed.polygon.points[0].x, std::cos(c.yaw), 1e-6);
    EXPECT_NEAR(placed.polygon.points[0].y, std::sin(c.yaw), 1e-6);
  }
}

TEST_F(TraceTest, PosesAndRecoveryCommandsPassThrough)
{
  Inbox<nav_msgs::msg::Path> local_end(*peer.node, "trace/local_end_pose");
  Inbox<PoseStamped> dir(*peer.node, "trace/dir_pose");
  Inbox<geometry_msgs::msg::Twist> recovery(*peer.node, "trace/recovery_backward");
  ASSERT_TRUE(local_end.waitForMatch(unit->local_end_pose_pub));
  ASSERT_TRUE(dir.waitForMatch(unit->dir_pose_pub));
  ASSERT_TRUE(recovery.waitForMatch(unit->recovery_backward_pub));

  const PoseStamped start = poseAt(1, 2, 0, 0, 0, 1);
  PoseStamped end = poseAt(3, 4, 0, 0, 1, 0);
  end.header.frame_id = "map";
  end.header.stamp.sec = 3;
  unit->PublishLocalEndPose(start, end);
  unit->PublishDirPose(end);
  geometry_msgs::msg::Twist back;
  back.linear.x = -0.1;
  back.angular.y = 0.5;
  unit->publishRecoveryBackward(back);

  ASSERT_TRUE(local_end.waitForCount(1));
  ASSERT_TRUE(dir.waitForCount(1));
  ASSERT_TRUE(recovery.waitForCount(1));
  const auto path = local_end.last();
  EXPECT_EQ(path.header.frame_id, "odom");
  EXPECT_EQ(path.header.stamp.sec, 0);
  EXPECT_EQ(path.header.stamp.nanosec, 0U);
  ASSERT_EQ(path.poses.size(), 2U);
  EXPECT_EQ(path.poses[0], start);
  EXPECT_EQ(path.poses[1], end);
  EXPECT_EQ(dir.last(), end);
  EXPECT_EQ(recovery.last(), back);
}

TEST(RobotEvent, PublishedUnchangedOnTheAbsoluteTopic)
{
  SpunNode unit_node("robot_event_unit", "/robot6");
  MicroUnitRobotEvent unit(unit_node.node);
  EXPECT_STREQ(unit.robot_event_pub->get_topic_name(), "/robot_event");
  SpunNode peer("robot_event_peer");
  Inbox<skelmar_protocol::msg::RobotEvent> events(*peer.node, "/robot_event");
  peer.spin();
  ASSERT_TRUE(events.waitForMatch(unit.robot_event_pub));

  skelmar_protocol::msg::RobotEvent event;
  event.header.stamp.sec = 8;
  event.header.frame_id = "base_link";
  event.event_id = -12;
  event.severity = 3;
  event.arguments = {"bumper", "", "left side"};
  const auto copy = event;
  unit.publishRobotEvent(event);
  ASSERT_TRUE(events.waitForCount(1));
  EXPECT_EQ(events.last(), copy);
  EXPECT_EQ(event, copy);
}
