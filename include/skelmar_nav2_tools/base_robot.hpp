#ifndef SKELMAR_NAV2_TOOLS__BASE_ROBOT_HPP_
#define SKELMAR_NAV2_TOOLS__BASE_ROBOT_HPP_

#include <memory>
#include <string>
#include <vector>

#include <geometry_msgs/msg/point.hpp>
#include <geometry_msgs/msg/polygon.hpp>
#include <geometry_msgs/msg/polygon_stamped.hpp>
#include <geometry_msgs/msg/pose.hpp>
#include <geometry_msgs/msg/pose_stamped.hpp>
#include <geometry_msgs/msg/quaternion.hpp>
#include <nav_msgs/msg/path.hpp>
#include <opencv2/core/types.hpp>

namespace skelmar_nav2_gridmap {
class GridMapROS;
class MultiGridMap;
}  // namespace skelmar_nav2_gridmap

/**
 * @brief Planar robot geometry: angles, distances, footprints, polygons, paths and the
 * free-space checks against the grid map.
 *
 * Stateless and freely copyable; every operation depends on its arguments alone (and, for
 * the free-space checks, on the grid map passed in). Lengths are in metres and angles in
 * radians unless an operation says otherwise; only x and y of positions are used.
 *
 * Thread safety: every operation is reentrant and may run on any thread at the same time,
 * provided the caller does not change the arguments during the call. They share nothing but
 * the process-wide logger.
 */
class BaseRobot
{
public:
  /**
   * @brief Yaw of a quaternion by tf2's Matrix3x3::getRPY (first solution).
   * @param quat Orientation; need not be normalised.
   * @return Yaw in radians; 0 at the gimbal lock (pitch of ±90°), NaN for the zero quaternion.
   */
  double quaternion2Yaw(const geometry_msgs::msg::Quaternion & quat);

  /**
   * @brief Quaternion of the z-y-x Euler angles, as tf2::Quaternion::setRPY(roll, pitch, yaw).
   * @param yaw Rotation about z in radians (note: first argument).
   * @param roll Rotation about x in radians.
   * @param pitch Rotation about y in radians.
   * @return The unit quaternion (x, y, z, w).
   */
  geometry_msgs::msg::Quaternion eulerToQuaternion(double yaw, double roll, double pitch);

  /**
   * @brief Difference a − b of two angles brought into (−π, π] by repeated steps of 2π.
   *
   * For |a − b| below 1e6 the result is exactly that of repeated subtraction or addition of
   * 2π; larger differences are first reduced with an exact remainder so the call stays short.
   * @param a Angle in radians.
   * @param b Angle in radians.
   * @return The difference in radians; −π comes back as +π; NaN when a − b is not finite.
   */
  double calDelAngle(double a, double b);

  /**
   * @brief Planar distance between the positions of two poses (z ignored).
   * @return Distance in metres.
   */
  double calDistance(
      const geometry_msgs::msg::PoseStamped & a, const geometry_msgs::msg::PoseStamped & b);

  /**
   * @brief Squared planar distance between the positions of two poses (z ignored).
   * @return Squared distance in square metres.
   */
  double sqDistance(
      const geometry_msgs::msg::PoseStamped & a, const geometry_msgs::msg::PoseStamped & b);

  /**
   * @brief Curvature of the circle through three positions, from the triangle's sides.
   * @param p1 First position.
   * @param p2 Middle position (where the angle is taken).
   * @param p3 Last position.
   * @return Unsigned curvature in 1/metre; 0 when all three x are equal or the points are
   * exactly collinear; NaN when rounding makes the angle's cosine exceed ±1 or when two
   * points coincide.
   */
  double calculateCurvature(
      const geometry_msgs::msg::PoseStamped & p1, const geometry_msgs::msg::PoseStamped & p2,
      const geometry_msgs::msg::PoseStamped & p3);

  /**
   * @brief A new random (version 4) UUID in canonical lowercase text form.
   * @return 36 characters: hex groups of 8, 4, 4, 4 and 12 separated by '-'.
   * @throws boost::uuids::entropy_error when the operating system's random source fails.
   */
  std::string generateUuid();

  /**
   * @brief Logs a pose at info level in four records: the text, the position, the
   * orientation and the yaw (by quaternion2Yaw), numbers in their shortest exact form. The
   * header is not printed. Nothing is written when the logger's level is above info.
   * @param pose Pose to print.
   * @param text Caller's label, printed unchanged.
   */
  void printPose(const geometry_msgs::msg::PoseStamped & pose, std::string text);

  /**
   * @brief Places a footprint given in the robot frame at the pose (x, y, theta).
   *
   * Each result coordinate is computed in double and stored as float; z is 0.
   * @param x Pose x in metres, in the frame of @p out.
   * @param y Pose y in metres, in the frame of @p out.
   * @param theta Pose heading in radians.
   * @param footprint Footprint points in the robot frame (z ignored).
   * @param out Its points are replaced, one per footprint point in order; header untouched.
   */
  void transformFootprint(
      double x, double y, double theta, const std::vector<geometry_msgs::msg::Point> & footprint,
      geometry_msgs::msg::PolygonStamped & out);

  /**
   * @brief Rotates image points about a centre, in single precision, truncating the results
   * toward zero.
   *
   * A positive angle turns from +x toward +y (clockwise on screen, where y grows down).
   * @param in Points to rotate; may be the same vector as @p out.
   * @param out Replaced by the rotated points, one per input point in order.
   * @param centre Centre of the rotation.
   * @param angle Rotation in degrees.
   * @throws std::out_of_range when a rotated coordinate does not fit an int (or is NaN);
   * @p out is then left unchanged.
   */
  void transformPoints(
      const std::vector<cv::Point> & in, std::vector<cv::Point> & out, const cv::Point & centre,
      double angle);

  /**
   * @brief Carries a polygon given in a pose's own frame into the frame the pose is
   * expressed in: rotates every point by the pose's yaw (tf2::getYaw), then adds the
   * position. Each pass stores its results as float.
   * @param polygon Points changed in place; header untouched.
   * @param pose Pose of the polygon's frame.
   */
  void translatePolygon(
      geometry_msgs::msg::PolygonStamped & polygon, const geometry_msgs::msg::PoseStamped & pose);

  /**
   * @brief Moves corners P1 and P2 of a four-cornered frame P0..P3 along the sides P1→P0 and
   * P2→P3, keeping the side P0–P3.
   *
   * Without @p extend the shift toward P0–P3 is depth + 0.2, but at most the length of
   * P2–P3 less 0.1; with @p extend the corners move 4.0 away from P0–P3.
   * @param frame The frame; only its first four points are read.
   * @param depth Depth in metres (unused with @p extend).
   * @param extend Whether to push the side outward instead of pulling it in.
   * @return The polygon P0, P1', P2', P3 (moved corners with z = 0).
   * @throws std::invalid_argument when @p frame has fewer than four points.
   */
  geometry_msgs::msg::Polygon resizeLiftFrame(
      const geometry_msgs::msg::Polygon & frame, double depth, bool extend);

  /**
   * @brief Whether the planar position of @p pose lies in @p polygon by the crossing rule,
   * or closer than 0.01 m to one of its vertices.
   * @param polygon Polygon in the frame of @p pose; an empty one contains nothing.
   * @param pose Position to test.
   */
  bool isPointInPolygon(
      const geometry_msgs::msg::Polygon & polygon, const geometry_msgs::msg::Pose & pose);

  /**
   * @brief Whether every vertex of @p inner passes isPointInPolygon on @p outer.
   *
   * Only vertices are tested, not edges. An empty @p inner is contained in anything.
   */
  bool isPolygonContained(
      const geometry_msgs::msg::Polygon & inner, const geometry_msgs::msg::Polygon & outer);

  /**
   * @brief Whether a rectangle centred on @p pose is clear in the grid map.
   *
   * Refreshes the grid map (waitForCostmap, then updateMap) and scans the rectangle at the
   * costmap's resolution in the pose's own frame ("lift_frame"); a sample in danger makes the
   * rectangle blocked, a sample outside the grid is logged (error 101100005) and skipped.
   * @param pose Pose in the map frame; its z is ignored.
   * @param length Full extent in metres along the pose's heading.
   * @param width Full extent in metres across the heading.
   * @param gridmap The robot's grid map.
   * @return true when no sample is in danger (also for a zero or negative extent).
   * @throws std::invalid_argument when the pose's x, y or orientation, @p length or @p width
   * is not finite (the grid map is then not touched), when the costmap's resolution is not
   * a positive finite number, or when the rectangle takes more than 1e8 samples
   * (ceil(length / resolution) times ceil(width / resolution), at least one per row).
   * @throws Whatever the grid map throws.
   */
  bool isFreeArea(
      geometry_msgs::msg::PoseStamped pose, double length, double width,
      std::shared_ptr<skelmar_nav2_gridmap::GridMapROS> gridmap);

  /**
   * @brief Whether @p pose lies in @p area and a rectangle centred on it is clear in the
   * already refreshed @p multi_map (no refresh here).
   *
   * The area test is isPointInPolygon (0.01 m vertex tolerance) and comes first: when it
   * fails the result is false and the grid map is not queried at all. The scan is that of the
   * other overload.
   * @param pose Pose in the map frame; its z is ignored.
   * @param length Full extent in metres along the pose's heading.
   * @param width Full extent in metres across the heading.
   * @param multi_map Refreshed multi-layer map.
   * @param out_pose Never written.
   * @param area Permitted area in the map frame.
   * @return true when the pose is in the area and no sample is in danger.
   * @throws std::invalid_argument when the pose's x, y or orientation, @p length, @p width or
   * a coordinate of @p area is not finite, or, for a pose inside @p area, when the costmap's
   * resolution is not a positive finite number or the rectangle takes more than 1e8 samples
   * (as in the other overload); no cell is then queried.
   * @throws Whatever the grid map throws.
   */
  bool isFreeArea(
      geometry_msgs::msg::PoseStamped pose, double length, double width,
      const std::shared_ptr<skelmar_nav2_gridmap::MultiGridMap> & multi_map,
      geometry_msgs::msg::PoseStamped & out_pose, const geometry_msgs::msg::PolygonStamped & area);

  /**
   * @brief Finds where a rectangle fits nearest to a goal that may be blocked.
   *
   * Refreshes the grid map once and tests the goal as the second isFreeArea overload does: a
   * free goal inside @p area is kept at once, whatever the window. Only then are the positions
   * of a map-aligned window around it tested at the costmap's resolution (rows by ascending y,
   * columns by ascending x), keeping the free one inside @p area with the smallest Manhattan
   * distance to the goal (the first in scan order among equals). Logs one info record when
   * nothing is free.
   * @param goal Goal in the map frame; on success its position x and y may be replaced,
   * nothing else of it changes. Must not be touched by other threads during the call.
   * @param range_x Full extent in metres of the window along the map's x axis.
   * @param range_y Full extent in metres of the window along the map's y axis.
   * @param length Rectangle extent in metres along the goal's heading.
   * @param width Rectangle extent in metres across the goal's heading.
   * @param gridmap The robot's grid map.
   * @param area Permitted area in the map frame.
   * Only positions inside the bounding box of @p area (widened by its vertex tolerance) are
   * visited, since no other can pass the area test; the result is that of the whole window.
   * @return true when the goal or a found position is free.
   * @throws std::invalid_argument, leaving @p goal unchanged, when the goal's x, y or
   * orientation, a range, @p length, @p width or a coordinate of @p area is not finite, when
   * the costmap's resolution is not a positive finite number, when the rectangle takes more
   * than 1e8 samples (as in isFreeArea), or, for a goal that is not free, when the search is
   * too large to finish: more than 1e8 window positions along one axis, or more than 1e8
   * positions inside the area's bounding box.
   * @throws Whatever the grid map throws; @p goal is then unchanged.
   */
  bool isFuzzyGoalFree(
      geometry_msgs::msg::PoseStamped & goal, double range_x, double range_y, double length,
      double width, std::shared_ptr<skelmar_nav2_gridmap::GridMapROS> gridmap,
      const geometry_msgs::msg::PolygonStamped & area);

  /**
   * @brief Builds a path from poses: @p path's poses are replaced by copies of @p poses in
   * order; its header is left to the caller.
   */
  void convertToPath(
      const std::vector<geometry_msgs::msg::PoseStamped> & poses, nav_msgs::msg::Path & path);

  /**
   * @brief Length of a path: the sum of the planar distances of its consecutive poses.
   * @return Length in metres; 0 for fewer than two poses.
   */
  double calpathDistance(const nav_msgs::msg::Path & path);

  /**
   * @brief Thins a path so that the kept poses lie at least @p spacing apart along it.
   *
   * Keeps the first pose, every pose at which the length travelled since the last kept one
   * reaches @p spacing, and the last pose unless that length is exactly 0 at the end. Poses
   * are copied whole. Logs the kept count at info level. An empty @p in leaves @p out
   * untouched and logs nothing.
   * @param in Path to thin.
   * @param out Replaced by the thinned path with @p in's header; may be the same object as
   * @p in.
   * @param spacing Minimum path length in metres between kept poses; zero or negative keeps
   * every pose.
   */
  void dilutePath(
      const nav_msgs::msg::Path & in, nav_msgs::msg::Path & out, const double & spacing);
};

#endif  // SKELMAR_NAV2_TOOLS__BASE_ROBOT_HPP_
