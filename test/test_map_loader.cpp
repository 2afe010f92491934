// The grid map stand-in: loading maps in the map_server format, and the danger layer.

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <nav2_costmap_2d/cost_values.hpp>
#include <nav2_costmap_2d/costmap_2d.hpp>
#include <skelmar_nav2_gridmap/grid_map_ros.hpp>
#include <skelmar_nav2_gridmap/map_loader.hpp>

namespace {

namespace fs = std::filesystem;
using skelmar_nav2_gridmap::loadMap;
using skelmar_nav2_gridmap::MapLoadError;

std::vector<int> row(const nav2_costmap_2d::Costmap2D & costmap, unsigned int y)
{
  std::vector<int> costs;
  for (unsigned int x = 0; x < costmap.getSizeInCellsX(); ++x) {
    costs.push_back(costmap.getCost(x, y));
  }
  return costs;
}

TEST(MapLoader, ShippedMapsHaveTheirCellCounts)
{
  const struct
  {
    const char * name;
    unsigned int width, height;
    double resolution, origin_x, origin_y;
    size_t occupied, free, unknown;
  } maps[] = {
      {"tb3_sandbox", 384, 384, 0.05, -10.0, -10.0, 870, 7903, 138683},
      {"depot", 604, 307, 0.05, 0.0, 0.0, 5947, 179481, 0},
      {"warehouse", 1006, 1674, 0.03, -15.1, -25.0, 30951, 1422292, 230801},
  };
  for (const auto & e : maps) {
    SCOPED_TRACE(e.name);
    const auto costmap = loadMap(std::string(SKELMAR_TEST_MAPS_DIR) + "/" + e.name + ".yaml");
    EXPECT_EQ(costmap->getSizeInCellsX(), e.width);
    EXPECT_EQ(costmap->getSizeInCellsY(), e.height);
    EXPECT_EQ(costmap->getResolution(), e.resolution);
    EXPECT_EQ(costmap->getOriginX(), e.origin_x);
    EXPECT_EQ(costmap->getOriginY(), e.origin_y);
    std::map<unsigned char, size_t> counts;
    const unsigned char * cells = costmap->getCharMap();
    for (size_t i = 0; i < size_t{e.width} * e.height; ++i) {
      ++counts[cells[i]];
    }
    EXPECT_EQ(counts[nav2_costmap_2d::FREE_SPACE], e.free);
    EXPECT_EQ(counts[nav2_costmap_2d::LETHAL_OBSTACLE], e.occupied);
    EXPECT_EQ(counts[nav2_costmap_2d::NO_INFORMATION], e.unknown);
    EXPECT_EQ(counts.size(), 3U);
  }
}

// Writes small maps into a fresh folder and removes it afterwards.
class MapFiles : public ::testing::Test
{
protected:
  void SetUp() override
  {
    fs::create_directories(dir_ / "maps");
  }
  void TearDown() override
  {
    fs::remove_all(dir_);
  }

  std::string write(const std::string & name, const std::string & content)
  {
    std::ofstream(dir_ / name, std::ios::binary) << content;
    return (dir_ / name).string();
  }

  // A binary PGM of one row of pixels.
  std::string pgm(const std::string & name, const std::vector<unsigned char> & pixels)
  {
    return write(
        name, "P5\n# test image\n" + std::to_string(pixels.size()) + " 1\n255\n" +
                  std::string(pixels.begin(), pixels.end()));
  }

  static std::string yaml(const std::string & extra = "")
  {
    return "image: image.pgm\nresolution: 0.5\norigin: [1.0, -2.0, 0.0]\nnegate: 0\n"
           "occupied_thresh: 0.65\nfree_thresh: 0.196\n" +
           extra;
  }

  static std::string replaced(std::string text, const std::string & from, const std::string & to)
  {
    return text.replace(text.find(from), from.size(), to);
  }

  // The message of the MapLoadError that loading @p yaml_path raises.
  static std::string loadError(const std::string & yaml_path)
  {
    try {
      loadMap(yaml_path);
    } catch (const MapLoadError & e) {
      return e.what();
    }
    return "no MapLoadError";
  }

  const fs::path dir_ =
      fs::temp_directory_path() / ("skelmar_maps_" + std::to_string(::getpid()) + "_" +
                                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
};

TEST_F(MapFiles, ModesNegateThresholdsAndTheFirstRowOnTop)
{
  write("image.pgm", std::string("P5\n3 2\n255\n") + std::string("\x00\xfe\xcd\xfe\xfe\x00", 6));
  const auto two_rows = loadMap(write("map.yaml", yaml()));
  EXPECT_EQ(two_rows->getResolution(), 0.5);
  EXPECT_EQ(two_rows->getOriginX(), 1.0);
  EXPECT_EQ(two_rows->getOriginY(), -2.0);
  EXPECT_EQ(row(*two_rows, 1), (std::vector<int>{254, 0, 255}));  // the first image row
  EXPECT_EQ(row(*two_rows, 0), (std::vector<int>{0, 0, 254}));

  // occ = 1 - p / 255: 0 -> 1.0, 64 -> 0.749, 128 -> 0.498, 200 -> 0.216, 255 -> 0.
  pgm("image.pgm", {0, 64, 128, 200, 255, 50});
  const struct
  {
    std::string yaml;
    std::vector<int> costs;
  } rows[] = {
      {yaml("mode: Trinary\n"), {254, 254, 255, 255, 0, 254}},
      // Between the thresholds: rint((occ - free) / (occupied - free) * 100), then
      // round(value * 254 / 100): 128 -> occ 0.498 -> 67 -> 170; 200 -> 0.216 -> 4 -> 10.
      {yaml("mode: scale\n"), {254, 254, 170, 10, 0, 254}},
      // The pixel value itself when 0..100 (254 / 100 per step), unknown above.
      {yaml("mode: raw\n"), {0, 163, 255, 255, 255, 127}},
      // occ = p / 255 (50 gives 0.19608, just above free_thresh).
      {replaced(yaml(), "negate: 0", "negate: true"), {0, 255, 255, 254, 254, 255}},
  };
  for (const auto & r : rows) {
    EXPECT_EQ(row(*loadMap(write("map.yaml", r.yaml)), 0), r.costs) << r.yaml;
  }
}

TEST_F(MapFiles, BrokenFilesNameTheFileAndTheProblem)
{
  const std::string missing = (dir_ / "nothing.yaml").string();
  const std::string map_yaml = write("map.yaml", yaml());
  const std::string image = (dir_ / "image.pgm").string();
  const std::pair<std::string, std::string> broken_images[] = {
      {"", image},  // missing
      {"P5\n4 4\n255\n0123456789", "truncated pixel data"},
      {"P5\n4 4\n", "truncated header"},
      {"P2\n1 1\n255\n0\n", "P5"},
      {"\x89PNG\r\n", image},
      {"P5\n2 x\n255\n", "height is not a number"},
      {"P5\n0 3\n255\n", "empty"},
      {std::string("P5\n1 1\n100\n\xC8", 12), "exceeds the maximum"},
  };
  EXPECT_NE(loadError(missing).find(missing), std::string::npos);
  EXPECT_NE(loadError(missing).find("cannot open"), std::string::npos);
  for (const auto & [content, problem] : broken_images) {
    if (!content.empty()) {
      write("image.pgm", content);
    }
    EXPECT_NE(loadError(map_yaml).find(problem), std::string::npos) << loadError(map_yaml);
  }

  pgm("image.pgm", {0});
  for (const std::string key :
       {"image", "resolution", "origin", "negate", "occupied_thresh", "free_thresh"}) {
    std::string body = yaml();
    const size_t at = body.find(key + ":");
    body.erase(at, body.find('\n', at) - at + 1);
    const std::string message = loadError(write("missing_" + key + ".yaml", body));
    EXPECT_NE(message.find("missing key '" + key + "'"), std::string::npos) << message;
    EXPECT_NE(message.find("missing_" + key + ".yaml"), std::string::npos) << message;
  }
  const std::pair<std::string, std::string> bad_yaml[] = {
      {replaced(yaml(), "0.0]", "]"), "bad.yaml"},
      {replaced(yaml(), "0.0]", "0.5]"), "bad.yaml"},
      {replaced(yaml(), "resolution: 0.5", "resolution: 0"), "bad.yaml"},
      {replaced(yaml(), "resolution: 0.5", "resolution: fine"), "bad.yaml"},
      {replaced(yaml(), "negate: 0", "negate: maybe"), "bad.yaml"},
      {replaced(yaml(), "image: image.pgm", "image: \"\""), "bad.yaml"},
      {yaml("mode: fancy\n"), "unknown mode 'fancy'"},
      {"- 1\n- 2\n", "mapping"},
      {"image: [unclosed\n", "YAML"},
  };
  for (const auto & [body, problem] : bad_yaml) {
    const std::string message = loadError(write("bad.yaml", body));
    EXPECT_NE(message.find(problem), std::string::npos) << body << message;
  }
}

TEST(GridMap, BadQueriesAndEditsAreRejected)
{
  EXPECT_THROW(skelmar_nav2_gridmap::GridMapROS(nullptr), std::invalid_argument);
  skelmar_nav2_gridmap::GridMapROS grid(
      std::make_shared<nav2_costmap_2d::Costmap2D>(4, 3, 0.5, 0.0, 0.0));
  EXPECT_EQ(grid.getGlobalFrameID(), "map");
  auto & layer = *grid.multi_map;
  EXPECT_THROW(layer.inDanger(4, 0, 0), std::out_of_range);
  EXPECT_THROW(layer.inDanger(0, 3, 0), std::out_of_range);
  EXPECT_THROW(layer.inDanger(0, 0, 1), std::out_of_range);
  EXPECT_THROW(
      layer.editCostmap([](nav2_costmap_2d::Costmap2D & c) { c.resizeMap(8, 8, 0.5, 0, 0); }),
      std::logic_error);
  EXPECT_THROW(layer.updateMap(), std::logic_error) << "the layer cannot follow a resize";
  const skelmar_nav2_gridmap::GridMapROS odom(
      std::make_shared<nav2_costmap_2d::Costmap2D>(1, 1, 0.5, 0.0, 0.0), "odom");
  EXPECT_EQ(odom.getGlobalFrameID(), "odom");
}

TEST(GridMap, RefreshShowsCostsHoweverWritten)
{
  // Grids of whole words of cells, with a partial last word, and of several compared blocks;
  // no change, a few cells, many or all of them written through editCostmap, with setCost
  // under the costmap's mutex (as nav2's layers do) or straight into the char map. Before a
  // refresh every cell answers for the costs of the refresh before; after it, for its own.
  std::mt19937 rng(11);
  const unsigned char kCosts[] = {0, 1, 252, 253, 254, 255};
  for (auto [size_x, size_y] : {std::pair{4u, 2u}, {4u, 3u}, {1u, 1u}, {61u, 37u}, {1006u, 9u}}) {
    SCOPED_TRACE(std::to_string(size_x) + " x " + std::to_string(size_y));
    const auto costmap = std::make_shared<nav2_costmap_2d::Costmap2D>(size_x, size_y, 0.05, 0, 0);
    skelmar_nav2_gridmap::GridMapROS grid(costmap);
    auto & layer = *grid.multi_map;
    const std::size_t cells = std::size_t{size_x} * size_y;
    std::vector<unsigned char> refreshed(cells, 0);
    auto expect_layer = [&](const char * when) {
      for (std::size_t i = 0; i < cells; ++i) {
        const unsigned int mx = i % size_x;
        const unsigned int my = i / size_x;
        ASSERT_EQ(layer.inDanger(mx, my, 0), refreshed[i] >= 253)
            << when << ": cell (" << mx << ", " << my << ")";
      }
    };
    for (int round = 0; round < 24; ++round) {
      const std::size_t writes[] = {0, 1, 1 + cells / 50, cells / 3, 2 * cells};
      const std::size_t count = writes[round % 5];
      auto write = [&](nav2_costmap_2d::Costmap2D & c) {
        for (std::size_t n = 0; n < count; ++n) {
          const std::size_t i = count > cells ? n % cells : rng() % cells;
          const unsigned char cost = kCosts[rng() % 6];
          if (round % 2 == 0) {
            c.setCost(i % size_x, i / size_x, cost);
          } else {
            c.getCharMap()[i] = cost;
          }
        }
      };
      if (round % 3 == 0) {
        layer.editCostmap(write);
      } else {
        std::lock_guard<nav2_costmap_2d::Costmap2D::mutex_t> lock(*costmap->getMutex());
        write(*costmap);
      }
      expect_layer("before the refresh");
      layer.updateMap();
      refreshed.assign(costmap->getCharMap(), costmap->getCharMap() + cells);
      expect_layer("after the refresh");
    }
  }
}

TEST(GridMap, QueriesRunWhileAnotherThreadWritesCostsAndRefreshes)
{
  const auto costmap = std::make_shared<nav2_costmap_2d::Costmap2D>(4, 3, 0.5, 0.0, 0.0);
  skelmar_nav2_gridmap::GridMapROS grid(costmap);
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
    auto write = [edit](nav2_costmap_2d::Costmap2D & c) {
      c.setCost(edit % 4, 1, edit % 2 == 0 ? 254 : 0);
    };
    if (edit % 3 == 0) {
      grid.multi_map->editCostmap(write);
    } else {
      std::lock_guard<nav2_costmap_2d::Costmap2D::mutex_t> lock(*costmap->getMutex());
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
