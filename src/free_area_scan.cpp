#include "free_area_scan.hpp"

#include <algorithm>
#include <cmath>

namespace skelmar_internal {
namespace {

// Answers are remembered for at most this many cells; beyond, cells are asked each time.
constexpr double kMaxCachedCells = 4.0e6;

// Cells along one axis covering world coordinates [lo, hi] and two more on each side, clipped
// to the grid; false when none lies on the grid or the range is not finite.
bool cellRange(
    double lo, double hi, double origin, double res, unsigned int size, unsigned int & first,
    unsigned int & count)
{
  const double a = std::floor((lo - origin) / res) - 2.0;
  const double b = std::floor((hi - origin) / res) + 2.0;
  if (!std::isfinite(a) || !std::isfinite(b) || b < 0.0 || a >= size) {
    return false;
  }
  const double from = std::max(a, 0.0);
  const double to = std::min(b, static_cast<double>(size) - 1.0);
  if (!(from <= to)) {
    return false;  // a resolution that is not positive turns the range around
  }
  first = static_cast<unsigned int>(from);
  count = static_cast<unsigned int>(to - from) + 1u;
  return true;
}

}  // namespace

RectangleScan::RectangleScan(
    skelmar_nav2_gridmap::MultiGridMap & map, const geometry_msgs::msg::Quaternion & orientation,
    double length, double width, void (*report_off_grid)())
    : costmap_(*map.costmap),
      report_off_grid_(report_off_grid),
      res_(costmap_.getResolution()),
      length_(length),
      width_(width),
      half_length_(length / 2),
      half_width_(width / 2),
      x_(orientation.x),
      y_(orientation.y),
      z_(orientation.z),
      w_(orientation.w),
      // KDL::Rotation::Quaternion's expressions, term for term.
      m00_(w_ * w_ + x_ * x_ - y_ * y_ - z_ * z_),
      m01_(2 * x_ * y_ - 2 * w_ * z_),
      m02_z_((2 * x_ * z_ + 2 * w_ * y_) * 0.0),
      m10_(2 * x_ * y_ + 2 * w_ * z_),
      m11_(w_ * w_ - x_ * x_ + y_ * y_ - z_ * z_),
      m12_z_((2 * y_ * z_ - 2 * w_ * x_) * 0.0),
      reach_x_(std::abs(m00_) * std::abs(half_length_) + std::abs(m01_) * std::abs(half_width_)),
      reach_y_(std::abs(m10_) * std::abs(half_length_) + std::abs(m11_) * std::abs(half_width_)),
      cache_(map)
{
  const double origin_x = costmap_.getOriginX();
  const double origin_y = costmap_.getOriginY();
  const double size_x = costmap_.getSizeInCellsX() * res_;
  const double size_y = costmap_.getSizeInCellsY() * res_;
  const double slack = res_ + 1e-9 * (std::abs(origin_x) + std::abs(origin_y) + size_x + size_y +
                                      reach_x_ + reach_y_);
  // NaN bounds make every comparison fail: nothing counts as staying on the grid.
  inner_x_min_ = origin_x + slack;
  inner_x_max_ = origin_x + size_x - slack;
  inner_y_min_ = origin_y + slack;
  inner_y_max_ = origin_y + size_y - slack;
}

bool RectangleScan::isFree(double x, double y)
{
  if (blocker_count_ > 0 && staysOnGrid(PositionBox{x, x, y, y}) && knownBlocked(x, y)) {
    return false;
  }
  return isFreeInOrder(x, y);
}

bool RectangleScan::isFreeInOrder(double x, double y)
{
  // Locals: the answer cache's byte stores would otherwise make the compiler reload members.
  const double res = res_;
  const double m01 = m01_;
  const double m11 = m11_;
  const double m02_z = m02_z_;
  const double m12_z = m12_z_;
  const double v_first = -width_ / 2;
  const double v_end = width_ / 2;
  for (double u = -length_ / 2; u < length_ / 2; u += res) {
    const double m00_u = m00_ * u;
    const double m10_u = m10_ * u;
    for (double v = v_first; v < v_end; v += res) {
      bool on_grid = false;
      // mapX and mapY with the forward terms taken once per row.
      if (cellInDanger(m00_u + m01 * v + m02_z + x, m10_u + m11 * v + m12_z + y, on_grid)) {
        rememberBlocker(u, v);
        return false;
      }
      if (!on_grid) {
        report_off_grid_();
      }
    }
  }
  return true;
}

void RectangleScan::rememberBlocker(double u, double v)
{
  const std::size_t kept = std::min(blocker_count_, blockers_.size() - 1);
  std::copy_backward(blockers_.begin(), blockers_.begin() + kept, blockers_.begin() + kept + 1);
  blockers_[0] = Sample{u, v};
  blocker_count_ = kept + 1;
}

CellWindow RectangleScan::cacheWindow(const PositionBox & positions) const
{
  CellWindow window;
  if (!cellRange(
          positions.x_min - reach_x_, positions.x_max + reach_x_, costmap_.getOriginX(), res_,
          costmap_.getSizeInCellsX(), window.x0, window.width) ||
      !cellRange(
          positions.y_min - reach_y_, positions.y_max + reach_y_, costmap_.getOriginY(), res_,
          costmap_.getSizeInCellsY(), window.y0, window.height) ||
      static_cast<double>(window.width) * window.height > kMaxCachedCells) {
    return CellWindow{};
  }
  return window;
}

}  // namespace skelmar_internal
