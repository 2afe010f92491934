// The units that receive: what they keep of each message, under which key, in which frame,
// and what enormous or empty messages leave behind.

#include <gtest/gtest.h>

#include <cmath>

#include "rcl_interfaces/msg/log.hpp"
#include "skelmar_nav2_tools/communicator/microunit_dynamic_obstacle.hpp"
#include "skelmar_nav2_tools/communicator/microunit_odom.hpp"
#include "skelmar_nav2_tools/communicator/microunit_people_info.hpp"
#include "skelmar_nav2_tools/communicator/microunit_planning.hpp"
#include "support/ros_test_support.hpp"
#include "tf2_ros/transform_broadcaster.h"

using skelmar_protocol::msg::DynamicObstacles;
using skelmar_protocol::msg::ObjectList;
using skelmar_test::SpunNode;
using skelmar_test::waitFor;

namespace {

rclcpp::NodeOptions withPeopleTopics(const std::vector<std::string> & topics)
{
  return rclcpp::NodeOptions().parameter_overrides(
      {rclcpp::Parameter("communicator_people_info_topic", topics)});
}

ObjectList people(int n)
{
  ObjectList list;
  list.header.stamp.sec = n;
  list.header.frame_id = "camera";
  list.text = "dropped";
  list.scalar = 77;
  list.objects.resize(static_cast<size_t>(n % 7));
  for (auto & object : list.objects) {
    object.id = n;
    object.contour.resize(2);
    object.history_ids = {n, n + 1};
  }
  return list;
}

geometry_msgs::msg::Point point(double x, double y, double z = 0.0)
{
  geometry_msgs::msg::Point p;
  p.x = x;
  p.y = y;
  p.z = z;
  return p;
}

DynamicObstacles obstacles(
    const std::string & frame, int sec,
    const std::vector<std::vector<geometry_msgs::msg::Point>> & sets)
{
  DynamicObstacles msg;
  msg.header.frame_id = frame;
  msg.header.stamp.sec = sec;
  msg.obstacles.resize(sets.size());
  for (size_t i = 0; i < sets.size(); ++i) {
    msg.obstacles[i].points = sets[i];
  }
  return msg;
}

}  // namespace

TEST(Odom, KeepsTheHeaderPoseAndPlanarVelocityOfTheLatestMessage)
{
  SpunNode peer("odom_peer");
  auto odom_pub = peer.node->create_publisher<nav_msgs::msg::Odometry>("robot_base/wheel/odom", 10);
  SpunNode unit_node("odom_unit");
  skelmar_communicator::MicroUnitOdom unit(unit_node.node);
  const auto spinning = skelmar_test::spin(unit_node.node);
  EXPECT_EQ(unit.getOdom(), geometry_msgs::msg::TwistStamped());
  EXPECT_EQ(unit.getOdomPose(), geometry_msgs::msg::PoseStamped());

  for (const int n : {5, 2}) {  // an older stamp replaces a newer one too
    nav_msgs::msg::Odometry odom;
    odom.header.stamp.sec = n;
    odom.header.frame_id = "odom" + std::to_string(n);
    odom.pose.pose.position.x = n;
    odom.pose.pose.position.z = 3.0;
    odom.pose.pose.orientation.z = 0.6;
    odom.pose.pose.orientation.w = 0.8;
    odom.pose.covariance[0] = 9.0;
    odom.twist.twist = [n] {
      geometry_msgs::msg::Twist t;
      t.linear.x = 0.5 * n;
      t.linear.y = 0.25;
      t.linear.z = 11.0;
      t.angular.x = 12.0;
      t.angular.y = 13.0;
      t.angular.z = -0.125;
      return t;
    }();
    ASSERT_TRUE(waitFor([&] {
      odom_pub->publish(odom);
      return unit.getOdomPose().header == odom.header;
    }));
    EXPECT_EQ(unit.getOdomPose().pose, odom.pose.pose);
    geometry_msgs::msg::TwistStamped velocity;
    velocity.header = odom.header;
    velocity.twist.linear.x = 0.5 * n;
    velocity.twist.linear.y = 0.25;
    velocity.twist.angular.z = -0.125;
    EXPECT_EQ(unit.getOdom(), velocity);
  }
}

TEST(PeopleInfo, ListsFromTheParameterTopicsKeyedAsWritten)
{
  SpunNode peer("people_peer");
  SpunNode unit_node(
      "people_unit", "/robot7",
      withPeopleTopics({"people_a", "/people_b", "people_c", "people_c", "/robot7/people_c"}));
  skelmar_communicator::MicroUnitPeopleInfo unit(unit_node.node);
  const auto spinning = skelmar_test::spin(unit_node.node);
  EXPECT_EQ(unit.people_topics.size(), 5U);
  ASSERT_EQ(unit.people_subs.size(), 4U);
  EXPECT_STREQ(unit.people_subs.at("people_a")->get_topic_name(), "/robot7/people_a");
  EXPECT_STREQ(unit.people_subs.at("/people_b")->get_topic_name(), "/people_b");
  EXPECT_TRUE(unit.getPeopleInfo().empty());

  const auto send = [&](const std::string & topic, int n, const std::string & key) {
    auto pub = peer.node->create_publisher<ObjectList>(topic, 10);
    ASSERT_TRUE(waitFor([&] {
      pub->publish(people(n));
      const auto stored = unit.getPeopleInfo();
      return stored.count(key) == 1 && stored.at(key).header.stamp.sec == n;
    })) << topic;
    // Header and objects are kept, nothing else.
    ObjectList expected;
    expected.header = people(n).header;
    expected.objects = people(n).objects;
    EXPECT_EQ(unit.getPeopleInfo().at(key), expected);
  };
  send("/robot7/people_a", 3, "people_a");
  send("/people_b", 5, "/people_b");
  send("/robot7/people_a", 4, "people_a");
  // A name listed twice keeps one subscription; an equivalent spelling has one of its own.
  send("/robot7/people_c", 2, "people_c");
  EXPECT_EQ(unit.getPeopleInfo().count("/robot7/people_c"), 1U);
  EXPECT_EQ(unit.getPeopleInfo().size(), 4U);
  auto pub = peer.node->create_publisher<ObjectList>("/robot7/people_c", 10);
  EXPECT_EQ(skelmar_test::settled([&] { return pub->get_subscription_count(); }, size_t{2}), 2U);
}

TEST(PeopleInfo, TopicParameterDefaultsToNoneAndMustBeAListOfValidNames)
{
  SpunNode defaults("people_default");
  skelmar_communicator::MicroUnitPeopleInfo unit(defaults.node);
  EXPECT_TRUE(unit.people_subs.empty());
  EXPECT_TRUE(
      defaults.node->get_parameter("communicator_people_info_topic").as_string_array().empty());
  skelmar_communicator::MicroUnitPeopleInfo second(defaults.node);  // not declared twice

  SpunNode single(
      "people_single", "",
      rclcpp::NodeOptions().parameter_overrides(
          {rclcpp::Parameter("communicator_people_info_topic", "people_a")}));
  EXPECT_THROW(
      skelmar_communicator::MicroUnitPeopleInfo{single.node},
      rclcpp::exceptions::InvalidParameterTypeException);
  SpunNode invalid("people_invalid", "", withPeopleTopics({"people a"}));
  EXPECT_THROW(
      skelmar_communicator::MicroUnitPeopleInfo{invalid.node},
      rclcpp::exceptions::InvalidTopicNameError);
}

class DynamicObstacleTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    unit_node.spin();
    peer.spin();
  }
  void TearDown() override
  {
    unit_node.stop();
  }  // the callbacks use the unit

  /// Publishes @p msg until the unit's list satisfies @p arrived.
  void send(const DynamicObstacles & msg, const std::function<bool()> & arrived)
  {
    ASSERT_TRUE(waitFor([&] {
      obstacle_pub->publish(msg);
      return arrived();
    })) << msg.header.frame_id;
  }

  SpunNode unit_node{"obstacle_unit"};
  SpunNode peer{"obstacle_peer"};
  skelmar_communicator::MicroUnitDynamicObstacle unit{unit_node.node};
  rclcpp::Publisher<DynamicObstacles>::SharedPtr obstacle_pub{
      peer.node->create_publisher<DynamicObstacles>("/bev_tracker_dynamic_obstacles", 10)};
};

TEST_F(DynamicObstacleTest, OnePathPerObstacleInMapThroughTheLatestTransform)
{
  EXPECT_TRUE(unit.getDynamicObstacle().empty());
  const auto in_map = obstacles("map", 11, {{point(1, 2, 3), point(4, 5)}, {}});
  send(in_map, [&] { return unit.getDynamicObstacle().size() == 2; });
  auto paths = unit.getDynamicObstacle();
  EXPECT_EQ(paths[0].header, in_map.header);
  EXPECT_EQ(paths[1].header, in_map.header);
  EXPECT_TRUE(paths[1].poses.empty());
  ASSERT_EQ(paths[0].poses.size(), 2U);
  for (size_t i = 0; i < 2; ++i) {
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
  laser.transform.translation.x = 1.0;
  laser.transform.translation.y = 2.0;
  laser.transform.rotation.z = std::sqrt(0.5);
  laser.transform.rotation.w = std::sqrt(0.5);
  ASSERT_TRUE(waitFor([&] {
    broadcaster.sendTransform(laser);
    return unit.tf_buffer->canTransform("map", "laser", tf2::TimePointZero);
  }));
  const auto in_laser = obstacles("laser", 21, {{point(1, 0, 0.5), point(0, 2)}, {}});
  send(in_laser, [&] {
    const auto now = unit.getDynamicObstacle();
    return !now.empty() && now[0].header.stamp.sec == 21;
  });
  paths = unit.getDynamicObstacle();
  ASSERT_EQ(paths.size(), 2U);
  EXPECT_EQ(paths[1].header.frame_id, "map");
  EXPECT_TRUE(paths[1].poses.empty());
  EXPECT_EQ(paths[0].header.frame_id, "map");
  EXPECT_EQ(paths[0].header.stamp, in_laser.header.stamp);
  ASSERT_EQ(paths[0].poses.size(), 2U);
  const double expected[2][3] = {{1.0, 3.0, 0.5}, {-1.0, 2.0, 0.0}};
  for (size_t i = 0; i < 2; ++i) {
    const auto & pose = paths[0].poses[i];
    EXPECT_EQ(pose.header.frame_id, "map");
    EXPECT_EQ(pose.header.stamp.sec, 5);
    EXPECT_NEAR(pose.pose.position.x, expected[i][0], 1e-12);
    EXPECT_NEAR(pose.pose.position.y, expected[i][1], 1e-12);
    EXPECT_NEAR(pose.pose.position.z, expected[i][2], 1e-12);
    // The transform's rotation, possibly with all four signs flipped.
    EXPECT_NEAR(std::abs(pose.pose.orientation.z), std::sqrt(0.5), 1e-12);
    EXPECT_NEAR(std::abs(pose.pose.orientation.w), std::sqrt(0.5), 1e-12);
  }
}

TEST_F(DynamicObstacleTest, FailedLookupsWarnAndLeaveTheListEmpty)
{
  skelmar_test::Inbox<rcl_interfaces::msg::Log> rosout(*peer.node, "/rosout");
  const std::string logger = unit_node.node->get_logger().get_name();
  const auto warnings = [&] {
    std::vector<std::string> texts;
    for (const auto & record : rosout.messages()) {
      if (record.name == logger && record.level == rcl_interfaces::msg::Log::WARN) {
        texts.push_back(record.msg);
      }
    }
    return texts;
  };
  for (const std::string frame : {"unknown_frame", "/map", "Map"}) {
    const size_t seen = warnings().size();
    unit.DynamicObstacleCallback(
        std::make_shared<DynamicObstacles>(obstacles("map", 1, {{point(1, 1)}})));
    send(obstacles(frame, 2, {{point(1, 1)}, {point(2, 2)}}), [&] {
      return unit.getDynamicObstacle().empty();
    });
    ASSERT_TRUE(waitFor([&] { return warnings().size() > seen; }));
    const std::string prefix = "Could not transform " + frame + " to map: ";
    EXPECT_EQ(warnings().back().substr(0, prefix.size()), prefix) << warnings().back();
    EXPECT_GT(warnings().back().size(), prefix.size());
  }
}

TEST(MalformedMessages, EnormousAndEmptySequencesArriveWholeAndReplaceTheStoredCopy)
{
  constexpr size_t kMany = 200000;
  SpunNode peer("malformed_peer");
  SpunNode unit_node("malformed_unit", "", withPeopleTopics({"crowd"}));
  skelmar_communicator::MicroUnitDynamicObstacle obstacle_unit(unit_node.node);
  skelmar_communicator::MicroUnitPeopleInfo people_unit(unit_node.node);
  skelmar_communicator::MicroUnitPlanning planning_unit(unit_node.node);
  const auto spinning = skelmar_test::spin(unit_node.node);
  peer.spin();
  std::vector<geometry_msgs::msg::Point> many(kMany);
  for (size_t i = 0; i < kMany; ++i) {
    many[i] = point(static_cast<double>(i), -0.5 * static_cast<double>(i), 0.25);
  }

  // 3000 obstacles, all empty but one of 200000 points.
  DynamicObstacles msg =
      obstacles("map", 5, std::vector<std::vector<geometry_msgs::msg::Point>>(3000));
  msg.obstacles[1500].points = many;
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
    ASSERT_EQ(paths[1500].poses[i].pose.position, many[i]) << i;
  }

  // A people list with an enormous contour, then an empty list that replaces it entirely.
  ObjectList crowd;
  crowd.header.stamp.sec = 9;
  crowd.objects.resize(3);
  crowd.objects[1].contour.resize(kMany);
  crowd.objects[2].history_ids.assign(kMany, 7);
  auto people_pub = peer.node->create_publisher<ObjectList>("crowd", 10);
  for (const ObjectList & list : {crowd, ObjectList()}) {
    ASSERT_TRUE(waitFor(
        [&] {
          people_pub->publish(list);
          const auto stored = people_unit.getPeopleInfo();
          return stored.count("crowd") == 1 && stored.at("crowd") == list;
        },
        std::chrono::seconds(20)));
  }

  // Many empty path entries around one enormous one flatten into that one's poses.
  skelmar_nav2_protocol::msg::MultiPaths multi;
  multi.paths.resize(2000);
  multi.paths.front().header.frame_id = "odom";
  multi.paths[1000].poses.resize(kMany);
  for (size_t i = 0; i < kMany; ++i) {
    multi.paths[1000].poses[i].pose.position = many[i];
  }
  const auto flat = skelmar_test::Inbox<nav_msgs::msg::Path>(
                        *peer.node, "skelmar_nav2_planning/global_planning_path")
                        .firstOf([&] { planning_unit.publishGlobalPath(multi); });
  EXPECT_EQ(flat.header.frame_id, "odom");
  EXPECT_EQ(flat.poses, multi.paths[1000].poses);
}
