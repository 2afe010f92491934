// The logger (through a probe process per environment), run mode streaming, real-time priority.

#include <gmock/gmock.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstring>
#include <future>
#include <regex>

#include "skelmar_nav2_tools/realtime.hpp"
#include "skelmar_nav2_tools/run_mode.hpp"

namespace {

// The probe's output for @p args in an environment of just the SPDLOG_ variables in @p spdlog.
std::string probe(const std::string & spdlog, const std::string & args)
{
  const std::string command = "env -i LD_LIBRARY_PATH=\"$LD_LIBRARY_PATH\" " +
                              std::regex_replace(spdlog, std::regex("\\S+"), "SPDLOG_$&") +
                              " " SKELMAR_LOGGER_PROBE " " + args;
  FILE * const output = popen(command.c_str(), "r");
  std::string out(1 << 16, '\0');  // more than any probe prints
  out.resize(output ? std::fread(out.data(), 1, out.size(), output) : 0);
  return out + (output && pclose(output) == 0 ? "" : "(failed)");
}

TEST(Logger, PrintsWhatTheEnvironmentAndTheStatementsSay)
{
  const auto notice = [](const std::string & variable, const std::string & state, const char * to) {
    return "environment variable SPDLOG_" + variable + " is " + state + ", and set " + to + "\n";
  };
  const std::string info = "  1 [INFO] probe info 1\n", error = "  1 [ERROR] probe error 1\n";
  const std::string both = info + "  2 [ERROR] probe error 1\n";
  const std::string bad_level = notice("LEVEL", "invalid", "default level");
  const std::tuple<std::string, const char *, std::string> rows[] = {
      {"", "info 1 error 1",  // notices in order at the first statement
       notice("STDOUT", "not set", "true") + notice("SYSTEMD", "not set", "false") +
           notice("LEVEL", "not set", "default level") + both},
      {"STDOUT=TRUE SYSTEMD=yes LEVEL=warn", "info 1 error 1",
       notice("STDOUT", "invalid", "true") + notice("SYSTEMD", "invalid", "false") + bad_level +
           both},
      {"STDOUT=true SYSTEMD=true LEVEL=warning", "warn info 1 error 1", "probe warn\n" + error},
      {"STDOUT=true SYSTEMD=false LEVEL=critical", "info 1 error 1 warn", ""},
      {"STDOUT=false SYSTEMD=false LEVEL=INFO", "info 300 error 2 counter",  // no sinks, 8 bits
       bad_level + "counter 46\n"},
      {"STDOUT=true SYSTEMD=false LEVEL=error", "info 2 error 1 info 3 error 1 counter",
       error + "  2 [ERROR] probe error 1\ncounter 2\n"},  // disabled ones are not counted
      // The first name wins, the environment is read once, a dropped logger is silent (stderr too).
      {"STDOUT=true SYSTEMD=false LEVEL=debug",
       "name first info 1 name second reconfigure info 1 drop info 2 error 1",
       "name first\n" + info + "name first\n  2 [INFO] probe info 1\n"}};
  for (const auto & [spdlog, args, out] : rows) {
    EXPECT_EQ(probe(spdlog, args), "begin\n" + out + "end\n") << spdlog << " / " << args;
  }
}

// Journal entries carry the logger's name, the level as priority and the statement's source.
TEST(Logger, RecordsNameTheirSourceInTheJournal)
{
  const std::string out = probe("STDOUT=false SYSTEMD=true LEVEL=info", "journal info 1 error 1");
  if (out == "begin\nno journal\n") {
    GTEST_SKIP() << "private mounts are not permitted here";
  }
  const std::string source = "\nSYSLOG_IDENTIFIER=spdlog\nCODE_FILE=" SKELMAR_LOGGER_PROBE_SOURCE
                             "\nCODE_LINE=[0-9]+\nCODE_FUNC=main\n--\n";
  EXPECT_THAT(
      out, testing::MatchesRegex(
               "begin\nMESSAGE=  1 \\[INFO\\] probe info 1\nPRIORITY=6" + source +
               "MESSAGE=  2 \\[ERROR\\] probe error 1\nPRIORITY=3" + source + "end\n"));
}

TEST(RunMode, PrintsTheQualifiedNameAndReadsCodesThatAreValuesPlusOne)
{
  // Other codes leave the mode (none here: an empty line), no number sets NONE.
  std::ostringstream out;
  for (const char * text : {"0", "1", " 2 trailing", "3", "-1", "abc"}) {
    RunMode read{42};
    out << (std::istringstream(text) >> read).fail() << read;
  }
  EXPECT_EQ(
      out.str(),
      "0RunMode::NONE\n0RunMode::NAVIGATION\n0RunMode::STATICHUICOVERAGE\n0\n0\n1RunMode::NONE\n");
}

TEST(RealTime, SetsFifo49ForTheCallingThreadOnlyOrThrowsTheFixedText)
{
  // Sets the priority twice; returns the refusal, if any, and the calling thread's scheduling.
  const auto attempt = [] {
    std::string outcome;
    try {
      skelmar_realtime::setSoftRealTimePriority();
      skelmar_realtime::setSoftRealTimePriority();
    } catch (const std::runtime_error & error) {
      outcome = error.what();
    }
    sched_param param{};
    sched_getparam(0, &param);
    return outcome + ", " + std::to_string(sched_getscheduler(0)) + " " +
           std::to_string(param.sched_priority);
  };
  const int policy = sched_getscheduler(0);  // not real-time, so at priority 0
  const std::string refused =
      "Cannot set as real-time thread. Users must set: <username> hard rtprio 99 and <username> "
      "soft rtprio 99 in /etc/security/limits.conf to enable realtime prioritization! Error: " +
      std::string(std::strerror(EPERM)) + ", " + std::to_string(policy) + " 0";
  const std::string outcome = std::async(std::launch::async, attempt).get();  // on a new thread
  EXPECT_EQ(sched_getscheduler(0), policy);
  // Containers often withhold CAP_SYS_NICE even from root.
  EXPECT_THAT(outcome, testing::AnyOf(", " + std::to_string(SCHED_FIFO) + " 49", refused));
  // A child without the privilege (RLIMIT_RTPRIO 0, and no longer root) is always refused.
  const pid_t pid = fork();
  if (pid == 0) {
    const rlimit no_rtprio{0, 0};
    const bool unprivileged =
        setrlimit(RLIMIT_RTPRIO, &no_rtprio) == 0 && (geteuid() != 0 || setuid(65534) == 0);
    _exit(unprivileged && attempt() == refused ? 0 : 1);
  }
  int status = 0;
  EXPECT_TRUE(waitpid(pid, &status, 0) == pid && status == 0) << "child status " << status;
}

}  // namespace
