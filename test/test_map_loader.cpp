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
  // Size, resolution, origin, and the free, occupied and unknown cells of each shipped map.
  const std::tuple<std::string, unsigned, unsigned, double, double, double, int, int, int> maps[] =
      {{"tb3_sandbox", 384, 384, 0.05, -10.0, -10.0, 7903, 870, 138683},
       {"depot", 604, 307, 0.05, 0.0, 0.0, 179481, 5947, 0},
       {"warehouse", 1006, 1674, 0.03, -15.1, -25.0, 1422292, 30951, 230801}};
  for (const auto & [name, width, height, res, x, y, free, occupied, unknown] : maps) {
    const auto map = loadMap(std::string(SKELMAR_TEST_MAPS_DIR) + "/" + name + ".yaml");
    EXPECT_EQ(
        std::tuple(
            map->getSizeInCellsX(), map->getSizeInCellsY(), map->getResolution(), map->getOriginX(),
            map->getOriginY()),
        std::tuple(width, height, res, x, y))
        << name;
    std::array<int, 256> counts{};  // the three together are every cell
    std::for_each(map->getCharMap(), map->getCharMap() + width * height, [&](unsigned char cost) {
      ++counts[cost];
    });
    EXPECT_EQ(std::tuple(counts[0], counts[254], counts[255]), std::tuple(free, occupied, unknown))
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
  // Loading @p yaml_path fails naming @p file and @p problem.
  static void expectFailure(
      const std::string & yaml_path, const std::string & file, const std::string & problem)
  {
    EXPECT_THAT(
        [&] { loadMap(yaml_path); },
        ::testing::ThrowsMessage<skelmar_nav2_gridmap::MapLoadError>(::testing::AllOf(
            ::testing::HasSubstr("'" + file + "': "), ::testing::HasSubstr(problem))));
  }
  static std::vector<int> row(const Costmap2D & costmap, unsigned int y)
  {
    return std::vector<int>(
        costmap.getCharMap() + y * costmap.getSizeInCellsX(),
        costmap.getCharMap() + (y + 1) * costmap.getSizeInCellsX());
  }

  const fs::path dir_ =
      fs::temp_directory_path() / ("skelmar_maps_" + std::to_string(::getpid()) + "_" +
                                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
};

TEST_F(MapFiles, ModesNegateThresholdsAndTheFirstRowOnTop)
{
  write("image.pgm", "P5\n# comment\n3 2\n255\n\x00\xfe\xcd\xfe\xfe\x00"s);
  const auto two_rows = loadMap(yaml());
  EXPECT_EQ(
      std::tuple(two_rows->getResolution(), two_rows->getOriginX(), two_rows->getOriginY()),
      std::tuple(0.5, 1.0, -2.0));
  EXPECT_EQ(row(*two_rows, 1), (std::vector<int>{254, 0, 255}));  // the first image row
  EXPECT_EQ(row(*two_rows, 0), (std::vector<int>{0, 0, 254}));

  // occ = 1 - p / 255: 0 -> 1.0, 64 -> 0.749, 128 -> 0.498, 200 -> 0.216, 255 -> 0.
  write("image.pgm", "P5 6 1 255 \x00\x40\x80\xc8\xff\x32"s);
  const std::tuple<std::string, std::string, std::vector<int>> modes[] = {
      {"", "mode: Trinary\n", {254, 254, 255, 255, 0, 254}},
      // Between the thresholds rint((occ - free) / (occupied - free) * 100), then
      // round(value * 254 / 100): 128 -> 0.498 -> 67 -> 170; 200 -> 0.216 -> 4 -> 10.
      {"", "mode: scale\n", {254, 254, 170, 10, 0, 254}},
      // The pixel value itself when 0..100 (254 / 100 per step), unknown above.
      {"", "mode: raw\n", {0, 163, 255, 255, 255, 127}},
      // occ = p / 255: 50 gives 0.19608, just above free_thresh.
      {"negate: 0", "negate: true", {0, 255, 255, 254, 254, 255}}};
  for (const auto & [from, to, costs] : modes) {
    EXPECT_EQ(row(*loadMap(yaml(from, to)), 0), costs) << to;
  }
}

TEST_F(MapFiles, BrokenFilesNameTheFileAndTheProblem)
{
  const std::string missing = (dir_ / "nothing.yaml").string(), map = (dir_ / "map.yaml").string();
  const std::string image = (dir_ / "image.pgm").string();
  expectFailure(missing, missing, "cannot open the file");
  const std::pair<std::string, std::string> broken_images[] = {
      {"", "cannot open the file"},  // none written yet
      {"P5\n4 4\n255\n0123456789", "truncated pixel data"},
      {"P5\n4 4\n", "truncated header"},
      {"P2\n1 1\n255\n0\n", "must start with \"P5\""},
      {"\x89PNG\r\n", "must start with \"P5\""},
      {"P5\n2 x\n255\n", "height is not a number"},
      {"P5\n0 3\n255\n", "empty"},
      {"P5\n1 1\n100\n\xC8"s, "exceeds the maximum"}};
  for (const auto & [content, problem] : broken_images) {
    if (!content.empty()) {
      write("image.pgm", content);
    }
    expectFailure(yaml(), image, problem);
  }
  write("image.pgm", "P5 1 1 255 \0"s);
  for (const std::string key :
       {"image", "resolution", "origin", "negate", "occupied_thresh", "free_thresh"}) {
    expectFailure(yaml(key + ":", "unknown_" + key + ":"), map, "missing key '" + key + "'");
  }
  const std::tuple<std::string, std::string, std::string> bad_yaml[] = {
      {"0.0]", "]", "origin"},
      {"0.0]", "0.5]", "rotated"},
      {"resolution: 0.5", "resolution: 0", "'resolution' must be positive"},
      {"resolution: 0.5", "resolution: fine", "'resolution' is not a number"},
      {"negate: 0", "negate: maybe", "negate"},
      {"image: image.pgm", "image: \"\"", "'image' is empty"},
      {"", "mode: fancy\n", "unknown mode 'fancy'"}};
  for (const auto & [from, to, problem] : bad_yaml) {
    expectFailure(yaml(from, to), map, problem);
  }
  expectFailure(write("map.yaml", "- 1\n- 2\n"), map, "mapping");
  expectFailure(write("map.yaml", "image: [unclosed\n"), map, "not valid YAML");
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

TEST(GridMap, RefreshShowsCostsHoweverWritten)
{
  // Grids of whole words of cells, with a partial last word, and of several compared blocks;
  // no change, a few cells, many or all of them written through editCostmap, with setCost
  // under the costmap's mutex (as nav2's layers do) or straight into the char map. Before a
  // refresh every cell answers for the costs of the refresh before; after it, for its own.
  std::mt19937 rng(11);
  for (auto [size_x, size_y] : {std::pair{4u, 2u}, {4u, 3u}, {1u, 1u}, {61u, 37u}, {1006u, 9u}}) {
    SCOPED_TRACE(std::to_string(size_x) + " x " + std::to_string(size_y));
    const auto costmap = std::make_shared<Costmap2D>(size_x, size_y, 0.05, 0, 0);
    GridMapROS grid(costmap);
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
      auto write = [&](Costmap2D & c) {
        for (std::size_t n = 0; n < count; ++n) {
          const std::size_t i = count > cells ? n % cells : rng() % cells;
          const unsigned char cost = std::array{0, 1, 252, 253, 254, 255}[rng() % 6];
          if (round % 2 == 0) {
            c.setCost(i % size_x, i / size_x, cost);
          } else {
            c.getCharMap()[i] = cost;
          }
        }
      };
      if (round % 3 == 0) {
        grid.multi_map->editCostmap(write);
      } else {
        std::lock_guard<Costmap2D::mutex_t> lock(*costmap->getMutex());
        write(*costmap);
      }
      expect_layer("before the refresh");
      grid.multi_map->updateMap();
      refreshed.assign(costmap->getCharMap(), costmap->getCharMap() + cells);
      expect_layer("after the refresh");
    }
  }
}

TEST(GridMap, QueriesRunWhileAnotherThreadWritesCostsAndRefreshes)
{
  const auto costmap = std::make_shared<Costmap2D>(4, 3, 0.5, 0.0, 0.0);
  GridMapROS grid(costmap);
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
  // Costs written as a costmap layer writes them, and through editCostmap.
  for (int edit = 0; edit < 2000; ++edit) {
    auto write = [edit](Costmap2D & c) { c.setCost(edit % 4, 1, edit % 2 == 0 ? 254 : 0); };
    if (edit % 3 == 0) {
      grid.multi_map->editCostmap(write);
    } else {
      std::lock_guard<Costmap2D::mutex_t> lock(*costmap->getMutex());
      write(*costmap);
    }
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
