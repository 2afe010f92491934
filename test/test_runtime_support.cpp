// The logger's one-time configuration and call-site format (through a probe process per
// environment), run mode streaming, and the real-time priority call.

#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iomanip>
#include <optional>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "skelmar_nav2_tools/realtime.hpp"
#include "skelmar_nav2_tools/run_mode.hpp"
#include "support/child_process.hpp"

namespace {

// What the probe prints with exactly @p environment (and the loader's path) and @p args,
// after checking that it exited cleanly.
std::string probe(std::vector<std::string> environment, const std::vector<std::string> & args)
{
  if (const char * loader_path = std::getenv("LD_LIBRARY_PATH")) {
    environment.push_back(std::string("LD_LIBRARY_PATH=") + loader_path);
  }
  skelmar_test::ChildProcess child(SKELMAR_LOGGER_PROBE, args, environment);
  std::string out = child.readAll();
  const auto status = child.waitForExit(std::chrono::seconds(10));
  EXPECT_TRUE(status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << out;
  return out;
}

const std::string kStdoutUnset = "environment variable SPDLOG_STDOUT is not set, and set true\n";
const std::string kStdoutInvalid = "environment variable SPDLOG_STDOUT is invalid, and set true\n";
const std::string kSystemdUnset = "environment variable SPDLOG_SYSTEMD is not set, and set false\n";
const std::string kSystemdInvalid =
    "environment variable SPDLOG_SYSTEMD is invalid, and set false\n";
const std::string kLevelUnset =
    "environment variable SPDLOG_LEVEL is not set, and set default level\n";
const std::string kLevelInvalid =
    "environment variable SPDLOG_LEVEL is invalid, and set default level\n";

// Console on, journal off, level info: no notices.
const std::vector<std::string> kQuiet{
    "SPDLOG_STDOUT=true", "SPDLOG_SYSTEMD=false", "SPDLOG_LEVEL=info"};

std::vector<std::string> quietWith(const std::string & assignment)
{
  std::vector<std::string> environment = kQuiet;
  for (auto & entry : environment) {
    if (entry.substr(0, entry.find('=')) == assignment.substr(0, assignment.find('='))) {
      entry = assignment;
    }
  }
  return environment;
}

std::string regexQuoted(const std::string & text)
{
  return std::regex_replace(text, std::regex(R"([.+*?()\[\]{}|^$\\])"), R"(\$&)");
}

TEST(Logger, PrintsWhatTheEnvironmentAndTheStatementsSay)
{
  const std::string info = "  1 [INFO] probe info 1\n";
  const std::string both = info + "  2 [ERROR] probe error 1\n";
  const std::string error = "  1 [ERROR] probe error 1\n";
  const std::vector<std::string> one{"info", "1"};
  const std::vector<std::string> two{"info", "1", "error", "1"};
  const struct
  {
    std::vector<std::string> environment;
    std::vector<std::string> args;
    std::string out;
  } rows[] = {
      // Notices in order at the first statement, none before.
      {{}, {}, ""},
      {{},
       {"info", "2", "error", "1"},
       kStdoutUnset + kSystemdUnset + kLevelUnset + info +
           "  2 [INFO] probe info 2\n  3 [ERROR] probe error 1\n"},
      {quietWith("SPDLOG_STDOUT=true"), one, info},
      {quietWith("SPDLOG_STDOUT=false"), one, ""},
      {quietWith("SPDLOG_STDOUT=TRUE"), one, kStdoutInvalid + info},
      // This machine may have no journal: records still reach the console.
      {quietWith("SPDLOG_SYSTEMD=true"), two, both},
      {quietWith("SPDLOG_SYSTEMD=false"), two, both},
      {quietWith("SPDLOG_SYSTEMD=yes"), two, kSystemdInvalid + both},
      {quietWith("SPDLOG_LEVEL=debug"), two, both},
      {quietWith("SPDLOG_LEVEL=warning"), two, error},
      {quietWith("SPDLOG_LEVEL=critical"), two, ""},
      {quietWith("SPDLOG_LEVEL=warn"), two, kLevelInvalid + both},
      {quietWith("SPDLOG_LEVEL="), two, kLevelInvalid + both},
      // Notices come even without sinks; disabled statements are not counted.
      {{"SPDLOG_STDOUT=false", "SPDLOG_SYSTEMD=false", "SPDLOG_LEVEL=INFO"},
       {"info", "3", "error", "2", "counter"},
       kLevelInvalid + "counter 5\n"},
      {quietWith("SPDLOG_LEVEL=error"),
       {"info", "2", "error", "1", "info", "3", "error", "1", "counter"},
       error + "  2 [ERROR] probe error 1\ncounter 2\n"},
      // The first instance's name wins; the environment is read once.
      {kQuiet, {"info", "1", "name", "other"}, info + "name spdlog\n"},
      {kQuiet,
       {"name", "first", "info", "1", "name", "second"},
       "name first\n" + info + "name first\n"},
      {kQuiet,
       {"info", "1", "setenv", "SPDLOG_LEVEL", "critical", "setenv", "SPDLOG_STDOUT", "false",
        "info", "1"},
       info + "  2 [INFO] probe info 1\n"},
      // Statements without a logger are harmless and silent, also on standard error.
      {kQuiet, {"stderr", "info", "1", "drop", "info", "2", "error", "1"}, info},
  };
  for (const auto & row : rows) {
    std::string call;
    for (const auto & text : row.environment) {
      call += text + " ";
    }
    for (const auto & text : row.args) {
      call += text + " ";
    }
    EXPECT_EQ(probe(row.environment, row.args), "begin\n" + row.out + "end\n") << call;
  }
}

TEST(Logger, NumberIsCountModulo128AcrossTheByteWrap)
{
  std::ostringstream expected;
  expected << "begin\n";
  for (int k = 1; k <= 300; ++k) {
    expected << std::setw(3) << k % 128 << " [INFO] probe info " << k << '\n';
  }
  expected << "counter " << 300 % 256 << "\nend\n";
  const std::string out = probe(kQuiet, {"info", "300", "counter"});
  EXPECT_EQ(out, expected.str());
  EXPECT_NE(
      out.find("\n127 [INFO] probe info 127\n  0 [INFO] probe info 128\n"), std::string::npos);
}

TEST(Logger, RecordsNameTheirFileLineAndBareFunction)
{
  EXPECT_TRUE(std::regex_match(
      probe(kQuiet, {"location"}),
      std::regex(
          "begin\n" + regexQuoted(SKELMAR_LOGGER_PROBE_SOURCE) + ":[0-9]+ logLocation\nend\n")));
  // The library's own records name their source relative to the package.
  EXPECT_TRUE(std::regex_match(
      probe(kQuiet, {"library"}),
      std::regex(R"(begin\n(\./src/base_robot\.cpp:[0-9]+ printPose\n){4}end\n)")));
}

// Runs the probe with a private journal socket, in a child with its own mount table so that
// the machine's /run is untouched; returns the datagrams, each followed by "--\n", or nothing
// where private mounts are not permitted.
std::optional<std::string> journalEntries(const std::vector<std::string> & args)
{
  int channel[2];
  if (pipe(channel) != 0) {
    throw std::runtime_error("pipe failed");
  }
  const pid_t pid = fork();
  if (pid == 0) {
    close(channel[0]);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, "/run/systemd/journal/socket");
    const int journal = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (unshare(CLONE_NEWNS) != 0 ||
        mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount("tmpfs", "/run", "tmpfs", 0, nullptr) != 0 || mkdir("/run/systemd", 0755) != 0 ||
        mkdir("/run/systemd/journal", 0755) != 0 || journal < 0 ||
        bind(journal, reinterpret_cast<sockaddr *>(&address), sizeof(address)) != 0) {
      _exit(5);
    }
    if (probe({"SPDLOG_STDOUT=false", "SPDLOG_SYSTEMD=true", "SPDLOG_LEVEL=info"}, args) !=
        "begin\nend\n") {
      _exit(6);
    }
    char buffer[65536];
    for (ssize_t n; (n = recv(journal, buffer, sizeof(buffer), MSG_DONTWAIT)) > 0;) {
      (void)!write(channel[1], buffer, static_cast<size_t>(n));
      (void)!write(channel[1], "--\n", 3);
    }
    _exit(0);
  }
  close(channel[1]);
  std::string entries;
  char buffer[4096];
  for (ssize_t n; (n = read(channel[0], buffer, sizeof(buffer))) > 0;) {
    entries.append(buffer, static_cast<size_t>(n));
  }
  close(channel[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (WIFEXITED(status) && WEXITSTATUS(status) == 5) {
    return std::nullopt;
  }
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "journal probe failed";
  return entries;
}

TEST(Logger, JournalEntriesCarryIdentifierPriorityPayloadAndSource)
{
  const auto entries = journalEntries({"info", "1", "error", "1"});
  if (!entries) {
    GTEST_SKIP() << "private mounts are not permitted here";
  }
  const std::string source = "CODE_FILE=" + regexQuoted(SKELMAR_LOGGER_PROBE_SOURCE) +
                             "\nCODE_LINE=[0-9]+\nCODE_FUNC=main\n--\n";
  EXPECT_TRUE(std::regex_match(
      *entries,
      std::regex(
          "MESSAGE=  1 \\[INFO\\] probe info 1\nPRIORITY=6\nSYSLOG_IDENTIFIER=spdlog\n" + source +
          "MESSAGE=  2 \\[ERROR\\] probe error 1\nPRIORITY=3\nSYSLOG_IDENTIFIER=spdlog\n" +
          source)))
      << *entries;
}

TEST(RunModeStream, PrintsTheQualifiedNameThenEndsTheLine)
{
  // Counts flushes, so that std::endl can be told from a bare newline.
  struct FlushCounter : std::stringbuf
  {
    int flushes = 0;
    int sync() override
    {
      return ++flushes, std::stringbuf::sync();
    }
  };
  for (const auto & [mode, text] : std::vector<std::pair<RunMode, std::string>>{
           {RunMode::NONE, "RunMode::NONE\n"},
           {RunMode::NAVIGATION, "RunMode::NAVIGATION\n"},
           {RunMode::STATICHUICOVERAGE, "RunMode::STATICHUICOVERAGE\n"},
           {static_cast<RunMode>(2), "\n"},
           {static_cast<RunMode>(-2), "\n"}}) {
    FlushCounter buffer;
    std::ostream os(&buffer);
    EXPECT_EQ(&(os << mode), &os);
    EXPECT_EQ(buffer.str(), text);
    EXPECT_EQ(buffer.flushes, 1) << text;
  }
}

TEST(RunModeStream, ReadsCodesThatAreValuesPlusOne)
{
  const auto unchanged = static_cast<RunMode>(42);
  const struct
  {
    std::string text;
    RunMode read;
    bool failed;
  } rows[] = {
      {"0", RunMode::NONE, false},
      {"1", RunMode::NAVIGATION, false},
      {"2", RunMode::STATICHUICOVERAGE, false},
      {" 2 trailing", RunMode::STATICHUICOVERAGE, false},
      // Other integers leave the mode as it was; no integer at all sets NONE.
      {"3", unchanged, false},
      {"-1", unchanged, false},
      {"99999999999999999999", unchanged, true},
      {"abc", RunMode::NONE, true},
      {"", RunMode::NONE, true},
  };
  for (const auto & row : rows) {
    std::istringstream is(row.text);
    RunMode read = unchanged;
    EXPECT_EQ(&(is >> read), &is);
    EXPECT_EQ(read, row.read) << '"' << row.text << '"';
    EXPECT_EQ(is.fail(), row.failed) << '"' << row.text << '"';
  }
}

const std::string kRefusal =
    "Cannot set as real-time thread. Users must set: <username> hard rtprio 99 and <username> soft "
    "rtprio 99 in /etc/security/limits.conf to enable realtime prioritization! Error: " +
    std::string(std::strerror(EPERM));

int priority()
{
  sched_param param{};
  sched_getparam(0, &param);
  return param.sched_priority;
}

TEST(RealTime, SucceedsTwiceOnAPermittedThreadAndChangesOnlyThatThread)
{
  const int caller_policy = sched_getscheduler(0);
  const int caller_priority = priority();
  std::string refusal;
  std::vector<int> seen;
  std::thread worker([&] {
    try {
      for (int i = 0; i < 2; ++i) {
        skelmar_realtime::setSoftRealTimePriority();
        seen.insert(seen.end(), {sched_getscheduler(0), priority()});
      }
    } catch (const std::runtime_error & error) {
      refusal = error.what();
    }
  });
  worker.join();
  if (!refusal.empty()) {
    // Containers often withhold CAP_SYS_NICE even from root.
    EXPECT_EQ(refusal, kRefusal);
    GTEST_SKIP() << "real-time scheduling is not permitted here";
  }
  EXPECT_EQ(seen, (std::vector<int>{SCHED_FIFO, 49, SCHED_FIFO, 49}));
  EXPECT_EQ(sched_getscheduler(0), caller_policy);
  EXPECT_EQ(priority(), caller_priority);
}

// Gives up the privilege in a child process (RLIMIT_RTPRIO 0, and an unprivileged user when
// running as root), which exits 0 only if refused with the fixed text and its policy kept.
TEST(RealTime, RefusalThrowsTheFixedTextWithTheSystemErrorAndKeepsThePolicy)
{
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    const rlimit no_rtprio{0, 0};
    const passwd * nobody = getpwnam("nobody");
    if (setrlimit(RLIMIT_RTPRIO, &no_rtprio) != 0 ||
        (geteuid() == 0 &&
         (setgroups(0, nullptr) != 0 || setgid(nobody ? nobody->pw_gid : 65534) != 0 ||
          setuid(nobody ? nobody->pw_uid : 65534) != 0))) {
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
