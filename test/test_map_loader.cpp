// The grid map stand-in: loading maps in the map_server format, and the danger layer.

#include <gtest/gtest.h>

#include <array>
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

const std::string kMaps = SKELMAR_TEST_MAPS_DIR;

std::map<unsigned char, std::size_t> costCounts(const nav2_costmap_2d::Costmap2D & costmap)
{
  std::map<unsigned char, std::size_t> counts;
  const std::size_t cells =
      static_cast<std::size_t>(costmap.getSizeInCellsX()) * costmap.getSizeInCellsY();
  for (std::size_t i = 0; i < cells; ++i) {
    ++counts[costmap.getCharMap()[i]];
  }
  return counts;
}

TEST(MapLoader, ShippedMapsHaveTheirCellCounts)
{
  struct Expected
  {
    const char * name;
    unsigned int width, height;
    double resolution, origin_x, origin_y;
    std::size_t occupied, free, unknown;
  };
  const Expected maps[] = {
      {"tb3_sandbox", 384, 384, 0.05, -10.0, -10.0, 870, 7903, 138683},
      {"depot", 604, 307, 0.05, 0.0, 0.0, 5947, 179481, 0},
      {"warehouse", 1006, 1674, 0.03, -15.1, -25.0, 30951, 1422292, 230801},
  };
  for (const Expected & e : maps) {
    SCOPED_TRACE(e.name);
    const auto costmap = loadMap(kMaps + "/" + e.name + ".yaml");
    EXPECT_EQ(costmap->getSizeInCellsX(), e.width);
    EXPECT_EQ(costmap->getSizeInCellsY(), e.height);
    EXPECT_EQ(costmap->getResolution(), e.resolution);
    EXPECT_EQ(costmap->getOriginX(), e.origin_x);
    EXPECT_EQ(costmap->getOriginY(), e.origin_y);
    auto counts = costCounts(*costmap);
    EXPECT_EQ(counts[nav2_costmap_2d::LETHAL_OBSTACLE], e.occupied);
    EXPECT_EQ(counts[nav2_costmap_2d::FREE_SPACE], e.free);
    EXPECT_EQ(counts[nav2_costmap_2d::NO_INFORMATION], e.unknown);
    EXPECT_EQ(e.occupied + e.free + e.unknown, std::size_t{e.width} * e.height) << "no other cost";
  }
}

// Writes small maps into a fresh folder and removes it afterwards.
class MapFiles : public ::testing::Test
{
protected:
  void SetUp() override
  {
    dir_ = fs::temp_directory_path() /
           ("skelmar_maps_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
  }
  void TearDown() override
  {
    fs::remove_all(dir_);
  }

  std::string write(const std::string & name, const std::string & content)
  {
    const fs::path path = dir_ / name;
    std::ofstream(path, std::ios::binary) << content;
    return path.string();
  }

  // A binary PGM of the given rows, first row on top.
  std::string pgm(const std::string & name, const std::vector<std::vector<unsigned char>> & rows)
  {
    std::string data = "P5\n# test image\n" + std::to_string(rows[0].size()) + " " +
                       std::to_string(rows.size()) + "\n255\n";
    for (const auto & row : rows) {
      data.append(row.begin(), row.end());
    }
    return write(name, data);
  }

  std::string yaml(const std::string & name, const std::string & body)
  {
    return write(name, body);
  }

  static std::string standardYaml(const std::string & extra = "")
  {
    return "image: image.pgm\nresolution: 0.5\norigin: [1.0, -2.0, 0.0]\nnegate: 0\n"
           "occupied_thresh: 0.65\nfree_thresh: 0.196\n" +
           extra;
  }

  // Message of the MapLoadError that loading @p yaml_path raises.
  std::string loadError(const std::string & yaml_path)
  {
    try {
      loadMap(yaml_path);
    } catch (const MapLoadError & e) {
      return e.what();
    }
    ADD_FAILURE() << "no MapLoadError for " << yaml_path;
    return "";
  }

  fs::path dir_;
};

TEST_F(MapFiles, FirstImageRowIsTheTopOfTheMap)
{
  pgm("image.pgm", {{0, 254, 205}, {254, 254, 0}});
  const auto costmap = loadMap(yaml("map.yaml", standardYaml()));
  ASSERT_EQ(costmap->getSizeInCellsX(), 3u);
  ASSERT_EQ(costmap->getSizeInCellsY(), 2u);
  EXPECT_EQ(costmap->getResolution(), 0.5);
  EXPECT_EQ(costmap->getOriginX(), 1.0);
  EXPECT_EQ(costmap->getOriginY(), -2.0);
  // Grid row 1 (higher y) is the first image row.
  EXPECT_EQ(costmap->getCost(0, 1), nav2_costmap_2d::LETHAL_OBSTACLE);
  EXPECT_EQ(costmap->getCost(1, 1), nav2_costmap_2d::FREE_SPACE);
  EXPECT_EQ(costmap->getCost(2, 1), nav2_costmap_2d::NO_INFORMATION);
  EXPECT_EQ(costmap->getCost(0, 0), nav2_costmap_2d::FREE_SPACE);
  EXPECT_EQ(costmap->getCost(2, 0), nav2_costmap_2d::LETHAL_OBSTACLE);
}

TEST_F(MapFiles, ModesNegateAndThresholds)
{
  // occ = 1 - p / 255: 0 -> 1.0, 64 -> 0.749, 128 -> 0.498, 200 -> 0.216, 255 -> 0.
  pgm("image.pgm", {{0, 64, 128, 200, 255, 50}});
  auto row = [](const nav2_costmap_2d::Costmap2D & c) {
    std::vector<int> out;
    for (unsigned int x = 0; x < c.getSizeInCellsX(); ++x) {
      out.push_back(c.getCost(x, 0));
    }
    return out;
  };
  EXPECT_EQ(
      row(*loadMap(yaml("trinary.yaml", standardYaml("mode: Trinary\n")))),
      (std::vector<int>{254, 254, 255, 255, 0, 254}));
  // Scale: between the thresholds, rint((occ - free) / (occupied - free) * 100), then
  // round(value * 254 / 100): 128 -> occ 0.498 -> 67 -> 170; 200 -> 0.216 -> 4 -> 10.
  EXPECT_EQ(
      row(*loadMap(yaml("scale.yaml", standardYaml("mode: scale\n")))),
      (std::vector<int>{254, 254, 170, 10, 0, 254}));
  // Raw: the pixel value itself when 0..100 (254 / 100 per step), unknown above.
  EXPECT_EQ(
      row(*loadMap(yaml("raw.yaml", standardYaml("mode: raw\n")))),
      (std::vector<int>{0, 163, 255, 255, 255, 127}));
  // Negate: occ = p / 255 (50 gives 0.19608, just above free_thresh).
  std::string negated = standardYaml();
  negated.replace(negated.find("negate: 0"), 9, "negate: true");
  EXPECT_EQ(
      row(*loadMap(yaml("negated.yaml", negated))), (std::vector<int>{0, 255, 255, 254, 254, 255}));
}

TEST_F(MapFiles, ImagePathIsRelativeToTheYamlFolder)
{
  fs::create_directories(dir_ / "maps");
  pgm("maps/image.pgm", {{0}});
  const std::string path = yaml("maps/map.yaml", standardYaml());
  EXPECT_EQ(loadMap(path)->getCost(0, 0), nav2_costmap_2d::LETHAL_OBSTACLE);
  // Absolute paths are taken as they are.
  std::string absolute = standardYaml();
  absolute.replace(absolute.find("image.pgm"), 9, (dir_ / "maps" / "image.pgm").string());
  EXPECT_EQ(loadMap(yaml("elsewhere.yaml", absolute))->getCost(0, 0), 254);
}

TEST_F(MapFiles, BrokenFilesNameTheFileAndTheProblem)
{
  const std::string missing_yaml = (dir_ / "nothing.yaml").string();
  EXPECT_NE(loadError(missing_yaml).find(missing_yaml), std::string::npos);
  EXPECT_NE(loadError(missing_yaml).find("cannot open"), std::string::npos);

  // The image is missing, truncated or not a binary PGM.
  const std::string map_yaml = yaml("map.yaml", standardYaml());
  const std::string image = (dir_ / "image.pgm").string();
  EXPECT_NE(loadError(map_yaml).find(image), std::string::npos);
  write("image.pgm", "P5\n4 4\n255\n0123456789");
  EXPECT_NE(loadError(map_yaml).find("truncated pixel data"), std::string::npos);
  write("image.pgm", "P5\n4 4\n");
  EXPECT_NE(loadError(map_yaml).find("truncated header"), std::string::npos);
  write("image.pgm", "P2\n1 1\n255\n0\n");
  EXPECT_NE(loadError(map_yaml).find("P5"), std::string::npos);
  write("image.pgm", "\x89PNG\r\n");
  EXPECT_NE(loadError(map_yaml).find(image), std::string::npos);
  write("image.pgm", "P5\n2 x\n255\n");
  EXPECT_NE(loadError(map_yaml).find("height is not a number"), std::string::npos);
  write("image.pgm", "P5\n0 3\n255\n");
  EXPECT_NE(loadError(map_yaml).find("empty"), std::string::npos);
  write("image.pgm", std::string("P5\n1 1\n100\n\xC8", 12));
  EXPECT_NE(loadError(map_yaml).find("exceeds the maximum"), std::string::npos);

  // Every required key, then malformed values.
  pgm("image.pgm", {{0}});
  for (const std::string key :
       {"image", "resolution", "origin", "negate", "occupied_thresh", "free_thresh"}) {
    std::string body = standardYaml();
    const std::size_t at = body.find(key + ":");
    body.erase(at, body.find('\n', at) - at + 1);
    const std::string message = loadError(yaml("missing_" + key + ".yaml", body));
    EXPECT_NE(message.find("missing key '" + key + "'"), std::string::npos) << message;
    EXPECT_NE(message.find("missing_" + key + ".yaml"), std::string::npos) << message;
  }
  const std::pair<std::string, std::string> bad[] = {
      {"origin: [1.0, -2.0, 0.0]", "origin: [1.0, -2.0]"},
      {"origin: [1.0, -2.0, 0.0]", "origin: [1.0, -2.0, 0.5]"},
      {"resolution: 0.5", "resolution: 0"},
      {"resolution: 0.5", "resolution: fine"},
      {"negate: 0", "negate: maybe"},
      {"image: image.pgm", "image: \"\""},
  };
  for (const auto & [from, to] : bad) {
    std::string body = standardYaml();
    body.replace(body.find(from), from.size(), to);
    const std::string message = loadError(yaml("bad.yaml", body));
    EXPECT_NE(message.find("bad.yaml"), std::string::npos) << to;
  }
  EXPECT_NE(
      loadError(yaml("mode.yaml", standardYaml("mode: fancy\n"))).find("unknown mode 'fancy'"),
      std::string::npos);
  EXPECT_NE(loadError(yaml("list.yaml", "- 1\n- 2\n")).find("mapping"), std::string::npos);
  EXPECT_NE(loadError(yaml("syntax.yaml", "image: [unclosed\n")).find("YAML"), std::string::npos);
}

// ---------------------------------------------------------------------------------------------
// The danger layer

std::shared_ptr<nav2_costmap_2d::Costmap2D> smallCostmap()
{
  return std::make_shared<nav2_costmap_2d::Costmap2D>(4, 3, 0.5, 0.0, 0.0);
}

TEST(GridMap, DangerMeansInscribedLethalOrUnknownAndNeedsARefresh)
{
  skelmar_nav2_gridmap::GridMapROS grid(smallCostmap());
  EXPECT_EQ(grid.getGlobalFrameID(), "map");
  auto & layer = *grid.multi_map;
  layer.editCostmap([](nav2_costmap_2d::Costmap2D & c) {
    c.setCost(0, 0, 252);
    c.setCost(1, 0, 253);
    c.setCost(2, 0, 254);
    c.setCost(3, 0, 255);
  });
  EXPECT_FALSE(layer.inDanger(2, 0, 0)) << "edits show only after updateMap";
  grid.waitForCostmap();
  layer.updateMap();
  EXPECT_FALSE(layer.inDanger(0, 0, 0));
  EXPECT_TRUE(layer.inDanger(1, 0, 0));
  EXPECT_TRUE(layer.inDanger(2, 0, 0));
  EXPECT_TRUE(layer.inDanger(3, 0, 0));
  EXPECT_FALSE(layer.inDanger(3, 2, 0));
  EXPECT_EQ(layer.costmap->getCost(2, 0), 254);
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

TEST(GridMap, BadQueriesAndEditsAreRejected)
{
  EXPECT_THROW(skelmar_nav2_gridmap::GridMapROS(nullptr), std::invalid_argument);
  skelmar_nav2_gridmap::GridMapROS grid(smallCostmap(), "odom");
  EXPECT_EQ(grid.getGlobalFrameID(), "odom");
  auto & layer = *grid.multi_map;
  EXPECT_THROW(layer.inDanger(4, 0, 0), std::out_of_range);
  EXPECT_THROW(layer.inDanger(0, 3, 0), std::out_of_range);
  EXPECT_THROW(layer.inDanger(0, 0, 1), std::out_of_range);
  EXPECT_THROW(
      layer.editCostmap([](nav2_costmap_2d::Costmap2D & c) { c.resizeMap(8, 8, 0.5, 0, 0); }),
      std::logic_error);
  EXPECT_THROW(layer.updateMap(), std::logic_error) << "the layer cannot follow a resize";
}

TEST(GridMap, QueriesRunWhileAnotherThreadWritesCostsAndRefreshes)
{
  auto costmap = smallCostmap();
  skelmar_nav2_gridmap::GridMapROS grid(costmap);
  std::atomic<bool> stop{false};
  std::atomic<long> answers{0};
  std::vector<std::thread> readers;
  for (int t = 0; t < 3; ++t) {
    readers.emplace_back([&] {
      while (!stop) {
        grid.multi_map->updateMap();
        for (unsigned int x = 0; x < 4; ++x) {
          answers += grid.multi_map->inDanger(x, 1, 0) ? 1 : 0;
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
