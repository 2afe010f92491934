// Runs logging statements as told by its arguments, so that tests can watch the one-time
// configuration from the environment and the records on standard output.
//
//   info N        N info statements "probe info <k>", k = 1..N
//   error N       N error statements "probe error <k>"
//   name TEXT     calls Instance(TEXT) and prints the name of the instance's logger
//   location      logs one statement with the pattern "%g:%# %!" (file, line, function)
//   library       prints a pose through the library with that pattern
//   drop          empties the instance's logger, as a construction stopped early would
//   setenv V X    sets environment variable V to X
//   counter       prints the instance's counter
//   stderr        sends standard error to standard output from here on

#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "log_call.hpp"
#include "skelmar_nav2_tools/base_robot.hpp"
#include "skelmar_nav2_tools/logger.hpp"

namespace {

// Shows each record as "<file>:<line> <function>" while it exists.
class LocationPattern
{
public:
  LocationPattern()
  {
    skelmar::Logger::Instance("spdlog").logger->set_pattern("%g:%# %!");
  }
  ~LocationPattern()
  {
    skelmar::Logger::Instance("spdlog").logger->set_pattern("%v");
  }
};

void logLocation()
{
  const LocationPattern pattern;
  SKELMAR_LOG_INFO("located");
}

}  // namespace

int main(int argc, char ** argv)
{
  std::cout << "begin\n";
  const std::vector<std::string> args(argv + 1, argv + argc);
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string & command = args[i];
    const auto next = [&]() -> const std::string & { return args.at(++i); };
    if (command == "info" || command == "error") {
      const int count = std::stoi(next());
      for (int k = 1; k <= count; ++k) {
        if (command == "info") {
          SKELMAR_LOG_INFO("probe info {}", k);
        } else {
          SKELMAR_LOG_ERROR("probe error {}", k);
        }
      }
    } else if (command == "name") {
      std::cout << "name " << skelmar::Logger::Instance(next()).logger->name() << '\n';
    } else if (command == "location") {
      logLocation();
    } else if (command == "library") {
      const LocationPattern pattern;
      BaseRobot().printPose(geometry_msgs::msg::PoseStamped(), "probe");
    } else if (command == "drop") {
      skelmar::Logger::Instance("spdlog").logger.reset();
    } else if (command == "setenv") {
      const std::string variable = next();
      setenv(variable.c_str(), next().c_str(), 1);
    } else if (command == "counter") {
      std::cout << "counter " << int{skelmar::Logger::Instance("spdlog").counter.load()} << '\n';
    } else if (command == "stderr") {
      std::cout.flush();
      dup2(STDOUT_FILENO, STDERR_FILENO);
    } else {
      std::cerr << "unknown command " << command << '\n';
      return 2;
    }
  }
  std::cout << "end\n";
  return 0;
}
