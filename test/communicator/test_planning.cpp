// Planning publication unit: flattening, the "map" wrappers and pass-through publications.

#include <gtest/gtest.h>

#include "communicator_test_helpers.hpp"
#include "skelmar_nav2_tools/communicator/microunit_planning.hpp"

using communicator_test::Inbox;
using communicator_test::SpunNode;
using nav_msgs::msg::Path;
using skelmar_communicator::MicroUnitPlanning;
using skelmar_nav2_protocol::msg::MultiPaths;

namespace {

geometry_msgs::msg::PoseStamped pose(double x, const std::string & frame, int sec)
{
  geometry_msgs::msg::PoseStamped pose;
  pose.header.frame_id = frame;
  pose.header.stamp.sec = sec;
  pose.pose.position.x = x;
  pose.pose.position.y = -x;
  pose.pose.orientation.z = 1.0;
  pose.pose.orientation.w = 0.0;
  return pose;
}

skelmar_nav2_protocol::msg::PathEntry entry(
    const std::string & frame, std::vector<geometry_msgs::msg::PoseStamped> poses)
{
  skelmar_nav2_protocol::msg::PathEntry entry;
  entry.header.frame_id = frame;
  entry.header.stamp.sec = 77;
  entry.poses = std::move(poses);
  entry.segment_type = 3;
  entry.cost = 1.5;
  return entry;
}

}  // namespace

class PlanningTest : public ::testing::Test
{
protected:
  PlanningTest() : unit(std::make_shared<MicroUnitPlanning>(unit_node.node)) {}

  SpunNode unit_node{"planning_unit"};
  SpunNode peer{"planning_peer"};
  std::shared_ptr<MicroUnitPlanning> unit;
};

TEST_F(PlanningTest, MultiPathsAreFlattenedAlikeOnTheThreeTopics)
{
  Inbox<Path> global(*peer.node, "skelmar_nav2_planning/global_planning_path");
  Inbox<Path> dynamic(*peer.node, "skelmar_nav2_planning/dynamic_global_planning_path");
  Inbox<Path> cropped(*peer.node, "skelmar_nav2_planning/cropped_global_planning_path");
  peer.spin();
  ASSERT_TRUE(global.waitForMatch(unit->global_path_pub));
  ASSERT_TRUE(dynamic.waitForMatch(unit->dynamic_global_path_pub));
  ASSERT_TRUE(cropped.waitForMatch(unit->cropped_global_path_pub));

  MultiPaths multi;
  multi.plan_id = 9;
  multi.paths.push_back(entry("map", {pose(1, "map", 1), pose(2, "map", 2)}));
  multi.paths.push_back(entry("odom", {}));
  multi.paths.push_back(entry("odom", {pose(3, "odom", 3), pose(4, "a", 4), pose(5, "", 5)}));
  unit->publishGlobalPath(multi);
  unit->publishDynamicGlobalPath(multi);
  unit->publishCroppedGlobalPath(multi);
  ASSERT_TRUE(global.waitForCount(1));
  ASSERT_TRUE(dynamic.waitForCount(1));
  ASSERT_TRUE(cropped.waitForCount(1));

  const Path path = global.last();
  EXPECT_EQ(path.header.frame_id, "map");
  EXPECT_EQ(path.header.stamp.sec, 0);
  EXPECT_EQ(path.header.stamp.nanosec, 0U);
  const std::vector<geometry_msgs::msg::PoseStamped> expected{
      pose(1, "map", 1), pose(2, "map", 2), pose(3, "odom", 3), pose(4, "a", 4), pose(5, "", 5)};
  EXPECT_EQ(path.poses, expected);
  EXPECT_EQ(dynamic.last(), path);
  EXPECT_EQ(cropped.last(), path);

  // A first entry without poses still names the frame; no entries give an empty path.
  MultiPaths first_empty;
  first_empty.paths.push_back(entry("first", {}));
  first_empty.paths.push_back(entry("second", {pose(6, "second", 6)}));
  unit->publishGlobalPath(first_empty);
  ASSERT_TRUE(global.waitForCount(2));
  EXPECT_EQ(global.last().header.frame_id, "first");
  ASSERT_EQ(global.last().poses.size(), 1U);

  unit->publishGlobalPath(MultiPaths());
  ASSERT_TRUE(global.waitForCount(3));
  EXPECT_EQ(global.last(), Path());
}

TEST_F(PlanningTest, MapWrappersAndCoveredPath)
{
  Inbox<geometry_msgs::msg::PolygonStamped> contour(*peer.node, "skelmar_nav2_planning/contour");
  Inbox<Path> covered(*peer.node, "covered_path");
  peer.spin();
  ASSERT_TRUE(contour.waitForMatch(unit->contour_pub));
  ASSERT_TRUE(covered.waitForMatch(unit->covered_path_pub));

  unit->publishContour(geometry_msgs::msg::Polygon());
  ASSERT_TRUE(contour.waitForCount(1));
  EXPECT_EQ(contour.last().header.frame_id, "map");
  EXPECT_EQ(contour.last().header.stamp.sec, 0);
  EXPECT_TRUE(contour.last().polygon.points.empty());
  geometry_msgs::msg::Polygon polygon;
  polygon.points.resize(3);
  polygon.points[1].x = 1.5F;
  polygon.points[2].y = -2.25F;
  polygon.points[2].z = 4.0F;
  unit->publishContour(polygon);
  ASSERT_TRUE(contour.waitForCount(2));
  EXPECT_EQ(contour.last().polygon, polygon);

  unit->publishCoveredPath({});
  ASSERT_TRUE(covered.waitForCount(1));
  EXPECT_EQ(covered.last().header.frame_id, "map");
  EXPECT_TRUE(covered.last().poses.empty());
  unit->publishCoveredPath({pose(1, "odom", 11), pose(2, "map", 12)});
  ASSERT_TRUE(covered.waitForCount(2));
  const Path path = covered.last();
  EXPECT_EQ(path.header.frame_id, "map");
  EXPECT_EQ(path.header.stamp.sec, 0);
  ASSERT_EQ(path.poses.size(), 2U);
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(path.poses[i].header, std_msgs::msg::Header());
    EXPECT_EQ(path.poses[i].pose, pose(static_cast<double>(i + 1), "", 0).pose);
  }
}

TEST_F(PlanningTest, PassThroughPublicationsKeepEveryField)
{
  Inbox<Path> local(*peer.node, "skelmar_nav2_planning/local_planning_path");
  Inbox<Path> contour_path(*peer.node, "skelmar_nav2_planning/contour_path");
  Inbox<skelmar_protocol::msg::CoveredPoints> report(*peer.node, "cleaning_report");
  Inbox<visualization_msgs::msg::Marker> marker(*peer.node, "/connective_area");
  Inbox<std_msgs::msg::Int8> wait_flag(*peer.node, "wait_for_dynamic_obstacle");
  peer.spin();
  ASSERT_TRUE(local.waitForMatch(unit->local_path_pub));
  ASSERT_TRUE(contour_path.waitForMatch(unit->contour_path_pub));
  ASSERT_TRUE(report.waitForMatch(unit->cleaning_report_pub));
  ASSERT_TRUE(marker.waitForMatch(unit->connective_area_pub));
  ASSERT_TRUE(wait_flag.waitForMatch(unit->wait_for_dynamic_obstacle_pub));

  Path path;
  path.header.frame_id = "odom";
  path.header.stamp.sec = 31;
  path.poses = {pose(1, "x", 2), pose(3, "y", 4)};
  unit->publishLocalPath(path);
  Path other = path;
  other.header.frame_id = "";
  unit->publishContourPath(other);
  skelmar_protocol::msg::CoveredPoints covered;
  covered.leading_int = -4;
  covered.points.resize(2);
  covered.points[1].x = 0.5F;
  covered.real_value = 2.75;
  covered.trailing_int = 9;
  unit->publishCoveredPoints(covered);
  visualization_msgs::msg::Marker area;
  area.header.frame_id = "map";
  area.ns = "area";
  area.id = 12;
  area.type = visualization_msgs::msg::Marker::LINE_STRIP;
  area.points.resize(4);
  area.text = "connective";
  unit->publishConnectiveArea(area);
  std_msgs::msg::Int8 flag;
  flag.data = -1;
  unit->publishWaitForDynamicObstacle(flag);

  ASSERT_TRUE(local.waitForCount(1));
  ASSERT_TRUE(contour_path.waitForCount(1));
  ASSERT_TRUE(report.waitForCount(1));
  ASSERT_TRUE(marker.waitForCount(1));
  ASSERT_TRUE(wait_flag.waitForCount(1));
  EXPECT_EQ(local.last(), path);
  EXPECT_EQ(contour_path.last(), other);
  EXPECT_EQ(report.last(), covered);
  EXPECT_EQ(marker.last(), area);
  EXPECT_EQ(wait_flag.last(), flag);
}
