#ifndef SKELMAR_NAV2_TOOLS__SRC__GOAL_SEARCH_ORDER_HPP_
#define SKELMAR_NAV2_TOOLS__SRC__GOAL_SEARCH_ORDER_HPP_

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "area_bounds.hpp"
#include "free_area_scan.hpp"

namespace skelmar_internal {

/**
 * The positions of the fuzzy goal search window around a goal (gx, gy) that the permitted area
 * does not rule out: rows y from gy - range_y / 2 while y <= gy + range_y / 2, columns x
 * likewise, each running value grown by repeated addition of the step, exactly as the search
 * loops produce them. Rows and columns outside the area's bounds are dropped: no position on
 * them can pass the area test, so the search result is the same without them.
 */
class GoalSearchWindow
{
public:
  /// Most positions a search may cover, along one axis of the window or in all.
  static constexpr double kMaxPositions = 1e8;

  /**
   * @throws std::invalid_argument when an axis of the window has more than kMaxPositions
   * positions, or more than kMaxPositions positions remain inside the area's bounds.
   */
  GoalSearchWindow(
      double goal_x, double goal_y, double range_x, double range_y, double step,
      const AreaBounds & area);

  /// False when a loop of the window would never end (a step that does not grow its value).
  bool ends() const
  {
    return ends_;
  }
  std::size_t rowCount() const
  {
    return ys_.size();
  }
  std::size_t columnCount() const
  {
    return xs_.size();
  }
  double x(std::size_t column) const
  {
    return xs_[column];
  }
  double y(std::size_t row) const
  {
    return ys_[row];
  }
  /// Manhattan distance of a position to the goal, computed as the search computes it.
  double distance(std::size_t row, std::size_t column) const
  {
    return std::abs(goal_y_ - ys_[row]) + std::abs(goal_x_ - xs_[column]);
  }
  /// Box of the goal and every position of the window that the area does not rule out.
  PositionBox reach() const;

  /// A position of the window: its row (y) and column (x).
  struct Position
  {
    std::uint32_t row;
    std::uint32_t column;
  };

  /**
   * Positions in rings of growing distance: every distance in a ring is smaller than every
   * distance in the next, and within a ring positions keep the order they are given in.
   * Visiting positions given in scan order ring by ring, with the search's strict distance
   * rule, finds the same winner as the whole scan, and once a ring holds a winner no later
   * ring can beat it.
   * @param positions positions whose distance is below the largest double
   */
  struct Rings
  {
    std::vector<Position> positions;
    std::vector<std::size_t> ends;  ///< ring k is positions[ends[k - 1], ends[k])
  };
  Rings nearestFirst(const std::vector<Position> & positions) const;

private:
  double goal_x_;
  double goal_y_;
  double step_;
  std::vector<double> xs_;
  std::vector<double> ys_;
  bool ends_;
};

}  // namespace skelmar_internal

#endif  // SKELMAR_NAV2_TOOLS__SRC__GOAL_SEARCH_ORDER_HPP_
