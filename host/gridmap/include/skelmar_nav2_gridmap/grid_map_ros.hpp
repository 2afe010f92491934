#ifndef SKELMAR_NAV2_GRIDMAP__GRID_MAP_ROS_HPP_
#define SKELMAR_NAV2_GRIDMAP__GRID_MAP_ROS_HPP_

#include <memory>
#include <string>

#include "nav2_costmap_2d/costmap_2d.hpp"
#include "skelmar_nav2_gridmap/multi_grid_map.hpp"

namespace skelmar_nav2_gridmap {

/**
 * @brief The robot's grid map: a costmap in a global frame and its danger layer.
 *
 * Thread safety: every operation may be called from any number of threads at once.
 */
class GridMapROS
{
public:
  /**
   * @brief Wraps @p costmap, whose cells are placed in @p global_frame.
   * @throws std::invalid_argument if @p costmap is null.
   */
  explicit GridMapROS(
      std::shared_ptr<nav2_costmap_2d::Costmap2D> costmap, std::string global_frame = "map");

  /// @brief Returns once the costmap can be read; the costmap is given at construction, so at once.
  void waitForCostmap();

  /// @brief Name of the frame the costmap lies in.
  std::string getGlobalFrameID() const;

  /// The danger layer over the costmap; set at construction and never replaced.
  std::shared_ptr<MultiGridMap> multi_map;

private:
  const std::string global_frame_;
};

}  // namespace skelmar_nav2_gridmap

#endif  // SKELMAR_NAV2_GRIDMAP__GRID_MAP_ROS_HPP_
