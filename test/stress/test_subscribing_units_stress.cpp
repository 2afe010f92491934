// The units that receive: their callbacks run at full rate while eight threads call their
// operations; every value read back belongs to one whole message.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "communicator/communicator_test_helpers.hpp"
#include "skelmar_nav2_tools/communicator/microunit_cmd_vel.hpp"
#include "skelmar_nav2_tools/communicator/microunit_dynamic_obstacle.hpp"
#include "skelmar_nav2_tools/communicator/microunit_odom.hpp"
#include "skelmar_nav2_tools/communicator/microunit_people_info.hpp"
#include "stress_support.hpp"
#include "tf2_ros/transform_broadcaster.h"

using communicator_test::Inbox;
using communicator_test::SpunNode;

namespace {

constexpr int kCallsPerThread = 400;
constexpr int kReadsPerThread = 2000;
// Messages the feeders send at least while the readers read.
constexpr std::int64_t kMessages = 3000;

/// Seconds since @p start.
double since(std::chrono::steady_clock::time_point start)
{
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Ratios the planner sends in turn; the non-finite one must never reach a command.
const float kRatios[] = {0.5F, 2.0F, std::nanf("")};

bool isKnownRatio(double factor)
{
  return factor == 1.0 || factor == 0.5 || factor == 2.0;
}

}  // namespace

TEST(UnitStress, CmdVelCommandsFromEightThreadsWhileRatiosArrive)
{
  SpunNode unit_node("stress_cmd_vel");
  SpunNode peer("stress_cmd_vel_peer");
  auto unit = std::make_shared<skelmar_communicator::MicroUnitCmdVel>(unit_node.node);
  Inbox<geometry_msgs::msg::Twist> inbox(
      *peer.node, "/cmd_vel_raw", rclcpp::QoS(rclcpp::KeepAll()).reliable());
  auto ratio_pub = peer.node->create_publisher<skelmar_protocol::msg::PlannerSpeedControl>(
      unit->planner_speed_sub->get_topic_name(), 10);
  unit_node.spin();
  peer.spin();
  ASSERT_TRUE(inbox.waitForMatch(unit->cmd_vel_pub));

  stress::Repeater ratios([&](std::int64_t n) {
    skelmar_protocol::msg::PlannerSpeedControl msg;
    msg.speed_ratio = kRatios[n % 3];
    ratio_pub->publish(msg);
  });
  // Every command carries its number c in linear.z (passed through unscaled): its scaled
  // components must each be c times one ratio the planner sent.
  const double seconds = stress::runTogether(stress::kThreads, [&](int t) {
    for (int k = 0; k < kCallsPerThread; ++k) {
      const double c = t * kCallsPerThread + k + 1;
      geometry_msgs::msg::TwistStamped cmd;
      cmd.twist.linear.x = c;
      cmd.twist.linear.y = 2 * c;
      cmd.twist.linear.z = c;
      cmd.twist.angular.x = -c;
      cmd.twist.angular.z = 3 * c;
      switch (k % 3) {
        case 0:
          unit->publishVelocity(cmd.twist);
          break;
        case 1:
          unit->publishVelocity(cmd);
          break;
        default:
          unit->publishZeroVelocity();
          break;
      }
    }
  });
  ratios.stop();

  const int sent = stress::kThreads * kCallsPerThread;
  // Keep last 1 on the publisher side promises only the newest; everything that arrives
  // must be whole and unique.
  inbox.waitForCount(static_cast<size_t>(sent), std::chrono::seconds(2));
  const auto received = inbox.messages();
  ASSERT_FALSE(received.empty());
  ASSERT_LE(received.size(), static_cast<size_t>(sent));
  std::set<double> numbers;
  for (const auto & twist : received) {
    const double c = twist.linear.z;
    if (c == 0.0) {
      EXPECT_EQ(twist, geometry_msgs::msg::Twist());
      continue;
    }
    EXPECT_TRUE(numbers.insert(c).second) << "command " << c << " arrived twice";
    EXPECT_EQ(twist.angular.x, -c);
    EXPECT_EQ(twist.angular.y, 0.0);
    EXPECT_TRUE(isKnownRatio(twist.linear.x / c)) << twist.linear.x;
    EXPECT_TRUE(isKnownRatio(twist.linear.y / (2 * c))) << twist.linear.y;
    EXPECT_TRUE(isKnownRatio(twist.angular.z / (3 * c))) << twist.angular.z;
  }
  EXPECT_TRUE(std::isfinite(unit->speed_ratio.load()));
  stress::report("threads", stress::kThreads);
  stress::report("commands_per_second", sent / seconds);
  stress::report("commands_received", static_cast<double>(received.size()));
  stress::report("ratio_messages_sent", static_cast<double>(ratios.count()));
}

namespace {

// Odometry whose every kept field follows from n.
nav_msgs::msg::Odometry odometry(std::int64_t n)
{
  nav_msgs::msg::Odometry msg;
  msg.header.stamp.sec = static_cast<int32_t>(n);
  msg.header.frame_id = "odom_" + std::to_string(n);
  msg.twist.twist.linear.x = static_cast<double>(n);
  msg.twist.twist.linear.y = -static_cast<double>(n);
  msg.twist.twist.angular.z = 2.0 * static_cast<double>(n);
  msg.twist.twist.linear.z = 99.0;  // not kept
  msg.pose.pose.position.x = static_cast<double>(n);
  msg.pose.pose.position.y = static_cast<double>(n) + 0.5;
  msg.pose.pose.orientation.w = static_cast<double>(n);
  return msg;
}

}  // namespace

TEST(UnitStress, OdomReadFromEightThreadsWhileMessagesArrive)
{
  SpunNode unit_node("stress_odom");
  SpunNode peer("stress_odom_peer");
  auto unit = std::make_shared<skelmar_communicator::MicroUnitOdom>(unit_node.node);
  auto odom_pub = peer.node->create_publisher<nav_msgs::msg::Odometry>(
      unit->odom_sub->get_topic_name(), rclcpp::SystemDefaultsQoS());
  unit_node.spin();
  ASSERT_TRUE(skelmar_test::waitFor([&] { return odom_pub->get_subscription_count() > 0; }));

  const auto start = std::chrono::steady_clock::now();
  stress::Repeater feeder([&](std::int64_t n) { odom_pub->publish(odometry(n)); });
  std::atomic<std::int64_t> distinct{0};
  std::atomic<std::int64_t> reads{0};
  stress::runTogether(stress::kThreads, [&](int t) {
    int32_t last_velocity = 0;
    int32_t last_pose = 0;
    for (int k = 0; k < kReadsPerThread || feeder.count() < kMessages; ++k, ++reads) {
      if ((k + t) % 2 == 0) {
        const auto velocity = unit->getOdom();
        const int32_t n = velocity.header.stamp.sec;
        ASSERT_GE(n, last_velocity) << "one publisher's messages arrive in order";
        distinct += n != last_velocity;
        last_velocity = n;
        if (n == 0) {
          ASSERT_EQ(velocity, geometry_msgs::msg::TwistStamped());
          continue;
        }
        ASSERT_EQ(velocity.header.frame_id, "odom_" + std::to_string(n));
        ASSERT_EQ(velocity.twist.linear.x, n);
        ASSERT_EQ(velocity.twist.linear.y, -n);
        ASSERT_EQ(velocity.twist.angular.z, 2.0 * n);
        ASSERT_EQ(velocity.twist.linear.z, 0.0);
      } else {
        const auto pose = unit->getOdomPose();
        const int32_t n = pose.header.stamp.sec;
        ASSERT_GE(n, last_pose);
        last_pose = n;
        if (n == 0) {
          continue;
        }
        ASSERT_EQ(pose.header.frame_id, "odom_" + std::to_string(n));
        ASSERT_EQ(pose.pose.position.x, n);
        ASSERT_EQ(pose.pose.position.y, n + 0.5);
        ASSERT_EQ(pose.pose.orientation.w, n);
      }
    }
  });
  feeder.stop();
  const std::int64_t sent = feeder.count();
  // Reliable delivery promises the newest message at least.
  EXPECT_TRUE(skelmar_test::waitFor([&] { return unit->getOdom().header.stamp.sec == sent; }));
  const double seconds = since(start);
  EXPECT_EQ(unit->getOdomPose().header.stamp.sec, sent);
  stress::report("threads", stress::kThreads);
  stress::report("reads_per_second", static_cast<double>(reads.load()) / seconds);
  stress::report("odometry_messages_per_second", static_cast<double>(sent) / seconds);
  stress::report("distinct_snapshots_seen", static_cast<double>(distinct.load()));
}

namespace {

// A people list whose header and objects all follow from n and its topic.
skelmar_protocol::msg::ObjectList people(const std::string & topic, std::int64_t n)
{
  skelmar_protocol::msg::ObjectList msg;
  msg.header.stamp.sec = static_cast<int32_t>(n);
  msg.header.frame_id = topic;
  msg.text = "dropped";
  msg.scalar = 7;
  msg.objects.resize(static_cast<size_t>(n % 5));
  for (size_t i = 0; i < msg.objects.size(); ++i) {
    msg.objects[i].id = static_cast<int32_t>(n);
    msg.objects[i].x = static_cast<double>(i);
    msg.objects[i].history_ids.assign(static_cast<size_t>(n % 3), static_cast<int32_t>(n));
  }
  return msg;
}

void expectWholeList(const std::string & topic, const skelmar_protocol::msg::ObjectList & list)
{
  const int32_t n = list.header.stamp.sec;
  ASSERT_EQ(list.header.frame_id, topic);
  ASSERT_EQ(list.text, "");
  ASSERT_EQ(list.scalar, 0);
  ASSERT_EQ(list.objects.size(), static_cast<size_t>(n % 5));
  for (size_t i = 0; i < list.objects.size(); ++i) {
    ASSERT_EQ(list.objects[i].id, n);
    ASSERT_EQ(list.objects[i].x, static_cast<double>(i));
    ASSERT_EQ(list.objects[i].history_ids, std::vector<int32_t>(static_cast<size_t>(n % 3), n));
  }
}

}  // namespace

TEST(UnitStress, PeopleInfoReadFromEightThreadsWhileThreeTopicsArrive)
{
  const std::vector<std::string> topics{"people_front", "people_back", "people_side"};
  SpunNode unit_node(
      "stress_people", "",
      rclcpp::NodeOptions().parameter_overrides({{"communicator_people_info_topic", topics}}));
  SpunNode peer("stress_people_peer");
  auto unit = std::make_shared<skelmar_communicator::MicroUnitPeopleInfo>(unit_node.node);
  std::vector<rclcpp::Publisher<skelmar_protocol::msg::ObjectList>::SharedPtr> pubs;
  for (const auto & topic : topics) {
    pubs.push_back(peer.node->create_publisher<skelmar_protocol::msg::ObjectList>(
        unit->people_subs.at(topic)->get_topic_name(), rclcpp::SystemDefaultsQoS()));
  }
  unit_node.spin();
  for (const auto & pub : pubs) {
    ASSERT_TRUE(skelmar_test::waitFor([&] { return pub->get_subscription_count() > 0; }));
  }

  const auto start = std::chrono::steady_clock::now();
  std::vector<std::unique_ptr<stress::Repeater>> feeders;
  for (size_t i = 0; i < topics.size(); ++i) {
    feeders.push_back(std::make_unique<stress::Repeater>(
        [&, i](std::int64_t n) { pubs[i]->publish(people(topics[i], n)); }));
  }
  std::atomic<std::int64_t> reads{0};
  stress::runTogether(stress::kThreads, [&](int) {
    for (int k = 0; k < kReadsPerThread / 4 || feeders.back()->count() < kMessages; ++k, ++reads) {
      const auto table = unit->getPeopleInfo();
      ASSERT_LE(table.size(), topics.size());
      for (const auto & [topic, list] : table) {
        expectWholeList(topic, list);
      }
    }
  });
  std::int64_t sent = 0;
  for (size_t i = 0; i < topics.size(); ++i) {
    feeders[i]->stop();
    const std::int64_t last = feeders[i]->count();
    sent += last;
    EXPECT_TRUE(skelmar_test::waitFor([&] {
      const auto table = unit->getPeopleInfo();
      return table.count(topics[i]) == 1 && table.at(topics[i]).header.stamp.sec == last;
    })) << topics[i];
  }
  const double seconds = since(start);
  stress::report("threads", stress::kThreads);
  stress::report("table_reads_per_second", static_cast<double>(reads.load()) / seconds);
  stress::report("people_messages_per_second", static_cast<double>(sent) / seconds);
}

namespace {

// Obstacles of message n: n % 4 + 1 obstacles of n % 3 + 1 points each, point j of obstacle
// i at (n, i, j); every other message comes in "laser", which lies at (1, 2, 3) in "map".
skelmar_protocol::msg::DynamicObstacles obstacleMessage(std::int64_t n)
{
  skelmar_protocol::msg::DynamicObstacles msg;
  msg.header.stamp.sec = static_cast<int32_t>(n);
  msg.header.frame_id = n % 2 == 0 ? "map" : "laser";
  msg.obstacles.resize(static_cast<size_t>(n % 4 + 1));
  for (size_t i = 0; i < msg.obstacles.size(); ++i) {
    for (int j = 0; j <= n % 3; ++j) {
      geometry_msgs::msg::Point point;
      point.x = static_cast<double>(n);
      point.y = static_cast<double>(i);
      point.z = static_cast<double>(j);
      msg.obstacles[i].points.push_back(point);
    }
  }
  return msg;
}

geometry_msgs::msg::TransformStamped laserInMap(std::int64_t n)
{
  geometry_msgs::msg::TransformStamped transform;
  transform.header.stamp.sec = static_cast<int32_t>(n);
  transform.header.frame_id = "map";
  transform.child_frame_id = "laser";
  transform.transform.translation.x = 1.0;
  transform.transform.translation.y = 2.0;
  transform.transform.translation.z = 3.0;
  transform.transform.rotation.w = 1.0;
  return transform;
}

void expectWholeObstacles(const std::vector<nav_msgs::msg::Path> & paths)
{
  if (paths.empty()) {
    return;  // before the first message, or a lookup that failed
  }
  const int32_t n = paths.front().header.stamp.sec;
  const double shift = n % 2 == 0 ? 0.0 : 1.0;
  ASSERT_EQ(paths.size(), static_cast<size_t>(n % 4 + 1));
  for (size_t i = 0; i < paths.size(); ++i) {
    ASSERT_EQ(paths[i].header.stamp.sec, n);
    ASSERT_EQ(paths[i].header.frame_id, "map");
    ASSERT_EQ(paths[i].poses.size(), static_cast<size_t>(n % 3 + 1));
    for (size_t j = 0; j < paths[i].poses.size(); ++j) {
      const auto & pose = paths[i].poses[j].pose;
      ASSERT_EQ(pose.position.x, n + shift);
      ASSERT_EQ(pose.position.y, static_cast<double>(i) + 2.0 * shift);
      ASSERT_EQ(pose.position.z, static_cast<double>(j) + 3.0 * shift);
      ASSERT_EQ(pose.orientation.w, 1.0);
    }
  }
}

}  // namespace

TEST(UnitStress, DynamicObstaclesReadFromEightThreadsWhileMessagesAndTransformsArrive)
{
  SpunNode unit_node("stress_obstacles");
  SpunNode peer("stress_obstacles_peer");
  auto unit = std::make_shared<skelmar_communicator::MicroUnitDynamicObstacle>(unit_node.node);
  auto obstacle_pub = peer.node->create_publisher<skelmar_protocol::msg::DynamicObstacles>(
      "/bev_tracker_dynamic_obstacles", rclcpp::SystemDefaultsQoS());
  tf2_ros::TransformBroadcaster broadcaster(peer.node);
  unit_node.spin();
  ASSERT_TRUE(skelmar_test::waitFor([&] { return obstacle_pub->get_subscription_count() > 0; }));
  broadcaster.sendTransform(laserInMap(1));
  ASSERT_TRUE(skelmar_test::waitFor(
      [&] { return unit->tf_buffer->canTransform("map", "laser", tf2::TimePointZero); }));

  const auto start = std::chrono::steady_clock::now();
  stress::Repeater transforms([&](std::int64_t n) { broadcaster.sendTransform(laserInMap(n)); });
  stress::Repeater feeder([&](std::int64_t n) { obstacle_pub->publish(obstacleMessage(n)); });
  std::atomic<std::int64_t> reads{0};
  stress::runTogether(stress::kThreads, [&](int) {
    for (int k = 0; k < kReadsPerThread / 4 || feeder.count() < kMessages; ++k, ++reads) {
      expectWholeObstacles(unit->getDynamicObstacle());
    }
  });
  feeder.stop();
  transforms.stop();
  const std::int64_t sent = feeder.count();
  EXPECT_TRUE(skelmar_test::waitFor([&] {
    const auto paths = unit->getDynamicObstacle();
    return !paths.empty() && paths.front().header.stamp.sec == sent;
  }));
  const double seconds = since(start);
  expectWholeObstacles(unit->getDynamicObstacle());
  stress::report("threads", stress::kThreads);
  stress::report("reads_per_second", static_cast<double>(reads.load()) / seconds);
  stress::report("obstacle_messages_per_second", static_cast<double>(sent) / seconds);
  stress::report("transforms_per_second", static_cast<double>(transforms.count()) / seconds);
}
