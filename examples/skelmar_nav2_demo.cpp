// Shows the navigation support library at work on a real map, in one process.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include <rclcpp/rclcpp.hpp>

#include "demo_options.hpp"
#include "demo_scene.hpp"

namespace {

// The installed demo lives in <prefix>/lib/skelmar_nav2_tools; the maps in <prefix>/share.
std::string defaultMap()
{
  char self[4096];
  const ssize_t length = readlink("/proc/self/exe", self, sizeof(self) - 1);
  if (length > 0) {
    std::string path(self, static_cast<std::size_t>(length));
    const auto lib = path.rfind("/lib/");
    if (lib != std::string::npos) {
      const std::string installed =
          path.substr(0, lib) + "/share/skelmar_nav2_gridmap/maps/warehouse.yaml";
      if (access(installed.c_str(), R_OK) == 0) {
        return installed;
      }
    }
  }
  return SKELMAR_DEMO_SOURCE_MAP;
}

}  // namespace

int main(int argc, char ** argv)
{
  // Quiet logger set-up notices unless the caller configured logging.
  setenv("SPDLOG_STDOUT", "true", 0);
  setenv("SPDLOG_SYSTEMD", "false", 0);
  setenv("SPDLOG_LEVEL", "info", 0);

  const auto args = rclcpp::init_and_remove_ros_arguments(argc, argv);
  int status = 0;
  try {
    const auto options = skelmar_demo::parseDemoOptions(args, defaultMap());
    if (options.help) {
      std::fputs(skelmar_demo::demoUsage(args.front()).c_str(), stdout);
    } else {
      skelmar_demo::DemoScene scene(options);
      const auto result = scene.run();
      status = result.goal_found && result.received_path_poses > 0 ? 0 : 3;
    }
  } catch (const std::invalid_argument & error) {
    std::fprintf(stderr, "skelmar_nav2_demo: %s\n", error.what());
    status = 2;
  } catch (const std::exception & error) {
    std::fprintf(stderr, "skelmar_nav2_demo: %s\n", error.what());
    status = 1;
  }
  rclcpp::shutdown();
  return status;
}
