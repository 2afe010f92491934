#ifndef NAV2_COSTMAP_2D__COSTMAP_2D_HPP_
#define NAV2_COSTMAP_2D__COSTMAP_2D_HPP_

#include <memory>
#include <mutex>

namespace nav2_costmap_2d {

/// A cell index pair.
struct MapLocation
{
  unsigned int x;
  unsigned int y;
};

/**
 * @brief A 2-D grid of one-byte costs placed in the world.
 *
 * Cell (mx, my) covers [origin_x + mx * resolution, origin_x + (mx + 1) * resolution) along x
 * and likewise along y; cells are stored row by row, row 0 at the lowest y. Lengths are in
 * metres, in the frame the origin is given in.
 *
 * Thread safety: none of the accessors lock. Code that changes the costmap while others read it
 * holds getMutex(); only the (re)allocating operations take it themselves.
 */
class Costmap2D
{
public:
  /**
   * @brief Allocates a grid and fills it with @p default_value.
   * @param cells_size_x width in cells
   * @param cells_size_y height in cells
   * @param resolution metres per cell
   * @param origin_x world x of the grid's lower-left corner, metres
   * @param origin_y world y of the grid's lower-left corner, metres
   * @param default_value cost of every cell
   */
  Costmap2D(
      unsigned int cells_size_x, unsigned int cells_size_y, double resolution, double origin_x,
      double origin_y, unsigned char default_value = 0);

  /// @brief An empty grid: 0 x 0 cells, resolution 0, origin (0, 0).
  Costmap2D();

  /// @brief Deep copy of size, resolution, origin and costs (not the default value).
  Costmap2D(const Costmap2D & map);

  /// @brief Deep copy of size, resolution, origin and costs (not the default value).
  Costmap2D & operator=(const Costmap2D & map);

  virtual ~Costmap2D();

  /// @brief Cost of cell (mx, my); the cell must lie inside the grid.
  unsigned char getCost(unsigned int mx, unsigned int my) const;

  /// @brief Cost of the cell at row-major @p index; the index must lie inside the grid.
  unsigned char getCost(unsigned int index) const;

  /// @brief Sets the cost of cell (mx, my); the cell must lie inside the grid.
  void setCost(unsigned int mx, unsigned int my, unsigned char cost);

  /// @brief World coordinates (metres) of the centre of cell (mx, my).
  void mapToWorld(unsigned int mx, unsigned int my, double & wx, double & wy) const;

  /**
   * @brief Cell that holds the world point (wx, wy), by truncation.
   * @return false when the point lies outside the grid; the indices are then meaningless.
   */
  bool worldToMap(double wx, double wy, unsigned int & mx, unsigned int & my) const
  {
    // Inline: callers convert many points in a row.
    if (wx < origin_x_ || wy < origin_y_) {
      return false;
    }
    const bool inside_x = toCell((wx - origin_x_) / resolution_, size_x_, mx);
    const bool inside_y = toCell((wy - origin_y_) / resolution_, size_y_, my);
    return inside_x && inside_y;
  }

  /// @brief Row-major index of cell (mx, my).
  inline unsigned int getIndex(unsigned int mx, unsigned int my) const
  {
    return my * size_x_ + mx;
  }

  /// @brief Cell of the row-major @p index.
  inline void indexToCells(unsigned int index, unsigned int & mx, unsigned int & my) const
  {
    my = index / size_x_;
    mx = index - (my * size_x_);
  }

  /// @brief The costs, row-major, row 0 at the lowest y; null for an empty grid.
  unsigned char * getCharMap() const;

  /// @brief Width in cells.
  unsigned int getSizeInCellsX() const;

  /// @brief Height in cells.
  unsigned int getSizeInCellsY() const;

  /// @brief (width - 1 + 0.5) * resolution, Nav2's formula.
  double getSizeInMetersX() const;

  /// @brief (height - 1 + 0.5) * resolution, Nav2's formula.
  double getSizeInMetersY() const;

  /// @brief World x of the grid's lower-left corner, metres.
  double getOriginX() const;

  /// @brief World y of the grid's lower-left corner, metres.
  double getOriginY() const;

  /// @brief Metres per cell.
  double getResolution() const;

  /// @brief Sets the cost that resizeMap() and resetMap() fill with.
  void setDefaultValue(unsigned char c)
  {
    default_value_ = c;
  }

  /// @brief The cost that resizeMap() and resetMap() fill with.
  unsigned char getDefaultValue()
  {
    return default_value_;
  }

  /// @brief Reallocates the grid with new geometry and fills it with the default value.
  void resizeMap(
      unsigned int size_x, unsigned int size_y, double resolution, double origin_x,
      double origin_y);

  /// @brief Fills the cells [x0, xn) x [y0, yn) with the default value (under the mutex).
  void resetMap(unsigned int x0, unsigned int y0, unsigned int xn, unsigned int yn);

  typedef std::recursive_mutex mutex_t;

  /// @brief The mutex that guards the costs against concurrent change.
  mutex_t * getMutex()
  {
    return access_.get();
  }

protected:
  unsigned int size_x_;
  unsigned int size_y_;
  double resolution_;
  double origin_x_;
  double origin_y_;
  std::unique_ptr<unsigned char[]> costmap_;
  unsigned char default_value_;

private:
  // Truncates a non-negative cell coordinate; a value an unsigned int cannot hold (or NaN)
  // gives false instead of an undefined conversion.
  static bool toCell(double cells, unsigned int size, unsigned int & out)
  {
    if (!(cells < 4294967296.0)) {
      out = 0xFFFFFFFFu;
      return false;
    }
    out = static_cast<unsigned int>(cells);
    return out < size;
  }

  std::unique_ptr<mutex_t> access_;
};

}  // namespace nav2_costmap_2d

#endif  // NAV2_COSTMAP_2D__COSTMAP_2D_HPP_
