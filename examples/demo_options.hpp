#ifndef SKELMAR_NAV2_TOOLS__EXAMPLES__DEMO_OPTIONS_HPP_
#define SKELMAR_NAV2_TOOLS__EXAMPLES__DEMO_OPTIONS_HPP_

#include <optional>
#include <string>
#include <vector>

namespace skelmar_demo {

/// A pose in the map frame: metres and radians.
struct PlanarPose
{
  double x;
  double y;
  double yaw;
};

/// What the demo was asked to do.
struct DemoOptions
{
  std::string map_yaml;             ///< map in the map_server format (YAML beside its PGM image)
  std::optional<PlanarPose> goal;   ///< blocked goal to move; the map's default when empty
  std::optional<PlanarPose> start;  ///< start of the path; the map's default when empty
  std::string out = "demo.png";     ///< picture written at the end
  bool help = false;                ///< print the usage and stop
};

/// Usage text listing every option.
std::string demoUsage(const std::string & program);

/**
 * @brief Reads the options from the command line (ROS arguments already removed).
 * @param args the program name followed by its arguments
 * @param default_map map used when --map is not given
 * @throws std::invalid_argument naming the offending option and value
 */
DemoOptions parseDemoOptions(
    const std::vector<std::string> & args, const std::string & default_map);

}  // namespace skelmar_demo

#endif  // SKELMAR_NAV2_TOOLS__EXAMPLES__DEMO_OPTIONS_HPP_
