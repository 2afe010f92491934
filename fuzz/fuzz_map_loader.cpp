// The map loader on arbitrary maps: a YAML description and, after the input's first NUL byte,
// the PGM image it may name as fuzz_map.pgm. Every fault must come out as MapLoadError.

#include <fstream>

#include <skelmar_nav2_gridmap/map_loader.hpp>

#include "fuzz_input.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t * data, std::size_t size)
{
  std::string yaml(data, data + size);  // both files go to the working folder
  const std::size_t end = std::min(yaml.find('\0'), yaml.size());
  std::ofstream("fuzz_map.pgm", std::ios::binary) << yaml.substr(std::min(end + 1, yaml.size()));
  yaml.resize(end);
  std::replace(yaml.begin(), yaml.end(), '/', '_');  // so that it names no file elsewhere
  std::ofstream("fuzz_map.yaml") << yaml;
  try {
    skelmar_nav2_gridmap::loadMap("fuzz_map.yaml");
  } catch (const skelmar_nav2_gridmap::MapLoadError &) {
  }
  return 0;
}
