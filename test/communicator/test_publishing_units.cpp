// The units that publish: velocity commands scaled by the latest ratio, error reports,
// planning outputs, traces and robot events, as a subscriber receives them.

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <functional>
#include <limits>
#include <optional>

#include "skelmar_nav2_tools/communicator/microunit_cmd_vel.hpp"
#include "skelmar_nav2_tools/communicator/microunit_err_code.hpp"
#include "skelmar_nav2_tools/communicator/microunit_planning.hpp"
#include "skelmar_nav2_tools/communicator/microunit_robot_event.hpp"
#include "skelmar_nav2_tools/communicator/microunit_trace.hpp"
#include "support/ros_test_support.hpp"

using geometry_msgs::msg::PoseStamped;
using geometry_msgs::msg::Twist;
using nav_msgs::msg::Path;
using skelmar_protocol::msg::PlannerSpeedControl;
using skelmar_test::firstReceived;
using skelmar_test::Inbox;
using skelmar_test::SpunNode;

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

PoseStamped pose(double x, double y, const std::string & frame = "odom", int sec = 17)
{
  PoseStamped p;
  p.header.frame_id = frame;
  p.header.stamp.sec = sec;
  p.header.stamp.nanosec = 99;
  p.pose.position.x = x;
  p.pose.position.y = y;
  p.pose.orientation.w = 1.0;
  return p;
}

}  // namespace

class CmdVelTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    unit_node.spin();
    peer.spin();
    ASSERT_TRUE(out.waitForMatch(unit->cmd_vel_pub));
  }
  // The unit's callback must not run once the unit is gone.
  void TearDown() override
  {
    unit_node.stop();
  }

  void sendRatio(float value)
  {
    PlannerSpeedControl msg;
    msg.speed_ratio = value;
    ASSERT_TRUE(skelmar_test::waitFor([&] {
      ratio_pub->publish(msg);
      return unit->speed_ratio.load() == value;
    }));
  }

  Twist received(const std::function<void()> & publish)
  {
    const size_t before = out.size();
    publish();
    EXPECT_TRUE(out.waitForCount(before + 1));
    return out.last();
  }

  SpunNode unit_node{"cmd_vel_unit"};
  SpunNode peer{"cmd_vel_peer"};
  std::shared_ptr<skelmar_communicator::MicroUnitCmdVel> unit{
      std::make_shared<skelmar_communicator::MicroUnitCmdVel>(unit_node.node)};
  Inbox<Twist> out{*peer.node, "/cmd_vel_raw"};
  rclcpp::Publisher<PlannerSpeedControl>::SharedPtr ratio_pub{
      peer.node->create_publisher<PlannerSpeedControl>("planner_speed", 1)};
};

TEST_F(CmdVelTest, ScalesOnlyPlanarComponentsByTheLatestRatio)
{
  const Twist command = twist(0.4, 0.2, 0.3, 0.7, 0.8, 1.0);
  const double widened = static_cast<double>(0.1F);  // not 0.1
  const struct
  {
    std::optional<float> ratio;
    Twist command;
    Twist expected;
  } rows[] = {
      {std::nullopt, command, command},  // 1 before any ratio arrives
      {0.5F, command, twist(0.2, 0.1, 0.3, 0.7, 0.8, 0.5)},
      {0.0F, command, twist(0.0, 0.0, 0.3, 0.7, 0.8, 0.0)},
      {-2.0F, command, twist(-0.8, -0.4, 0.3, 0.7, 0.8, -2.0)},
      {0.1F, twist(1, 1, 0, 0, 0, 1), twist(widened, widened, 0, 0, 0, widened)},
      {1e30F, twist(1, 0, 0, 0, 0, 0), twist(static_cast<double>(1e30F), 0, 0, 0, 0, 0)},
  };
  for (const auto & row : rows) {
    SCOPED_TRACE(row.ratio.value_or(1.0F));
    if (row.ratio) {
      sendRatio(*row.ratio);
    }
    EXPECT_EQ(received([&] { unit->publishVelocity(row.command); }), row.expected);
    geometry_msgs::msg::TwistStamped stamped;
    stamped.header.frame_id = "base_link";
    stamped.twist = row.command;
    EXPECT_EQ(received([&] { unit->publishVelocity(stamped); }), row.expected);
    EXPECT_EQ(received([&] { unit->publishZeroVelocity(); }), Twist());
  }
}

TEST_F(CmdVelTest, NonFiniteRatiosAreIgnored)
{
  sendRatio(0.5F);
  for (const float ratio :
       {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
        -std::numeric_limits<float>::infinity()}) {
    PlannerSpeedControl msg;
    msg.speed_ratio = ratio;
    unit->plannerSpeedSub(msg);
  }
  EXPECT_EQ(unit->speed_ratio.load(), 0.5F);
  EXPECT_EQ(received([&] { unit->publishVelocity(twist(1, 0, 0, 0, 0, 0)); }).linear.x, 0.5);
}

TEST(CmdVelNames, OutputTopicParameterIsDeclaredOnceAndMustBeAString)
{
  SpunNode holder("cmd_vel_declared");
  holder.node->declare_parameter("communicator_cmd_vel_out", "/first_out");
  skelmar_communicator::MicroUnitCmdVel first(holder.node);
  EXPECT_STREQ(first.cmd_vel_pub->get_topic_name(), "/first_out");
  holder.node->set_parameter(rclcpp::Parameter("communicator_cmd_vel_out", "/second_out"));
  EXPECT_STREQ(first.cmd_vel_pub->get_topic_name(), "/first_out");
  skelmar_communicator::MicroUnitCmdVel second(holder.node);  // not declared twice
  EXPECT_STREQ(second.cmd_vel_pub->get_topic_name(), "/second_out");

  SpunNode wrong("cmd_vel_wrong");
  wrong.node->declare_parameter("communicator_cmd_vel_out", 2.5);
  EXPECT_THROW(
      skelmar_communicator::MicroUnitCmdVel{wrong.node},
      rclcpp::exceptions::InvalidParameterTypeException);
}

TEST(ErrCode, PublishesCodesStampsAndSwapsTheRecordingTexts)
{
  SpunNode unit_node("err_code_unit");
  SpunNode peer("err_code_peer");
  skelmar_communicator::MicroUnitErrCode unit(unit_node.node);
  peer.spin();
  std_msgs::msg::Int8 code;
  code.data = -5;
  EXPECT_EQ(
      firstReceived<std_msgs::msg::Int8>(
          *peer.node, "skelmar_nav2_error", [&] { unit.publishErrorMsg(code); }),
      code);
  const auto texts = firstReceived<skelmar_protocol::msg::TriggerRosbag>(
      *peer.node, "active_trigger_rosbag", [&] { unit.publishActiveTriggerRosbag("A", "B"); });
  EXPECT_EQ(texts.first_text, "B");
  EXPECT_EQ(texts.second_text, "A");
  const rclcpp::Time before = unit_node.node->now();
  const auto handled = firstReceived<skelmar_protocol::msg::ExceptionHandle>(
      *peer.node, "exception_handle", [&] { unit.publishExceptionHandle(-42); });
  EXPECT_EQ(handled.exception_code, -42);
  EXPECT_EQ(handled.header.frame_id, "");
  EXPECT_GE(rclcpp::Time(handled.header.stamp, RCL_ROS_TIME), before);
  EXPECT_LE(rclcpp::Time(handled.header.stamp, RCL_ROS_TIME), unit_node.node->now());
}

class PlanningTest : public ::testing::Test
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

  SpunNode unit_node{"planning_unit"};
  SpunNode peer{"planning_peer"};
  skelmar_communicator::MicroUnitPlanning unit{unit_node.node};
};

TEST_F(PlanningTest, MultiPathsFlattenAlikeOnTheThreeTopicsFramedByTheFirstEntry)
{
  const auto entry = [](const std::string & frame, std::vector<PoseStamped> poses) {
    skelmar_nav2_protocol::msg::PathEntry e;
    e.header.frame_id = frame;
    e.header.stamp.sec = 77;
    e.poses = std::move(poses);
    return e;
  };
  skelmar_nav2_protocol::msg::MultiPaths multi;
  multi.paths = {
      entry("map", {pose(1, 0, "map"), pose(2, 0, "map")}), entry("odom", {}),
      entry("odom", {pose(3, 0), pose(4, 0, "a"), pose(5, 0, "")})};
  Path expected;
  expected.header.frame_id = "map";
  expected.poses = {
      pose(1, 0, "map"), pose(2, 0, "map"), pose(3, 0), pose(4, 0, "a"), pose(5, 0, "")};
  const std::string prefix = "skelmar_nav2_planning/";
  EXPECT_EQ(
      received<Path>(prefix + "global_planning_path", [&] { unit.publishGlobalPath(multi); }),
      expected);
  EXPECT_EQ(
      received<Path>(
          prefix + "dynamic_global_planning_path", [&] { unit.publishDynamicGlobalPath(multi); }),
      expected);
  EXPECT_EQ(
      received<Path>(
          prefix + "cropped_global_planning_path", [&] { unit.publishCroppedGlobalPath(multi); }),
      expected);

  // A first entry without poses still names the frame; no entries give an empty path.
  multi.paths.erase(multi.paths.begin());
  expected.header.frame_id = "odom";
  expected.poses.erase(expected.poses.begin(), expected.poses.begin() + 2);
  EXPECT_EQ(
      received<Path>(prefix + "global_planning_path", [&] { unit.publishGlobalPath(multi); }),
      expected);
  EXPECT_EQ(
      received<Path>(
          prefix + "global_planning_path",
          [&] { unit.publishGlobalPath(skelmar_nav2_protocol::msg::MultiPaths()); }),
      Path());
}

TEST_F(PlanningTest, ContourAndCoveredPathAreFramedInMapTheRestPassesThrough)
{
  geometry_msgs::msg::PolygonStamped contour;
  contour.header.frame_id = "map";
  contour.polygon.points.resize(3);
  contour.polygon.points[1].x = 1.5F;
  contour.polygon.points[2].z = 4.0F;
  EXPECT_EQ(
      received<geometry_msgs::msg::PolygonStamped>(
          "skelmar_nav2_planning/contour", [&] { unit.publishContour(contour.polygon); }),
      contour);
  // The covered path keeps only each pose's pose, not its header.
  Path covered;
  covered.header.frame_id = "map";
  covered.poses = {pose(1, 2, "", 0), pose(3, 4, "", 0)};
  for (auto & p : covered.poses) {
    p.header = std_msgs::msg::Header();
  }
  EXPECT_EQ(
      received<Path>(
          "covered_path",
          [&] {
            unit.publishCoveredPath({pose(1, 2), pose(3, 4, "map", 3)});
          }),
      covered);

  Path path;
  path.header.frame_id = "odom";
  path.header.stamp.sec = 31;
  path.poses = {pose(1, 2), pose(3, 4, "x")};
  EXPECT_EQ(
      received<Path>(
          "skelmar_nav2_planning/local_planning_path", [&] { unit.publishLocalPath(path); }),
      path);
  EXPECT_EQ(
      received<Path>("skelmar_nav2_planning/contour_path", [&] { unit.publishContourPath(path); }),
      path);
  skelmar_protocol::msg::CoveredPoints report;
  report.leading_int = -4;
  report.points.resize(2);
  report.points[1].x = 0.5F;
  report.real_value = 2.75;
  report.trailing_int = 9;
  EXPECT_EQ(
      received<skelmar_protocol::msg::CoveredPoints>(
          "cleaning_report", [&] { unit.publishCoveredPoints(report); }),
      report);
  visualization_msgs::msg::Marker area;
  area.header.frame_id = "map";
  area.ns = "area";
  area.id = 12;
  area.points.resize(4);
  EXPECT_EQ(
      received<visualization_msgs::msg::Marker>(
          "/connective_area", [&] { unit.publishConnectiveArea(area); }),
      area);
  std_msgs::msg::Int8 flag;
  flag.data = -1;
  EXPECT_EQ(
      received<std_msgs::msg::Int8>(
          "wait_for_dynamic_obstacle", [&] { unit.publishWaitForDynamicObstacle(flag); }),
      flag);
}

class TraceTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    peer.spin();
  }

  SpunNode unit_node{"trace_unit"};
  SpunNode peer{"trace_peer"};
  skelmar_communicator::MicroUnitTrace unit{unit_node.node};
};

TEST_F(TraceTest, FootprintIsPlacedAtThePoseWithItsHeader)
{
  const auto point = [](double x, double y) {
    geometry_msgs::msg::Point p;
    p.x = x;
    p.y = y;
    p.z = 5.0;  // ignored by the placement
    return p;
  };
  const double h = std::sqrt(0.5);
  // (a, b, -a, b) and (a, b, a, -b) lie where the yaw comes from +-2 atan2(y, x).
  const double a = 0.1;
  const double b = 0.3;
  const double turn = 2.0 * std::atan2(b, a);
  const struct
  {
    std::array<double, 4> orientation;
    std::vector<geometry_msgs::msg::Point> footprint;
    std::vector<std::pair<double, double>> placed;
  } rows[] = {
      {{0, 0, 0, 1}, {point(1, 0), point(0, 0.5)}, {{2, 2}, {1, 2.5}}},
      {{0, 0, h, h}, {point(1, 0), point(0, 0.5)}, {{1, 3}, {0.5, 2}}},
      {{a, b, -a, b}, {point(1, 0)}, {{1 + std::cos(turn), 2 + std::sin(turn)}}},
      {{a, b, a, -b}, {point(1, 0)}, {{1 + std::cos(turn), 2 - std::sin(turn)}}},
      {{0, 0, 0, 1}, {}, {}},
  };
  for (const auto & row : rows) {
    PoseStamped at = pose(1, 2);
    const auto & [x, y, z, w] = row.orientation;
    at.pose.orientation.x = x;
    at.pose.orientation.y = y;
    at.pose.orientation.z = z;
    at.pose.orientation.w = w;
    const auto placed = firstReceived<geometry_msgs::msg::PolygonStamped>(
        *peer.node, "trace_published_footprint", [&] { unit.publishFootPrint(row.footprint, at); },
        rclcpp::SystemDefaultsQoS().keep_last(100));
    EXPECT_EQ(placed.header, at.header);
    ASSERT_EQ(placed.polygon.points.size(), row.placed.size());
    for (size_t i = 0; i < row.placed.size(); ++i) {
      EXPECT_NEAR(placed.polygon.points[i].x, row.placed[i].first, 1e-6);
      EXPECT_NEAR(placed.polygon.points[i].y, row.placed[i].second, 1e-6);
      EXPECT_EQ(placed.polygon.points[i].z, 0.0F);
    }
  }
}

TEST_F(TraceTest, PosesRecoveryCommandsAndRobotEventsPassThrough)
{
  const PoseStamped start = pose(1, 2);
  PoseStamped end = pose(3, 4, "map", 3);
  end.pose.orientation.z = 1.0;
  Path local_end;
  local_end.header.frame_id = "odom";  // the start's frame, no stamp
  local_end.poses = {start, end};
  EXPECT_EQ(
      firstReceived<Path>(
          *peer.node, "trace/local_end_pose", [&] { unit.PublishLocalEndPose(start, end); }),
      local_end);
  EXPECT_EQ(
      firstReceived<PoseStamped>(*peer.node, "trace/dir_pose", [&] { unit.PublishDirPose(end); }),
      end);
  const Twist back = twist(-0.1, 0, 0, 0, 0.5, 0);
  EXPECT_EQ(
      firstReceived<Twist>(
          *peer.node, "trace/recovery_backward", [&] { unit.publishRecoveryBackward(back); }),
      back);

  skelmar_communicator::MicroUnitRobotEvent events(unit_node.node);
  skelmar_protocol::msg::RobotEvent event;
  event.header.stamp.sec = 8;
  event.header.frame_id = "base_link";
  event.event_id = -12;
  event.severity = 3;
  event.arguments = {"bumper", "", "left side"};
  EXPECT_EQ(
      firstReceived<skelmar_protocol::msg::RobotEvent>(
          *peer.node, "/robot_event", [&] { events.publishRobotEvent(event); }),
      event);
}
