#ifndef SKELMAR_NAV2_GRIDMAP__MAP_LOADER_HPP_
#define SKELMAR_NAV2_GRIDMAP__MAP_LOADER_HPP_

#include <memory>
#include <stdexcept>
#include <string>

#include "nav2_costmap_2d/costmap_2d.hpp"

namespace skelmar_nav2_gridmap {

/// How image shades become occupancy values, as map_server defines the modes.
enum class MapMode {
  TRINARY,  ///< occupied, free or unknown
  SCALE,    ///< occupied, free, or a value between scaled from the shade
  RAW       ///< the pixel value itself, 0..100, anything else unknown
};

/// The YAML description of a map in the map_server format.
struct MapMetadata
{
  std::string image;       ///< path of the image; relative paths resolved against the YAML's folder
  double resolution;       ///< metres per cell
  double origin_x;         ///< world x of the lower-left cell's corner, metres
  double origin_y;         ///< world y of the lower-left cell's corner, metres
  double origin_yaw;       ///< rotation of the map, radians
  bool negate;             ///< white means occupied instead of free
  double occupied_thresh;  ///< occupancy above which a cell is occupied, 0..1
  double free_thresh;      ///< occupancy below which a cell is free, 0..1
  MapMode mode;            ///< TRINARY unless the YAML says otherwise
};

/// A map file that cannot be read or makes no sense; the message names the file and the fault.
class MapLoadError : public std::runtime_error
{
public:
  using std::runtime_error::runtime_error;
};

/**
 * @brief Reads the YAML description of a map (keys image, resolution, origin, negate,
 *        occupied_thresh, free_thresh and the optional mode, as map_server reads them).
 * @param yaml_path path of the YAML file
 * @throws MapLoadError when the file is missing or unreadable, a key is missing or malformed,
 *         the resolution is not positive or the mode is unknown.
 */
MapMetadata loadMapMetadata(const std::string & yaml_path);

/**
 * @brief Loads a map in the map_server format (YAML plus binary PGM image) into a costmap.
 *
 * Pixels become occupancy values by map_server's rules for the mode, and occupancy values
 * become costs as Costmap2D's OccupancyGrid constructor converts them: unknown gives
 * NO_INFORMATION (255), an occupancy o in 0..100 gives round(o * 254 / 100), so occupied is
 * LETHAL_OBSTACLE (254) and free is FREE_SPACE (0). The first image row is the top of the map
 * (the highest y); the origin is the lower-left corner of the grid.
 *
 * @param yaml_path path of the YAML file
 * @return a new costmap of the image's size, the map's resolution and origin
 * @throws MapLoadError for every fault of loadMapMetadata, for an image that is missing, not a
 *         binary PGM (magic "P5"), has a malformed header or is truncated, and for a rotated
 *         origin (a costmap cannot be rotated).
 */
std::shared_ptr<nav2_costmap_2d::Costmap2D> loadMap(const std::string & yaml_path);

}  // namespace skelmar_nav2_gridmap

#endif  // SKELMAR_NAV2_GRIDMAP__MAP_LOADER_HPP_
