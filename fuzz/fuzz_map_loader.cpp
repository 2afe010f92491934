// The map loader on arbitrary bytes, as the PGM image of a valid description or as the YAML
// description of a valid image: every fault comes out as MapLoadError.

#include <filesystem>
#include <fstream>
#include <string>

#include <skelmar_nav2_gridmap/map_loader.hpp>

#include "fuzz_input.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t * data, std::size_t size)
{
  namespace fs = std::filesystem;
  static const fs::path dir = [] {
    std::string pattern = (fs::temp_directory_path() / "skelmar_fuzz_map_XXXXXX").string();
    FUZZ_CHECK(mkdtemp(pattern.data()) != nullptr);
    std::atexit([] { fs::remove_all(dir); });
    // The image a fuzzed description may name: 3 x 2 pixels of three shades.
    std::ofstream(fs::path(pattern) / "map.pgm") << "P5\n3 2\n255\n"
                                                 << std::string("\x00\x80\xff\xff\x80\x00", 6);
    return fs::path(pattern);
  }();
  skelmar_fuzz::FuzzInput in{data, size};
  std::string yaml = "image: fuzzed.pgm\nresolution: 0.05\norigin: [-1.5, 2.0, 0.0]\n";
  if (in.byte() % 2 == 0) {
    const char * modes[] = {"trinary", "scale", "raw", "Scale", "none"};
    yaml += "negate: " + std::to_string(in.byte() % 2) + "\noccupied_thresh: 0.65\n";
    yaml += "free_thresh: 0.196\nmode: " + std::string(modes[in.byte() % 5]) + "\n";
    std::ofstream(dir / "fuzzed.pgm") << std::string(data + in.pos, data + size);
  } else {
    yaml.assign(data + in.pos, data + size);
    // Slashes would let a description name files outside the folder (devices included).
    std::replace(yaml.begin(), yaml.end(), '/', '_');
  }
  std::ofstream(dir / "fuzzed.yaml") << yaml;
  try {
    const auto costmap = skelmar_nav2_gridmap::loadMap((dir / "fuzzed.yaml").string());
    FUZZ_CHECK(costmap && costmap->getSizeInCellsX() > 0 && costmap->getResolution() > 0.0);
  } catch (const skelmar_nav2_gridmap::MapLoadError &) {
  }
  return 0;
}
