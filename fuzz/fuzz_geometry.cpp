// BaseRobot's geometry on arbitrary doubles, poses, polygons, image points and paths: no
// crash, no endless loop, and the properties every result has whatever the input.

#include <cmath>
#include <stdexcept>
#include <vector>

#include "fuzz_input.hpp"
#include "skelmar_nav2_tools/base_robot.hpp"

namespace {

using skelmar_fuzz::FuzzInput;

geometry_msgs::msg::PoseStamped pose(FuzzInput & in)
{
  geometry_msgs::msg::PoseStamped p;
  auto & o = p.pose.orientation;
  for (double * v : {&p.pose.position.x, &p.pose.position.y, &o.x, &o.y, &o.z, &o.w}) {
    *v = in.hostile(-10.0, 10.0);
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t * data, std::size_t size)
{
  static const bool quiet = (skelmar_fuzz::quietLogger(), true);
  (void)quiet;
  FuzzInput in(data, size);
  BaseRobot robot;
  for (int i = 0; i < 8 && !in.empty(); ++i) {
    switch (in.byte() % 8) {
      case 0: {
        const double a = in.hostile(-20.0, 20.0);
        const double b = in.hostile(-20.0, 20.0);
        const double d = robot.calDelAngle(a, b);
        FUZZ_CHECK(std::isfinite(a - b) ? d > -M_PI && d <= M_PI : std::isnan(d));
        break;
      }
      case 1: {
        const auto a = pose(in);
        const auto b = pose(in);
        FUZZ_CHECK(!(robot.calDistance(a, b) < 0.0) && !(robot.calculateCurvature(a, b, a) < 0));
        const double yaw = robot.quaternion2Yaw(a.pose.orientation);
        FUZZ_CHECK(std::isnan(yaw) || std::abs(yaw) <= M_PI);
        break;
      }
      case 2: {
        std::vector<cv::Point> points(in.count(12));
        for (auto & p : points) {
          p = cv::Point(in.raw<std::int32_t>() >> (in.byte() % 32), in.raw<std::int32_t>());
        }
        std::vector<cv::Point> out{{1, 2}};
        try {
          robot.transformPoints(points, out, {in.raw<int>(), 0}, in.hostile(-720.0, 720.0));
          FUZZ_CHECK(out.size() == points.size());
        } catch (const std::out_of_range &) {
          FUZZ_CHECK((out == std::vector<cv::Point>{{1, 2}}));
        }
        break;
      }
      case 3: {
        geometry_msgs::msg::PolygonStamped poly;
        poly.polygon = polygon(in);
        const std::size_t n = poly.polygon.points.size();
        robot.translatePolygon(poly, pose(in));
        FUZZ_CHECK(poly.polygon.points.size() == n);
        break;
      }
      case 4: {
        const auto frame = polygon(in);
        try {
          FUZZ_CHECK(
              robot.resizeLiftFrame(frame, in.hostile(-5, 5), in.byte() % 2).points.size() == 4);
        } catch (const std::invalid_argument &) {
          FUZZ_CHECK(frame.points.size() < 4);
        }
        break;
      }
      case 5: {
        const auto poly = polygon(in);
        FUZZ_CHECK(!poly.points.empty() || !robot.isPointInPolygon(poly, pose(in).pose));
        FUZZ_CHECK(!poly.points.empty() || robot.isPolygonContained(poly, polygon(in)));
        break;
      }
      default: {
        const auto input = path(in);
        nav_msgs::msg::Path out = path(in);
        const std::size_t before = out.poses.size();
        robot.dilutePath(input, out, in.hostile(-1.0, 5.0));
        FUZZ_CHECK(
            input.poses.empty() ? out.poses.size() == before
                                : out.poses.size() <= input.poses.size() && !out.poses.empty());
        FUZZ_CHECK(!(robot.calpathDistance(out) < 0.0));
      }
    }
  }
  return 0;
}
