// BaseRobot's angle, pose, polygon and path operations on arbitrary input: no crash, no hang.

#include "fuzz_input.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t * data, std::size_t size)
{
  FuzzInput in{data, size};
  BaseRobot robot;
  const double a = in.hostile(-20.0, 20.0), b = in.hostile(-720.0, 720.0);
  const auto p = in.pose(0, 0, 10), q = in.pose(0, 0, 10);
  auto placed = in.polygon(12, 0, 0, 10);
  robot.calDelAngle(a, b);
  robot.calculateCurvature(p, q, p);
  if (placed.polygon.points.size() >= 4) {  // fewer are refused
    robot.resizeLiftFrame(placed.polygon, a, b > 0);
  }
  robot.isPolygonContained(in.polygon(12, 0, 0, 10).polygon, placed.polygon);
  robot.translatePolygon(placed, q);
  nav_msgs::msg::Path path;
  path.poses.resize(in.next() % 25);
  std::generate(path.poses.begin(), path.poses.end(), [&in] { return in.pose(0, 0, 10); });
  robot.dilutePath(path, path, a);  // in place
  const auto points = in.points(12);
  std::vector<cv::Point> turned;
  try {  // about the last point; results beyond int are refused
    robot.transformPoints(points, turned, points.empty() ? cv::Point() : points.back(), b);
  } catch (const std::out_of_range &) {
  }
  return 0;
}
