// Messages at the edges of what their types allow: enormous point lists and empty sequences
// arrive whole, in order, and leave nothing half-replaced.

#include <gtest/gtest.h>

#include "communicator_test_helpers.hpp"
#include "skelmar_nav2_tools/communicator/microunit_dynamic_obstacle.hpp"
#include "skelmar_nav2_tools/communicator/microunit_people_info.hpp"
#include "skelmar_nav2_tools/communicator/microunit_planning.hpp"

using communicator_test::Inbox;
using communicator_test::SpunNode;

namespace {

constexpr std::size_t kManyPoints = 200000;

geometry_msgs::msg::Point point(std::size_t i)
{
  geometry_msgs::msg::Point p;
  p.x = static_cast<double>(i);
  p.y = -0.5 * static_cast<double>(i);
  p.z = 0.25;
  return p;
}

}  // namespace

TEST(MalformedMessages, EnormousObstaclePointListsAndEmptyObstaclesArriveWhole)
{
  SpunNode unit_node("malformed_obstacle_unit");
  SpunNode peer("malformed_obstacle_peer");
  auto unit = std::make_shared<skelmar_communicator::MicroUnitDynamicObstacle>(unit_node.node);
  unit_node.spin();
  auto publisher = peer.node->create_publisher<skelmar_protocol::msg::DynamicObstacles>(
      "/bev_tracker_dynamic_obstacles", 10);
  ASSERT_TRUE(skelmar_test::waitFor([&] { return publisher->get_subscription_count() > 0; }));

  skelmar_protocol::msg::DynamicObstacles msg;
  msg.header.frame_id = "map";
  msg.header.stamp.sec = 5;
  msg.obstacles.resize(3000);  // empty point lists, velocity histories and all
  msg.obstacles[1500].points.reserve(kManyPoints);
  for (std::size_t i = 0; i < kManyPoints; ++i) {
    msg.obstacles[1500].points.push_back(point(i));
  }
  publisher->publish(msg);
  ASSERT_TRUE(skelmar_test::waitFor(
      [&] { return unit->getDynamicObstacle().size() == 3000; }, std::chrono::seconds(20)));

  const auto paths = unit->getDynamicObstacle();
  for (std::size_t i = 0; i < paths.size(); ++i) {
    ASSERT_EQ(paths[i].header, msg.header);
    ASSERT_EQ(paths[i].poses.size(), i == 1500 ? kManyPoints : 0U) << i;
  }
  for (std::size_t i = 0; i < kManyPoints; ++i) {
    ASSERT_EQ(paths[1500].poses[i].pose.position, point(i)) << i;
  }

  // A message without obstacles leaves the stored list as it was.
  msg.obstacles.clear();
  msg.header.stamp.sec = 6;
  unit->DynamicObstacleCallback(std::make_shared<skelmar_protocol::msg::DynamicObstacles>(msg));
  EXPECT_EQ(unit->getDynamicObstacle(), paths);
}

TEST(MalformedMessages, EnormousPeopleContoursAndEmptyObjectsAreStoredWhole)
{
  SpunNode unit_node(
      "malformed_people_unit", "",
      rclcpp::NodeOptions().parameter_overrides({rclcpp::Parameter(
          "communicator_people_info_topic", std::vector<std::string>{"crowd"})}));
  SpunNode peer("malformed_people_peer");
  auto unit = std::make_shared<skelmar_communicator::MicroUnitPeopleInfo>(unit_node.node);
  unit_node.spin();
  auto publisher = peer.node->create_publisher<skelmar_protocol::msg::ObjectList>("crowd", 10);
  ASSERT_TRUE(skelmar_test::waitFor([&] { return publisher->get_subscription_count() > 0; }));

  skelmar_protocol::msg::ObjectList list;
  list.header.stamp.sec = 9;
  list.objects.resize(3);
  list.objects[1].contour.resize(kManyPoints);
  for (std::size_t i = 0; i < kManyPoints; ++i) {
    list.objects[1].contour[i].x = static_cast<float>(i);
  }
  list.objects[2].history_ids.assign(kManyPoints, 7);
  publisher->publish(list);
  ASSERT_TRUE(skelmar_test::waitFor(
      [&] { return unit->getPeopleInfo().count("crowd") == 1; }, std::chrono::seconds(20)));
  EXPECT_EQ(unit->getPeopleInfo().at("crowd"), list);

  // An empty list replaces the enormous one entirely.
  skelmar_protocol::msg::ObjectList empty;
  empty.header.stamp.sec = 10;
  publisher->publish(empty);
  ASSERT_TRUE(skelmar_test::waitFor(
      [&] { return unit->getPeopleInfo().at("crowd").header.stamp.sec == 10; }));
  EXPECT_EQ(unit->getPeopleInfo().at("crowd"), empty);
}

TEST(MalformedMessages, EnormousAndEmptyMultiPathsFlattenWhole)
{
  SpunNode unit_node("malformed_planning_unit");
  SpunNode peer("malformed_planning_peer");
  auto unit = std::make_shared<skelmar_communicator::MicroUnitPlanning>(unit_node.node);
  Inbox<nav_msgs::msg::Path> global(*peer.node, "skelmar_nav2_planning/global_planning_path");
  peer.spin();
  ASSERT_TRUE(global.waitForMatch(unit->global_path_pub));

  // Many empty entries around one enormous one, then no entries at all.
  skelmar_nav2_protocol::msg::MultiPaths multi_paths;
  multi_paths.paths.resize(2000);
  multi_paths.paths.front().header.frame_id = "odom";
  auto & poses = multi_paths.paths[1000].poses;
  poses.resize(kManyPoints);
  for (std::size_t i = 0; i < kManyPoints; ++i) {
    poses[i].pose.position = point(i);
  }
  unit->publishGlobalPath(multi_paths);
  unit->publishGlobalPath(skelmar_nav2_protocol::msg::MultiPaths());
  ASSERT_TRUE(global.waitForCount(2, std::chrono::seconds(20)));

  const auto received = global.messages();
  EXPECT_EQ(received[0].header.frame_id, "odom");
  EXPECT_EQ(received[0].poses, poses);
  EXPECT_TRUE(received[1].poses.empty());
  EXPECT_EQ(received[1].header, std_msgs::msg::Header());
}
