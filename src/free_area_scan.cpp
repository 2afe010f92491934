#include "free_area_scan.hpp"

#include <algorithm>
#include <cmath>

namespace skelmar_internal {
namespace {

// Whether the loop "for (s = -extent / 2; s < extent / 2; s += step)" ends. It runs for ever
// once a step stops growing s (a step that is not positive, or too small for s); a step that
// makes s NaN ends it.
bool loopSteps(double extent, double step)
{
  for (double s = -extent / 2; s < extent / 2;) {
    const double next = s + step;
    if (next <= s) {
      return false;
    }
    s = next;
  }
  return true;
}

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
  first = static_cast<unsigned int>(from);
  count = static_cast<unsigned int>(to - from) + 1u;
  return true;
}

}  // namespace

RectangleScan::RectangleScan(
    skelmar_nav2_gridmap::MultiGridMap & map, const geometry_msgs::msg::Quaternion & orientation,
    double length, double width, const PositionBox & positions, void (*report_off_grid)())
    : map_(map),
      costmap_(*map.costmap),
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
      // The lateral loop runs only if the forward loop makes a pass.
      steps_(
          loopSteps(length, res_) && (!(-half_length_ < half_length_) || loopSteps(width, res_))),
      cache_(map, steps_ ? cacheWindow(positions) : CellWindow{})
{}

RectangleScan::Outcome RectangleScan::scan(double x, double y)
{
  if (!steps_) {
    return Outcome::CANNOT_STEP;
  }
  if (has_blocker_ && staysOnGrid(PositionBox{x, x, y, y})) {
    // Nothing can be reported here, so any sample in danger settles the outcome.
    bool on_grid = false;
    if (sampleInDanger(x, y, blocker_u_, blocker_v_, on_grid)) {
      return Outcome::BLOCKED;
    }
  }
  return scanInOrder(x, y);
}

RectangleScan::Outcome RectangleScan::scanInOrder(double x, double y)
{
  for (double u = -length_ / 2; u < length_ / 2; u += res_) {
    for (double v = -width_ / 2; v < width_ / 2; v += res_) {
      bool on_grid = false;
      if (sampleInDanger(x, y, u, v, on_grid)) {
        has_blocker_ = true;
        blocker_u_ = u;
        blocker_v_ = v;
        return Outcome::BLOCKED;
      }
      if (!on_grid) {
        report_off_grid_();
      }
    }
  }
  return Outcome::FREE;
}

bool RectangleScan::staysOnGrid(const PositionBox & positions) const
{
  // One cell of margin on every side dwarfs the rounding of the sample coordinates.
  const double origin_x = costmap_.getOriginX();
  const double origin_y = costmap_.getOriginY();
  const double size_x = costmap_.getSizeInCellsX();
  const double size_y = costmap_.getSizeInCellsY();
  const double slack = res_ + 1e-9 * (std::abs(origin_x) + std::abs(origin_y) + size_x * res_ +
                                      size_y * res_ + reach_x_ + reach_y_);
  return positions.x_min - reach_x_ >= origin_x + slack &&
         positions.x_max + reach_x_ <= origin_x + size_x * res_ - slack &&
         positions.y_min - reach_y_ >= origin_y + slack &&
         positions.y_max + reach_y_ <= origin_y + size_y * res_ - slack;
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
