// The grid map stand-in: maps loaded in the map_server format, and the danger layer.

#include <gmock/gmock.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>

#include <skelmar_nav2_gridmap/map_loader.hpp>
#include <skelmar_nav2_gridmap/multi_grid_map.hpp>

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using nav2_costmap_2d::Costmap2D;
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
  }
}

TEST(MapFiles, BrokenFilesNameTheFileAndTheProblem)
{
  // No files, bad images, then bad YAML lines: every failure names the file at fault.
  const std::pair<std::string, std::string> images[] = {
      {"P5\n4 4\n255\n0123456789", "truncated pixel data"},
      {"P2\n1 1\n255\n0\n", "must start with \"P5\""},
      {"P5\n2 x\n255\n", "height is not a number"},
      {"P5\n1 1\n100\n\xC8"s, "exceeds the maximum"}};
  std::vector<std::tuple<std::string, std::string, std::string>> lines = {
      {"0.0]", "0.5]", "rotated"},
      {"resolution: 0.5", "resolution: 0", "'resolution' must be positive"},
      {"resolution: 0.5", "resolution: fine", "'resolution' is not a number"},
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
  fails(writeFile("map.yaml", "- 1\n- 2\n"), "map.yaml", "mapping");
}

TEST(GridMap, RefreshShowsCostsHoweverWritten)
{
  // Whole and partial words, several blocks, edits either way: costs as at the last refresh.
  std::mt19937 rng(11);
  for (auto [size_x, size_y] : {std::pair{4U, 2U}, {4U, 3U}, {1U, 1U}, {61U, 37U}, {1006U, 9U}}) {
    MultiGridMap layer(std::make_shared<Costmap2D>(size_x, size_y, 0.05, 0, 0));
    const std::size_t cells = std::size_t{size_x} * size_y;
    std::vector<unsigned char> written(cells, 0), shown = written;
    for (int step = 0; step < 48; ++step) {
      const auto count = std::array{0UL, 1UL, 1 + cells / 50, cells / 3, 2 * cells}[step % 5];
      layer.editCostmap([&](Costmap2D & c) {
        for (std::size_t n = 0; n < count; ++n) {
          const std::size_t i = count > cells ? n % cells : rng() % cells;
          const unsigned char cost = written[i] = std::array{0, 1, 252, 253, 254, 255}[rng() % 6];
          step % 4 < 2 ? void(c.getCharMap()[i] = cost) : c.setCost(i % size_x, i / size_x, cost);
        }
      });
      for (std::size_t i = 0; i < cells; ++i) {
        ASSERT_EQ(layer.inDanger(i % size_x, i / size_x, 0), shown[i] >= 253) << step << ' ' << i;
      }
      layer.updateMap();
      shown = written;
    }
    EXPECT_THROW(layer.inDanger(size_x, 0, 0), std::out_of_range);  // beyond the grid
    EXPECT_THROW(layer.inDanger(0, size_y, 0), std::out_of_range);
    EXPECT_THROW(layer.inDanger(0, 0, 1), std::out_of_range);  // another layer
  }
}

}  // namespace
