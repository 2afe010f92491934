// The units against a peer node, the two bundles, and the blocking clean-coverage call.

#include <gmock/gmock.h>

#include <ctime>
#include <limits>
#include <numeric>
#include <regex>
#include <set>

#include "rcl_interfaces/msg/log.hpp"
#include "rosgraph_msgs/msg/clock.hpp"
#include "skelmar_nav2_tools/communicator/communicator.hpp"
#include "support/log_capture.hpp"
#include "support/ros_test_support.hpp"
#include "tf2_ros/transform_broadcaster.h"

using geometry_msgs::msg::PoseStamped;
using geometry_msgs::msg::Twist;
using nav_msgs::msg::Path;
using skelmar_protocol::msg::DynamicObstacles;
using skelmar_test::SpunNode;
using skelmar_test::threadCount;
using skelmar_test::waitFor;
using Header = std_msgs::msg::Header;
using Points = std::vector<std::vector<double>>;
namespace sc = skelmar_communicator;

namespace {

Twist twist(double lx, double ly, double lz, double ax, double ay, double az)
{
  Twist t;
  t.linear.set__x(lx).set__y(ly).set__z(lz);
  t.angular.set__x(ax).set__y(ay).set__z(az);
  return t;
}

Header header(const std::string & frame, int sec)
{
  Header h;
  h.set__frame_id(frame).stamp.sec = sec;
  return h;
}

PoseStamped pose(double x, double y, const std::string & frame = "odom")
{
  PoseStamped p;
  p.set__header(header(frame, 17)).pose.position.set__x(x).set__y(y);
  return p;
}

// Obstacles of points (x, 2x, 0.5), one per list of x; or, with @p at, the paths kept for them
// when their frame lies at (dx, 0) in "map": one per obstacle, every pose under @p at.
DynamicObstacles obstacles(const Header & h, const Points & xs)
{
  DynamicObstacles msg;
  msg.header = h;
  for (const auto & points : xs) {
    auto & obstacle = msg.obstacles.emplace_back();
    for (double x : points) {
      obstacle.points.emplace_back().set__x(x).set__y(2 * x).set__z(0.5);
    }
  }
  return msg;
}
std::vector<Path> obstacles(const Header & h, const Points & xs, const Header & at, double dx = 0)
{
  std::vector<Path> paths;
  for (const auto & obstacle : obstacles(h, xs).obstacles) {
    auto & path = paths.emplace_back().set__header(h);
    for (auto point : obstacle.points) {
      path.poses.emplace_back().set__header(at).pose.position = point.set__x(point.x + dx);
    }
  }
  return paths;
}

// Publishes @p msg from @p node until @p arrived holds, or @p timeout passed.
template <typename MessageT>
bool deliver(
    rclcpp::Node & node, const std::string & topic, const MessageT & msg,
    const std::function<bool()> & arrived, std::chrono::seconds timeout = std::chrono::seconds(5))
{
  auto pub = node.create_publisher<MessageT>(topic, 10);
  return waitFor([&] { return pub->publish(msg), waitFor(arrived, timeout / 100); }, timeout);
}

}  // namespace

// A unit's node and a spinning peer that listens and sends. A test spins the unit's node
// through a local declared after the units, so that it stops before they go.
class UnitTest : public ::testing::Test
{
protected:
  // A check that @p publish delivers exactly @p expected on @p topic to the peer.
  template <typename MessageT>
  std::function<void()> sends(
      const std::string & topic, const MessageT & expected, std::function<void()> publish)
  {
    return [this, topic, expected, publish] {
      EXPECT_EQ(skelmar_test::firstReceived<MessageT>(p, topic, publish), expected) << topic;
    };
  }

  SpunNode peer{"peer"};
  rclcpp::Node & p = *peer.node;
  const std::unique_ptr<nav2_util::NodeThread> peer_spinning = skelmar_test::spin(peer);
  SpunNode unit_node{
      "unit", "",
      rclcpp::NodeOptions().parameter_overrides(
          {{"communicator_people_info_topic",
            std::vector<std::string>{"people_a", "/people_b", "people_a", "/crowd"}}})};
};

TEST_F(UnitTest, CmdVelScalesPlanarComponentsByTheLatestFiniteRatio)
{
  auto cmd_vel = std::make_shared<sc::MicroUnitCmdVel>(unit_node.node);
  const auto spinning = skelmar_test::spin(unit_node);
  skelmar_test::Inbox<Twist> out(p, "/cmd_vel_raw");
  ASSERT_TRUE(waitFor([&] { return cmd_vel->cmd_vel_pub->get_subscription_count() > 0; }));
  geometry_msgs::msg::TwistStamped command;
  command.twist = twist(0.4, 0.2, 0.3, 0.7, 0.8, 1.0);
  const double inf = std::numeric_limits<double>::infinity();
  // {ratio, ratio applied}: a non-finite one keeps the one before, 1 at first.
  for (const auto & [ratio, applied] :
       {std::pair{std::nan(""), 1.0},
        {0.5, 0.5},
        {inf, 0.5},
        {-inf, 0.5},
        {0.0, 0.0},
        {-2.0, -2.0},
        {0.1, double{0.1F}}}) {
    SCOPED_TRACE(ratio);
    skelmar_protocol::msg::PlannerSpeedControl msg;
    msg.speed_ratio = static_cast<float>(ratio);
    if (std::isfinite(ratio)) {
      ASSERT_TRUE(deliver(p, "planner_speed", msg, [&, r = msg.speed_ratio] {
        return cmd_vel->speed_ratio.load() == r;
      }));
    } else {
      cmd_vel->plannerSpeedSub(msg);
    }
    const Twist scaled = twist(0.4 * applied, 0.2 * applied, 0.3, 0.7, 0.8, applied);
    for (const auto & [publish, sent] :
         std::initializer_list<std::pair<std::function<void()>, Twist>>{
             {[&] { cmd_vel->publishVelocity(command.twist); }, scaled},
             {[&] { cmd_vel->publishVelocity(command); }, scaled},
             {[&] { cmd_vel->publishZeroVelocity(); }, Twist()}}) {
      const size_t before = out.size();
      publish();
      ASSERT_TRUE(out.waitForCount(before + 1));
      EXPECT_EQ(out.messages().back(), sent);
    }
  }
}

TEST_F(UnitTest, PublishOperationsSendTheirMessagesOnTheirTopics)
{
  sc::MicroUnitErrCode err(unit_node.node);
  sc::MicroUnitPlanning pl(unit_node.node);
  sc::MicroUnitTrace tr(unit_node.node);
  sc::MicroUnitRobotEvent ev(unit_node.node);
  const auto code = std_msgs::msg::Int8().set__data(-5);
  const auto texts =  // the two change places
      skelmar_protocol::msg::TriggerRosbag().set__first_text("B").set__second_text("A");
  // Multi-paths flatten alike on three topics, framed by the first entry even without poses.
  skelmar_nav2_protocol::msg::MultiPaths multi;
  multi.paths.resize(3);
  multi.paths[0].header.frame_id = "map";
  multi.paths[1].set__poses({pose(1, 0, "map"), pose(2, 0)}).header.frame_id = "odom";
  multi.paths[2].poses = {pose(3, 0, "")};
  Path flat;
  flat.set__poses({pose(1, 0, "map"), pose(2, 0), pose(3, 0, "")}).header.frame_id = "map";
  Path ends;  // in the start's frame, without stamp
  ends.set__poses({pose(1, 2), pose(3, 4, "map")}).header.frame_id = "odom";
  Path covered;  // each pose's pose, not its header, in "map"
  covered.set__header(header("map", 0)).poses.resize(2);
  covered.poses[0].pose = ends.poses[0].pose;
  covered.poses[1].pose = ends.poses[1].pose;
  geometry_msgs::msg::PolygonStamped contour;
  contour.set__header(header("map", 0)).polygon.points.resize(2);
  contour.polygon.points[1].x = 1.5F;
  skelmar_protocol::msg::CoveredPoints report;
  report.set__leading_int(-4).set__real_value(2.75).set__trailing_int(9).points.resize(2);
  visualization_msgs::msg::Marker area;
  area.set__ns("area").points.resize(4);
  skelmar_protocol::msg::RobotEvent event;
  event.set__event_id(-12).set__arguments({"bumper", "", "left"}).header.frame_id = "base";
  const Twist back = twist(-0.1, 0, 0, 0, 0.5, 0);
  // The footprint, (1, 0) and (0, 0.5) at any height, turns by the pose's yaw (2 atan2(y, x)
  // at the singular orientations), moves to its position and lies flat under its header.
  const auto footprint = [&](std::vector<double> q, std::vector<float> placed) {
    PoseStamped at = pose(1, 2);
    at.pose.orientation.set__x(q[0]).set__y(q[1]).set__z(q[2]).set__w(q[3]);
    std::vector<geometry_msgs::msg::Point> points(placed.size() / 2);
    geometry_msgs::msg::PolygonStamped expected;
    expected.header = at.header;
    for (size_t i = 0; i < points.size(); ++i) {
      points[i].set__x(i == 0 ? 1.0 : 0.0).set__y(i == 0 ? 0.0 : 0.5).set__z(5.0);
      expected.polygon.points.emplace_back().set__x(placed[2 * i]).set__y(placed[2 * i + 1]);
    }
    return sends("trace_published_footprint", expected, [&, points, at]() mutable {
      tr.publishFootPrint(points, at);
    });
  };
  const double h = std::sqrt(0.5);
  const std::string pp = "skelmar_nav2_planning/";
  const std::function<void()> checks[] = {
      sends("skelmar_nav2_error", code, [&] { err.publishErrorMsg(code); }),
      sends("active_trigger_rosbag", texts, [&] { err.publishActiveTriggerRosbag("A", "B"); }),
      sends(pp + "global_planning_path", flat, [&] { pl.publishGlobalPath(multi); }),
      sends(pp + "global_planning_path", Path(), [&] { pl.publishGlobalPath(decltype(multi)()); }),
      sends(pp + "dynamic_global_planning_path", flat, [&] { pl.publishDynamicGlobalPath(multi); }),
      sends(pp + "cropped_global_planning_path", flat, [&] { pl.publishCroppedGlobalPath(multi); }),
      sends(pp + "contour", contour, [&] { pl.publishContour(contour.polygon); }),
      sends("covered_path", covered, [&] { pl.publishCoveredPath(ends.poses); }),
      sends(pp + "local_planning_path", ends, [&] { pl.publishLocalPath(ends); }),
      sends(pp + "contour_path", flat, [&] { pl.publishContourPath(flat); }),
      sends("cleaning_report", report, [&] { pl.publishCoveredPoints(report); }),
      sends("/connective_area", area, [&] { pl.publishConnectiveArea(area); }),
      sends("wait_for_dynamic_obstacle", code, [&] { pl.publishWaitForDynamicObstacle(code); }),
      sends(
          "trace/local_end_pose", ends,
          [&] { tr.PublishLocalEndPose(pose(1, 2), pose(3, 4, "map")); }),
      sends("trace/dir_pose", pose(5, 6), [&] { tr.PublishDirPose(pose(5, 6)); }),
      sends("trace/recovery_backward", back, [&] { tr.publishRecoveryBackward(back); }),
      sends("/robot_event", event, [&] { ev.publishRobotEvent(event); }),
      footprint({0, 0, 0, 1}, {2, 2, 1, 2.5}),
      footprint({0, 0, h, h}, {1, 3, 0.5, 2}),
      footprint({0.1, 0.1, -0.1, 0.1}, {1, 3, 0.5, 2}),
      footprint({0, 0, 0, 1}, {})};
  for (const auto & check : checks) {
    check();
  }
}

TEST_F(UnitTest, ReceivingUnitsKeepTheLatestMessageOfEachInput)
{
  sc::MicroUnitOdom odom(unit_node.node);
  sc::MicroUnitPeopleInfo people(unit_node.node);
  const auto spinning = skelmar_test::spin(unit_node);
  EXPECT_EQ(people.people_subs.size(), 3U);  // a name listed twice keeps one subscription
  for (const int n : {5, 2}) {               // an older stamp replaces a newer one too
    nav_msgs::msg::Odometry msg;
    msg.set__header(header("odom", n)).pose.pose = pose(n, 3).pose;
    msg.pose.covariance[0] = 9.0;
    msg.twist.twist = twist(0.5 * n, 0.25, 11, 12, 13, -0.125);
    ASSERT_TRUE(deliver(
        p, "robot_base/wheel/odom", msg, [&] { return odom.getOdomPose().header == msg.header; }));
    EXPECT_EQ(odom.getOdomPose().pose, msg.pose.pose);
    geometry_msgs::msg::TwistStamped velocity;  // the planar components only
    velocity.set__header(msg.header).twist = twist(0.5 * n, 0.25, 0, 0, 0, -0.125);
    EXPECT_EQ(odom.getOdom(), velocity);
  }
  // Lists keyed by the topic as written; header and objects kept, nothing else.
  for (const auto & [topic, n] : {std::pair{"people_a", 3}, {"/people_b", 5}, {"people_a", 4}}) {
    skelmar_protocol::msg::ObjectList list;
    list.set__text("dropped").set__scalar(6).set__header(header("", n)).objects.resize(3);
    list.objects[0].history_ids = {n};
    ASSERT_TRUE(deliver(p, topic, list, [&, topic = topic, n = n] {
      return people.getPeopleInfo()[topic].header.stamp.sec == n;
    })) << topic;
    EXPECT_EQ(people.getPeopleInfo().at(topic), list.set__text("").set__scalar(0));
  }
  EXPECT_EQ(people.getPeopleInfo().size(), 2U);
}

TEST(UnitParameters, DeclaredOnceAndRefusedOfAnotherTypeOrWithInvalidNames)
{
  const auto node = [](const std::string & name, const rclcpp::ParameterValue & value) {
    return SpunNode("parameters", "", rclcpp::NodeOptions().parameter_overrides({{name, value}}))
        .node;
  };
  const auto holder = node("communicator_cmd_vel_out", rclcpp::ParameterValue("/first_out"));
  sc::MicroUnitCmdVel first(holder);
  EXPECT_STREQ(first.cmd_vel_pub->get_topic_name(), "/first_out");
  holder->set_parameter(rclcpp::Parameter("communicator_cmd_vel_out", "/second_out"));
  sc::MicroUnitCmdVel second(holder);  // not declared twice
  EXPECT_STREQ(second.cmd_vel_pub->get_topic_name(), "/second_out");
  sc::MicroUnitPeopleInfo none(holder);
  sc::MicroUnitPeopleInfo again(holder);
  EXPECT_TRUE(none.people_subs.empty());
  EXPECT_TRUE(holder->get_parameter("communicator_people_info_topic").as_string_array().empty());

  using rclcpp::exceptions::InvalidParameterTypeException;
  const auto wrong = node("unused", rclcpp::ParameterValue());
  wrong->declare_parameter("communicator_cmd_vel_out", 2.5);
  EXPECT_THROW(sc::MicroUnitCmdVel{wrong}, InvalidParameterTypeException);
  const std::string topics = "communicator_people_info_topic";
  EXPECT_THROW(
      sc::MicroUnitPeopleInfo{node(topics, rclcpp::ParameterValue("people_a"))},
      InvalidParameterTypeException);
  EXPECT_THROW(
      sc::MicroUnitPeopleInfo{
          node(topics, rclcpp::ParameterValue(std::vector<std::string>{"a b"}))},
      rclcpp::exceptions::InvalidTopicNameError);
}

TEST_F(UnitTest, ObstaclesArePathsInMapThroughTheLatestTransformOrNothingWithAWarning)
{
  sc::MicroUnitDynamicObstacle unit(unit_node.node);
  const auto spinning = skelmar_test::spin(unit_node);
  skelmar_test::Inbox<rcl_interfaces::msg::Log> rosout(p, "/rosout");
  const auto send = [&](const Header & h, const Points & xs, std::function<bool()> arrived = {}) {
    const auto stamped = [&] {
      const auto now = unit.getDynamicObstacle();
      return !now.empty() && now[0].header.stamp == h.stamp;
    };
    EXPECT_TRUE(deliver(
        p, "/bev_tracker_dynamic_obstacles", obstacles(h, xs), arrived ? arrived : stamped));
    return unit.getDynamicObstacle();
  };
  EXPECT_TRUE(unit.getDynamicObstacle().empty());
  const Points xs{{1, 4}, {}};
  EXPECT_EQ(send(header("map", 11), xs), obstacles(header("map", 11), xs, header("map", 11)));
  // A message without obstacles leaves the list as it was.
  unit.DynamicObstacleCallback(std::make_shared<DynamicObstacles>(obstacles(header("map", 1), {})));
  EXPECT_EQ(unit.getDynamicObstacle(), obstacles(header("map", 11), xs, header("map", 11)));

  tf2_ros::TransformBroadcaster broadcaster(peer.node);
  geometry_msgs::msg::TransformStamped laser;  // 3 m ahead
  laser.set__header(header("map", 5)).set__child_frame_id("laser").transform.translation.x = 3;
  ASSERT_TRUE(waitFor([&] {
    broadcaster.sendTransform(laser);
    return unit.tf_buffer->canTransform("map", "laser", tf2::TimePointZero);
  }));
  EXPECT_EQ(send(header("laser", 21), xs), obstacles(header("map", 21), xs, laser.header, 3));

  // A frame that cannot be looked up leaves the list empty and warns why.
  const auto warned = [&](const std::string & frame) {
    const std::regex text("Could not transform " + frame + " to map: .+");
    const auto logs = rosout.messages();
    return std::any_of(logs.begin(), logs.end(), [&](const rcl_interfaces::msg::Log & log) {
      return log.name == unit_node.node->get_logger().get_name() && log.level == log.WARN &&
             std::regex_match(log.msg, text);
    });
  };
  for (const std::string frame : {"unknown_frame", "/map", "Map"}) {
    send(header("map", 1), {{1}});
    send(header(frame, 2), {{1}, {2}}, [&] {
      return unit.getDynamicObstacle().empty() && warned(frame);
    });
  }
}

TEST_F(UnitTest, EnormousAndEmptySequencesArriveWholeAndReplaceTheStoredCopy)
{
  constexpr size_t kMany = 200000;
  constexpr std::chrono::seconds kLong(60);
  sc::MicroUnitDynamicObstacle obstacle_unit(unit_node.node);
  sc::MicroUnitPeopleInfo people_unit(unit_node.node);
  const auto spinning = skelmar_test::spin(unit_node);
  Points xs(3000);  // all empty but one of kMany points
  xs[1500].resize(kMany);
  std::iota(xs[1500].begin(), xs[1500].end(), 0.0);
  const auto all = [&] { return obstacle_unit.getDynamicObstacle().size() == 3000; };
  ASSERT_TRUE(
      deliver(p, "/bev_tracker_dynamic_obstacles", obstacles(header("map", 5), xs), all, kLong));
  EXPECT_EQ(obstacle_unit.getDynamicObstacle(), obstacles(header("map", 5), xs, header("map", 5)));

  skelmar_protocol::msg::ObjectList crowd;  // enormous sequences, then none
  crowd.set__header(header("", 9)).objects.resize(3);
  crowd.objects[1].contour.resize(kMany);
  crowd.objects[2].history_ids.assign(kMany, 7);
  for (const skelmar_protocol::msg::ObjectList & list :
       {crowd, skelmar_protocol::msg::ObjectList()}) {
    const auto stored = [&] { return people_unit.getPeopleInfo()["/crowd"] == list; };
    ASSERT_TRUE(deliver(p, "/crowd", list, stored, kLong));
  }
}

TEST(Bundles, NamedAfterTheSecondsWithExactlyTheirEndpointsAndConfiguredGlobally)
{
  skelmar_test::GlobalRosArguments args(
      {"-r", "__ns:=/robot4", "-p", "communicator_people_info_topic:=[people, /people_b]", "-p",
       "communicator_cmd_vel_out:=cmd_out", "-p", "use_sim_time:=true"});
  const time_t before = std::time(nullptr);
  sc::CommunicatorDecision decision;
  sc::CommunicatorEngine engine;
  const time_t after = std::time(nullptr);
  // A node named by the prefix and the seconds of its construction, with exactly the given
  // endpoints (but /rosout and /parameter_events), which the graph shows asynchronously;
  // relative names resolve in the namespace. Every publisher but the footprint's keeps the
  // last message, reliable and volatile.
  using Publishers = std::vector<std::pair<rclcpp::PublisherBase::SharedPtr, std::string>>;
  const auto expectBundle = [&](const auto & bundle, const std::string & prefix,
                                Publishers publishers, std::set<std::string> subscriptions) {
    const std::string name = bundle.node->get_name();
    std::smatch seconds;
    ASSERT_TRUE(std::regex_match(name, seconds, std::regex(prefix + "([1-9][0-9]*)"))) << name;
    EXPECT_GE(std::stoll(seconds[1]), before);
    EXPECT_LE(std::stoll(seconds[1]), after);
    publishers.insert(
        publishers.end(), {{bundle.cmd_vel->cmd_vel_pub, "/robot4/cmd_out"},
                           {bundle.err_code->error_pub, "/robot4/skelmar_nav2_error"},
                           {bundle.err_code->trigger_rosbag_pub, "/robot4/active_trigger_rosbag"},
                           {bundle.err_code->exception_handle_pub, "/robot4/exception_handle"}});
    std::set<std::string> topics;
    for (const auto & [publisher, topic] : publishers) {
      const rclcpp::QoS qos = publisher->get_actual_qos();
      EXPECT_EQ(publisher->get_topic_name(), *topics.insert(topic).first);
      EXPECT_TRUE(
          topic == "/robot4/trace_published_footprint" ||
          (qos.depth() == 1U && qos.reliability() == rclcpp::ReliabilityPolicy::Reliable &&
           qos.durability() == rclcpp::DurabilityPolicy::Volatile))
          << topic;
    }
    subscriptions.insert({"/clock", "/robot4/planner_speed"});  // simulated time: the clock
    const auto graph = bundle.node->get_node_graph_interface();
    const auto shown = [&](bool publishing) {
      std::set<std::string> found;
      for (const auto & [topic, types] :
           publishing ? graph->get_publisher_names_and_types_by_node(name, "/robot4")
                      : graph->get_subscriber_names_and_types_by_node(name, "/robot4")) {
        if (topic != "/rosout" && topic != "/parameter_events") {
          found.insert(topic);
        }
      }
      return found;
    };
    waitFor([&] { return shown(true) == topics && shown(false) == subscriptions; });
    EXPECT_EQ(shown(true), topics);
    EXPECT_EQ(shown(false), subscriptions);
  };
  expectBundle(decision, "skelmar_nav2_decision_communicator", {}, {});
  const auto & pl = *engine.planning;
  const auto & tr = *engine.trace;
  const std::string pp = "/robot4/skelmar_nav2_planning/";
  expectBundle(
      engine, "skelmar_nav2_engine_communicator",
      {{pl.global_path_pub, pp + "global_planning_path"},
       {pl.dynamic_global_path_pub, pp + "dynamic_global_planning_path"},
       {pl.cropped_global_path_pub, pp + "cropped_global_planning_path"},
       {pl.local_path_pub, pp + "local_planning_path"},
       {pl.contour_path_pub, pp + "contour_path"},
       {pl.contour_pub, pp + "contour"},
       {pl.wait_for_dynamic_obstacle_pub, "/robot4/wait_for_dynamic_obstacle"},
       {pl.cleaning_report_pub, "/robot4/cleaning_report"},
       {pl.connective_area_pub, "/connective_area"},
       {pl.covered_path_pub, "/robot4/covered_path"},
       {tr.local_end_pose_pub, "/robot4/trace/local_end_pose"},
       {tr.dir_pose_pub, "/robot4/trace/dir_pose"},
       {tr.recovery_backward_pub, "/robot4/trace/recovery_backward"},
       {tr.footprint_pub, "/robot4/trace_published_footprint"},
       {engine.robot_event->robot_event_pub, "/robot_event"}},
      {"/bev_tracker_dynamic_obstacles", "/people_b", "/robot4/people",
       "/robot4/robot_base/wheel/odom"});
  EXPECT_EQ(engine.cmd_vel->planner_speed_sub->get_actual_qos().depth(), 1U);
  EXPECT_STREQ(pl.trigger_clean_coverage_client->get_service_name(), "/trigger_clean_coverage");
  EXPECT_EQ(engine.dynamic_obstacle->tf_buffer->getCacheLength(), std::chrono::seconds(10));

  // Both node threads run: one ratio reaches both units. Exception stamps follow the
  // simulated clock.
  SpunNode observer("bundle_observer");
  skelmar_protocol::msg::PlannerSpeedControl ratio;
  ratio.speed_ratio = 0.5F;
  EXPECT_TRUE(deliver(*observer.node, "/robot4/planner_speed", ratio, [&] {
    return decision.cmd_vel->speed_ratio.load() == 0.5F &&
           engine.cmd_vel->speed_ratio.load() == 0.5F;
  }));
  rosgraph_msgs::msg::Clock clock;
  clock.clock.sec = 1234;
  ASSERT_TRUE(deliver(*observer.node, "/clock", clock, [&] {
    return decision.node->now().nanoseconds() == 1'234'000'000'000;
  }));
  observer.spin();
  skelmar_protocol::msg::ExceptionHandle handled;
  handled.set__exception_code(3).header.stamp = clock.clock;
  const auto publish = [&] { decision.err_code->publishExceptionHandle(3); };
  EXPECT_EQ(
      skelmar_test::firstReceived<decltype(handled)>(
          *observer.node, "/robot4/exception_handle", publish),
      handled);
}

TEST(Bundles, FailedConstructionLeavesNoThread)
{
  {
    // Two threads of its own: the node's, and the one spinning the transform listener's node
    // (counted once the middleware's own threads run).
    const sc::CommunicatorDecision decision;
    const size_t threads = threadCount();
    sc::CommunicatorEngine engine;
    EXPECT_EQ(threadCount(), threads + 2);
  }
  using rclcpp::exceptions::InvalidParameterTypeException;
  const std::pair<std::string, std::function<void()>> failures[] = {
      {"communicator_cmd_vel_out:=5",
       [] { EXPECT_THROW(sc::CommunicatorDecision{}, InvalidParameterTypeException); }},
      {"communicator_people_info_topic:=people_a",
       [] { EXPECT_THROW(sc::CommunicatorEngine{}, InvalidParameterTypeException); }},
      // Only the transform listener's own node declares this override's parameter: the
      // failure comes in the last step, after the node thread has started.
      {"qos_overrides./tf.subscription.depth:=deep",
       [] { EXPECT_THROW(sc::CommunicatorEngine{}, std::runtime_error); }}};
  for (const auto & [argument, construct] : failures) {
    SCOPED_TRACE(argument);
    skelmar_test::GlobalRosArguments args({"-p", argument});
    const size_t threads = threadCount();
    construct();
    EXPECT_EQ(threadCount(), threads);
  }
}

TEST(NodeThreadStart, DestroyedRightAfterStartingManyTimes)
{
  auto node = SpunNode("thread_cycles").node;
  const size_t threads = threadCount();
  for (int i = 0; i < 300; ++i) {
    // The node leaves its executor when the executor goes, so it can be added again.
    ASSERT_TRUE(skelmar_internal::startNodeThread(node->get_node_base_interface()));
  }
  EXPECT_EQ(threadCount(), threads);
}

// The clean-coverage call against a missing, a slow and a prompt service, which records each
// request and holds back its answer while `hold` is set.
class TriggerTest : public ::testing::Test
{
protected:
  using Request = std::tuple<bool, int, int>;
  using Service = skelmar_nav2_protocol::srv::TriggerCleanCoverage;

  void startService()
  {
    service = server.node->create_service<Service>(
        "/trigger_clean_coverage",
        [this](std::shared_ptr<Service::Request> r, std::shared_ptr<Service::Response>) {
          {
            std::lock_guard<std::mutex> lock(mutex);
            requests.emplace(r->flag, r->first_value, r->second_value);
          }
          waitFor([this] { return !hold; }, std::chrono::seconds(10));
        });
    server.spin();
  }

  std::multiset<Request> received()
  {
    std::lock_guard<std::mutex> lock(mutex);
    return requests;
  }

  // One call, which ends well within a generous bound of its two one-second limits.
  bool call(bool flag, int first, int second)
  {
    const auto start = std::chrono::steady_clock::now();
    const bool result = unit.triggerCleanCoverage(flag, first, second);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    return result;
  }

  // The records so far, as "<file> <function> <payload after its number>".
  std::vector<std::string> logged()
  {
    std::vector<std::string> lines;
    for (const auto & r : log->records()) {
      lines.push_back(r.file + " " + r.function + " " + r.payload.substr(r.payload.find('[')));
    }
    return lines;
  }

  // Declared so that the unit's thread stops first, then the service's, before what the
  // service callback uses goes.
  std::shared_ptr<skelmar_test::LogCapture> log = skelmar_test::LogCapture::attach();
  SpunNode unit_node{"trigger_unit"};
  sc::MicroUnitPlanning unit{unit_node.node};
  rclcpp::Service<Service>::SharedPtr service;
  std::mutex mutex;
  std::multiset<Request> requests;
  std::atomic<bool> hold{false};
  SpunNode server{"trigger_server"};
  std::unique_ptr<nav2_util::NodeThread> spinning = skelmar_test::spin(unit_node);
};

TEST_F(TriggerTest, ReturnsWhetherTheServiceAnsweredInTimeAndLogsWhyNot)
{
  EXPECT_FALSE(call(true, 1, 2));
  hold = true;  // the call gives up on the answer, which comes later
  startService();
  EXPECT_TRUE(call(true, 1, 1));
  hold = false;
  EXPECT_TRUE(call(true, -3, 2147483647));  // prompt answers log nothing
  EXPECT_TRUE(call(false, -2147483647 - 1, -1));
  EXPECT_EQ(
      received(),
      (std::multiset<Request>{{true, 1, 1}, {true, -3, 2147483647}, {false, -2147483647 - 1, -1}}));
  unit.trigger_clean_coverage_client.reset();
  EXPECT_FALSE(call(false, 0, 0));
  const std::string at = "./src/communicator/microunit_planning.cpp triggerCleanCoverage [ERROR] ";
  EXPECT_EQ(
      logged(), (std::vector<std::string>{
                    at + "Server not exist", at + "SyncCallService server timeout",
                    at + "SyncCallService client is nullptr"}));
}

TEST_F(TriggerTest, SeveralThreadsCallAtOnce)
{
  startService();
  std::atomic<int> succeeded{0};
  skelmar_test::runTogether(
      4, [&](int t) { succeeded += unit.triggerCleanCoverage(t % 2 == 0, t, -t) ? 1 : 0; });
  EXPECT_EQ(succeeded, 4);
  EXPECT_EQ(
      received(),
      (std::multiset<Request>{{true, 0, 0}, {false, 1, -1}, {true, 2, -2}, {false, 3, -3}}));
  EXPECT_TRUE(logged().empty());
}
