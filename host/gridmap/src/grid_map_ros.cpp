#include "skelmar_nav2_gridmap/grid_map_ros.hpp"

#include <utility>

namespace skelmar_nav2_gridmap {

GridMapROS::GridMapROS(
    std::shared_ptr<nav2_costmap_2d::Costmap2D> costmap, std::string global_frame)
    : multi_map(std::make_shared<MultiGridMap>(std::move(costmap))),
      global_frame_(std::move(global_frame))
{}

void GridMapROS::waitForCostmap() {}

std::string GridMapROS::getGlobalFrameID() const
{
  return global_frame_;
}

}  // namespace skelmar_nav2_gridmap
