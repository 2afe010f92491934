// BaseRobot's pose, angle, polygon, footprint and path operations: the documented values, bad
// input, and comparisons with literal re-implementations of the documented rules on many
// random inputs (fixed seed).

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <random>
#include <regex>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "skelmar_nav2_tools/base_robot.hpp"
#include "support/log_capture.hpp"

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kTwoPi = 6.283185307179586;
const double kHalfRoot2 = std::sqrt(2.0) / 2.0;

geometry_msgs::msg::PoseStamped pose(double x, double y, double z = 0.0)
{
  geometry_msgs::msg::PoseStamped p;
  p.pose.position.x = x;
  p.pose.position.y = y;
  p.pose.position.z = z;
  return p;
}

geometry_msgs::msg::Quaternion quat(double x, double y, double z, double w)
{
  geometry_msgs::msg::Quaternion q;
  q.x = x;
  q.y = y;
  q.z = z;
  q.w = w;
  return q;
}

geometry_msgs::msg::Point32 pt32(float x, float y, float z = 0.0F)
{
  geometry_msgs::msg::Point32 p;
  p.x = x;
  p.y = y;
  p.z = z;
  return p;
}

geometry_msgs::msg::Polygon polygon(const std::vector<std::pair<float, float>> & xy)
{
  geometry_msgs::msg::Polygon result;
  for (const auto & [x, y] : xy) {
    result.points.push_back(pt32(x, y));
  }
  return result;
}

nav_msgs::msg::Path pathAlongX(const std::vector<double> & xs)
{
  nav_msgs::msg::Path path;
  path.header.frame_id = "map";
  path.header.stamp.sec = 42;
  for (double x : xs) {
    path.poses.push_back(pose(x, 0.0));
  }
  return path;
}

std::vector<std::string> messages(const std::vector<skelmar_test::LogRecord> & records)
{
  std::vector<std::string> result;
  for (size_t i = 0; i < records.size(); ++i) {
    EXPECT_EQ(
        std::stoi(records[i].payload), (std::stoi(records[0].payload) + static_cast<int>(i)) % 128);
    EXPECT_EQ(records[i].level, spdlog::level::info);
    result.push_back(records[i].message());
  }
  return result;
}

// ---------------------------------------------------------------------------------------------
// The documented rules, written out literally.

double literalDelAngle(double a, double b)
{
  double d = a - b;
  for (;;) {
    while (d > kPi) {
      d -= kTwoPi;
    }
    if (d > -kPi) {
      return d;
    }
    d += kTwoPi;
  }
}

std::vector<cv::Point> literalTransformPoints(
    const std::vector<cv::Point> & in, const cv::Point & c, double angle)
{
  const float a = static_cast<float>(angle * kPi / 180.0);
  std::vector<cv::Point> out;
  for (const auto & p : in) {
    const float dx = static_cast<float>(p.x) - static_cast<float>(c.x);
    const float dy = static_cast<float>(p.y) - static_cast<float>(c.y);
    out.emplace_back(
        static_cast<int>(dx * std::cos(a) - dy * std::sin(a) + static_cast<float>(c.x)),
        static_cast<int>(dx * std::sin(a) + dy * std::cos(a) + static_cast<float>(c.y)));
  }
  return out;
}

// Rotation by tf2::getYaw, then translation, each pass stored as float.
void literalTranslatePolygon(geometry_msgs::msg::Polygon & poly, const geometry_msgs::msg::Pose & p)
{
  const auto & q = p.orientation;
  const double s = -2 * (q.x * q.z - q.w * q.y) / (q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w);
  const double yaw =
      s <= -0.99999 ? -2 * std::atan2(q.y, q.x)
      : s >= 0.99999
          ? 2 * std::atan2(q.y, q.x)
          : std::atan2(2 * (q.x * q.y + q.w * q.z), q.w * q.w + q.x * q.x - q.y * q.y - q.z * q.z);
  for (auto & pt : poly.points) {
    const double x = pt.x;
    const double y = pt.y;
    pt.x = static_cast<float>(x * std::cos(yaw) - y * std::sin(yaw));
    pt.y = static_cast<float>(x * std::sin(yaw) + y * std::cos(yaw));
  }
  for (auto & pt : poly.points) {
    pt.x = static_cast<float>(pt.x + p.position.x);
    pt.y = static_cast<float>(pt.y + p.position.y);
  }
}

geometry_msgs::msg::Polygon literalResizeLiftFrame(
    const geometry_msgs::msg::Polygon & f, double depth, bool extend)
{
  const auto & P = f.points;
  const double e23[2] = {static_cast<float>(P[3].x - P[2].x), static_cast<float>(P[3].y - P[2].y)};
  const double e10[2] = {static_cast<float>(P[0].x - P[1].x), static_cast<float>(P[0].y - P[1].y)};
  const double l23 = std::sqrt(e23[0] * e23[0] + e23[1] * e23[1]);
  const double l10 = std::sqrt(e10[0] * e10[0] + e10[1] * e10[1]);
  const double u23[2] = {l23 > 0 ? e23[0] / l23 : e23[0], l23 > 0 ? e23[1] / l23 : e23[1]};
  const double u10[2] = {l10 > 0 ? e10[0] / l10 : e10[0], l10 > 0 ? e10[1] / l10 : e10[1]};
  const double shift = extend ? 4.0 : std::min(l23 - 0.1, depth + 0.2);
  const double sign = extend ? -1.0 : 1.0;
  geometry_msgs::msg::Polygon r;
  r.points = {
      P[0],
      pt32(
          static_cast<float>(P[1].x + sign * shift * u10[0]),
          static_cast<float>(P[1].y + sign * shift * u10[1])),
      pt32(
          static_cast<float>(P[2].x + sign * shift * u23[0]),
          static_cast<float>(P[2].y + sign * shift * u23[1])),
      P[3]};
  return r;
}

bool literalPointInPolygon(const geometry_msgs::msg::Polygon & poly, double px, double py)
{
  const auto & P = poly.points;
  bool inside = false;
  for (size_t i = 0, j = P.size() - 1; i < P.size(); j = i++) {
    if ((P[i].y > py) != (P[j].y > py)) {
      const float dx = P[j].x - P[i].x;
      const float dy = P[j].y - P[i].y;
      inside ^= dx * (py - P[i].y) / dy + P[i].x > px;
    }
  }
  return inside || std::any_of(P.begin(), P.end(), [&](const auto & v) {
           return std::sqrt((v.x - px) * (v.x - px) + (v.y - py) * (v.y - py)) < 0.01;
         });
}

// ---------------------------------------------------------------------------------------------

TEST(PoseAngle, DocumentedValues)
{
  BaseRobot robot;
  EXPECT_EQ(robot.quaternion2Yaw(quat(0, 0, 0, 1)), 0.0);
  EXPECT_NEAR(robot.quaternion2Yaw(quat(0, 0, kHalfRoot2, kHalfRoot2)), kPi / 2, 1e-12);
  EXPECT_NEAR(robot.quaternion2Yaw(quat(0, 0, 2, 2)), kPi / 2, 1e-12);
  EXPECT_NEAR(
      robot.quaternion2Yaw(quat(0, 0, 5 * std::sin(-1.2), 5 * std::cos(-1.2))), -2.4, 1e-12);
  EXPECT_EQ(robot.quaternion2Yaw(quat(0, 1, 0, 1)), 0.0);  // gimbal lock
  EXPECT_TRUE(std::isnan(robot.quaternion2Yaw(quat(0, 0, 0, 0))));

  const auto near = [](const geometry_msgs::msg::Quaternion & q, double x, double y, double z) {
    EXPECT_NEAR(q.x, x, 1e-15);
    EXPECT_NEAR(q.y, y, 1e-15);
    EXPECT_NEAR(q.z, z, 1e-15);
    EXPECT_NEAR(q.w, kHalfRoot2, 1e-15);
  };
  near(robot.eulerToQuaternion(kPi / 2, 0, 0), 0, 0, kHalfRoot2);  // yaw, roll, pitch
  near(robot.eulerToQuaternion(0, kPi / 2, 0), kHalfRoot2, 0, 0);
  near(robot.eulerToQuaternion(0, 0, kPi / 2), 0, kHalfRoot2, 0);

  EXPECT_EQ(robot.calDelAngle(0, kPi), kPi);  // -pi comes back as +pi
  EXPECT_EQ(robot.calDelAngle(kPi, 0), kPi);
  EXPECT_EQ(robot.calDelAngle(-kPi, 0), kPi);
  EXPECT_EQ(robot.calDelAngle(0.1, 6.2), 0.1 - 6.2 + kTwoPi);
  EXPECT_NEAR(robot.calDelAngle(7 * kPi, 0), kPi, 1e-12);

  EXPECT_EQ(robot.sqDistance(pose(0, 0, 7), pose(3, 4, -2)), 25.0);
  EXPECT_EQ(robot.calDistance(pose(0, 0, 7), pose(3, 4, -2)), 5.0);

  EXPECT_NEAR(robot.calculateCurvature(pose(0, 0), pose(1, 1), pose(2, 0)), 1.0, 1e-12);
  EXPECT_NEAR(robot.calculateCurvature(pose(0, 0), pose(1, -1), pose(2, 0)), 1.0, 1e-12);
  EXPECT_NEAR(robot.calculateCurvature(pose(0, 0), pose(2, 2), pose(4, 0)), 0.5, 1e-12);
  EXPECT_NEAR(
      robot.calculateCurvature(pose(0, 0), pose(1, 2), pose(3, 1)), 2 / std::sqrt(10.0), 1e-12);
  EXPECT_EQ(robot.calculateCurvature(pose(0, 0), pose(1, 0), pose(2, 0)), 0.0);
  EXPECT_EQ(robot.calculateCurvature(pose(3, 0), pose(3, 5), pose(3, -1)), 0.0);
  EXPECT_TRUE(std::isnan(robot.calculateCurvature(pose(0, 0), pose(0, 0), pose(1, 0))));

  // Euler angles come back as the yaw they were built from.
  std::mt19937 rng(20240611U);
  std::uniform_real_distribution<double> angle(-3.1, 3.1);
  for (int k = 0; k < 1000; ++k) {
    const double a = angle(rng);
    ASSERT_NEAR(robot.quaternion2Yaw(robot.eulerToQuaternion(a, 0, 0)), a, 1e-12);
  }
}

TEST(PoseAngle, DelAngleReturnsForNonFiniteInput)
{
  BaseRobot robot;
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double big = std::numeric_limits<double>::max();  // the difference overflows
  for (const auto & [a, b] : std::vector<std::pair<double, double>>{
           {inf, 0}, {0, inf}, {-inf, 1}, {nan, 0}, {0, nan}, {big, -big}}) {
    EXPECT_TRUE(std::isnan(robot.calDelAngle(a, b))) << a << " " << b;
  }
}

TEST(PoseAngle, DelAngleRangeAndCongruenceForAnyFiniteInput)
{
  BaseRobot robot;
  std::mt19937 rng(20240611U);
  // Below a million the stepwise reduction itself, to the bit.
  std::uniform_real_distribution<double> small(-20.0, 20.0);
  std::uniform_real_distribution<double> wide(-999999.0, 999999.0);
  for (int k = 0; k < 20000; ++k) {
    const double a = k % 100 == 0 ? wide(rng) : small(rng);
    const double b = k % 100 == 0 ? 0.0 : small(rng);
    ASSERT_EQ(robot.calDelAngle(a, b), literalDelAngle(a, b)) << a << " " << b;
  }
  // Any magnitude: in range, and a whole number of turns away up to the rounding of each
  // step below 1e6 (half an ulp of d per turn) and of the one remainder above.
  std::uniform_real_distribution<double> exponent(-3.0, 300.0);
  for (int k = 0; k < 5000; ++k) {
    const double d = (k % 2 == 0 ? -1.0 : 1.0) * std::pow(10.0, exponent(rng));
    const double r = robot.calDelAngle(d, 0.0);
    ASSERT_GT(r, -kPi) << d;
    ASSERT_LE(r, kPi) << d;
    const double ad = std::fabs(d);
    const double ulp = std::nextafter(ad, std::numeric_limits<double>::infinity()) - ad;
    const double tolerance = ad < 1e6 ? (ad / kTwoPi + 1.0) * ulp : ad * 1e-15;
    EXPECT_NEAR(std::remainder(d - r, kTwoPi), 0.0, std::max(1e-12, tolerance)) << d;
  }
}

TEST(PoseAngle, UuidsAreRandomVersionFourText)
{
  BaseRobot robot;
  std::set<std::string> seen;
  for (int k = 0; k < 200; ++k) {
    const std::string id = robot.generateUuid();
    EXPECT_TRUE(std::regex_match(
        id, std::regex("[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}")))
        << id;
    seen.insert(id);
  }
  EXPECT_EQ(seen.size(), 200U);
}

TEST(PoseAngle, PrintPoseWritesFourNumberedRecords)
{
  setenv("SPDLOG_LEVEL", "info", 1);  // before the logger is built in this process
  auto capture = skelmar_test::LogCapture::attach();
  BaseRobot robot;
  auto p = pose(1, 2, 0);
  p.header.frame_id = "not printed";
  robot.printPose(p, "start");
  auto turned = pose(0.25, -1.5, 3);
  turned.pose.orientation = quat(0, 0, kHalfRoot2, kHalfRoot2);
  robot.printPose(turned, " spaced {} text ");
  const std::string h = fmt::format("{}", kHalfRoot2);
  EXPECT_EQ(
      messages(capture->records()),
      (std::vector<std::string>{
          "info: start", "point is 1;2;0", "orientation is 0;0;0;1", "yaw is 0",
          "info:  spaced {} text ", "point is 0.25;-1.5;3", "orientation is 0;0;" + h + ";" + h,
          fmt::format("yaw is {}", robot.quaternion2Yaw(turned.pose.orientation))}));
}

TEST(Polygons, DocumentedValues)
{
  BaseRobot robot;
  geometry_msgs::msg::PolygonStamped out;
  out.header.frame_id = "map";
  out.polygon.points.push_back(pt32(9, 9, 9));
  geometry_msgs::msg::Point forward;
  forward.x = 1.0;
  forward.z = 5.0;
  robot.transformFootprint(1, 2, kPi / 2, {forward}, out);
  ASSERT_EQ(out.polygon.points.size(), 1U);
  EXPECT_NEAR(out.polygon.points[0].x, 1.0F, 1e-6);
  EXPECT_EQ(out.polygon.points[0].y, 3.0F);
  EXPECT_EQ(out.polygon.points[0].z, 0.0F);
  robot.transformFootprint(1e7, 0.0, 0.0, {forward}, out);
  EXPECT_EQ(out.polygon.points[0].x, static_cast<float>(1e7 + 1.0));
  robot.transformFootprint(1, 2, 0.3, {}, out);
  EXPECT_TRUE(out.polygon.points.empty());
  EXPECT_EQ(out.header.frame_id, "map");

  std::vector<cv::Point> points;
  robot.transformPoints({{10, 0}}, points, {0, 0}, 90);
  EXPECT_EQ(points, (std::vector<cv::Point>{{0, 10}}));
  robot.transformPoints({{10, 0}}, points, {0, 0}, 30);
  EXPECT_EQ(points, (std::vector<cv::Point>{{8, 5}}));  // truncated, not rounded

  geometry_msgs::msg::PolygonStamped placed;
  placed.header.frame_id = "lift_frame";
  placed.polygon = polygon({{1, 0}, {0.5F, -2}});
  auto at = pose(3, 4, 9);
  at.pose.orientation.w = 1.0;
  robot.translatePolygon(placed, at);
  EXPECT_EQ(placed.polygon, polygon({{4, 4}, {3.5F, 2}}));
  EXPECT_EQ(placed.header.frame_id, "lift_frame");
  placed.polygon = polygon({{1, 0}});
  at.pose.orientation = quat(0, 0, kHalfRoot2, kHalfRoot2);
  robot.translatePolygon(placed, at);
  EXPECT_NEAR(placed.polygon.points[0].x, 3.0F, 1e-6);
  EXPECT_EQ(placed.polygon.points[0].y, 5.0F);

  const auto frame = polygon({{0, 0}, {2, 0}, {2, 1}, {0, 1}});
  EXPECT_EQ(
      robot.resizeLiftFrame(frame, 0.5, false), polygon({{0, 0}, {1.3F, 0}, {1.3F, 1}, {0, 1}}));
  EXPECT_EQ(
      robot.resizeLiftFrame(frame, 5, false), polygon({{0, 0}, {0.1F, 0}, {0.1F, 1}, {0, 1}}));
  EXPECT_EQ(robot.resizeLiftFrame(frame, 0.5, true), polygon({{0, 0}, {6, 0}, {6, 1}, {0, 1}}));

  const auto square = polygon({{0, 0}, {1, 0}, {1, 1}, {0, 1}});
  const auto inside = [&](const geometry_msgs::msg::Polygon & poly, double x, double y) {
    return robot.isPointInPolygon(poly, pose(x, y).pose);
  };
  EXPECT_TRUE(inside(square, 0.5, 0.5));
  EXPECT_FALSE(inside(square, 2, 2));
  EXPECT_TRUE(inside(square, 1.005, 1.0));  // within 0.01 of a vertex
  EXPECT_FALSE(inside(square, 1.02, 0.5));
  EXPECT_FALSE(inside(geometry_msgs::msg::Polygon(), 0, 0));
  EXPECT_TRUE(inside(polygon({{3, 3}}), 3.009, 3));
  EXPECT_FALSE(inside(polygon({{3, 3}}), 3.011, 3));

  const auto big = polygon({{0, 0}, {10, 0}, {10, 10}, {0, 10}});
  const auto small = polygon({{2, 2}, {3, 2}, {3, 3}, {2, 3}});
  EXPECT_TRUE(robot.isPolygonContained(small, big));
  EXPECT_FALSE(robot.isPolygonContained(big, small));
  EXPECT_TRUE(robot.isPolygonContained(geometry_msgs::msg::Polygon(), small));
  // Only vertices count: an edge across the gap of a U between two contained vertices passes.
  const auto u = polygon({{0, 0}, {3, 0}, {3, 3}, {2, 3}, {2, 1}, {1, 1}, {1, 3}, {0, 3}});
  EXPECT_TRUE(robot.isPolygonContained(polygon({{0.5F, 2}, {2.5F, 2}}), u));
}

TEST(Polygons, ResizeLiftFrameInputLimits)
{
  BaseRobot robot;
  for (size_t n = 0; n < 4; ++n) {
    geometry_msgs::msg::Polygon frame;
    frame.points.resize(n);
    EXPECT_THROW(robot.resizeLiftFrame(frame, 0.5, false), std::invalid_argument) << n;
  }
  // Extra points are ignored; P0 and P3 keep their z, the moved corners get z = 0.
  geometry_msgs::msg::Polygon frame;
  frame.points = {pt32(0, 0, 1), pt32(2, 0, 2), pt32(2, 1, 3), pt32(0, 1, 4), pt32(9, 9, 9)};
  EXPECT_EQ(
      robot.resizeLiftFrame(frame, 0.5, false).points,
      (std::vector<geometry_msgs::msg::Point32>{
          pt32(0, 0, 1), pt32(1.3F, 0), pt32(1.3F, 1), pt32(0, 1, 4)}));
}

TEST(Polygons, TransformPointsInPlaceAndOutOfRange)
{
  BaseRobot robot;
  std::vector<cv::Point> points{{10, 0}, {0, 10}};
  robot.transformPoints(points, points, {0, 0}, 90);
  EXPECT_EQ(points, (std::vector<cv::Point>{{0, 10}, {-10, 0}}));
  const int big = std::numeric_limits<int>::max();
  std::vector<cv::Point> out{{1, 1}};
  EXPECT_THROW(robot.transformPoints({{big, big}}, out, {-big, -big}, 45), std::out_of_range);
  EXPECT_EQ(out, (std::vector<cv::Point>{{1, 1}}));  // untouched after a throw
  EXPECT_THROW(
      robot.transformPoints({{1, 1}}, out, {0, 0}, std::numeric_limits<double>::quiet_NaN()),
      std::out_of_range);
}

TEST(Polygons, MatchTheLiteralRulesOnRandomInput)
{
  BaseRobot robot;
  std::mt19937 rng(20240611U);
  std::uniform_real_distribution<float> coord(-5.0F, 5.0F);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  std::uniform_int_distribution<int> pixel(-5000, 5000);
  const auto randomPolygon = [&](size_t n, float scale) {
    geometry_msgs::msg::Polygon poly;
    for (size_t i = 0; i < n; ++i) {
      poly.points.push_back(pt32(scale * coord(rng), scale * coord(rng), coord(rng)));
    }
    return poly;
  };
  int inside = 0;
  int contained = 0;
  for (int k = 0; k < 3000; ++k) {
    std::vector<cv::Point> pixels(static_cast<size_t>(k % 17));
    for (auto & p : pixels) {
      p = {pixel(rng), pixel(rng)};
    }
    const cv::Point centre{pixel(rng) / 5, pixel(rng) / 5};
    const double angle = k < 4 ? 90.0 * k : 720.0 * unit(rng);
    std::vector<cv::Point> rotated;
    robot.transformPoints(pixels, rotated, centre, angle);
    ASSERT_EQ(rotated, literalTransformPoints(pixels, centre, angle)) << "angle " << angle;

    geometry_msgs::msg::PolygonStamped placed;
    placed.polygon = randomPolygon(k % 9, 10.0F);
    auto at = pose(1000 * unit(rng), 1000 * unit(rng));
    // Every third pose near a pitch of +-90 degrees, where tf2::getYaw and getRPY part ways.
    const double tiny = 1e-4 * unit(rng);
    at.pose.orientation = k % 3 == 0
                              ? quat(tiny, (k % 2 ? -1 : 1) * (0.7071 + tiny), tiny, 0.7071 - tiny)
                              : quat(2 * unit(rng), 2 * unit(rng), 2 * unit(rng), 2 * unit(rng));
    auto expected = placed.polygon;
    literalTranslatePolygon(expected, at.pose);
    robot.translatePolygon(placed, at);
    ASSERT_EQ(placed.polygon, expected) << k;

    auto frame = randomPolygon(4, 4.0F);
    if (k % 50 == 0) {
      frame.points[k % 100 == 0 ? 2 : 1] = frame.points[k % 100 == 0 ? 3 : 0];  // a zero side
    }
    const double depth = 5.0 * unit(rng) + 4.0;
    ASSERT_EQ(
        robot.resizeLiftFrame(frame, depth, k % 3 == 0),
        literalResizeLiftFrame(frame, depth, k % 3 == 0))
        << k;

    const auto outer = randomPolygon(k % 10, 1.0F);
    for (int t = 0; t < 10; ++t) {
      double x = 6 * unit(rng);
      double y = 6 * unit(rng);
      if (t % 3 == 0 && !outer.points.empty()) {  // near a vertex, sometimes on its row
        const auto & v = outer.points[static_cast<size_t>(t) % outer.points.size()];
        x = v.x + 0.015 * unit(rng);
        y = v.y + (t % 2 == 0 ? 0.0 : 0.015 * unit(rng));
      }
      const bool expected_inside = literalPointInPolygon(outer, x, y);
      inside += expected_inside ? 1 : 0;
      ASSERT_EQ(robot.isPointInPolygon(outer, pose(x, y).pose), expected_inside)
          << k << " " << x << " " << y;
    }
    const auto inner = randomPolygon(k % 5, 0.3F * static_cast<float>(unit(rng) + 1.0));
    const bool expected_contained = std::all_of(
        inner.points.begin(), inner.points.end(),
        [&](const auto & p) { return literalPointInPolygon(outer, p.x, p.y); });
    contained += expected_contained ? 1 : 0;
    ASSERT_EQ(robot.isPolygonContained(inner, outer), expected_contained) << k;
  }
  // The samples reach both answers.
  EXPECT_GT(inside, 1000);
  EXPECT_GT(contained, 600);
  EXPECT_LT(contained, 2700);
}

TEST(Paths, DocumentedValues)
{
  setenv("SPDLOG_LEVEL", "info", 1);
  auto capture = skelmar_test::LogCapture::attach();
  BaseRobot robot;
  nav_msgs::msg::Path path = pathAlongX({7, 8});
  robot.convertToPath({}, path);
  EXPECT_EQ(path, pathAlongX({}));
  robot.convertToPath(pathAlongX({1, 2}).poses, path);
  EXPECT_EQ(path, pathAlongX({1, 2}));

  EXPECT_EQ(robot.calpathDistance(nav_msgs::msg::Path()), 0.0);
  EXPECT_EQ(robot.calpathDistance(pathAlongX({5})), 0.0);
  path.poses = {pose(0, 0), pose(3, 4), pose(3, 5)};
  EXPECT_EQ(robot.calpathDistance(path), 6.0);

  const struct
  {
    std::vector<double> in;
    double spacing;
    std::vector<double> kept;
  } rows[] = {
      {{0, 0.4, 0.8, 1.2, 1.6, 2.0, 2.1}, 1.0, {0, 1.2, 2.1}},
      {{0, 1, 2}, 1.0, {0, 1, 2}},
      {{5}, 1.0, {5}},
      {{0, 0, 0}, 1.0, {0}},
      {{0, 0.1, 0.3, 0.7}, 0.0, {0, 0.1, 0.3, 0.7}},
  };
  nav_msgs::msg::Path out = pathAlongX({-1});
  out.header.frame_id = "stale";
  std::vector<std::string> sizes;
  for (const auto & row : rows) {
    robot.dilutePath(pathAlongX(row.in), out, row.spacing);
    EXPECT_EQ(out, pathAlongX(row.kept));
    sizes.push_back("dilution path size:" + std::to_string(row.kept.size()));
  }
  robot.dilutePath(nav_msgs::msg::Path(), out, 1.0);  // untouched, not logged
  EXPECT_EQ(out, pathAlongX(rows[4].kept));
  EXPECT_EQ(messages(capture->records()), sizes);
}

TEST(Paths, DiluteKeepsTheLiteralSubsequenceOnRandomPaths)
{
  setenv("SPDLOG_STDOUT", "false", 1);  // thousands of records: keep the console quiet
  BaseRobot robot;
  std::mt19937 rng(20240611U);
  std::uniform_real_distribution<double> step(-1.0, 1.0);
  std::uniform_real_distribution<double> spacing(-0.5, 3.0);
  for (int k = 0; k < 1000; ++k) {
    nav_msgs::msg::Path in;
    in.header.stamp.sec = k;
    double x = 0;
    for (int i = 0; i < 1 + k % 40; ++i) {
      x += i % 5 == 4 ? 0.0 : step(rng);  // some poses repeat the one before
      in.poses.push_back(pose(x, x * x));
      in.poses.back().header.stamp.nanosec = static_cast<uint32_t>(i);
    }
    const double s = spacing(rng);
    nav_msgs::msg::Path expected;
    expected.header = in.header;
    expected.poses = {in.poses[0]};
    double travelled = 0;
    for (size_t i = 1; i < in.poses.size(); ++i) {
      travelled += robot.calDistance(in.poses[i], in.poses[i - 1]);
      if (travelled >= s) {
        expected.poses.push_back(in.poses[i]);
        travelled = 0;
      }
    }
    if (travelled != 0) {
      expected.poses.push_back(in.poses.back());
    }
    nav_msgs::msg::Path out;
    robot.dilutePath(in, out, s);
    ASSERT_EQ(out, expected) << k;
    robot.dilutePath(in, in, s);  // in and out the same object
    ASSERT_EQ(in, expected) << k;
  }
}

}  // namespace
