// BaseRobot::isFreeArea and BaseRobot::isFuzzyGoalFree against their literal implementation on
// the shipped maps: isFreeArea in the depot (0.05 m cells), the goal search in the warehouse
// (0.03 m cells, shelves of unknown space). Before timing, each scenario is run through both
// and must agree on the result, the goal written and the log records. Beside them, the grid
// map's refresh, which every refreshing check pays, against a plain copy of the warehouse's
// costs.

#include <benchmark/benchmark.h>
#include <spdlog/sinks/base_sink.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <skelmar_nav2_gridmap/grid_map_ros.hpp>
#include <skelmar_nav2_gridmap/map_loader.hpp>

#include "literal_free_area.hpp"
#include "skelmar_nav2_tools/base_robot.hpp"
#include "skelmar_nav2_tools/logger.hpp"

namespace {

using geometry_msgs::msg::PolygonStamped;
using geometry_msgs::msg::PoseStamped;

constexpr double kLength = 0.6;
constexpr double kWidth = 0.5;
constexpr double kRange = 2.0;

struct Scene
{
  std::shared_ptr<skelmar_nav2_gridmap::GridMapROS> map;
  PolygonStamped area;  // the whole map
};

Scene loadScene(const std::string & name)
{
  Scene w;
  w.map = std::make_shared<skelmar_nav2_gridmap::GridMapROS>(
      skelmar_nav2_gridmap::loadMap(std::string(SKELMAR_BENCH_MAPS_DIR) + "/" + name + ".yaml"));
  const auto & costmap = *w.map->multi_map->costmap;
  const double x0 = costmap.getOriginX();
  const double y0 = costmap.getOriginY();
  const double x1 = x0 + costmap.getSizeInCellsX() * costmap.getResolution();
  const double y1 = y0 + costmap.getSizeInCellsY() * costmap.getResolution();
  for (auto [x, y] : {std::pair{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}}) {
    geometry_msgs::msg::Point32 p;
    p.x = static_cast<float>(x);
    p.y = static_cast<float>(y);
    w.area.polygon.points.push_back(p);
  }
  return w;
}

const Scene & depot()
{
  static const Scene scene = loadScene("depot");
  return scene;
}

const Scene & warehouse()
{
  static const Scene scene = loadScene("warehouse");
  return scene;
}

PoseStamped pose(double x, double y, double yaw)
{
  PoseStamped p;
  p.header.frame_id = "map";
  p.pose.position.x = x;
  p.pose.position.y = y;
  p.pose.orientation.z = std::sin(yaw / 2);
  p.pose.orientation.w = std::cos(yaw / 2);
  return p;
}

// The open middle of the depot; in the warehouse, a goal on the edge of a shelf with free
// space 0.5 m away, and one in the middle of a 2.5 m wide shelf, where nothing fits within a
// metre.
const PoseStamped kFreePose = pose(10.0, 7.5, 0.4);
const PoseStamped kShelfEdgeGoal = pose(-9.5, -10.0, 0.4);
const PoseStamped kShelfMiddleGoal = pose(-9.0, -10.0, 0.4);

using FreeArea = std::function<bool(const PoseStamped &)>;
using FuzzyGoal = std::function<bool(PoseStamped &)>;

FreeArea libraryFreeArea()
{
  return [robot = BaseRobot()](const PoseStamped & at) mutable {
    return robot.isFreeArea(at, kLength, kWidth, depot().map);
  };
}

FreeArea literalFreeArea()
{
  return [](const PoseStamped & at) {
    return skelmar_literal::isFreeArea(at, kLength, kWidth, depot().map);
  };
}

FuzzyGoal libraryFuzzyGoal()
{
  return [robot = BaseRobot()](PoseStamped & goal) mutable {
    return robot.isFuzzyGoalFree(
        goal, kRange, kRange, kLength, kWidth, warehouse().map, warehouse().area);
  };
}

FuzzyGoal literalFuzzyGoal()
{
  return [](PoseStamped & goal) {
    return skelmar_literal::isFuzzyGoalFree(
        goal, kRange, kRange, kLength, kWidth, warehouse().map, warehouse().area);
  };
}

// ---------------------------------------------------------------------------------------------
// Agreement check

class TextSink : public spdlog::sinks::base_sink<std::mutex>
{
public:
  std::vector<std::string> records;

protected:
  void sink_it_(const spdlog::details::log_msg & msg) override
  {
    records.emplace_back(
        std::string(msg.payload.data(), msg.payload.size()) + " @" +
        (msg.source.funcname ? msg.source.funcname : ""));
  }
  void flush_() override {}
};

struct Outcome
{
  bool result;
  PoseStamped goal;
  std::vector<std::string> records;
};

Outcome observe(const std::function<bool(PoseStamped &)> & call, PoseStamped goal)
{
  auto & logger = skelmar::Logger::Instance("spdlog");
  auto sink = std::make_shared<TextSink>();
  logger.logger->sinks().push_back(sink);
  logger.counter = 0;
  const bool result = call(goal);
  auto & sinks = logger.logger->sinks();
  sinks.erase(std::remove(sinks.begin(), sinks.end(), sink), sinks.end());
  return {result, goal, sink->records};
}

bool agree(const char * name, const Outcome & library, const Outcome & literal)
{
  const bool same = library.result == literal.result && library.goal == literal.goal &&
                    library.records == literal.records;
  std::printf(
      "%-28s %s: result %d, goal (%.17g, %.17g), %zu log records\n", name,
      same ? "agree" : "DISAGREE", library.result, library.goal.pose.position.x,
      library.goal.pose.position.y, library.records.size());
  return same;
}

bool checkAgreement()
{
  bool ok = true;
  auto free_lib = libraryFreeArea();
  auto free_lit = literalFreeArea();
  ok &= agree(
      "isFreeArea free pose", observe([&](PoseStamped & p) { return free_lib(p); }, kFreePose),
      observe([&](PoseStamped & p) { return free_lit(p); }, kFreePose));
  auto fuzzy_lib = libraryFuzzyGoal();
  auto fuzzy_lit = literalFuzzyGoal();
  for (const auto & [name, goal] :
       {std::pair{"isFuzzyGoalFree shelf edge", kShelfEdgeGoal},
        std::pair{"isFuzzyGoalFree shelf middle", kShelfMiddleGoal}}) {
    ok &= agree(name, observe(fuzzy_lib, goal), observe(fuzzy_lit, goal));
  }
  return ok;
}

// ---------------------------------------------------------------------------------------------
// Timing

void runFreeArea(benchmark::State & state, const FreeArea & check)
{
  for (auto _ : state) {
    benchmark::DoNotOptimize(check(kFreePose));
  }
}

void runFuzzyGoal(benchmark::State & state, const FuzzyGoal & search, const PoseStamped & goal)
{
  for (auto _ : state) {
    PoseStamped moved = goal;
    benchmark::DoNotOptimize(search(moved));
    benchmark::DoNotOptimize(moved);
  }
}

void BM_FreePose_Literal(benchmark::State & state)
{
  runFreeArea(state, literalFreeArea());
}
void BM_FreePose_Library(benchmark::State & state)
{
  runFreeArea(state, libraryFreeArea());
}
void BM_ShelfEdgeGoal_Literal(benchmark::State & state)
{
  runFuzzyGoal(state, literalFuzzyGoal(), kShelfEdgeGoal);
}
void BM_ShelfEdgeGoal_Library(benchmark::State & state)
{
  runFuzzyGoal(state, libraryFuzzyGoal(), kShelfEdgeGoal);
}
void BM_ShelfMiddleGoal_Literal(benchmark::State & state)
{
  runFuzzyGoal(state, literalFuzzyGoal(), kShelfMiddleGoal);
}
void BM_ShelfMiddleGoal_Library(benchmark::State & state)
{
  runFuzzyGoal(state, libraryFuzzyGoal(), kShelfMiddleGoal);
}

// ---------------------------------------------------------------------------------------------
// Refresh of the warehouse's danger layer, beside a plain copy of its costs

// A warehouse of its own: these benchmarks change its costs.
const Scene & changingWarehouse()
{
  static const Scene scene = loadScene("warehouse");
  return scene;
}

std::size_t cellsOf(const nav2_costmap_2d::Costmap2D & costmap)
{
  return static_cast<std::size_t>(costmap.getSizeInCellsX()) * costmap.getSizeInCellsY();
}

void BM_WarehouseCosts_Memcpy(benchmark::State & state)
{
  const auto & costmap = *changingWarehouse().map->multi_map->costmap;
  std::vector<unsigned char> copy(cellsOf(costmap));
  for (auto _ : state) {
    std::memcpy(copy.data(), costmap.getCharMap(), copy.size());
    benchmark::ClobberMemory();
  }
}

// Nothing changed since the last refresh: what a query pays between two costmap updates.
void BM_WarehouseRefresh_Unchanged(benchmark::State & state)
{
  auto & multi_map = *changingWarehouse().map->multi_map;
  for (auto _ : state) {
    multi_map.updateMap();
  }
}

// Writes costs the way a costmap layer does, under the costmap's mutex, outside the timing.
void refreshAfterEachWrite(
    benchmark::State & state, const std::function<void(nav2_costmap_2d::Costmap2D &, bool)> & write)
{
  auto & multi_map = *changingWarehouse().map->multi_map;
  bool odd = false;
  for (auto _ : state) {
    state.PauseTiming();
    odd = !odd;
    {
      std::lock_guard<nav2_costmap_2d::Costmap2D::mutex_t> lock(*multi_map.costmap->getMutex());
      write(*multi_map.costmap, odd);
    }
    state.ResumeTiming();
    multi_map.updateMap();
  }
}

// An obstacle of a square metre appears and disappears between refreshes.
void BM_WarehouseRefresh_SquareMetreChanged(benchmark::State & state)
{
  refreshAfterEachWrite(state, [](nav2_costmap_2d::Costmap2D & costmap, bool odd) {
    unsigned int x0 = 0;
    unsigned int y0 = 0;
    costmap.worldToMap(0.0, 0.0, x0, y0);
    const auto cells = static_cast<unsigned int>(1.0 / costmap.getResolution());
    for (unsigned int y = y0; y < y0 + cells; ++y) {
      for (unsigned int x = x0; x < x0 + cells; ++x) {
        costmap.setCost(x, y, odd ? nav2_costmap_2d::LETHAL_OBSTACLE : nav2_costmap_2d::FREE_SPACE);
      }
    }
  });
}

// Every cell changes between refreshes: the most a refresh can cost.
void BM_WarehouseRefresh_EveryCellChanged(benchmark::State & state)
{
  refreshAfterEachWrite(state, [](nav2_costmap_2d::Costmap2D & costmap, bool) {
    unsigned char * costs = costmap.getCharMap();
    for (std::size_t i = 0, n = cellsOf(costmap); i < n; ++i) {
      costs[i] ^= 1;
    }
  });
}

BENCHMARK(BM_WarehouseCosts_Memcpy)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WarehouseRefresh_Unchanged)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WarehouseRefresh_SquareMetreChanged)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WarehouseRefresh_EveryCellChanged)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FreePose_Literal);
BENCHMARK(BM_FreePose_Library);
BENCHMARK(BM_ShelfEdgeGoal_Literal)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ShelfEdgeGoal_Library)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ShelfMiddleGoal_Literal)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ShelfMiddleGoal_Library)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char ** argv)
{
  // Records are counted and formatted as usual but not printed.
  setenv("SPDLOG_STDOUT", "false", 1);
  depot();
  warehouse();
  changingWarehouse();
  if (!checkAgreement()) {
    std::fprintf(stderr, "the library and the literal implementation disagree\n");
    return 1;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
