// The logger's one-time configuration and record format (through a probe process per
// environment), run mode streaming, and the real-time priority call.

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cstring>
#include <fstream>
#include <iomanip>
#include <regex>
#include <thread>

#include "skelmar_nav2_tools/realtime.hpp"
#include "skelmar_nav2_tools/run_mode.hpp"
#include "support/child_process.hpp"

namespace {

std::vector<std::string> words(const std::string & text)
{
  std::istringstream in(text);
  return {std::istream_iterator<std::string>(in), {}};
}

// What the probe prints given the space-separated @p args, with only the loader's path and
// the SPDLOG_ variables in @p spdlog ("LEVEL=info ..."), once it exited cleanly.
std::string probe(const std::string & spdlog, const std::string & args)
{
  const char * loader_path = std::getenv("LD_LIBRARY_PATH");
  std::vector<std::string> environment{
      std::string("LD_LIBRARY_PATH=") + (loader_path ? loader_path : "")};
  for (const auto & assignment : words(spdlog)) {
    environment.push_back("SPDLOG_" + assignment);
  }
  skelmar_test::ChildProcess child(SKELMAR_LOGGER_PROBE, words(args), environment);
  std::string out = child.readAll();
  const auto status = child.waitForExit(std::chrono::seconds(10));
  EXPECT_TRUE(status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << args << ": " << out;
  return out;
}

const std::string kConsole = "STDOUT=true SYSTEMD=false ";  // no notices with a valid level

std::string notice(const std::string & variable, const std::string & state, const char * value)
{
  return "environment variable SPDLOG_" + variable + " is " + state + ", and set " + value + "\n";
}

TEST(Logger, PrintsWhatTheEnvironmentAndTheStatementsSay)
{
  const std::string info = "  1 [INFO] probe info 1\n";
  const std::string both = info + "  2 [ERROR] probe error 1\n";
  const std::string error = "  1 [ERROR] probe error 1\n";
  const std::string bad_level = notice("LEVEL", "invalid", "default level");
  std::ostringstream counted;  // numbered modulo 128 while the 8-bit counter wraps at 256
  for (int k = 1; k <= 300; ++k) {
    counted << std::setw(3) << k % 128 << " [INFO] probe info " << k << '\n';
  }
  const std::tuple<std::string, const char *, std::string> rows[] = {
      // Notices in order at the first statement, none before.
      {"", "", ""},
      {"", "info 2 error 1",
       notice("STDOUT", "not set", "true") + notice("SYSTEMD", "not set", "false") +
           notice("LEVEL", "not set", "default level") + info +
           "  2 [INFO] probe info 2\n  3 [ERROR] probe error 1\n"},
      {kConsole + "LEVEL=info", "info 1 error 1 warn", both + "probe warn\n"},
      {"STDOUT=false SYSTEMD=false LEVEL=info", "info 1", ""},
      {"STDOUT=TRUE SYSTEMD=false LEVEL=info", "info 1",
       notice("STDOUT", "invalid", "true") + info},
      // This machine may have no journal: records still reach the console.
      {"STDOUT=true SYSTEMD=true LEVEL=info", "info 1 error 1", both},
      {"STDOUT=true SYSTEMD=yes LEVEL=info", "info 1 error 1",
       notice("SYSTEMD", "invalid", "false") + both},
      {kConsole + "LEVEL=debug", "info 1 error 1", both},
      {kConsole + "LEVEL=warning", "info 1 error 1", error},
      {kConsole + "LEVEL=critical", "info 1 error 1", ""},
      {kConsole + "LEVEL=warn", "info 1 error 1", bad_level + both},
      {kConsole + "LEVEL=info", "info 300 counter", counted.str() + "counter 44\n"},
      // Notices come even without sinks; disabled statements are not counted.
      {"STDOUT=false SYSTEMD=false LEVEL=INFO", "info 3 error 2 counter",
       bad_level + "counter 5\n"},
      {kConsole + "LEVEL=error", "info 2 error 1 info 3 warn error 1 counter",
       error + "  2 [ERROR] probe error 1\ncounter 2\n"},
      // The first instance's name wins; the environment is read once.
      {kConsole + "LEVEL=info", "name first info 1 name second",
       "name first\n" + info + "name first\n"},
      {kConsole + "LEVEL=info",
       "info 1 setenv SPDLOG_LEVEL critical setenv SPDLOG_STDOUT false info 1",
       info + "  2 [INFO] probe info 1\n"},
      // Statements without a logger are harmless and silent, also on standard error.
      {kConsole + "LEVEL=info", "stderr info 1 drop info 2 error 1", info},
  };
  for (const auto & [spdlog, args, out] : rows) {
    EXPECT_EQ(probe(spdlog, args), "begin\n" + out + "end\n") << spdlog << " / " << args;
  }
}

// Journal entries carry the logger's name, the level as priority and the statement's file as
// the build names it, its line and its bare function.
TEST(Logger, RecordsNameTheirSourceInTheJournal)
{
  const std::string out = probe("STDOUT=false SYSTEMD=true LEVEL=info", "journal info 1 error 1");
  if (out == "begin\nno journal\n") {
    GTEST_SKIP() << "private mounts are not permitted here";
  }
  const std::string source = "\nSYSLOG_IDENTIFIER=spdlog\nCODE_FILE=" SKELMAR_LOGGER_PROBE_SOURCE
                             "\nCODE_LINE=[0-9]+\nCODE_FUNC=main\n--\n";
  EXPECT_TRUE(std::regex_match(
      out, std::regex(
               "begin\nMESSAGE=  1 \\[INFO\\] probe info 1\nPRIORITY=6" + source +
               "MESSAGE=  2 \\[ERROR\\] probe error 1\nPRIORITY=3" + source + "end\n")))
      << out;
}

TEST(RunMode, PrintsTheQualifiedNameAndReadsCodesThatAreValuesPlusOne)
{
  // Each value ends its line and flushes, as std::endl does: the file has it at once.
  const std::string path = testing::TempDir() + "run_mode";
  std::ofstream out(path);
  EXPECT_EQ(
      &(out << RunMode::NONE << RunMode::NAVIGATION << RunMode{2} << RunMode::STATICHUICOVERAGE
            << RunMode{-2}),
      &out);
  EXPECT_EQ(
      std::string(std::istreambuf_iterator<char>(std::ifstream(path).rdbuf()), {}),
      "RunMode::NONE\nRunMode::NAVIGATION\n\nRunMode::STATICHUICOVERAGE\n\n");
  // Other integers leave the mode as it was; no integer at all sets NONE.
  const RunMode unchanged{42};
  const std::tuple<const char *, RunMode, bool> rows[] = {
      {"0", RunMode::NONE, false},
      {"1", RunMode::NAVIGATION, false},
      {" 2 trailing", RunMode::STATICHUICOVERAGE, false},
      {"3", unchanged, false},
      {"-1", unchanged, false},
      {"abc", RunMode::NONE, true},
  };
  for (const auto & [text, mode, failed] : rows) {
    std::istringstream in(text);
    RunMode read = unchanged;
    EXPECT_EQ(&(in >> read), &in);
    EXPECT_EQ(std::make_pair(read, in.fail()), std::make_pair(mode, failed)) << '"' << text << '"';
  }
}

const std::string kRefusal =
    "Cannot set as real-time thread. Users must set: <username> hard rtprio 99 and <username> soft "
    "rtprio 99 in /etc/security/limits.conf to enable realtime prioritization! Error: " +
    std::string(std::strerror(EPERM));

std::pair<int, int> scheduling()  // policy and priority of the calling thread
{
  sched_param param{};
  sched_getparam(0, &param);
  return {sched_getscheduler(0), param.sched_priority};
}

TEST(RealTime, SetsFifo49ForTheCallingThreadOnlyOrThrowsTheFixedText)
{
  const auto caller = scheduling();
  std::pair<int, int> seen;
  std::string refusal;
  std::thread([&] {
    try {
      skelmar_realtime::setSoftRealTimePriority();
      skelmar_realtime::setSoftRealTimePriority();
      seen = scheduling();
    } catch (const std::runtime_error & error) {
      refusal = error.what();
    }
  }).join();
  EXPECT_EQ(scheduling(), caller);
  // Containers often withhold CAP_SYS_NICE even from root.
  EXPECT_TRUE(refusal.empty() ? seen == std::make_pair(SCHED_FIFO, 49) : refusal == kRefusal)
      << refusal << seen.first << ' ' << seen.second;
  // A child without the privilege (RLIMIT_RTPRIO 0, and no longer root) exits 0 only if
  // refused with the fixed text and its policy kept.
  const pid_t pid = fork();
  if (pid == 0) {
    const rlimit no_rtprio{0, 0};
    if (setrlimit(RLIMIT_RTPRIO, &no_rtprio) != 0 || (geteuid() == 0 && setuid(65534) != 0)) {
      _exit(3);
    }
    try {
      skelmar_realtime::setSoftRealTimePriority();
    } catch (const std::runtime_error & error) {
      _exit(error.what() == kRefusal && sched_getscheduler(0) == SCHED_OTHER ? 0 : 4);
    }
    _exit(5);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
}

}  // namespace
