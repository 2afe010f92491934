#include "skelmar_nav2_tools/communicator/microunit_dynamic_obstacle.hpp"

#include <chrono>
#include <cstdint>
#include <sstream>
#include <utility>

#include "geometry_msgs/msg/pose_stamped.hpp"
#include "geometry_msgs/msg/transform_stamped.hpp"
#include "node_thread_start.hpp"
#include "tf2/exceptions.h"
#include "tf2/time.h"
#include "tf2_geometry_msgs/tf2_geometry_msgs.hpp"

namespace skelmar_communicator {
namespace {

constexpr char kMapFrame[] = "map";

geometry_msgs::msg::PoseStamped poseAt(
    const std_msgs::msg::Header & header, const geometry_msgs::msg::Point & point)
{
  geometry_msgs::msg::PoseStamped pose;
  pose.header = header;
  pose.pose.position = point;
  pose.pose.orientation.w = 1.0;
  return pose;
}

// The node Humble's TransformListener would make for itself, named after the listener.
std::shared_ptr<rclcpp::Node> makeListenerNode(const void * listener)
{
  std::ostringstream name;
  name << "transform_listener_impl_" << std::hex << reinterpret_cast<std::uintptr_t>(listener);
  rclcpp::NodeOptions options;
  // Named in the arguments so that a __node remapping on the command line does not apply.
  options.arguments({"--ros-args", "-r", "__node:=" + name.str()});
  options.start_parameter_event_publisher(false);
  options.start_parameter_services(false);
  return rclcpp::Node::make_shared("_", options);
}

}  // namespace

MicroUnitDynamicObstacle::MicroUnitDynamicObstacle(std::shared_ptr<rclcpp::Node> node)
    : tf_buffer(std::make_shared<tf2_ros::Buffer>(
          node->get_clock(), tf2::Duration(std::chrono::seconds(10)))),
      tf_listener_node(makeListenerNode(&tf_listener)),
      // Without a thread of its own: Humble's listener thread hangs the destructor when
      // stopped before it spins. The unit spins the listener's node on a thread started
      // safely instead.
      tf_listener(*tf_buffer, tf_listener_node, false),
      tf_listener_thread(
          skelmar_internal::startNodeThread(tf_listener_node->get_node_base_interface())),
      node(std::move(node))
{
  // Lookups may wait: a thread of ours keeps the buffer filled.
  tf_buffer->setUsingDedicatedThread(true);
  obstacle_sub = this->node->create_subscription<skelmar_protocol::msg::DynamicObstacles>(
      "/bev_tracker_dynamic_obstacles", rclcpp::SystemDefaultsQoS(),
      [this](skelmar_protocol::msg::DynamicObstacles::UniquePtr msg) {
        DynamicObstacleCallback(
            std::shared_ptr<skelmar_protocol::msg::DynamicObstacles>(std::move(msg)));
      });
}

void MicroUnitDynamicObstacle::DynamicObstacleCallback(
    std::shared_ptr<skelmar_protocol::msg::DynamicObstacles> msg)
{
  // Held for the whole message so that readers never see a partly built list.
  std::lock_guard<std::recursive_mutex> lock(obstacle_mutex);
  if (msg->obstacles.empty()) {
    return;
  }
  obstacle_paths.clear();

  if (msg->header.frame_id == kMapFrame) {
    for (const auto & obstacle : msg->obstacles) {
      nav_msgs::msg::Path path;
      path.header = msg->header;
      for (const auto & point : obstacle.points) {
        path.poses.push_back(poseAt(msg->header, point));
      }
      obstacle_paths.push_back(std::move(path));
    }
    return;
  }

  geometry_msgs::msg::TransformStamped to_map;
  try {
    to_map = tf_buffer->lookupTransform(kMapFrame, msg->header.frame_id, tf2::TimePointZero);
  } catch (const tf2::TransformException & ex) {
    RCLCPP_WARN(
        node->get_logger(), "Could not transform %s to map: %s", msg->header.frame_id.c_str(),
        ex.what());
    return;
  }
  for (const auto & obstacle : msg->obstacles) {
    nav_msgs::msg::Path path;
    path.header.stamp = msg->header.stamp;
    path.header.frame_id = kMapFrame;
    for (const auto & point : obstacle.points) {
      geometry_msgs::msg::PoseStamped in_map;
      tf2::doTransform(poseAt(msg->header, point), in_map, to_map);
      path.poses.push_back(std::move(in_map));
    }
    obstacle_paths.push_back(std::move(path));
  }
}

std::vector<nav_msgs::msg::Path> MicroUnitDynamicObstacle::getDynamicObstacle()
{
  std::lock_guard<std::recursive_mutex> lock(obstacle_mutex);
  return obstacle_paths;
}

}  // namespace skelmar_communicator
