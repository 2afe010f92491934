#ifndef SKELMAR_NAV2_TOOLS__TRACE_MAT_HPP_
#define SKELMAR_NAV2_TOOLS__TRACE_MAT_HPP_

#include <memory>
#include <string>
#include <vector>

#include <nav2_util/node_thread.hpp>
#include <nav_msgs/msg/occupancy_grid.hpp>
#include <opencv2/core.hpp>
#include <rclcpp/rclcpp.hpp>
#include <skelmar_nav2_gridmap/grid_map_ros.hpp>

namespace skelmar_trace {

/**
 * @brief Debug raster laid over the costmap, drawn on by a caller and published as an
 *        occupancy grid on "trace/trace_<name>".
 *
 * Use it in cycles: reset(), any number of colouring calls, publishCVMatAsGrid().
 *
 * When the raster is sent: the subscription count of the trace topic is sampled by reset()
 * and only there. If nobody was subscribed at the last reset, the colouring calls and
 * publishCVMatAsGrid() do nothing at all; a viewer that subscribes later is served from the
 * next reset on, so the cycle it joined in is never sent.
 *
 * Raster addressing: cv::Point p is costmap cell (x = p.x, y = p.y), stored at row p.y,
 * column p.x. Points outside the raster are skipped: nothing is written or read there.
 *
 * Each trace owns a node "trace_<name>" spun by a thread of its own; rclcpp must be
 * initialised before construction. Not thread safe: construct, draw, reset, publish and
 * destroy from one thread (the trace's node thread touches none of the members below).
 */
class TraceMat
{
public:
  /**
   * @brief Creates the node "trace_<name>", its publisher on the relative topic
   *        "trace/trace_<name>" (keep last 1, reliable, volatile), starts the node thread
   *        and performs a first reset().
   * @param gridmap grid map whose costmap gives the raster's size and the published
   *        geometry and frame; shared for the trace's life.
   * @param name trace name; must make a valid ROS node name behind "trace_".
   * @throws std::invalid_argument if gridmap is null.
   * @throws std::runtime_error if the grid map holds no costmap.
   * @throws rclcpp exceptions (invalid name, no rclcpp::init) as rclcpp raises them.
   */
  TraceMat(const std::shared_ptr<skelmar_nav2_gridmap::GridMapROS> & gridmap, std::string name);

  /// @brief Stops and joins the node thread first, then releases the node and the rest.
  ~TraceMat();

  TraceMat(const TraceMat &) = delete;
  TraceMat & operator=(const TraceMat &) = delete;

  /**
   * @brief Starts a drawing cycle: zeroes the raster, reallocating it as a CV_8UC1 matrix
   *        of the costmap's size (rows = cells along y, columns = cells along x) if its
   *        size differs, and samples whether the trace topic has a subscriber.
   * @throws std::runtime_error if the grid map holds no costmap.
   */
  void reset();

  // The four colouring operations do nothing unless the topic had a subscriber at the last
  // reset(). Colours are stored as their raw byte (-1 becomes 255).

  /// @brief Stores the byte of colour in cell p (skipped outside the raster).
  void setMatPointColor(const cv::Point & p, char color);

  /// @brief Stores the byte of colour in each listed cell (those outside are skipped).
  void setMatPointsColor(const std::vector<cv::Point> & points, char color);

  /**
   * @brief Colours the open polyline through the points: every cell of every segment's
   *        integer line, end points included. One point colours that cell; an empty list
   *        colours nothing. Cells outside the raster are skipped.
   * @throws std::runtime_error "bresenham is out of iteration(10000)" if a segment's
   *         extent max(|dx|, |dy|) exceeds 10001 cells (whatever the raster bounds); what
   *         was coloured before that segment stays coloured, nothing of it is.
   */
  void setMatLineColor(const std::vector<cv::Point> & points, char color);

  /**
   * @brief Colours the closed outline through the points (the polygon is not filled): the
   *        polyline, then the closing segment from the last point back to the first.
   *        One point colours that cell; an empty list colours nothing.
   * @throws std::runtime_error as setMatLineColor().
   */
  void setMatPolygonColor(const std::vector<cv::Point> & points, char color);

  /**
   * @brief Reads cell p, whatever the subscription state.
   * @return the byte stored there (a colour of -1 reads 255); 0 outside the raster.
   */
  unsigned char getMatColor(const cv::Point & p) const;

  /**
   * @brief Replaces the raster by a deep copy of mat or, if invert is true, by its bitwise
   *        complement (each byte v becomes 255 - v). The raster keeps that size until the
   *        next reset(), and is published with it.
   * @throws std::invalid_argument if mat is not a 2-D CV_8UC1 matrix (the message names its
   *         type); the raster is then unchanged.
   */
  void setMat(const cv::Mat & mat, bool invert);

  /**
   * @brief Publishes the raster as a nav_msgs::msg::OccupancyGrid placed over the costmap:
   *        frame of the grid map, stamp from the trace node's clock, costmap resolution in
   *        single precision, origin at the outer corner of costmap cell (0, 0), size of the
   *        raster, raster bytes row by row with no value mapping.
   *
   * Does nothing, leaving grid_msg_ untouched, if nobody was subscribed at the last reset().
   * @throws std::runtime_error if the grid map holds no costmap; rclcpp exceptions as
   *         raised by publishing.
   */
  void publishCVMatAsGrid();

  /// The raster, one byte per cell (CV_8UC1).
  cv::Mat mat_;
  /// Publisher of the raster on "trace/trace_<name>".
  rclcpp::Publisher<nav_msgs::msg::OccupancyGrid>::SharedPtr publisher_;
  /// Trace name given at construction.
  std::string name_;
  /// Grid map giving size, resolution, origin and frame.
  std::shared_ptr<skelmar_nav2_gridmap::GridMapROS> gridmap_;
  /// Spins node_; stopped first on destruction.
  std::unique_ptr<nav2_util::NodeThread> node_thread_;
  /// Message reused by every publication.
  nav_msgs::msg::OccupancyGrid grid_msg_;
  /// The trace's own node "trace_<name>".
  std::unique_ptr<rclcpp::Node> node_;
  /// Whether the topic had a subscriber at the last reset(); gates drawing and publishing.
  bool has_subscribers_ = false;

private:
  void drawSegments(const std::vector<cv::Point> & points, char color, bool closed);
  void colorCells(const std::vector<cv::Point> & cells, char color);
};

}  // namespace skelmar_trace

#endif  // SKELMAR_NAV2_TOOLS__TRACE_MAT_HPP_
