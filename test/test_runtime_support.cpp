// Logger configuration and call-site format (through a probe process per environment), run
// mode streaming, and the real-time priority call.

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iomanip>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "skelmar_nav2_tools/realtime.hpp"
#include "skelmar_nav2_tools/run_mode.hpp"

namespace {

// ---------------------------------------------------------------------------------------------
// Logger

struct ProbeRun
{
  std::string out;
  std::string err;
  int status = -1;
};

// Runs the probe with exactly `environment` (plus the loader path, if any) and `args`.
ProbeRun runProbe(std::vector<std::string> environment, const std::vector<std::string> & args)
{
  if (const char * loader_path = std::getenv("LD_LIBRARY_PATH")) {
    environment.push_back(std::string("LD_LIBRARY_PATH=") + loader_path);
  }
  std::vector<char *> envp;
  for (auto & entry : environment) {
    envp.push_back(entry.data());
  }
  envp.push_back(nullptr);
  std::string program = SKELMAR_LOGGER_PROBE;
  std::vector<std::string> argv_storage{program};
  argv_storage.insert(argv_storage.end(), args.begin(), args.end());
  std::vector<char *> argv;
  for (auto & arg : argv_storage) {
    argv.push_back(arg.data());
  }
  argv.push_back(nullptr);

  std::array<int, 2> out_pipe{};
  std::array<int, 2> err_pipe{};
  if (pipe2(out_pipe.data(), O_CLOEXEC) != 0 || pipe2(err_pipe.data(), O_CLOEXEC) != 0) {
    throw std::runtime_error("pipe failed");
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out_pipe[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, err_pipe[1], STDERR_FILENO);
  pid_t pid = 0;
  const int spawned =
      posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  close(out_pipe[1]);
  close(err_pipe[1]);
  if (spawned != 0) {
    close(out_pipe[0]);
    close(err_pipe[0]);
    throw std::runtime_error("cannot start " + program + ": " + std::strerror(spawned));
  }

  ProbeRun run;
  std::array<pollfd, 2> fds{{{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}}};
  std::array<std::string *, 2> sinks{&run.out, &run.err};
  int open_streams = 2;
  while (open_streams > 0) {
    if (poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR) {
      break;
    }
    for (std::size_t i = 0; i < fds.size(); ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) {
        continue;
      }
      char buffer[4096];
      const ssize_t n = read(fds[i].fd, buffer, sizeof(buffer));
      if (n > 0) {
        sinks[i]->append(buffer, static_cast<std::size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open_streams;
      }
    }
  }
  waitpid(pid, &run.status, 0);
  return run;
}

const char * const kStdoutUnset = "environment variable SPDLOG_STDOUT is not set, and set true\n";
const char * const kStdoutInvalid = "environment variable SPDLOG_STDOUT is invalid, and set true\n";
const char * const kSystemdUnset =
    "environment variable SPDLOG_SYSTEMD is not set, and set false\n";
const char * const kSystemdInvalid =
    "environment variable SPDLOG_SYSTEMD is invalid, and set false\n";
const char * const kLevelUnset =
    "environment variable SPDLOG_LEVEL is not set, and set default level\n";
const char * const kLevelInvalid =
    "environment variable SPDLOG_LEVEL is invalid, and set default level\n";

// Console on, journal off, level info, without notices.
const std::vector<std::string> kQuiet{
    "SPDLOG_STDOUT=true", "SPDLOG_SYSTEMD=false", "SPDLOG_LEVEL=info"};

std::vector<std::string> quietWith(const std::string & assignment)
{
  std::vector<std::string> environment;
  const std::string variable = assignment.substr(0, assignment.find('='));
  for (const auto & entry : kQuiet) {
    environment.push_back(entry.rfind(variable + "=", 0) == 0 ? assignment : entry);
  }
  return environment;
}

std::string record(int shown, const std::string & word, const std::string & message)
{
  std::ostringstream line;
  line << std::setw(3) << shown << " [" << word << "] " << message << '\n';
  return line.str();
}

void expectExitedCleanly(const ProbeRun & run)
{
  ASSERT_TRUE(WIFEXITED(run.status)) << "probe died; stderr: " << run.err;
  EXPECT_EQ(WEXITSTATUS(run.status), 0) << run.err;
}

std::string regexQuoted(const std::string & text)
{
  return std::regex_replace(text, std::regex(R"([.+*?()\[\]{}|^$\\])"), R"(\$&)");
}

TEST(Logger, NoVariablesPrintsNoticesInOrderOnFirstUseThenRecords)
{
  const ProbeRun run = runProbe({}, {"info", "2", "error", "1"});
  expectExitedCleanly(run);
  EXPECT_EQ(
      run.out, std::string("begin\n") + kStdoutUnset + kSystemdUnset + kLevelUnset +
                   "  1 [INFO] probe info 1\n"
                   "  2 [INFO] probe info 2\n"
                   "  3 [ERROR] probe error 1\n"
                   "end\n");
}

TEST(Logger, NothingIsReadOrPrintedBeforeTheFirstStatement)
{
  const ProbeRun run = runProbe({}, {});
  expectExitedCleanly(run);
  EXPECT_EQ(run.out, "begin\nend\n");
}

TEST(Logger, ConsoleVariable)
{
  const std::string records = "  1 [INFO] probe info 1\n";
  const std::vector<std::pair<std::string, std::string>> cases{
      {"SPDLOG_STDOUT=true", records},
      {"SPDLOG_STDOUT=false", ""},
      {"SPDLOG_STDOUT=", kStdoutInvalid + records},
      {"SPDLOG_STDOUT=TRUE", kStdoutInvalid + records},
      {"SPDLOG_STDOUT=False", kStdoutInvalid + records},
      {"SPDLOG_STDOUT=1", kStdoutInvalid + records},
  };
  for (const auto & [assignment, expected] : cases) {
    const ProbeRun run = runProbe(quietWith(assignment), {"info", "1"});
    expectExitedCleanly(run);
    EXPECT_EQ(run.out, "begin\n" + expected + "end\n") << assignment;
  }
}

// This machine may have no journal: records must still reach the console and the process must
// carry on (spdlog's default handler reports the failed journal write on stderr).
TEST(Logger, JournalVariable)
{
  const std::string records = "  1 [INFO] probe info 1\n  2 [ERROR] probe error 1\n";
  const std::vector<std::pair<std::string, std::string>> cases{
      {"SPDLOG_SYSTEMD=true", records},
      {"SPDLOG_SYSTEMD=false", records},
      {"SPDLOG_SYSTEMD=", kSystemdInvalid + records},
      {"SPDLOG_SYSTEMD=True", kSystemdInvalid + records},
      {"SPDLOG_SYSTEMD=yes", kSystemdInvalid + records},
  };
  for (const auto & [assignment, expected] : cases) {
    const ProbeRun run = runProbe(quietWith(assignment), {"info", "1", "error", "1"});
    expectExitedCleanly(run);
    EXPECT_EQ(run.out, "begin\n" + expected + "end\n") << assignment;
  }
}

// Runs the probe with a private journal socket, in a child process with its own mount table
// so that the machine's /run is untouched. Returns the datagrams the journal would have got,
// each followed by "--\n", or nullopt where private mounts are not permitted.
std::optional<std::string> journalEntries(
    const std::vector<std::string> & environment, const std::vector<std::string> & args)
{
  std::array<int, 2> channel{};
  if (pipe(channel.data()) != 0) {
    throw std::runtime_error("pipe failed");
  }
  const pid_t pid = fork();
  if (pid == 0) {
    close(channel[0]);
    if (unshare(CLONE_NEWNS) != 0 ||
        mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount("tmpfs", "/run", "tmpfs", 0, nullptr) != 0 || mkdir("/run/systemd", 0755) != 0 ||
        mkdir("/run/systemd/journal", 0755) != 0) {
      _exit(5);
    }
    const int journal = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, "/run/systemd/journal/socket");
    if (journal < 0 ||
        bind(journal, reinterpret_cast<sockaddr *>(&address), sizeof(address)) != 0) {
      _exit(5);
    }
    const ProbeRun run = runProbe(environment, args);
    if (!WIFEXITED(run.status) || WEXITSTATUS(run.status) != 0 || run.out != "begin\nend\n") {
      _exit(6);
    }
    std::string entries;
    char buffer[65536];
    ssize_t n = 0;
    while ((n = recv(journal, buffer, sizeof(buffer), MSG_DONTWAIT)) > 0) {
      entries.append(buffer, static_cast<std::size_t>(n));
      entries += "--\n";
    }
    (void)!write(channel[1], entries.data(), entries.size());
    _exit(0);
  }
  close(channel[1]);
  std::string entries;
  char buffer[4096];
  ssize_t n = 0;
  while ((n = read(channel[0], buffer, sizeof(buffer))) > 0 || (n < 0 && errno == EINTR)) {
    if (n > 0) {
      entries.append(buffer, static_cast<std::size_t>(n));
    }
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
  const auto entries = journalEntries(
      {"SPDLOG_STDOUT=false", "SPDLOG_SYSTEMD=true", "SPDLOG_LEVEL=info"},
      {"info", "1", "error", "1"});
  if (!entries) {
    GTEST_SKIP() << "private mounts are not permitted here";
  }
  const std::string source = "CODE_FILE=" + regexQuoted(SKELMAR_LOGGER_PROBE_SOURCE) +
                             "\nCODE_LINE=[0-9]+\nCODE_FUNC=main\n--\n";
  const std::regex expected(
      "MESSAGE=  1 \\[INFO\\] probe info 1\nPRIORITY=6\nSYSLOG_IDENTIFIER=spdlog\n" + source +
      "MESSAGE=  2 \\[ERROR\\] probe error 1\nPRIORITY=3\nSYSLOG_IDENTIFIER=spdlog\n" + source);
  EXPECT_TRUE(std::regex_match(*entries, expected)) << *entries;
}

TEST(Logger, LevelTable)
{
  const std::string both = "  1 [INFO] probe info 1\n  2 [ERROR] probe error 1\n";
  const std::string error_only = "  1 [ERROR] probe error 1\n";
  const std::vector<std::pair<std::string, std::string>> cases{
      {"SPDLOG_LEVEL=trace", both},
      {"SPDLOG_LEVEL=debug", both},
      {"SPDLOG_LEVEL=info", both},
      {"SPDLOG_LEVEL=warning", error_only},
      {"SPDLOG_LEVEL=error", error_only},
      {"SPDLOG_LEVEL=critical", ""},
      {"SPDLOG_LEVEL=warn", kLevelInvalid + both},
      {"SPDLOG_LEVEL=off", kLevelInvalid + both},
      {"SPDLOG_LEVEL=INFO", kLevelInvalid + both},
      {"SPDLOG_LEVEL=err", kLevelInvalid + both},
      {"SPDLOG_LEVEL=", kLevelInvalid + both},
  };
  for (const auto & [assignment, expected] : cases) {
    const ProbeRun run = runProbe(quietWith(assignment), {"info", "1", "error", "1"});
    expectExitedCleanly(run);
    EXPECT_EQ(run.out, "begin\n" + expected + "end\n") << assignment;
  }
}

TEST(Logger, NoticesPrecedeRecordsEvenWithoutSinks)
{
  const ProbeRun run = runProbe(
      {"SPDLOG_STDOUT=false", "SPDLOG_SYSTEMD=false", "SPDLOG_LEVEL=INFO"},
      {"info", "3", "error", "2", "counter"});
  expectExitedCleanly(run);
  EXPECT_EQ(run.out, std::string("begin\n") + kLevelInvalid + "counter 5\nend\n");
}

TEST(Logger, DisabledStatementsNeitherPrintNorCount)
{
  const ProbeRun run = runProbe(
      quietWith("SPDLOG_LEVEL=error"),
      {"info", "2", "error", "1", "info", "3", "error", "1", "counter"});
  expectExitedCleanly(run);
  EXPECT_EQ(
      run.out,
      "begin\n"
      "  1 [ERROR] probe error 1\n"
      "  2 [ERROR] probe error 1\n"
      "counter 2\n"
      "end\n");
}

TEST(Logger, NumberIsCountModulo128AcrossTheByteWrap)
{
  const int statements = 300;
  const ProbeRun run = runProbe(kQuiet, {"info", std::to_string(statements), "counter"});
  expectExitedCleanly(run);
  std::string expected = "begin\n";
  for (int k = 1; k <= statements; ++k) {
    expected += record(k % 128, "INFO", "probe info " + std::to_string(k));
  }
  expected += "counter " + std::to_string(statements % 256) + "\nend\n";
  EXPECT_EQ(run.out, expected);
  // The visible turns of the sequence, spelled out.
  EXPECT_NE(
      run.out.find("\n127 [INFO] probe info 127\n  0 [INFO] probe info 128\n"
                   "  1 [INFO] probe info 129\n"),
      std::string::npos);
  EXPECT_NE(
      run.out.find("\n127 [INFO] probe info 255\n  0 [INFO] probe info 256\n"
                   "  1 [INFO] probe info 257\n"),
      std::string::npos);
}

TEST(Logger, FirstInstanceNameWins)
{
  {
    const ProbeRun run = runProbe(kQuiet, {"info", "1", "name", "other"});
    expectExitedCleanly(run);
    EXPECT_EQ(run.out, "begin\n  1 [INFO] probe info 1\nname spdlog\nend\n");
  }
  {
    const ProbeRun run = runProbe(kQuiet, {"name", "first", "info", "1", "name", "second"});
    expectExitedCleanly(run);
    EXPECT_EQ(run.out, "begin\nname first\n  1 [INFO] probe info 1\nname first\nend\n");
  }
}

TEST(Logger, EnvironmentIsReadOnce)
{
  const ProbeRun run = runProbe(
      kQuiet, {"info", "1", "setenv", "SPDLOG_LEVEL", "critical", "setenv", "SPDLOG_STDOUT",
               "false", "info", "1"});
  expectExitedCleanly(run);
  EXPECT_EQ(run.out, "begin\n  1 [INFO] probe info 1\n  2 [INFO] probe info 1\nend\n");
}

TEST(Logger, RecordCarriesFileLineAndBareFunctionName)
{
  const ProbeRun run = runProbe(kQuiet, {"location"});
  expectExitedCleanly(run);
  const std::regex expected(
      "begin\n" + regexQuoted(SKELMAR_LOGGER_PROBE_SOURCE) + ":[0-9]+ logLocation\nend\n");
  EXPECT_TRUE(std::regex_match(run.out, expected)) << run.out;
}

TEST(Logger, LibraryRecordsNameTheirSourceRelativeToThePackage)
{
  const ProbeRun run = runProbe(kQuiet, {"library"});
  expectExitedCleanly(run);
  const std::string line = R"(\./src/base_robot\.cpp:[0-9]+ printPose\n)";
  EXPECT_TRUE(std::regex_match(run.out, std::regex("begin\n(" + line + "){4}end\n"))) << run.out;
}

TEST(Logger, StatementsWithoutLoggerAreHarmless)
{
  const ProbeRun run = runProbe(kQuiet, {"info", "1", "drop", "info", "2", "error", "1"});
  expectExitedCleanly(run);
  EXPECT_EQ(run.out, "begin\n  1 [INFO] probe info 1\nend\n");
  EXPECT_EQ(run.err, "");
}

TEST(Logger, ConcurrentStatementsKeepEveryRecordWhole)
{
  const int threads = 4;
  const int statements = 200;
  const ProbeRun run =
      runProbe(kQuiet, {"threads", std::to_string(threads), std::to_string(statements)});
  expectExitedCleanly(run);
  std::istringstream lines(run.out);
  std::string line;
  std::getline(lines, line);
  EXPECT_EQ(line, "begin");
  const std::regex format(
      R"(( {2}[0-9]| [1-9][0-9]|1[01][0-9]|12[0-7]) \[INFO\] (thread [0-9]+ statement [0-9]+))");
  std::set<std::string> seen;
  while (std::getline(lines, line) && line != "end") {
    std::smatch match;
    ASSERT_TRUE(std::regex_match(line, match, format)) << line;
    EXPECT_TRUE(seen.insert(match[2]).second) << "repeated record: " << line;
  }
  EXPECT_EQ(line, "end");
  EXPECT_EQ(seen.size(), static_cast<std::size_t>(threads * statements));
}

// ---------------------------------------------------------------------------------------------
// Run mode

// Counts flushes so that the line end can be told apart from a bare newline.
class FlushCountingBuffer : public std::stringbuf
{
public:
  int flushes = 0;

protected:
  int sync() override
  {
    ++flushes;
    return std::stringbuf::sync();
  }
};

TEST(RunModeStream, PrintsQualifiedNameThenNewlineAndFlush)
{
  const std::vector<std::pair<RunMode, std::string>> cases{
      {RunMode::NONE, "RunMode::NONE\n"},
      {RunMode::NAVIGATION, "RunMode::NAVIGATION\n"},
      {RunMode::STATICHUICOVERAGE, "RunMode::STATICHUICOVERAGE\n"},
      {static_cast<RunMode>(2), "\n"},
      {static_cast<RunMode>(-2), "\n"},
  };
  for (const auto & [mode, text] : cases) {
    FlushCountingBuffer buffer;
    std::ostream os(&buffer);
    std::ostream & returned = os << mode;
    EXPECT_EQ(&returned, &os);
    EXPECT_EQ(buffer.str(), text);
    EXPECT_EQ(buffer.flushes, 1) << text;
  }
}

TEST(RunModeStream, ReadsCodesThatAreValuesPlusOne)
{
  const std::vector<std::pair<std::string, RunMode>> cases{
      {"0", RunMode::NONE},
      {"1", RunMode::NAVIGATION},
      {"2", RunMode::STATICHUICOVERAGE},
      {" 2 trailing", RunMode::STATICHUICOVERAGE},
  };
  for (const auto & [text, mode] : cases) {
    std::istringstream is(text);
    RunMode read = static_cast<RunMode>(42);
    std::istream & returned = is >> read;
    EXPECT_EQ(&returned, &is);
    EXPECT_EQ(read, mode) << text;
    EXPECT_FALSE(is.fail()) << text;
  }
}

TEST(RunModeStream, OtherIntegersLeaveTheModeUnchanged)
{
  for (const std::string text : {"3", "-1", "99999999999999999999"}) {
    std::istringstream is(text);
    RunMode read = RunMode::NAVIGATION;
    is >> read;
    EXPECT_EQ(read, RunMode::NAVIGATION) << text;
  }
}

TEST(RunModeStream, InputWithoutIntegerSetsNoneAndStaysFailed)
{
  for (const std::string text : {"abc", "", "  "}) {
    std::istringstream is(text);
    RunMode read = RunMode::STATICHUICOVERAGE;
    is >> read;
    EXPECT_EQ(read, RunMode::NONE) << '"' << text << '"';
    EXPECT_TRUE(is.fail()) << '"' << text << '"';
  }
}

TEST(RunModeStream, RoundTripsThroughCodes)
{
  std::istringstream is("2 0 1");
  RunMode first{};
  RunMode second{};
  RunMode third{};
  is >> first >> second >> third;
  std::ostringstream os;
  os << first << second << third;
  EXPECT_EQ(os.str(), "RunMode::STATICHUICOVERAGE\nRunMode::NONE\nRunMode::NAVIGATION\n");
}

// ---------------------------------------------------------------------------------------------
// Real-time priority

const std::string kRefusalText =
    "Cannot set as real-time thread. Users must set: <username> hard rtprio 99 and <username> soft "
    "rtprio 99 in /etc/security/limits.conf to enable realtime prioritization! Error: ";

struct SchedulingSeen
{
  bool refused = false;
  std::string message;
  int policy_after_first = -1;
  int priority_after_first = -1;
  int policy_after_second = -1;
  int priority_after_second = -1;
};

int currentPriority()
{
  sched_param param{};
  sched_getparam(0, &param);
  return param.sched_priority;
}

TEST(RealTime, SucceedsTwiceOnAPermittedThreadAndChangesOnlyThatThread)
{
  const int caller_policy = sched_getscheduler(0);
  const int caller_priority = currentPriority();
  SchedulingSeen seen;
  std::thread worker([&seen] {
    try {
      skelmar_realtime::setSoftRealTimePriority();
    } catch (const std::runtime_error & error) {
      seen.refused = true;
      seen.message = error.what();
      return;
    }
    seen.policy_after_first = sched_getscheduler(0);
    seen.priority_after_first = currentPriority();
    skelmar_realtime::setSoftRealTimePriority();
    seen.policy_after_second = sched_getscheduler(0);
    seen.priority_after_second = currentPriority();
  });
  worker.join();
  if (seen.refused) {
    // Containers often withhold CAP_SYS_NICE even from root.
    EXPECT_EQ(seen.message, kRefusalText + std::strerror(EPERM));
    GTEST_SKIP() << "real-time scheduling is not permitted here";
  }
  EXPECT_EQ(seen.policy_after_first, SCHED_FIFO);
  EXPECT_EQ(seen.priority_after_first, 49);
  EXPECT_EQ(seen.policy_after_second, SCHED_FIFO);
  EXPECT_EQ(seen.priority_after_second, 49);
  EXPECT_EQ(sched_getscheduler(0), caller_policy);
  EXPECT_EQ(currentPriority(), caller_priority);
}

// Gives up the privilege in a child process: RLIMIT_RTPRIO 0, and an unprivileged user when
// running as root. The child reports "<policy before> <policy after>\n<message>".
TEST(RealTime, RefusalThrowsFixedTextWithSystemErrorAndKeepsPolicy)
{
  std::array<int, 2> channel{};
  ASSERT_EQ(pipe(channel.data()), 0);
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    close(channel[0]);
    const auto report = [&](const std::string & text, int code) {
      (void)!write(channel[1], text.data(), text.size());
      _exit(code);
    };
    const rlimit no_rtprio{0, 0};
    if (setrlimit(RLIMIT_RTPRIO, &no_rtprio) != 0) {
      report("setrlimit failed", 3);
    }
    if (geteuid() == 0) {
      const passwd * nobody = getpwnam("nobody");
      const uid_t uid = nobody != nullptr ? nobody->pw_uid : 65534;
      const gid_t gid = nobody != nullptr ? nobody->pw_gid : 65534;
      if (setgroups(0, nullptr) != 0 || setgid(gid) != 0 || setuid(uid) != 0) {
        report("dropping root failed", 3);
      }
    }
    const int before = sched_getscheduler(0);
    try {
      skelmar_realtime::setSoftRealTimePriority();
    } catch (const std::runtime_error & error) {
      report(
          std::to_string(before) + " " + std::to_string(sched_getscheduler(0)) + "\n" +
              error.what(),
          0);
    }
    report("not refused", 4);
  }
  close(channel[1]);
  std::string reported;
  char buffer[1024];
  ssize_t n = 0;
  while ((n = read(channel[0], buffer, sizeof(buffer))) > 0 || (n < 0 && errno == EINTR)) {
    if (n > 0) {
      reported.append(buffer, static_cast<std::size_t>(n));
    }
  }
  close(channel[0]);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(WEXITSTATUS(status), 0) << reported;
  const std::string other = std::to_string(SCHED_OTHER);
  EXPECT_EQ(reported, other + " " + other + "\n" + kRefusalText + std::strerror(EPERM));
}

}  // namespace

int main(int argc, char ** argv)
{
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
