// The units that only publish: eight threads call every publish operation at once; each
// message that arrives is whole and arrives once, and a paused subscriber with keep-last
// depth N gets exactly the newest N.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "communicator/communicator_test_helpers.hpp"
#include "skelmar_nav2_tools/communicator/microunit_cmd_vel.hpp"
#include "skelmar_nav2_tools/communicator/microunit_err_code.hpp"
#include "skelmar_nav2_tools/communicator/microunit_planning.hpp"
#include "skelmar_nav2_tools/communicator/microunit_robot_event.hpp"
#include "skelmar_nav2_tools/communicator/microunit_trace.hpp"
#include "stress_support.hpp"

using communicator_test::Inbox;
using communicator_test::SpunNode;

namespace {

constexpr int kCallsPerThread = 300;

/// Calls @p publish with the numbers 1 .. kThreads * kCallsPerThread from kThreads threads at
/// once and checks what arrives on @p topic: @p numberOf gives a message's number, or 0 if
/// its fields do not all belong to one call.
template <typename MessageT>
void publishFromEightThreads(
    rclcpp::Node & peer, const rclcpp::PublisherBase::SharedPtr & publisher,
    const std::function<void(int)> & publish, const std::function<int(const MessageT &)> & numberOf)
{
  Inbox<MessageT> inbox(
      peer, publisher->get_topic_name(), rclcpp::QoS(rclcpp::KeepAll()).reliable());
  ASSERT_TRUE(inbox.waitForMatch(publisher));
  const double seconds = stress::runTogether(stress::kThreads, [&](int t) {
    for (int k = 1; k <= kCallsPerThread; ++k) {
      publish(t * kCallsPerThread + k);
    }
  });
  const int sent = stress::kThreads * kCallsPerThread;
  // The units publish with keep last 1: only the newest is promised, so the count is not
  // checked; what arrives must be whole and unique.
  inbox.waitForCount(static_cast<size_t>(sent), std::chrono::seconds(2));
  const auto received = inbox.messages();
  ASSERT_FALSE(received.empty());
  std::set<int> numbers;
  for (const auto & msg : received) {
    const int number = numberOf(msg);
    ASSERT_GT(number, 0) << "a message mixes the fields of several calls";
    EXPECT_TRUE(numbers.insert(number).second) << "message " << number << " arrived twice";
  }
  const std::string topic = publisher->get_topic_name();
  stress::report(topic + " threads", stress::kThreads);
  stress::report(topic + " calls_per_second", sent / seconds);
  stress::report(topic + " received", static_cast<double>(received.size()));
}

geometry_msgs::msg::PoseStamped poseAt(double x, double y)
{
  geometry_msgs::msg::PoseStamped pose;
  pose.pose.position.x = x;
  pose.pose.position.y = y;
  pose.pose.orientation.w = 1.0;
  return pose;
}

// A path is whole when its frame names its number c, it has @p size(c) poses and all of them
// carry c.
int pathNumber(const nav_msgs::msg::Path & path, const std::function<size_t(int)> & size)
{
  if (path.poses.empty()) {
    return 0;
  }
  const int c = static_cast<int>(path.poses.front().pose.position.x);
  if (path.header.frame_id != "f" + std::to_string(c) || path.poses.size() != size(c)) {
    return 0;
  }
  for (const auto & pose : path.poses) {
    if (pose.pose.position.x != c) {
      return 0;
    }
  }
  return c;
}

}  // namespace

TEST(UnitStress, PlanningPublishesFromEightThreads)
{
  SpunNode unit_node("stress_planning");
  SpunNode peer("stress_planning_peer");
  auto unit = std::make_shared<skelmar_communicator::MicroUnitPlanning>(unit_node.node);
  peer.spin();
  // c % 3 + 1 entries of two poses each, flattened into one path.
  const auto multiPaths = [](int c) {
    skelmar_nav2_protocol::msg::MultiPaths msg;
    msg.paths.resize(static_cast<size_t>(c % 3 + 1));
    for (auto & entry : msg.paths) {
      entry.header.frame_id = "f" + std::to_string(c);
      entry.poses = {poseAt(c, 0), poseAt(c, 1)};
    }
    return msg;
  };
  const auto flattened = [](const nav_msgs::msg::Path & path) {
    return pathNumber(path, [](int c) { return static_cast<size_t>(2 * (c % 3 + 1)); });
  };
  publishFromEightThreads<nav_msgs::msg::Path>(
      *peer.node, unit->global_path_pub, [&](int c) { unit->publishGlobalPath(multiPaths(c)); },
      flattened);
  publishFromEightThreads<nav_msgs::msg::Path>(
      *peer.node, unit->dynamic_global_path_pub,
      [&](int c) { unit->publishDynamicGlobalPath(multiPaths(c)); }, flattened);
  publishFromEightThreads<nav_msgs::msg::Path>(
      *peer.node, unit->cropped_global_path_pub,
      [&](int c) { unit->publishCroppedGlobalPath(multiPaths(c)); }, flattened);
  publishFromEightThreads<geometry_msgs::msg::PolygonStamped>(
      *peer.node, unit->contour_pub,
      [&](int c) {
        geometry_msgs::msg::Polygon polygon;
        polygon.points.resize(static_cast<size_t>(c % 4 + 1));
        for (auto & point : polygon.points) {
          point.x = static_cast<float>(c);
        }
        unit->publishContour(polygon);
      },
      [](const geometry_msgs::msg::PolygonStamped & contour) {
        const auto & points = contour.polygon.points;
        const int c = points.empty() ? 0 : static_cast<int>(points.front().x);
        const bool whole = contour.header.frame_id == "map" &&
                           points.size() == static_cast<size_t>(c % 4 + 1) &&
                           std::all_of(points.begin(), points.end(), [c](const auto & point) {
                             return point.x == static_cast<float>(c);
                           });
        return whole ? c : 0;
      });
  publishFromEightThreads<nav_msgs::msg::Path>(
      *peer.node, unit->covered_path_pub,
      [&](int c) {
        std::vector<geometry_msgs::msg::PoseStamped> poses(
            static_cast<size_t>(c % 3 + 1), poseAt(c, 0));
        unit->publishCoveredPath(poses);
      },
      [](const nav_msgs::msg::Path & path) {
        // The covered path's frame is always "map"; give it the number for the check.
        nav_msgs::msg::Path renamed = path;
        renamed.header.frame_id =
            path.poses.empty()
                ? ""
                : "f" + std::to_string(static_cast<int>(path.poses.front().pose.position.x));
        const auto size = [](int c) { return static_cast<size_t>(c % 3 + 1); };
        return path.header.frame_id == "map" ? pathNumber(renamed, size) : 0;
      });
}

TEST(UnitStress, TraceErrCodeAndRobotEventPublishFromEightThreads)
{
  SpunNode unit_node("stress_publishers");
  SpunNode peer("stress_publishers_peer");
  auto trace = std::make_shared<skelmar_communicator::MicroUnitTrace>(unit_node.node);
  auto err_code = std::make_shared<skelmar_communicator::MicroUnitErrCode>(unit_node.node);
  auto robot_event = std::make_shared<skelmar_communicator::MicroUnitRobotEvent>(unit_node.node);
  peer.spin();

  // The footprint (1, 0), (0, 1) placed at (c, 0) without rotation, stamped c.
  const std::vector<geometry_msgs::msg::Point> footprint = [] {
    std::vector<geometry_msgs::msg::Point> points(2);
    points[0].x = 1.0;
    points[1].y = 1.0;
    return points;
  }();
  publishFromEightThreads<geometry_msgs::msg::PolygonStamped>(
      *peer.node, trace->footprint_pub,
      [&](int c) {
        auto pose = poseAt(c, 0);
        pose.header.stamp.sec = c;
        trace->publishFootPrint(footprint, pose);
      },
      [](const geometry_msgs::msg::PolygonStamped & placed) {
        const int c = placed.header.stamp.sec;
        const auto & points = placed.polygon.points;
        const bool whole = points.size() == 2 && points[0].x == c + 1.0F && points[0].y == 0.0F &&
                           points[1].x == static_cast<float>(c) && points[1].y == 1.0F;
        return whole ? c : 0;
      });
  publishFromEightThreads<nav_msgs::msg::Path>(
      *peer.node, trace->local_end_pose_pub,
      [&](int c) {
        auto start = poseAt(c, 0);
        start.header.frame_id = "f" + std::to_string(c);
        trace->PublishLocalEndPose(start, poseAt(c, 1));
      },
      [](const nav_msgs::msg::Path & path) { return pathNumber(path, [](int) { return 2U; }); });
  publishFromEightThreads<skelmar_protocol::msg::TriggerRosbag>(
      *peer.node, err_code->trigger_rosbag_pub,
      [&](int c) {
        err_code->publishActiveTriggerRosbag("a" + std::to_string(c), "b" + std::to_string(c));
      },
      [](const skelmar_protocol::msg::TriggerRosbag & msg) {
        const int c = std::stoi(msg.first_text.substr(1));
        return msg.first_text == "b" + std::to_string(c) &&
                       msg.second_text == "a" + std::to_string(c)
                   ? c
                   : 0;
      });
  publishFromEightThreads<skelmar_protocol::msg::ExceptionHandle>(
      *peer.node, err_code->exception_handle_pub,
      [&](int c) { err_code->publishExceptionHandle(c); },
      [](const skelmar_protocol::msg::ExceptionHandle & msg) {
        return msg.header.stamp.sec > 0 ? msg.exception_code : 0;
      });
  publishFromEightThreads<skelmar_protocol::msg::RobotEvent>(
      *peer.node, robot_event->robot_event_pub,
      [&](int c) {
        skelmar_protocol::msg::RobotEvent event;
        event.event_id = c;
        event.arguments.assign(static_cast<size_t>(c % 4), std::to_string(c));
        robot_event->publishRobotEvent(event);
      },
      [](const skelmar_protocol::msg::RobotEvent & event) {
        const int c = event.event_id;
        return event.arguments ==
                       std::vector<std::string>(static_cast<size_t>(c % 4), std::to_string(c))
                   ? c
                   : 0;
      });
}

TEST(QosStress, PausedKeepLastSubscriberGetsExactlyTheNewestAfterEightThreadsPublish)
{
  constexpr size_t kDepth = 5;
  SpunNode unit_node("stress_depth");
  SpunNode paused("stress_depth_paused");
  auto unit = std::make_shared<skelmar_communicator::MicroUnitRobotEvent>(unit_node.node);
  Inbox<skelmar_protocol::msg::RobotEvent> inbox(
      *paused.node, "/robot_event", rclcpp::QoS(kDepth).reliable());
  ASSERT_TRUE(inbox.waitForMatch(unit->robot_event_pub));

  // Nobody takes the messages while the threads publish.
  const double seconds = stress::runTogether(stress::kThreads, [&](int t) {
    for (int k = 1; k <= kCallsPerThread; ++k) {
      skelmar_protocol::msg::RobotEvent event;
      event.event_id = t * kCallsPerThread + k;
      unit->publishRobotEvent(event);
    }
  });
  paused.spin();
  ASSERT_TRUE(inbox.waitForCount(kDepth));
  // The newest N of all: of each thread, a final run of its messages, in order.
  std::map<int, std::vector<int>> per_thread;
  for (const auto & event : inbox.messages()) {
    per_thread[(event.event_id - 1) / kCallsPerThread].push_back(
        (event.event_id - 1) % kCallsPerThread + 1);
  }
  for (const auto & [thread, numbers] : per_thread) {
    for (size_t i = 0; i < numbers.size(); ++i) {
      EXPECT_EQ(numbers[i], kCallsPerThread - static_cast<int>(numbers.size() - 1 - i))
          << "thread " << thread;
    }
  }
  // A marker published now must be the very next message: nothing older was still queued.
  skelmar_protocol::msg::RobotEvent marker;
  marker.event_id = -1;
  unit->publishRobotEvent(marker);
  ASSERT_TRUE(inbox.waitForCount(kDepth + 1));
  EXPECT_EQ(inbox.last().event_id, -1);
  EXPECT_EQ(inbox.size(), kDepth + 1);
  stress::report("threads", stress::kThreads);
  stress::report("events_per_second", stress::kThreads * kCallsPerThread / seconds);
}

TEST(QosStress, PausedRatioSubscriptionKeepsOnlyTheNewestRatio)
{
  SpunNode unit_node("stress_ratio_depth");
  SpunNode peer("stress_ratio_depth_peer");
  auto unit = std::make_shared<skelmar_communicator::MicroUnitCmdVel>(unit_node.node);
  // One probe with the unit's own depth of 1 on the same, paused node counts deliveries.
  Inbox<skelmar_protocol::msg::PlannerSpeedControl> probe(
      *unit_node.node, unit->planner_speed_sub->get_topic_name(), rclcpp::QoS(1).reliable());
  auto ratio_pub = peer.node->create_publisher<skelmar_protocol::msg::PlannerSpeedControl>(
      unit->planner_speed_sub->get_topic_name(), 10);
  ASSERT_TRUE(probe.waitForMatch(ratio_pub));
  stress::runTogether(stress::kThreads, [&](int t) {
    for (int k = 1; k <= kCallsPerThread; ++k) {
      skelmar_protocol::msg::PlannerSpeedControl msg;
      msg.speed_ratio = static_cast<float>(t * kCallsPerThread + k);
      ratio_pub->publish(msg);
    }
  });
  skelmar_protocol::msg::PlannerSpeedControl newest;
  newest.speed_ratio = 0.25F;
  ratio_pub->publish(newest);
  unit_node.spin();
  ASSERT_TRUE(probe.waitForCount(1));
  EXPECT_TRUE(skelmar_test::waitFor([&] { return unit->speed_ratio.load() == 0.25F; }));
  EXPECT_EQ(probe.size(), 1U);
  EXPECT_EQ(probe.last().speed_ratio, 0.25F);
}
