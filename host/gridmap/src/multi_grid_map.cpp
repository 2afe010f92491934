#include "skelmar_nav2_gridmap/multi_grid_map.hpp"

#include <cstddef>
#include <stdexcept>
#include <string>
#include <utility>

namespace skelmar_nav2_gridmap {
namespace {

std::shared_ptr<nav2_costmap_2d::Costmap2D> checked(
    std::shared_ptr<nav2_costmap_2d::Costmap2D> source)
{
  if (!source) {
    throw std::invalid_argument("MultiGridMap: the costmap is null");
  }
  return source;
}

}  // namespace

MultiGridMap::MultiGridMap(std::shared_ptr<nav2_costmap_2d::Costmap2D> source)
    : costmap(nullptr),
      source_(checked(std::move(source))),
      size_x_(source_->getSizeInCellsX()),
      size_y_(source_->getSizeInCellsY()),
      resolution_(source_->getResolution()),
      origin_x_(source_->getOriginX()),
      origin_y_(source_->getOriginY()),
      layer_(new std::atomic<unsigned char>[static_cast<std::size_t>(size_x_) * size_y_])
{
  costmap = source_.get();
  std::lock_guard<nav2_costmap_2d::Costmap2D::mutex_t> lock(*source_->getMutex());
  copyCosts();
}

void MultiGridMap::updateMap()
{
  // Without a new edit there is nothing to copy, and no lock to take.
  if (edits_.load(std::memory_order_acquire) == published_edits_.load(std::memory_order_acquire)) {
    return;
  }
  std::lock_guard<std::mutex> update_lock(update_mutex_);
  std::lock_guard<nav2_costmap_2d::Costmap2D::mutex_t> lock(*source_->getMutex());
  const std::uint64_t edits = edits_.load(std::memory_order_acquire);
  copyCosts();
  published_edits_.store(edits, std::memory_order_release);
}

void MultiGridMap::throwBadQuery(unsigned int mx, unsigned int my, int layer) const
{
  if (layer != 0) {
    throw std::out_of_range("MultiGridMap::inDanger: no layer " + std::to_string(layer));
  }
  throw std::out_of_range(
      "MultiGridMap::inDanger: cell (" + std::to_string(mx) + ", " + std::to_string(my) +
      ") lies outside the " + std::to_string(size_x_) + " x " + std::to_string(size_y_) + " grid");
}

void MultiGridMap::editCostmap(const std::function<void(nav2_costmap_2d::Costmap2D &)> & edit)
{
  std::lock_guard<nav2_costmap_2d::Costmap2D::mutex_t> lock(*source_->getMutex());
  // Count the edit even if it throws half-way: the costs it set must still be published.
  struct CountEdit
  {
    std::atomic<std::uint64_t> & edits;
    ~CountEdit()
    {
      edits.fetch_add(1, std::memory_order_release);
    }
  } count{edits_};
  edit(*source_);
  if (source_->getSizeInCellsX() != size_x_ || source_->getSizeInCellsY() != size_y_ ||
      source_->getResolution() != resolution_ || source_->getOriginX() != origin_x_ ||
      source_->getOriginY() != origin_y_) {
    throw std::logic_error(
        "MultiGridMap::editCostmap: the edit changed the costmap's size, resolution or origin, "
        "which are fixed for the life of the grid map");
  }
}

void MultiGridMap::copyCosts()
{
  if (source_->getSizeInCellsX() != size_x_ || source_->getSizeInCellsY() != size_y_) {
    throw std::logic_error(
        "MultiGridMap::updateMap: the costmap was resized; its size is fixed for the life of the "
        "grid map");
  }
  const unsigned char * costs = source_->getCharMap();
  const std::size_t cells = static_cast<std::size_t>(size_x_) * size_y_;
  for (std::size_t i = 0; i < cells; ++i) {
    layer_[i].store(costs[i], std::memory_order_relaxed);
  }
}

}  // namespace skelmar_nav2_gridmap
