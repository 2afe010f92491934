#ifndef SKELMAR_NAV2_TOOLS__EXAMPLES__DEMO_PICTURE_HPP_
#define SKELMAR_NAV2_TOOLS__EXAMPLES__DEMO_PICTURE_HPP_

#include <cstdint>
#include <string>
#include <vector>

#include <nav2_costmap_2d/costmap_2d.hpp>
#include <nav_msgs/msg/occupancy_grid.hpp>

namespace skelmar_demo {

/// One trace value drawn in the picture: its colour (blue, green, red) and legend text.
struct TraceLayer
{
  std::uint8_t value;
  std::uint8_t blue;
  std::uint8_t green;
  std::uint8_t red;
  std::string label;
};

/**
 * @brief Writes a PNG of the costmap in greys with the received trace grid drawn over it in
 *        the layers' colours, cropped around the drawn cells, north up, with a legend.
 * @param costmap the map the trace was drawn over (cell (0, 0) at the bottom left)
 * @param trace the occupancy grid published by the trace raster, cell for cell over the costmap
 * @param layers the trace values to show; other values are ignored
 * @param path file to write
 * @throws std::runtime_error if the trace does not match the costmap or the file cannot be written
 */
void writeDemoPicture(
    const nav2_costmap_2d::Costmap2D & costmap, const nav_msgs::msg::OccupancyGrid & trace,
    const std::vector<TraceLayer> & layers, const std::string & path);

}  // namespace skelmar_demo

#endif  // SKELMAR_NAV2_TOOLS__EXAMPLES__DEMO_PICTURE_HPP_
