#include "goal_search_order.hpp"

#include <algorithm>
#include <stdexcept>

namespace skelmar_internal {
namespace {

// Values of "for (v = low; v <= high; v += step)" that @p keep accepts; false if the loop never
// ends. Refuses a loop of more than GoalSearchWindow::kMaxPositions values.
template <typename Keep>
bool windowValues(
    double low, double high, double step, Keep keep, std::vector<double> & values,
    std::size_t & walked)
{
  walked = 0;
  for (double v = low; v <= high;) {
    if (++walked > GoalSearchWindow::kMaxPositions) {
      throw std::invalid_argument(
          "isFuzzyGoalFree: the search window has more than 1e8 positions along one axis");
    }
    if (keep(v)) {
      values.push_back(v);
    }
    const double next = v + step;
    if (next <= v) {
      return false;
    }
    v = next;
  }
  return true;
}

}  // namespace

GoalSearchWindow::GoalSearchWindow(
    double goal_x, double goal_y, double range_x, double range_y, double step,
    const AreaBounds & area)
    : goal_x_(goal_x), goal_y_(goal_y), step_(step)
{
  // The column loop runs only inside a row, and every row runs the same columns.
  std::size_t rows_walked = 0;
  std::size_t columns_walked = 0;
  ends_ = windowValues(
              goal_y - range_y / 2, goal_y + range_y / 2, step,
              [&area](double y) { return !area.excludesY(y); }, ys_, rows_walked) &&
          (rows_walked == 0 ||
           windowValues(
               goal_x - range_x / 2, goal_x + range_x / 2, step,
               [&area](double x) { return !area.excludesX(x); }, xs_, columns_walked));
  if (!ends_ || xs_.empty() || ys_.empty()) {
    xs_.clear();
    ys_.clear();
  }
  if (static_cast<double>(xs_.size()) * static_cast<double>(ys_.size()) > kMaxPositions) {
    throw std::invalid_argument(
        "isFuzzyGoalFree: more than 1e8 positions of the search window lie in the area's "
        "bounds");
  }
}

PositionBox GoalSearchWindow::reach() const
{
  PositionBox box{goal_x_, goal_x_, goal_y_, goal_y_};
  // Values grow along each loop, so the ends hold the extremes.
  if (!xs_.empty()) {
    box.x_min = std::min(box.x_min, xs_.front());
    box.x_max = std::max(box.x_max, xs_.back());
    box.y_min = std::min(box.y_min, ys_.front());
    box.y_max = std::max(box.y_max, ys_.back());
  }
  return box;
}

GoalSearchWindow::Rings GoalSearchWindow::nearestFirst(
    const std::vector<Position> & positions) const
{
  double farthest = 0.0;
  for (const Position & p : positions) {
    farthest = std::max(farthest, distance(p.row, p.column));
  }
  // Ring = truncation of distance * scale: for distances (never negative) and any positive
  // scale it never decreases as the distance grows, so equal distances share a ring and the
  // rings order the distances. One ring per step keeps the rings small.
  double scale = 1.0 / step_;
  const double ring_limit = static_cast<double>(xs_.size() + ys_.size()) + 1.0;
  if (!(scale > 0.0) || !(farthest * scale <= ring_limit)) {
    scale = farthest > 0.0 ? ring_limit / farthest : 0.0;
  }
  auto ring_of = [&](const Position & p) {
    return static_cast<std::size_t>(distance(p.row, p.column) * scale);
  };

  std::vector<std::size_t> starts(static_cast<std::size_t>(farthest * scale) + 2, 0);
  for (const Position & p : positions) {
    ++starts[ring_of(p) + 1];
  }
  for (std::size_t k = 1; k < starts.size(); ++k) {
    starts[k] += starts[k - 1];
  }
  Rings rings;
  rings.ends.assign(starts.begin() + 1, starts.end());
  rings.positions.resize(positions.size());
  // Counting sort: stable, so each ring keeps the given order.
  for (const Position & p : positions) {
    rings.positions[starts[ring_of(p)]++] = p;
  }
  return rings;
}

}  // namespace skelmar_internal
