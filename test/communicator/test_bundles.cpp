// The two bundles: node names, the endpoints they carry, configuration through global ROS
// arguments, failure during construction and teardown while messages flow.

#include <gtest/gtest.h>

#include <atomic>
#include <ctime>
#include <regex>
#include <thread>

#include "communicator_test_helpers.hpp"
#include "rosgraph_msgs/msg/clock.hpp"
#include "skelmar_nav2_tools/communicator/communicator.hpp"
#include "tf2_ros/transform_broadcaster.h"

using communicator_test::GlobalRosArguments;
using communicator_test::Inbox;
using communicator_test::settledEndpointsOf;
using communicator_test::SpunNode;
using communicator_test::threadCount;
using skelmar_communicator::CommunicatorDecision;
using skelmar_communicator::CommunicatorEngine;

namespace {

/// Checks that @p name is @p prefix directly followed by the seconds of a moment between
/// @p before and @p after, written without leading zeros.
void expectNodeName(
    const std::string & name, const std::string & prefix, time_t before, time_t after)
{
  std::smatch match;
  ASSERT_TRUE(std::regex_match(name, match, std::regex(prefix + "([1-9][0-9]*)"))) << name;
  const long long seconds = std::stoll(match[1].str());
  EXPECT_GE(seconds, static_cast<long long>(before));
  EXPECT_LE(seconds, static_cast<long long>(after));
}

const std::vector<std::string> kDecisionPublishers{
    "/active_trigger_rosbag skelmar_protocol/msg/TriggerRosbag",
    "/cmd_vel_raw geometry_msgs/msg/Twist",
    "/exception_handle skelmar_protocol/msg/ExceptionHandle",
    "/skelmar_nav2_error std_msgs/msg/Int8",
};

const std::vector<std::string> kEnginePublishers{
    "/active_trigger_rosbag skelmar_protocol/msg/TriggerRosbag",
    "/cleaning_report skelmar_protocol/msg/CoveredPoints",
    "/cmd_vel_raw geometry_msgs/msg/Twist",
    "/connective_area visualization_msgs/msg/Marker",
    "/covered_path nav_msgs/msg/Path",
    "/exception_handle skelmar_protocol/msg/ExceptionHandle",
    "/robot_event skelmar_protocol/msg/RobotEvent",
    "/skelmar_nav2_error std_msgs/msg/Int8",
    "/skelmar_nav2_planning/contour geometry_msgs/msg/PolygonStamped",
    "/skelmar_nav2_planning/contour_path nav_msgs/msg/Path",
    "/skelmar_nav2_planning/cropped_global_planning_path nav_msgs/msg/Path",
    "/skelmar_nav2_planning/dynamic_global_planning_path nav_msgs/msg/Path",
    "/skelmar_nav2_planning/global_planning_path nav_msgs/msg/Path",
    "/skelmar_nav2_planning/local_planning_path nav_msgs/msg/Path",
    "/trace/dir_pose geometry_msgs/msg/PoseStamped",
    "/trace/local_end_pose nav_msgs/msg/Path",
    "/trace/recovery_backward geometry_msgs/msg/Twist",
    "/trace_published_footprint geometry_msgs/msg/PolygonStamped",
    "/wait_for_dynamic_obstacle std_msgs/msg/Int8",
};

std::vector<std::string> engineSubscriptions(const std::vector<std::string> & people_topics)
{
  std::vector<std::string> result{
      "/bev_tracker_dynamic_obstacles skelmar_protocol/msg/DynamicObstacles",
      "/planner_speed skelmar_protocol/msg/PlannerSpeedControl",
      "/robot_base/wheel/odom nav_msgs/msg/Odometry",
  };
  for (const auto & topic : people_topics) {
    result.push_back(topic + " skelmar_protocol/msg/ObjectList");
  }
  std::sort(result.begin(), result.end());
  return result;
}

}  // namespace

TEST(DecisionBundle, NamedAfterTheSecondsAndCarryingExactlyItsEndpoints)
{
  const time_t before = std::time(nullptr);
  CommunicatorDecision bundle;
  const time_t after = std::time(nullptr);
  expectNodeName(bundle.node->get_name(), "skelmar_nav2_decision_communicator", before, after);
  EXPECT_STREQ(bundle.node->get_namespace(), "/");
  ASSERT_TRUE(bundle.node_thread);
  EXPECT_EQ(bundle.cmd_vel->node, bundle.node);
  EXPECT_EQ(bundle.err_code->node, bundle.node);

  SpunNode observer("decision_observer");
  EXPECT_EQ(
      settledEndpointsOf(*observer.node, bundle.node->get_name(), "/", true, kDecisionPublishers),
      kDecisionPublishers);
  const std::vector<std::string> subscriptions{
      "/planner_speed skelmar_protocol/msg/PlannerSpeedControl"};
  EXPECT_EQ(
      settledEndpointsOf(*observer.node, bundle.node->get_name(), "/", false, subscriptions),
      subscriptions);

  // The node thread runs the ratio subscription.
  auto ratio_pub = observer.node->create_publisher<skelmar_protocol::msg::PlannerSpeedControl>(
      "planner_speed", 1);
  skelmar_protocol::msg::PlannerSpeedControl ratio;
  ratio.speed_ratio = 0.25F;
  ASSERT_TRUE(skelmar_test::waitFor([&] {
    ratio_pub->publish(ratio);
    return bundle.cmd_vel->speed_ratio.load() == 0.25F;
  }));
}

TEST(DecisionBundle, ConfiguredThroughGlobalArguments)
{
  GlobalRosArguments args(
      {"-r", "__ns:=/robot8", "-p", "communicator_cmd_vel_out:=cmd_out", "-p",
       "use_sim_time:=true"});
  CommunicatorDecision bundle;
  EXPECT_STREQ(bundle.node->get_namespace(), "/robot8");
  EXPECT_STREQ(bundle.cmd_vel->cmd_vel_pub->get_topic_name(), "/robot8/cmd_out");
  EXPECT_STREQ(bundle.cmd_vel->planner_speed_sub->get_topic_name(), "/robot8/planner_speed");
  EXPECT_STREQ(bundle.err_code->exception_handle_pub->get_topic_name(), "/robot8/exception_handle");

  // Exception stamps follow the simulated clock.
  SpunNode peer("decision_clock");
  Inbox<skelmar_protocol::msg::ExceptionHandle> exceptions(*peer.node, "/robot8/exception_handle");
  auto clock_pub = peer.node->create_publisher<rosgraph_msgs::msg::Clock>("/clock", 10);
  peer.spin();
  ASSERT_TRUE(exceptions.waitForMatch(bundle.err_code->exception_handle_pub));
  rosgraph_msgs::msg::Clock clock;
  clock.clock.sec = 1234;
  ASSERT_TRUE(skelmar_test::waitFor([&] {
    clock_pub->publish(clock);
    return bundle.node->now().nanoseconds() == 1'234'000'000'000;
  }));
  bundle.err_code->publishExceptionHandle(3);
  ASSERT_TRUE(exceptions.waitForCount(1));
  EXPECT_EQ(exceptions.last().header.stamp.sec, 1234);
  EXPECT_EQ(exceptions.last().header.stamp.nanosec, 0U);
}

TEST(DecisionBundle, ParameterOfAnotherTypeFailsWithoutLeavingAThread)
{
  GlobalRosArguments args({"-p", "communicator_cmd_vel_out:=5"});
  const size_t threads = threadCount();
  EXPECT_THROW(CommunicatorDecision{}, rclcpp::exceptions::InvalidParameterTypeException);
  EXPECT_EQ(threadCount(), threads);
}

TEST(EngineBundle, NamedAfterTheSecondsAndCarryingExactlyItsEndpoints)
{
  const time_t before = std::time(nullptr);
  CommunicatorEngine bundle;
  const time_t after = std::time(nullptr);
  expectNodeName(bundle.node->get_name(), "skelmar_nav2_engine_communicator", before, after);
  for (const auto & unit_node :
       {bundle.cmd_vel->node, bundle.planning->node, bundle.trace->node, bundle.odom->node,
        bundle.err_code->node, bundle.robot_event->node, bundle.people_info->node,
        bundle.dynamic_obstacle->node}) {
    EXPECT_EQ(unit_node, bundle.node);
  }
  EXPECT_STREQ(
      bundle.planning->trigger_clean_coverage_client->get_service_name(),
      "/trigger_clean_coverage");

  SpunNode observer("engine_observer");
  EXPECT_EQ(
      settledEndpointsOf(*observer.node, bundle.node->get_name(), "/", true, kEnginePublishers),
      kEnginePublishers);
  const auto subscriptions = engineSubscriptions({});
  EXPECT_EQ(
      settledEndpointsOf(*observer.node, bundle.node->get_name(), "/", false, subscriptions),
      subscriptions);
}

TEST(EngineBundle, BothBundlesInOneProcessAreIndependent)
{
  GlobalRosArguments args({"-p", "communicator_people_info_topic:=[people_a, /people_b]"});
  CommunicatorDecision decision;
  CommunicatorEngine engine;
  ASSERT_NE(decision.node, engine.node);
  ASSERT_NE(decision.cmd_vel, engine.cmd_vel);

  SpunNode observer("both_observer");
  const auto subscriptions = engineSubscriptions({"/people_a", "/people_b"});
  EXPECT_EQ(
      settledEndpointsOf(*observer.node, engine.node->get_name(), "/", false, subscriptions),
      subscriptions);
  EXPECT_EQ(
      settledEndpointsOf(*observer.node, decision.node->get_name(), "/", true, kDecisionPublishers),
      kDecisionPublishers);
  EXPECT_SETTLED_EQ(2U, observer.node->count_subscribers("/planner_speed"));
  EXPECT_SETTLED_EQ(2U, observer.node->count_publishers("/cmd_vel_raw"));
  EXPECT_TRUE(decision.node->has_parameter("communicator_cmd_vel_out"));
  EXPECT_TRUE(engine.node->has_parameter("communicator_cmd_vel_out"));

  // One ratio reaches both units; each scales its own commands.
  auto ratio_pub = observer.node->create_publisher<skelmar_protocol::msg::PlannerSpeedControl>(
      "planner_speed", 1);
  skelmar_protocol::msg::PlannerSpeedControl ratio;
  ratio.speed_ratio = 0.5F;
  ASSERT_TRUE(skelmar_test::waitFor([&] {
    ratio_pub->publish(ratio);
    return decision.cmd_vel->speed_ratio.load() == 0.5F &&
           engine.cmd_vel->speed_ratio.load() == 0.5F;
  }));
  engine.cmd_vel->plannerSpeedSub(skelmar_protocol::msg::PlannerSpeedControl());  // ratio 0
  EXPECT_EQ(decision.cmd_vel->speed_ratio.load(), 0.5F);
}

TEST(EngineBundle, FailureAfterTheThreadStartedStopsIt)
{
  // Only the transform listener's own node declares this override's parameter, so the
  // failure comes in the last construction step, after the node thread has started.
  GlobalRosArguments args({"-p", "qos_overrides./tf.subscription.depth:=deep"});
  const size_t threads = threadCount();
  EXPECT_THROW(CommunicatorEngine{}, std::runtime_error);
  EXPECT_EQ(threadCount(), threads);
}

TEST(EngineBundle, WrongPeopleTopicTypeFailsWithoutLeavingAThread)
{
  GlobalRosArguments args({"-p", "communicator_people_info_topic:=people_a"});
  const size_t threads = threadCount();
  EXPECT_THROW(CommunicatorEngine{}, rclcpp::exceptions::InvalidParameterTypeException);
  EXPECT_EQ(threadCount(), threads);
}

TEST(EngineBundle, DestroyedWhileInputsFlow)
{
  GlobalRosArguments args({"-p", "communicator_people_info_topic:=[people_a]"});
  SpunNode feeder("engine_feeder");
  auto odom_pub =
      feeder.node->create_publisher<nav_msgs::msg::Odometry>("robot_base/wheel/odom", 10);
  auto ratio_pub = feeder.node->create_publisher<skelmar_protocol::msg::PlannerSpeedControl>(
      "planner_speed", 10);
  auto people_pub =
      feeder.node->create_publisher<skelmar_protocol::msg::ObjectList>("people_a", 10);
  auto obstacle_pub = feeder.node->create_publisher<skelmar_protocol::msg::DynamicObstacles>(
      "/bev_tracker_dynamic_obstacles", 10);
  tf2_ros::TransformBroadcaster broadcaster(feeder.node);
  Inbox<nav_msgs::msg::Odometry> witness(*feeder.node, "robot_base/wheel/odom");
  feeder.spin();

  std::atomic<bool> stop{false};
  std::atomic<int> sent{0};
  std::thread inputs([&] {
    for (int n = 1; !stop.load(); ++n) {
      nav_msgs::msg::Odometry odom;
      odom.header.stamp.sec = n;
      odom_pub->publish(odom);
      skelmar_protocol::msg::PlannerSpeedControl ratio;
      ratio.speed_ratio = static_cast<float>(n % 3);
      ratio_pub->publish(ratio);
      skelmar_protocol::msg::ObjectList people;
      people.header.stamp.sec = n;
      people_pub->publish(people);
      skelmar_protocol::msg::DynamicObstacles obstacles;
      obstacles.header.frame_id = n % 2 == 0 ? "map" : "laser";
      obstacles.obstacles.resize(2);
      obstacle_pub->publish(obstacles);
      geometry_msgs::msg::TransformStamped laser;
      laser.header.frame_id = "map";
      laser.header.stamp.sec = n;
      laser.child_frame_id = "laser";
      broadcaster.sendTransform(laser);
      ++sent;
      std::this_thread::yield();
    }
  });

  for (int round = 0; round < 20; ++round) {
    auto engine = std::make_unique<CommunicatorEngine>();
    const int start = sent.load();
    ASSERT_TRUE(skelmar_test::waitFor([&] { return sent.load() > start + 5; }));
    auto odom = engine->odom;  // outlives the bundle
    engine.reset();
    const auto frozen = odom->getOdom();
    const size_t seen = witness.size();
    ASSERT_TRUE(skelmar_test::waitFor([&] { return witness.size() > seen + 5; }));
    EXPECT_EQ(odom->getOdom(), frozen) << "a callback ran after the bundle was destroyed";
  }
  stop = true;
  inputs.join();
}
