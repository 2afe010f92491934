#ifndef CROSS_PROCESS__CROSS_PROCESS_SCENE_HPP_
#define CROSS_PROCESS__CROSS_PROCESS_SCENE_HPP_

// What the peer process sends, and what it must receive from the engine's process; the unit
// tests use the same messages.

#include "skelmar_nav2_tools/communicator/communicator.hpp"

namespace cross_process {

constexpr float kRatio = 0.5F;         // on "planner_speed"
constexpr std::int8_t kErrorCode = 7;  // from the peer's decision bundle

// The engine's command; the peer receives its planar components scaled by kRatio.
inline geometry_msgs::msg::Twist command(double planar = 1.0)
{
  geometry_msgs::msg::Twist twist;
  twist.linear.set__x(0.4 * planar).set__y(0.2 * planar).set__z(-1.0);
  twist.angular.set__x(0.75).set__y(-0.5).set__z(planar);
  return twist;
}

inline nav_msgs::msg::Odometry odometry()
{
  nav_msgs::msg::Odometry odom;
  odom.header.set__frame_id("odom").stamp.set__sec(1700000000).set__nanosec(250000000);
  odom.pose.pose.position.set__x(1.5).set__y(-2.25).set__z(0.5);
  odom.pose.pose.orientation.set__z(0.6).set__w(0.8);
  odom.twist.twist = command();
  return odom;
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

}  // namespace cross_process

#endif  // CROSS_PROCESS__CROSS_PROCESS_SCENE_HPP_
