#include "skelmar_nav2_tools/base_robot.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <utility>

#include <fmt/format.h>
#include <tf2/LinearMath/Matrix3x3.h>
#include <tf2/LinearMath/Quaternion.h>
#include <tf2/utils.h>
#include <boost/uuid/random_generator.hpp>
#include <boost/uuid/uuid.hpp>
#include <boost/uuid/uuid_io.hpp>
#include <tf2_geometry_msgs/tf2_geometry_msgs.hpp>

#include "log_call.hpp"

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kTwoPi = 6.283185307179586;

// Below this magnitude the angle difference is reduced step by step (a few hundred thousand
// steps at most); above it an exact remainder gets there first.
constexpr double kStepwiseReductionLimit = 1e6;

// Range of float values that convert to int without overflow: [-2^31, 2^31).
constexpr float kIntLowest = -2147483648.0F;
constexpr float kIntBeyondMax = 2147483648.0F;

int truncateToInt(float value)
{
  if (!(value >= kIntLowest && value < kIntBeyondMax)) {
    throw std::out_of_range("transformPoints: rotated coordinate does not fit an int");
  }
  return static_cast<int>(value);
}

}  // namespace

double BaseRobot::quaternion2Yaw(const geometry_msgs::msg::Quaternion & quat)
{
  const tf2::Quaternion q(quat.x, quat.y, quat.z, quat.w);
  double roll = 0.0;
  double pitch = 0.0;
  double yaw = 0.0;
  tf2::Matrix3x3(q).getRPY(roll, pitch, yaw);
  return yaw;
}

geometry_msgs::msg::Quaternion BaseRobot::eulerToQuaternion(double yaw, double roll, double pitch)
{
  tf2::Quaternion q;
  q.setRPY(roll, pitch, yaw);
  geometry_msgs::msg::Quaternion out;
  out.x = q.x();
  out.y = q.y();
  out.z = q.z();
  out.w = q.w();
  return out;
}

double BaseRobot::calDelAngle(double a, double b)
{
  double d = a - b;
  if (!std::isfinite(d)) {
    return std::numeric_limits<double>::quiet_NaN();
  }
  if (std::fabs(d) >= kStepwiseReductionLimit) {
    d = std::remainder(d, kTwoPi);
  }
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

double BaseRobot::calDistance(
    const geometry_msgs::msg::PoseStamped & a, const geometry_msgs::msg::PoseStamped & b)
{
  return std::sqrt(sqDistance(a, b));
}

double BaseRobot::sqDistance(
    const geometry_msgs::msg::PoseStamped & a, const geometry_msgs::msg::PoseStamped & b)
{
  const double dx = a.pose.position.x - b.pose.position.x;
  const double dy = a.pose.position.y - b.pose.position.y;
  return dx * dx + dy * dy;
}

double BaseRobot::calculateCurvature(
    const geometry_msgs::msg::PoseStamped & p1, const geometry_msgs::msg::PoseStamped & p2,
    const geometry_msgs::msg::PoseStamped & p3)
{
  if (p1.pose.position.x == p2.pose.position.x && p2.pose.position.x == p3.pose.position.x) {
    return 0.0;
  }
  const double d12 = calDistance(p1, p2);
  const double d13 = calDistance(p1, p3);
  const double d23 = calDistance(p2, p3);
  const double cos_b = (d12 * d12 + d23 * d23 - d13 * d13) / (2.0 * d12 * d23);
  const double sin_b = std::sqrt(1.0 - cos_b * cos_b);
  const double radius = (d13 * 0.5) / sin_b;
  return 1.0 / radius;
}

std::string BaseRobot::generateUuid()
{
  // A fresh generator per call: nothing is shared between threads.
  boost::uuids::random_generator generator;
  return boost::uuids::to_string(generator());
}

void BaseRobot::printPose(const geometry_msgs::msg::PoseStamped & pose, std::string text)
{
  const auto & p = pose.pose.position;
  const auto & q = pose.pose.orientation;
  SKELMAR_LOG_INFO("info: {}", text);
  SKELMAR_LOG_INFO("point is {:};{:};{:}", p.x, p.y, p.z);
  SKELMAR_LOG_INFO("orientation is {:};{:};{:};{:}", q.x, q.y, q.z, q.w);
  SKELMAR_LOG_INFO("yaw is {}", quaternion2Yaw(q));
}

void BaseRobot::transformFootprint(
    double x, double y, double theta, const std::vector<geometry_msgs::msg::Point> & footprint,
    geometry_msgs::msg::PolygonStamped & out)
{
  out.polygon.points.clear();
  const double cos_th = std::cos(theta);
  const double sin_th = std::sin(theta);
  out.polygon.points.reserve(footprint.size());
  for (const auto & fp : footprint) {
    geometry_msgs::msg::Point32 p;
    p.x = static_cast<float>(x + (fp.x * cos_th - fp.y * sin_th));
    p.y = static_cast<float>(y + (fp.x * sin_th + fp.y * cos_th));
    p.z = 0.0F;
    out.polygon.points.push_back(p);
  }
}

void BaseRobot::transformPoints(
    const std::vector<cv::Point> & in, std::vector<cv::Point> & out, const cv::Point & centre,
    double angle)
{
  const float a = static_cast<float>(angle * kPi / 180.0);
  const float sin_a = std::sin(a);
  const float cos_a = std::cos(a);
  const float cx = static_cast<float>(centre.x);
  const float cy = static_cast<float>(centre.y);
  // Built apart so that in and out may be the same vector and out survives a throw.
  std::vector<cv::Point> rotated;
  rotated.reserve(in.size());
  for (const auto & p : in) {
    const float dx = static_cast<float>(p.x) - cx;
    const float dy = static_cast<float>(p.y) - cy;
    const float nx = dx * cos_a - dy * sin_a + cx;
    const float ny = dx * sin_a + dy * cos_a + cy;
    rotated.emplace_back(truncateToInt(nx), truncateToInt(ny));
  }
  out = std::move(rotated);
}

void BaseRobot::translatePolygon(
    geometry_msgs::msg::PolygonStamped & polygon, const geometry_msgs::msg::PoseStamped & pose)
{
  const double yaw = tf2::getYaw(pose.pose.orientation);
  auto & points = polygon.polygon.points;
  if (points.empty()) {
    return;
  }
  const double cos_y = std::cos(yaw);
  const double sin_y = std::sin(yaw);
  for (auto & p : points) {
    const double x = p.x;
    const double y = p.y;
    p.x = static_cast<float>(x * cos_y - y * sin_y);
    p.y = static_cast<float>(x * sin_y + y * cos_y);
  }
  for (auto & p : points) {
    p.x = static_cast<float>(p.x + pose.pose.position.x);
    p.y = static_cast<float>(p.y + pose.pose.position.y);
  }
}

geometry_msgs::msg::Polygon BaseRobot::resizeLiftFrame(
    const geometry_msgs::msg::Polygon & frame, double depth, bool extend)
{
  if (frame.points.size() < 4) {
    throw std::invalid_argument(
        "resizeLiftFrame: the lift frame needs four points, got " +
        std::to_string(frame.points.size()));
  }
  const auto & p0 = frame.points[0];
  const auto & p1 = frame.points[1];
  const auto & p2 = frame.points[2];
  const auto & p3 = frame.points[3];

  const float e23x_f = p3.x - p2.x;
  const float e23y_f = p3.y - p2.y;
  const float e10x_f = p0.x - p1.x;
  const float e10y_f = p0.y - p1.y;
  const double e23x = e23x_f;
  const double e23y = e23y_f;
  const double e10x = e10x_f;
  const double e10y = e10y_f;

  const double l23 = std::sqrt(e23x * e23x + e23y * e23y);
  const double l10 = std::sqrt(e10x * e10x + e10y * e10y);
  // A degenerate side keeps its zero direction: that corner does not move.
  const double u23x = l23 > 0.0 ? e23x / l23 : e23x;
  const double u23y = l23 > 0.0 ? e23y / l23 : e23y;
  const double u10x = l10 > 0.0 ? e10x / l10 : e10x;
  const double u10y = l10 > 0.0 ? e10y / l10 : e10y;

  const double shift = extend ? 4.0 : std::min(l23 - 0.1, depth + 0.2);
  const double sign = extend ? -1.0 : 1.0;

  geometry_msgs::msg::Point32 q1;
  q1.x = static_cast<float>(p1.x + sign * shift * u10x);
  q1.y = static_cast<float>(p1.y + sign * shift * u10y);
  q1.z = 0.0F;
  geometry_msgs::msg::Point32 q2;
  q2.x = static_cast<float>(p2.x + sign * shift * u23x);
  q2.y = static_cast<float>(p2.y + sign * shift * u23y);
  q2.z = 0.0F;

  geometry_msgs::msg::Polygon result;
  result.points = {p0, q1, q2, p3};
  return result;
}

bool BaseRobot::isPointInPolygon(
    const geometry_msgs::msg::Polygon & polygon, const geometry_msgs::msg::Pose & pose)
{
  const double px = pose.position.x;
  const double py = pose.position.y;
  const auto & pts = polygon.points;
  const std::size_t n = pts.size();

  bool inside = false;
  for (std::size_t i = 0, j = n - 1; i < n; j = i++) {
    const auto & pi = pts[i];
    const auto & pj = pts[j];
    if ((pi.y > py) != (pj.y > py)) {
      const float dx = pj.x - pi.x;
      const float dy = pj.y - pi.y;
      const double crossing = dx * (py - pi.y) / dy + pi.x;
      if (crossing > px) {
        inside = !inside;
      }
    }
  }
  if (inside) {
    return true;
  }
  for (const auto & p : pts) {
    const double dx = p.x - px;
    const double dy = p.y - py;
    if (std::sqrt(dx * dx + dy * dy) < 0.01) {
      return true;
    }
  }
  return false;
}

bool BaseRobot::isPolygonContained(
    const geometry_msgs::msg::Polygon & inner, const geometry_msgs::msg::Polygon & outer)
{
  geometry_msgs::msg::Pose pose;
  for (const auto & p : inner.points) {
    pose.position.x = p.x;
    pose.position.y = p.y;
    if (!isPointInPolygon(outer, pose)) {
      return false;
    }
  }
  return true;
}

void BaseRobot::convertToPath(
    const std::vector<geometry_msgs::msg::PoseStamped> & poses, nav_msgs::msg::Path & path)
{
  path.poses = poses;
}

double BaseRobot::calpathDistance(const nav_msgs::msg::Path & path)
{
  double length = 0.0;
  for (std::size_t i = 1; i < path.poses.size(); ++i) {
    length += calDistance(path.poses[i - 1], path.poses[i]);
  }
  return length;
}

void BaseRobot::dilutePath(
    const nav_msgs::msg::Path & in, nav_msgs::msg::Path & out, const double & spacing)
{
  if (in.poses.empty()) {
    return;
  }
  nav_msgs::msg::Path result;
  result.header = in.header;
  result.poses.push_back(in.poses.front());
  double travelled = 0.0;
  for (std::size_t i = 1; i < in.poses.size(); ++i) {
    travelled += calDistance(in.poses[i], in.poses[i - 1]);
    if (travelled >= spacing) {
      result.poses.push_back(in.poses[i]);
      travelled = 0.0;
    }
  }
  if (travelled != 0.0) {
    result.poses.push_back(in.poses.back());
  }
  out = std::move(result);
  SKELMAR_LOG_INFO("dilution path size:{}", out.poses.size());
}

// Free-area checks and the fuzzy goal search. The scan and the search order live in their own
// files; the log statements stay here so that records name this file and these functions.

#include <string>

#include <skelmar_nav2_gridmap/grid_map_ros.hpp>

#include "area_bounds.hpp"
#include "free_area_scan.hpp"
#include "goal_search_order.hpp"

namespace {
namespace free_area {

constexpr int kWorldToMapFailed = 101100005;
constexpr double kNoDistance = 1.7976931348623157e308;
constexpr double kMaxRectangleSamples = 1e8;

// Records carry the name of the function that writes them, so the scan's records come from
// functions named after the check. This one reports one sample outside the grid.
void isFreeArea()
{
  SKELMAR_LOG_ERROR("isFreeArea failed worldToMap, error code is {}", kWorldToMapFailed);
}

// Non-finite input would make every answer meaningless (a NaN position samples nothing and
// reads as free): it is refused before anything is touched.
void requireFinite(const char * operation, const char * what, double value)
{
  if (!std::isfinite(value)) {
    throw std::invalid_argument(fmt::format("{}: {} is not finite ({})", operation, what, value));
  }
}

void requireFinitePose(const char * operation, const geometry_msgs::msg::Pose & pose)
{
  requireFinite(operation, "position x", pose.position.x);
  requireFinite(operation, "position y", pose.position.y);
  requireFinite(operation, "orientation x", pose.orientation.x);
  requireFinite(operation, "orientation y", pose.orientation.y);
  requireFinite(operation, "orientation z", pose.orientation.z);
  requireFinite(operation, "orientation w", pose.orientation.w);
}

void requireFiniteArea(const char * operation, const geometry_msgs::msg::Polygon & area)
{
  for (const auto & point : area.points) {
    requireFinite(operation, "an area point's x", point.x);
    requireFinite(operation, "an area point's y", point.y);
  }
}

// Sampling steps along one side of the rectangle: the scan walks [-extent / 2, extent / 2).
double stepsAlong(double extent, double resolution)
{
  return extent > 0.0 ? std::ceil(extent / resolution) : 0.0;
}

// Costmap2D::worldToMap divides by the resolution and turns the quotient into a cell index
// unchecked, so a grid that cannot be sampled is refused before it is asked anything. A
// rectangle of more samples than kMaxRectangleSamples would keep the caller for hours (and
// off the grid log every sample): it is refused too.
void requireScannableRectangle(
    const char * operation, const skelmar_nav2_gridmap::MultiGridMap & multi_map, double length,
    double width)
{
  const double resolution = multi_map.costmap->getResolution();
  if (!(resolution > 0.0) || !std::isfinite(resolution)) {
    throw std::invalid_argument(fmt::format(
        "{}: the costmap's resolution is not a positive finite number ({})", operation,
        resolution));
  }
  // An empty row still costs its step, so a long rectangle without width counts its rows.
  const double samples =
      stepsAlong(length, resolution) * std::max(stepsAlong(width, resolution), 1.0);
  if (samples > kMaxRectangleSamples) {
    throw std::invalid_argument(fmt::format(
        "{}: a rectangle of {} m by {} m takes more than 1e8 samples at the costmap's "
        "resolution ({} m)",
        operation, length, width, resolution));
  }
}

void requireFiniteRectangle(
    const char * operation, const geometry_msgs::msg::Pose & pose, double length, double width)
{
  requireFinitePose(operation, pose);
  requireFinite(operation, "length", length);
  requireFinite(operation, "width", width);
}

}  // namespace free_area
}  // namespace

bool BaseRobot::isFreeArea(
    geometry_msgs::msg::PoseStamped pose, double length, double width,
    std::shared_ptr<skelmar_nav2_gridmap::GridMapROS> gridmap)
{
  free_area::requireFiniteRectangle("isFreeArea", pose.pose, length, width);
  gridmap->waitForCostmap();
  gridmap->multi_map->updateMap();
  const std::shared_ptr<skelmar_nav2_gridmap::MultiGridMap> multi_map = gridmap->multi_map;
  free_area::requireScannableRectangle("isFreeArea", *multi_map, length, width);
  skelmar_internal::RectangleScan scan(
      *multi_map, pose.pose.orientation, length, width, &free_area::isFreeArea);
  return scan.isFree(pose.pose.position.x, pose.pose.position.y);
}

bool BaseRobot::isFreeArea(
    geometry_msgs::msg::PoseStamped pose, double length, double width,
    const std::shared_ptr<skelmar_nav2_gridmap::MultiGridMap> & multi_map,
    geometry_msgs::msg::PoseStamped & /*out_pose*/, const geometry_msgs::msg::PolygonStamped & area)
{
  free_area::requireFiniteRectangle("isFreeArea", pose.pose, length, width);
  free_area::requireFiniteArea("isFreeArea", area.polygon);
  // Outside the area nothing the grid holds could make the pose free: the grid is not asked,
  // and a grid or rectangle that could not be scanned does not matter.
  if (!isPointInPolygon(area.polygon, pose.pose)) {
    return false;
  }
  free_area::requireScannableRectangle("isFreeArea", *multi_map, length, width);
  skelmar_internal::RectangleScan scan(
      *multi_map, pose.pose.orientation, length, width, &free_area::isFreeArea);
  return scan.isFree(pose.pose.position.x, pose.pose.position.y);
}

bool BaseRobot::isFuzzyGoalFree(
    geometry_msgs::msg::PoseStamped & goal, double range_x, double range_y, double length,
    double width, std::shared_ptr<skelmar_nav2_gridmap::GridMapROS> gridmap,
    const geometry_msgs::msg::PolygonStamped & area)
{
  using Position = skelmar_internal::GoalSearchWindow::Position;

  free_area::requireFiniteRectangle("isFuzzyGoalFree", goal.pose, length, width);
  free_area::requireFinite("isFuzzyGoalFree", "range_x", range_x);
  free_area::requireFinite("isFuzzyGoalFree", "range_y", range_y);
  free_area::requireFiniteArea("isFuzzyGoalFree", area.polygon);

  gridmap->waitForCostmap();
  gridmap->multi_map->updateMap();
  const std::shared_ptr<skelmar_nav2_gridmap::MultiGridMap> multi_map = gridmap->multi_map;
  free_area::requireScannableRectangle("isFuzzyGoalFree", *multi_map, length, width);
  const double goal_x = goal.pose.position.x;
  const double goal_y = goal.pose.position.y;
  const skelmar_internal::AreaBounds area_bounds(area.polygon);
  // One scan for the goal and every candidate: they share the heading, the rectangle, the
  // samples found blocking and the remembered inDanger answers.
  skelmar_internal::RectangleScan scan(
      *multi_map, goal.pose.orientation, length, width, &free_area::isFreeArea);
  geometry_msgs::msg::Pose position = goal.pose;
  // The second isFreeArea overload at (x, y): the area test first, then the scan.
  auto free_at = [&](double x, double y) {
    if (area_bounds.excludes(x, y)) {
      return false;
    }
    position.position.x = x;
    position.position.y = y;
    return isPointInPolygon(area.polygon, position) && scan.isFree(x, y);
  };

  if (free_at(goal_x, goal_y)) {
    return true;
  }

  // Only a blocked goal needs the window: a free one is kept whatever the window's size.
  const skelmar_internal::GoalSearchWindow window(
      goal_x, goal_y, range_x, range_y, multi_map->costmap->getResolution(), area_bounds);
  scan.rememberAnswersWithin(window.reach());

  // A position is tested only when strictly closer than the best free one so far: the
  // closest free position wins, the first in scan order among equals.
  double best = free_area::kNoDistance;
  bool found = false;
  double best_x = 0.0;
  double best_y = 0.0;
  auto consider = [&](const Position & p) {
    const double d = window.distance(p.row, p.column);
    if (d < best && free_at(window.x(p.column), window.y(p.row))) {
      best = d;
      best_x = window.x(p.column);
      best_y = window.y(p.row);
      found = true;
    }
  };

  if (scan.staysOnGrid(window.reach())) {
    // No tested rectangle can log a sample outside the grid, so the order of the tests and
    // which positions are tested are invisible: positions that a sample known to block
    // rules out, or that lie outside the area, are dropped, and the rest go nearest first.
    std::vector<Position> open;
    for (std::uint32_t row = 0; row < window.rowCount(); ++row) {
      for (std::uint32_t column = 0; column < window.columnCount(); ++column) {
        const double x = window.x(column);
        const double y = window.y(row);
        if (window.distance(row, column) < free_area::kNoDistance && !area_bounds.excludes(x, y) &&
            !scan.knownBlocked(x, y)) {
          open.push_back(Position{row, column});
        }
      }
    }
    const auto rings = window.nearestFirst(open);
    std::size_t begin = 0;
    for (std::size_t end : rings.ends) {
      for (std::size_t i = begin; i < end; ++i) {
        consider(rings.positions[i]);
      }
      if (found) {
        break;
      }
      begin = end;
    }
  } else {
    // Scan order: the error records of rectangles off the grid come out as they must.
    for (std::uint32_t row = 0; row < window.rowCount(); ++row) {
      for (std::uint32_t column = 0; column < window.columnCount(); ++column) {
        consider(Position{row, column});
      }
    }
  }

  if (found) {
    goal.pose.position.x = best_x;
    goal.pose.position.y = best_y;
    return true;
  }
  SKELMAR_LOG_INFO("isFuzzyGoalFree fail to find free pose.");
  return false;
}
