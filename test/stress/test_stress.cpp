// Under load: eight threads call the units' operations at once or read their getters while
// callbacks replace the data at full rate, bundles are built and destroyed while traffic flows,
// and sixteen threads log. Whatever arrives or is read belongs to one whole call or message.

#include <gtest/gtest.h>

#include <cmath>
#include <list>
#include <optional>
#include <regex>
#include <set>

#include "log_call.hpp"
#include "skelmar_nav2_tools/communicator/communicator.hpp"
#include "support/log_capture.hpp"
#include "support/ros_test_support.hpp"
#include "tf2_ros/transform_broadcaster.h"

using geometry_msgs::msg::Twist;
using nav_msgs::msg::Path;
using skelmar_protocol::msg::PlannerSpeedControl;
using skelmar_test::GlobalRosArguments;
using skelmar_test::runTogether;
using skelmar_test::SpunNode;
namespace sc = skelmar_communicator;

namespace {

constexpr int kThreads = 8;

// Humble's own transform listener thread hung in its destructor within a few hundred to a
// couple of thousand engine cycles; the sanitizers slow each cycle several times over.
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
constexpr int kHangCycles = 400;
#else
constexpr int kHangCycles = 2000;
#endif

/// Calls @p action with a running count (from 1) on a thread of its own until destroyed.
class Repeater
{
public:
  explicit Repeater(std::function<void(int)> action)
      : thread_([this, action = std::move(action)] {
          for (int n = 1; !stop_; ++n) {
            action(n);
            count = n;
          }
        })
  {}
  ~Repeater()
  {
    stop_ = true;
    thread_.join();
  }
  std::atomic<int> count{0};

private:
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// Message n of each input: every kept field follows from n, so a snapshot shows whether it
// comes from one message. Obstacles come in "map" or in "laser", which lies at (1, 2, 3).
nav_msgs::msg::Odometry odometry(int n)
{
  nav_msgs::msg::Odometry msg;
  msg.header.stamp.sec = n;
  msg.twist.twist.linear.set__x(n).set__y(-n);
  msg.pose.pose.position.x = n;
  return msg;
}

skelmar_protocol::msg::ObjectList people(int n)
{
  skelmar_protocol::msg::ObjectList msg;
  msg.header.stamp.sec = n;
  msg.objects.resize(static_cast<size_t>(n % 5));
  for (auto & object : msg.objects) {
    object.id = n;
  }
  return msg;
}

skelmar_protocol::msg::DynamicObstacles obstacles(int n)
{
  skelmar_protocol::msg::DynamicObstacles msg;
  msg.header.stamp.sec = n;
  msg.header.frame_id = n % 2 == 0 ? "map" : "laser";
  msg.obstacles.resize(static_cast<size_t>(n % 4 + 1));
  for (auto & obstacle : msg.obstacles) {
    obstacle.points.resize(static_cast<size_t>(n % 3 + 1));
    for (auto & point : obstacle.points) {
      point.x = n;
    }
  }
  return msg;
}

/// Publishes on every input topic of the units and bundles: as fast as it can from threads of
/// its own, or every @p period at a tracker's pace.
class Traffic
{
public:
  explicit Traffic(
      const std::vector<std::string> & people_topics,
      std::chrono::milliseconds period = std::chrono::milliseconds(0))
  {
    laser_.header.frame_id = "map";
    laser_.child_frame_id = "laser";
    laser_.transform.translation.set__x(1).set__y(2).set__z(3);
    laser_.transform.rotation.w = 1.0;
    std::vector<std::function<void(int)>> actions{
        [this](int n) { odom_pub_->publish(odometry(n)); },
        [this](int n) {
          ratio_pub_->publish(
              PlannerSpeedControl().set__speed_ratio(std::array<float, 3>{0.5F, 2.0F, NAN}[n % 3]));
        },
        [this](int n) {
          laser_.header.stamp.sec = n;
          broadcaster_.sendTransform(laser_);
          obstacle_pub_->publish(obstacles(n));
        }};
    for (const auto & topic : people_topics) {
      auto pub = feeder_.node->create_publisher<skelmar_protocol::msg::ObjectList>(topic, 10);
      actions.push_back([pub](int n) { pub->publish(people(n)); });
    }
    if (period.count() > 0) {
      timer_ = feeder_.node->create_wall_timer(period, [this, actions] {
        ++ticks_;
        for (const auto & action : actions) {
          action(ticks_);
        }
      });
      feeder_.spin();
      return;
    }
    for (const auto & action : actions) {
      repeaters_.emplace_back(action);
    }
  }
  ~Traffic()
  {
    feeder_.stop();  // the timer's callback uses the publishers
  }
  /// The fewest messages any input has had.
  int least() const
  {
    int fewest = INT32_MAX;
    for (const auto & repeater : repeaters_) {
      fewest = std::min(fewest, repeater.count.load());
    }
    return fewest;
  }
  /// Whether every input went on for @p count more messages.
  bool flowed(int count) const
  {
    const int target = least() + count;
    return skelmar_test::waitFor([&] { return least() >= target; });
  }

private:
  SpunNode feeder_{"stress_feeder"};
  geometry_msgs::msg::TransformStamped laser_;
  tf2_ros::TransformBroadcaster broadcaster_{feeder_.node};
  rclcpp::Publisher<nav_msgs::msg::Odometry>::SharedPtr odom_pub_{
      feeder_.node->create_publisher<nav_msgs::msg::Odometry>("robot_base/wheel/odom", 10)};
  rclcpp::Publisher<PlannerSpeedControl>::SharedPtr ratio_pub_{
      feeder_.node->create_publisher<PlannerSpeedControl>("planner_speed", 10)};
  rclcpp::Publisher<skelmar_protocol::msg::DynamicObstacles>::SharedPtr obstacle_pub_{
      feeder_.node->create_publisher<skelmar_protocol::msg::DynamicObstacles>(
          "/bev_tracker_dynamic_obstacles", 10)};
  int ticks_ = 0;
  rclcpp::TimerBase::SharedPtr timer_;
  std::list<Repeater> repeaters_;
};

}  // namespace

TEST(UnitStress, PublishersCalledFromEightThreadsWhileRatiosArrive)
{
  SpunNode unit_node("stress_publishers");
  SpunNode peer("stress_peer");
  sc::MicroUnitCmdVel cmd_vel(unit_node.node);
  sc::MicroUnitPlanning planning(unit_node.node);
  sc::MicroUnitErrCode err_code(unit_node.node);
  const auto spinning = skelmar_test::spin(unit_node);
  const auto all = rclcpp::QoS(rclcpp::KeepAll()).reliable();
  skelmar_test::Inbox<Twist> commands(*peer.node, "/cmd_vel_raw", all);
  skelmar_test::Inbox<Path> paths(*peer.node, "skelmar_nav2_planning/global_planning_path", all);
  skelmar_test::Inbox<skelmar_protocol::msg::TriggerRosbag> texts(
      *peer.node, "active_trigger_rosbag", all);
  peer.spin();
  ASSERT_TRUE(skelmar_test::waitFor([&] {
    return cmd_vel.cmd_vel_pub->get_subscription_count() > 0 &&
           planning.global_path_pub->get_subscription_count() > 0 &&
           err_code.trigger_rosbag_pub->get_subscription_count() > 0;
  }));
  Traffic traffic({});
  // Call c: command c (linear.z, not scaled, carries c), c % 3 + 1 path entries framed "c",
  // and the texts "a<c>", "b<c>".
  runTogether(kThreads, [&](int t) {
    for (int c = t * 300 + 1; c <= t * 300 + 300; ++c) {
      cmd_vel.publishVelocity(
          Twist().set__linear(geometry_msgs::msg::Vector3().set__x(c).set__y(2 * c).set__z(c)));
      skelmar_nav2_protocol::msg::MultiPaths multi;
      multi.paths.resize(static_cast<size_t>(c % 3 + 1));
      for (auto & entry : multi.paths) {
        entry.header.frame_id = std::to_string(c);
        entry.poses.resize(2);
        entry.poses[1].pose.position.x = c;
      }
      planning.publishGlobalPath(multi);
      err_code.publishActiveTriggerRosbag("a" + std::to_string(c), "b" + std::to_string(c));
    }
  });
  // The publishers keep the last message only: what arrives is checked, not how much.
  commands.waitForCount(kThreads * 300, std::chrono::seconds(2));
  std::set<double> seen;
  for (const auto & twist : commands.messages()) {
    const double c = twist.linear.z;
    EXPECT_TRUE(seen.insert(c).second) << "command " << c << " arrived twice";
    // Scaled by one ratio the planner sent (or the initial 1), never by NaN.
    const double ratio = twist.linear.x / c;
    EXPECT_TRUE(ratio == 1.0 || ratio == 0.5 || ratio == 2.0) << twist.linear.x;
    EXPECT_EQ(twist.linear.y, 2 * c * ratio);
  }
  for (const auto & path : paths.messages()) {
    const int c = std::stoi(path.header.frame_id);
    ASSERT_EQ(path.poses.size(), static_cast<size_t>(2 * (c % 3 + 1)));
    for (size_t i = 0; i < path.poses.size(); ++i) {
      ASSERT_EQ(path.poses[i].pose.position.x, i % 2 == 0 ? 0 : c);
    }
  }
  for (const auto & msg : texts.messages()) {
    EXPECT_EQ("a" + msg.first_text.substr(1), msg.second_text);
  }
  EXPECT_FALSE(seen.empty() || paths.size() == 0 || texts.size() == 0);
}

TEST(UnitStress, GettersReadFromEightThreadsWhileMessagesAndTransformsArrive)
{
  const std::vector<std::string> topics{"people_front", "people_back", "people_side"};
  SpunNode unit_node(
      "stress_getters", "",
      rclcpp::NodeOptions().parameter_overrides({{"communicator_people_info_topic", topics}}));
  sc::MicroUnitOdom odom(unit_node.node);
  sc::MicroUnitPeopleInfo people_info(unit_node.node);
  sc::MicroUnitDynamicObstacle obstacle_unit(unit_node.node);
  const auto spinning = skelmar_test::spin(unit_node);
  Traffic traffic(topics);
  ASSERT_TRUE(skelmar_test::waitFor(
      [&] { return obstacle_unit.tf_buffer->canTransform("map", "laser", tf2::TimePointZero); }));
  runTogether(kThreads, [&](int t) {
    int last = 0;
    for (int k = 0; k < 2000 || traffic.least() < 3000; ++k) {
      if ((k + t) % 3 == 0) {
        const auto velocity = odom.getOdom();
        const int n = velocity.header.stamp.sec;
        ASSERT_GE(n, last) << "one publisher's messages arrive in order";
        last = n;
        ASSERT_EQ(velocity.twist, odometry(n).twist.twist);
        const auto pose = odom.getOdomPose();
        ASSERT_EQ(pose.pose, odometry(pose.header.stamp.sec).pose.pose);
      } else if ((k + t) % 3 == 1) {
        for (const auto & [topic, list] : people_info.getPeopleInfo()) {
          ASSERT_EQ(list, people(list.header.stamp.sec));
        }
      } else {
        const auto paths = obstacle_unit.getDynamicObstacle();
        const int n = paths.empty() ? 0 : paths[0].header.stamp.sec;
        const double shift = n % 2 == 0 ? 0.0 : 1.0;
        ASSERT_EQ(paths.size(), n == 0 ? 0 : static_cast<size_t>(n % 4 + 1));
        for (const auto & path : paths) {
          ASSERT_EQ(path.poses.size(), static_cast<size_t>(n % 3 + 1));
          for (const auto & p : path.poses) {
            ASSERT_EQ(
                p.pose.position,
                geometry_msgs::msg::Point().set__x(n + shift).set__y(2 * shift).set__z(3 * shift));
          }
        }
      }
    }
  });
  EXPECT_TRUE(traffic.flowed(10));
  EXPECT_EQ(people_info.getPeopleInfo().size(), topics.size());
}

// Bundles built and destroyed while traffic flows and their units are called from eight
// threads: a probe subscription on each bundle's node stays silent once it is gone, and what
// the units kept beyond it read stays frozen.
TEST(BundleStress, BuiltAndDestroyedWhileTrafficFlowsAndUnitsAreCalled)
{
  GlobalRosArguments args({"-p", "communicator_people_info_topic:=[people_a]"});
  Traffic traffic({"people_a"});
  for (int round = 0; round < 36; ++round) {
    std::unique_ptr<sc::CommunicatorEngine> engine;
    std::unique_ptr<sc::CommunicatorDecision> decision;
    if (round % 3 == 0) {
      engine = std::make_unique<sc::CommunicatorEngine>();
    } else {
      decision = std::make_unique<sc::CommunicatorDecision>();
    }
    const auto node = engine ? engine->node : decision->node;
    const auto cmd_vel = engine ? engine->cmd_vel : decision->cmd_vel;
    std::atomic<bool> closed{false};
    auto calls = std::make_shared<std::atomic<int>>(0);
    auto late = std::make_shared<std::atomic<int>>(0);
    auto probe = node->create_subscription<PlannerSpeedControl>(
        "planner_speed", 10, [&closed, calls, late](PlannerSpeedControl::UniquePtr) {
          *late += closed ? 1 : 0;
          ++*calls;
        });
    runTogether(kThreads, [&](int t) {
      for (int k = 0; k < 20; ++k) {
        cmd_vel->publishVelocity(Twist().set__angular(geometry_msgs::msg::Vector3().set__z(t + k)));
        if (engine) {
          engine->odom->getOdom();
          engine->people_info->getPeopleInfo();
          engine->dynamic_obstacle->getDynamicObstacle();
          engine->err_code->publishExceptionHandle(k);
        } else {
          decision->err_code->publishErrorMsg(std_msgs::msg::Int8().set__data(k));
        }
      }
    });
    ASSERT_TRUE(skelmar_test::waitFor([&] { return calls->load() > 0; }));
    std::shared_ptr<sc::MicroUnitOdom> odom = engine ? engine->odom : nullptr;
    std::shared_ptr<sc::MicroUnitPeopleInfo> people = engine ? engine->people_info : nullptr;
    std::shared_ptr<sc::MicroUnitDynamicObstacle> obstacles =
        engine ? engine->dynamic_obstacle : nullptr;
    const auto read = [&] {
      return std::make_tuple(
          odom ? odom->getOdom() : geometry_msgs::msg::TwistStamped(),
          people ? people->getPeopleInfo() : decltype(people->getPeopleInfo())(),
          obstacles ? obstacles->getDynamicObstacle() : decltype(obstacles->getDynamicObstacle())(),
          cmd_vel->speed_ratio.load());
    };
    engine.reset();
    decision.reset();
    closed = true;
    const auto frozen = read();
    ASSERT_TRUE(traffic.flowed(20));
    EXPECT_EQ(late->load(), 0) << "a callback ran after the bundle was destroyed";
    EXPECT_TRUE(read() == frozen) << "a unit changed after the bundle was destroyed";
  }
}

TEST(BundleStress, EngineDestroyedRightAfterConstructionNeverHangs)
{
  GlobalRosArguments args({"-p", "communicator_people_info_topic:=[people_a]"});
  // A watchdog ends the process, saying where, when a cycle stalls for 20 s: a hang fails the
  // test at once instead of stalling the run.
  std::atomic<int> cycle{0};
  std::atomic<bool> done{false};
  std::thread watchdog([&] {
    for (int seen = -1; !done; seen = cycle) {
      if (!skelmar_test::waitFor([&] { return done || cycle != seen; }, std::chrono::seconds(20))) {
        std::fprintf(stderr, "watchdog: engine bundle %d was not destroyed\n", cycle.load());
        std::_Exit(EXIT_FAILURE);
      }
    }
  });
  // The second half with transforms and obstacles flowing into every new bundle.
  std::optional<Traffic> traffic;
  for (int i = 0; i < kHangCycles; ++i) {
    if (i == kHangCycles / 2) {
      traffic.emplace(std::vector<std::string>{"people_a"}, std::chrono::milliseconds(5));
    }
    {
      sc::CommunicatorEngine engine;
    }
    ++cycle;
  }
  done = true;
  watchdog.join();
  EXPECT_EQ(cycle.load(), kHangCycles);
}

TEST(LoggerStress, SixteenThreadsKeepEveryRecordWholeAndCounted)
{
  setenv("SPDLOG_STDOUT", "false", 1);  // checked through the capture, not the console
  auto capture = skelmar_test::LogCapture::attach();
  runTogether(2 * kThreads, [](int t) {
    for (int k = 1; k <= 1000; ++k) {
      if (k % 2 == 0) {
        SKELMAR_LOG_INFO("thread {} statement {} text {}", t, k, std::string(k % 50, 'x'));
      } else {
        SKELMAR_LOG_ERROR("thread {} statement {} text {}", t, k, std::string(k % 50, 'y'));
      }
    }
  });
  const auto records = capture->records();
  ASSERT_EQ(records.size(), 2U * kThreads * 1000);
  const std::regex format(
      R"(( {2}[0-9]| [1-9][0-9]|1[01][0-9]|12[0-7]) \[(INFO|ERROR)\] thread ([0-9]+) statement ([0-9]+) text (x*|y*))");
  std::set<std::pair<int, int>> seen;
  for (const auto & record : records) {
    std::smatch match;
    ASSERT_TRUE(std::regex_match(record.payload, match, format)) << record.payload;
    const int statement = std::stoi(match[4]);
    EXPECT_TRUE(seen.insert({std::stoi(match[3]), statement}).second) << record.payload;
    const bool info = statement % 2 == 0;
    EXPECT_EQ(match[2], info ? "INFO" : "ERROR");
    EXPECT_EQ(record.level, info ? spdlog::level::info : spdlog::level::err);
    EXPECT_EQ(match[5], std::string(statement % 50, info ? 'x' : 'y'));
    EXPECT_EQ(record.function, "operator()");
  }
}
