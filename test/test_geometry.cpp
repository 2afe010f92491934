// BaseRobot's geometry: documented values, bad input, and the literal rules on random input.

#include <gmock/gmock.h>
#include <tf2/utils.h>

#include <random>

#include "skelmar_nav2_tools/base_robot.hpp"
#include "support/log_capture.hpp"

namespace {

using geometry_msgs::msg::Point32;
using geometry_msgs::msg::Polygon;
using geometry_msgs::msg::PoseStamped;
using nav_msgs::msg::Path;
constexpr double kPi = 3.141592653589793, kTwoPi = 6.283185307179586;

PoseStamped pose(double x, double y, double z = 0)
{
  PoseStamped p;
  p.pose.position.set__x(x).set__y(y).set__z(z);
  return p;
}
geometry_msgs::msg::Quaternion quat(double x, double y, double z, double w)
{
  return geometry_msgs::msg::Quaternion().set__x(x).set__y(y).set__z(z).set__w(w);
}
Point32 pt(double x, double y, float z = 0)
{
  return Point32().set__x(float(x)).set__y(float(y)).set__z(z);
}
// Crossing test with float edge differences, then the 0.01 m vertex tolerance.
bool literalPointInPolygon(const Polygon & poly, double px, double py)
{
  const auto & P = poly.points;
  bool inside = false;
  for (size_t i = 0, j = P.size() - 1; i < P.size(); j = i++) {
    inside ^= (P[i].y > py) != (P[j].y > py) &&
              float(P[j].x - P[i].x) * (py - P[i].y) / float(P[j].y - P[i].y) + P[i].x > px;
  }
  return inside || std::any_of(P.begin(), P.end(), [&](const auto & v) {
           return std::sqrt((v.x - px) * (v.x - px) + (v.y - py) * (v.y - py)) < 0.01;
         });
}

TEST(BaseRobot, DocumentedValuesAndRecords)
{
  BaseRobot r;
  auto capture = skelmar_test::LogCapture::attach();
  // Yaw first, then roll and pitch; at the gimbal lock the yaw is 0, of no rotation NaN.
  EXPECT_EQ(r.eulerToQuaternion(0.6, 0, 0), quat(0, 0, std::sin(0.3), std::cos(0.3)));
  EXPECT_EQ(r.eulerToQuaternion(0, 0.6, 0), quat(std::sin(0.3), 0, 0, std::cos(0.3)));
  EXPECT_EQ(r.quaternion2Yaw(quat(0, 1, 0, 1)), 0.0);
  EXPECT_TRUE(std::isnan(r.quaternion2Yaw(quat(0, 0, 0, 0))));
  EXPECT_EQ(r.sqDistance(pose(0, 0, 7), pose(3, 4, -2)), 25.0);
  // Points of one x give 0 without a computation, which would give NaN for (0, 0) twice.
  const auto k = [&](double x2, double y2, double x3, double y3) {
    return r.calculateCurvature(pose(0, 0), pose(x2, y2), pose(x3, y3));
  };
  EXPECT_THAT(
      (std::vector{k(1, 1, 2, 0), k(0, 1, 1, 0), k(1, 2, 3, 1), k(1, 0, 2, 0), k(0, 0, 0, 5)}),
      ::testing::Pointwise(
          ::testing::DoubleNear(1e-12), {1.0, std::sqrt(2.0), 2 / std::sqrt(10.0), 0.0, 0.0}));
  EXPECT_TRUE(std::isnan(k(0, 0, 1, 0)));
  auto out = geometry_msgs::msg::PolygonStamped().set__polygon(Polygon().set__points({pt(9, 9)}));
  r.transformFootprint(1e7, 0, kPi / 2, {geometry_msgs::msg::Point().set__x(1).set__y(2)}, out);
  EXPECT_EQ(out.polygon.points, std::vector{pt(1e7 - 2, 1)});  // replaced, stored as float
  Path path = Path().set__poses({pose(0, 0), pose(3, 4, 1), pose(3, 5)}), diluted;
  EXPECT_EQ(r.calpathDistance(path), 6.0);  // z ignored
  EXPECT_EQ(r.calpathDistance(Path()) + r.calpathDistance(Path().set__poses({pose(5, 0)})), 0.0);
  // Kept: the first pose, each at which the length since the last kept one reaches the spacing
  // (exactly, too), and the last unless that length is exactly 0 there; in and out may be one.
  path.header.frame_id = "map";
  path.poses = {pose(0, 0), pose(1, 0), pose(1.5, 0), pose(2, 0), pose(2, 0), pose(2.5, 0)};
  r.dilutePath(path, diluted, 1.0);
  const auto & p = path.poses;
  EXPECT_EQ(diluted, Path().set__header(path.header).set__poses({p[0], p[1], p[3], p[5]}));
  path.poses.resize(5);
  r.dilutePath(path, path, 1.0);
  r.dilutePath(Path(), path, 1.0);  // an empty path changes nothing and logs nothing
  EXPECT_EQ(path.poses, (std::vector{diluted.poses[0], diluted.poses[1], diluted.poses[2]}));
  // All at info, numbers in their shortest form; printPose's text is not a format.
  PoseStamped printed = pose(0.25, -1.5, 3);
  printed.pose.orientation = quat(0, 0, 1, 0);
  r.printPose(printed, " spaced {} text ");
  std::string records;
  for (const auto & record : capture->take()) {
    records += (record.level == spdlog::level::info ? "" : "not info: ") + record.message() + '|';
  }
  EXPECT_EQ(
      records,
      "dilution path size:4|dilution path size:3|info:  spaced {} text |point is "
      "0.25;-1.5;3|orientation is 0;0;1;0|yaw is 3.141592653589793|");
}

TEST(PoseAngle, DelAngleInRangeAndCongruentForFiniteInputAndNaNOtherwise)
{
  BaseRobot r;
  EXPECT_TRUE(r.calDelAngle(-kPi, 0) == kPi && r.calDelAngle(0, kPi) == kPi);  // never -pi
  const double inf = INFINITY, nan = NAN, max = std::numeric_limits<double>::max();
  for (auto [a, b] : {std::pair{inf, 0.0}, {0, inf}, {-inf, 1}, {nan, 0}, {0, nan}, {max, -max}}) {
    EXPECT_TRUE(std::isnan(r.calDelAngle(a, b))) << a << " " << b;  // no difference to reduce
  }
  std::mt19937 rng(20240611U);
  std::uniform_real_distribution<> small(-20.0, 20.0), wide(-999999.0, 999999.0), exponent(-3, 300);
  for (int k = 0; k < 20000; ++k) {
    const double a = k % 100 == 0 ? wide(rng) : small(rng), b = k % 100 == 0 ? 0.0 : small(rng);
    double d = a - b;
    while (d > kPi || d <= -kPi) {
      d += d > kPi ? -kTwoPi : kTwoPi;
    }
    ASSERT_EQ(r.calDelAngle(a, b), d) << a << " " << b;  // below a million: stepwise, to the bit
    // Any magnitude: in range, whole turns away up to the rounding of each step or remainder.
    const double e = (k % 2 == 0 ? -1.0 : 1.0) * std::pow(10.0, exponent(rng)), ae = std::fabs(e);
    const double res = r.calDelAngle(e, 0.0), ulp = std::nextafter(ae, INFINITY) - ae;
    ASSERT_TRUE(res > -kPi && res <= kPi) << e;
    const double tolerance = ae < 1e6 ? (ae / kTwoPi + 1.0) * ulp : ae * 1e-15;
    ASSERT_NEAR(std::remainder(e - res, kTwoPi), 0.0, std::max(1e-12, tolerance)) << e;
  }
}

TEST(Polygons, TransformPointsInPlaceAndOutOfRange)
{
  BaseRobot r;
  // Any angle, in place too, truncated toward zero: -950.15 and 824.56 in single precision.
  std::vector<cv::Point> points{{-250, 1234}};
  r.transformPoints(points, points, {3, -2}, 37.5);
  EXPECT_EQ(points, (std::vector<cv::Point>{{-950, 824}}));
  EXPECT_THROW(r.transformPoints({{INT_MAX, 0}}, points, {-INT_MAX, 0}, 0), std::out_of_range);
  EXPECT_THROW(r.transformPoints({{1, 1}}, points, {0, 0}, NAN), std::out_of_range);
}

TEST(Polygons, MatchTheLiteralRulesOnRandomInput)
{
  BaseRobot r;
  std::mt19937 rng(20240611U);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  const auto u = [&](double scale) { return scale * unit(rng); };
  const auto randomPolygon = [&](size_t n, double scale) {
    std::vector<Point32> points(n);
    std::generate(
        points.begin(), points.end(), [&] { return pt(u(scale), 0, 1).set__y(float(u(scale))); });
    return Polygon().set__points(points);
  };
  for (int k = 0; k < 3000; ++k) {
    // Turned by tf2::getYaw, then moved, each pass stored as float. Every third pose lies near
    // a pitch of +-90 degrees, where tf2::getYaw and getRPY part ways.
    auto placed = geometry_msgs::msg::PolygonStamped().set__polygon(randomPolygon(k % 9, 50));
    auto at = pose(u(1000), u(1000));
    const double tiny = u(1e-4), s = k % 2 ? -1 : 1;
    at.pose.orientation = k % 3 == 0 ? quat(tiny, s * (0.7071 + tiny), tiny, 0.7071 - tiny)
                                     : quat(u(2), u(2), u(2), u(2));
    const auto & q = at.pose.orientation;
    const double yaw = tf2::getYaw(tf2::Quaternion(q.x, q.y, q.z, q.w));
    auto moved = placed.polygon.points;
    for (auto & m : moved) {
      const auto t =
          pt(m.x * std::cos(yaw) - m.y * std::sin(yaw), m.x * std::sin(yaw) + m.y * std::cos(yaw));
      m = pt(t.x + at.pose.position.x, t.y + at.pose.position.y, m.z);
    }
    r.translatePolygon(placed, at);
    ASSERT_EQ(placed.polygon.points, moved) << k;
    // Corners moved along float sides taken as doubles; a zero side keeps its corner.
    auto f = randomPolygon(4 + k % 3, 20);
    if (k % 50 == 0) {
      f.points[k % 100 == 0 ? 2 : 1] = f.points[k % 100 == 0 ? 3 : 0];
    }
    const auto & P = f.points;
    const double depth = u(5) + 4, e23x = P[3].x - P[2].x, e23y = P[3].y - P[2].y;
    const double l23 = std::sqrt(e23x * e23x + e23y * e23y);
    const double shift = k % 3 == 0 ? -4.0 : std::min(l23 - 0.1, depth + 0.2);
    const auto corner = [&](const Point32 & v, const Point32 & to) {
      const double ex = to.x - v.x, ey = to.y - v.y, l = std::sqrt(ex * ex + ey * ey);
      return l > 0 ? pt(v.x + shift * (ex / l), v.y + shift * (ey / l)) : pt(v.x, v.y);
    };
    const auto expected = std::vector{P[0], corner(P[1], P[0]), corner(P[2], P[3]), P[3]};
    ASSERT_EQ(r.resizeLiftFrame(f, depth, k % 3 == 0).points, expected) << k;
    f.points.resize(k % 4);  // fewer than four are refused; more were ignored
    ASSERT_THROW(r.resizeLiftFrame(f, depth, false), std::invalid_argument) << k;
    // Random points, every third near a vertex (sometimes on its row), in any polygon.
    const auto outer = randomPolygon(k % 10, 5);
    for (size_t t = 0; t < 10; ++t) {
      double x = u(6), y = u(6);
      if (t % 3 == 0 && !outer.points.empty()) {
        const auto & v = outer.points[t % outer.points.size()];
        x = v.x + u(0.015);
        y = v.y + (t % 2 == 0 ? 0.0 : u(0.015));
      }
      const bool in = literalPointInPolygon(outer, x, y);
      ASSERT_EQ(r.isPointInPolygon(outer, pose(x, y).pose), in) << k << " " << x << " " << y;
    }
    // Only the vertices of the inner polygon are tested; an empty one is in anything.
    const auto inner = randomPolygon(k % 5, 1.5 * (unit(rng) + 1.0));
    ASSERT_EQ(
        r.isPolygonContained(inner, outer),
        std::all_of(
            inner.points.begin(), inner.points.end(),
            [&](const Point32 & v) { return literalPointInPolygon(outer, v.x, v.y); }))
        << k;
  }
}

}  // namespace
