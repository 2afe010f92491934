#ifndef CROSS_PROCESS__CROSS_PROCESS_SCENE_HPP_
#define CROSS_PROCESS__CROSS_PROCESS_SCENE_HPP_

// What the peer process sends, and what it must receive from the engine's process.

#include <cstdint>

#include "geometry_msgs/msg/transform_stamped.hpp"
#include "geometry_msgs/msg/twist.hpp"
#include "nav_msgs/msg/odometry.hpp"
#include "nav_msgs/msg/path.hpp"
#include "skelmar_nav2_protocol/msg/multi_paths.hpp"
#include "skelmar_protocol/msg/dynamic_obstacles.hpp"

namespace cross_process {

constexpr float kRatio = 0.5F;         // on "planner_speed"
constexpr std::int8_t kErrorCode = 7;  // from the peer's decision bundle

inline nav_msgs::msg::Odometry odometry()  // planar, as the odometry unit keeps it
{
  nav_msgs::msg::Odometry odom;
  odom.header.set__frame_id("odom").stamp.set__sec(1700000000).set__nanosec(250000000);
  odom.pose.pose.position.set__x(1.5).set__y(-2.25);
  odom.pose.pose.orientation.set__z(0.6).set__w(0.8);
  odom.twist.twist.linear.x = 0.35;
  odom.twist.twist.angular.z = -0.125;
  return odom;
}

inline geometry_msgs::msg::TransformStamped mapToOdom()  // half a turn and a shift, exact
{
  geometry_msgs::msg::TransformStamped transform;
  transform.set__child_frame_id("odom").header.frame_id = "map";
  transform.transform.translation.set__x(10.0).set__y(-4.0);
  transform.transform.rotation.set__z(1.0).set__w(0.0);
  return transform;
}

inline skelmar_protocol::msg::DynamicObstacles obstacles()  // three points and none, in "odom"
{
  skelmar_protocol::msg::DynamicObstacles message;
  message.header.set__frame_id("odom").stamp.sec = 42;
  message.obstacles.resize(2);
  for (const auto & [x, y] : {std::pair{1.0, 2.0}, {-0.5, 0.25}, {3.0, -1.0}}) {
    message.obstacles[0].points.emplace_back().set__x(x).set__y(y).set__z(0.5);
  }
  return message;
}

// The engine's command; the peer receives its planar components scaled by kRatio.
inline geometry_msgs::msg::Twist command(double planar = 1.0)
{
  geometry_msgs::msg::Twist twist;
  twist.linear.set__x(0.4 * planar).set__y(0.2 * planar).set__z(-1.0);
  twist.angular.set__x(0.75).set__z(planar);
  return twist;
}

// The path the peer receives: three poses in "map", which the engine sends in two entries.
inline nav_msgs::msg::Path flatPath()
{
  nav_msgs::msg::Path path;
  path.header.frame_id = "map";
  for (const double s : {0.0, 1.0, 2.0}) {
    path.poses.emplace_back().header.frame_id = "map";
    path.poses.back().pose.position.set__x(0.5 * s).set__y(-0.25 * s);
  }
  return path;
}
inline skelmar_nav2_protocol::msg::MultiPaths globalPath()
{
  const auto poses = flatPath().poses;
  skelmar_nav2_protocol::msg::MultiPaths multi;
  multi.paths.resize(2);
  multi.paths[0].set__poses({poses[0]}).header.frame_id = "map";
  multi.paths[1].poses = {poses[1], poses[2]};
  return multi;
}

}  // namespace cross_process

#endif  // CROSS_PROCESS__CROSS_PROCESS_SCENE_HPP_
