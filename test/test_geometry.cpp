// BaseRobot's pose, angle, polygon, footprint and path operations: the documented edge cases,
// bad input, and literal comparisons against straightforward re-implementations on many
// random inputs (fixed seeds).

#include <gtest/gtest.h>
#include <spdlog/sinks/ostream_sink.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>
#include <random>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "skelmar_nav2_tools/base_robot.hpp"
#include "skelmar_nav2_tools/logger.hpp"

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kTwoPi = 6.283185307179586;
constexpr unsigned kSeed = 20240611U;

geometry_msgs::msg::PoseStamped pose(double x, double y, double z = 0.0)
{
  geometry_msgs::msg::PoseStamped p;
  p.pose.position.x = x;
  p.pose.position.y = y;
  p.pose.position.z = z;
  p.pose.orientation.w = 1.0;
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
  geometry_msgs::msg::Polygon poly;
  for (const auto & [x, y] : xy) {
    poly.points.push_back(pt32(x, y));
  }
  return poly;
}

geometry_msgs::msg::Pose planar(double x, double y)
{
  return pose(x, y).pose;
}

// Captures the records of the library's logger for the lifetime of the object.
class LogCapture
{
public:
  LogCapture()
  {
    logger_ = skelmar::Logger::Instance("spdlog").logger;
    if (logger_) {
      sink_ = std::make_shared<spdlog::sinks::ostream_sink_mt>(stream_);
      sink_->set_pattern("%v");
      logger_->sinks().push_back(sink_);
    }
  }
  ~LogCapture()
  {
    if (logger_) {
      auto & sinks = logger_->sinks();
      sinks.erase(std::remove(sinks.begin(), sinks.end(), sink_), sinks.end());
    }
  }
  LogCapture(const LogCapture &) = delete;
  LogCapture & operator=(const LogCapture &) = delete;

  bool active() const
  {
    return logger_ != nullptr;
  }

  // Records as (number, message), split at the "NNN [INFO] " prefix.
  std::vector<std::pair<int, std::string>> infoRecords() const
  {
    static const std::string tag = " [INFO] ";
    std::vector<std::pair<int, std::string>> out;
    std::istringstream lines(stream_.str());
    std::string line;
    while (std::getline(lines, line)) {
      const bool numbered = line.size() >= 3 + tag.size() &&
                            line.compare(3, tag.size(), tag) == 0 &&
                            std::isdigit(static_cast<unsigned char>(line[2])) != 0;
      EXPECT_TRUE(numbered) << line;
      if (numbered) {
        out.emplace_back(std::stoi(line.substr(0, 3)), line.substr(3 + tag.size()));
      }
    }
    return out;
  }

private:
  std::ostringstream stream_;
  std::shared_ptr<spdlog::logger> logger_;
  std::shared_ptr<spdlog::sinks::ostream_sink_mt> sink_;
};

void expectConsecutive(const std::vector<std::pair<int, std::string>> & records)
{
  for (std::size_t i = 1; i < records.size(); ++i) {
    EXPECT_EQ(records[i].first, (records[i - 1].first + 1) % 128);
  }
}

// ---------------------------------------------------------------------------------------------
// Straightforward re-implementations used as references.

double refDelAngle(double a, double b)
{
  double d = a - b;
  for (;;) {
    while (d > kPi) {
      d -= kTwoPi;
    }
    if (d <= -kPi) {
      d += kTwoPi;
      continue;
    }
    return d;
  }
}

std::vector<cv::Point> refTransformPoints(
    const std::vector<cv::Point> & in, const cv::Point & c, double angle)
{
  std::vector<cv::Point> out;
  float a = static_cast<float>(angle * kPi / 180.0);
  float s = std::sin(a);
  float co = std::cos(a);
  float cx = static_cast<float>(c.x);
  float cy = static_cast<float>(c.y);
  for (std::size_t i = 0; i < in.size(); ++i) {
    float dx = static_cast<float>(in[i].x) - cx;
    float dy = static_cast<float>(in[i].y) - cy;
    float nx = dx * co - dy * s + cx;
    float ny = dx * s + dy * co + cy;
    out.push_back(cv::Point(static_cast<int>(nx), static_cast<int>(ny)));
  }
  return out;
}

double refGetYaw(const geometry_msgs::msg::Quaternion & q)
{
  double sx = q.x * q.x, sy = q.y * q.y, sz = q.z * q.z, sw = q.w * q.w;
  double sarg = -2 * (q.x * q.z - q.w * q.y) / (sx + sy + sz + sw);
  if (sarg <= -0.99999) {
    return -2 * std::atan2(q.y, q.x);
  }
  if (sarg >= 0.99999) {
    return 2 * std::atan2(q.y, q.x);
  }
  return std::atan2(2 * (q.x * q.y + q.w * q.z), sw + sx - sy - sz);
}

void refTranslatePolygon(
    geometry_msgs::msg::PolygonStamped & poly, const geometry_msgs::msg::Pose & p)
{
  double yaw = refGetYaw(p.orientation);
  auto & pts = poly.polygon.points;
  for (std::size_t i = 0; i < pts.size(); ++i) {
    double x = pts[i].x, y = pts[i].y;
    pts[i].x = static_cast<float>(x * std::cos(yaw) - y * std::sin(yaw));
    pts[i].y = static_cast<float>(x * std::sin(yaw) + y * std::cos(yaw));
  }
  for (std::size_t i = 0; i < pts.size(); ++i) {
    pts[i].x = static_cast<float>(pts[i].x + p.position.x);
    pts[i].y = static_cast<float>(pts[i].y + p.position.y);
  }
}

geometry_msgs::msg::Polygon refResizeLiftFrame(
    const geometry_msgs::msg::Polygon & f, double depth, bool extend)
{
  const auto & P = f.points;
  double e23[2] = {static_cast<float>(P[3].x - P[2].x), static_cast<float>(P[3].y - P[2].y)};
  double e10[2] = {static_cast<float>(P[0].x - P[1].x), static_cast<float>(P[0].y - P[1].y)};
  double l23 = std::sqrt(e23[0] * e23[0] + e23[1] * e23[1]);
  double l10 = std::sqrt(e10[0] * e10[0] + e10[1] * e10[1]);
  double u23[2] = {e23[0], e23[1]};
  double u10[2] = {e10[0], e10[1]};
  if (l23 > 0) {
    u23[0] /= l23;
    u23[1] /= l23;
  }
  if (l10 > 0) {
    u10[0] /= l10;
    u10[1] /= l10;
  }
  double L = extend ? 4.0 : std::min(l23 - 0.1, depth + 0.2);
  double sigma = extend ? -1.0 : 1.0;
  geometry_msgs::msg::Polygon r;
  r.points.push_back(P[0]);
  r.points.push_back(pt32(
      static_cast<float>(P[1].x + sigma * L * u10[0]),
      static_cast<float>(P[1].y + sigma * L * u10[1])));
  r.points.push_back(pt32(
      static_cast<float>(P[2].x + sigma * L * u23[0]),
      static_cast<float>(P[2].y + sigma * L * u23[1])));
  r.points.push_back(P[3]);
  return r;
}

bool refPointInPolygon(const geometry_msgs::msg::Polygon & poly, double px, double py)
{
  const auto & P = poly.points;
  int n = static_cast<int>(P.size());
  bool inside = false;
  for (int i = 0, j = n - 1; i < n; j = i, ++i) {
    if ((P[i].y > py) != (P[j].y > py)) {
      float dx = P[j].x - P[i].x;
      float dy = P[j].y - P[i].y;
      double X = dx * (py - P[i].y) / dy + P[i].x;
      if (X > px) {
        inside = !inside;
      }
    }
  }
  if (inside) {
    return true;
  }
  for (int i = 0; i < n; ++i) {
    double d = std::sqrt((P[i].x - px) * (P[i].x - px) + (P[i].y - py) * (P[i].y - py));
    if (d < 0.01) {
      return true;
    }
  }
  return false;
}

// Indices of the input poses that a literal thinning keeps.
std::vector<std::size_t> refDiluteIndices(const nav_msgs::msg::Path & in, double spacing)
{
  std::vector<std::size_t> kept{0};
  double acc = 0;
  for (std::size_t i = 1; i < in.poses.size(); ++i) {
    const auto & a = in.poses[i].pose.position;
    const auto & b = in.poses[i - 1].pose.position;
    acc += std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y));
    if (acc >= spacing) {
      kept.push_back(i);
      acc = 0;
    }
  }
  if (acc != 0) {
    kept.push_back(in.poses.size() - 1);
  }
  return kept;
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

// ---------------------------------------------------------------------------------------------

TEST(PoseAngle, QuaternionToYawFollowsGetRpy)
{
  BaseRobot robot;
  const double h = std::sqrt(2.0) / 2.0;
  EXPECT_EQ(robot.quaternion2Yaw(quat(0, 0, 0, 1)), 0.0);
  EXPECT_NEAR(robot.quaternion2Yaw(quat(0, 0, h, h)), kPi / 2, 1e-12);
  EXPECT_NEAR(robot.quaternion2Yaw(quat(0, 0, 2, 2)), kPi / 2, 1e-12);
  EXPECT_EQ(robot.quaternion2Yaw(quat(0, 1, 0, 1)), 0.0);  // gimbal lock
  EXPECT_TRUE(std::isnan(robot.quaternion2Yaw(quat(0, 0, 0, 0))));
  // Non-normalised quaternions are not rescaled before the matrix is built.
  EXPECT_NEAR(robot.quaternion2Yaw(quat(0, 0, std::sin(0.3), std::cos(0.3))), 0.6, 1e-12);
  EXPECT_NEAR(
      robot.quaternion2Yaw(quat(0, 0, 5 * std::sin(-1.2), 5 * std::cos(-1.2))), -2.4, 1e-12);
}

TEST(PoseAngle, EulerToQuaternionTakesYawRollPitch)
{
  BaseRobot robot;
  const double h = std::sqrt(2.0) / 2.0;
  const auto yaw = robot.eulerToQuaternion(kPi / 2, 0, 0);
  EXPECT_NEAR(yaw.x, 0, 1e-15);
  EXPECT_NEAR(yaw.y, 0, 1e-15);
  EXPECT_NEAR(yaw.z, h, 1e-15);
  EXPECT_NEAR(yaw.w, h, 1e-15);
  const auto roll = robot.eulerToQuaternion(0, kPi / 2, 0);
  EXPECT_NEAR(roll.x, h, 1e-15);
  EXPECT_NEAR(roll.y, 0, 1e-15);
  EXPECT_NEAR(roll.z, 0, 1e-15);
  EXPECT_NEAR(roll.w, h, 1e-15);
  const auto pitch = robot.eulerToQuaternion(0, 0, kPi / 2);
  EXPECT_NEAR(pitch.x, 0, 1e-15);
  EXPECT_NEAR(pitch.y, h, 1e-15);

  std::mt19937 rng(kSeed);
  std::uniform_real_distribution<double> angle(-3.1, 3.1);
  for (int k = 0; k < 1000; ++k) {
    const double a = angle(rng);
    EXPECT_NEAR(robot.quaternion2Yaw(robot.eulerToQuaternion(a, 0, 0)), a, 1e-12);
  }
}

TEST(PoseAngle, DelAngleEdgeCases)
{
  BaseRobot robot;
  EXPECT_EQ(robot.calDelAngle(0, kPi), kPi);  // -pi comes back as +pi
  EXPECT_EQ(robot.calDelAngle(kPi, 0), kPi);
  EXPECT_EQ(robot.calDelAngle(0.1, 6.2), 0.1 - 6.2 + kTwoPi);
  EXPECT_NEAR(robot.calDelAngle(7 * kPi, 0), kPi, 1e-12);
  EXPECT_EQ(robot.calDelAngle(-kPi, 0), kPi);
  EXPECT_EQ(robot.calDelAngle(0.5, 0.25), 0.25);
}

TEST(PoseAngle, DelAngleReturnsForNonFiniteInput)
{
  BaseRobot robot;
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_TRUE(std::isnan(robot.calDelAngle(inf, 0)));
  EXPECT_TRUE(std::isnan(robot.calDelAngle(0, inf)));
  EXPECT_TRUE(std::isnan(robot.calDelAngle(-inf, 1)));
  EXPECT_TRUE(std::isnan(robot.calDelAngle(nan, 0)));
  EXPECT_TRUE(std::isnan(robot.calDelAngle(0, nan)));
  const double big = std::numeric_limits<double>::max();
  EXPECT_TRUE(std::isnan(robot.calDelAngle(big, -big)));  // the difference overflows
}

TEST(PoseAngle, DelAngleMatchesStepwiseReductionBelowOneMillion)
{
  BaseRobot robot;
  std::mt19937 rng(kSeed);
  std::uniform_real_distribution<double> small(-20.0, 20.0);
  for (int k = 0; k < 20000; ++k) {
    const double a = small(rng);
    const double b = small(rng);
    EXPECT_EQ(robot.calDelAngle(a, b), refDelAngle(a, b)) << a << " " << b;
  }
  std::uniform_real_distribution<double> wide(-999999.0, 999999.0);
  for (int k = 0; k < 200; ++k) {
    const double a = wide(rng);
    EXPECT_EQ(robot.calDelAngle(a, 0.0), refDelAngle(a, 0.0)) << a;
  }
  EXPECT_EQ(robot.calDelAngle(999999.9, 0.0), refDelAngle(999999.9, 0.0));
  EXPECT_EQ(robot.calDelAngle(-999999.9, 0.0), refDelAngle(-999999.9, 0.0));
}

TEST(PoseAngle, DelAngleRangeAndCongruenceForAnyFiniteInput)
{
  BaseRobot robot;
  std::mt19937 rng(kSeed);
  std::uniform_real_distribution<double> exponent(-3.0, 300.0);
  std::bernoulli_distribution negative(0.5);
  for (int k = 0; k < 5000; ++k) {
    const double d = (negative(rng) ? -1.0 : 1.0) * std::pow(10.0, exponent(rng));
    const double r = robot.calDelAngle(d, 0.0);
    ASSERT_GT(r, -kPi) << d;
    ASSERT_LE(r, kPi) << d;
    // d - r is a whole number of turns, up to the rounding of each step below 1e6 (one
    // half-ulp of d per turn) and of the one remainder above.
    const double ad = std::fabs(d);
    const double ulp = std::nextafter(ad, std::numeric_limits<double>::infinity()) - ad;
    const double tolerance = ad < 1e6 ? (ad / kTwoPi + 1.0) * ulp : ad * 1e-15;
    EXPECT_NEAR(std::remainder(d - r, kTwoPi), 0.0, std::max(1e-12, tolerance)) << d;
  }
}

TEST(PoseAngle, DistancesArePlanar)
{
  BaseRobot robot;
  EXPECT_EQ(robot.sqDistance(pose(0, 0, 7), pose(3, 4, -2)), 25.0);
  EXPECT_EQ(robot.calDistance(pose(0, 0, 7), pose(3, 4, -2)), 5.0);
  EXPECT_EQ(robot.calDistance(pose(1, 1), pose(1, 1)), 0.0);
}

TEST(PoseAngle, CurvatureThroughThreePoints)
{
  BaseRobot robot;
  EXPECT_NEAR(robot.calculateCurvature(pose(0, 0), pose(1, 1), pose(2, 0)), 1.0, 1e-12);
  EXPECT_EQ(robot.calculateCurvature(pose(0, 0), pose(1, 0), pose(2, 0)), 0.0);
  EXPECT_EQ(robot.calculateCurvature(pose(3, 0), pose(3, 5), pose(3, -1)), 0.0);
  EXPECT_TRUE(std::isnan(robot.calculateCurvature(pose(0, 0), pose(0, 0), pose(1, 0))));
  // The sign of the turn is not kept.
  EXPECT_NEAR(robot.calculateCurvature(pose(0, 0), pose(1, -1), pose(2, 0)), 1.0, 1e-12);
  EXPECT_NEAR(robot.calculateCurvature(pose(0, 0), pose(2, 2), pose(4, 0)), 0.5, 1e-12);
}

TEST(PoseAngle, UuidsAreRandomVersionFourText)
{
  BaseRobot robot;
  std::set<std::string> seen;
  for (int k = 0; k < 200; ++k) {
    const std::string id = robot.generateUuid();
    ASSERT_EQ(id.size(), 36U);
    for (std::size_t i = 0; i < id.size(); ++i) {
      if (i == 8 || i == 13 || i == 18 || i == 23) {
        EXPECT_EQ(id[i], '-') << id;
      } else {
        EXPECT_NE(std::string("0123456789abcdef").find(id[i]), std::string::npos) << id;
      }
    }
    EXPECT_EQ(id[14], '4') << id;                                          // version 4
    EXPECT_NE(std::string("89ab").find(id[19]), std::string::npos) << id;  // RFC 4122 variant
    seen.insert(id);
  }
  EXPECT_EQ(seen.size(), 200U);
}

TEST(PoseAngle, PrintPoseWritesFourNumberedRecords)
{
  setenv("SPDLOG_LEVEL", "info", 1);  // before the logger is built in this process
  BaseRobot robot;
  LogCapture capture;
  ASSERT_TRUE(capture.active());
  auto p = pose(1, 2, 0);
  p.header.frame_id = "not printed";
  robot.printPose(p, "start");
  auto turned = pose(0.25, -1.5, 3);
  turned.pose.orientation = quat(0, 0, std::sqrt(2.0) / 2.0, std::sqrt(2.0) / 2.0);
  robot.printPose(turned, " spaced {} text ");

  const auto records = capture.infoRecords();
  ASSERT_EQ(records.size(), 8U);
  expectConsecutive(records);
  EXPECT_EQ(records[0].second, "info: start");
  EXPECT_EQ(records[1].second, "point is 1;2;0");
  EXPECT_EQ(records[2].second, "orientation is 0;0;0;1");
  EXPECT_EQ(records[3].second, "yaw is 0");
  EXPECT_EQ(records[4].second, "info:  spaced {} text ");
  EXPECT_EQ(records[5].second, "point is 0.25;-1.5;3");
  const std::string h = fmt::format("{}", std::sqrt(2.0) / 2.0);
  EXPECT_EQ(records[6].second, "orientation is 0;0;" + h + ";" + h);
  EXPECT_EQ(
      records[7].second, fmt::format("yaw is {}", robot.quaternion2Yaw(turned.pose.orientation)));
}

// ---------------------------------------------------------------------------------------------

TEST(Polygons, TransformFootprintPlacesPointsAtPose)
{
  BaseRobot robot;
  geometry_msgs::msg::PolygonStamped out;
  out.header.frame_id = "map";
  out.polygon.points.push_back(pt32(9, 9, 9));
  geometry_msgs::msg::Point fp;
  fp.x = 1.0;
  fp.z = 5.0;
  robot.transformFootprint(1, 2, kPi / 2, {fp}, out);
  ASSERT_EQ(out.polygon.points.size(), 1U);
  EXPECT_NEAR(out.polygon.points[0].x, 1.0F, 1e-6);
  EXPECT_EQ(out.polygon.points[0].y, 3.0F);
  EXPECT_EQ(out.polygon.points[0].z, 0.0F);

  robot.transformFootprint(1, 2, 0.3, {}, out);
  EXPECT_TRUE(out.polygon.points.empty());
  EXPECT_EQ(out.header.frame_id, "map");

  geometry_msgs::msg::Point a;
  a.x = 0.1;
  a.y = 0.2;
  robot.transformFootprint(1e7, 0.0, 0.0, {a}, out);
  EXPECT_EQ(out.polygon.points[0].x, static_cast<float>(1e7 + 0.1));  // stored as float
}

TEST(Polygons, TransformPointsRotatesAndTruncates)
{
  BaseRobot robot;
  std::vector<cv::Point> out{{5, 5}};
  robot.transformPoints({{10, 0}}, out, {0, 0}, 90);
  EXPECT_EQ(out, (std::vector<cv::Point>{{0, 10}}));
  robot.transformPoints({{10, 0}}, out, {0, 0}, 30);
  EXPECT_EQ(out, (std::vector<cv::Point>{{8, 5}}));
  const std::vector<cv::Point> some{{1, 2}, {-3, 4}, {100, -7}};
  robot.transformPoints(some, out, {13, -6}, 0);
  EXPECT_EQ(out, some);
  robot.transformPoints({}, out, {0, 0}, 45);
  EXPECT_TRUE(out.empty());
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

TEST(Polygons, TransformPointsMatchesLiteralRotation)
{
  BaseRobot robot;
  std::mt19937 rng(kSeed);
  std::uniform_int_distribution<int> coord(-5000, 5000);
  std::uniform_real_distribution<double> angle(-720.0, 720.0);
  const std::vector<double> special{0, 30, 45, 90, -90, 180, 270, 360, -135.5};
  for (int k = 0; k < 2000; ++k) {
    std::vector<cv::Point> in(static_cast<std::size_t>(k % 17));
    for (auto & p : in) {
      p = {coord(rng), coord(rng)};
    }
    const cv::Point centre{coord(rng) / 5, coord(rng) / 5};
    const double a =
        k < static_cast<int>(special.size()) ? special[static_cast<std::size_t>(k)] : angle(rng);
    std::vector<cv::Point> out;
    robot.transformPoints(in, out, centre, a);
    ASSERT_EQ(out, refTransformPoints(in, centre, a)) << "angle " << a;
  }
}

TEST(Polygons, TranslatePolygonRotatesThenTranslates)
{
  BaseRobot robot;
  geometry_msgs::msg::PolygonStamped poly;
  poly.header.frame_id = "lift_frame";
  poly.polygon = polygon({{1, 0}, {0.5F, -2}});
  auto p = pose(3, 4, 9);
  robot.translatePolygon(poly, p);
  EXPECT_EQ(poly.polygon.points[0].x, 4.0F);
  EXPECT_EQ(poly.polygon.points[0].y, 4.0F);
  EXPECT_EQ(poly.polygon.points[1].x, 3.5F);
  EXPECT_EQ(poly.polygon.points[1].y, 2.0F);
  EXPECT_EQ(poly.header.frame_id, "lift_frame");

  poly.polygon = polygon({{1, 0}});
  poly.polygon.points[0].z = 7;
  p.pose.orientation = quat(0, 0, std::sqrt(2.0) / 2.0, std::sqrt(2.0) / 2.0);
  robot.translatePolygon(poly, p);
  EXPECT_NEAR(poly.polygon.points[0].x, 3.0F, 1e-6);
  EXPECT_EQ(poly.polygon.points[0].y, 5.0F);
  EXPECT_EQ(poly.polygon.points[0].z, 7.0F);

  poly.polygon.points.clear();
  robot.translatePolygon(poly, p);
  EXPECT_TRUE(poly.polygon.points.empty());
}

TEST(Polygons, TranslatePolygonMatchesLiteralPasses)
{
  BaseRobot robot;
  std::mt19937 rng(kSeed);
  std::uniform_real_distribution<float> coord(-50.0F, 50.0F);
  std::uniform_real_distribution<double> pos(-1000.0, 1000.0);
  std::uniform_real_distribution<double> comp(-2.0, 2.0);
  std::uniform_real_distribution<double> tiny(-1e-4, 1e-4);
  for (int k = 0; k < 3000; ++k) {
    geometry_msgs::msg::PolygonStamped poly;
    for (int i = 0; i < k % 9; ++i) {
      poly.polygon.points.push_back(pt32(coord(rng), coord(rng), coord(rng)));
    }
    auto p = pose(pos(rng), pos(rng));
    if (k % 3 == 0) {
      // Near a pitch of +-90 degrees, where tf2::getYaw and getRPY part ways.
      const double s = (k % 2 == 0) ? 1.0 : -1.0;
      p.pose.orientation = quat(tiny(rng), s * (0.7071 + tiny(rng)), tiny(rng), 0.7071 + tiny(rng));
    } else {
      p.pose.orientation = quat(comp(rng), comp(rng), comp(rng), comp(rng));
    }
    auto expected = poly;
    refTranslatePolygon(expected, p.pose);
    robot.translatePolygon(poly, p);
    ASSERT_EQ(poly, expected) << "case " << k;
  }
}

TEST(Polygons, ResizeLiftFrameDocumentedCases)
{
  BaseRobot robot;
  const auto frame = polygon({{0, 0}, {2, 0}, {2, 1}, {0, 1}});
  EXPECT_EQ(
      robot.resizeLiftFrame(frame, 0.5, false), polygon({{0, 0}, {1.3F, 0}, {1.3F, 1}, {0, 1}}));
  const auto deep = robot.resizeLiftFrame(frame, 5, false);
  EXPECT_EQ(deep, polygon({{0, 0}, {0.1F, 0}, {0.1F, 1}, {0, 1}}));
  EXPECT_EQ(robot.resizeLiftFrame(frame, 0.5, true), polygon({{0, 0}, {6, 0}, {6, 1}, {0, 1}}));
}

TEST(Polygons, ResizeLiftFrameInputLimits)
{
  BaseRobot robot;
  for (std::size_t n = 0; n < 4; ++n) {
    geometry_msgs::msg::Polygon frame;
    frame.points.resize(n);
    EXPECT_THROW(robot.resizeLiftFrame(frame, 0.5, false), std::invalid_argument) << n;
  }
  // Extra points are ignored; P0 and P3 keep their z, the moved corners get z = 0.
  geometry_msgs::msg::Polygon frame;
  frame.points = {pt32(0, 0, 1), pt32(2, 0, 2), pt32(2, 1, 3), pt32(0, 1, 4), pt32(9, 9, 9)};
  const auto out = robot.resizeLiftFrame(frame, 0.5, false);
  ASSERT_EQ(out.points.size(), 4U);
  EXPECT_EQ(out.points[0], pt32(0, 0, 1));
  EXPECT_EQ(out.points[1], pt32(1.3F, 0, 0));
  EXPECT_EQ(out.points[2], pt32(1.3F, 1, 0));
  EXPECT_EQ(out.points[3], pt32(0, 1, 4));
  // A side of zero length leaves its corner where it was.
  const auto flat = polygon({{0, 0}, {0, 0}, {2, 1}, {0, 1}});
  EXPECT_EQ(robot.resizeLiftFrame(flat, 0.5, false).points[1], pt32(0, 0));
}

TEST(Polygons, ResizeLiftFrameMatchesLiteralFormula)
{
  BaseRobot robot;
  std::mt19937 rng(kSeed);
  std::uniform_real_distribution<float> coord(-20.0F, 20.0F);
  std::uniform_real_distribution<double> depth(-1.0, 10.0);
  for (int k = 0; k < 5000; ++k) {
    geometry_msgs::msg::Polygon frame;
    for (int i = 0; i < 4; ++i) {
      frame.points.push_back(pt32(coord(rng), coord(rng), coord(rng)));
    }
    if (k % 50 == 0) {
      frame.points[2] = frame.points[3];
    }
    const double d = depth(rng);
    const bool extend = k % 3 == 0;
    ASSERT_EQ(robot.resizeLiftFrame(frame, d, extend), refResizeLiftFrame(frame, d, extend)) << k;
  }
}

TEST(Polygons, PointInPolygonDocumentedCases)
{
  BaseRobot robot;
  const auto square = polygon({{0, 0}, {1, 0}, {1, 1}, {0, 1}});
  EXPECT_TRUE(robot.isPointInPolygon(square, planar(0.5, 0.5)));
  EXPECT_FALSE(robot.isPointInPolygon(square, planar(2, 2)));
  EXPECT_TRUE(robot.isPointInPolygon(square, planar(1.005, 1.0)));
  EXPECT_FALSE(robot.isPointInPolygon(square, planar(1.02, 0.5)));
  EXPECT_FALSE(robot.isPointInPolygon(geometry_msgs::msg::Polygon{}, planar(0, 0)));
  const auto dot = polygon({{3, 3}});
  EXPECT_TRUE(robot.isPointInPolygon(dot, planar(3.009, 3)));
  EXPECT_FALSE(robot.isPointInPolygon(dot, planar(3.011, 3)));
  EXPECT_FALSE(robot.isPointInPolygon(dot, planar(3.5, 3)));
}

TEST(Polygons, PointInPolygonMatchesLiteralCrossingTest)
{
  BaseRobot robot;
  std::mt19937 rng(kSeed);
  std::uniform_real_distribution<float> coord(-5.0F, 5.0F);
  std::uniform_real_distribution<double> probe(-6.0, 6.0);
  std::uniform_real_distribution<double> near(-0.015, 0.015);
  int inside = 0;
  for (int k = 0; k < 2000; ++k) {
    geometry_msgs::msg::Polygon poly;
    for (int i = 0; i < k % 10; ++i) {
      poly.points.push_back(pt32(coord(rng), coord(rng)));
    }
    for (int t = 0; t < 20; ++t) {
      double x = probe(rng);
      double y = probe(rng);
      if (t % 4 == 0 && !poly.points.empty()) {
        const auto & v = poly.points[static_cast<std::size_t>(t) % poly.points.size()];
        x = v.x + near(rng);
        y = v.y + (t % 8 == 0 ? 0.0 : near(rng));  // on a vertex's row too
      }
      const bool expected = refPointInPolygon(poly, x, y);
      inside += expected ? 1 : 0;
      ASSERT_EQ(robot.isPointInPolygon(poly, planar(x, y)), expected) << k << " " << x << " " << y;
    }
  }
  EXPECT_GT(inside, 1000);  // the sample reaches both answers
}

TEST(Polygons, PolygonContainedTestsVerticesOnly)
{
  BaseRobot robot;
  const auto big = polygon({{0, 0}, {10, 0}, {10, 10}, {0, 10}});
  const auto small = polygon({{2, 2}, {3, 2}, {3, 3}, {2, 3}});
  EXPECT_TRUE(robot.isPolygonContained(small, big));
  EXPECT_FALSE(robot.isPolygonContained(big, small));
  EXPECT_TRUE(robot.isPolygonContained(geometry_msgs::msg::Polygon{}, small));
  EXPECT_TRUE(
      robot.isPolygonContained(geometry_msgs::msg::Polygon{}, geometry_msgs::msg::Polygon{}));
  // A U-shaped outer polygon: both vertices inside, the edge between them crosses the gap.
  const auto u = polygon({{0, 0}, {3, 0}, {3, 3}, {2, 3}, {2, 1}, {1, 1}, {1, 3}, {0, 3}});
  EXPECT_TRUE(robot.isPolygonContained(polygon({{0.5F, 2}, {2.5F, 2}}), u));
}

TEST(Polygons, PolygonContainedMatchesLiteralVertexWalk)
{
  BaseRobot robot;
  std::mt19937 rng(kSeed);
  std::uniform_real_distribution<float> coord(-5.0F, 5.0F);
  std::uniform_real_distribution<float> shrink(0.0F, 1.2F);
  int contained = 0;
  for (int k = 0; k < 3000; ++k) {
    geometry_msgs::msg::Polygon outer;
    geometry_msgs::msg::Polygon inner;
    for (int i = 0; i < 3 + k % 6; ++i) {
      outer.points.push_back(pt32(coord(rng), coord(rng)));
    }
    const float f = shrink(rng);
    for (int i = 0; i < k % 5; ++i) {
      inner.points.push_back(pt32(coord(rng) * f * 0.3F, coord(rng) * f * 0.3F));
    }
    bool expected = true;
    for (const auto & p : inner.points) {
      expected = expected && refPointInPolygon(outer, p.x, p.y);
    }
    contained += expected ? 1 : 0;
    ASSERT_EQ(robot.isPolygonContained(inner, outer), expected) << k;
  }
  EXPECT_GT(contained, 300);
  EXPECT_LT(contained, 2700);
}

// ---------------------------------------------------------------------------------------------

TEST(Paths, ConvertToPathCopiesPosesKeepsHeader)
{
  BaseRobot robot;
  nav_msgs::msg::Path path = pathAlongX({7, 8});
  robot.convertToPath({}, path);
  EXPECT_TRUE(path.poses.empty());
  EXPECT_EQ(path.header.frame_id, "map");

  auto a = pose(1, 2);
  a.header.frame_id = "odom";
  const std::vector<geometry_msgs::msg::PoseStamped> poses{a, pose(3, 4)};
  robot.convertToPath(poses, path);
  EXPECT_EQ(path.poses, poses);
  EXPECT_EQ(path.header.frame_id, "map");
  robot.convertToPath(path.poses, path);  // its own poses
  EXPECT_EQ(path.poses, poses);
}

TEST(Paths, PathDistanceSumsSegments)
{
  BaseRobot robot;
  EXPECT_EQ(robot.calpathDistance(nav_msgs::msg::Path{}), 0.0);
  EXPECT_EQ(robot.calpathDistance(pathAlongX({5})), 0.0);
  nav_msgs::msg::Path path;
  path.poses = {pose(0, 0), pose(3, 4), pose(3, 5)};
  EXPECT_EQ(robot.calpathDistance(path), 6.0);
}

TEST(Paths, DilutePathDocumentedCases)
{
  setenv("SPDLOG_LEVEL", "info", 1);
  BaseRobot robot;
  LogCapture capture;
  ASSERT_TRUE(capture.active());
  const auto xs = [](const nav_msgs::msg::Path & p) {
    std::vector<double> out;
    for (const auto & q : p.poses) {
      out.push_back(q.pose.position.x);
    }
    return out;
  };
  nav_msgs::msg::Path out;
  out.header.frame_id = "stale";
  out.poses = {pose(-1, -1)};
  robot.dilutePath(pathAlongX({0, 0.4, 0.8, 1.2, 1.6, 2.0, 2.1}), out, 1.0);
  EXPECT_EQ(xs(out), (std::vector<double>{0, 1.2, 2.1}));
  EXPECT_EQ(out.header.frame_id, "map");
  EXPECT_EQ(out.header.stamp.sec, 42);

  robot.dilutePath(pathAlongX({0, 1, 2}), out, 1.0);
  EXPECT_EQ(xs(out), (std::vector<double>{0, 1, 2}));
  robot.dilutePath(pathAlongX({5}), out, 1.0);
  EXPECT_EQ(xs(out), (std::vector<double>{5}));
  robot.dilutePath(pathAlongX({0, 0, 0}), out, 1.0);
  EXPECT_EQ(xs(out), (std::vector<double>{0}));
  robot.dilutePath(pathAlongX({0, 0.1, 0.3, 0.7}), out, 0.0);
  EXPECT_EQ(xs(out), (std::vector<double>{0, 0.1, 0.3, 0.7}));

  const auto before = out;
  robot.dilutePath(nav_msgs::msg::Path{}, out, 1.0);  // untouched, not logged
  EXPECT_EQ(out, before);

  const auto records = capture.infoRecords();
  ASSERT_EQ(records.size(), 5U);
  expectConsecutive(records);
  const std::vector<std::string> sizes{"3", "3", "1", "1", "4"};
  for (std::size_t i = 0; i < sizes.size(); ++i) {
    EXPECT_EQ(records[i].second, "dilution path size:" + sizes[i]);
  }
}

TEST(Paths, DilutePathInvariantsOnRandomPaths)
{
  setenv("SPDLOG_STDOUT", "false", 1);  // thousands of records: keep the console quiet
  BaseRobot robot;
  std::mt19937 rng(kSeed);
  std::uniform_real_distribution<double> step(-1.0, 1.0);
  std::uniform_real_distribution<double> spacing(-0.5, 3.0);
  std::bernoulli_distribution repeat(0.2);
  for (int k = 0; k < 1000; ++k) {
    nav_msgs::msg::Path in;
    in.header.frame_id = "map";
    in.header.stamp.sec = k;
    double x = 0;
    double y = 0;
    for (int i = 0; i < 1 + k % 40; ++i) {
      if (!repeat(rng)) {
        x += step(rng);
        y += step(rng);
      }
      auto p = pose(x, y);
      p.header.stamp.nanosec = static_cast<std::uint32_t>(i);
      in.poses.push_back(p);
    }
    const double s = spacing(rng);
    nav_msgs::msg::Path out;
    robot.dilutePath(in, out, s);

    const auto kept = refDiluteIndices(in, s);
    ASSERT_EQ(out.poses.size(), kept.size()) << k;
    EXPECT_EQ(out.header, in.header);
    EXPECT_EQ(out.poses.front(), in.poses.front());
    for (std::size_t j = 0; j < kept.size(); ++j) {
      ASSERT_EQ(out.poses[j], in.poses[kept[j]]) << k;
      if (j > 0 && (j + 1 < kept.size() || kept[j] != in.poses.size() - 1)) {
        nav_msgs::msg::Path stretch;
        stretch.poses.assign(
            in.poses.begin() + static_cast<std::ptrdiff_t>(kept[j - 1]),
            in.poses.begin() + static_cast<std::ptrdiff_t>(kept[j]) + 1);
        EXPECT_GE(robot.calpathDistance(stretch), s);
      }
    }

    nav_msgs::msg::Path same = in;  // in and out the same object
    robot.dilutePath(same, same, s);
    ASSERT_EQ(same, out) << k;
  }
}

}  // namespace
