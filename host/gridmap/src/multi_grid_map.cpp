#include "skelmar_nav2_gridmap/multi_grid_map.hpp"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <string>
#include <utility>

namespace skelmar_nav2_gridmap {
namespace {

// Words compared in one go before any is looked at alone: a block that did not change costs
// one vectorised comparison, and most blocks do not change between two refreshes.
constexpr std::size_t kBlockWords = 128;

std::shared_ptr<nav2_costmap_2d::Costmap2D> checked(
    std::shared_ptr<nav2_costmap_2d::Costmap2D> source)
{
  if (!source) {
    throw std::invalid_argument("MultiGridMap: the costmap is null");
  }
  return source;
}

std::size_t wordsFor(std::size_t cells, std::size_t cells_per_word)
{
  return (cells + cells_per_word - 1) / cells_per_word;
}

// Stores @p costs into a word of the layer and its plain copy, unless they hold them already.
void publishWord(std::uint64_t & published, std::atomic<std::uint64_t> & layer, std::uint64_t costs)
{
  if (published != costs) {
    published = costs;
    layer.store(costs, std::memory_order_relaxed);
  }
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
      // Value-initialised: all zero, like published_, so the first refresh stores what differs.
      layer_(std::make_unique<std::atomic<std::uint64_t>[]>(
          wordsFor(static_cast<std::size_t>(size_x_) * size_y_, kCellsPerWord))),
      published_(wordsFor(static_cast<std::size_t>(size_x_) * size_y_, kCellsPerWord), 0)
{
  costmap = source_.get();
  updateMap();
}

void MultiGridMap::updateMap()
{
  // Every writer of the costs holds the costmap's mutex, and so does every refresh: under it
  // the costs are whole and published_ is ours alone.
  std::lock_guard<nav2_costmap_2d::Costmap2D::mutex_t> lock(*source_->getMutex());
  publishChangedCosts();
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
  edit(*source_);
  if (source_->getSizeInCellsX() != size_x_ || source_->getSizeInCellsY() != size_y_ ||
      source_->getResolution() != resolution_ || source_->getOriginX() != origin_x_ ||
      source_->getOriginY() != origin_y_) {
    throw std::logic_error(
        "MultiGridMap::editCostmap: the edit changed the costmap's size, resolution or origin, "
        "which are fixed for the life of the grid map");
  }
}

// Leaves layer_ and published_ equal to the costmap's costs: a word that differs from the
// costmap is stored into both, and every other word already equals it, since the two arrays
// are only ever written together.
void MultiGridMap::publishChangedCosts()
{
  if (source_->getSizeInCellsX() != size_x_ || source_->getSizeInCellsY() != size_y_) {
    throw std::logic_error(
        "MultiGridMap::updateMap: the costmap was resized; its size is fixed for the life of the "
        "grid map");
  }
  const unsigned char * costs = source_->getCharMap();
  const std::size_t cells = static_cast<std::size_t>(size_x_) * size_y_;
  const std::size_t whole_words = cells / kCellsPerWord;
  for (std::size_t first = 0; first < whole_words; first += kBlockWords) {
    const std::size_t end = std::min(first + kBlockWords, whole_words);
    if (std::memcmp(
            costs + first * kCellsPerWord, published_.data() + first,
            (end - first) * kCellsPerWord) == 0) {
      continue;
    }
    for (std::size_t index = first; index < end; ++index) {
      std::uint64_t word;
      std::memcpy(&word, costs + index * kCellsPerWord, sizeof(word));
      publishWord(published_[index], layer_[index], word);
    }
  }
  if (whole_words * kCellsPerWord < cells) {
    // The last word is partly beyond the grid: those bytes stay zero.
    std::uint64_t word = 0;
    std::memcpy(&word, costs + whole_words * kCellsPerWord, cells - whole_words * kCellsPerWord);
    publishWord(published_[whole_words], layer_[whole_words], word);
  }
}

}  // namespace skelmar_nav2_gridmap
