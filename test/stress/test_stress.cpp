// Under load, whatever arrives or is read belongs to one whole call or message.

#include <gtest/gtest.h>

#include <csignal>
#include <set>

#include "log_call.hpp"
#include "skelmar_nav2_tools/communicator/communicator.hpp"
#include "support/log_capture.hpp"
#include "support/ros_test_support.hpp"
#include "tf2_ros/transform_broadcaster.h"

using geometry_msgs::msg::Point;
using geometry_msgs::msg::Twist;
using geometry_msgs::msg::Vector3;
using skelmar_protocol::msg::ObjectList;
using skelmar_protocol::msg::PlannerSpeedControl;
using skelmar_test::runTogether;
using skelmar_test::waitFor;
namespace sc = skelmar_communicator;

namespace {

constexpr int kThreads = 8;

// Message n of each input: every kept field follows from n, so a snapshot shows whether it
// comes from one message.
nav_msgs::msg::Odometry odometry(int n)
{
  nav_msgs::msg::Odometry msg;
  msg.header.stamp.sec = n;
  msg.twist.twist.linear.set__x(n).set__y(-n);
  msg.pose.pose.position.x = n;
  return msg;
}

// What the units keep of people list n: its header and objects (every fifth list has none).
ObjectList people(int n)
{
  ObjectList msg;
  msg.header.stamp.sec = n;
  msg.objects.resize(n % 5, skelmar_protocol::msg::ObjectInfo().set__id(n));
  return msg;
}

// Publishes message n = 1, 2, ... of every input of the units and bundles (people lists on
// @p crowds) on a thread of its own, as fast as it can or every @p period. Obstacles come in
// "map" or in "laser", which lies at (1, 2, 3).
struct Traffic
{
  explicit Traffic(std::vector<std::string> crowds, std::chrono::milliseconds period = {})
      : thread([this, crowds, period] {
          auto node = skelmar_test::uniqueNode("stress_feeder");
          auto odom = node->create_publisher<nav_msgs::msg::Odometry>("robot_base/wheel/odom", 10);
          auto ratio = node->create_publisher<PlannerSpeedControl>("planner_speed", 10);
          auto obstacles = node->create_publisher<skelmar_protocol::msg::DynamicObstacles>(
              "/bev_tracker_dynamic_obstacles", 10);
          std::vector<rclcpp::Publisher<ObjectList>::SharedPtr> lists;
          for (const auto & topic : crowds) {
            lists.push_back(node->create_publisher<ObjectList>(topic, 10));
          }
          tf2_ros::TransformBroadcaster tf(node);
          geometry_msgs::msg::TransformStamped laser;
          laser.set__child_frame_id("laser").header.frame_id = "map";
          laser.transform.translation.set__x(1).set__y(2).set__z(3);
          for (int n = 1; !stop; count = n++) {
            odom->publish(odometry(n));
            ratio->publish(
                PlannerSpeedControl().set__speed_ratio(std::array{0.5F, 2.0F, NAN}[n % 3]));
            laser.header.stamp.sec = n;
            tf.sendTransform(laser);
            skelmar_protocol::msg::DynamicObstacles msg;
            msg.header.set__frame_id(n % 2 == 0 ? "map" : "laser").stamp.sec = n;
            const std::vector<Point> points(n % 3 + 1, Point().set__x(n));
            msg.obstacles.resize(
                n % 4 + 1, skelmar_protocol::msg::DynamicObstacle().set__points(points));
            obstacles->publish(msg);
            for (const auto & list : lists) {
              list->publish(people(n).set__text("dropped").set__scalar(n));
            }
            std::this_thread::sleep_for(period);
          }
        })
  {}
  ~Traffic()
  {
    stop = true;
    thread.join();
  }
  std::atomic<int> count{0};
  std::atomic<bool> stop{false};
  std::thread thread;
};

}  // namespace

// Units on one spun node, fed by traffic on every input; half the threads send velocity
// commands, half read the getters.
TEST(UnitStress, EightThreadsPublishAndReadWhileMessagesAndTransformsArrive)
{
  // Keyed as written; a topic listed twice has one subscription.
  const std::vector<std::string> topics{
      "people_front", "/people_back", "people_side", "people_front"};
  const auto unit_node = skelmar_test::uniqueNode(
      "stress_units",
      rclcpp::NodeOptions().parameter_overrides({{"communicator_people_info_topic", topics}}));
  sc::MicroUnitCmdVel cmd_vel{unit_node};
  sc::MicroUnitOdom odom{unit_node};
  sc::MicroUnitPeopleInfo people_info{unit_node};
  sc::MicroUnitDynamicObstacle obstacles{unit_node};
  const auto spinning = skelmar_test::spin(unit_node);
  Traffic traffic{topics};
  const auto peer = skelmar_test::uniqueNode("stress_peer");
  skelmar_test::Inbox<Twist> commands(*peer, "/cmd_vel_raw");
  const auto peer_spinning = skelmar_test::spin(peer);
  ASSERT_TRUE(waitFor([&] { return cmd_vel.cmd_vel_pub->get_subscription_count() > 0; }));
  ASSERT_TRUE(waitFor(
      [&] { return obstacles.tf_buffer->canTransform("map", "laser", tf2::TimePointZero); }));
  runTogether(kThreads, [&](int t) {
    // Command c: linear (c, 2c), and c in linear.z, which is not scaled.
    for (int c = t * 600 + 1; t % 2 == 0 && c <= t * 600 + 600; ++c) {
      cmd_vel.publishVelocity(Twist().set__linear(Vector3().set__x(c).set__y(2 * c).set__z(c)));
    }
    for (int k = 0; t % 2 == 1 && (k < 1400 || traffic.count < 3000); ++k) {
      const auto velocity = odom.getOdom();
      const auto pose = odom.getOdomPose();
      ASSERT_EQ(velocity.twist, odometry(velocity.header.stamp.sec).twist.twist);
      ASSERT_EQ(pose.pose, odometry(pose.header.stamp.sec).pose.pose);
      for (const auto & [topic, list] : people_info.getPeopleInfo()) {
        ASSERT_EQ(list, people(list.header.stamp.sec));
      }
      const auto paths = obstacles.getDynamicObstacle();
      const int n = paths.empty() ? 0 : paths[0].header.stamp.sec;
      const double shift = n % 2;  // odd messages come in "laser"
      ASSERT_EQ(paths.size(), n == 0 ? 0U : n % 4 + 1U);
      for (const auto & path : paths) {
        ASSERT_EQ(path.poses.size(), n % 3 + 1U);
        for (const auto & p : path.poses) {
          ASSERT_EQ(p.pose.position, Point().set__x(n + shift).set__y(2 * shift).set__z(3 * shift));
        }
      }
    }
  });
  EXPECT_EQ(people_info.getPeopleInfo().size(), 3U);
  // The publisher keeps the last message only: what arrives is checked, not how much.
  commands.waitForCount(kThreads / 2 * 600, std::chrono::seconds(2));
  ASSERT_FALSE(commands.messages().empty());
  for (const auto & twist : commands.messages()) {
    // Scaled by a ratio sent (or the initial 1), never NaN, read anew for each component.
    for (const double ratio :
         {twist.linear.x / twist.linear.z, twist.linear.y / twist.linear.z / 2}) {
      EXPECT_TRUE(ratio == 1.0 || ratio == 0.5 || ratio == 2.0) << ratio;
    }
  }
}

// A probe subscription on each bundle's node stays silent once the bundle is gone.
TEST(BundleStress, BuiltAndDestroyedWhileTrafficFlows)
{
  skelmar_test::GlobalRosArguments args({"-p", "communicator_people_info_topic:=[people_a]"});
  Traffic traffic({"people_a"});
  for (int round = 0; round < 36; ++round) {
    std::optional<sc::CommunicatorEngine> engine;
    std::optional<sc::CommunicatorDecision> decision;
    round % 3 == 0 ? (void)engine.emplace() : (void)decision.emplace();
    std::atomic<bool> closed{false};
    std::atomic<int> calls{0}, late{0};
    auto probe = (engine ? engine->node : decision->node)
                     ->create_subscription<PlannerSpeedControl>(
                         "planner_speed", 10,
                         [&](PlannerSpeedControl::UniquePtr) { late += closed, ++calls; });
    ASSERT_TRUE(waitFor([&] { return calls > 0; }));
    engine.reset();
    decision.reset();
    closed = true;
    const int target = traffic.count + 20;
    ASSERT_TRUE(waitFor([&] { return traffic.count >= target; }));
    EXPECT_EQ(late.load(), 0) << "a callback ran after the bundle was destroyed";
  }
}

TEST(BundleStress, EngineDestroyedRightAfterConstructionNeverHangs)
{
  // Humble's own transform listener thread hung in its destructor within a few hundred to a
  // couple of thousand cycles; the sanitizers slow each cycle several times over.
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
  constexpr int kCycles = 400;
#else
  constexpr int kCycles = 2000;
#endif
  skelmar_test::GlobalRosArguments args({"-p", "communicator_people_info_topic:=[people_a]"});
  // A cycle stalled for 20 s ends the process, saying why: a hang fails at once.
  std::signal(SIGALRM, [](int) {
    const char message[] = "watchdog: an engine bundle was not destroyed within 20 s\n";
    (void)!write(STDERR_FILENO, message, sizeof(message) - 1);
    std::_Exit(EXIT_FAILURE);
  });
  std::optional<Traffic> traffic;  // in the second half, flowing into every new bundle
  for (int cycle = 0; cycle < kCycles; ++cycle) {
    alarm(20);
    if (cycle == kCycles / 2) {
      traffic.emplace(std::vector<std::string>{"people_a"}, std::chrono::milliseconds(5));
    }
    sc::CommunicatorEngine engine;
  }
  alarm(0);
}

TEST(LoggerStress, SixteenThreadsKeepEveryRecordWholeAndCounted)
{
  auto capture = skelmar_test::LogCapture::attach();
  runTogether(2 * kThreads, [](int t) {
    for (int k = 1; k <= 1000; ++k) {
      SKELMAR_LOG_ERROR("thread {} statement {} text {}", t, k, std::string(k % 50, 'x'));
    }
  });
  std::set<std::pair<int, int>> seen;
  for (const auto & record : capture->take()) {
    // The number may repeat or be skipped under contention, but stays below 128.
    int number = -1, t = -1, k = -1;
    std::sscanf(record.payload.c_str(), "%d [ERROR] thread %d statement %d", &number, &t, &k);
    EXPECT_EQ(
        record.payload,
        fmt::format(
            "{:3} [ERROR] thread {} statement {} text {}", number, t, k, std::string(k % 50, 'x')));
    EXPECT_TRUE(number >= 0 && number < 128 && seen.insert({t, k}).second) << record.payload;
  }
  EXPECT_EQ(seen.size(), 2U * kThreads * 1000);
}
