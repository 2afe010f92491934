// BaseRobot's pose, angle, polygon and path operations: the documented values, bad input, and
// literal re-implementations of the documented rules compared on many random inputs.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <tf2/LinearMath/Matrix3x3.h>
#include <tf2/utils.h>

#include <random>
#include <regex>

#include "skelmar_nav2_tools/base_robot.hpp"
#include "support/log_capture.hpp"

namespace {

using geometry_msgs::msg::Point32;
using geometry_msgs::msg::Polygon;
using geometry_msgs::msg::PoseStamped;
using nav_msgs::msg::Path;
using ::testing::ElementsAre;
using Quat = geometry_msgs::msg::Quaternion;
constexpr double kPi = 3.141592653589793, kTwoPi = 6.283185307179586;
// The logger reads its environment once per process: quiet, and at info for the records.
[[maybe_unused]] const int kLoggerEnvironment = setenv("SPDLOG_STDOUT", "false", 1) +
                                                setenv("SPDLOG_SYSTEMD", "false", 1) +
                                                setenv("SPDLOG_LEVEL", "info", 1);

PoseStamped pose(double x, double y, double z = 0)
{
  PoseStamped p;
  p.pose.position.set__x(x).set__y(y).set__z(z);
  return p;
}
Quat quat(double x, double y, double z, double w)
{
  return Quat().set__x(x).set__y(y).set__z(z).set__w(w);
}
Point32 pt(double x, double y, float z = 0)
{
  return Point32().set__x(float(x)).set__y(float(y)).set__z(z);
}
Polygon polygon(std::initializer_list<std::array<float, 3>> points)
{
  Polygon result;
  for (const auto & [x, y, z] : points) {
    result.points.push_back(pt(x, y, z));
  }
  return result;
}

// The messages of the records, marked when not at info level.
std::vector<std::string> infos(const std::vector<skelmar_test::LogRecord> & records)
{
  std::vector<std::string> result;
  for (const auto & record : records) {
    result.push_back((record.level == spdlog::level::info ? "" : "not info: ") + record.message());
  }
  return result;
}

// Crossing test with float edge differences, then the 0.01 m vertex tolerance.
bool literalPointInPolygon(const Polygon & poly, double px, double py)
{
  const auto & P = poly.points;
  bool inside = false;
  for (size_t i = 0, j = P.size() - 1; i < P.size(); j = i++) {
    if ((P[i].y > py) != (P[j].y > py)) {
      inside ^= float(P[j].x - P[i].x) * (py - P[i].y) / float(P[j].y - P[i].y) + P[i].x > px;
    }
  }
  return inside || std::any_of(P.begin(), P.end(), [&](const auto & v) {
           return std::sqrt((v.x - px) * (v.x - px) + (v.y - py) * (v.y - py)) < 0.01;
         });
}

TEST(PoseAngle, DocumentedValuesAndTheTf2Rules)
{
  BaseRobot r;
  // The gimbal lock (a pitch of 90 degrees) gives 0, the zero quaternion NaN.
  EXPECT_EQ(r.quaternion2Yaw(quat(0, 1, 0, 1)), 0.0);
  EXPECT_TRUE(std::isnan(r.quaternion2Yaw(quat(0, 0, 0, 0))));
  std::mt19937 rng(20240611U);
  std::uniform_real_distribution<double> u(-4.0, 4.0);
  for (int k = 0; k < 1000; ++k) {
    const double a = u(rng), b = u(rng), c = u(rng), d = u(rng);
    tf2::Quaternion q;
    q.setRPY(b, c, a);  // eulerToQuaternion takes the yaw first
    ASSERT_EQ(r.eulerToQuaternion(a, b, c), quat(q.x(), q.y(), q.z(), q.w()));
    double roll = 0, pitch = 0, yaw = 0;
    tf2::Matrix3x3(tf2::Quaternion(a, b, c, d)).getRPY(roll, pitch, yaw);
    ASSERT_EQ(r.quaternion2Yaw(quat(a, b, c, d)), yaw);  // unnormalised
  }
  EXPECT_EQ(r.sqDistance(pose(0, 0, 7), pose(3, 4, -2)), 25.0);
  EXPECT_EQ(r.calDistance(pose(0, 0, 7), pose(3, 4, -2)), 5.0);
  // Points of one x give 0 without a computation, which would give NaN for (0, 0) twice.
  const auto k = [&](double x2, double y2, double x3, double y3) {
    return r.calculateCurvature(pose(0, 0), pose(x2, y2), pose(x3, y3));
  };
  EXPECT_THAT(
      (std::vector{
          k(1, 1, 2, 0), k(0, 1, 1, 0), k(2, 2, 4, 0), k(1, 2, 3, 1), k(1, 0, 2, 0),
          k(0, 0, 0, 5)}),
      ::testing::Pointwise(
          ::testing::DoubleNear(1e-12), {1.0, std::sqrt(2.0), 0.5, 2 / std::sqrt(10.0), 0.0, 0.0}));
  EXPECT_TRUE(std::isnan(k(0, 0, 1, 0)));
}

TEST(PoseAngle, DelAngleReturnsForNonFiniteInput)
{
  const double inf = INFINITY, nan = NAN, big = std::numeric_limits<double>::max();
  // Infinite, NaN, or a difference that overflows.
  for (const auto & [a, b] :
       {std::pair{inf, 0.0}, {0, inf}, {-inf, 1}, {nan, 0}, {0, nan}, {big, -big}}) {
    EXPECT_TRUE(std::isnan(BaseRobot().calDelAngle(a, b))) << a << " " << b;
  }
}

TEST(PoseAngle, DelAngleRangeAndCongruenceForAnyFiniteInput)
{
  BaseRobot r;
  EXPECT_EQ(r.calDelAngle(-kPi, 0), kPi);  // -pi comes back as +pi
  EXPECT_EQ(r.calDelAngle(0, kPi), kPi);
  std::mt19937 rng(20240611U);
  // Below a million: the stepwise reduction itself, to the bit.
  std::uniform_real_distribution<double> small(-20.0, 20.0), wide(-999999.0, 999999.0);
  for (int k = 0; k < 20000; ++k) {
    const double a = k % 100 == 0 ? wide(rng) : small(rng), b = k % 100 == 0 ? 0.0 : small(rng);
    double d = a - b;
    while (d > kPi || d <= -kPi) {
      d += d > kPi ? -kTwoPi : kTwoPi;
    }
    ASSERT_EQ(r.calDelAngle(a, b), d) << a << " " << b;
  }
  // Any magnitude: in range, and a whole number of turns away up to the rounding of each
  // step below 1e6 (half an ulp of d per turn) and of the one remainder above.
  std::uniform_real_distribution<double> exponent(-3.0, 300.0);
  for (int k = 0; k < 5000; ++k) {
    const double d = (k % 2 == 0 ? -1.0 : 1.0) * std::pow(10.0, exponent(rng));
    const double res = r.calDelAngle(d, 0.0), ad = std::fabs(d);
    ASSERT_TRUE(res > -kPi && res <= kPi) << d;
    const double ulp = std::nextafter(ad, INFINITY) - ad;
    const double tolerance = ad < 1e6 ? (ad / kTwoPi + 1.0) * ulp : ad * 1e-15;
    EXPECT_NEAR(std::remainder(d - res, kTwoPi), 0.0, std::max(1e-12, tolerance)) << d;
  }
}

TEST(PoseAngle, UuidsAndPrintPose)
{
  const std::regex v4("[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}");
  const std::string a = BaseRobot().generateUuid(), b = BaseRobot().generateUuid();
  EXPECT_TRUE(std::regex_match(a, v4) && std::regex_match(b, v4) && a != b) << a << " " << b;

  // Four records, numbers in their shortest form; the text is not a format.
  auto capture = skelmar_test::LogCapture::attach();
  PoseStamped p = pose(0.25, -1.5, 3);
  p.pose.orientation = quat(0, 0, 0.6, 0.8);
  BaseRobot().printPose(p, " spaced {} text ");
  EXPECT_THAT(
      infos(capture->records()),
      ElementsAre(
          "info:  spaced {} text ", "point is 0.25;-1.5;3", "orientation is 0;0;0.6;0.8",
          fmt::format("yaw is {}", BaseRobot().quaternion2Yaw(p.pose.orientation))));
}

TEST(Polygons, DocumentedValues)
{
  BaseRobot r;
  geometry_msgs::msg::PolygonStamped out;
  const std::vector footprint{geometry_msgs::msg::Point().set__x(1).set__y(2).set__z(5)};
  r.transformFootprint(1, 2, kPi / 2, footprint, out);
  EXPECT_EQ(out.polygon, polygon({{-1, 3}}));
  r.transformFootprint(1e7, 0, 0, footprint, out);
  EXPECT_EQ(out.polygon, polygon({{1e7 + 1, 2}}));

  // Closer than 0.01 to a vertex counts; empty polygons contain nothing.
  const auto dot = polygon({{3, 3}}), square = polygon({{0, 0}, {1, 0}, {1, 1}, {0, 1}});
  const auto in = [&](const Polygon & poly, double x) {
    return r.isPointInPolygon(poly, pose(x, 3).pose);
  };
  EXPECT_TRUE(in(dot, 3.009) && !in(dot, 3.011) && !in(Polygon(), 3));
  // Only vertices count: an edge across the gap of a U between two contained vertices passes.
  const auto u = polygon({{0, 0}, {3, 0}, {3, 3}, {2, 3}, {2, 1}, {1, 1}, {1, 3}, {0, 3}});
  EXPECT_TRUE(r.isPolygonContained(polygon({{0.5, 2}, {2.5, 2}}), u));
  EXPECT_TRUE(r.isPolygonContained(Polygon(), square) && !r.isPolygonContained(u, square));
}

TEST(Polygons, ResizeLiftFrameInputLimits)
{
  for (size_t n = 0; n < 4; ++n) {
    const Polygon frame = Polygon().set__points(std::vector<Point32>(n));
    EXPECT_THROW(BaseRobot().resizeLiftFrame(frame, 0.5, false), std::invalid_argument) << n;
  }
  // Extra points are ignored; P0 and P3 keep their z, the moved corners get z = 0.
  const auto frame = polygon({{0, 0, 1}, {2, 0, 2}, {2, 1, 3}, {0, 1, 4}, {9, 9, 9}});
  EXPECT_EQ(
      BaseRobot().resizeLiftFrame(frame, 0.5, false),
      polygon({{0, 0, 1}, {1.3, 0}, {1.3, 1}, {0, 1, 4}}));
}

TEST(Polygons, TransformPointsInPlaceAndOutOfRange)
{
  BaseRobot r;
  std::vector<cv::Point> points{{10, 0}, {0, 10}};
  r.transformPoints(points, points, {0, 0}, 90);
  EXPECT_EQ(points, (std::vector<cv::Point>{{0, 10}, {-10, 0}}));
  // Beyond int, or NaN: refused, the output untouched.
  const int big = std::numeric_limits<int>::max();
  EXPECT_THROW(r.transformPoints({{big, big}}, points, {-big, -big}, 45), std::out_of_range);
  EXPECT_THROW(r.transformPoints({{1, 1}}, points, {0, 0}, NAN), std::out_of_range);
  EXPECT_EQ(points, (std::vector<cv::Point>{{0, 10}, {-10, 0}}));
}

TEST(Polygons, MatchTheLiteralRulesOnRandomInput)
{
  BaseRobot r;
  std::mt19937 rng(20240611U);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  const auto u = [&](double scale) { return scale * unit(rng); };
  const auto randomPolygon = [&](size_t n, double scale) {
    Polygon poly;
    while (poly.points.size() < n) {
      poly.points.push_back(Point32().set__x(float(u(scale))).set__y(float(u(scale))).set__z(1));
    }
    return poly;
  };
  const auto length = [](double x, double y) { return std::sqrt(x * x + y * y); };
  int inside = 0, contained = 0;
  for (int k = 0; k < 3000; ++k) {
    // Image points: single precision throughout, truncated toward zero.
    std::vector<cv::Point> pixels(size_t(k % 17)), turned{{1, 1}}, expected;
    const cv::Point c{int(u(1000)), int(u(1000))};
    const double angle = k < 4 ? 90.0 * k : u(720);
    const float a = float(angle * kPi / 180.0), cx = float(c.x), cy = float(c.y);
    for (auto & p : pixels) {
      p = {int(u(5000)), int(u(5000))};
      const float dx = float(p.x) - cx, dy = float(p.y) - cy;
      expected.emplace_back(
          int(dx * std::cos(a) - dy * std::sin(a) + cx),
          int(dx * std::sin(a) + dy * std::cos(a) + cy));
    }
    r.transformPoints(pixels, turned, c, angle);
    ASSERT_EQ(turned, expected);

    // Turned by tf2::getYaw, then moved, each pass stored as float. Every third pose lies near
    // a pitch of +-90 degrees, where tf2::getYaw and getRPY part ways.
    geometry_msgs::msg::PolygonStamped placed;
    placed.polygon = randomPolygon(k % 9, 50);
    auto at = pose(u(1000), u(1000));
    const double tiny = u(1e-4), s = k % 2 ? -1 : 1;
    at.pose.orientation = k % 3 == 0 ? quat(tiny, s * (0.7071 + tiny), tiny, 0.7071 - tiny)
                                     : quat(u(2), u(2), u(2), u(2));
    const auto & q = at.pose.orientation;
    const double yaw = tf2::getYaw(tf2::Quaternion(q.x, q.y, q.z, q.w));
    auto moved = placed.polygon;
    for (auto & p : moved.points) {
      const auto t =
          pt(p.x * std::cos(yaw) - p.y * std::sin(yaw), p.x * std::sin(yaw) + p.y * std::cos(yaw));
      p = pt(t.x + at.pose.position.x, t.y + at.pose.position.y, p.z);
    }
    r.translatePolygon(placed, at);
    ASSERT_EQ(placed.polygon, moved) << k;

    // Corners moved along float sides taken as doubles; a zero side keeps its corner.
    auto f = randomPolygon(4, 20);
    if (k % 50 == 0) {
      f.points[k % 100 == 0 ? 2 : 1] = f.points[k % 100 == 0 ? 3 : 0];
    }
    const auto & P = f.points;
    const double depth = u(5) + 4, e23x = float(P[3].x - P[2].x), e23y = float(P[3].y - P[2].y);
    const double e10x = float(P[0].x - P[1].x), e10y = float(P[0].y - P[1].y);
    const double l23 = length(e23x, e23y), l10 = length(e10x, e10y);
    const double shift = k % 3 == 0 ? -4.0 : std::min(l23 - 0.1, depth + 0.2);
    const auto corner = [&](const Point32 & p, double ex, double ey, double l) {
      return l > 0 ? pt(p.x + shift * (ex / l), p.y + shift * (ey / l)) : pt(p.x, p.y);
    };
    ASSERT_EQ(
        r.resizeLiftFrame(f, depth, k % 3 == 0).points,
        (std::vector{P[0], corner(P[1], e10x, e10y, l10), corner(P[2], e23x, e23y, l23), P[3]}))
        << k;

    const auto outer = randomPolygon(k % 10, 5);
    for (int t = 0; t < 10; ++t) {
      double x = u(6), y = u(6);
      if (t % 3 == 0 && !outer.points.empty()) {  // near a vertex, sometimes on its row
        const auto & v = outer.points[size_t(t) % outer.points.size()];
        x = v.x + u(0.015);
        y = v.y + (t % 2 == 0 ? 0.0 : u(0.015));
      }
      const bool expected_in = literalPointInPolygon(outer, x, y);
      inside += expected_in;
      ASSERT_EQ(r.isPointInPolygon(outer, pose(x, y).pose), expected_in)
          << k << " " << x << " " << y;
    }
    const auto inner = randomPolygon(k % 5, 1.5 * (unit(rng) + 1.0));
    const bool in = std::all_of(inner.points.begin(), inner.points.end(), [&](const auto & p) {
      return literalPointInPolygon(outer, p.x, p.y);
    });
    contained += in;
    ASSERT_EQ(r.isPolygonContained(inner, outer), in) << k;
  }
  // The samples reach both answers.
  EXPECT_GT(inside, 1000);
  EXPECT_TRUE(contained > 800 && contained < 2700) << contained;
}

TEST(Paths, DocumentedValuesAndDilutionOfRandomPaths)
{
  auto capture = skelmar_test::LogCapture::attach();
  BaseRobot r;
  Path path, copy;
  path.poses = {pose(0, 0), pose(3, 4, 1), pose(3, 5)};
  r.convertToPath(path.poses, copy);
  EXPECT_EQ(copy, path);
  EXPECT_EQ(r.calpathDistance(path), 6.0);
  EXPECT_EQ(r.calpathDistance(Path()) + r.calpathDistance(Path().set__poses({pose(5, 0)})), 0.0);
  r.dilutePath(Path(), copy, 1.0);  // untouched, not logged
  EXPECT_EQ(copy, path);
  EXPECT_TRUE(capture->take().empty());

  // Kept: the first pose, each at which the length since the last kept one reaches the
  // spacing, and the last unless that length is exactly 0 there; in and out may be one path.
  std::mt19937 rng(20240611U);
  std::uniform_real_distribution<double> step(-1.0, 1.0), spacing(-0.5, 3.0);
  for (int k = 0; k < 1000; ++k) {
    Path in, expected, out = path;
    in.header.stamp.sec = k;
    const bool whole = k % 4 == 0;  // whole steps and spacings meet the spacing exactly
    double x = 0;
    for (int i = 0; i < 1 + k % 40; ++i) {
      x += i % 5 == 4 ? 0.0 : whole ? std::round(2 * step(rng)) : step(rng);  // repeats, too
      in.poses.push_back(pose(x, whole ? 0.0 : x * x));
      in.poses.back().header.stamp.nanosec = uint32_t(i);
    }
    const double s = whole ? std::round(spacing(rng)) : spacing(rng);
    expected.set__header(in.header).poses = {in.poses[0]};
    double travelled = 0;
    for (size_t i = 1; i < in.poses.size(); ++i) {
      travelled += r.calDistance(in.poses[i], in.poses[i - 1]);
      if (travelled >= s) {
        expected.poses.push_back(in.poses[i]);
        travelled = 0;
      }
    }
    if (travelled != 0) {
      expected.poses.push_back(in.poses.back());
    }
    r.dilutePath(in, k % 2 ? in : out, s);
    ASSERT_EQ(k % 2 ? in : out, expected) << k;
    ASSERT_THAT(
        infos(capture->take()),
        ElementsAre(fmt::format("dilution path size:{}", expected.poses.size())));
  }
}

}  // namespace
