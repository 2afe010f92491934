// Bundles built and destroyed again and again while traffic flows on all their topics and
// their units are called: no callback runs once a bundle is gone, and destruction never
// hangs, however soon it follows construction.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "communicator/communicator_test_helpers.hpp"
#include "skelmar_nav2_tools/communicator/communicator.hpp"
#include "stress_support.hpp"
#include "tf2_ros/transform_broadcaster.h"

using communicator_test::GlobalRosArguments;
using communicator_test::Inbox;
using communicator_test::SpunNode;
using skelmar_communicator::CommunicatorDecision;
using skelmar_communicator::CommunicatorEngine;

namespace {

constexpr int kRounds = 12;

// Humble's own transform listener thread hung in its destructor within a few hundred to a
// couple of thousand engine cycles; the sanitizers slow each cycle several times over.
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
constexpr int kHangCycles = 400;
#else
constexpr int kHangCycles = 2000;
#endif

/// Counts the messages a subscription of the bundle's own node receives and those that come
/// after the bundle was declared closed; outlives the bundle.
struct Recorder
{
  std::atomic<bool> closed{false};
  std::atomic<int> calls{0};
  std::atomic<int> late{0};
};

template <typename MessageT>
typename rclcpp::Subscription<MessageT>::SharedPtr record(
    rclcpp::Node & node, const std::string & topic, const std::shared_ptr<Recorder> & recorder)
{
  return node.create_subscription<MessageT>(
      topic, rclcpp::SystemDefaultsQoS(), [recorder](typename MessageT::UniquePtr) {
        if (recorder->closed.load()) {
          recorder->late.fetch_add(1);
        }
        recorder->calls.fetch_add(1);
      });
}

/// Publishes on every input topic of the bundles as fast as it can, from threads of its own.
class Traffic
{
public:
  Traffic()
      : feeder_("stress_bundle_feeder"),
        odom_pub_(feeder_.node->create_publisher<nav_msgs::msg::Odometry>(
            "robot_base/wheel/odom", rclcpp::SystemDefaultsQoS())),
        ratio_pub_(feeder_.node->create_publisher<skelmar_protocol::msg::PlannerSpeedControl>(
            "planner_speed", 10)),
        people_pub_(feeder_.node->create_publisher<skelmar_protocol::msg::ObjectList>(
            "people_a", rclcpp::SystemDefaultsQoS())),
        obstacle_pub_(feeder_.node->create_publisher<skelmar_protocol::msg::DynamicObstacles>(
            "/bev_tracker_dynamic_obstacles", rclcpp::SystemDefaultsQoS())),
        broadcaster_(feeder_.node),
        witness_(*feeder_.node, "robot_base/wheel/odom")
  {
    feeder_.spin();
    repeaters_.push_back(std::make_unique<stress::Repeater>([this](std::int64_t n) {
      nav_msgs::msg::Odometry odom;
      odom.header.stamp.sec = static_cast<int32_t>(n);
      odom_pub_->publish(odom);
      skelmar_protocol::msg::PlannerSpeedControl ratio;
      ratio.speed_ratio = static_cast<float>(n % 3);
      ratio_pub_->publish(ratio);
    }));
    repeaters_.push_back(std::make_unique<stress::Repeater>([this](std::int64_t n) {
      skelmar_protocol::msg::ObjectList people;
      people.header.stamp.sec = static_cast<int32_t>(n);
      people.objects.resize(2);
      people_pub_->publish(people);
      skelmar_protocol::msg::DynamicObstacles obstacles;
      obstacles.header.frame_id = n % 2 == 0 ? "map" : "laser";
      obstacles.obstacles.resize(2);
      obstacles.obstacles[0].points.resize(3);
      obstacle_pub_->publish(obstacles);
      geometry_msgs::msg::TransformStamped laser;
      laser.header.frame_id = "map";
      laser.header.stamp.sec = static_cast<int32_t>(n);
      laser.child_frame_id = "laser";
      laser.transform.rotation.w = 1.0;
      broadcaster_.sendTransform(laser);
    }));
  }

  /// Messages sent so far on all topics.
  std::int64_t sent() const
  {
    return repeaters_[0]->count() * 2 + repeaters_[1]->count() * 3;
  }

  /// Waits until the traffic has visibly gone on: more odometry reached the witness.
  bool flowed(size_t messages = 20) const
  {
    const size_t seen = witness_.size();
    return witness_.waitForCount(seen + messages);
  }

private:
  SpunNode feeder_;
  rclcpp::Publisher<nav_msgs::msg::Odometry>::SharedPtr odom_pub_;
  rclcpp::Publisher<skelmar_protocol::msg::PlannerSpeedControl>::SharedPtr ratio_pub_;
  rclcpp::Publisher<skelmar_protocol::msg::ObjectList>::SharedPtr people_pub_;
  rclcpp::Publisher<skelmar_protocol::msg::DynamicObstacles>::SharedPtr obstacle_pub_;
  tf2_ros::TransformBroadcaster broadcaster_;
  // Sees the odometry traffic from the feeder's own node.
  Inbox<nav_msgs::msg::Odometry> witness_;
  std::vector<std::unique_ptr<stress::Repeater>> repeaters_;
};

}  // namespace

TEST(BundleStress, EngineBuiltAndDestroyedWhileTrafficFlowsAndUnitsAreCalled)
{
  GlobalRosArguments args({"-p", "communicator_people_info_topic:=[people_a]"});
  Traffic traffic;
  const auto start = std::chrono::steady_clock::now();
  const std::int64_t sent_before = traffic.sent();
  int unit_calls = 0;
  for (int round = 0; round < kRounds; ++round) {
    auto engine = std::make_unique<CommunicatorEngine>();
    auto recorder = std::make_shared<Recorder>();
    auto probe = record<nav_msgs::msg::Odometry>(*engine->node, "robot_base/wheel/odom", recorder);
    // The units may be called from any thread while their callbacks run.
    stress::runTogether(stress::kThreads, [&](int t) {
      for (int k = 0; k < 20; ++k) {
        geometry_msgs::msg::Twist twist;
        twist.linear.x = t + k;
        engine->cmd_vel->publishVelocity(twist);
        engine->odom->getOdom();
        engine->people_info->getPeopleInfo();
        engine->dynamic_obstacle->getDynamicObstacle();
        engine->err_code->publishExceptionHandle(k);
      }
    });
    unit_calls += stress::kThreads * 20 * 5;
    ASSERT_TRUE(skelmar_test::waitFor([&] { return recorder->calls.load() > 0; }));

    // Units kept beyond the bundle must stay frozen, and the probe silent.
    auto odom = engine->odom;
    auto people = engine->people_info;
    auto obstacles = engine->dynamic_obstacle;
    auto cmd_vel = engine->cmd_vel;
    engine.reset();
    recorder->closed = true;
    const auto frozen_odom = odom->getOdom();
    const auto frozen_people = people->getPeopleInfo();
    const auto frozen_obstacles = obstacles->getDynamicObstacle();
    const float frozen_ratio = cmd_vel->speed_ratio.load();
    ASSERT_TRUE(traffic.flowed());
    EXPECT_EQ(recorder->late.load(), 0) << "a callback ran after the bundle was destroyed";
    EXPECT_EQ(odom->getOdom(), frozen_odom);
    EXPECT_EQ(people->getPeopleInfo(), frozen_people);
    EXPECT_EQ(obstacles->getDynamicObstacle(), frozen_obstacles);
    EXPECT_EQ(cmd_vel->speed_ratio.load(), frozen_ratio);
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  stress::report("threads", stress::kThreads);
  stress::report("rounds", kRounds);
  stress::report("rounds_per_second", kRounds / seconds);
  stress::report("unit_calls", unit_calls);
  stress::report(
      "messages_per_second", static_cast<double>(traffic.sent() - sent_before) / seconds);
}

TEST(BundleStress, EngineDestroyedRightAfterConstructionNeverHangs)
{
  GlobalRosArguments args({"-p", "communicator_people_info_topic:=[people_a]"});
  std::atomic<int> cycle{0};
  stress::Watchdog watchdog(std::chrono::seconds(20), [&cycle] {
    return "engine bundle " + std::to_string(cycle.load()) + " was not destroyed";
  });
  // Builds and destroys @p count engines; returns the cycles per second.
  const auto cycles = [&](int count) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < count; ++i) {
      CommunicatorEngine engine;
      ++cycle;
      watchdog.progress();
    }
    return count / std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  };
  stress::report("quiet_cycles_per_second", cycles(kHangCycles / 2));
  {
    // Transforms and obstacles flow, at a tracker's pace, into every new bundle's listener
    // and subscription.
    SpunNode feeder("hang_feeder");
    auto obstacle_pub = feeder.node->create_publisher<skelmar_protocol::msg::DynamicObstacles>(
        "/bev_tracker_dynamic_obstacles", rclcpp::SystemDefaultsQoS());
    tf2_ros::TransformBroadcaster broadcaster(feeder.node);
    std::atomic<int> sent{0};
    auto timer = feeder.node->create_wall_timer(std::chrono::milliseconds(5), [&] {
      geometry_msgs::msg::TransformStamped laser;
      laser.header.frame_id = "map";
      laser.header.stamp = feeder.node->now();
      laser.child_frame_id = "laser";
      laser.transform.rotation.w = 1.0;
      broadcaster.sendTransform(laser);
      skelmar_protocol::msg::DynamicObstacles obstacles;
      obstacles.header.frame_id = "laser";
      obstacles.obstacles.resize(2);
      obstacles.obstacles[0].points.resize(3);
      obstacle_pub->publish(obstacles);
      ++sent;
    });
    feeder.spin();
    stress::report("busy_cycles_per_second", cycles(kHangCycles / 2));
    feeder.stop();
    EXPECT_GT(sent.load(), kHangCycles / 20);
  }
  EXPECT_EQ(cycle.load(), kHangCycles);
}

TEST(BundleStress, DecisionBuiltAndDestroyedWhileTrafficFlowsAndUnitsAreCalled)
{
  Traffic traffic;
  const auto start = std::chrono::steady_clock::now();
  const std::int64_t sent_before = traffic.sent();
  constexpr int kDecisionRounds = 2 * kRounds;
  for (int round = 0; round < kDecisionRounds; ++round) {
    auto decision = std::make_unique<CommunicatorDecision>();
    auto recorder = std::make_shared<Recorder>();
    auto probe = record<skelmar_protocol::msg::PlannerSpeedControl>(
        *decision->node, "planner_speed", recorder);
    stress::runTogether(stress::kThreads, [&](int t) {
      for (int k = 0; k < 20; ++k) {
        geometry_msgs::msg::Twist twist;
        twist.angular.z = t - k;
        decision->cmd_vel->publishVelocity(twist);
        decision->cmd_vel->publishZeroVelocity();
        std_msgs::msg::Int8 error;
        error.data = static_cast<int8_t>(k);
        decision->err_code->publishErrorMsg(error);
      }
    });
    ASSERT_TRUE(skelmar_test::waitFor([&] { return recorder->calls.load() > 0; }));
    auto cmd_vel = decision->cmd_vel;
    decision.reset();
    recorder->closed = true;
    const float frozen_ratio = cmd_vel->speed_ratio.load();
    ASSERT_TRUE(traffic.flowed());
    EXPECT_EQ(recorder->late.load(), 0) << "a callback ran after the bundle was destroyed";
    EXPECT_EQ(cmd_vel->speed_ratio.load(), frozen_ratio);
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  stress::report("threads", stress::kThreads);
  stress::report("rounds", kDecisionRounds);
  stress::report("rounds_per_second", kDecisionRounds / seconds);
  stress::report(
      "messages_per_second", static_cast<double>(traffic.sent() - sent_before) / seconds);
}
