// Cost of one library log statement, disabled and enabled with no sinks, against a literal
// reading of the call-site steps and against a bare spdlog call of the same message.

#include <benchmark/benchmark.h>
#include <fmt/format.h>
#include <spdlog/logger.h>
#include <spdlog/sinks/ostream_sink.h>

#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>

#include "log_call.hpp"
#include "skelmar_nav2_tools/logger.hpp"

namespace {

const double kX = 1.25;
const double kY = -3.5;
const int kCandidates = 42;

// The call-site steps in their written order: copy the logger, format, count, prefix, log.
void literalInfo(const spdlog::source_loc & location, double x, double y, int candidates)
{
  skelmar::Logger & instance = skelmar::Logger::Instance("spdlog");
  std::shared_ptr<spdlog::logger> logger = instance.logger;
  const std::string message =
      fmt::format("goal ({}, {}) blocked after {} candidates", x, y, candidates);
  if (instance.level <= spdlog::level::info) {
    ++instance.counter;
  }
  const std::string prefix = fmt::format("{0:3d} [INFO] ", instance.counter % 128);
  const std::string payload = prefix + message;
  if (logger) {
    logger->log(location, spdlog::level::info, payload);
  }
}

void libraryInfo(double x, double y, int candidates)
{
  SKELMAR_LOG_INFO("goal ({}, {}) blocked after {} candidates", x, y, candidates);
}

void setLevel(spdlog::level::level_enum level)
{
  skelmar::Logger & instance = skelmar::Logger::Instance("spdlog");
  instance.level = level;
  instance.logger->set_level(level);
}

std::shared_ptr<spdlog::logger> bareLogger(spdlog::level::level_enum level)
{
  auto logger = std::make_shared<spdlog::logger>("bare");
  logger->set_level(level);
  return logger;
}

// Both statements must write the same record, apart from the running number.
bool recordsAgree()
{
  auto logger = skelmar::Logger::Instance("spdlog").logger;
  std::ostringstream captured;
  auto sink = std::make_shared<spdlog::sinks::ostream_sink_st>(captured);
  sink->set_pattern("%v");
  logger->sinks().push_back(sink);
  libraryInfo(kX, kY, kCandidates);
  const std::string library = captured.str();
  captured.str("");
  literalInfo(spdlog::source_loc{__FILE__, __LINE__, "literalInfo"}, kX, kY, kCandidates);
  const std::string literal = captured.str();
  logger->sinks().pop_back();
  const bool agree = library.size() > 3 && library.substr(3) == literal.substr(3);
  if (!agree) {
    std::cerr << "records differ: '" << library << "' vs '" << literal << "'\n";
  }
  return agree;
}

void libraryStatement(benchmark::State & state, spdlog::level::level_enum level)
{
  setLevel(level);
  for (auto _ : state) {
    libraryInfo(kX, kY, kCandidates);
  }
  setLevel(spdlog::level::info);
}

void literalStatement(benchmark::State & state, spdlog::level::level_enum level)
{
  setLevel(level);
  for (auto _ : state) {
    literalInfo(spdlog::source_loc{__FILE__, __LINE__, "literalInfo"}, kX, kY, kCandidates);
  }
  setLevel(spdlog::level::info);
}

void bareSpdlogStatement(benchmark::State & state, spdlog::level::level_enum level)
{
  const auto logger = bareLogger(level);
  for (auto _ : state) {
    logger->log(
        spdlog::source_loc{__FILE__, __LINE__, "bareSpdlogStatement"}, spdlog::level::info,
        "goal ({}, {}) blocked after {} candidates", kX, kY, kCandidates);
  }
}

BENCHMARK_CAPTURE(libraryStatement, disabled, spdlog::level::err);
BENCHMARK_CAPTURE(literalStatement, disabled, spdlog::level::err);
BENCHMARK_CAPTURE(bareSpdlogStatement, disabled, spdlog::level::err);
BENCHMARK_CAPTURE(libraryStatement, enabled_no_sinks, spdlog::level::info);
BENCHMARK_CAPTURE(literalStatement, enabled_no_sinks, spdlog::level::info);
BENCHMARK_CAPTURE(bareSpdlogStatement, enabled_no_sinks, spdlog::level::info);

}  // namespace

int main(int argc, char ** argv)
{
  // The logger reads these once, on first use: no console, no journal, level info.
  setenv("SPDLOG_STDOUT", "false", 1);
  setenv("SPDLOG_SYSTEMD", "false", 1);
  setenv("SPDLOG_LEVEL", "info", 1);
  if (!skelmar::Logger::Instance("spdlog").logger || !recordsAgree()) {
    return 1;
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
