#ifndef SKELMAR_NAV2_TOOLS__SRC__AREA_BOUNDS_HPP_
#define SKELMAR_NAV2_TOOLS__SRC__AREA_BOUNDS_HPP_

#include <algorithm>
#include <cmath>

#include <geometry_msgs/msg/polygon.hpp>

namespace skelmar_internal {

/**
 * The bounding box of a permitted area, widened beyond the 0.01 m vertex tolerance of
 * BaseRobot::isPointInPolygon and beyond the rounding of its crossing test: a point outside
 * the box fails isPointInPolygon, so the free-area check rejects it before any grid query.
 */
class AreaBounds
{
public:
  explicit AreaBounds(const geometry_msgs::msg::Polygon & area)
  {
    if (area.points.empty()) {
      return;  // contains nothing: every point is outside
    }
    double x_min = area.points.front().x;
    double x_max = x_min;
    double y_min = area.points.front().y;
    double y_max = y_min;
    for (const auto & point : area.points) {
      if (!std::isfinite(point.x) || !std::isfinite(point.y)) {
        kind_ = Kind::UNBOUNDED;
        return;
      }
      x_min = std::min<double>(x_min, point.x);
      x_max = std::max<double>(x_max, point.x);
      y_min = std::min<double>(y_min, point.y);
      y_max = std::max<double>(y_max, point.y);
    }
    // The crossing abscissa can overshoot the box by a few float roundings of an edge.
    const double margin =
        0.02 + 1e-6 * (std::abs(x_min) + std::abs(x_max) + std::abs(y_min) + std::abs(y_max));
    x_min_ = x_min - margin;
    x_max_ = x_max + margin;
    y_min_ = y_min - margin;
    y_max_ = y_max + margin;
    kind_ = Kind::BOX;
  }

  /// True only if isPointInPolygon(area, (x, y)) is certainly false.
  bool excludes(double x, double y) const
  {
    return excludesX(x) || excludesY(y);
  }

  /// True only if isPointInPolygon(area, (x, y)) is certainly false for every y.
  bool excludesX(double x) const
  {
    return excludesAll() || (kind_ == Kind::BOX && (x < x_min_ || x > x_max_));
  }

  /// True only if isPointInPolygon(area, (x, y)) is certainly false for every x.
  bool excludesY(double y) const
  {
    return excludesAll() || (kind_ == Kind::BOX && (y < y_min_ || y > y_max_));
  }

private:
  bool excludesAll() const
  {
    return kind_ == Kind::EMPTY;
  }

  enum class Kind {
    EMPTY,      // no points
    UNBOUNDED,  // a coordinate is not finite: no box
    BOX
  };
  Kind kind_ = Kind::EMPTY;
  double x_min_ = 0.0;
  double x_max_ = 0.0;
  double y_min_ = 0.0;
  double y_max_ = 0.0;
};

}  // namespace skelmar_internal

#endif  // SKELMAR_NAV2_TOOLS__SRC__AREA_BOUNDS_HPP_
