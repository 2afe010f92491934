// Odometry unit: what is kept of a message, and snapshots under concurrent updates.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "communicator_test_helpers.hpp"
#include "skelmar_nav2_tools/communicator/microunit_odom.hpp"

using communicator_test::SpunNode;
using nav_msgs::msg::Odometry;
using skelmar_communicator::MicroUnitOdom;

namespace {

/// An odometry message whose every number derives from @p n, so a snapshot can be checked
/// to come from one message.
Odometry odometry(int n)
{
  Odometry msg;
  msg.header.stamp.sec = n;
  msg.header.frame_id = "odom" + std::to_string(n);
  msg.child_frame_id = "base_link";
  msg.pose.pose.position.x = n;
  msg.pose.pose.position.y = 2.0 * n;
  msg.pose.pose.position.z = 3.0 * n;
  msg.pose.pose.orientation.z = 0.6;
  msg.pose.pose.orientation.w = 0.8;
  msg.pose.covariance[0] = 9.0;
  msg.twist.twist.linear.x = 0.5 * n;
  msg.twist.twist.linear.y = 0.25 * n;
  msg.twist.twist.linear.z = 11.0;
  msg.twist.twist.angular.x = 12.0;
  msg.twist.twist.angular.y = 13.0;
  msg.twist.twist.angular.z = -0.125 * n;
  return msg;
}

}  // namespace

class OdomTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    unit = std::make_shared<MicroUnitOdom>(unit_node.node);
    unit_node.spin();
    odom_pub = peer.node->create_publisher<Odometry>("robot_base/wheel/odom", 10);
    ASSERT_TRUE(skelmar_test::waitFor([this] { return odom_pub->get_subscription_count() > 0; }));
  }
  void TearDown() override
  {
    unit_node.stop();
  }

  void sendAndWait(const Odometry & msg)
  {
    odom_pub->publish(msg);
    ASSERT_TRUE(skelmar_test::waitFor(
        [&] { return unit->getOdomPose().header.frame_id == msg.header.frame_id; }));
  }

  SpunNode unit_node{"odom_unit"};
  SpunNode peer{"odom_peer"};
  std::shared_ptr<MicroUnitOdom> unit;
  rclcpp::Publisher<Odometry>::SharedPtr odom_pub;
};

TEST_F(OdomTest, InitialValuesThenOnlyTheListedFieldsOfTheLatestMessage)
{
  const auto velocity = unit->getOdom();
  EXPECT_EQ(velocity, geometry_msgs::msg::TwistStamped());
  const auto pose = unit->getOdomPose();
  EXPECT_EQ(pose.header.stamp.sec, 0);
  EXPECT_EQ(pose.header.frame_id, "");
  EXPECT_EQ(pose.pose.position.x, 0.0);
  EXPECT_EQ(pose.pose.orientation.w, 1.0);

  sendAndWait(odometry(5));
  const auto first_velocity = unit->getOdom();
  EXPECT_EQ(first_velocity.header, odometry(5).header);
  EXPECT_EQ(first_velocity.twist.linear.x, 2.5);
  EXPECT_EQ(first_velocity.twist.linear.y, 1.25);
  EXPECT_EQ(first_velocity.twist.angular.z, -0.625);
  EXPECT_EQ(first_velocity.twist.linear.z, 0.0);
  EXPECT_EQ(first_velocity.twist.angular.x, 0.0);
  EXPECT_EQ(first_velocity.twist.angular.y, 0.0);
  const auto first_pose = unit->getOdomPose();
  EXPECT_EQ(first_pose.header, odometry(5).header);
  EXPECT_EQ(first_pose.pose, odometry(5).pose.pose);

  // An older stamp still replaces what is stored.
  sendAndWait(odometry(2));
  EXPECT_EQ(unit->getOdom().header.stamp.sec, 2);
  EXPECT_EQ(unit->getOdomPose().pose.position.y, 4.0);
}

TEST_F(OdomTest, EverySnapshotComesFromOneMessage)
{
  std::atomic<bool> stop{false};
  std::atomic<int> checked{0};
  std::vector<std::thread> readers;
  for (int t = 0; t < 3; ++t) {
    readers.emplace_back([&] {
      while (!stop.load()) {
        const auto velocity = unit->getOdom();
        const auto pose = unit->getOdomPose();
        const int v = velocity.header.stamp.sec;
        const int p = pose.header.stamp.sec;
        EXPECT_EQ(velocity.header.frame_id, v == 0 ? "" : "odom" + std::to_string(v));
        EXPECT_EQ(velocity.twist.linear.x, 0.5 * v);
        EXPECT_EQ(velocity.twist.angular.z, -0.125 * v);
        EXPECT_EQ(pose.header.frame_id, p == 0 ? "" : "odom" + std::to_string(p));
        EXPECT_EQ(pose.pose.position.y, 2.0 * p);
        ++checked;
      }
    });
  }
  for (int n = 1; n <= 300; ++n) {
    odom_pub->publish(odometry(n));
  }
  EXPECT_TRUE(skelmar_test::waitFor([&] { return unit->getOdom().header.stamp.sec == 300; }));
  stop = true;
  for (auto & reader : readers) {
    reader.join();
  }
  EXPECT_GT(checked.load(), 0);
}
