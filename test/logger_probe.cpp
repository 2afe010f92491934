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
//   threads T N   T threads run N info statements each, at the same time

#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "log_call.hpp"
#include "skelmar_nav2_tools/base_robot.hpp"
#include "skelmar_nav2_tools/logger.hpp"

namespace {

// Shows each record as "<file>:<line> <function>" while it exists.
class LocationPattern
{
public:
  LocationPattern() : logger_(skelmar::Logger::Instance("spdlog").logger)
  {
    logger_->set_pattern("%g:%# %!");
  }
  ~LocationPattern()
  {
    logger_->set_pattern("%v");
  }

private:
  std::shared_ptr<spdlog::logger> logger_;
};

void logLocation()
{
  const LocationPattern pattern;
  SKELMAR_LOG_INFO("located");
}

void printPoseThroughLibrary()
{
  const LocationPattern pattern;
  geometry_msgs::msg::PoseStamped pose;
  pose.pose.orientation.w = 1.0;
  BaseRobot().printPose(pose, "probe");
}

void logConcurrently(int threads, int statements)
{
  std::vector<std::thread> workers;
  for (int t = 0; t < threads; ++t) {
    workers.emplace_back([t, statements] {
      for (int k = 1; k <= statements; ++k) {
        SKELMAR_LOG_INFO("thread {} statement {}", t, k);
      }
    });
  }
  for (auto & worker : workers) {
    worker.join();
  }
}

}  // namespace

int main(int argc, char ** argv)
{
  std::cout << "begin\n";
  const std::vector<std::string> args(argv + 1, argv + argc);
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string & command = args[i];
    const auto next = [&]() -> const std::string & {
      if (i + 1 >= args.size()) {
        std::cerr << "missing argument after " << command << '\n';
        std::exit(2);
      }
      return args[++i];
    };
    if (command == "info") {
      const int count = std::stoi(next());
      for (int k = 1; k <= count; ++k) {
        SKELMAR_LOG_INFO("probe info {}", k);
      }
    } else if (command == "error") {
      const int count = std::stoi(next());
      for (int k = 1; k <= count; ++k) {
        SKELMAR_LOG_ERROR("probe error {}", k);
      }
    } else if (command == "name") {
      std::cout << "name " << skelmar::Logger::Instance(next()).logger->name() << '\n';
    } else if (command == "location") {
      logLocation();
    } else if (command == "library") {
      printPoseThroughLibrary();
    } else if (command == "drop") {
      skelmar::Logger::Instance("spdlog").logger.reset();
    } else if (command == "setenv") {
      const std::string variable = next();
      setenv(variable.c_str(), next().c_str(), 1);
    } else if (command == "counter") {
      std::cout << "counter " << int{skelmar::Logger::Instance("spdlog").counter.load()} << '\n';
    } else if (command == "threads") {
      const int threads = std::stoi(next());
      logConcurrently(threads, std::stoi(next()));
    } else {
      std::cerr << "unknown command " << command << '\n';
      return 2;
    }
  }
  std::cout << "end\n";
  return 0;
}
