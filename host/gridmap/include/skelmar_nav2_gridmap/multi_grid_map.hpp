#ifndef SKELMAR_NAV2_GRIDMAP__MULTI_GRID_MAP_HPP_
#define SKELMAR_NAV2_GRIDMAP__MULTI_GRID_MAP_HPP_

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "nav2_costmap_2d/cost_values.hpp"
#include "nav2_costmap_2d/costmap_2d.hpp"

namespace skelmar_nav2_gridmap {

/**
 * @brief The danger layer of a costmap: answers whether a cell is unsafe for the robot.
 *
 * The layer is a snapshot of the costmap's costs taken by updateMap(), whoever wrote them. A
 * cell is in danger when its cost is at least nav2_costmap_2d::INSCRIBED_INFLATED_OBSTACLE
 * (253): inscribed, lethal or unknown. There is one layer, number 0.
 *
 * Thread safety: every operation may be called from any number of threads at once. Whoever
 * writes costs into the costmap holds its mutex (Costmap2D::getMutex()) while doing so, as
 * nav2's layers do and as editCostmap() does; updateMap() takes its snapshot under that mutex.
 * A query that runs while another thread's updateMap() publishes new costs sees, cell by cell,
 * either the old or the new cost; a query made on the thread of an updateMap() after it
 * returned sees that snapshot or a later one.
 */
class MultiGridMap
{
public:
  /**
   * @brief Builds the layer from the current costs of @p source, taken under its mutex.
   * @throws std::invalid_argument if @p source is null.
   */
  explicit MultiGridMap(std::shared_ptr<nav2_costmap_2d::Costmap2D> source);

  MultiGridMap(const MultiGridMap &) = delete;
  MultiGridMap & operator=(const MultiGridMap &) = delete;

  /// The costmap under the layer; valid while this object lives. Read it freely; write its
  /// costs only while holding its mutex. Its size, resolution and origin never change.
  nav2_costmap_2d::Costmap2D * costmap;

  /**
   * @brief Brings the layer up to date with the costmap's current costs, however they were
   *        written. Holds the costmap's mutex for one pass over the costs.
   * @throws std::logic_error if the costmap was resized (the layer keeps its last costs).
   */
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
    const std::size_t cell = static_cast<std::size_t>(my) * size_x_ + mx;
    const std::uint64_t word = layer_[cell / kCellsPerWord].load(std::memory_order_relaxed);
    unsigned char costs[kCellsPerWord];
    std::memcpy(costs, &word, sizeof(word));
    return costs[cell % kCellsPerWord] >= nav2_costmap_2d::INSCRIBED_INFLATED_OBSTACLE;
  }

  /**
   * @brief Changes costs of the costmap while holding its mutex; the next updateMap() shows them.
   * @param edit called once with the costmap; it may set costs but not resize or move the grid
   * @throws std::logic_error if @p edit changed the size, resolution or origin; whatever
   *         @p edit throws propagates (costs it already set are kept)
   */
  void editCostmap(const std::function<void(nav2_costmap_2d::Costmap2D &)> & edit);

private:
  // Costs travel in words of eight cells, each stored and loaded whole, in the costmap's byte
  // order.
  static constexpr std::size_t kCellsPerWord = sizeof(std::uint64_t);
  static_assert(std::atomic<std::uint64_t>::is_always_lock_free, "queries must never block");

  [[noreturn]] void throwBadQuery(unsigned int mx, unsigned int my, int layer) const;
  void publishChangedCosts();

  std::shared_ptr<nav2_costmap_2d::Costmap2D> source_;
  const unsigned int size_x_;
  const unsigned int size_y_;
  const double resolution_;
  const double origin_x_;
  const double origin_y_;
  // The layer the queries read: atomic words let them run while a refresh stores new costs.
  std::unique_ptr<std::atomic<std::uint64_t>[]> layer_;
  // The same words as plain memory, used only under the costmap's mutex: comparing the costmap
  // with them finds the changed words at memory speed, and only those are stored into layer_.
  std::vector<std::uint64_t> published_;
};

}  // namespace skelmar_nav2_gridmap

#endif  // SKELMAR_NAV2_GRIDMAP__MULTI_GRID_MAP_HPP_
