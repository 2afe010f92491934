#include "skelmar_nav2_gridmap/map_loader.hpp"

#include <cmath>
#include <cstdint>

#include "nav2_costmap_2d/cost_values.hpp"
#include "pgm_image.hpp"

namespace skelmar_nav2_gridmap {
namespace {

constexpr int kUnknown = -1;
constexpr int kOccupied = 100;

// map_server's occupancy value (-1 or 0..100) of one pixel.
int occupancy(const MapMetadata & map, std::uint16_t pixel, unsigned int max_value)
{
  const double shade = static_cast<double>(pixel) / max_value;
  if (map.mode == MapMode::RAW) {
    const double value = std::round(shade * 255.0);
    return value >= 0.0 && value <= kOccupied ? static_cast<int>(value) : kUnknown;
  }
  const double occ = map.negate ? shade : 1.0 - shade;
  if (occ > map.occupied_thresh) {
    return kOccupied;
  }
  if (occ < map.free_thresh) {
    return 0;
  }
  if (map.mode == MapMode::TRINARY) {
    return kUnknown;
  }
  const double ratio = (occ - map.free_thresh) / (map.occupied_thresh - map.free_thresh);
  return static_cast<int>(std::rint(ratio * kOccupied));
}

// Costmap2D's conversion of an occupancy value into a cost.
unsigned char cost(int occupancy_value)
{
  if (occupancy_value == kUnknown) {
    return nav2_costmap_2d::NO_INFORMATION;
  }
  return static_cast<unsigned char>(std::round(
      occupancy_value * static_cast<double>(nav2_costmap_2d::LETHAL_OBSTACLE) / kOccupied));
}

}  // namespace

std::shared_ptr<nav2_costmap_2d::Costmap2D> loadMap(const std::string & yaml_path)
{
  const MapMetadata map = loadMapMetadata(yaml_path);
  if (map.origin_yaw != 0.0) {
    throw MapLoadError(
        "map file '" + yaml_path + "': the origin is rotated (yaw " +
        std::to_string(map.origin_yaw) + "), which a costmap cannot represent");
  }
  const PgmImage image = readPgm(map.image);

  // Pixel values are few: convert each once.
  std::vector<unsigned char> cost_of(image.max_value + 1u);
  for (unsigned int pixel = 0; pixel <= image.max_value; ++pixel) {
    cost_of[pixel] = cost(occupancy(map, static_cast<std::uint16_t>(pixel), image.max_value));
  }

  auto costmap = std::make_shared<nav2_costmap_2d::Costmap2D>(
      image.width, image.height, map.resolution, map.origin_x, map.origin_y,
      nav2_costmap_2d::FREE_SPACE);
  unsigned char * cells = costmap->getCharMap();
  for (unsigned int row = 0; row < image.height; ++row) {
    // The first image row is the top of the map, the grid's last row.
    const std::size_t grid_row = image.height - 1u - row;
    for (unsigned int col = 0; col < image.width; ++col) {
      cells[grid_row * image.width + col] =
          cost_of[image.pixels[static_cast<std::size_t>(row) * image.width + col]];
    }
  }
  return costmap;
}

}  // namespace skelmar_nav2_gridmap
