#include "demo_options.hpp"

#include <cmath>
#include <sstream>
#include <stdexcept>

namespace skelmar_demo {
namespace {

PlanarPose parsePose(const std::string & option, const std::string & text)
{
  std::istringstream in(text);
  PlanarPose pose{0.0, 0.0, 0.0};
  char comma1 = 0;
  char comma2 = 0;
  in >> pose.x >> comma1 >> pose.y;
  const bool has_yaw = static_cast<bool>(in >> comma2);
  if (has_yaw) {
    in >> pose.yaw;
  }
  const bool well_formed = !in.fail() && in.eof() && comma1 == ',' && (!has_yaw || comma2 == ',');
  if (!well_formed || !std::isfinite(pose.x) || !std::isfinite(pose.y) ||
      !std::isfinite(pose.yaw)) {
    throw std::invalid_argument(
        option + " expects x,y[,yaw] in metres and radians, not '" + text + "'");
  }
  return pose;
}

}  // namespace

std::string demoUsage(const std::string & program)
{
  return "Usage: " + program +
         " [--map FILE.yaml] [--goal x,y[,yaw]] [--start x,y[,yaw]] [--out FILE.png]\n"
         "\n"
         "Runs the navigation support library on a real map in one process:\n"
         "moves a blocked goal to the nearest free position, builds and publishes a path,\n"
         "tracks dynamic obstacles through a transform, scales a velocity command and\n"
         "draws everything on a trace raster saved as a picture.\n"
         "\n"
         "  --map FILE.yaml    map in the map_server format (default: the warehouse map)\n"
         "  --goal x,y[,yaw]   goal to move, in the map frame (default: inside a shelf)\n"
         "  --start x,y[,yaw]  start of the path (default: in the aisle beside the goal)\n"
         "  --out FILE.png     picture to write (default: demo.png)\n"
         "  --help             print this text\n";
}

DemoOptions parseDemoOptions(const std::vector<std::string> & args, const std::string & default_map)
{
  DemoOptions options;
  options.map_yaml = default_map;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string & option = args[i];
    if (option == "--help" || option == "-h") {
      options.help = true;
      continue;
    }
    if (option != "--map" && option != "--goal" && option != "--start" && option != "--out") {
      throw std::invalid_argument("unknown option '" + option + "' (see --help)");
    }
    if (i + 1 >= args.size()) {
      throw std::invalid_argument(option + " needs a value (see --help)");
    }
    const std::string & value = args[++i];
    if (option == "--map") {
      options.map_yaml = value;
    } else if (option == "--goal") {
      options.goal = parsePose(option, value);
    } else if (option == "--start") {
      options.start = parsePose(option, value);
    } else {
      options.out = value;
    }
  }
  return options;
}

}  // namespace skelmar_demo
