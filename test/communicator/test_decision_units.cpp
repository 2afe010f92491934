// Velocity command unit and error report unit on nodes of the test's own.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <thread>

#include "communicator_test_helpers.hpp"
#include "rosgraph_msgs/msg/clock.hpp"
#include "skelmar_nav2_tools/communicator/microunit_cmd_vel.hpp"
#include "skelmar_nav2_tools/communicator/microunit_err_code.hpp"

using communicator_test::Inbox;
using communicator_test::SpunNode;
using geometry_msgs::msg::Twist;
using skelmar_communicator::MicroUnitCmdVel;
using skelmar_communicator::MicroUnitErrCode;
using skelmar_protocol::msg::PlannerSpeedControl;

namespace {

Twist command(double lx, double ly, double lz, double ax, double ay, double az)
{
  Twist twist;
  twist.linear.x = lx;
  twist.linear.y = ly;
  twist.linear.z = lz;
  twist.angular.x = ax;
  twist.angular.y = ay;
  twist.angular.z = az;
  return twist;
}

PlannerSpeedControl ratio(float value)
{
  PlannerSpeedControl msg;
  msg.speed_ratio = value;
  return msg;
}

void expectTwist(const Twist & actual, const Twist & expected)
{
  EXPECT_EQ(actual.linear.x, expected.linear.x);
  EXPECT_EQ(actual.linear.y, expected.linear.y);
  EXPECT_EQ(actual.linear.z, expected.linear.z);
  EXPECT_EQ(actual.angular.x, expected.angular.x);
  EXPECT_EQ(actual.angular.y, expected.angular.y);
  EXPECT_EQ(actual.angular.z, expected.angular.z);
}

}  // namespace

class CmdVelTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    unit_node = std::make_unique<SpunNode>("cmd_vel_unit");
    unit = std::make_shared<MicroUnitCmdVel>(unit_node->node);
    unit_node->spin();
    peer = std::make_unique<SpunNode>("cmd_vel_peer");
    out = std::make_unique<Inbox<Twist>>(*peer->node, "/cmd_vel_raw");
    ratio_pub = peer->node->create_publisher<PlannerSpeedControl>("planner_speed", 1);
    peer->spin();
    ASSERT_TRUE(out->waitForMatch(unit->cmd_vel_pub));
    ASSERT_TRUE(skelmar_test::waitFor([this] { return ratio_pub->get_subscription_count() > 0; }));
  }

  // The unit's callback must not run once the unit is gone.
  void TearDown() override
  {
    peer->stop();
    unit_node->stop();
  }

  /// Sends a ratio through the topic and waits until the unit holds it.
  void sendRatio(float value)
  {
    ratio_pub->publish(ratio(value));
    ASSERT_TRUE(skelmar_test::waitFor([this, value] { return unit->speed_ratio.load() == value; }));
  }

  Twist publishAndReceive(const Twist & twist)
  {
    const size_t before = out->size();
    unit->publishVelocity(twist);
    EXPECT_TRUE(out->waitForCount(before + 1));
    return out->last();
  }

  std::unique_ptr<SpunNode> unit_node;
  std::shared_ptr<MicroUnitCmdVel> unit;
  std::unique_ptr<SpunNode> peer;
  std::unique_ptr<Inbox<Twist>> out;
  rclcpp::Publisher<PlannerSpeedControl>::SharedPtr ratio_pub;
};

TEST_F(CmdVelTest, ScalesOnlyPlanarComponentsByTheLatestRatio)
{
  const Twist cmd = command(0.4, 0.2, 0.3, 0.7, 0.8, 1.0);
  expectTwist(publishAndReceive(cmd), cmd);  // ratio 1.0 before any message

  sendRatio(0.5F);
  expectTwist(publishAndReceive(cmd), command(0.2, 0.1, 0.3, 0.7, 0.8, 0.5));

  sendRatio(0.0F);
  expectTwist(publishAndReceive(cmd), command(0.0, 0.0, 0.3, 0.7, 0.8, 0.0));

  sendRatio(-2.0F);
  expectTwist(publishAndReceive(cmd), command(-0.8, -0.4, 0.3, 0.7, 0.8, -2.0));

  // The ratio is widened from float: 0.1f is not 0.1.
  sendRatio(0.1F);
  const double widened = static_cast<double>(0.1F);
  expectTwist(
      publishAndReceive(command(1.0, 1.0, 0.0, 0.0, 0.0, 1.0)),
      command(widened, widened, 0.0, 0.0, 0.0, widened));
}

TEST_F(CmdVelTest, StampedCommandDropsItsHeaderAndZeroIgnoresTheRatio)
{
  sendRatio(3.0F);
  geometry_msgs::msg::TwistStamped stamped;
  stamped.header.frame_id = "base_link";
  stamped.header.stamp.sec = 12;
  stamped.twist = command(0.5, -0.25, 1.0, 2.0, 3.0, 0.125);
  unit->publishVelocity(stamped);
  ASSERT_TRUE(out->waitForCount(1));
  const Twist from_stamped = out->last();
  expectTwist(publishAndReceive(stamped.twist), from_stamped);
  expectTwist(from_stamped, command(1.5, -0.75, 1.0, 2.0, 3.0, 0.375));

  unit->publishZeroVelocity();
  ASSERT_TRUE(out->waitForCount(3));
  expectTwist(out->last(), Twist());
}

TEST_F(CmdVelTest, NonFiniteRatiosAreIgnored)
{
  sendRatio(0.5F);
  unit->plannerSpeedSub(ratio(std::numeric_limits<float>::quiet_NaN()));
  EXPECT_EQ(unit->speed_ratio.load(), 0.5F);
  unit->plannerSpeedSub(ratio(std::numeric_limits<float>::infinity()));
  unit->plannerSpeedSub(ratio(-std::numeric_limits<float>::infinity()));
  EXPECT_EQ(unit->speed_ratio.load(), 0.5F);

  // Through the topic too: a NaN followed by a finite ratio leaves the finite one.
  ratio_pub->publish(ratio(std::numeric_limits<float>::quiet_NaN()));
  sendRatio(4.0F);
  expectTwist(publishAndReceive(command(1, 1, 0, 0, 0, 1)), command(4, 4, 0, 0, 0, 4));

  const float large = 1.0e30F;
  sendRatio(large);
  EXPECT_EQ(publishAndReceive(command(1, 0, 0, 0, 0, 0)).linear.x, static_cast<double>(large));

  unit->publishZeroVelocity();
  ASSERT_TRUE(out->waitForCount(3));
  expectTwist(out->last(), Twist());
}

TEST_F(CmdVelTest, ConcurrentCommandsWhileRatiosArrive)
{
  std::atomic<bool> stop{false};
  std::thread ratios([this, &stop] {
    for (int i = 0; !stop.load(); ++i) {
      ratio_pub->publish(ratio(i % 2 == 0 ? 0.5F : 2.0F));
      std::this_thread::yield();
    }
  });
  std::vector<std::thread> callers;
  for (int t = 0; t < 4; ++t) {
    callers.emplace_back([this] {
      for (int i = 0; i < 300; ++i) {
        unit->publishVelocity(command(1.0, 1.0, 7.0, 8.0, 9.0, 1.0));
      }
    });
  }
  for (auto & caller : callers) {
    caller.join();
  }
  stop = true;
  ratios.join();

  ASSERT_TRUE(out->waitForCount(1));
  for (const auto & twist : out->messages()) {
    for (double scaled : {twist.linear.x, twist.linear.y, twist.angular.z}) {
      EXPECT_TRUE(scaled == 0.5 || scaled == 1.0 || scaled == 2.0) << scaled;
    }
    EXPECT_EQ(twist.linear.z, 7.0);
    EXPECT_EQ(twist.angular.x, 8.0);
    EXPECT_EQ(twist.angular.y, 9.0);
  }
}

TEST(CmdVelNames, OverrideAndRemappingMoveTheEndpoints)
{
  SpunNode overridden(
      "cmd_vel_override", "/robot2",
      rclcpp::NodeOptions()
          .parameter_overrides({rclcpp::Parameter("communicator_cmd_vel_out", "cmd_vel_out")})
          .arguments({"--ros-args", "-r", "planner_speed:=speed_in"}));
  MicroUnitCmdVel moved(overridden.node);
  EXPECT_STREQ(moved.cmd_vel_pub->get_topic_name(), "/robot2/cmd_vel_out");
  EXPECT_STREQ(moved.planner_speed_sub->get_topic_name(), "/robot2/speed_in");
  EXPECT_EQ(moved.speed_ratio.load(), 1.0F);
}

TEST(CmdVelNames, DeclaredParameterIsKeptAndTopicFixedAtConstruction)
{
  SpunNode holder("cmd_vel_declared");
  holder.node->declare_parameter("communicator_cmd_vel_out", "/first_out");
  MicroUnitCmdVel first(holder.node);
  EXPECT_STREQ(first.cmd_vel_pub->get_topic_name(), "/first_out");
  holder.node->set_parameter(rclcpp::Parameter("communicator_cmd_vel_out", "/second_out"));
  EXPECT_STREQ(first.cmd_vel_pub->get_topic_name(), "/first_out");
  MicroUnitCmdVel second(holder.node);  // no second declaration, no throw
  EXPECT_STREQ(second.cmd_vel_pub->get_topic_name(), "/second_out");
}

TEST(CmdVelNames, ParameterOfAnotherTypeFailsConstruction)
{
  SpunNode overridden(
      "cmd_vel_bad", "",
      rclcpp::NodeOptions().parameter_overrides(
          {rclcpp::Parameter("communicator_cmd_vel_out", 5)}));
  EXPECT_THROW(MicroUnitCmdVel{overridden.node}, rclcpp::exceptions::InvalidParameterTypeException);

  SpunNode declared("cmd_vel_bad_declared");
  declared.node->declare_parameter("communicator_cmd_vel_out", 2.5);
  EXPECT_THROW(MicroUnitCmdVel{declared.node}, rclcpp::exceptions::InvalidParameterTypeException);
}

class ErrCodeTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    unit = std::make_shared<MicroUnitErrCode>(unit_node.node);
    errors = std::make_unique<Inbox<std_msgs::msg::Int8>>(*peer.node, "skelmar_nav2_error");
    rosbag = std::make_unique<Inbox<skelmar_protocol::msg::TriggerRosbag>>(
        *peer.node, "active_trigger_rosbag");
    exceptions = std::make_unique<Inbox<skelmar_protocol::msg::ExceptionHandle>>(
        *peer.node, "exception_handle");
    peer.spin();
    ASSERT_TRUE(errors->waitForMatch(unit->error_pub));
    ASSERT_TRUE(rosbag->waitForMatch(unit->trigger_rosbag_pub));
    ASSERT_TRUE(exceptions->waitForMatch(unit->exception_handle_pub));
  }

  SpunNode unit_node{"err_code_unit"};
  SpunNode peer{"err_code_peer"};
  std::shared_ptr<MicroUnitErrCode> unit;
  std::unique_ptr<Inbox<std_msgs::msg::Int8>> errors;
  std::unique_ptr<Inbox<skelmar_protocol::msg::TriggerRosbag>> rosbag;
  std::unique_ptr<Inbox<skelmar_protocol::msg::ExceptionHandle>> exceptions;
};

TEST_F(ErrCodeTest, PublishesWhatItIsGiven)
{
  std_msgs::msg::Int8 code;
  code.data = -5;
  unit->publishErrorMsg(code);
  ASSERT_TRUE(errors->waitForCount(1));
  EXPECT_EQ(errors->last().data, -5);

  unit->publishActiveTriggerRosbag("A", "B");
  ASSERT_TRUE(rosbag->waitForCount(1));
  EXPECT_EQ(rosbag->last().first_text, "B");
  EXPECT_EQ(rosbag->last().second_text, "A");
  unit->publishActiveTriggerRosbag("", "");
  ASSERT_TRUE(rosbag->waitForCount(2));
  EXPECT_EQ(rosbag->last().first_text, "");
  EXPECT_EQ(rosbag->last().second_text, "");

  const rclcpp::Time before = unit_node.node->now();
  unit->publishExceptionHandle(0);
  const rclcpp::Time after = unit_node.node->now();
  ASSERT_TRUE(exceptions->waitForCount(1));
  const auto handled = exceptions->last();
  EXPECT_EQ(handled.exception_code, 0);
  EXPECT_EQ(handled.header.frame_id, "");
  const rclcpp::Time stamp(handled.header.stamp, RCL_ROS_TIME);
  EXPECT_LE(before.nanoseconds(), stamp.nanoseconds());
  EXPECT_LE(stamp.nanoseconds(), after.nanoseconds());

  unit->publishExceptionHandle(-42);
  ASSERT_TRUE(exceptions->waitForCount(2));
  EXPECT_EQ(exceptions->last().exception_code, -42);
}

TEST(ErrCodeSimTime, ExceptionStampFollowsTheSimulatedClock)
{
  SpunNode sim(
      "err_code_sim", "",
      rclcpp::NodeOptions().parameter_overrides({rclcpp::Parameter("use_sim_time", true)}));
  MicroUnitErrCode unit(sim.node);
  SpunNode peer("err_code_clock");
  Inbox<skelmar_protocol::msg::ExceptionHandle> exceptions(*peer.node, "exception_handle");
  auto clock_pub = peer.node->create_publisher<rosgraph_msgs::msg::Clock>("/clock", 10);
  peer.spin();
  ASSERT_TRUE(exceptions.waitForMatch(unit.exception_handle_pub));

  rosgraph_msgs::msg::Clock clock;
  clock.clock.sec = 42;
  clock.clock.nanosec = 5;
  ASSERT_TRUE(skelmar_test::waitFor([&] {
    clock_pub->publish(clock);
    return sim.node->now().nanoseconds() == 42'000'000'005;
  }));
  unit.publishExceptionHandle(7);
  ASSERT_TRUE(exceptions.waitForCount(1));
  EXPECT_EQ(exceptions.last().header.stamp.sec, 42);
  EXPECT_EQ(exceptions.last().header.stamp.nanosec, 5U);
  EXPECT_EQ(exceptions.last().exception_code, 7);
}
