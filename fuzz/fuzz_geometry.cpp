// BaseRobot's geometry on arbitrary doubles, poses, polygons, image points and paths: no
// crash, no endless loop, and the properties every result has whatever the input.

#include <stdexcept>

#include "fuzz_input.hpp"
#include "skelmar_nav2_tools/base_robot.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t * data, std::size_t size)
{
  skelmar_fuzz::FuzzInput in{data, size};
  BaseRobot robot;
  while (!in.empty()) {
    const double a = in.hostile(-20.0, 20.0), b = in.hostile(-720.0, 720.0);
    const auto p = in.pose(0, 0, 10), q = in.pose(0, 0, 10);
    const auto points = in.points(12);
    auto placed = geometry_msgs::msg::PolygonStamped().set__polygon(in.polygon(12, 0, 0, 10));
    const auto inner = in.polygon(12, 0, 0, 10);
    const double turn = robot.calDelAngle(a, b), yaw = robot.quaternion2Yaw(q.pose.orientation);
    FUZZ_CHECK(std::isfinite(a - b) ? turn > -M_PI && turn <= M_PI : std::isnan(turn));
    FUZZ_CHECK(std::isnan(yaw) || std::abs(yaw) <= M_PI);
    FUZZ_CHECK(!(robot.calDistance(p, q) < 0.0) && !(robot.calculateCurvature(p, q, p) < 0));
    std::vector<cv::Point> out{{1, 2}};
    try {  // turned about the last point; a throw leaves the output alone
      robot.transformPoints(points, out, points.empty() ? cv::Point() : points.back(), b);
      FUZZ_CHECK(out.size() == points.size());
    } catch (const std::out_of_range &) {
      FUZZ_CHECK((out == std::vector<cv::Point>{{1, 2}}));
    }
    try {
      FUZZ_CHECK(robot.resizeLiftFrame(placed.polygon, a, b > 0).points.size() == 4);
    } catch (const std::invalid_argument &) {
      FUZZ_CHECK(placed.polygon.points.size() < 4);
    }
    const bool empty = placed.polygon.points.empty();
    FUZZ_CHECK(!empty || robot.isPolygonContained(inner, placed.polygon) == inner.points.empty());
    robot.translatePolygon(placed, q);
    FUZZ_CHECK(!empty || !robot.isPointInPolygon(placed.polygon, p.pose));

    nav_msgs::msg::Path path, thinned = nav_msgs::msg::Path().set__poses({p});
    path.poses.resize(in.byte() % 25);
    for (auto & pose : path.poses) {
      pose = in.pose(0, 0, 10);
    }
    robot.dilutePath(path, thinned, a);
    const std::size_t kept = thinned.poses.size();
    FUZZ_CHECK(path.poses.empty() ? kept == 1 : kept > 0 && kept <= path.poses.size());
    FUZZ_CHECK(!(robot.calpathDistance(thinned) < 0.0));
  }
  return 0;
}
