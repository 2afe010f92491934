// The units against a peer node, the two bundles, and the blocking clean-coverage call.

#include <gtest/gtest.h>

#include <ctime>
#include <limits>
#include <regex>
#include <set>

#include "cross_process_scene.hpp"
#include "rcl_interfaces/msg/log.hpp"
#include "rosgraph_msgs/msg/clock.hpp"
#include "skelmar_nav2_tools/communicator/communicator.hpp"
#include "support/log_capture.hpp"
#include "support/ros_test_support.hpp"

using geometry_msgs::msg::PoseStamped;
using geometry_msgs::msg::Twist;
using nav_msgs::msg::Path;
using skelmar_test::SpunNode;
using skelmar_test::threadCount;
using skelmar_test::waitFor;
using Header = std_msgs::msg::Header;
namespace sc = skelmar_communicator;
namespace sp = skelmar_protocol::msg;
namespace scene = cross_process;

namespace {

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

// Publishes @p msg from @p node until @p arrived holds, or @p timeout passed.
template <typename MessageT>
bool deliver(
    rclcpp::Node & node, const std::string & topic, const MessageT & msg,
    const std::function<bool()> & arrived, std::chrono::seconds timeout = std::chrono::seconds(5))
{
  auto pub = node.create_publisher<MessageT>(topic, 10);
  return waitFor([&] { return pub->publish(msg), waitFor(arrived, timeout / 100); }, timeout);
}

// Checks that @p publish delivers exactly @p expected on @p topic to the spinning @p node.
template <typename MessageT>
void expectSent(
    rclcpp::Node & node, const std::string & topic, const MessageT & expected,
    const std::function<void()> & publish)
{
  EXPECT_EQ(skelmar_test::firstReceived<MessageT>(node, topic, publish), expected) << topic;
}

}  // namespace

// A unit's node and a spinning peer that listens and sends. A test spins the unit's node
// through a local declared after the units, so that it stops before they go.
class UnitTest : public ::testing::Test
{
protected:
  SpunNode peer{"peer"};
  rclcpp::Node & p = *peer.node;
  const std::unique_ptr<nav2_util::NodeThread> peer_spinning = skelmar_test::spin(peer);
  SpunNode unit_node{
      "unit", "",
      rclcpp::NodeOptions().parameter_overrides(
          {{"communicator_people_info_topic",
            std::vector<std::string>{"people_a", "/people_b", "people_a"}}})};
};

TEST_F(UnitTest, CmdVelScalesPlanarComponentsByTheLatestFiniteRatio)
{
  sc::MicroUnitCmdVel cmd_vel(unit_node.node);
  const auto spinning = skelmar_test::spin(unit_node);
  const double inf = std::numeric_limits<double>::infinity();
  // {ratio, ratio applied}: a non-finite one keeps the one before, 1 at first. The stamped
  // command goes out alike.
  const std::pair<double, double> ratios[] = {
      {std::nan(""), 1}, {0.5, 0.5}, {inf, 0.5}, {-inf, 0.5}, {0, 0}, {-2, -2}, {0.1, 0.1F}};
  for (const auto & [ratio, applied] : ratios) {
    SCOPED_TRACE(ratio);
    const auto msg = sp::PlannerSpeedControl().set__speed_ratio(ratio);
    if (std::isfinite(ratio)) {
      ASSERT_TRUE(deliver(
          p, "planner_speed", msg, [&] { return cmd_vel.speed_ratio.load() == msg.speed_ratio; }));
    } else {
      cmd_vel.plannerSpeedSub(msg);
    }
    expectSent(p, "/cmd_vel_raw", scene::command(applied), [&] {
      ratio < 0
          ? cmd_vel.publishVelocity(geometry_msgs::msg::TwistStamped().set__twist(scene::command()))
          : cmd_vel.publishVelocity(scene::command());
    });
  }
  expectSent(p, "/cmd_vel_raw", Twist(), [&] { cmd_vel.publishZeroVelocity(); });
}

TEST_F(UnitTest, PublishOperationsSendTheirMessagesOnTheirTopics)
{
  sc::MicroUnitErrCode err(unit_node.node);
  sc::MicroUnitPlanning pl(unit_node.node);
  sc::MicroUnitTrace tr(unit_node.node);
  sc::MicroUnitRobotEvent ev(unit_node.node);
  const visualization_msgs::msg::Marker area;
  const auto code = std_msgs::msg::Int8().set__data(-5);
  expectSent(p, "skelmar_nav2_error", code, [&] { err.publishErrorMsg(code); });
  expectSent(p, "wait_for_dynamic_obstacle", code, [&] { pl.publishWaitForDynamicObstacle(code); });
  expectSent(p, "cleaning_report", sp::CoveredPoints(), [&] {
    pl.publishCoveredPoints(sp::CoveredPoints());
  });
  expectSent(p, "/connective_area", area, [&] { pl.publishConnectiveArea(area); });
  expectSent(p, "/robot_event", sp::RobotEvent(), [&] { ev.publishRobotEvent(sp::RobotEvent()); });
  expectSent(p, "trace/dir_pose", pose(5, 6), [&] { tr.PublishDirPose(pose(5, 6)); });
  expectSent(p, "trace/recovery_backward", Twist(), [&] { tr.publishRecoveryBackward(Twist()); });
  const auto texts = sp::TriggerRosbag().set__first_text("B").set__second_text("A");
  expectSent(p, "active_trigger_rosbag", texts, [&] { err.publishActiveTriggerRosbag("A", "B"); });

  // Multi-paths flatten alike on three topics, framed by the first entry even without poses.
  skelmar_nav2_protocol::msg::MultiPaths multi;
  multi.paths.resize(3);
  multi.paths[0].header.frame_id = "map";
  multi.paths[1].set__poses({pose(1, 0, "map"), pose(2, 0)}).header.frame_id = "odom";
  multi.paths[2].poses = {pose(3, 0, "")};
  Path flat;
  flat.set__poses({pose(1, 0, "map"), pose(2, 0), pose(3, 0, "")}).header.frame_id = "map";
  const std::string pp = "skelmar_nav2_planning/";
  expectSent(p, pp + "global_planning_path", flat, [&] { pl.publishGlobalPath(multi); });
  expectSent(
      p, pp + "global_planning_path", Path(), [&] { pl.publishGlobalPath(decltype(multi)()); });
  expectSent(
      p, pp + "dynamic_global_planning_path", flat, [&] { pl.publishDynamicGlobalPath(multi); });
  expectSent(
      p, pp + "cropped_global_planning_path", flat, [&] { pl.publishCroppedGlobalPath(multi); });
  expectSent(p, pp + "contour_path", Path(), [&] { pl.publishContourPath(Path()); });
  expectSent(p, pp + "local_planning_path", Path(), [&] { pl.publishLocalPath(Path()); });

  Path ends;  // in the start's frame, without stamp
  ends.set__poses({pose(1, 2), pose(3, 4, "map")}).header.frame_id = "odom";
  expectSent(p, "trace/local_end_pose", ends, [&] {
    tr.PublishLocalEndPose(pose(1, 2), pose(3, 4, "map"));
  });
  Path covered;  // each pose's pose, not its header, in "map"
  covered.set__header(header("map", 0)).poses.resize(2);
  covered.poses[0].pose = ends.poses[0].pose;
  covered.poses[1].pose = ends.poses[1].pose;
  expectSent(p, "covered_path", covered, [&] { pl.publishCoveredPath(ends.poses); });
  geometry_msgs::msg::PolygonStamped contour;
  contour.set__header(header("map", 0)).polygon.points.resize(2);
  contour.polygon.points[1].x = 1.5F;
  expectSent(p, pp + "contour", contour, [&] { pl.publishContour(contour.polygon); });

  // The footprint's points, at some height, turn by the pose's yaw (a quarter turn), move to
  // its position and lie flat under its header.
  const auto footprint = scene::obstacles().obstacles[0].points;
  PoseStamped at = pose(1, 2);
  at.pose.orientation.set__z(std::sqrt(0.5)).set__w(std::sqrt(0.5));
  geometry_msgs::msg::PolygonStamped placed;
  placed.set__header(at.header).polygon.points.resize(3);
  placed.polygon.points[0].set__x(-1).set__y(3);
  placed.polygon.points[1].set__x(0.75).set__y(1.5);
  placed.polygon.points[2].set__x(2).set__y(5);
  expectSent(p, "trace_published_footprint", placed, [&] { tr.publishFootPrint(footprint, at); });
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

// The lookup through a transform is checked across processes (test_cross_process.cpp).
TEST_F(UnitTest, ObstaclesArePathsInMapOrNothingWithAWarning)
{
  sc::MicroUnitDynamicObstacle unit(unit_node.node);
  const auto spinning = skelmar_test::spin(unit_node);
  skelmar_test::Inbox<rcl_interfaces::msg::Log> rosout(p, "/rosout");
  const auto send = [&](const Header & h, const std::function<bool()> & done) {
    return deliver(p, "/bev_tracker_dynamic_obstacles", scene::obstacles().set__header(h), done);
  };
  EXPECT_TRUE(unit.getDynamicObstacle().empty());
  // In "map" the points stay as they are, one path per obstacle; a message without obstacles
  // leaves the list as it was.
  std::vector<Path> in_map(2, Path().set__header(header("map", 21)));
  const auto sent = scene::obstacles();
  for (const auto & point : sent.obstacles[0].points) {
    in_map[0].poses.emplace_back().set__header(in_map[0].header).pose.position = point;
  }
  EXPECT_TRUE(send(in_map[0].header, [&] { return unit.getDynamicObstacle() == in_map; }));
  unit.DynamicObstacleCallback(std::make_shared<sp::DynamicObstacles>());
  EXPECT_EQ(unit.getDynamicObstacle(), in_map);

  // A frame that cannot be looked up, unknown or invalid, empties the list and warns why.
  for (const std::string frame : {"unknown_frame", "/map"}) {
    const std::regex text("Could not transform " + frame + " to map: .+");
    EXPECT_TRUE(send(header(frame, 2), [&] {
      const auto logs = rosout.messages();
      return unit.getDynamicObstacle().empty() &&
             std::any_of(logs.begin(), logs.end(), [&](const rcl_interfaces::msg::Log & log) {
               return log.name == unit_node.node->get_logger().get_name() &&
                      log.level == log.WARN && std::regex_match(log.msg, text);
             });
    })) << frame;
  }
}

// People lists keep their header and objects only, keyed by the topic as written.
TEST_F(UnitTest, EnormousAndEmptySequencesArriveWholeAndReplaceTheStoredCopy)
{
  constexpr size_t kMany = 200000;
  sc::MicroUnitPeopleInfo people(unit_node.node);
  const auto spinning = skelmar_test::spin(unit_node);
  EXPECT_EQ(people.people_subs.size(), 2U);  // a name listed twice has one subscription
  sp::ObjectList crowd;                      // enormous sequences, then none
  crowd.set__text("dropped").set__scalar(6).set__header(header("", 9)).objects.resize(3);
  crowd.objects[1].contour.resize(kMany);
  crowd.objects[2].history_ids.assign(kMany, 7);
  for (const auto & list : {crowd, sp::ObjectList()}) {
    const auto kept = sp::ObjectList().set__header(list.header).set__objects(list.objects);
    const auto stored = [&] { return people.getPeopleInfo()["people_a"] == kept; };
    ASSERT_TRUE(deliver(p, "people_a", list, stored, std::chrono::seconds(60)));
  }
  EXPECT_EQ(people.getPeopleInfo().size(), 1U);
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
  // endpoints, which the graph shows asynchronously; relative names resolve in the namespace. Every
  // publisher but the footprint's keeps the last message, reliable and volatile.
  const std::string ns = "/robot4/";
  const auto expectBundle = [&](const auto & bundle, const std::string & prefix,
                                std::vector<rclcpp::PublisherBase::SharedPtr> publishers,
                                std::set<std::string> published, std::set<std::string> subscribed) {
    const std::string name = bundle.node->get_name();
    std::smatch seconds;
    ASSERT_TRUE(std::regex_match(name, seconds, std::regex(prefix + "([1-9][0-9]*)"))) << name;
    EXPECT_GE(std::stoll(seconds[1]), before);
    EXPECT_LE(std::stoll(seconds[1]), after);
    const auto & e = *bundle.err_code;
    publishers.insert(
        publishers.end(),
        {bundle.cmd_vel->cmd_vel_pub, e.error_pub, e.trigger_rosbag_pub, e.exception_handle_pub});
    for (const auto & publisher : publishers) {
      const rclcpp::QoS qos = publisher->get_actual_qos();
      EXPECT_TRUE(
          publisher->get_topic_name() == ns + "trace_published_footprint" ||
          (qos.depth() == 1U && qos.reliability() == rclcpp::ReliabilityPolicy::Reliable &&
           qos.durability() == rclcpp::DurabilityPolicy::Volatile))
          << publisher->get_topic_name();
    }
    published.insert(
        {"cmd_out", "skelmar_nav2_error", "active_trigger_rosbag", "exception_handle", "/rosout",
         "/parameter_events"});
    // Simulated time: the clock, and the parameter events that may switch it.
    subscribed.insert({"/clock", "/parameter_events", "planner_speed"});
    const auto graph = bundle.node->get_node_graph_interface();
    const auto shown = [&](bool publishing) {
      std::set<std::string> found;
      for (const auto & [topic, types] :
           publishing ? graph->get_publisher_names_and_types_by_node(name, "/robot4")
                      : graph->get_subscriber_names_and_types_by_node(name, "/robot4")) {
        found.insert(topic.rfind(ns, 0) == 0 ? topic.substr(ns.size()) : topic);
      }
      return found;
    };
    waitFor([&] { return shown(true) == published && shown(false) == subscribed; });
    EXPECT_EQ(shown(true), published);
    EXPECT_EQ(shown(false), subscribed);
  };
  expectBundle(decision, "skelmar_nav2_decision_communicator", {}, {}, {});
  const auto & pl = *engine.planning;
  const auto & tr = *engine.trace;
  const std::string pp = "skelmar_nav2_planning/";
  expectBundle(
      engine, "skelmar_nav2_engine_communicator",
      {pl.global_path_pub, pl.dynamic_global_path_pub, pl.cropped_global_path_pub,
       pl.local_path_pub, pl.contour_path_pub, pl.contour_pub, pl.wait_for_dynamic_obstacle_pub,
       pl.cleaning_report_pub, pl.connective_area_pub, pl.covered_path_pub, tr.local_end_pose_pub,
       tr.dir_pose_pub, tr.recovery_backward_pub, tr.footprint_pub,
       engine.robot_event->robot_event_pub},
      {pp + "global_planning_path", pp + "dynamic_global_planning_path",
       pp + "cropped_global_planning_path", pp + "local_planning_path", pp + "contour_path",
       pp + "contour", "wait_for_dynamic_obstacle", "cleaning_report", "/connective_area",
       "covered_path", "trace/local_end_pose", "trace/dir_pose", "trace/recovery_backward",
       "trace_published_footprint", "/robot_event"},
      {"/bev_tracker_dynamic_obstacles", "/people_b", "people", "robot_base/wheel/odom"});
  EXPECT_EQ(engine.cmd_vel->planner_speed_sub->get_actual_qos().depth(), 1U);
  EXPECT_STREQ(pl.trigger_clean_coverage_client->get_service_name(), "/trigger_clean_coverage");
  EXPECT_EQ(engine.dynamic_obstacle->tf_buffer->getCacheLength(), std::chrono::seconds(10));

  // Both node threads run: one ratio reaches both units. Exception stamps follow the
  // simulated clock.
  SpunNode observer("bundle_observer");
  const auto ratio = sp::PlannerSpeedControl().set__speed_ratio(0.5F);
  EXPECT_TRUE(deliver(*observer.node, ns + "planner_speed", ratio, [&] {
    return decision.cmd_vel->speed_ratio.load() == 0.5F &&
           engine.cmd_vel->speed_ratio.load() == 0.5F;
  }));
  const auto clock = rosgraph_msgs::msg::Clock().set__clock(rclcpp::Time(1234, 0));
  ASSERT_TRUE(deliver(*observer.node, "/clock", clock, [&] {
    return decision.node->now().nanoseconds() == 1'234'000'000'000;
  }));
  observer.spin();
  sp::ExceptionHandle handled;
  handled.set__exception_code(3).header.stamp = clock.clock;
  expectSent(*observer.node, ns + "exception_handle", handled, [&] {
    decision.err_code->publishExceptionHandle(3);
  });
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
  const std::pair<std::string, std::function<void()>> failures[] = {
      {"communicator_cmd_vel_out:=5",
       [] {
         EXPECT_THROW(
             sc::CommunicatorDecision{}, rclcpp::exceptions::InvalidParameterTypeException);
       }},
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
  using Service = skelmar_nav2_protocol::srv::TriggerCleanCoverage;
  using Requests = std::multiset<std::tuple<bool, int, int>>;

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

  // Declared so that the unit's thread stops first, then the service's, before what the
  // service callback uses goes.
  std::shared_ptr<skelmar_test::LogCapture> log = skelmar_test::LogCapture::attach();
  SpunNode unit_node{"trigger_unit"};
  sc::MicroUnitPlanning unit{unit_node.node};
  rclcpp::Service<Service>::SharedPtr service;
  std::mutex mutex;
  Requests requests;
  std::atomic<bool> hold{false};
  SpunNode server{"trigger_server"};
  std::unique_ptr<nav2_util::NodeThread> spinning = skelmar_test::spin(unit_node);
};

TEST_F(TriggerTest, ReturnsWhetherTheServiceAnsweredInTimeAndLogsWhyNot)
{
  EXPECT_FALSE(unit.triggerCleanCoverage(true, 1, 2));
  hold = true;  // the call gives up on the answer, which comes later
  startService();
  EXPECT_TRUE(unit.triggerCleanCoverage(true, 1, 1));
  hold = false;
  EXPECT_TRUE(unit.triggerCleanCoverage(true, 1, 1));  // a prompt answer logs nothing
  unit.trigger_clean_coverage_client.reset();
  EXPECT_FALSE(unit.triggerCleanCoverage(true, 1, 1));
  std::vector<std::string> logged;
  for (const auto & record : log->records()) {
    logged.push_back(record.payload.substr(record.payload.find('[')));
  }
  EXPECT_EQ(
      logged, (std::vector<std::string>{
                  "[ERROR] Server not exist", "[ERROR] SyncCallService server timeout",
                  "[ERROR] SyncCallService client is nullptr"}));
}

TEST_F(TriggerTest, SeveralThreadsCallAtOnce)
{
  startService();
  std::atomic<int> succeeded{0};
  skelmar_test::runTogether(
      4, [&](int t) { succeeded += unit.triggerCleanCoverage(t % 2 == 0, t, -t) ? 1 : 0; });
  EXPECT_EQ(succeeded, 4);
  std::lock_guard<std::mutex> lock(mutex);
  EXPECT_EQ(requests, (Requests{{true, 0, 0}, {false, 1, -1}, {true, 2, -2}, {false, 3, -3}}));
  EXPECT_TRUE(log->records().empty());
}
