// BaseRobot's pose, angle, polygon and path operations: the documented values, bad input, and
// literal re-implementations of the documented rules compared on many random inputs.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <tf2/LinearMath/Matrix3x3.h>
#include <tf2/utils.h>

#include <random>
#include <regex>
#include <set>

#include "skelmar_nav2_tools/base_robot.hpp"
#include "support/log_capture.hpp"

namespace {

using geometry_msgs::msg::Point32;
using geometry_msgs::msg::Polygon;
using geometry_msgs::msg::PoseStamped;
using nav_msgs::msg::Path;
using ::testing::DoubleNear;
using ::testing::Pointwise;
using Quat = geometry_msgs::msg::Quaternion;
constexpr double kPi = 3.141592653589793, kTwoPi = 6.283185307179586;
const double kH = std::sqrt(2.0) / 2.0;
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

// The messages of records at info level, checking that they are numbered one after another.
std::vector<std::string> messages(const std::vector<skelmar_test::LogRecord> & records)
{
  std::vector<std::string> result;
  for (size_t i = 0; i < records.size(); ++i) {
    EXPECT_EQ(std::stoi(records[i].payload), (std::stoi(records[0].payload) + int(i)) % 128);
    EXPECT_EQ(records[i].level, spdlog::level::info);
    result.push_back(records[i].message());
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
  const auto yaw = [&](double x, double y, double z, double w) {
    return r.quaternion2Yaw(quat(x, y, z, w));
  };
  // Unnormalised quaternions count; the gimbal lock (a pitch of 90 degrees) gives 0.
  EXPECT_THAT(
      (std::vector{yaw(0, 0, 0, 1), yaw(0, 0, kH, kH), yaw(0, 0, 2, 2), yaw(0, 1, 0, 1)}),
      Pointwise(DoubleNear(1e-12), {0.0, kPi / 2, kPi / 2, 0.0}));
  EXPECT_TRUE(std::isnan(yaw(0, 0, 0, 0)));
  std::mt19937 rng(20240611U);
  std::uniform_real_distribution<double> u(-4.0, 4.0);
  for (int k = 0; k < 1000; ++k) {
    const double a = u(rng), b = u(rng), c = u(rng), d = u(rng);
    tf2::Quaternion q;
    q.setRPY(b, c, a);  // eulerToQuaternion takes the yaw first
    ASSERT_EQ(r.eulerToQuaternion(a, b, c), quat(q.x(), q.y(), q.z(), q.w()));
    double roll = 0, pitch = 0, y = 0;
    tf2::Matrix3x3(tf2::Quaternion(a, b, c, d)).getRPY(roll, pitch, y);
    ASSERT_EQ(yaw(a, b, c, d), y);
  }

  // -pi comes back as +pi.
  EXPECT_THAT(
      (std::vector{
          r.calDelAngle(0, kPi), r.calDelAngle(kPi, 0), r.calDelAngle(-kPi, 0),
          r.calDelAngle(0.1, 6.2)}),
      ::testing::ElementsAre(kPi, kPi, kPi, 0.1 - 6.2 + kTwoPi));
  EXPECT_NEAR(r.calDelAngle(7 * kPi, 0), kPi, 1e-12);
  EXPECT_EQ(r.sqDistance(pose(0, 0, 7), pose(3, 4, -2)), 25.0);
  EXPECT_EQ(r.calDistance(pose(0, 0, 7), pose(3, 4, -2)), 5.0);
  // Points of one x give 0 without a computation, which would give NaN for (0, 0) twice.
  const auto k = [&](double x2, double y2, double x3, double y3) {
    return r.calculateCurvature(pose(0, 0), pose(x2, y2), pose(x3, y3));
  };
  EXPECT_THAT(
      (std::vector{
          k(1, 1, 2, 0), k(1, -1, 2, 0), k(2, 2, 4, 0), k(1, 2, 3, 1), k(1, 0, 2, 0),
          k(0, 0, 0, 5)}),
      Pointwise(DoubleNear(1e-12), {1.0, 1.0, 0.5, 2 / std::sqrt(10.0), 0.0, 0.0}));
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
  std::set<std::string> seen;
  const std::regex v4("[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}");
  for (int k = 0; k < 200; ++k) {
    EXPECT_TRUE(std::regex_match(*seen.insert(BaseRobot().generateUuid()).first, v4));
  }
  EXPECT_EQ(seen.size(), 200U);

  // Four numbered records per pose, numbers in their shortest form; no header, and the text
  // is not a format.
  auto capture = skelmar_test::LogCapture::attach();
  BaseRobot r;
  PoseStamped p = pose(1, 2);
  p.header.frame_id = "not printed";
  r.printPose(p, "start");
  p.pose.position.set__x(0.25).set__y(-1.5).set__z(3);
  p.pose.orientation = quat(0, 0, kH, kH);
  r.printPose(p, " spaced {} text ");
  const std::string h = fmt::format("{}", kH);
  EXPECT_THAT(
      messages(capture->records()),
      ::testing::ElementsAre(
          "info: start", "point is 1;2;0", "orientation is 0;0;0;1", "yaw is 0",
          "info:  spaced {} text ", "point is 0.25;-1.5;3", "orientation is 0;0;" + h + ";" + h,
          fmt::format("yaw is {}", r.quaternion2Yaw(p.pose.orientation))));
}

TEST(Polygons, DocumentedValues)
{
  BaseRobot r;
  geometry_msgs::msg::PolygonStamped out;
  out.header.frame_id = "map";
  const std::vector footprint{geometry_msgs::msg::Point().set__x(1).set__y(2).set__z(5)};
  r.transformFootprint(1, 2, kPi / 2, footprint, out);
  EXPECT_EQ(out.polygon, polygon({{-1, 3}}));
  r.transformFootprint(1e7, 0, 0, footprint, out);
  EXPECT_EQ(out.polygon, polygon({{1e7 + 1, 2}}));
  r.transformFootprint(1, 2, 0.3, {}, out);
  EXPECT_TRUE(out.polygon.points.empty());
  std::vector<cv::Point> points;
  r.transformPoints({{10, 0}}, points, {0, 0}, 90);
  EXPECT_EQ(points, (std::vector<cv::Point>{{0, 10}}));
  r.transformPoints({{10, 0}}, points, {0, 0}, 30);
  EXPECT_EQ(points, (std::vector<cv::Point>{{8, 5}}));  // truncated, not rounded
  out.polygon = polygon({{1, 0}, {0.5, -2, 7}});
  r.translatePolygon(out, pose(3, 4, 9));  // the identity orientation only moves
  EXPECT_EQ(out.polygon, polygon({{4, 4}, {3.5, 2, 7}}));
  EXPECT_EQ(out.header.frame_id, "map");

  const auto frame = polygon({{0, 0}, {2, 0}, {2, 1}, {0, 1}});
  EXPECT_EQ(r.resizeLiftFrame(frame, 0.5, false), polygon({{0, 0}, {1.3, 0}, {1.3, 1}, {0, 1}}));
  EXPECT_EQ(r.resizeLiftFrame(frame, 5, false), polygon({{0, 0}, {0.1, 0}, {0.1, 1}, {0, 1}}));
  EXPECT_EQ(r.resizeLiftFrame(frame, 0.5, true), polygon({{0, 0}, {6, 0}, {6, 1}, {0, 1}}));

  // Inside by crossing or closer than 0.01 to a vertex; empty polygons contain nothing.
  const auto square = polygon({{0, 0}, {1, 0}, {1, 1}, {0, 1}}), dot = polygon({{3, 3}});
  const auto in = [&](const Polygon & poly, double x, double y) {
    return r.isPointInPolygon(poly, pose(x, y).pose);
  };
  EXPECT_THAT(
      (std::vector{
          in(square, 0.5, 0.5), in(square, 2, 2), in(square, 1.005, 1), in(square, 1.02, 0.5),
          in(Polygon(), 0, 0), in(dot, 3.009, 3), in(dot, 3.011, 3)}),
      ::testing::ElementsAre(true, false, true, false, false, true, false));
  const auto big = polygon({{0, 0}, {10, 0}, {10, 10}, {0, 10}});
  EXPECT_TRUE(r.isPolygonContained(square, big) && r.isPolygonContained(Polygon(), square));
  EXPECT_FALSE(r.isPolygonContained(big, square));
  // Only vertices count: an edge across the gap of a U between two contained vertices passes.
  const auto u = polygon({{0, 0}, {3, 0}, {3, 3}, {2, 3}, {2, 1}, {1, 1}, {1, 3}, {0, 3}});
  EXPECT_TRUE(r.isPolygonContained(polygon({{0.5, 2}, {2.5, 2}}), u));
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
  std::uniform_real_distribution<float> coord(-5.0F, 5.0F);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  std::uniform_int_distribution<int> pixel(-5000, 5000);
  const auto randomPolygon = [&](size_t n, float scale) {
    Polygon poly;
    for (size_t i = 0; i < n; ++i) {
      poly.points.push_back(pt(scale * coord(rng), scale * coord(rng), coord(rng)));
    }
    return poly;
  };
  int inside = 0, contained = 0;
  for (int k = 0; k < 3000; ++k) {
    // Image points: single precision throughout, truncated toward zero.
    std::vector<cv::Point> pixels(size_t(k % 17)), turned{{1, 1}};
    for (auto & p : pixels) {
      p = {pixel(rng), pixel(rng)};
    }
    const cv::Point c{pixel(rng) / 5, pixel(rng) / 5};
    const double angle = k < 4 ? 90.0 * k : 720.0 * unit(rng);
    r.transformPoints(pixels, turned, c, angle);
    ASSERT_EQ(turned.size(), pixels.size());
    const float a = float(angle * kPi / 180.0), cx = float(c.x), cy = float(c.y);
    for (size_t i = 0; i < pixels.size(); ++i) {
      const float dx = float(pixels[i].x) - cx, dy = float(pixels[i].y) - cy;
      const float nx = dx * std::cos(a) - dy * std::sin(a) + cx;
      ASSERT_EQ(turned[i], cv::Point(int(nx), int(dx * std::sin(a) + dy * std::cos(a) + cy)));
    }

    // Turned by tf2::getYaw, then moved, each pass stored as float. Every third pose lies near
    // a pitch of +-90 degrees, where tf2::getYaw and getRPY part ways.
    geometry_msgs::msg::PolygonStamped placed;
    placed.polygon = randomPolygon(k % 9, 10.0F);
    auto at = pose(1000 * unit(rng), 1000 * unit(rng));
    const double tiny = 1e-4 * unit(rng), s = k % 2 ? -1 : 1;
    at.pose.orientation = k % 3 == 0
                              ? quat(tiny, s * (0.7071 + tiny), tiny, 0.7071 - tiny)
                              : quat(2 * unit(rng), 2 * unit(rng), 2 * unit(rng), 2 * unit(rng));
    auto expected = placed.polygon;
    const auto & q = at.pose.orientation;
    const double yaw = tf2::getYaw(tf2::Quaternion(q.x, q.y, q.z, q.w));
    const double cos_yaw = std::cos(yaw), sin_yaw = std::sin(yaw);
    for (auto & p : expected.points) {
      p = pt(p.x * cos_yaw - p.y * sin_yaw, p.x * sin_yaw + p.y * cos_yaw, p.z);
    }
    for (auto & p : expected.points) {
      p = pt(p.x + at.pose.position.x, p.y + at.pose.position.y, p.z);
    }
    r.translatePolygon(placed, at);
    ASSERT_EQ(placed.polygon, expected) << k;

    // Corners moved along float sides taken as doubles; a zero side keeps its corner.
    auto f = randomPolygon(4, 4.0F);
    if (k % 50 == 0) {
      f.points[k % 100 == 0 ? 2 : 1] = f.points[k % 100 == 0 ? 3 : 0];
    }
    const auto & P = f.points;
    const double depth = 5.0 * unit(rng) + 4.0, e23x = float(P[3].x - P[2].x);
    const double e23y = float(P[3].y - P[2].y), l23 = std::sqrt(e23x * e23x + e23y * e23y);
    const double e10x = float(P[0].x - P[1].x), e10y = float(P[0].y - P[1].y);
    const double l10 = std::sqrt(e10x * e10x + e10y * e10y);
    const double shift = k % 3 == 0 ? -4.0 : std::min(l23 - 0.1, depth + 0.2);
    const auto moved = [&](const Point32 & p, double ex, double ey, double l) {
      return l > 0 ? pt(p.x + shift * (ex / l), p.y + shift * (ey / l)) : pt(p.x, p.y);
    };
    ASSERT_EQ(
        r.resizeLiftFrame(f, depth, k % 3 == 0).points,
        (std::vector{P[0], moved(P[1], e10x, e10y, l10), moved(P[2], e23x, e23y, l23), P[3]}))
        << k;

    const auto outer = randomPolygon(k % 10, 1.0F);
    for (int t = 0; t < 10; ++t) {
      double x = 6 * unit(rng), y = 6 * unit(rng);
      if (t % 3 == 0 && !outer.points.empty()) {  // near a vertex, sometimes on its row
        const auto & v = outer.points[size_t(t) % outer.points.size()];
        x = v.x + 0.015 * unit(rng);
        y = v.y + (t % 2 == 0 ? 0.0 : 0.015 * unit(rng));
      }
      inside += literalPointInPolygon(outer, x, y);
      ASSERT_EQ(r.isPointInPolygon(outer, pose(x, y).pose), literalPointInPolygon(outer, x, y))
          << k << " " << x << " " << y;
    }
    const auto inner = randomPolygon(k % 5, 0.3F * float(unit(rng) + 1.0));
    const bool in = std::all_of(inner.points.begin(), inner.points.end(), [&](const auto & p) {
      return literalPointInPolygon(outer, p.x, p.y);
    });
    contained += in;
    ASSERT_EQ(r.isPolygonContained(inner, outer), in) << k;
  }
  // The samples reach both answers.
  EXPECT_GT(inside, 1000);
  EXPECT_TRUE(contained > 600 && contained < 2700) << contained;
}

TEST(Paths, DocumentedValuesAndDilutionOfRandomPaths)
{
  auto capture = skelmar_test::LogCapture::attach();
  BaseRobot r;
  const auto along_x = [](std::vector<double> xs) {
    Path path;
    path.header.set__frame_id("map").stamp.sec = 42;
    for (double x : xs) {
      path.poses.push_back(pose(x, 0));
    }
    return path;
  };
  Path path = along_x({7, 8});
  r.convertToPath({}, path);
  EXPECT_EQ(path, along_x({}));
  r.convertToPath(along_x({1, 2}).poses, path);
  EXPECT_EQ(path, along_x({1, 2}));
  EXPECT_EQ(r.calpathDistance(Path()) + r.calpathDistance(along_x({5})), 0.0);
  EXPECT_EQ(r.calpathDistance(Path().set__poses({pose(0, 0), pose(3, 4), pose(3, 5)})), 6.0);
  // Kept: the first pose, each at which the length since the last kept one reaches the
  // spacing, and the last unless that length is exactly 0 there.
  const std::tuple<std::vector<double>, double, std::vector<double>> rows[] = {
      {{0, 0.4, 0.8, 1.2, 1.6, 2.0, 2.1}, 1, {0, 1.2, 2.1}},
      {{0, 1, 2}, 1, {0, 1, 2}},
      {{5}, 1, {5}},
      {{0, 0, 0}, 1, {0}},
      {{0, 0.1, 0.7}, 0, {0, 0.1, 0.7}}};
  for (const auto & [in, spacing, kept] : rows) {
    r.dilutePath(along_x(in), path, spacing);
    EXPECT_EQ(path, along_x(kept));
    EXPECT_THAT(
        messages(capture->take()),
        ::testing::ElementsAre(fmt::format("dilution path size:{}", kept.size())));
  }
  r.dilutePath(Path(), path, 1.0);  // untouched, not logged
  EXPECT_EQ(path, along_x({0, 0.1, 0.7}));
  EXPECT_TRUE(capture->take().empty());

  // The same rule on random paths; in and out may be one path.
  std::mt19937 rng(20240611U);
  std::uniform_real_distribution<double> step(-1.0, 1.0), spacing(-0.5, 3.0);
  for (int k = 0; k < 1000; ++k) {
    Path in, expected, out = along_x({9});
    in.header.stamp.sec = k;
    double x = 0;
    for (int i = 0; i < 1 + k % 40; ++i) {
      x += i % 5 == 4 ? 0.0 : step(rng);  // some poses repeat the one before
      in.poses.push_back(pose(x, x * x));
      in.poses.back().header.stamp.nanosec = uint32_t(i);
    }
    const double s = spacing(rng);
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
        messages(capture->take()),
        ::testing::ElementsAre(fmt::format("dilution path size:{}", expected.poses.size())));
  }
}

}  // namespace
