// The map loader on arbitrary bytes: as the PGM image of a valid YAML description, or as the
// YAML description of a valid image. Every fault must come out as MapLoadError.

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <skelmar_nav2_gridmap/map_loader.hpp>

#include "fuzz_input.hpp"

namespace {

namespace fs = std::filesystem;
using skelmar_fuzz::FuzzInput;

// A private folder for the run's files, removed at exit.
struct Workspace
{
  Workspace()
  {
    std::string pattern = (fs::temp_directory_path() / "skelmar_fuzz_map_XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
      std::abort();
    }
    dir = pattern;
    // The image a fuzzed description may name: 3 x 2 pixels of three shades.
    write("map.pgm", std::string("P5\n3 2\n255\n") + std::string("\x00\x80\xff\xff\x80\x00", 6));
  }

  ~Workspace()
  {
    std::error_code ignored;
    fs::remove_all(dir, ignored);
  }

  std::string write(const std::string & name, const std::string & content) const
  {
    const fs::path path = dir / name;
    std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
    return path.string();
  }

  fs::path dir;
};

std::string description(FuzzInput & in, const std::string & image)
{
  static const char * const kModes[] = {"trinary", "scale", "raw", "Scale"};
  std::string yaml = "image: " + image + "\nresolution: 0.05\norigin: [-1.5, 2.0, 0.0]\n";
  yaml += std::string("negate: ") + (in.byte() % 2 ? "1" : "0") + "\n";
  yaml += "occupied_thresh: 0.65\nfree_thresh: 0.196\n";
  const std::uint8_t mode = in.byte() % 5;
  if (mode < 4) {
    yaml += std::string("mode: ") + kModes[mode] + "\n";
  }
  return yaml;
}

void checkCostmap(const nav2_costmap_2d::Costmap2D & costmap)
{
  FUZZ_CHECK(costmap.getSizeInCellsX() > 0 && costmap.getSizeInCellsY() > 0);
  FUZZ_CHECK(costmap.getResolution() > 0.0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t * data, std::size_t size)
{
  static const Workspace workspace;
  FuzzInput in(data, size);
  std::string yaml_path;
  if (in.byte() % 2 == 0) {
    const std::string yaml = description(in, "fuzzed.pgm");
    workspace.write("fuzzed.pgm", in.rest());
    yaml_path = workspace.write("fuzzed.yaml", yaml);
  } else {
    // Slashes would let a description name files outside the folder (devices included).
    std::string yaml = in.rest();
    for (char & c : yaml) {
      if (c == '/') {
        c = '_';
      }
    }
    yaml_path = workspace.write("fuzzed.yaml", yaml);
  }
  try {
    const auto costmap = skelmar_nav2_gridmap::loadMap(yaml_path);
    FUZZ_CHECK(costmap != nullptr);
    checkCostmap(*costmap);
  } catch (const skelmar_nav2_gridmap::MapLoadError &) {
  }
  return 0;
}
