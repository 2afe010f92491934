// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

// Transform library behaviour the navigation code relies on: buffer lookups and their error
// texts, the KDL-based pose transform, getYaw's branches, and listener/broadcaster delivery.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "geometry_msgs/msg/pose_stamped.hpp"
#include "geometry_msgs/msg/transform_stamped.hpp"
#include "rclcpp/rclcpp.hpp"
#include "rosgraph_msgs/msg/clock.hpp"
#include "support/ros_test_support.hpp"
#include "tf2/buffer_core.h"
#include "tf2/exceptions.h"
#include "tf2/utils.h"
#include "tf2_geometry_msgs/tf2_geometry_msgs.hpp"
#include "tf2_ros/buffer.h"
#include "tf2_ros/static_transform_broadcaster.h"
#include "tf2_ros/transform_broadcaster.h"
#include "tf2_ros/transform_listener.h"

namespace {
using geometry_msgs::msg::TransformStamped;

constexpr double kTol = 1e-12;

TransformStamped makeTransform(
    const std::string & parent, const std::string & child, double seconds, double x, double y,
    double z, double yaw)
{
  TransformStamped t;
  t.header.frame_id = parent;
  t.child_frame_id = child;
  t.header.stamp = tf2_ros::toMsg(tf2::timeFromSec(seconds));
  t.transform.translation.x = x;
  t.transform.translation.y = y;
  t.transform.translation.z = z;
  t.transform.rotation.z = std::sin(yaw / 2);
  t.transform.rotation.w = std::cos(yaw / 2);
  return t;
}

double yawOf(const TransformStamped & t)
{
  return tf2::getYaw(t.transform.rotation);
}

// Expects `call` to throw exactly type E with exactly `text`.
template <class E, class Call>
void expectThrowText(Call && call, const std::string & text)
{
  try {
    call();
    ADD_FAILURE() << "no exception, expected: " << text;
  } catch (const E & e) {
    EXPECT_EQ(text, e.what());
  } catch (const std::exception & e) {
    ADD_FAILURE() << "other exception: " << e.what();
  }
}

// map -> odom (dynamic, at 10 s and 12 s) -> base (dynamic, at 11 s and 13 s) -> laser
// (static); a second tree world -> island.
class BufferCoreTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    ASSERT_TRUE(core.setTransform(makeTransform("map", "odom", 10, 1, 2, 0, M_PI_2), "t"));
    ASSERT_TRUE(core.setTransform(makeTransform("map", "odom", 12, 3, 2, 0, M_PI_2), "t"));
    ASSERT_TRUE(core.setTransform(makeTransform("odom", "base", 11, 3, 0, 0, 0), "t"));
    ASSERT_TRUE(core.setTransform(makeTransform("odom", "base", 13, 3, 0, 0, 0), "t"));
    ASSERT_TRUE(core.setTransform(makeTransform("base", "laser", 0, 0.5, 0, 0.2, 0), "t", true));
    ASSERT_TRUE(core.setTransform(makeTransform("world", "island", 0, 1, 0, 0, 0), "t", true));
  }

  tf2::BufferCore core;
};

TEST_F(BufferCoreTest, ComposesChainsInBothDirections)
{
  // At 11 s odom sits at (2, 2) rotated +90 deg in map; laser is (3.5, 0, 0.2) in odom.
  const auto up = core.lookupTransform("map", "laser", tf2::timeFromSec(11));
  EXPECT_EQ("map", up.header.frame_id);
  EXPECT_EQ("laser", up.child_frame_id);
  EXPECT_EQ(11, up.header.stamp.sec);
  EXPECT_NEAR(2.0, up.transform.translation.x, kTol);
  EXPECT_NEAR(5.5, up.transform.translation.y, kTol);
  EXPECT_NEAR(0.2, up.transform.translation.z, kTol);
  EXPECT_NEAR(M_PI_2, yawOf(up), 1e-9);

  // The inverse maps the map origin into the laser frame.
  const auto down = core.lookupTransform("laser", "map", tf2::timeFromSec(11));
  EXPECT_NEAR(-5.5, down.transform.translation.x, kTol);
  EXPECT_NEAR(2.0, down.transform.translation.y, kTol);
  EXPECT_NEAR(-0.2, down.transform.translation.z, kTol);
  EXPECT_NEAR(-M_PI_2, yawOf(down), 1e-9);

  // Siblings meet at their common parent.
  ASSERT_TRUE(core.setTransform(makeTransform("odom", "dock", 0, 0, 4, 0, 0), "t", true));
  const auto across = core.lookupTransform("laser", "dock", tf2::timeFromSec(11));
  EXPECT_NEAR(-3.5, across.transform.translation.x, kTol);
  EXPECT_NEAR(4.0, across.transform.translation.y, kTol);
}

TEST_F(BufferCoreTest, LatestCommonTimeAndStaticFrames)
{
  // odom's newest sample is at 12 s, base's at 13 s: the chain is complete up to 12 s.
  const auto latest = core.lookupTransform("map", "laser", tf2::TimePointZero);
  EXPECT_EQ(12, latest.header.stamp.sec);
  EXPECT_EQ(0u, latest.header.stamp.nanosec);
  EXPECT_NEAR(3.0, latest.transform.translation.x, kTol);

  // An all-static chain is valid at any time and reports stamp 0 for "latest".
  const auto fixed = core.lookupTransform("world", "island", tf2::TimePointZero);
  EXPECT_EQ(0, fixed.header.stamp.sec);
  const auto later = core.lookupTransform("island", "world", tf2::timeFromSec(1e6));
  EXPECT_EQ(1000000, later.header.stamp.sec);
  EXPECT_NEAR(-1.0, later.transform.translation.x, kTol);

  // Equal names give the identity without validation, stamped with the frame's newest data.
  const auto same = core.lookupTransform("odom", "odom", tf2::TimePointZero);
  EXPECT_EQ(12, same.header.stamp.sec);
  EXPECT_EQ(1.0, same.transform.rotation.w);
  EXPECT_NO_THROW(core.lookupTransform("ghost", "ghost", tf2::timeFromSec(3)));

  // clear() forgets dynamic data only.
  core.clear();
  EXPECT_TRUE(core.canTransform("world", "island", tf2::timeFromSec(5)));
  EXPECT_TRUE(core.canTransform("base", "laser", tf2::timeFromSec(5)));
  EXPECT_FALSE(core.canTransform("map", "odom", tf2::timeFromSec(11)));
  EXPECT_TRUE(core._frameExists("odom"));
}

TEST_F(BufferCoreTest, InterpolatesLinearlyAndBySlerp)
{
  tf2::BufferCore buffer;
  ASSERT_TRUE(buffer.setTransform(makeTransform("a", "b", 10, 0, 0, 0, 0), "t"));
  ASSERT_TRUE(buffer.setTransform(makeTransform("a", "b", 12, 2, -4, 0, M_PI_2), "t"));
  const auto mid = buffer.lookupTransform("a", "b", tf2::timeFromSec(10.5));
  EXPECT_NEAR(0.5, mid.transform.translation.x, kTol);
  EXPECT_NEAR(-1.0, mid.transform.translation.y, kTol);
  EXPECT_NEAR(M_PI / 8, yawOf(mid), 1e-9);
  // Exact stamps use the sample itself.
  const auto end = buffer.lookupTransform("a", "b", tf2::timeFromSec(12));
  EXPECT_EQ(2.0, end.transform.translation.x);
}

TEST_F(BufferCoreTest, SwitchingBetweenStaticAndDynamicReplacesTheHistory)
{
  ASSERT_TRUE(core.setTransform(makeTransform("map", "odom", 0, 7, 0, 0, 0), "t", true));
  EXPECT_NEAR(
      7.0, core.lookupTransform("map", "odom", tf2::timeFromSec(500)).transform.translation.x,
      kTol);
  ASSERT_TRUE(core.setTransform(makeTransform("map", "odom", 20, 8, 0, 0, 0), "t"));
  EXPECT_FALSE(core.canTransform("map", "odom", tf2::timeFromSec(500)));
  EXPECT_NEAR(
      8.0, core.lookupTransform("map", "odom", tf2::timeFromSec(20)).transform.translation.x, kTol);
}

TEST_F(BufferCoreTest, ExceptionsCarryTheExactTexts)
{
  const std::string from_to = ", when looking up transform from frame [laser] to frame [map]";
  expectThrowText<tf2::ExtrapolationException>(
      [&] { core.lookupTransform("map", "laser", tf2::timeFromSec(14)); },
      "Lookup would require extrapolation into the future.  Requested time 14.000000 but the "
      "latest data is at time 13.000000" +
          from_to);
  expectThrowText<tf2::ExtrapolationException>(
      [&] { core.lookupTransform("map", "laser", tf2::timeFromSec(9.5)); },
      "Lookup would require extrapolation into the past.  Requested time 9.500000 but the "
      "earliest data is at time 11.000000" +
          from_to);
  ASSERT_TRUE(core.setTransform(makeTransform("map", "beacon", 30, 0, 0, 0, 0), "t"));
  expectThrowText<tf2::ExtrapolationException>(
      [&] { core.lookupTransform("map", "beacon", tf2::timeFromSec(31)); },
      "Lookup would require extrapolation at time 31.000000, but only time 30.000000 is in the "
      "buffer, when looking up transform from frame [beacon] to frame [map]");
  expectThrowText<tf2::LookupException>(
      [&] { core.lookupTransform("nowhere", "laser", tf2::TimePointZero); },
      "\"nowhere\" passed to lookupTransform argument target_frame does not exist. ");
  expectThrowText<tf2::LookupException>(
      [&] { core.lookupTransform("map", "nowhere", tf2::TimePointZero); },
      "\"nowhere\" passed to lookupTransform argument source_frame does not exist. ");
  expectThrowText<tf2::InvalidArgumentException>(
      [&] { core.lookupTransform("", "laser", tf2::TimePointZero); },
      "Invalid argument \"\" passed to lookupTransform argument target_frame - in tf2 frame_ids "
      "cannot be empty");
  expectThrowText<tf2::InvalidArgumentException>(
      [&] { core.lookupTransform("/map", "laser", tf2::TimePointZero); },
      "Invalid argument \"/map\" passed to lookupTransform argument target_frame - in tf2 "
      "frame_ids cannot start with a '/'");
  expectThrowText<tf2::ConnectivityException>(
      [&] { core.lookupTransform("map", "island", tf2::TimePointZero); },
      "Could not find a connection between 'map' and 'island' because they are not part of the "
      "same tree.Tf has two or more unconnected trees.");
  expectThrowText<tf2::ConnectivityException>(
      [&] { core.lookupTransform("map", "island", tf2::timeFromSec(11)); },
      "Could not find a connection between 'map' and 'island' because they are not part of the "
      "same tree.Tf has two or more unconnected trees.");
}

TEST_F(BufferCoreTest, CanTransformReportsInsteadOfThrowing)
{
  std::string error;
  EXPECT_TRUE(core.canTransform("map", "laser", tf2::timeFromSec(11.5), &error));
  EXPECT_FALSE(core.canTransform("map", "nowhere", tf2::TimePointZero, &error));
  EXPECT_EQ(
      "Invalid frame ID \"nowhere\" passed to canTransform argument source_frame - frame does not "
      "exist",
      error);
  EXPECT_FALSE(core.canTransform("", "map", tf2::TimePointZero, &error));
  EXPECT_EQ(
      "Invalid frame ID \"\" passed to canTransform argument target_frame - in tf2 frame_ids "
      "cannot "
      "be empty",
      error);
  EXPECT_FALSE(core.canTransform("/map", "laser", tf2::TimePointZero, &error));
  EXPECT_EQ(
      "Invalid frame ID \"/map\" passed to canTransform argument target_frame - in tf2 frame_ids "
      "cannot start with a '/'",
      error);
  EXPECT_FALSE(core.canTransform("map", "laser", tf2::timeFromSec(20), &error));
  EXPECT_EQ(
      "Lookup would require extrapolation into the future.  Requested time 20.000000 but the "
      "latest data is at time 13.000000, when looking up transform from frame [laser] to frame "
      "[map]",
      error);
  EXPECT_FALSE(core.canTransform("island", "laser", tf2::TimePointZero, &error));
  EXPECT_EQ(
      "Could not find a connection between 'island' and 'laser' because they are not part of the "
      "same tree.Tf has two or more unconnected trees.",
      error);
  EXPECT_NO_THROW(core.canTransform("", "", tf2::TimePointZero));
}

TEST_F(BufferCoreTest, SetTransformRejectsBadInputAndStripsLeadingSlashes)
{
  auto bad = makeTransform("map", "map", 20, 0, 0, 0, 0);
  EXPECT_FALSE(core.setTransform(bad, "t"));
  bad = makeTransform("map", "", 20, 0, 0, 0, 0);
  EXPECT_FALSE(core.setTransform(bad, "t"));
  bad = makeTransform("", "rover", 20, 0, 0, 0, 0);
  EXPECT_FALSE(core.setTransform(bad, "t"));
  bad = makeTransform("map", "rover", 20, std::nan(""), 0, 0, 0);
  EXPECT_FALSE(core.setTransform(bad, "t"));
  EXPECT_FALSE(core._frameExists("rover"));

  // The rotation is read back from a matrix before it is checked, so a quaternion that is
  // merely not unit is taken, normalised, as Humble takes it.
  auto scaled = makeTransform("map", "rover", 20, 0, 0, 0, 0);
  scaled.transform.rotation.z = 0.3;
  scaled.transform.rotation.w = 1.01;
  EXPECT_TRUE(core.setTransform(scaled, "t"));
  const auto stored = core.lookupTransform("map", "rover", tf2::TimePointZero).transform.rotation;
  const double norm = std::hypot(0.3, 1.01);
  EXPECT_NEAR(0.3 / norm, stored.z, 1e-12);
  EXPECT_NEAR(1.01 / norm, stored.w, 1e-12);

  // Data older than the newest sample minus the 10 s cache time is refused.
  EXPECT_FALSE(core.setTransform(makeTransform("map", "odom", 1.5, 0, 0, 0, 0), "t"));
  EXPECT_TRUE(core.setTransform(makeTransform("map", "odom", 2.0, 0, 0, 0, 0), "t"));
  EXPECT_EQ(std::chrono::seconds(10), core.getCacheLength());

  EXPECT_TRUE(core.setTransform(makeTransform("/map", "/rover", 21, 5, 0, 0, 0), "t"));
  EXPECT_TRUE(core._frameExists("rover"));
  EXPECT_FALSE(core._frameExists("/rover"));
  EXPECT_NEAR(
      5.0, core.lookupTransform("map", "rover", tf2::TimePointZero).transform.translation.x, kTol);
}

TEST(BufferCore, PrunesDataOlderThanTheCacheTime)
{
  tf2::BufferCore core(std::chrono::seconds(2));
  for (int second = 0; second <= 10; ++second) {
    ASSERT_TRUE(core.setTransform(makeTransform("a", "b", second, second, 0, 0, 0), "t"));
  }
  // Pruning keeps the samples within 2 s of the newest sample seen before each insertion.
  EXPECT_FALSE(core.canTransform("a", "b", tf2::timeFromSec(6.5)));
  EXPECT_TRUE(core.canTransform("a", "b", tf2::timeFromSec(7.5)));
}

TEST(BufferCore, ALoopInTheTreeIsALookupError)
{
  tf2::BufferCore core;
  ASSERT_TRUE(core.setTransform(makeTransform("a", "b", 0, 0, 0, 0, 0), "t", true));
  ASSERT_TRUE(core.setTransform(makeTransform("b", "a", 0, 0, 0, 0, 0), "t", true));
  ASSERT_TRUE(core.setTransform(makeTransform("a", "c", 0, 0, 0, 0, 0), "t", true));
  ASSERT_TRUE(core.setTransform(makeTransform("root", "other", 0, 0, 0, 0, 0), "t", true));
  try {
    core.lookupTransform("other", "c", tf2::timeFromSec(1));
    ADD_FAILURE() << "a loop must not resolve";
  } catch (const tf2::LookupException & e) {
    EXPECT_EQ(0u, std::string(e.what()).find("The tf tree is invalid because it contains a loop."));
  }
}

TEST(BufferCore, ConcurrentWritersAndReadersStayConsistent)
{
  tf2::BufferCore core;
  std::atomic<bool> stop{false};
  std::thread writer([&] {
    for (int i = 1; i <= 2000; ++i) {
      core.setTransform(makeTransform("map", "odom", i * 0.01, i, 0, 0, 0), "w");
    }
    stop = true;
  });
  while (!stop) {
    try {
      const auto t = core.lookupTransform("map", "odom", tf2::TimePointZero);
      // The newest sample at stamp s has x = 100 s.
      EXPECT_NEAR(
          100.0 * (t.header.stamp.sec + t.header.stamp.nanosec * 1e-9), t.transform.translation.x,
          1e-6);
    } catch (const tf2::LookupException &) {
      // No data yet.
    }
  }
  writer.join();
  EXPECT_NEAR(
      2000.0, core.lookupTransform("map", "odom", tf2::TimePointZero).transform.translation.x,
      kTol);
}

// ----------------------------------------------------------------------- tf2_geometry_msgs

TEST(DoTransform, PoseStampedComposesKdlFramesAndTakesTheTransformHeader)
{
  TransformStamped t = makeTransform("map", "laser", 5.25, 1, 2, 3, M_PI_2);
  geometry_msgs::msg::PoseStamped in;
  in.header.frame_id = "laser";
  in.header.stamp.sec = 99;
  in.pose.position.x = 1;
  in.pose.position.y = 0.5;
  in.pose.position.z = -1;
  geometry_msgs::msg::PoseStamped out;
  tf2::doTransform(in, out, t);
  // R (yaw 90 deg) * p + t = (-0.5, 1, -1) + (1, 2, 3).
  EXPECT_NEAR(0.5, out.pose.position.x, kTol);
  EXPECT_NEAR(3.0, out.pose.position.y, kTol);
  EXPECT_NEAR(2.0, out.pose.position.z, kTol);
  EXPECT_NEAR(0.0, out.pose.orientation.x, kTol);
  EXPECT_NEAR(0.0, out.pose.orientation.y, kTol);
  EXPECT_NEAR(std::sqrt(0.5), out.pose.orientation.z, kTol);
  EXPECT_NEAR(std::sqrt(0.5), out.pose.orientation.w, kTol);
  EXPECT_EQ("map", out.header.frame_id);
  EXPECT_EQ(5, out.header.stamp.sec);
  EXPECT_EQ(250000000u, out.header.stamp.nanosec);

  // The rotation comes back from the matrix: the negated quaternion gives w >= 0.
  t.transform.rotation.z = -t.transform.rotation.z;
  t.transform.rotation.w = -t.transform.rotation.w;
  tf2::doTransform(in, out, t);
  EXPECT_NEAR(std::sqrt(0.5), out.pose.orientation.z, kTol);
  EXPECT_NEAR(std::sqrt(0.5), out.pose.orientation.w, kTol);
}

TEST(DoTransform, NonUnitQuaternionScalesPositions)
{
  // KDL does not normalise: q = (0, 0, 0, 2) is the matrix 4 * I.
  TransformStamped t = makeTransform("map", "laser", 0, 0.5, 0, 0, 0);
  t.transform.rotation.w = 2.0;
  geometry_msgs::msg::PoseStamped in;
  in.pose.position.x = 1;
  in.pose.position.y = 2;
  geometry_msgs::msg::PoseStamped out;
  tf2::doTransform(in, out, t);
  EXPECT_DOUBLE_EQ(4.5, out.pose.position.x);
  EXPECT_DOUBLE_EQ(8.0, out.pose.position.y);

  // A yaw quaternion scaled by 2: wx = px + (w^2 - z^2) u - 2 w z v, wy = py + 2 w z u + ...
  t = makeTransform("map", "laser", 0, 1, 1, 0, M_PI / 3);
  t.transform.rotation.z *= 2;
  t.transform.rotation.w *= 2;
  const double z = t.transform.rotation.z;
  const double w = t.transform.rotation.w;
  in.pose.position.x = 0.3;
  in.pose.position.y = -0.7;
  tf2::doTransform(in, out, t);
  EXPECT_NEAR(1 + (w * w - z * z) * 0.3 - 2 * w * z * -0.7, out.pose.position.x, kTol);
  EXPECT_NEAR(1 + 2 * w * z * 0.3 + (w * w - z * z) * -0.7, out.pose.position.y, kTol);
}

TEST(DoTransform, PointsPolygonsQuaternionsAndTransforms)
{
  const TransformStamped t = makeTransform("map", "laser", 7, 1, 0, 0, M_PI);
  geometry_msgs::msg::PolygonStamped poly;
  poly.header.frame_id = "laser";
  geometry_msgs::msg::Point32 corner;
  corner.x = 0.1f;
  corner.y = 2.0f;
  poly.polygon.points = {corner, corner};
  // As in Humble, the output is cleared before the input is read: in place, nothing is left.
  geometry_msgs::msg::PolygonStamped in_place = poly;
  tf2::doTransform(in_place, in_place, t);
  EXPECT_TRUE(in_place.polygon.points.empty());
  EXPECT_EQ("map", in_place.header.frame_id);
  tf2::doTransform(geometry_msgs::msg::PolygonStamped(poly), poly, t);
  ASSERT_EQ(2u, poly.polygon.points.size());
  // Yaw pi about (1, 0): (0.1, 2) -> (0.9, -2), stored as float.
  EXPECT_NEAR(0.9, poly.polygon.points[1].x, 1e-6);
  EXPECT_NEAR(-2.0, poly.polygon.points[1].y, 1e-6);
  EXPECT_EQ("map", poly.header.frame_id);
  EXPECT_EQ(7, poly.header.stamp.sec);

  geometry_msgs::msg::Point p;
  p.x = 2;
  tf2::doTransform(p, p, t);
  EXPECT_NEAR(-1.0, p.x, kTol);

  geometry_msgs::msg::Quaternion q;  // identity
  geometry_msgs::msg::Quaternion rotated;
  tf2::doTransform(q, rotated, t);
  EXPECT_EQ(t.transform.rotation, rotated);

  TransformStamped chained;
  chained.child_frame_id = "kept";
  tf2::doTransform(makeTransform("laser", "tool", 1, 1, 0, 0, 0), chained, t);
  EXPECT_EQ("kept", chained.child_frame_id);
  EXPECT_EQ("map", chained.header.frame_id);
  EXPECT_NEAR(0.0, chained.transform.translation.x, kTol);
}

TEST(DoTransform, ConversionsAndStampedAccessors)
{
  tf2::Quaternion q;
  q.setRPY(0, 0, 0.4);
  geometry_msgs::msg::Quaternion msg = tf2::toMsg(q);
  tf2::Quaternion back;
  tf2::fromMsg(msg, back);
  EXPECT_EQ(q, back);

  tf2::Transform transform(q, tf2::Vector3(1, 2, 3));
  geometry_msgs::msg::Pose pose;
  tf2::toMsg(transform, pose);
  EXPECT_EQ(2.0, pose.position.y);
  tf2::Transform again;
  tf2::convert(tf2::toMsg(transform), again);
  EXPECT_NEAR(3.0, again.getOrigin().z(), kTol);

  geometry_msgs::msg::PoseStamped stamped;
  stamped.header.frame_id = "base";
  stamped.header.stamp.sec = 3;
  stamped.header.stamp.nanosec = 5;
  EXPECT_EQ("base", tf2::getFrameId(stamped));
  EXPECT_EQ(tf2::TimePoint(std::chrono::nanoseconds(3000000005LL)), tf2::getTimestamp(stamped));
}

// ----------------------------------------------------------------------- getYaw

geometry_msgs::msg::Quaternion quaternion(double x, double y, double z, double w)
{
  geometry_msgs::msg::Quaternion q;
  q.x = x;
  q.y = y;
  q.z = z;
  q.w = w;
  return q;
}

TEST(GetYaw, RegularAndUnnormalisedQuaternions)
{
  tf2::Quaternion q;
  q.setRPY(0.2, -0.3, 2.5);
  EXPECT_NEAR(2.5, tf2::getYaw(q), 1e-12);
  EXPECT_NEAR(2.5, tf2::getYaw(quaternion(3 * q.x(), 3 * q.y(), 3 * q.z(), 3 * q.w())), 1e-12);
  double yaw = 0;
  double pitch = 0;
  double roll = 0;
  tf2::getEulerYPR(quaternion(q.x(), q.y(), q.z(), q.w()), yaw, pitch, roll);
  EXPECT_NEAR(2.5, yaw, 1e-12);
  EXPECT_NEAR(-0.3, pitch, 1e-12);
  EXPECT_NEAR(0.2, roll, 1e-12);
}

TEST(GetYaw, SingularBranchesNearPlusMinusNinetyDegreesPitch)
{
  // (a, b, a, b): sarg = (b^2 - a^2) / (a^2 + b^2).
  // a = 0.001: sarg ~ 0.999998 >= 0.99999, so yaw = 2 atan2(b, a) = pi - 2 atan(a).
  EXPECT_NEAR(M_PI - 2 * std::atan(0.001), tf2::getYaw(quaternion(0.001, 1, 0.001, 1)), 1e-12);
  // a = 0.003: sarg ~ 0.999982 < 0.99999, so the regular formula: atan2(4ab, 0) = pi / 2.
  EXPECT_NEAR(M_PI_2, tf2::getYaw(quaternion(0.003, 1, 0.003, 1)), 1e-12);
  // (a, -b, a, b): sarg = -1, so yaw = -2 atan2(-b, a).
  EXPECT_NEAR(M_PI - 2 * std::atan(0.001), tf2::getYaw(quaternion(0.001, -1, 0.001, 1)), 1e-12);
  // Exactly at the threshold the singular rule applies: (0, s, 0, c) with s = c.
  EXPECT_NEAR(M_PI, tf2::getYaw(quaternion(0, std::sqrt(0.5), 0, std::sqrt(0.5))), 1e-12);

  double yaw = 0;
  double pitch = 0;
  double roll = 1;
  tf2::getEulerYPR(quaternion(0.001, 1, 0.001, 1), yaw, pitch, roll);
  EXPECT_EQ(0.0, roll);
  EXPECT_NEAR(M_PI_4, pitch, 1e-15);
}

// ----------------------------------------------------------------------- tf2_ros

TEST(Buffer, RefusesANullClockAndWaitsOnlyWithADedicatedThread)
{
  try {
    tf2_ros::Buffer buffer(nullptr);
    ADD_FAILURE() << "a null clock must be refused";
  } catch (const std::invalid_argument & e) {
    EXPECT_STREQ("clock must be a valid instance", e.what());
  }

  tf2_ros::Buffer buffer(std::make_shared<rclcpp::Clock>());
  ASSERT_TRUE(buffer.setTransform(makeTransform("map", "odom", 1, 2, 0, 0, 0), "t", true));
  // The plain call needs no thread.
  EXPECT_NEAR(
      2.0, buffer.lookupTransform("map", "odom", tf2::TimePointZero).transform.translation.x, kTol);
  std::string error;
  EXPECT_FALSE(
      buffer.canTransform("map", "odom", tf2::TimePointZero, tf2::durationFromSec(0.5), &error));
  EXPECT_EQ(tf2_ros::threading_error, error);
  // The rclcpp overload goes through the same check even with a zero timeout.
  EXPECT_FALSE(buffer.canTransform("map", "odom", rclcpp::Time(0), rclcpp::Duration(0, 0), &error));
}

TEST(Buffer, WaitsForDataFromAnotherThread)
{
  tf2_ros::Buffer buffer(std::make_shared<rclcpp::Clock>(), std::chrono::seconds(30));
  buffer.setUsingDedicatedThread(true);
  EXPECT_EQ(std::chrono::seconds(30), buffer.getCacheLength());

  std::string error;
  EXPECT_FALSE(
      buffer.canTransform("map", "late", tf2::TimePointZero, tf2::durationFromSec(0.05), &error));
  EXPECT_NE(std::string::npos, error.find(". canTransform returned after "));
  EXPECT_NE(std::string::npos, error.find(" timeout was 0.05."));

  std::thread feeder([&buffer] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    buffer.setTransform(makeTransform("map", "late", 4, 1, 0, 0, 0), "feeder");
  });
  const auto found =
      buffer.lookupTransform("map", "late", tf2::TimePointZero, tf2::durationFromSec(30));
  feeder.join();
  EXPECT_EQ(4, found.header.stamp.sec);

  // transform() looks up the input's frame at its stamp.
  geometry_msgs::msg::PoseStamped pose;
  pose.header.frame_id = "late";
  pose.header.stamp.sec = 4;
  const auto in_map = buffer.transform(pose, "map");
  EXPECT_EQ("map", in_map.header.frame_id);
  EXPECT_NEAR(1.0, in_map.pose.position.x, kTol);
}

TEST(Buffer, AJumpBackInTimeClearsDynamicData)
{
  auto node = std::make_shared<rclcpp::Node>(
      skelmar_test::uniqueName("tf_sim_time"),
      rclcpp::NodeOptions().parameter_overrides({rclcpp::Parameter("use_sim_time", true)}));
  auto clock_publisher = node->create_publisher<rosgraph_msgs::msg::Clock>("/clock", 10);
  auto setClock = [&](int32_t seconds) {
    rosgraph_msgs::msg::Clock msg;
    msg.clock.sec = seconds;
    return skelmar_test::waitFor([&] {
      clock_publisher->publish(msg);
      return node->now().nanoseconds() == int64_t{seconds} * 1000000000;
    });
  };
  ASSERT_TRUE(setClock(100));

  tf2_ros::Buffer buffer(node->get_clock());
  ASSERT_TRUE(buffer.setTransform(makeTransform("map", "odom", 100, 1, 0, 0, 0), "t"));
  ASSERT_TRUE(buffer.setTransform(makeTransform("odom", "base", 0, 1, 0, 0, 0), "t", true));
  ASSERT_TRUE(setClock(50));
  EXPECT_FALSE(buffer.canTransform("map", "odom", tf2::TimePointZero));
  EXPECT_TRUE(buffer.canTransform("odom", "base", tf2::TimePointZero));
  // Forward jumps keep the data.
  ASSERT_TRUE(buffer.setTransform(makeTransform("map", "odom", 50, 1, 0, 0, 0), "t"));
  ASSERT_TRUE(setClock(80));
  EXPECT_TRUE(buffer.canTransform("map", "odom", tf2::TimePointZero));
}

TransformStamped stampedNow(
    const rclcpp::Node::SharedPtr & node, const std::string & parent, const std::string & child,
    double x)
{
  TransformStamped t = makeTransform(parent, child, 0, x, 0, 0, 0);
  t.header.stamp = node->now();
  return t;
}

TEST(TransformListener, ReceivesDynamicAndLatchedStaticTransforms)
{
  auto node = std::make_shared<rclcpp::Node>(skelmar_test::uniqueName("tf_sender"));
  tf2_ros::StaticTransformBroadcaster statics(node);
  // Sent before any listener exists: only the transient-local latch can deliver them.
  statics.sendTransform(stampedNow(node, "base", "laser", 1.0));
  statics.sendTransform(stampedNow(node, "base", "camera", 2.0));
  statics.sendTransform(stampedNow(node, "base", "laser", 3.0));  // replaces the first

  tf2_ros::Buffer buffer(node->get_clock());
  tf2_ros::TransformListener listener(buffer);
  EXPECT_TRUE(buffer.isUsingDedicatedThread());
  ASSERT_TRUE(skelmar_test::waitFor([&] {
    return buffer.canTransform("base", "laser", tf2::TimePointZero) &&
           buffer.canTransform("base", "camera", tf2::TimePointZero);
  }));
  EXPECT_NEAR(
      3.0, buffer.lookupTransform("base", "laser", tf2::TimePointZero).transform.translation.x,
      kTol);
  EXPECT_NEAR(
      2.0, buffer.lookupTransform("base", "camera", tf2::TimePointZero).transform.translation.x,
      kTol);

  tf2_ros::TransformBroadcaster dynamic(node);
  ASSERT_TRUE(skelmar_test::waitFor([&] {
    dynamic.sendTransform({stampedNow(node, "odom", "base", 5.0)});
    return buffer.canTransform("odom", "laser", tf2::TimePointZero);
  }));
  EXPECT_NEAR(
      8.0, buffer.lookupTransform("odom", "laser", tf2::TimePointZero).transform.translation.x,
      kTol);

  const auto names = node->get_node_names();
  EXPECT_TRUE(std::any_of(names.begin(), names.end(), [](const std::string & name) {
    return name.rfind("/transform_listener_impl_", 0) == 0;
  }));
}

TEST(TransformListener, ConstructAndDestroyManyTimesWithoutHanging)
{
  // Destroying a listener right after creating it must never lose the stop request. Humble's
  // executor forgets a cancel that comes before spin(), so there this can hang.
  if (!SKELMAR_TEST_HOST_RUNTIME) {
    GTEST_SKIP() << "Humble's TransformListener can lose its stop request";
  }
  auto done = std::make_shared<std::atomic<bool>>(false);
  auto buffer = std::make_shared<tf2_ros::Buffer>(std::make_shared<rclcpp::Clock>());
  std::thread cycles([done, buffer] {
    for (int i = 0; i < 300; ++i) {
      tf2_ros::TransformListener listener(*buffer);
    }
    *done = true;
  });
  const bool finished =
      skelmar_test::waitFor([&] { return done->load(); }, std::chrono::seconds(90));
  if (!finished) {
    cycles.detach();
    FAIL() << "a TransformListener destructor hung";
  }
  cycles.join();
}

}  // namespace
