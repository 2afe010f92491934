#ifndef SKELMAR_NAV2_TOOLS__SRC__FREE_AREA_SCAN_HPP_
#define SKELMAR_NAV2_TOOLS__SRC__FREE_AREA_SCAN_HPP_

#include <array>
#include <cstddef>

#include <geometry_msgs/msg/quaternion.hpp>
#include <skelmar_nav2_gridmap/grid_map_ros.hpp>

#include "danger_cache.hpp"

namespace skelmar_internal {

/// A box of world positions in metres (x_min <= x_max, y_min <= y_max).
struct PositionBox
{
  double x_min;
  double x_max;
  double y_min;
  double y_max;
};

/**
 * The rectangle scan of the free-area check for one heading and one rectangle size, placed at
 * any number of positions during one call.
 *
 * Each sample lands exactly where carrying it through tf2::doTransform would put it: the
 * lift_frame -> map rotation is computed once with the expressions of KDL::Rotation::Quaternion
 * (unnormalised) and applied in KDL's order of operations. Samples are visited in the order
 * of the definition (forward offset outer, lateral inner, both by repeated addition), and
 * every sample outside the grid is reported through the callback, in order, before the
 * outcome. A rectangle that cannot leave the grid reports nothing, so there any sample in
 * danger settles the outcome: the samples that blocked earlier positions are tried first.
 */
class RectangleScan
{
public:
  /**
   * @param map the refreshed grid map; it must outlive the scan
   * @param orientation the pose's orientation, not normalised
   * @param length, width full extents of the rectangle in metres
   * @param report_off_grid called once for every sample outside the grid
   */
  RectangleScan(
      skelmar_nav2_gridmap::MultiGridMap & map, const geometry_msgs::msg::Quaternion & orientation,
      double length, double width, void (*report_off_grid)());

  /// From now on, remembers the inDanger answers for the cells of rectangles centred anywhere
  /// in @p positions, where many rectangles will be placed.
  void rememberAnswersWithin(const PositionBox & positions)
  {
    cache_.rememberWithin(cacheWindow(positions));
  }

  /**
   * Scans the rectangle centred at (x, y) of the map frame; true when no sample is in danger.
   * The caller keeps the rectangle's sample count bounded: every step must advance.
   */
  bool isFree(double x, double y);

  /// Whether no sample of a rectangle centred anywhere in @p positions can leave the grid.
  bool staysOnGrid(const PositionBox & positions) const
  {
    return positions.x_min - reach_x_ >= inner_x_min_ &&
           positions.x_max + reach_x_ <= inner_x_max_ &&
           positions.y_min - reach_y_ >= inner_y_min_ && positions.y_max + reach_y_ <= inner_y_max_;
  }

  /**
   * Whether a sample that blocked an earlier position is in danger for the rectangle centred
   * at (x, y) too. Only for a rectangle that stays on the grid.
   */
  bool knownBlocked(double x, double y)
  {
    for (std::size_t i = 0; i < blocker_count_; ++i) {
      bool on_grid = false;
      if (sampleInDanger(x, y, blockers_[i].u, blockers_[i].v, on_grid)) {
        return true;
      }
    }
    return false;
  }

private:
  struct Sample
  {
    double u;
    double v;
  };

  // Map x and y of the sample (u, v) of a rectangle centred at (x, y), in KDL's order of
  // operations: (m00 u + m01 v + m02 z) + x with z = 0.
  double mapX(double x, double u, double v) const
  {
    return m00_ * u + m01_ * v + m02_z_ + x;
  }
  double mapY(double y, double u, double v) const
  {
    return m10_ * u + m11_ * v + m12_z_ + y;
  }
  bool sampleInDanger(double x, double y, double u, double v, bool & on_grid)
  {
    return cellInDanger(mapX(x, u, v), mapY(y, u, v), on_grid);
  }
  // Whether the cell holding the map point (wx, wy) is in danger; on_grid false for a point
  // outside the grid.
  bool cellInDanger(double wx, double wy, bool & on_grid)
  {
    unsigned int mx = 0;
    unsigned int my = 0;
    on_grid = costmap_.worldToMap(wx, wy, mx, my);
    return on_grid && cache_.inDanger(mx, my);
  }
  bool isFreeInOrder(double x, double y);
  void rememberBlocker(double u, double v);
  CellWindow cacheWindow(const PositionBox & positions) const;

  const nav2_costmap_2d::Costmap2D & costmap_;
  void (*const report_off_grid_)();
  const double res_;
  const double length_;
  const double width_;
  const double half_length_;
  const double half_width_;
  // Rotation rows of KDL::Rotation::Quaternion; the z column enters multiplied by z = 0.
  const double x_, y_, z_, w_;
  const double m00_, m01_, m02_z_;
  const double m10_, m11_, m12_z_;
  // Bounds of |m00 u + m01 v| and |m10 u + m11 v| over the rectangle.
  const double reach_x_;
  const double reach_y_;
  // The grid shrunk by a cell on every side, which dwarfs the rounding of sample coordinates.
  double inner_x_min_, inner_x_max_, inner_y_min_, inner_y_max_;
  std::array<Sample, 4> blockers_{};  // most recent first
  std::size_t blocker_count_ = 0;
  DangerCache cache_;
};

}  // namespace skelmar_internal

#endif  // SKELMAR_NAV2_TOOLS__SRC__FREE_AREA_SCAN_HPP_
