#ifndef SKELMAR_NAV2_GRIDMAP__MULTI_GRID_MAP_HPP_
#define SKELMAR_NAV2_GRIDMAP__MULTI_GRID_MAP_HPP_

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "nav2_costmap_2d/cost_values.hpp"
#include "nav2_costmap_2d/costmap_2d.hpp"

namespace skelmar_nav2_gridmap {

/**
 * @brief The danger layer of a costmap: answers whether a cell is unsafe for the robot.
 *
 * The layer is a snapshot of the costmap's costs taken by updateMap(). A cell is in danger
 * when its cost is at least nav2_costmap_2d::INSCRIBED_INFLATED_OBSTACLE (253): inscribed,
 * lethal or unknown. There is one layer, number 0.
 *
 * Thread safety: every operation may be called from any number of threads at once. Costs are
 * changed through editCostmap(), which serialises writers with the costmap's own mutex; a
 * query that runs while updateMap() publishes an edit sees, cell by cell, either the old or the
 * new cost.
 */
class MultiGridMap
{
public:
  /**
   * @brief Builds the layer from the current costs of @p source.
   * @throws std::invalid_argument if @p source is null.
   */
  explicit MultiGridMap(std::shared_ptr<nav2_costmap_2d::Costmap2D> source);

  MultiGridMap(const MultiGridMap &) = delete;
  MultiGridMap & operator=(const MultiGridMap &) = delete;

  /// The costmap under the layer; valid while this object lives. Read it freely; change its
  /// costs only through editCostmap(). Its size, resolution and origin never change.
  nav2_costmap_2d::Costmap2D * costmap;

  /// @brief Brings the layer up to date with every edit made so far; cheap when there is none.
  void updateMap();

  /**
   * @brief Whether cell (mx, my) of the layer is unsafe for the robot.
   * @param mx, my cell indices, as Costmap2D::worldToMap gives them
   * @param layer layer number; only 0 exists
   * @return true when the cell's cost at the last updateMap() was at least 253
   * @throws std::out_of_range for a cell outside the grid or a layer other than 0
   */
  bool inDanger(unsigned int mx, unsigned int my, int layer)
  {
    // Inline: the free-space checks ask about many cells in a row.
    if (layer != 0 || mx >= size_x_ || my >= size_y_) {
      throwBadQuery(mx, my, layer);
    }
    return layer_[static_cast<std::size_t>(my) * size_x_ + mx].load(std::memory_order_relaxed) >=
           nav2_costmap_2d::INSCRIBED_INFLATED_OBSTACLE;
  }

  /**
   * @brief Changes costs of the costmap while holding its mutex; the next updateMap() shows them.
   * @param edit called once with the costmap; it may set costs but not resize or move the grid
   * @throws std::logic_error if @p edit changed the size, resolution or origin; whatever
   *         @p edit throws propagates (costs it already set are kept)
   */
  void editCostmap(const std::function<void(nav2_costmap_2d::Costmap2D &)> & edit);

private:
  [[noreturn]] void throwBadQuery(unsigned int mx, unsigned int my, int layer) const;
  void copyCosts();

  std::shared_ptr<nav2_costmap_2d::Costmap2D> source_;
  const unsigned int size_x_;
  const unsigned int size_y_;
  const double resolution_;
  const double origin_x_;
  const double origin_y_;
  // Atomic cells let queries run while an update copies new costs in.
  std::unique_ptr<std::atomic<unsigned char>[]> layer_;
  std::atomic<std::uint64_t> edits_{0};
  std::mutex update_mutex_;  // one update at a time
  std::atomic<std::uint64_t> published_edits_{0};
};

}  // namespace skelmar_nav2_gridmap

#endif  // SKELMAR_NAV2_GRIDMAP__MULTI_GRID_MAP_HPP_
