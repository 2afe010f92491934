// The grid map stand-in: maps loaded in the map_server format, and the danger layer.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include <nav2_costmap_2d/costmap_2d.hpp>
#include <skelmar_nav2_gridmap/grid_map_ros.hpp>
#include <skelmar_nav2_gridmap/map_loader.hpp>

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using nav2_costmap_2d::Costmap2D;
using skelmar_nav2_gridmap::GridMapROS;
using skelmar_nav2_gridmap::loadMap;

TEST(MapLoader, ShippedMapsHaveTheirCellCounts)
{
  // Size, resolution, origin, and the free, occupied and unknown cells (together every cell).
  using Counts = std::tuple<unsigned, unsigned, double, double, double, long, long, long>;
  const std::pair<std::string, Counts> maps[] = {
      {"tb3_sandbox", {384, 384, 0.05, -10.0, -10.0, 7903, 870, 138683}},
      {"depot", {604, 307, 0.05, 0.0, 0.0, 179481, 5947, 0}},
      {"warehouse", {1006, 1674, 0.03, -15.1, -25.0, 1422292, 30951, 230801}}};
  for (const auto & [name, counts] : maps) {
    const auto map = loadMap(std::string(SKELMAR_TEST_MAPS_DIR) + "/" + name + ".yaml");
    const unsigned char *begin = map->getCharMap(),
                        *end = begin + std::get<0>(counts) * std::get<1>(counts);
    EXPECT_EQ(
        Counts(
            map->getSizeInCellsX(), map->getSizeInCellsY(), map->getResolution(), map->getOriginX(),
            map->getOriginY(), std::count(begin, end, 0), std::count(begin, end, 254),
            std::count(begin, end, 255)),
        counts)
        << name;
  }
}

// Writes small maps into a fresh folder and removes it afterwards.
class MapFiles : public ::testing::Test
{
protected:
  void TearDown() override
  {
    fs::remove_all(dir_);
  }
  std::string write(const std::string & name, const std::string & content)
  {
    fs::create_directories(dir_);
    std::ofstream(dir_ / name, std::ios::binary) << content;
    return (dir_ / name).string();
  }
  // The map's YAML written, with @p from replaced by @p to (appended without @p from).
  std::string yaml(const std::string & from = "", const std::string & to = "")
  {
    std::string text =
        "image: image.pgm\nresolution: 0.5\norigin: [1.0, -2.0, 0.0]\nnegate: 0\n"
        "occupied_thresh: 0.65\nfree_thresh: 0.196\n";
    return write(
        "map.yaml", from.empty() ? text + to : text.replace(text.find(from), from.size(), to));
  }

  const fs::path dir_ =
      fs::temp_directory_path() / ("skelmar_maps_" + std::to_string(::getpid()) + "_" +
                                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
};

TEST_F(MapFiles, ModesNegateThresholdsAndTheFirstRowOnTop)
{
  // occ = 1 - p / 255: 0 -> 1.0, 64 -> 0.749, 128 -> 0.498, 200 -> 0.216, 255 -> 0.
  const std::string six = "P5 6 1 255 \x00\x40\x80\xc8\xff\x32"s;
  const std::tuple<std::string, std::string, std::string, std::vector<int>> cases[] = {
      // Two rows, the first image row on top (y = 1).
      {"P5\n# comment\n3 2\n255\n\x00\xfe\xcd\xfe\xfe\x00"s, "", "", {0, 0, 254, 254, 0, 255}},
      {six, "", "mode: Trinary\n", {254, 254, 255, 255, 0, 254}},
      // Between the thresholds rint((occ - free) / (occupied - free) * 100), then
      // round(value * 254 / 100): 128 -> 0.498 -> 67 -> 170; 200 -> 0.216 -> 4 -> 10.
      {six, "", "mode: scale\n", {254, 254, 170, 10, 0, 254}},
      // The pixel value itself when 0..100 (254 / 100 per step), unknown above.
      {six, "", "mode: raw\n", {0, 163, 255, 255, 255, 127}},
      // occ = p / 255: 50 gives 0.19608, just above free_thresh.
      {six, "negate: 0", "negate: true", {0, 255, 255, 254, 254, 255}}};
  for (const auto & [image, from, to, costs] : cases) {
    write("image.pgm", image);
    const auto map = loadMap(yaml(from, to));
    const unsigned char * cells = map->getCharMap();
    EXPECT_EQ(std::vector<int>(cells, cells + costs.size()), costs) << to;
    EXPECT_EQ(
        std::tuple(map->getResolution(), map->getOriginX(), map->getOriginY()),
        std::tuple(0.5, 1.0, -2.0));
  }
}

TEST_F(MapFiles, BrokenFilesNameTheFileAndTheProblem)
{
  // Image contents (none written at first), then YAML lines changed or added; every failure
  // names the file at fault.
  const std::pair<std::string, std::string> images[] = {
      {"", "cannot open the file"},
      {"P5\n4 4\n255\n0123456789", "truncated pixel data"},
      {"P5\n4 4\n", "truncated header"},
      {"P2\n1 1\n255\n0\n", "must start with \"P5\""},
      {"\x89PNG\r\n", "must start with \"P5\""},
      {"P5\n2 x\n255\n", "height is not a number"},
      {"P5\n0 3\n255\n", "empty"},
      {"P5\n1 1\n100\n\xC8"s, "exceeds the maximum"}};
  std::vector<std::tuple<std::string, std::string, std::string>> lines = {
      {"0.0]", "]", "origin"},
      {"0.0]", "0.5]", "rotated"},
      {"resolution: 0.5", "resolution: 0", "'resolution' must be positive"},
      {"resolution: 0.5", "resolution: fine", "'resolution' is not a number"},
      {"negate: 0", "negate: maybe", "negate"},
      {"image: image.pgm", "image: \"\"", "'image' is empty"},
      {"", "mode: fancy\n", "unknown mode 'fancy'"}};
  for (const std::string key :
       {"image", "resolution", "origin", "negate", "occupied_thresh", "free_thresh"}) {
    lines.emplace_back(key + ":", "unknown_" + key + ":", "missing key '" + key + "'");
  }
  const auto fails = [&](const std::string & path, const std::string & file,
                         const std::string & problem) {
    EXPECT_THAT(
        [&] { loadMap(path); },
        ::testing::ThrowsMessage<skelmar_nav2_gridmap::MapLoadError>(::testing::AllOf(
            ::testing::HasSubstr("'" + (dir_ / file).string() + "': "),
            ::testing::HasSubstr(problem))));
  };
  fails((dir_ / "nothing.yaml").string(), "nothing.yaml", "cannot open the file");
  for (const auto & [content, problem] : images) {
    if (!content.empty()) {
      write("image.pgm", content);
    }
    fails(yaml(), "image.pgm", problem);
  }
  write("image.pgm", "P5 1 1 255 \0"s);
  for (const auto & [from, to, problem] : lines) {
    fails(yaml(from, to), "map.yaml", problem);
  }
  fails(write("map.yaml", "- 1\n- 2\n"), "map.yaml", "mapping");
  fails(write("map.yaml", "image: [unclosed\n"), "map.yaml", "not valid YAML");
}

TEST(GridMap, BadQueriesAndEditsAreRejected)
{
  EXPECT_THROW(GridMapROS(nullptr), std::invalid_argument);
  GridMapROS grid(std::make_shared<Costmap2D>(4, 3, 0.5, 0.0, 0.0));
  EXPECT_EQ(grid.getGlobalFrameID(), "map");
  EXPECT_EQ(
      GridMapROS(std::make_shared<Costmap2D>(1, 1, 0.5, 0, 0), "odom").getGlobalFrameID(), "odom");
  auto & layer = *grid.multi_map;
  EXPECT_THROW(layer.inDanger(4, 0, 0), std::out_of_range);
  EXPECT_THROW(layer.inDanger(0, 3, 0), std::out_of_range);
  EXPECT_THROW(layer.inDanger(0, 0, 1), std::out_of_range);
  EXPECT_THROW(
      layer.editCostmap([](Costmap2D & c) { c.resizeMap(8, 8, 0.5, 0, 0); }), std::logic_error);
  EXPECT_THROW(layer.updateMap(), std::logic_error) << "the layer cannot follow a resize";
}

// Writes costs through editCostmap, or as a costmap layer does: under the costmap's mutex.
template <typename Write>
void writeCosts(GridMapROS & grid, bool through_edit, Write write)
{
  if (through_edit) {
    grid.multi_map->editCostmap(write);
  } else {
    std::lock_guard<Costmap2D::mutex_t> lock(*grid.multi_map->costmap->getMutex());
    write(*grid.multi_map->costmap);
  }
}

TEST(GridMap, RefreshShowsCostsHoweverWritten)
{
  // Grids of whole words of cells, with a partial last word, and of several compared blocks;
  // no change, a few cells, many or all of them written with setCost or straight into the char
  // map. Before a refresh every cell answers for the costs of the refresh before; after it, for
  // its own.
  std::mt19937 rng(11);
  for (auto [size_x, size_y] : {std::pair{4u, 2u}, {4u, 3u}, {1u, 1u}, {61u, 37u}, {1006u, 9u}}) {
    SCOPED_TRACE(std::to_string(size_x) + " x " + std::to_string(size_y));
    GridMapROS grid(std::make_shared<Costmap2D>(size_x, size_y, 0.05, 0, 0));
    const std::size_t cells = std::size_t{size_x} * size_y;
    std::vector<unsigned char> refreshed(cells, 0);
    auto expect_layer = [&](const char * when) {
      for (std::size_t i = 0; i < cells; ++i) {
        ASSERT_EQ(grid.multi_map->inDanger(i % size_x, i / size_x, 0), refreshed[i] >= 253)
            << when << ": cell " << i;
      }
    };
    for (int round = 0; round < 24; ++round) {
      const std::size_t count =
          std::array{0ul, 1ul, 1 + cells / 50, cells / 3, 2 * cells}[round % 5];
      writeCosts(grid, round % 3 == 0, [&](Costmap2D & c) {
        for (std::size_t n = 0; n < count; ++n) {
          const std::size_t i = count > cells ? n % cells : rng() % cells;
          const unsigned char cost = std::array{0, 1, 252, 253, 254, 255}[rng() % 6];
          if (round % 2 == 0) {
            c.setCost(i % size_x, i / size_x, cost);
          } else {
            c.getCharMap()[i] = cost;
          }
        }
      });
      expect_layer("before the refresh");
      grid.multi_map->updateMap();
      const unsigned char * costs = grid.multi_map->costmap->getCharMap();
      refreshed.assign(costs, costs + cells);
      expect_layer("after the refresh");
    }
  }
}

TEST(GridMap, QueriesRunWhileAnotherThreadWritesCostsAndRefreshes)
{
  GridMapROS grid(std::make_shared<Costmap2D>(4, 3, 0.5, 0.0, 0.0));
  std::atomic<bool> stop{false};
  std::vector<std::thread> readers;
  for (int t = 0; t < 3; ++t) {
    readers.emplace_back([&] {
      while (!stop) {
        grid.multi_map->updateMap();
        for (unsigned int x = 0; x < 4; ++x) {
          grid.multi_map->inDanger(x, 1, 0);
        }
      }
    });
  }
  for (int edit = 0; edit < 2000; ++edit) {
    writeCosts(grid, edit % 3 == 0, [edit](Costmap2D & c) {
      c.setCost(edit % 4, 1, edit % 2 == 0 ? 254 : 0);
    });
  }
  stop = true;
  for (auto & reader : readers) {
    reader.join();
  }
  grid.multi_map->updateMap();
  // The last edits set cells 0 and 2 of row 1 lethal (even edits), 1 and 3 free.
  EXPECT_TRUE(grid.multi_map->inDanger(2, 1, 0));
  EXPECT_FALSE(grid.multi_map->inDanger(3, 1, 0));
}

}  // namespace
