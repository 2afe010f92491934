// The units under load: eight threads call every publish operation at once, or read every
// getter while callbacks replace the data at full rate. Whatever arrives or is read belongs to
// one whole call or message, and nothing arrives twice.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <list>
#include <set>
#include <string>
#include <vector>

#include "skelmar_nav2_tools/communicator/microunit_cmd_vel.hpp"
#include "skelmar_nav2_tools/communicator/microunit_dynamic_obstacle.hpp"
#include "skelmar_nav2_tools/communicator/microunit_err_code.hpp"
#include "skelmar_nav2_tools/communicator/microunit_odom.hpp"
#include "skelmar_nav2_tools/communicator/microunit_people_info.hpp"
#include "skelmar_nav2_tools/communicator/microunit_planning.hpp"
#include "skelmar_nav2_tools/communicator/microunit_robot_event.hpp"
#include "skelmar_nav2_tools/communicator/microunit_trace.hpp"
#include "stress_support.hpp"
#include "support/ros_test_support.hpp"
#include "tf2_ros/transform_broadcaster.h"

using geometry_msgs::msg::PoseStamped;
using nav_msgs::msg::Path;
using skelmar_test::Inbox;
using skelmar_test::SpunNode;

namespace {

constexpr int kCallsPerThread = 300;

/// Calls @p publish with the numbers 1 .. kThreads * kCallsPerThread from kThreads threads at
/// once; every message on the publisher's topic must be the one @p expected gives for the
/// number @p numberOf reads from it, and arrive once.
template <typename MessageT>
void publishFromEightThreads(
    rclcpp::Node & peer, const rclcpp::PublisherBase::SharedPtr & publisher,
    const std::function<void(int)> & publish, const std::function<MessageT(int)> & expected,
    const std::function<int(const MessageT &)> & numberOf)
{
  SCOPED_TRACE(publisher->get_topic_name());
  Inbox<MessageT> inbox(
      peer, publisher->get_topic_name(), rclcpp::QoS(rclcpp::KeepAll()).reliable());
  ASSERT_TRUE(inbox.waitForMatch(publisher));
  stress::runTogether(stress::kThreads, [&](int t) {
    for (int k = 1; k <= kCallsPerThread; ++k) {
      publish(t * kCallsPerThread + k);
    }
  });
  // The units keep the last message only: what arrives is checked, not how much.
  inbox.waitForCount(stress::kThreads * kCallsPerThread, std::chrono::seconds(2));
  const auto received = inbox.messages();
  ASSERT_FALSE(received.empty());
  std::set<int> numbers;
  for (const auto & msg : received) {
    const int number = numberOf(msg);
    ASSERT_TRUE(msg == expected(number)) << "message " << number << " mixes several calls";
    EXPECT_TRUE(numbers.insert(number).second) << "message " << number << " arrived twice";
  }
}

PoseStamped poseAt(double x, double y, const std::string & frame = "")
{
  PoseStamped pose;
  pose.header.frame_id = frame;
  pose.pose.position.x = x;
  pose.pose.position.y = y;
  pose.pose.orientation.w = 1.0;
  return pose;
}

std::string numbered(const std::string & prefix, int n)
{
  return prefix + std::to_string(n);
}

int numberAfter(const std::string & text)
{
  return std::stoi(text.substr(1));
}

}  // namespace

TEST(UnitStress, PublishersCalledFromEightThreads)
{
  SpunNode unit_node("stress_publishers");
  SpunNode peer("stress_publishers_peer");
  skelmar_communicator::MicroUnitPlanning planning(unit_node.node);
  skelmar_communicator::MicroUnitTrace trace(unit_node.node);
  skelmar_communicator::MicroUnitErrCode err_code(unit_node.node);
  skelmar_communicator::MicroUnitRobotEvent robot_event(unit_node.node);
  peer.spin();

  // Message c of a path operation: c % 3 + 1 entries of two poses each, framed "f<c>".
  const auto multiPaths = [](int c) {
    skelmar_nav2_protocol::msg::MultiPaths msg;
    msg.paths.resize(static_cast<size_t>(c % 3 + 1));
    for (auto & entry : msg.paths) {
      entry.header.frame_id = numbered("f", c);
      entry.poses = {poseAt(c, 0), poseAt(c, 1)};
    }
    return msg;
  };
  const std::function<Path(int)> flattened = [](int c) {
    Path path;
    path.header.frame_id = numbered("f", c);
    for (int i = 0; i <= c % 3; ++i) {
      path.poses.insert(path.poses.end(), {poseAt(c, 0), poseAt(c, 1)});
    }
    return path;
  };
  const std::function<int(const Path &)> pathFrame = [](const Path & path) {
    return numberAfter(path.header.frame_id);
  };
  for (const auto & [publisher, publish] :
       std::vector<std::pair<rclcpp::PublisherBase::SharedPtr, std::function<void(int)>>>{
           {planning.global_path_pub, [&](int c) { planning.publishGlobalPath(multiPaths(c)); }},
           {planning.dynamic_global_path_pub,
            [&](int c) { planning.publishDynamicGlobalPath(multiPaths(c)); }},
           {planning.cropped_global_path_pub,
            [&](int c) { planning.publishCroppedGlobalPath(multiPaths(c)); }}}) {
    publishFromEightThreads<Path>(*peer.node, publisher, publish, flattened, pathFrame);
  }
  publishFromEightThreads<Path>(
      *peer.node, trace.local_end_pose_pub,
      [&](int c) { trace.PublishLocalEndPose(poseAt(c, 0, numbered("f", c)), poseAt(c, 1)); },
      [](int c) {
        Path path;
        path.header.frame_id = numbered("f", c);
        path.poses = {poseAt(c, 0, numbered("f", c)), poseAt(c, 1)};
        return path;
      },
      pathFrame);
  publishFromEightThreads<Path>(
      *peer.node, planning.covered_path_pub,
      [&](int c) {
        planning.publishCoveredPath(std::vector<PoseStamped>(c % 3 + 1, poseAt(c, 0)));
      },
      [](int c) {
        Path path;
        path.header.frame_id = "map";
        path.poses.assign(c % 3 + 1, poseAt(c, 0));
        return path;
      },
      [](const Path & path) {
        return path.poses.empty() ? 0 : static_cast<int>(path.poses[0].pose.position.x);
      });
  const auto contour = [](int c) {
    geometry_msgs::msg::PolygonStamped polygon;
    polygon.header.frame_id = "map";
    polygon.polygon.points.resize(static_cast<size_t>(c % 4 + 1));
    for (auto & point : polygon.polygon.points) {
      point.x = static_cast<float>(c);
    }
    return polygon;
  };
  publishFromEightThreads<geometry_msgs::msg::PolygonStamped>(
      *peer.node, planning.contour_pub, [&](int c) { planning.publishContour(contour(c).polygon); },
      contour, [](const auto & polygon) { return static_cast<int>(polygon.polygon.points[0].x); });
  // The footprint (1, 0), (0, 1) placed at (c, 0) without rotation, stamped c.
  const auto footprint = [](int c) {
    geometry_msgs::msg::PolygonStamped placed;
    placed.header.stamp.sec = c;
    placed.polygon.points.resize(2);
    placed.polygon.points[0].x = static_cast<float>(c + 1);
    placed.polygon.points[1].x = static_cast<float>(c);
    placed.polygon.points[1].y = 1.0F;
    return placed;
  };
  publishFromEightThreads<geometry_msgs::msg::PolygonStamped>(
      *peer.node, trace.footprint_pub,
      [&](int c) {
        std::vector<geometry_msgs::msg::Point> points(2);
        points[0].x = 1.0;
        points[1].y = 1.0;
        auto pose = poseAt(c, 0);
        pose.header.stamp.sec = c;
        trace.publishFootPrint(points, pose);
      },
      footprint, [](const auto & placed) { return placed.header.stamp.sec; });
  publishFromEightThreads<skelmar_protocol::msg::TriggerRosbag>(
      *peer.node, err_code.trigger_rosbag_pub,
      [&](int c) { err_code.publishActiveTriggerRosbag(numbered("a", c), numbered("b", c)); },
      [](int c) {
        skelmar_protocol::msg::TriggerRosbag msg;
        msg.first_text = numbered("b", c);
        msg.second_text = numbered("a", c);
        return msg;
      },
      [](const auto & msg) { return numberAfter(msg.first_text); });
  publishFromEightThreads<skelmar_protocol::msg::RobotEvent>(
      *peer.node, robot_event.robot_event_pub,
      [&](int c) {
        skelmar_protocol::msg::RobotEvent event;
        event.event_id = c;
        event.arguments.assign(static_cast<size_t>(c % 4), std::to_string(c));
        robot_event.publishRobotEvent(event);
      },
      [](int c) {
        skelmar_protocol::msg::RobotEvent event;
        event.event_id = c;
        event.arguments.assign(static_cast<size_t>(c % 4), std::to_string(c));
        return event;
      },
      [](const auto & event) { return event.event_id; });
}

TEST(UnitStress, CmdVelCommandsFromEightThreadsWhileRatiosArrive)
{
  SpunNode unit_node("stress_cmd_vel");
  SpunNode peer("stress_cmd_vel_peer");
  skelmar_communicator::MicroUnitCmdVel unit(unit_node.node);
  const auto spinning = skelmar_test::spin(unit_node.node);
  Inbox<geometry_msgs::msg::Twist> inbox(
      *peer.node, "/cmd_vel_raw", rclcpp::QoS(rclcpp::KeepAll()).reliable());
  auto ratio_pub =
      peer.node->create_publisher<skelmar_protocol::msg::PlannerSpeedControl>("planner_speed", 10);
  peer.spin();
  ASSERT_TRUE(inbox.waitForMatch(unit.cmd_vel_pub));

  // The planner's ratios in turn; the non-finite one must never reach a command.
  const float ratios[] = {0.5F, 2.0F, std::nanf("")};
  stress::Repeater ratio_feeder([&](std::int64_t n) {
    skelmar_protocol::msg::PlannerSpeedControl msg;
    msg.speed_ratio = ratios[n % 3];
    ratio_pub->publish(msg);
  });
  // Command c carries c in linear.z (not scaled): its scaled components must each be c times
  // one ratio the planner sent (or the initial 1).
  stress::runTogether(stress::kThreads, [&](int t) {
    for (int k = 0; k < kCallsPerThread; ++k) {
      const double c = t * kCallsPerThread + k + 1;
      geometry_msgs::msg::TwistStamped cmd;
      cmd.twist.linear.x = c;
      cmd.twist.linear.y = 2 * c;
      cmd.twist.linear.z = c;
      cmd.twist.angular.x = -c;
      cmd.twist.angular.z = 3 * c;
      k % 3 == 0   ? unit.publishVelocity(cmd.twist)
      : k % 3 == 1 ? unit.publishVelocity(cmd)
                   : unit.publishZeroVelocity();
    }
  });
  ratio_feeder.stop();
  inbox.waitForCount(stress::kThreads * kCallsPerThread, std::chrono::seconds(2));
  const auto isRatio = [](double factor) {
    return factor == 1.0 || factor == 0.5 || factor == 2.0;
  };
  std::set<double> numbers;
  for (const auto & twist : inbox.messages()) {
    const double c = twist.linear.z;
    if (c == 0.0) {
      EXPECT_EQ(twist, geometry_msgs::msg::Twist());
      continue;
    }
    EXPECT_TRUE(numbers.insert(c).second) << "command " << c << " arrived twice";
    EXPECT_EQ(twist.angular.x, -c);
    EXPECT_TRUE(isRatio(twist.linear.x / c)) << twist.linear.x;
    EXPECT_TRUE(isRatio(twist.linear.y / (2 * c))) << twist.linear.y;
    EXPECT_TRUE(isRatio(twist.angular.z / (3 * c))) << twist.angular.z;
  }
  EXPECT_FALSE(numbers.empty());
}

namespace {

// Message n of each input: every kept field follows from n (and the topic), so a snapshot can
// be checked to come from one message.
nav_msgs::msg::Odometry odometry(std::int64_t n)
{
  nav_msgs::msg::Odometry msg;
  msg.header.stamp.sec = static_cast<int32_t>(n);
  msg.header.frame_id = numbered("odom_", static_cast<int>(n));
  msg.twist.twist.linear.x = static_cast<double>(n);
  msg.twist.twist.linear.y = -static_cast<double>(n);
  msg.twist.twist.angular.z = 2.0 * static_cast<double>(n);
  msg.pose.pose.position.x = static_cast<double>(n);
  msg.pose.pose.orientation.w = static_cast<double>(n);
  return msg;
}

skelmar_protocol::msg::ObjectList people(const std::string & topic, std::int64_t n)
{
  skelmar_protocol::msg::ObjectList msg;
  msg.header.stamp.sec = static_cast<int32_t>(n);
  msg.header.frame_id = topic;
  msg.objects.resize(static_cast<size_t>(n % 5));
  for (auto & object : msg.objects) {
    object.id = static_cast<int32_t>(n);
    object.history_ids.assign(static_cast<size_t>(n % 3), static_cast<int32_t>(n));
  }
  return msg;
}

// n % 4 + 1 obstacles of n % 3 + 1 points at (n, i, j); every other message comes in
// "laser", which lies at (1, 2, 3) in "map".
skelmar_protocol::msg::DynamicObstacles obstacles(std::int64_t n)
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
      point.z = j;
      msg.obstacles[i].points.push_back(point);
    }
  }
  return msg;
}

void expectWhole(const std::vector<Path> & paths)
{
  if (paths.empty()) {
    return;  // before the first message, or after a lookup that failed
  }
  const int32_t n = paths[0].header.stamp.sec;
  const double shift = n % 2 == 0 ? 0.0 : 1.0;
  ASSERT_EQ(paths.size(), static_cast<size_t>(n % 4 + 1));
  for (size_t i = 0; i < paths.size(); ++i) {
    ASSERT_EQ(paths[i].header.stamp.sec, n);
    ASSERT_EQ(paths[i].poses.size(), static_cast<size_t>(n % 3 + 1));
    for (size_t j = 0; j < paths[i].poses.size(); ++j) {
      const auto & position = paths[i].poses[j].pose.position;
      ASSERT_EQ(position.x, n + shift);
      ASSERT_EQ(position.y, static_cast<double>(i) + 2.0 * shift);
      ASSERT_EQ(position.z, static_cast<double>(j) + 3.0 * shift);
    }
  }
}

}  // namespace

TEST(UnitStress, GettersReadFromEightThreadsWhileMessagesAndTransformsArrive)
{
  const std::vector<std::string> topics{"people_front", "people_back", "people_side"};
  SpunNode peer("stress_getters_peer");
  SpunNode unit_node(
      "stress_getters", "",
      rclcpp::NodeOptions().parameter_overrides({{"communicator_people_info_topic", topics}}));
  skelmar_communicator::MicroUnitOdom odom(unit_node.node);
  skelmar_communicator::MicroUnitPeopleInfo people_info(unit_node.node);
  skelmar_communicator::MicroUnitDynamicObstacle obstacle_unit(unit_node.node);
  const auto spinning = skelmar_test::spin(unit_node.node);
  auto & node = *peer.node;
  auto odom_pub = node.create_publisher<nav_msgs::msg::Odometry>(
      "robot_base/wheel/odom", rclcpp::SystemDefaultsQoS());
  auto obstacle_pub = node.create_publisher<skelmar_protocol::msg::DynamicObstacles>(
      "/bev_tracker_dynamic_obstacles", rclcpp::SystemDefaultsQoS());
  tf2_ros::TransformBroadcaster broadcaster(peer.node);
  geometry_msgs::msg::TransformStamped laser;
  laser.header.frame_id = "map";
  laser.child_frame_id = "laser";
  laser.transform.translation.x = 1.0;
  laser.transform.translation.y = 2.0;
  laser.transform.translation.z = 3.0;
  laser.transform.rotation.w = 1.0;
  ASSERT_TRUE(skelmar_test::waitFor([&] {
    broadcaster.sendTransform(laser);
    return obstacle_unit.tf_buffer->canTransform("map", "laser", tf2::TimePointZero);
  }));

  std::list<stress::Repeater> feeders;
  feeders.emplace_back([&](std::int64_t n) { odom_pub->publish(odometry(n)); });
  feeders.emplace_back([&](std::int64_t n) { obstacle_pub->publish(obstacles(n)); });
  for (const auto & topic : topics) {
    auto pub = node.create_publisher<skelmar_protocol::msg::ObjectList>(
        topic, rclcpp::SystemDefaultsQoS());
    feeders.emplace_back([pub, topic](std::int64_t n) { pub->publish(people(topic, n)); });
  }
  stress::Repeater transforms([&](std::int64_t n) {
    laser.header.stamp.sec = static_cast<int32_t>(n);
    broadcaster.sendTransform(laser);
  });
  const auto fed = [&] {
    return std::all_of(
        feeders.begin(), feeders.end(), [](const auto & feeder) { return feeder.count() >= 3000; });
  };
  stress::runTogether(stress::kThreads, [&](int t) {
    int32_t last_velocity = 0;
    for (int k = 0; k < 2000 || !fed(); ++k) {
      switch ((k + t) % 3) {
        case 0: {
          const auto velocity = odom.getOdom();
          const auto pose = odom.getOdomPose();
          const int32_t n = velocity.header.stamp.sec;
          ASSERT_GE(n, last_velocity) << "one publisher's messages arrive in order";
          last_velocity = n;
          ASSERT_TRUE(n == 0 || velocity.header == odometry(n).header);
          ASSERT_EQ(velocity.twist.linear.x, n);
          ASSERT_EQ(velocity.twist.linear.y, -n);
          ASSERT_EQ(velocity.twist.angular.z, 2.0 * n);
          const int32_t p = pose.header.stamp.sec;
          ASSERT_EQ(pose.pose, p == 0 ? PoseStamped().pose : odometry(p).pose.pose);
          break;
        }
        case 1:
          for (const auto & [topic, list] : people_info.getPeopleInfo()) {
            ASSERT_EQ(list, people(topic, list.header.stamp.sec));
          }
          break;
        default:
          expectWhole(obstacle_unit.getDynamicObstacle());
          break;
      }
    }
  });
  transforms.stop();
  std::vector<std::int64_t> sent;
  for (auto & feeder : feeders) {
    feeder.stop();
    sent.push_back(feeder.count());
  }
  // Reliable delivery promises the newest message of every input at least.
  EXPECT_TRUE(skelmar_test::waitFor([&] {
    const auto paths = obstacle_unit.getDynamicObstacle();
    const auto lists = people_info.getPeopleInfo();
    bool all = odom.getOdom().header.stamp.sec == sent[0] && !paths.empty() &&
               paths[0].header.stamp.sec == sent[1] && lists.size() == topics.size();
    for (size_t i = 0; all && i < topics.size(); ++i) {
      all = lists.at(topics[i]).header.stamp.sec == sent[2 + i];
    }
    return all;
  }));
}
