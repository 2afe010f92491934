#ifndef SKELMAR_NAV2_TOOLS__SRC__DANGER_CACHE_HPP_
#define SKELMAR_NAV2_TOOLS__SRC__DANGER_CACHE_HPP_

#include <cstddef>
#include <cstdint>
#include <vector>

#include <skelmar_nav2_gridmap/grid_map_ros.hpp>

namespace skelmar_internal {

/// A block of cells for which inDanger answers are remembered.
struct CellWindow
{
  unsigned int x0 = 0;     ///< first cell column
  unsigned int y0 = 0;     ///< first cell row
  unsigned int width = 0;  ///< columns; 0 remembers nothing
  unsigned int height = 0;
};

/// Remembers what MultiGridMap::inDanger(mx, my, 0) said about the cells of one window for the
/// length of one call, so that each of them is asked once; other cells are asked every time.
class DangerCache
{
public:
  /// Remembers nothing until rememberWithin() gives it a window.
  explicit DangerCache(skelmar_nav2_gridmap::MultiGridMap & map) : map_(map) {}

  /// Remembers the answers for the cells of @p window from now on, forgetting any before.
  void rememberWithin(const CellWindow & window)
  {
    window_ = window;
    answers_.assign(static_cast<std::size_t>(window.width) * window.height, kUnasked);
  }

  /// The grid map's answer for cell (mx, my) of layer 0.
  bool inDanger(unsigned int mx, unsigned int my)
  {
    // Unsigned wrap-around sends cells left of or below the window out of range too.
    const unsigned int dx = mx - window_.x0;
    const unsigned int dy = my - window_.y0;
    if (dx >= window_.width || dy >= window_.height) {
      return map_.inDanger(mx, my, 0);
    }
    std::uint8_t & answer = answers_[static_cast<std::size_t>(dy) * window_.width + dx];
    if (answer == kUnasked) {
      answer = map_.inDanger(mx, my, 0) ? kDanger : kSafe;
    }
    return answer == kDanger;
  }

private:
  static constexpr std::uint8_t kUnasked = 0;
  static constexpr std::uint8_t kSafe = 1;
  static constexpr std::uint8_t kDanger = 2;

  skelmar_nav2_gridmap::MultiGridMap & map_;
  CellWindow window_;
  std::vector<std::uint8_t> answers_;
};

}  // namespace skelmar_internal

#endif  // SKELMAR_NAV2_TOOLS__SRC__DANGER_CACHE_HPP_
