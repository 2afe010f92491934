#include "demo_options.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <stdexcept>

namespace skelmar_demo {
namespace {

PlanarPose parsePose(const std::string & option, const std::string & text)
{
  std::vector<double> values;
  std::size_t begin = 0;
  while (begin <= text.size()) {
    const std::size_t comma = std::min(text.find(',', begin), text.size());
    const std::string field = text.substr(begin, comma - begin);
    char * end = nullptr;
    const double value = std::strtod(field.c_str(), &end);
    if (field.empty() || end != field.c_str() + field.size() || !std::isfinite(value)) {
      values.clear();
      break;
    }
    values.push_back(value);
    begin = comma + 1;
  }
  if (values.size() != 2 && values.size() != 3) {
    throw std::invalid_argument(
        option + " expects x,y[,yaw] in metres and radians, not '" + text + "'");
  }
  return {values[0], values[1], values.size() == 3 ? values[2] : 0.0};
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
