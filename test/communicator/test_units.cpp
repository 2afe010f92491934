// The units against a peer node, the two bundles, and the blocking clean-coverage call.

#include <gtest/gtest.h>

#include <cmath>
#include <ctime>
#include <filesystem>
#include <regex>
#include <set>

#include "cross_process_scene.hpp"
#include "rcl_interfaces/msg/log.hpp"
#include "skelmar_nav2_tools/communicator/communicator.hpp"
#include "support/log_capture.hpp"
#include "support/ros_test_support.hpp"

using geometry_msgs::msg::PoseStamped;
using nav_msgs::msg::Path;
using skelmar_test::uniqueNode;
namespace sc = skelmar_communicator;
namespace sp = skelmar_protocol::msg;
namespace scene = cross_process;

namespace {

size_t threadCount()
{
  const std::filesystem::directory_iterator tasks("/proc/self/task");
  return static_cast<size_t>(std::distance(begin(tasks), end(tasks)));
}

PoseStamped pose(double x, double y, const std::string & frame = "odom")
{
  PoseStamped p;
  p.header.set__frame_id(frame).stamp.sec = 17;
  p.pose.position.set__x(x).set__y(y);
  return p;
}

}  // namespace

// A unit's node and a spinning peer that listens. The callbacks are called directly: their
// subscriptions are exercised across processes and under load.
class UnitTest : public ::testing::Test
{
protected:
  // Checks that @p publish, called until something arrives (matching is asynchronous),
  // delivers exactly @p expected first on @p topic to the peer.
  template <typename MessageT>
  void expectSent(
      const std::string & topic, const MessageT & expected, const std::function<void()> & publish)
  {
    const skelmar_test::Inbox<MessageT> inbox(*peer, topic);
    ASSERT_TRUE(skelmar_test::waitFor([&] {
      return publish(), inbox.waitForCount(1, std::chrono::milliseconds(20));
    })) << topic;
    EXPECT_EQ(inbox.messages().front(), expected) << topic;
  }
  const rclcpp::Node::SharedPtr peer = uniqueNode("peer");
  const std::unique_ptr<nav2_util::NodeThread> peer_spinning = skelmar_test::spin(peer);
  const rclcpp::Node::SharedPtr unit_node = uniqueNode("unit");
};

TEST_F(UnitTest, CmdVelScalesPlanarComponentsByTheLatestFiniteRatio)
{
  sc::MicroUnitCmdVel cmd_vel(unit_node);
  // {ratio, ratio applied}: a non-finite one keeps the last, 1 at first; stamped ones alike.
  const std::pair<double, double> ratios[] = {
      {NAN, 1}, {0.5, 0.5}, {INFINITY, 0.5}, {-INFINITY, 0.5}, {0, 0}, {-2, -2}, {0.1, 0.1F}};
  for (const auto & [ratio, applied] : ratios) {
    SCOPED_TRACE(ratio);
    cmd_vel.plannerSpeedSub(sp::PlannerSpeedControl().set__speed_ratio(ratio));
    expectSent("/cmd_vel_raw", scene::command(applied), [&] {
      ratio < 0
          ? cmd_vel.publishVelocity(geometry_msgs::msg::TwistStamped().set__twist(scene::command()))
          : cmd_vel.publishVelocity(scene::command());
    });
  }
  expectSent("/cmd_vel_raw", geometry_msgs::msg::Twist(), [&] { cmd_vel.publishZeroVelocity(); });
}

TEST_F(UnitTest, PublishOperationsSendTheirMessagesOnTheirTopics)
{
  sc::MicroUnitErrCode err(unit_node);
  sc::MicroUnitPlanning pl(unit_node);
  sc::MicroUnitTrace tr(unit_node);
  // The texts go out swapped.
  const auto texts = sp::TriggerRosbag().set__first_text("B").set__second_text("A");
  expectSent("active_trigger_rosbag", texts, [&] { err.publishActiveTriggerRosbag("A", "B"); });

  // Multi-paths flatten, framed by the first entry even without poses.
  const std::string pp = "skelmar_nav2_planning/";
  skelmar_nav2_protocol::msg::MultiPaths multi;
  multi.paths.resize(3);
  multi.paths[0].header.frame_id = "map";
  multi.paths[1].set__poses({pose(1, 0, "map"), pose(2, 0)}).header.frame_id = "odom";
  multi.paths[2].poses = {pose(3, 0, "")};
  Path flat;
  flat.set__poses({pose(1, 0, "map"), pose(2, 0), pose(3, 0, "")}).header.frame_id = "map";
  expectSent(pp + "global_planning_path", flat, [&] { pl.publishGlobalPath(multi); });
  expectSent(pp + "global_planning_path", Path(), [&] { pl.publishGlobalPath(decltype(multi)()); });

  Path ends;  // in the start's frame, without stamp
  ends.set__poses({pose(1, 2), pose(3, 4, "map")}).header.frame_id = "odom";
  expectSent(
      "trace/local_end_pose", ends, [&] { tr.PublishLocalEndPose(pose(1, 2), pose(3, 4, "map")); });
  Path covered = ends;  // each pose's pose, not its header, in "map"
  covered.header.frame_id = "map";
  covered.poses[0].header = covered.poses[1].header = std_msgs::msg::Header();
  expectSent("covered_path", covered, [&] { pl.publishCoveredPath(ends.poses); });
  geometry_msgs::msg::PolygonStamped shape;
  shape.set__header(std_msgs::msg::Header().set__frame_id("map")).polygon.points.resize(2);
  shape.polygon.points[1].x = 1.5F;
  expectSent(pp + "contour", shape, [&] { pl.publishContour(shape.polygon); });

  // The footprint's points, at some height, turn by the pose's yaw (a quarter turn), move to
  // its position and lie flat under its header.
  PoseStamped at = pose(1, 2);
  at.pose.orientation.set__z(std::sqrt(0.5)).set__w(std::sqrt(0.5));
  shape.set__header(at.header).polygon.points.resize(1);
  shape.polygon.points[0].set__x(-1).set__y(3);
  expectSent("trace_published_footprint", shape, [&] {
    tr.publishFootPrint({geometry_msgs::msg::Point().set__x(1).set__y(2).set__z(0.5)}, at);
  });
}

TEST(UnitParameters, DeclaredOnceAndReadByEveryUnitOfTheNode)
{
  // A second unit on one node reads the parameter the first declared (of another type, it
  // fails: see FailedConstructionLeavesNoThread).
  const auto holder = uniqueNode("parameters");
  sc::MicroUnitCmdVel first(holder);
  holder->set_parameter(rclcpp::Parameter("communicator_cmd_vel_out", "/second_out"));
  EXPECT_STREQ(sc::MicroUnitCmdVel(holder).cmd_vel_pub->get_topic_name(), "/second_out");
}

// An empty message keeps the list; one whose frame cannot be looked up empties it, with a
// warning on the node's logger. Obstacles in "map" and through a transform are checked under
// load and across processes.
TEST_F(UnitTest, ObstaclesThatCannotBeLookedUpEmptyTheListWithAWarning)
{
  sc::MicroUnitDynamicObstacle unit(unit_node);
  const skelmar_test::Inbox<rcl_interfaces::msg::Log> rosout(*peer, "/rosout");
  const auto receive = [&](const std::string & frame) {
    auto msg = scene::obstacles();
    msg.header.frame_id = frame;
    unit.DynamicObstacleCallback(std::make_shared<sp::DynamicObstacles>(msg));
    return unit.getDynamicObstacle().size();
  };
  ASSERT_EQ(receive("map"), 2U);
  unit.DynamicObstacleCallback(std::make_shared<sp::DynamicObstacles>());  // none: kept
  EXPECT_EQ(unit.getDynamicObstacle().size(), 2U);
  for (const std::string frame : {"unknown_frame", "/map"}) {  // unknown, or an invalid name
    const std::regex text("Could not transform " + frame + " to map: .+");
    const auto warned = [&](const rcl_interfaces::msg::Log & log) {
      return log.name == unit_node->get_logger().get_name() && log.level == log.WARN &&
             std::regex_match(log.msg, text);
    };
    ASSERT_EQ(receive("map"), 2U);
    EXPECT_TRUE(skelmar_test::waitFor([&] {  // again until the log subscription has matched
      const auto logs = rosout.messages();
      return receive(frame) == 0 && std::any_of(logs.begin(), logs.end(), warned);
    })) << frame;
  }
}

TEST(Bundles, NamedAfterTheSecondsWithTheirPublishersConfiguredGlobally)
{
  skelmar_test::GlobalRosArguments args(
      {"-r", "__ns:=/robot4", "-p", "communicator_people_info_topic:=[people]", "-p",
       "communicator_cmd_vel_out:=cmd_out"});
  const time_t before = std::time(nullptr);
  sc::CommunicatorDecision decision;
  sc::CommunicatorEngine engine;
  const time_t after = std::time(nullptr);
  for (const auto & [node, prefix] :
       {std::pair{decision.node, "skelmar_nav2_decision"}, {engine.node, "skelmar_nav2_engine"}}) {
    const std::string name = node->get_name();
    const std::regex pattern(std::string(prefix) + "_communicator([1-9][0-9]*)");
    std::smatch seconds;
    ASSERT_TRUE(std::regex_match(name, seconds, pattern)) << name;
    EXPECT_TRUE(std::stoll(seconds[1]) >= before && std::stoll(seconds[1]) <= after) << name;
  }
  // Relative names resolve in the namespace. Every publisher but the footprint's keeps the
  // last message, reliable and volatile; so does the speed ratio subscription.
  const auto & pl = *engine.planning;
  const auto & tr = *engine.trace;
  const auto & e = *decision.err_code;
  std::set<std::string> topics;
  for (const auto & publisher : std::vector<rclcpp::PublisherBase::SharedPtr>{
           decision.cmd_vel->cmd_vel_pub, e.error_pub, e.trigger_rosbag_pub, e.exception_handle_pub,
           pl.global_path_pub, pl.dynamic_global_path_pub, pl.cropped_global_path_pub,
           pl.local_path_pub, pl.contour_path_pub, pl.contour_pub, pl.wait_for_dynamic_obstacle_pub,
           pl.cleaning_report_pub, pl.connective_area_pub, pl.covered_path_pub,
           tr.local_end_pose_pub, tr.dir_pose_pub, tr.recovery_backward_pub, tr.footprint_pub,
           engine.robot_event->robot_event_pub}) {
    const std::string topic = publisher->get_topic_name();
    topics.insert(topic.rfind("/robot4/", 0) == 0 ? topic.substr(8) : topic);
    const rclcpp::QoS qos = publisher->get_actual_qos();
    EXPECT_TRUE(
        publisher == tr.footprint_pub ||
        (qos.depth() == 1U && qos.reliability() == rclcpp::ReliabilityPolicy::Reliable &&
         qos.durability() == rclcpp::DurabilityPolicy::Volatile))
        << topic;
  }
  const std::string pp = "skelmar_nav2_planning/";
  EXPECT_EQ(
      topics,
      (std::set<std::string>{
          "cmd_out", "skelmar_nav2_error", "active_trigger_rosbag", "exception_handle",
          pp + "global_planning_path", pp + "dynamic_global_planning_path",
          pp + "cropped_global_planning_path", pp + "local_planning_path", pp + "contour_path",
          pp + "contour", "wait_for_dynamic_obstacle", "cleaning_report", "/connective_area",
          "covered_path", "trace/local_end_pose", "trace/dir_pose", "trace/recovery_backward",
          "trace_published_footprint", "/robot_event"}));
  EXPECT_STREQ(engine.people_info->people_subs.at("people")->get_topic_name(), "/robot4/people");
  EXPECT_EQ(engine.cmd_vel->planner_speed_sub->get_actual_qos().depth(), 1U);
  EXPECT_EQ(engine.dynamic_obstacle->tf_buffer->getCacheLength(), std::chrono::seconds(10));
}

TEST(Bundles, FailedConstructionLeavesNoThread)
{
  {
    const sc::CommunicatorDecision decision;  // the middleware's own threads run from here
    const size_t threads = threadCount();
    const sc::CommunicatorEngine engine;  // its node's thread and the transform listener's
    EXPECT_EQ(threadCount(), threads + 2);
  }
  // Only the transform listener's own node declares the second override's parameter: that
  // failure comes in the last step, after the node thread has started.
  using BadType = rclcpp::exceptions::InvalidParameterTypeException;
  const std::pair<std::string, std::function<void()>> failures[] = {
      {"communicator_cmd_vel_out:=5", [] { EXPECT_THROW(sc::CommunicatorDecision{}, BadType); }},
      {"qos_overrides./tf.subscription.depth:=deep",
       [] { EXPECT_THROW(sc::CommunicatorEngine{}, std::runtime_error); }}};
  for (const auto & [argument, construct] : failures) {
    skelmar_test::GlobalRosArguments args({"-p", argument});
    const size_t threads = threadCount();
    construct();
    EXPECT_EQ(threadCount(), threads) << argument;
  }
}

// The clean-coverage call against a missing, a slow and a prompt service, which records each
// request and holds back its answer while `hold` is set.
TEST(TriggerTest, SeveralThreadsCallAtOnce)
{
  using Service = skelmar_nav2_protocol::srv::TriggerCleanCoverage;
  using Requests = std::multiset<std::tuple<bool, int, int>>;
  const auto log = skelmar_test::LogCapture::attach();
  std::mutex mutex;
  Requests requests;
  std::atomic<bool> hold{true};
  const auto unit_node = uniqueNode("trigger_unit"), server = uniqueNode("trigger_server");
  sc::MicroUnitPlanning unit{unit_node};
  const auto spinning = skelmar_test::spin(unit_node);
  EXPECT_FALSE(unit.triggerCleanCoverage(true, 1, 2));
  const auto service = server->create_service<Service>(
      "/trigger_clean_coverage",
      [&](std::shared_ptr<Service::Request> r, std::shared_ptr<Service::Response>) {
        std::unique_lock<std::mutex> lock(mutex);
        requests.emplace(r->flag, r->first_value, r->second_value);
        lock.unlock();
        skelmar_test::waitFor([&] { return !hold; }, std::chrono::seconds(10));
      });
  const auto server_spinning = skelmar_test::spin(server);
  // A slow answer is given up (true: the request was sent); prompt ones log nothing.
  EXPECT_TRUE(unit.triggerCleanCoverage(false, 9, 9));
  hold = false;
  std::atomic<int> succeeded{0};
  skelmar_test::runTogether(
      4, [&](int t) { succeeded += unit.triggerCleanCoverage(t % 2 == 0, t, -t) ? 1 : 0; });
  EXPECT_EQ(succeeded, 4);
  unit.trigger_clean_coverage_client.reset();
  EXPECT_FALSE(unit.triggerCleanCoverage(true, 1, 1));
  std::vector<std::string> logged;
  for (const auto & record : log->take()) {
    logged.push_back(record.payload.substr(record.payload.find('[')));
  }
  EXPECT_EQ(
      logged, (std::vector<std::string>{
                  "[ERROR] Server not exist", "[ERROR] SyncCallService server timeout",
                  "[ERROR] SyncCallService client is nullptr"}));
  std::lock_guard<std::mutex> lock(mutex);
  EXPECT_EQ(
      requests,
      (Requests{{false, 9, 9}, {true, 0, 0}, {false, 1, -1}, {true, 2, -2}, {false, 3, -3}}));
}
