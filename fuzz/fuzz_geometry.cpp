// Every BaseRobot geometry operation on arbitrary doubles, poses, polygons, image points and
// paths: no crash, no undefined behaviour, no endless loop, and the properties every result
// must have whatever the input.

#include <cmath>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "fuzz_input.hpp"
#include "skelmar_nav2_tools/base_robot.hpp"

namespace {

using skelmar_fuzz::FuzzInput;

constexpr double kPi = 3.141592653589793;

geometry_msgs::msg::PoseStamped pose(FuzzInput & in)
{
  geometry_msgs::msg::PoseStamped p;
  for (double * value : {&p.pose.position.x, &p.pose.position.y, &p.pose.position.z}) {
    *value = in.hostile(-100.0, 100.0);
  }
  auto & q = p.pose.orientation;
  for (double * value : {&q.x, &q.y, &q.z, &q.w}) {
    *value = in.hostile(-1.0, 1.0);
  }
  return p;
}

geometry_msgs::msg::Polygon polygon(FuzzInput & in)
{
  geometry_msgs::msg::Polygon poly;
  poly.points.resize(in.count(12));
  for (auto & p : poly.points) {
    p.x = static_cast<float>(in.hostile(-10.0, 10.0));
    p.y = static_cast<float>(in.hostile(-10.0, 10.0));
    p.z = static_cast<float>(in.hostile(-1.0, 1.0));
  }
  return poly;
}

nav_msgs::msg::Path path(FuzzInput & in)
{
  nav_msgs::msg::Path result;
  result.poses.resize(in.count(24));
  for (auto & p : result.poses) {
    p = pose(in);
  }
  return result;
}

// Bit for bit, so that NaN coordinates equal themselves.
template <typename T>
bool same(const T & a, const T & b)
{
  return std::memcmp(&a, &b, sizeof(T)) == 0;
}

bool samePoses(
    const std::vector<geometry_msgs::msg::PoseStamped> & a,
    const std::vector<geometry_msgs::msg::PoseStamped> & b)
{
  for (std::size_t i = 0; i < a.size() && a.size() == b.size(); ++i) {
    if (a[i].header != b[i].header || !same(a[i].pose, b[i].pose)) {
      return false;
    }
  }
  return a.size() == b.size();
}

void runOperation(BaseRobot & robot, FuzzInput & in)
{
  switch (in.byte() % 14) {
    case 0: {
      const double yaw = robot.quaternion2Yaw(pose(in).pose.orientation);
      FUZZ_CHECK(std::isnan(yaw) || (yaw >= -kPi && yaw <= kPi));
      break;
    }
    case 1: {
      const double a = in.hostile(-10.0, 10.0);
      const double b = in.hostile(-10.0, 10.0);
      const double c = in.hostile(-10.0, 10.0);
      const auto q = robot.eulerToQuaternion(a, b, c);
      FUZZ_CHECK(
          !std::isfinite(a + b + c) ||
          std::abs(std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w) - 1.0) < 1e-9);
      break;
    }
    case 2: {
      const double a = in.hostile(-20.0, 20.0);
      const double b = in.hostile(-20.0, 20.0);
      const double d = robot.calDelAngle(a, b);
      FUZZ_CHECK(std::isfinite(a - b) ? d > -kPi && d <= kPi : std::isnan(d));
      break;
    }
    case 3: {
      const auto a = pose(in);
      const auto b = pose(in);
      const auto c = pose(in);
      FUZZ_CHECK(!(robot.sqDistance(a, b) < 0.0) && !(robot.calDistance(a, b) < 0.0));
      FUZZ_CHECK(std::isnan(robot.sqDistance(a, b)) == std::isnan(robot.calDistance(a, b)));
      FUZZ_CHECK(!(robot.calculateCurvature(a, b, c) < 0.0));
      break;
    }
    case 4: {
      std::vector<geometry_msgs::msg::Point> footprint(in.count(12));
      for (auto & p : footprint) {
        p.x = in.hostile(-2.0, 2.0);
        p.y = in.hostile(-2.0, 2.0);
      }
      geometry_msgs::msg::PolygonStamped out;
      out.header.frame_id = "base";
      out.polygon = polygon(in);
      robot.transformFootprint(
          in.hostile(-100.0, 100.0), in.hostile(-100.0, 100.0), in.hostile(-10.0, 10.0), footprint,
          out);
      FUZZ_CHECK(out.polygon.points.size() == footprint.size() && out.header.frame_id == "base");
      break;
    }
    case 5: {
      std::vector<cv::Point> points(in.count(12));
      for (auto & p : points) {
        p = in.byte() % 4 == 0 ? cv::Point(in.raw<std::int32_t>(), in.raw<std::int32_t>())
                               : cv::Point(in.raw<std::int16_t>(), in.raw<std::int16_t>());
      }
      const cv::Point centre(in.raw<std::int32_t>(), in.raw<std::int32_t>());
      std::vector<cv::Point> out{{1, 2}};
      try {
        robot.transformPoints(points, out, centre, in.hostile(-720.0, 720.0));
        FUZZ_CHECK(out.size() == points.size());
      } catch (const std::out_of_range &) {
        FUZZ_CHECK(out == std::vector<cv::Point>{{1, 2}});
      }
      break;
    }
    case 6: {
      geometry_msgs::msg::PolygonStamped poly;
      poly.polygon = polygon(in);
      const std::size_t size = poly.polygon.points.size();
      robot.translatePolygon(poly, pose(in));
      FUZZ_CHECK(poly.polygon.points.size() == size);
      break;
    }
    case 7: {
      const auto frame = polygon(in);
      try {
        const auto result = robot.resizeLiftFrame(frame, in.hostile(-5.0, 5.0), in.byte() % 2);
        FUZZ_CHECK(frame.points.size() >= 4 && result.points.size() == 4);
        FUZZ_CHECK(
            same(result.points[0], frame.points[0]) && same(result.points[3], frame.points[3]));
      } catch (const std::invalid_argument &) {
        FUZZ_CHECK(frame.points.size() < 4);
      }
      break;
    }
    case 8: {
      const auto poly = polygon(in);
      FUZZ_CHECK(!poly.points.empty() || !robot.isPointInPolygon(poly, pose(in).pose));
      const auto inner = polygon(in);
      FUZZ_CHECK(!inner.points.empty() || robot.isPolygonContained(inner, poly));
      break;
    }
    case 9: {
      const auto poses = path(in).poses;
      nav_msgs::msg::Path out = path(in);
      out.header.frame_id = "kept";
      robot.convertToPath(poses, out);
      FUZZ_CHECK(samePoses(out.poses, poses) && out.header.frame_id == "kept");
      FUZZ_CHECK(!(robot.calpathDistance(out) < 0.0));
      break;
    }
    case 10: {
      const auto input = path(in);
      nav_msgs::msg::Path out = path(in);
      const auto before = out;
      robot.dilutePath(input, out, in.hostile(-1.0, 5.0));
      if (input.poses.empty()) {
        FUZZ_CHECK(samePoses(out.poses, before.poses));
      } else {
        FUZZ_CHECK(!out.poses.empty() && out.poses.size() <= input.poses.size());
        FUZZ_CHECK(samePoses({out.poses.front()}, {input.poses.front()}));
      }
      break;
    }
    case 11:
      robot.printPose(pose(in), in.byte() % 2 == 0 ? "fuzz" : std::string(4, '\xff'));
      break;
    default:
      // Rarely: the random source is slow compared with the rest.
      if (in.byte() == 0) {
        FUZZ_CHECK(robot.generateUuid().size() == 36);
      }
      break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t * data, std::size_t size)
{
  static const bool quiet = (skelmar_fuzz::quietLogger(), true);
  (void)quiet;
  FuzzInput in(data, size);
  BaseRobot robot;
  // A handful of operations per input, so one input can chain several.
  for (int i = 0; i < 8 && !in.empty(); ++i) {
    runOperation(robot, in);
  }
  return 0;
}
