// The units one by one, against a peer node: what each publish operation sends, what the
// receiving units keep of each message (under which key, in which frame), their parameters,
// and what enormous or empty messages leave behind.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "rcl_interfaces/msg/log.hpp"
#include "skelmar_nav2_tools/communicator/microunit_cmd_vel.hpp"
#include "skelmar_nav2_tools/communicator/microunit_dynamic_obstacle.hpp"
#include "skelmar_nav2_tools/communicator/microunit_err_code.hpp"
#include "skelmar_nav2_tools/communicator/microunit_odom.hpp"
#include "skelmar_nav2_tools/communicator/microunit_people_info.hpp"
#include "skelmar_nav2_tools/communicator/microunit_planning.hpp"
#include "skelmar_nav2_tools/communicator/microunit_robot_event.hpp"
#include "skelmar_nav2_tools/communicator/microunit_trace.hpp"
#include "support/ros_test_support.hpp"
#include "tf2_ros/transform_broadcaster.h"

using geometry_msgs::msg::PoseStamped;
using geometry_msgs::msg::Twist;
using nav_msgs::msg::Path;
using skelmar_protocol::msg::DynamicObstacles;
using skelmar_protocol::msg::ObjectList;
using skelmar_test::firstReceived;
using skelmar_test::SpunNode;
using skelmar_test::waitFor;
namespace sc = skelmar_communicator;

namespace {

Twist twist(double lx, double ly, double lz, double ax, double ay, double az)
{
  Twist t;
  t.linear.x = lx;
  t.linear.y = ly;
  t.linear.z = lz;
  t.angular.x = ax;
  t.angular.y = ay;
  t.angular.z = az;
  return t;
}

PoseStamped pose(double x, double y, const std::string & frame = "odom")
{
  PoseStamped p;
  p.header.frame_id = frame;
  p.header.stamp.sec = 17;
  p.pose.position.x = x;
  p.pose.position.y = y;
  p.pose.orientation.w = 1.0;
  return p;
}

DynamicObstacles obstacles(const std::string & frame, int sec, std::vector<std::vector<double>> xs)
{
  DynamicObstacles msg;
  msg.header.frame_id = frame;
  msg.header.stamp.sec = sec;
  for (const auto & points : xs) {
    msg.obstacles.emplace_back();
    for (double x : points) {
      msg.obstacles.back().points.emplace_back().set__x(x).set__y(2 * x).set__z(0.5);
    }
  }
  return msg;
}

rclcpp::NodeOptions peopleTopics(const rclcpp::ParameterValue & topics)
{
  return rclcpp::NodeOptions().parameter_overrides({{"communicator_people_info_topic", topics}});
}

}  // namespace

// A unit's node and a peer that listens and sends. A test spins the unit's node through a local
// declared after the units, so that it stops before they go.
class UnitTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    peer.spin();
  }
  template <typename MessageT>
  MessageT received(const std::string & topic, const std::function<void()> & publish)
  {
    return firstReceived<MessageT>(*peer.node, topic, publish);
  }

  SpunNode peer{"peer"};
  SpunNode unit_node{
      "unit", "",
      peopleTopics(rclcpp::ParameterValue(
          std::vector<std::string>{"people_a", "/people_b", "people_a", "/crowd"}))};
};

TEST_F(UnitTest, CmdVelScalesPlanarComponentsByTheLatestFiniteRatio)
{
  auto cmd_vel = std::make_shared<sc::MicroUnitCmdVel>(unit_node.node);
  const auto spinning = skelmar_test::spin(unit_node);
  skelmar_test::Inbox<Twist> out(*peer.node, "/cmd_vel_raw");
  auto ratio_pub =
      peer.node->create_publisher<skelmar_protocol::msg::PlannerSpeedControl>("planner_speed", 1);
  ASSERT_TRUE(waitFor([&] { return cmd_vel->cmd_vel_pub->get_subscription_count() > 0; }));
  const Twist command = twist(0.4, 0.2, 0.3, 0.7, 0.8, 1.0);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const struct
  {
    double ratio;  // 1 before any ratio arrives; a non-finite one keeps the one before
    Twist expected;
  } rows[] = {
      {1.0, command},
      {0.5, twist(0.2, 0.1, 0.3, 0.7, 0.8, 0.5)},
      {nan, twist(0.2, 0.1, 0.3, 0.7, 0.8, 0.5)},
      {inf, twist(0.2, 0.1, 0.3, 0.7, 0.8, 0.5)},
      {-inf, twist(0.2, 0.1, 0.3, 0.7, 0.8, 0.5)},
      {0.0, twist(0.0, 0.0, 0.3, 0.7, 0.8, 0.0)},
      {-2.0, twist(-0.8, -0.4, 0.3, 0.7, 0.8, -2.0)},
      {0.1, twist(0.4 * double{0.1F}, 0.2 * double{0.1F}, 0.3, 0.7, 0.8, double{0.1F})},
  };
  for (size_t i = 0; i < std::size(rows); ++i) {
    SCOPED_TRACE(rows[i].ratio);
    skelmar_protocol::msg::PlannerSpeedControl msg;
    msg.speed_ratio = static_cast<float>(rows[i].ratio);
    if (!std::isfinite(rows[i].ratio)) {
      cmd_vel->plannerSpeedSub(msg);
    } else if (i > 0) {
      ASSERT_TRUE(waitFor([&] {
        ratio_pub->publish(msg);
        return cmd_vel->speed_ratio.load() == msg.speed_ratio;
      }));
    }
    geometry_msgs::msg::TwistStamped stamped;
    stamped.twist = command;
    for (const auto & publish : std::vector<std::function<void()>>{
             [&] { cmd_vel->publishVelocity(command); }, [&] { cmd_vel->publishVelocity(stamped); },
             [&] { cmd_vel->publishZeroVelocity(); }}) {
      const size_t before = out.size();
      publish();
      ASSERT_TRUE(out.waitForCount(before + 1));
      EXPECT_EQ(out.messages().back(), before % 3 == 2 ? Twist() : rows[i].expected);
    }
  }
}

TEST_F(UnitTest, PublishOperationsSendTheirMessagesOnTheirTopics)
{
  sc::MicroUnitErrCode err_code(unit_node.node);
  sc::MicroUnitPlanning planning(unit_node.node);
  sc::MicroUnitTrace trace(unit_node.node);
  sc::MicroUnitRobotEvent events(unit_node.node);
  std_msgs::msg::Int8 code;
  code.data = -5;
  EXPECT_EQ(
      received<std_msgs::msg::Int8>("skelmar_nav2_error", [&] { err_code.publishErrorMsg(code); }),
      code);
  const auto texts = received<skelmar_protocol::msg::TriggerRosbag>(
      "active_trigger_rosbag", [&] { err_code.publishActiveTriggerRosbag("A", "B"); });
  EXPECT_EQ(texts.first_text + texts.second_text, "BA");
  const rclcpp::Time before = unit_node.node->now();
  const auto handled = received<skelmar_protocol::msg::ExceptionHandle>(
      "exception_handle", [&] { err_code.publishExceptionHandle(-42); });
  EXPECT_EQ(handled.exception_code, -42);
  EXPECT_GE(rclcpp::Time(handled.header.stamp, RCL_ROS_TIME), before);
  EXPECT_LE(rclcpp::Time(handled.header.stamp, RCL_ROS_TIME), unit_node.node->now());

  // Multi-paths flatten alike on three topics, framed by the first entry even without poses.
  skelmar_nav2_protocol::msg::MultiPaths multi;
  multi.paths.resize(3);
  multi.paths[0].header.frame_id = "map";
  multi.paths[1].header.frame_id = "odom";
  multi.paths[1].poses = {pose(1, 0, "map"), pose(2, 0)};
  multi.paths[2].poses = {pose(3, 0, "")};
  Path flat;
  flat.header.frame_id = "map";
  flat.poses = {pose(1, 0, "map"), pose(2, 0), pose(3, 0, "")};
  const std::string prefix = "skelmar_nav2_planning/";
  EXPECT_EQ(
      received<Path>(prefix + "global_planning_path", [&] { planning.publishGlobalPath(multi); }),
      flat);
  EXPECT_EQ(
      received<Path>(
          prefix + "dynamic_global_planning_path",
          [&] { planning.publishDynamicGlobalPath(multi); }),
      flat);
  EXPECT_EQ(
      received<Path>(
          prefix + "cropped_global_planning_path",
          [&] { planning.publishCroppedGlobalPath(multi); }),
      flat);

  geometry_msgs::msg::PolygonStamped contour;
  contour.header.frame_id = "map";
  contour.polygon.points.resize(2);
  contour.polygon.points[1].x = 1.5F;
  EXPECT_EQ(
      received<geometry_msgs::msg::PolygonStamped>(
          prefix + "contour", [&] { planning.publishContour(contour.polygon); }),
      contour);
  // The covered path keeps each pose's pose, not its header, and is framed in "map".
  Path covered;
  covered.header.frame_id = "map";
  covered.poses.resize(2);
  covered.poses[0].pose = pose(1, 2).pose;
  covered.poses[1].pose = pose(3, 4).pose;
  EXPECT_EQ(
      received<Path>(
          "covered_path",
          [&] {
            planning.publishCoveredPath({pose(1, 2), pose(3, 4)});
          }),
      covered);
  Path path = flat;
  path.header.stamp.sec = 31;
  EXPECT_EQ(
      received<Path>(prefix + "local_planning_path", [&] { planning.publishLocalPath(path); }),
      path);
  EXPECT_EQ(
      received<Path>(prefix + "contour_path", [&] { planning.publishContourPath(path); }), path);
  skelmar_protocol::msg::CoveredPoints report;
  report.leading_int = -4;
  report.points.resize(2);
  report.real_value = 2.75;
  EXPECT_EQ(
      received<skelmar_protocol::msg::CoveredPoints>(
          "cleaning_report", [&] { planning.publishCoveredPoints(report); }),
      report);
  visualization_msgs::msg::Marker area;
  area.ns = "area";
  area.points.resize(4);
  EXPECT_EQ(
      received<visualization_msgs::msg::Marker>(
          "/connective_area", [&] { planning.publishConnectiveArea(area); }),
      area);
  EXPECT_EQ(
      received<std_msgs::msg::Int8>(
          "wait_for_dynamic_obstacle", [&] { planning.publishWaitForDynamicObstacle(code); }),
      code);

  // The local end pose comes as a path in the start's frame, without stamp.
  Path local_end;
  local_end.header.frame_id = "odom";
  local_end.poses = {pose(1, 2), pose(3, 4, "map")};
  EXPECT_EQ(
      received<Path>(
          "trace/local_end_pose",
          [&] { trace.PublishLocalEndPose(pose(1, 2), pose(3, 4, "map")); }),
      local_end);
  EXPECT_EQ(
      received<PoseStamped>("trace/dir_pose", [&] { trace.PublishDirPose(pose(5, 6)); }),
      pose(5, 6));
  const Twist back = twist(-0.1, 0, 0, 0, 0.5, 0);
  EXPECT_EQ(
      received<Twist>("trace/recovery_backward", [&] { trace.publishRecoveryBackward(back); }),
      back);
  skelmar_protocol::msg::RobotEvent event;
  event.header.frame_id = "base_link";
  event.event_id = -12;
  event.arguments = {"bumper", "", "left side"};
  EXPECT_EQ(
      received<skelmar_protocol::msg::RobotEvent>(
          "/robot_event", [&] { events.publishRobotEvent(event); }),
      event);
}

TEST_F(UnitTest, FootprintIsPlacedAtThePoseWithItsHeader)
{
  sc::MicroUnitTrace trace(unit_node.node);
  const double h = std::sqrt(0.5);
  const double turn = 2.0 * std::atan2(0.3, 0.1);  // the yaw of (0.1, 0.3, -0.1, 0.3)
  const struct
  {
    std::array<double, 4> orientation;
    std::vector<double> footprint;  // x, y pairs
    std::vector<double> placed;
  } rows[] = {
      {{0, 0, 0, 1}, {1, 0, 0, 0.5}, {2, 2, 1, 2.5}},
      {{0, 0, h, h}, {1, 0, 0, 0.5}, {1, 3, 0.5, 2}},
      {{0.1, 0.3, -0.1, 0.3}, {1, 0}, {1 + std::cos(turn), 2 + std::sin(turn)}},
      {{0, 0, 0, 1}, {}, {}},
  };
  for (const auto & row : rows) {
    PoseStamped at = pose(1, 2);
    std::tie(
        at.pose.orientation.x, at.pose.orientation.y, at.pose.orientation.z,
        at.pose.orientation.w) = std::tuple_cat(row.orientation);
    std::vector<geometry_msgs::msg::Point> footprint(row.footprint.size() / 2);
    for (size_t i = 0; i < footprint.size(); ++i) {
      footprint[i].set__x(row.footprint[2 * i]).set__y(row.footprint[2 * i + 1]).set__z(5.0);
    }
    const auto placed = firstReceived<geometry_msgs::msg::PolygonStamped>(
        *peer.node, "trace_published_footprint", [&] { trace.publishFootPrint(footprint, at); },
        rclcpp::SystemDefaultsQoS());
    EXPECT_EQ(placed.header, at.header);
    ASSERT_EQ(placed.polygon.points.size(), footprint.size());
    for (size_t i = 0; i < footprint.size(); ++i) {
      EXPECT_NEAR(placed.polygon.points[i].x, row.placed[2 * i], 1e-6);
      EXPECT_NEAR(placed.polygon.points[i].y, row.placed[2 * i + 1], 1e-6);
      EXPECT_EQ(placed.polygon.points[i].z, 0.0F);
    }
  }
}

TEST_F(UnitTest, ReceivingUnitsKeepTheLatestMessageOfEachInput)
{
  sc::MicroUnitOdom odom(unit_node.node);
  sc::MicroUnitPeopleInfo people(unit_node.node);
  const auto spinning = skelmar_test::spin(unit_node);
  EXPECT_EQ(odom.getOdom(), geometry_msgs::msg::TwistStamped());
  EXPECT_EQ(odom.getOdomPose(), PoseStamped());
  EXPECT_TRUE(people.getPeopleInfo().empty());
  // A name listed twice keeps one subscription.
  EXPECT_EQ(people.people_subs.size(), 3U);

  auto odom_pub = peer.node->create_publisher<nav_msgs::msg::Odometry>("robot_base/wheel/odom", 10);
  for (const int n : {5, 2}) {  // an older stamp replaces a newer one too
    nav_msgs::msg::Odometry msg;
    msg.header.stamp.sec = n;
    msg.header.frame_id = "odom";
    msg.pose.pose = pose(n, 3).pose;
    msg.pose.covariance[0] = 9.0;
    msg.twist.twist = twist(0.5 * n, 0.25, 11, 12, 13, -0.125);
    ASSERT_TRUE(waitFor([&] {
      odom_pub->publish(msg);
      return odom.getOdomPose().header == msg.header;
    }));
    EXPECT_EQ(odom.getOdomPose().pose, msg.pose.pose);
    geometry_msgs::msg::TwistStamped velocity;
    velocity.header = msg.header;
    velocity.twist = twist(0.5 * n, 0.25, 0, 0, 0, -0.125);
    EXPECT_EQ(odom.getOdom(), velocity);
  }

  // Lists keyed by the topic as written; header and objects kept, nothing else.
  for (const auto & [topic, key, n] :
       {std::tuple{"people_a", "people_a", 3},
        {"/people_b", "/people_b", 5},
        {"people_a", "people_a", 4}}) {
    ObjectList list;
    list.header.stamp.sec = n;
    list.text = "dropped";
    list.objects.resize(static_cast<size_t>(n));
    list.objects[0].history_ids = {n};
    auto pub = peer.node->create_publisher<ObjectList>(topic, 10);
    ASSERT_TRUE(waitFor([&] {
      pub->publish(list);
      const auto stored = people.getPeopleInfo();
      return stored.count(key) == 1 && stored.at(key).header.stamp.sec == n;
    })) << topic;
    list.text.clear();
    EXPECT_EQ(people.getPeopleInfo().at(key), list);
  }
  EXPECT_EQ(people.getPeopleInfo().size(), 2U);
}

TEST(UnitParameters, DeclaredOnceAndRefusedOfAnotherTypeOrWithInvalidNames)
{
  SpunNode holder("parameters");
  holder.node->declare_parameter("communicator_cmd_vel_out", "/first_out");
  sc::MicroUnitCmdVel first(holder.node);
  EXPECT_STREQ(first.cmd_vel_pub->get_topic_name(), "/first_out");
  holder.node->set_parameter(rclcpp::Parameter("communicator_cmd_vel_out", "/second_out"));
  sc::MicroUnitCmdVel second(holder.node);  // not declared twice
  EXPECT_STREQ(second.cmd_vel_pub->get_topic_name(), "/second_out");
  sc::MicroUnitPeopleInfo none(holder.node);
  EXPECT_TRUE(none.people_subs.empty());
  sc::MicroUnitPeopleInfo again(holder.node);
  EXPECT_TRUE(
      holder.node->get_parameter("communicator_people_info_topic").as_string_array().empty());

  SpunNode wrong("wrong_type");
  wrong.node->declare_parameter("communicator_cmd_vel_out", 2.5);
  EXPECT_THROW(sc::MicroUnitCmdVel{wrong.node}, rclcpp::exceptions::InvalidParameterTypeException);
  SpunNode single("single", "", peopleTopics(rclcpp::ParameterValue("people_a")));
  EXPECT_THROW(
      sc::MicroUnitPeopleInfo{single.node}, rclcpp::exceptions::InvalidParameterTypeException);
  SpunNode invalid(
      "invalid", "", peopleTopics(rclcpp::ParameterValue(std::vector<std::string>{"a b"})));
  EXPECT_THROW(sc::MicroUnitPeopleInfo{invalid.node}, rclcpp::exceptions::InvalidTopicNameError);
}

TEST_F(UnitTest, ObstaclesArePathsInMapThroughTheLatestTransformOrNothingWithAWarning)
{
  sc::MicroUnitDynamicObstacle unit(unit_node.node);
  const auto spinning = skelmar_test::spin(unit_node);
  skelmar_test::Inbox<rcl_interfaces::msg::Log> rosout(*peer.node, "/rosout");
  auto pub = peer.node->create_publisher<DynamicObstacles>("/bev_tracker_dynamic_obstacles", 10);
  const auto send = [&](const DynamicObstacles & msg) {
    ASSERT_TRUE(waitFor([&] {
      pub->publish(msg);
      const auto now = unit.getDynamicObstacle();
      return now.empty() == msg.obstacles.empty() &&
             (now.empty() || now[0].header.stamp == msg.header.stamp);
    })) << msg.header.frame_id;
  };
  EXPECT_TRUE(unit.getDynamicObstacle().empty());
  const auto in_map = obstacles("map", 11, {{1, 4}, {}});
  send(in_map);
  auto paths = unit.getDynamicObstacle();
  ASSERT_EQ(paths.size(), 2U);
  EXPECT_TRUE(paths[1].poses.empty());
  ASSERT_EQ(paths[0].poses.size(), 2U);
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(paths[i].header, in_map.header);
    EXPECT_EQ(paths[0].poses[i].header, in_map.header);
    EXPECT_EQ(paths[0].poses[i].pose.position, in_map.obstacles[0].points[i]);
    EXPECT_EQ(paths[0].poses[i].pose.orientation, geometry_msgs::msg::Quaternion());
  }
  // A message without obstacles leaves the list as it was.
  unit.DynamicObstacleCallback(std::make_shared<DynamicObstacles>(obstacles("map", 12, {})));
  EXPECT_EQ(unit.getDynamicObstacle(), paths);

  // "laser" lies at (1, 2) in "map", turned a quarter.
  tf2_ros::TransformBroadcaster broadcaster(peer.node);
  geometry_msgs::msg::TransformStamped laser;
  laser.header.frame_id = "map";
  laser.header.stamp.sec = 5;
  laser.child_frame_id = "laser";
  laser.transform.translation.set__x(1.0).set__y(2.0);
  laser.transform.rotation.set__z(std::sqrt(0.5)).set__w(std::sqrt(0.5));
  ASSERT_TRUE(waitFor([&] {
    broadcaster.sendTransform(laser);
    return unit.tf_buffer->canTransform("map", "laser", tf2::TimePointZero);
  }));
  send(obstacles("laser", 21, {{1, 0.5}, {}}));
  paths = unit.getDynamicObstacle();
  ASSERT_EQ(paths.size(), 2U);
  EXPECT_EQ(paths[1].header.frame_id, "map");
  ASSERT_EQ(paths[0].poses.size(), 2U);
  EXPECT_EQ(paths[0].header.frame_id, "map");
  EXPECT_EQ(paths[0].header.stamp.sec, 21);
  for (size_t i = 0; i < 2; ++i) {
    const double x = i == 0 ? 1 : 0.5;
    const auto & p = paths[0].poses[i];
    EXPECT_EQ(p.header.frame_id, "map");
    EXPECT_EQ(p.header.stamp.sec, 5);
    EXPECT_NEAR(p.pose.position.x, 1 - 2 * x, 1e-12);
    EXPECT_NEAR(p.pose.position.y, 2 + x, 1e-12);
    EXPECT_NEAR(p.pose.position.z, 0.5, 1e-12);
    // The transform's rotation, possibly with all four signs flipped.
    EXPECT_NEAR(std::abs(p.pose.orientation.z), std::sqrt(0.5), 1e-12);
  }

  // A frame that cannot be looked up leaves the list empty and warns why.
  const auto warnings = [&] {
    std::vector<std::string> texts;
    for (const auto & record : rosout.messages()) {
      if (record.name == unit_node.node->get_logger().get_name() && record.level == record.WARN) {
        texts.push_back(record.msg);
      }
    }
    return texts;
  };
  for (const std::string frame : {"unknown_frame", "/map", "Map"}) {
    const size_t seen = warnings().size();
    send(obstacles("map", 1, {{1}}));
    ASSERT_TRUE(waitFor([&] {
      pub->publish(obstacles(frame, 2, {{1}, {2}}));
      return unit.getDynamicObstacle().empty() && warnings().size() > seen;
    }));
    const std::string prefix = "Could not transform " + frame + " to map: ";
    EXPECT_EQ(warnings().back().substr(0, prefix.size()), prefix) << warnings().back();
    EXPECT_GT(warnings().back().size(), prefix.size());
  }
}

TEST_F(UnitTest, EnormousAndEmptySequencesArriveWholeAndReplaceTheStoredCopy)
{
  constexpr size_t kMany = 200000;
  sc::MicroUnitDynamicObstacle obstacle_unit(unit_node.node);
  sc::MicroUnitPeopleInfo people_unit(unit_node.node);
  sc::MicroUnitPlanning planning(unit_node.node);
  const auto spinning = skelmar_test::spin(unit_node);
  std::vector<double> many(kMany);
  for (size_t i = 0; i < kMany; ++i) {
    many[i] = static_cast<double>(i);
  }
  // 3000 obstacles, all empty but one of 200000 points.
  std::vector<std::vector<double>> sets(3000);
  sets[1500] = many;
  const DynamicObstacles msg = obstacles("map", 5, sets);
  auto obstacle_pub =
      peer.node->create_publisher<DynamicObstacles>("/bev_tracker_dynamic_obstacles", 10);
  ASSERT_TRUE(waitFor(
      [&] {
        obstacle_pub->publish(msg);
        return waitFor(
            [&] { return obstacle_unit.getDynamicObstacle().size() == 3000; },
            std::chrono::seconds(2));
      },
      std::chrono::seconds(20)));
  const auto paths = obstacle_unit.getDynamicObstacle();
  for (size_t i = 0; i < paths.size(); ++i) {
    ASSERT_EQ(paths[i].poses.size(), i == 1500 ? kMany : 0U) << i;
  }
  for (size_t i = 0; i < kMany; ++i) {
    ASSERT_EQ(paths[1500].poses[i].pose.position, msg.obstacles[1500].points[i]) << i;
  }

  // A people list with an enormous contour, then an empty list that replaces it entirely.
  ObjectList crowd;
  crowd.header.stamp.sec = 9;
  crowd.objects.resize(3);
  crowd.objects[1].contour.resize(kMany);
  crowd.objects[2].history_ids.assign(kMany, 7);
  auto people_pub = peer.node->create_publisher<ObjectList>("/crowd", 10);
  for (const ObjectList & list : {crowd, ObjectList()}) {
    ASSERT_TRUE(waitFor(
        [&] {
          people_pub->publish(list);
          const auto stored = people_unit.getPeopleInfo();
          return stored.count("/crowd") == 1 && stored.at("/crowd") == list;
        },
        std::chrono::seconds(20)));
  }

  // Many empty path entries around one enormous one flatten into that one's poses.
  skelmar_nav2_protocol::msg::MultiPaths multi;
  multi.paths.resize(2000);
  multi.paths.front().header.frame_id = "odom";
  multi.paths[1000].poses.resize(kMany);
  for (size_t i = 0; i < kMany; ++i) {
    multi.paths[1000].poses[i].pose.position.x = many[i];
  }
  const auto flat = received<Path>(
      "skelmar_nav2_planning/global_planning_path", [&] { planning.publishGlobalPath(multi); });
  EXPECT_EQ(flat.header.frame_id, "odom");
  EXPECT_EQ(flat.poses, multi.paths[1000].poses);
}
