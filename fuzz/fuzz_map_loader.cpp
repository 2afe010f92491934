// The map loader on arbitrary maps: a YAML description and, after the input's first NUL byte,
// the PGM image it may name as fuzz_map.pgm. Every fault must come out as MapLoadError.

#include <fstream>

#include <skelmar_nav2_gridmap/map_loader.hpp>

#include "fuzz_input.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t * data, std::size_t size)
{
  const std::string input(data, data + size);  // both files go to the working folder
  std::string yaml = input.substr(0, input.find('\0'));
  std::ofstream("fuzz_map.pgm", std::ios::binary) << input.substr(std::min(yaml.size() + 1, size));
  std::replace(yaml.begin(), yaml.end(), '/', '_');  // so that it names no file elsewhere
  std::ofstream("fuzz_map.yaml") << yaml;
  try {
    skelmar_nav2_gridmap::loadMap("fuzz_map.yaml");
  } catch (const skelmar_nav2_gridmap::MapLoadError &) {
  }
  return 0;
}
