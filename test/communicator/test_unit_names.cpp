// Every unit on one namespaced node: relative names move with the namespace, absolute
// ones do not, and the publishers keep the last message only.

#include <gtest/gtest.h>

#include "communicator_test_helpers.hpp"
#include "skelmar_nav2_tools/communicator/communicator.hpp"

using communicator_test::settledEndpointsOf;
using communicator_test::SpunNode;
namespace sc = skelmar_communicator;

TEST(UnitNames, RelativeNamesResolveInTheNodeNamespace)
{
  SpunNode node(
      "unit_names", "/robot4",
      rclcpp::NodeOptions().parameter_overrides({rclcpp::Parameter(
          "communicator_people_info_topic", std::vector<std::string>{"people"})}));
  sc::MicroUnitCmdVel cmd_vel(node.node);
  sc::MicroUnitErrCode err_code(node.node);
  sc::MicroUnitOdom odom(node.node);
  sc::MicroUnitPlanning planning(node.node);
  sc::MicroUnitTrace trace(node.node);
  sc::MicroUnitRobotEvent robot_event(node.node);
  sc::MicroUnitPeopleInfo people_info(node.node);
  sc::MicroUnitDynamicObstacle dynamic_obstacle(node.node);

  const std::vector<std::string> publishers{
      "/cmd_vel_raw geometry_msgs/msg/Twist",
      "/connective_area visualization_msgs/msg/Marker",
      "/robot4/active_trigger_rosbag skelmar_protocol/msg/TriggerRosbag",
      "/robot4/cleaning_report skelmar_protocol/msg/CoveredPoints",
      "/robot4/covered_path nav_msgs/msg/Path",
      "/robot4/exception_handle skelmar_protocol/msg/ExceptionHandle",
      "/robot4/skelmar_nav2_error std_msgs/msg/Int8",
      "/robot4/skelmar_nav2_planning/contour geometry_msgs/msg/PolygonStamped",
      "/robot4/skelmar_nav2_planning/contour_path nav_msgs/msg/Path",
      "/robot4/skelmar_nav2_planning/cropped_global_planning_path nav_msgs/msg/Path",
      "/robot4/skelmar_nav2_planning/dynamic_global_planning_path nav_msgs/msg/Path",
      "/robot4/skelmar_nav2_planning/global_planning_path nav_msgs/msg/Path",
      "/robot4/skelmar_nav2_planning/local_planning_path nav_msgs/msg/Path",
      "/robot4/trace/dir_pose geometry_msgs/msg/PoseStamped",
      "/robot4/trace/local_end_pose nav_msgs/msg/Path",
      "/robot4/trace/recovery_backward geometry_msgs/msg/Twist",
      "/robot4/trace_published_footprint geometry_msgs/msg/PolygonStamped",
      "/robot4/wait_for_dynamic_obstacle std_msgs/msg/Int8",
      "/robot_event skelmar_protocol/msg/RobotEvent",
  };
  const std::vector<std::string> subscriptions{
      "/bev_tracker_dynamic_obstacles skelmar_protocol/msg/DynamicObstacles",
      "/robot4/people skelmar_protocol/msg/ObjectList",
      "/robot4/planner_speed skelmar_protocol/msg/PlannerSpeedControl",
      "/robot4/robot_base/wheel/odom nav_msgs/msg/Odometry",
  };
  EXPECT_EQ(
      settledEndpointsOf(*node.node, node.node->get_name(), "/robot4", true, publishers),
      publishers);
  EXPECT_EQ(
      settledEndpointsOf(*node.node, node.node->get_name(), "/robot4", false, subscriptions),
      subscriptions);
  EXPECT_STREQ(
      planning.trigger_clean_coverage_client->get_service_name(), "/trigger_clean_coverage");
  EXPECT_EQ(dynamic_obstacle.tf_buffer->getCacheLength(), tf2::Duration(std::chrono::seconds(10)));

  for (const rclcpp::PublisherBase * publisher :
       {static_cast<rclcpp::PublisherBase *>(cmd_vel.cmd_vel_pub.get()),
        static_cast<rclcpp::PublisherBase *>(err_code.exception_handle_pub.get()),
        static_cast<rclcpp::PublisherBase *>(planning.global_path_pub.get()),
        static_cast<rclcpp::PublisherBase *>(planning.connective_area_pub.get()),
        static_cast<rclcpp::PublisherBase *>(trace.local_end_pose_pub.get()),
        static_cast<rclcpp::PublisherBase *>(robot_event.robot_event_pub.get())}) {
    const rclcpp::QoS qos = publisher->get_actual_qos();
    EXPECT_EQ(qos.depth(), 1U) << publisher->get_topic_name();
    EXPECT_EQ(qos.reliability(), rclcpp::ReliabilityPolicy::Reliable);
    EXPECT_EQ(qos.durability(), rclcpp::DurabilityPolicy::Volatile);
  }
}
