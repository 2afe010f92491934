#ifndef SKELMAR_NAV2_GRIDMAP__PGM_IMAGE_HPP_
#define SKELMAR_NAV2_GRIDMAP__PGM_IMAGE_HPP_

#include <cstdint>
#include <string>
#include <vector>

namespace skelmar_nav2_gridmap {

/// A grey image, row 0 at the top.
struct PgmImage
{
  unsigned int width = 0;
  unsigned int height = 0;
  unsigned int max_value = 0;         ///< the value of white, 1..65535
  std::vector<std::uint16_t> pixels;  ///< row-major, width * height values
};

/// Reads a binary PGM file ("P5"); throws MapLoadError naming @p path and the fault.
PgmImage readPgm(const std::string & path);

}  // namespace skelmar_nav2_gridmap

#endif  // SKELMAR_NAV2_GRIDMAP__PGM_IMAGE_HPP_
