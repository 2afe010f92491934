#ifndef CROSS_PROCESS__CROSS_PROCESS_SCENE_HPP_
#define CROSS_PROCESS__CROSS_PROCESS_SCENE_HPP_

// What the peer process sends and what the engine's process sends back, known to both.

#include <cstdint>

#include "geometry_msgs/msg/transform_stamped.hpp"
#include "geometry_msgs/msg/twist.hpp"
#include "nav_msgs/msg/odometry.hpp"
#include "skelmar_nav2_protocol/msg/multi_paths.hpp"
#include "skelmar_protocol/msg/dynamic_obstacles.hpp"

namespace cross_process {

/// The speed ratio the peer sends on "planner_speed" and the error code its decision bundle
/// reports.
constexpr float kRatio = 0.5F;
constexpr std::int8_t kErrorCode = 7;

inline nav_msgs::msg::Odometry odometry()
{
  nav_msgs::msg::Odometry odom;
  odom.header.stamp.set__sec(1700000000).set__nanosec(250000000);
  odom.header.frame_id = "odom";
  odom.pose.pose.position.set__x(1.5).set__y(-2.25);
  odom.pose.pose.orientation.set__z(0.6).set__w(0.8);
  odom.twist.twist.linear.x = 0.35;
  odom.twist.twist.angular.z = -0.125;
  return odom;
}

/// "map" -> "odom": half a turn about z and a shift, both exact in binary.
inline geometry_msgs::msg::TransformStamped mapToOdom()
{
  geometry_msgs::msg::TransformStamped transform;
  transform.header.frame_id = "map";
  transform.child_frame_id = "odom";
  transform.transform.translation.set__x(10.0).set__y(-4.0);
  transform.transform.rotation.set__z(1.0).set__w(0.0);
  return transform;
}

/// Two obstacles in "odom": three points and none.
inline skelmar_protocol::msg::DynamicObstacles obstacles()
{
  skelmar_protocol::msg::DynamicObstacles message;
  message.header.stamp.sec = 42;
  message.header.frame_id = "odom";
  message.obstacles.resize(2);
  for (const auto & [x, y] : {std::pair{1.0, 2.0}, {-0.5, 0.25}, {3.0, -1.0}}) {
    message.obstacles[0].points.emplace_back().set__x(x).set__y(y).set__z(0.5);
  }
  return message;
}

/// The command the engine publishes.
inline geometry_msgs::msg::Twist command()
{
  geometry_msgs::msg::Twist twist;
  twist.linear.set__x(0.4).set__y(0.2).set__z(-1.0);
  twist.angular.set__x(0.75).set__z(1.0);
  return twist;
}

/// The global path the engine publishes: two entries, flattened into one path in "map".
inline skelmar_nav2_protocol::msg::MultiPaths globalPath()
{
  skelmar_nav2_protocol::msg::MultiPaths paths;
  paths.paths.resize(2);
  paths.paths[0].header.frame_id = "map";
  for (int i = 0; i < 3; ++i) {
    auto & pose = paths.paths[i == 0 ? 0 : 1].poses.emplace_back();
    pose.header.frame_id = "map";
    pose.pose.position.set__x(0.5 * i).set__y(-0.25 * i);
  }
  return paths;
}

}  // namespace cross_process

#endif  // CROSS_PROCESS__CROSS_PROCESS_SCENE_HPP_
