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
  p.pose.position.x = in.hostile(-100.0, 100.0);
  p.pose.position.y = in.hostile(-100.0, 100.0);
  p.pose.position.z = in.hostile(-1.0, 1.0);
  p.pose.orientation.x = in.hostile(-1.0, 1.0);
  p.pose.orientation.y = in.hostile(-1.0, 1.0);
  p.pose.orientation.z = in.hostile(-1.0, 1.0);
  p.pose.orientation.w = in.hostile(-1.0, 1.0);
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

std::vector<cv::Point> imagePoints(FuzzInput & in)
{
  std::vector<cv::Point> points(in.count(12));
  for (auto & p : points) {
    if (in.byte() % 4 == 0) {
      p = cv::Point(in.raw<std::int32_t>(), in.raw<std::int32_t>());
    } else {
      p = cv::Point(in.raw<std::int16_t>(), in.raw<std::int16_t>());
    }
  }
  return points;
}

nav_msgs::msg::Path path(FuzzInput & in)
{
  nav_msgs::msg::Path result;
  result.header.frame_id = "map";
  result.poses.resize(in.count(24));
  for (auto & p : result.poses) {
    p = pose(in);
  }
  return result;
}

bool sameBits(const geometry_msgs::msg::Point32 & a, const geometry_msgs::msg::Point32 & b)
{
  return std::memcmp(&a.x, &b.x, sizeof(float)) == 0 &&
         std::memcmp(&a.y, &b.y, sizeof(float)) == 0 && std::memcmp(&a.z, &b.z, sizeof(float)) == 0;
}

// Bit for bit, so that NaN coordinates compare equal to themselves.
bool samePose(const geometry_msgs::msg::PoseStamped & a, const geometry_msgs::msg::PoseStamped & b)
{
  const auto & pa = a.pose;
  const auto & pb = b.pose;
  const double va[] = {pa.position.x,    pa.position.y,    pa.position.z,   pa.orientation.x,
                       pa.orientation.y, pa.orientation.z, pa.orientation.w};
  const double vb[] = {pb.position.x,    pb.position.y,    pb.position.z,   pb.orientation.x,
                       pb.orientation.y, pb.orientation.z, pb.orientation.w};
  return a.header == b.header && std::memcmp(va, vb, sizeof(va)) == 0;
}

bool samePoses(
    const std::vector<geometry_msgs::msg::PoseStamped> & a,
    const std::vector<geometry_msgs::msg::PoseStamped> & b)
{
  if (a.size() != b.size()) {
    return false;
  }
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (!samePose(a[i], b[i])) {
      return false;
    }
  }
  return true;
}

void runOperation(BaseRobot & robot, FuzzInput & in)
{
  switch (in.byte() % 16) {
    case 0: {
      const auto q = pose(in).pose.orientation;
      const double yaw = robot.quaternion2Yaw(q);
      FUZZ_CHECK(std::isnan(yaw) || (yaw >= -kPi && yaw <= kPi));
      break;
    }
    case 1: {
      const double yaw = in.hostile(-10.0, 10.0);
      const double roll = in.hostile(-10.0, 10.0);
      const double pitch = in.hostile(-10.0, 10.0);
      const auto q = robot.eulerToQuaternion(yaw, roll, pitch);
      if (std::isfinite(yaw) && std::isfinite(roll) && std::isfinite(pitch)) {
        const double norm = std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w);
        FUZZ_CHECK(std::abs(norm - 1.0) < 1e-9);
      }
      break;
    }
    case 2: {
      const double a = in.hostile(-20.0, 20.0);
      const double b = in.hostile(-20.0, 20.0);
      const double d = robot.calDelAngle(a, b);
      if (std::isfinite(a - b)) {
        FUZZ_CHECK(d > -kPi && d <= kPi);
      } else {
        FUZZ_CHECK(std::isnan(d));
      }
      break;
    }
    case 3: {
      const auto a = pose(in);
      const auto b = pose(in);
      const double sq = robot.sqDistance(a, b);
      const double d = robot.calDistance(a, b);
      FUZZ_CHECK(!(sq < 0.0) && !(d < 0.0));
      FUZZ_CHECK(std::isnan(sq) == std::isnan(d));
      break;
    }
    case 4: {
      const auto p1 = pose(in);
      const auto p2 = pose(in);
      const auto p3 = pose(in);
      FUZZ_CHECK(!(robot.calculateCurvature(p1, p2, p3) < 0.0));
      break;
    }
    case 5: {
      const double x = in.hostile(-100.0, 100.0);
      const double y = in.hostile(-100.0, 100.0);
      const double theta = in.hostile(-10.0, 10.0);
      std::vector<geometry_msgs::msg::Point> footprint(in.count(12));
      for (auto & p : footprint) {
        p.x = in.hostile(-2.0, 2.0);
        p.y = in.hostile(-2.0, 2.0);
        p.z = in.hostile(-2.0, 2.0);
      }
      geometry_msgs::msg::PolygonStamped out;
      out.header.frame_id = "base";
      out.polygon = polygon(in);
      robot.transformFootprint(x, y, theta, footprint, out);
      FUZZ_CHECK(out.polygon.points.size() == footprint.size());
      FUZZ_CHECK(out.header.frame_id == "base");
      for (const auto & p : out.polygon.points) {
        FUZZ_CHECK(p.z == 0.0F);
      }
      break;
    }
    case 6: {
      const auto points = imagePoints(in);
      const cv::Point centre(in.raw<std::int32_t>(), in.raw<std::int32_t>());
      const double angle = in.hostile(-720.0, 720.0);
      const bool in_place = in.byte() % 2 == 0;
      std::vector<cv::Point> out = in_place ? points : imagePoints(in);
      const std::vector<cv::Point> before = out;
      try {
        robot.transformPoints(in_place ? out : points, out, centre, angle);
        FUZZ_CHECK(out.size() == points.size());
      } catch (const std::out_of_range &) {
        FUZZ_CHECK(out == before);
      }
      break;
    }
    case 7: {
      geometry_msgs::msg::PolygonStamped poly;
      poly.polygon = polygon(in);
      const std::size_t size = poly.polygon.points.size();
      robot.translatePolygon(poly, pose(in));
      FUZZ_CHECK(poly.polygon.points.size() == size);
      break;
    }
    case 8: {
      const auto frame = polygon(in);
      const double depth = in.hostile(-5.0, 5.0);
      try {
        const auto result = robot.resizeLiftFrame(frame, depth, in.byte() % 2 == 0);
        FUZZ_CHECK(frame.points.size() >= 4);
        FUZZ_CHECK(result.points.size() == 4);
        FUZZ_CHECK(sameBits(result.points[0], frame.points[0]));
        FUZZ_CHECK(sameBits(result.points[3], frame.points[3]));
      } catch (const std::invalid_argument &) {
        FUZZ_CHECK(frame.points.size() < 4);
      }
      break;
    }
    case 9: {
      const auto poly = polygon(in);
      const bool inside = robot.isPointInPolygon(poly, pose(in).pose);
      FUZZ_CHECK(!poly.points.empty() || !inside);
      break;
    }
    case 10: {
      const auto inner = polygon(in);
      const auto outer = polygon(in);
      const bool contained = robot.isPolygonContained(inner, outer);
      FUZZ_CHECK(!inner.points.empty() || contained);
      break;
    }
    case 11: {
      const auto poses = path(in).poses;
      nav_msgs::msg::Path out = path(in);
      const auto header = out.header;
      robot.convertToPath(poses, out);
      FUZZ_CHECK(samePoses(out.poses, poses));
      FUZZ_CHECK(out.header == header);
      break;
    }
    case 12: {
      FUZZ_CHECK(!(robot.calpathDistance(path(in)) < 0.0));
      break;
    }
    case 13: {
      const auto input = path(in);
      const double spacing = in.hostile(-1.0, 5.0);
      const bool in_place = in.byte() % 2 == 0;
      nav_msgs::msg::Path out = in_place ? input : path(in);
      const auto before = out;
      robot.dilutePath(in_place ? out : input, out, spacing);
      if (input.poses.empty()) {
        FUZZ_CHECK(out.header == before.header && samePoses(out.poses, before.poses));
      } else {
        FUZZ_CHECK(out.header == input.header);
        FUZZ_CHECK(!out.poses.empty() && out.poses.size() <= input.poses.size());
        FUZZ_CHECK(samePose(out.poses.front(), input.poses.front()));
      }
      break;
    }
    case 14:
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
