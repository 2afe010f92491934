// Bundles built and destroyed again and again while traffic flows on all their topics and
// their units are called: no callback runs once a bundle is gone, and destruction never
// hangs, however soon it follows construction.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <tuple>

#include "communicator/communicator_test_helpers.hpp"
#include "skelmar_nav2_tools/communicator/communicator.hpp"
#include "stress_support.hpp"
#include "tf2_ros/transform_broadcaster.h"

using communicator_test::GlobalRosArguments;
using skelmar_communicator::CommunicatorDecision;
using skelmar_communicator::CommunicatorEngine;
using skelmar_protocol::msg::PlannerSpeedControl;
using skelmar_test::SpunNode;

namespace {

// Humble's own transform listener thread hung in its destructor within a few hundred to a
// couple of thousand engine cycles; the sanitizers slow each cycle several times over.
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
constexpr int kHangCycles = 400;
#else
constexpr int kHangCycles = 2000;
#endif

/// Publishes on every input topic of the bundles as fast as it can, from threads of its own.
class Traffic
{
public:
  Traffic()
  {
    feeder_.spin();
    repeaters_.emplace_back([this](std::int64_t n) {
      nav_msgs::msg::Odometry odom;
      odom.header.stamp.sec = static_cast<int32_t>(n);
      odom_pub_->publish(odom);
      PlannerSpeedControl ratio;
      ratio.speed_ratio = static_cast<float>(n % 3);
      ratio_pub_->publish(ratio);
    });
    repeaters_.emplace_back([this](std::int64_t n) {
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
    });
  }

  /// Waits until the traffic has visibly gone on: more odometry reached the feeder itself.
  bool flowed() const
  {
    return witness_.waitForCount(witness_.size() + 20);
  }

private:
  SpunNode feeder_{"stress_bundle_feeder"};
  rclcpp::Node & node_ = *feeder_.node;
  rclcpp::Publisher<nav_msgs::msg::Odometry>::SharedPtr odom_pub_{
      node_.create_publisher<nav_msgs::msg::Odometry>(
          "robot_base/wheel/odom", rclcpp::SystemDefaultsQoS())};
  rclcpp::Publisher<PlannerSpeedControl>::SharedPtr ratio_pub_{
      node_.create_publisher<PlannerSpeedControl>("planner_speed", 10)};
  rclcpp::Publisher<skelmar_protocol::msg::ObjectList>::SharedPtr people_pub_{
      node_.create_publisher<skelmar_protocol::msg::ObjectList>(
          "people_a", rclcpp::SystemDefaultsQoS())};
  rclcpp::Publisher<skelmar_protocol::msg::DynamicObstacles>::SharedPtr obstacle_pub_{
      node_.create_publisher<skelmar_protocol::msg::DynamicObstacles>(
          "/bev_tracker_dynamic_obstacles", rclcpp::SystemDefaultsQoS())};
  tf2_ros::TransformBroadcaster broadcaster_{feeder_.node};
  skelmar_test::Inbox<nav_msgs::msg::Odometry> witness_{node_, "robot_base/wheel/odom"};
  std::list<stress::Repeater> repeaters_;
};

/// Builds and destroys @p rounds bundles while @p call runs on eight threads at once. A probe
/// subscription on each bundle's node must stay silent once the bundle is gone, and what
/// @p watch reads through the units kept beyond it must stay frozen.
template <typename Bundle, typename Call, typename Watch>
void churn(const Traffic & traffic, int rounds, Call call, Watch watch)
{
  for (int round = 0; round < rounds; ++round) {
    auto bundle = std::make_unique<Bundle>();
    std::atomic<bool> closed{false};
    auto calls = std::make_shared<std::atomic<int>>(0);
    auto late = std::make_shared<std::atomic<int>>(0);
    auto probe = bundle->node->template create_subscription<PlannerSpeedControl>(
        "planner_speed", 10, [&closed, calls, late](PlannerSpeedControl::UniquePtr) {
          *late += closed.load() ? 1 : 0;
          ++*calls;
        });
    stress::runTogether(stress::kThreads, [&](int t) {
      for (int k = 0; k < 20; ++k) {
        call(*bundle, t, k);
      }
    });
    ASSERT_TRUE(skelmar_test::waitFor([&] { return calls->load() > 0; }));
    const auto read = watch(*bundle);
    bundle.reset();
    closed = true;
    const auto frozen = read();
    ASSERT_TRUE(traffic.flowed());
    EXPECT_EQ(late->load(), 0) << "a callback ran after the bundle was destroyed";
    EXPECT_TRUE(read() == frozen) << "a unit changed after the bundle was destroyed";
  }
}

}  // namespace

TEST(BundleStress, BuiltAndDestroyedWhileTrafficFlowsAndUnitsAreCalled)
{
  GlobalRosArguments args({"-p", "communicator_people_info_topic:=[people_a]"});
  Traffic traffic;
  churn<CommunicatorEngine>(
      traffic, 12,
      [](CommunicatorEngine & engine, int t, int k) {
        geometry_msgs::msg::Twist twist;
        twist.linear.x = t + k;
        engine.cmd_vel->publishVelocity(twist);
        engine.odom->getOdom();
        engine.people_info->getPeopleInfo();
        engine.dynamic_obstacle->getDynamicObstacle();
        engine.err_code->publishExceptionHandle(k);
      },
      [](CommunicatorEngine & engine) {
        return [odom = engine.odom, people = engine.people_info,
                obstacles = engine.dynamic_obstacle, cmd_vel = engine.cmd_vel] {
          return std::make_tuple(
              odom->getOdom(), people->getPeopleInfo(), obstacles->getDynamicObstacle(),
              cmd_vel->speed_ratio.load());
        };
      });
  churn<CommunicatorDecision>(
      traffic, 24,
      [](CommunicatorDecision & decision, int t, int k) {
        geometry_msgs::msg::Twist twist;
        twist.angular.z = t - k;
        decision.cmd_vel->publishVelocity(twist);
        decision.cmd_vel->publishZeroVelocity();
        std_msgs::msg::Int8 error;
        error.data = static_cast<int8_t>(k);
        decision.err_code->publishErrorMsg(error);
      },
      [](CommunicatorDecision & decision) {
        return [cmd_vel = decision.cmd_vel] { return cmd_vel->speed_ratio.load(); };
      });
}

TEST(BundleStress, EngineDestroyedRightAfterConstructionNeverHangs)
{
  GlobalRosArguments args({"-p", "communicator_people_info_topic:=[people_a]"});
  std::atomic<int> cycle{0};
  stress::Watchdog watchdog(std::chrono::seconds(20), [&cycle] {
    return "engine bundle " + std::to_string(cycle.load()) + " was not destroyed";
  });
  const auto cycles = [&](int count) {
    for (int i = 0; i < count; ++i) {
      CommunicatorEngine engine;
      ++cycle;
      watchdog.progress();
    }
  };
  cycles(kHangCycles / 2);
  // Transforms and obstacles flow, at a tracker's pace, into every new bundle's listener and
  // subscription.
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
  cycles(kHangCycles / 2);
  feeder.stop();
  EXPECT_GT(sent.load(), kHangCycles / 20);
  EXPECT_EQ(cycle.load(), kHangCycles);
}
