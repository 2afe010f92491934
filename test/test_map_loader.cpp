// The grid map stand-in's map loader: maps in the map_server format, and broken files.

#include <gmock/gmock.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include <skelmar_nav2_gridmap/map_loader.hpp>

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using namespace skelmar_nav2_gridmap;

// Small maps go into a folder of the process's own, made at start and removed at exit.
const fs::path dir = fs::temp_directory_path() / ("skelmar_maps_" + std::to_string(::getpid()));
[[maybe_unused]] const int made =
    (fs::create_directories(dir), std::atexit([] { fs::remove_all(dir); }));

std::string writeFile(const std::string & name, const std::string & content)
{
  std::ofstream(dir / name, std::ios::binary) << content;
  return (dir / name).string();
}

// The map's YAML written, with @p from replaced by @p to (put first without @p from).
std::string yaml(const std::string & from = "", const std::string & to = "")
{
  std::string text =
      "image: image.pgm\nresolution: 0.5\norigin: [1.0, -2.0, 0.0]\nnegate: 0\n"
      "occupied_thresh: 0.65\nfree_thresh: 0.196\n";
  return writeFile("map.yaml", text.replace(text.find(from), from.size(), to));
}

TEST(MapFiles, ModesNegateThresholdsAndTheFirstRowOnTop)
{
  // The first image row on top: cells hold pixels 200, 255, 50, 0, 64, 128; occ = 1 - p / 255.
  writeFile("image.pgm", "P5\n# comment\n3 2\n255\n\x00\x40\x80\xc8\xff\x32"s);
  const std::tuple<std::string, std::string, std::vector<int>> cases[] = {
      {"", "mode: Trinary\n", {255, 0, 254, 254, 254, 255}},
      // Between the thresholds round(rint((occ - free) / (occupied - free) * 100) * 2.54).
      {"", "mode: scale\n", {10, 0, 254, 254, 254, 170}},
      {"", "mode: raw\n", {255, 255, 127, 0, 163, 255}},  // the pixel value up to 100, then unknown
      {"negate: 0", "negate: true", {254, 254, 255, 0, 255, 255}}};  // occ = p / 255: 50 not free
  for (const auto & [from, to, costs] : cases) {
    const auto map = loadMap(yaml(from, to));
    EXPECT_EQ(std::vector<int>(map->getCharMap(), map->getCharMap() + 6), costs) << to;
    const std::tuple geometry(map->getResolution(), map->getOriginX(), map->getOriginY());
    EXPECT_EQ(geometry, std::tuple(0.5, 1.0, -2.0)) << to;
  }
}

TEST(MapFiles, BrokenFilesNameTheFileAndTheProblem)
{
  // No files, bad images, then bad YAML lines: every failure names the file at fault.
  const std::pair<std::string, std::string> images[] = {
      {"P5\n4 4\n255\n0123456789", "truncated pixel data"},
      {"P2\n1 1\n255\n0\n", "must start with \"P5\""},
      {"P5\n1 1\n100\n\xC8"s, "exceeds the maximum"}};
  std::vector<std::tuple<std::string, std::string, std::string>> lines = {
      {"0.0]", "0.5]", "rotated"},
      {"resolution: 0.5", "resolution: 0", "'resolution' must be positive"},
      {"negate: 0", "negate: maybe", "negate"},
      {"", "mode: fancy\n", "unknown mode 'fancy'"},
      {"", "image: [unclosed\n", "not valid YAML"}};
  for (const std::string key :
       {"image", "resolution", "origin", "negate", "occupied_thresh", "free_thresh"}) {
    lines.emplace_back(key + ":", "unknown_" + key + ":", "missing key '" + key + "'");
  }
  const auto fails = [&](const std::string & path, const char * file, const std::string & problem) {
    const auto named = testing::ContainsRegex("'" + (dir / file).string() + "': .*" + problem);
    EXPECT_THAT([&] { loadMap(path); }, testing::ThrowsMessage<MapLoadError>(named));
  };
  fails((dir / "nothing.yaml").string(), "nothing.yaml", "cannot open the file");
  fails(yaml("image.pgm", "absent.pgm"), "absent.pgm", "cannot open the file");
  for (const auto & [content, problem] : images) {
    fails((writeFile("image.pgm", content), yaml()), "image.pgm", problem);
  }
  for (const auto & [from, to, problem] : lines) {
    fails(yaml(from, to), "map.yaml", problem);
  }
}

}  // namespace
