// The two bundles: node names, the endpoints they carry and their quality of service,
// configuration through global ROS arguments, and construction that fails part way.

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <functional>
#include <regex>

#include "rosgraph_msgs/msg/clock.hpp"
#include "skelmar_nav2_tools/communicator/communicator.hpp"
#include "support/ros_test_support.hpp"

using skelmar_communicator::CommunicatorDecision;
using skelmar_communicator::CommunicatorEngine;
using skelmar_test::GlobalRosArguments;
using skelmar_test::Inbox;
using skelmar_test::SpunNode;
using skelmar_test::threadCount;

namespace {

// The prefix directly followed by the seconds of a moment between the two readings.
void expectNodeName(const std::string & name, const std::string & prefix, time_t before)
{
  const time_t after = std::time(nullptr);
  std::smatch match;
  ASSERT_TRUE(std::regex_match(name, match, std::regex(prefix + "([1-9][0-9]*)"))) << name;
  EXPECT_GE(std::stoll(match[1]), before);
  EXPECT_LE(std::stoll(match[1]), after);
}

std::vector<std::string> sorted(std::vector<std::string> topics)
{
  std::sort(topics.begin(), topics.end());
  return topics;
}

// "topic type" of every publisher (or subscription) of @p node but /rosout and
// /parameter_events, sorted, once the graph, updated asynchronously, shows @p expected.
std::vector<std::string> endpointsOf(
    rclcpp::Node & observer, const rclcpp::Node & node, bool publishers,
    const std::vector<std::string> & expected)
{
  std::vector<std::string> result;
  skelmar_test::waitFor([&] {
    result.clear();
    for (const auto & [topic, types] : observer.get_topic_names_and_types()) {
      for (const auto & info : publishers ? observer.get_publishers_info_by_topic(topic)
                                          : observer.get_subscriptions_info_by_topic(topic)) {
        if (info.node_name() == node.get_name() && info.node_namespace() == "/robot4" &&
            topic != "/rosout" && topic != "/parameter_events") {
          result.push_back(topic + " " + info.topic_type());
        }
      }
    }
    std::sort(result.begin(), result.end());
    return result == expected;
  });
  return result;
}

template <typename Exception>
bool isA(const std::exception & error)
{
  return dynamic_cast<const Exception *>(&error) != nullptr;
}

}  // namespace

TEST(Bundles, NamedAfterTheSecondsWithExactlyTheirEndpointsAndConfiguredGlobally)
{
  GlobalRosArguments args(
      {"-r", "__ns:=/robot4", "-p", "communicator_people_info_topic:=[people, /people_b]", "-p",
       "communicator_cmd_vel_out:=cmd_out", "-p", "use_sim_time:=true"});
  const time_t before = std::time(nullptr);
  CommunicatorDecision decision;
  CommunicatorEngine engine;
  expectNodeName(decision.node->get_name(), "skelmar_nav2_decision_communicator", before);
  expectNodeName(engine.node->get_name(), "skelmar_nav2_engine_communicator", before);
  for (const auto & unit_node : {decision.cmd_vel->node, decision.err_code->node}) {
    EXPECT_EQ(unit_node, decision.node);
  }
  for (const auto & unit_node :
       {engine.cmd_vel->node, engine.planning->node, engine.trace->node, engine.odom->node,
        engine.err_code->node, engine.robot_event->node, engine.people_info->node,
        engine.dynamic_obstacle->node}) {
    EXPECT_EQ(unit_node, engine.node);
  }

  // Relative names resolve in the namespace, absolute ones stay.
  const std::vector<std::string> decision_publishers{
      "/robot4/active_trigger_rosbag skelmar_protocol/msg/TriggerRosbag",
      "/robot4/cmd_out geometry_msgs/msg/Twist",
      "/robot4/exception_handle skelmar_protocol/msg/ExceptionHandle",
      "/robot4/skelmar_nav2_error std_msgs/msg/Int8"};
  std::vector<std::string> engine_publishers = decision_publishers;
  for (const std::string topic :
       {"/connective_area visualization_msgs/msg/Marker",
        "/robot4/cleaning_report skelmar_protocol/msg/CoveredPoints",
        "/robot4/covered_path nav_msgs/msg/Path",
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
        "/robot_event skelmar_protocol/msg/RobotEvent"}) {
    engine_publishers.push_back(topic);
  }
  // With simulated time every node listens to the clock.
  const std::vector<std::string> decision_subscriptions{
      "/clock rosgraph_msgs/msg/Clock",
      "/robot4/planner_speed skelmar_protocol/msg/PlannerSpeedControl"};
  const auto engine_subscriptions = sorted(
      {"/bev_tracker_dynamic_obstacles skelmar_protocol/msg/DynamicObstacles",
       "/clock rosgraph_msgs/msg/Clock", "/people_b skelmar_protocol/msg/ObjectList",
       "/robot4/people skelmar_protocol/msg/ObjectList",
       "/robot4/planner_speed skelmar_protocol/msg/PlannerSpeedControl",
       "/robot4/robot_base/wheel/odom nav_msgs/msg/Odometry"});
  SpunNode observer("bundle_observer");
  const auto endpoints = [&](const rclcpp::Node & node, bool publishers, const auto & expected) {
    return endpointsOf(*observer.node, node, publishers, expected);
  };
  EXPECT_EQ(endpoints(*decision.node, true, decision_publishers), decision_publishers);
  EXPECT_EQ(endpoints(*decision.node, false, decision_subscriptions), decision_subscriptions);
  engine_publishers = sorted(engine_publishers);
  EXPECT_EQ(endpoints(*engine.node, true, engine_publishers), engine_publishers);
  EXPECT_EQ(endpoints(*engine.node, false, engine_subscriptions), engine_subscriptions);
  EXPECT_STREQ(
      engine.planning->trigger_clean_coverage_client->get_service_name(),
      "/trigger_clean_coverage");
  EXPECT_EQ(engine.dynamic_obstacle->tf_buffer->getCacheLength(), std::chrono::seconds(10));

  // Every publisher but the footprint's keeps the last message, reliable and volatile; the
  // speed ratio subscription keeps one too.
  const auto & p = *engine.planning;
  const auto & t = *engine.trace;
  for (const rclcpp::PublisherBase::SharedPtr & publisher :
       std::vector<rclcpp::PublisherBase::SharedPtr>{
           engine.cmd_vel->cmd_vel_pub, engine.err_code->error_pub,
           engine.err_code->trigger_rosbag_pub, engine.err_code->exception_handle_pub,
           p.global_path_pub, p.dynamic_global_path_pub, p.contour_path_pub, p.local_path_pub,
           p.cropped_global_path_pub, p.wait_for_dynamic_obstacle_pub, p.contour_pub,
           p.cleaning_report_pub, p.connective_area_pub, p.covered_path_pub, t.local_end_pose_pub,
           t.dir_pose_pub, t.recovery_backward_pub, engine.robot_event->robot_event_pub}) {
    const rclcpp::QoS qos = publisher->get_actual_qos();
    EXPECT_EQ(qos.depth(), 1U) << publisher->get_topic_name();
    EXPECT_EQ(qos.reliability(), rclcpp::ReliabilityPolicy::Reliable);
    EXPECT_EQ(qos.durability(), rclcpp::DurabilityPolicy::Volatile);
  }
  EXPECT_EQ(engine.cmd_vel->planner_speed_sub->get_actual_qos().depth(), 1U);

  // Both node threads run: one ratio reaches both units, and exception stamps follow the
  // simulated clock.
  auto ratio_pub = observer.node->create_publisher<skelmar_protocol::msg::PlannerSpeedControl>(
      "/robot4/planner_speed", 1);
  skelmar_protocol::msg::PlannerSpeedControl ratio;
  ratio.speed_ratio = 0.5F;
  EXPECT_TRUE(skelmar_test::waitFor([&] {
    ratio_pub->publish(ratio);
    return decision.cmd_vel->speed_ratio.load() == 0.5F &&
           engine.cmd_vel->speed_ratio.load() == 0.5F;
  }));
  auto clock_pub = observer.node->create_publisher<rosgraph_msgs::msg::Clock>("/clock", 10);
  rosgraph_msgs::msg::Clock clock;
  clock.clock.sec = 1234;
  ASSERT_TRUE(skelmar_test::waitFor([&] {
    clock_pub->publish(clock);
    return decision.node->now().nanoseconds() == 1'234'000'000'000;
  }));
  Inbox<skelmar_protocol::msg::ExceptionHandle> exceptions(
      *observer.node, "/robot4/exception_handle");
  observer.spin();
  const auto handled = exceptions.firstOf([&] { decision.err_code->publishExceptionHandle(3); });
  EXPECT_EQ(handled.exception_code, 3);
  EXPECT_EQ(handled.header.stamp.sec, 1234);
  EXPECT_EQ(handled.header.stamp.nanosec, 0U);
}

TEST(Bundles, FailedConstructionLeavesNoThread)
{
  {
    // Two threads of its own: the node's, and the one spinning the transform listener's node
    // (counted once the middleware's own threads run).
    const CommunicatorDecision decision;
    const size_t threads = threadCount();
    CommunicatorEngine engine;
    EXPECT_EQ(threadCount(), threads + 2);
  }
  struct Failure
  {
    std::vector<std::string> ros_args;
    std::function<void()> construct;
    bool (*expected)(const std::exception &);
  };
  const Failure failures[] = {
      {{"-p", "communicator_cmd_vel_out:=5"},
       [] { CommunicatorDecision{}; },
       isA<rclcpp::exceptions::InvalidParameterTypeException>},
      {{"-p", "communicator_people_info_topic:=people_a"},
       [] { CommunicatorEngine{}; },
       isA<rclcpp::exceptions::InvalidParameterTypeException>},
      // Only the transform listener's own node declares this override's parameter: the
      // failure comes in the last step, after the node thread has started.
      {{"-p", "qos_overrides./tf.subscription.depth:=deep"},
       [] { CommunicatorEngine{}; },
       isA<std::runtime_error>},
  };
  for (const Failure & failure : failures) {
    SCOPED_TRACE(failure.ros_args.back());
    GlobalRosArguments args(failure.ros_args);
    const size_t threads = threadCount();
    try {
      failure.construct();
      ADD_FAILURE() << "constructed";
    } catch (const std::exception & error) {
      EXPECT_TRUE(failure.expected(error)) << error.what();
    }
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
