#ifndef SUPPORT__CHILD_PROCESS_HPP_
#define SUPPORT__CHILD_PROCESS_HPP_

// A program run beside the test, whose standard output the test reads. The child is always
// reaped: killed and waited for when the test ends early, and killed by the kernel should the
// test process itself die.

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace skelmar_test {

class ChildProcess
{
public:
  /// Starts @p program with @p arguments and, if given, exactly @p environment; its standard
  /// error goes where the test's goes.
  ChildProcess(
      const std::string & program, std::vector<std::string> arguments,
      std::optional<std::vector<std::string>> environment = std::nullopt)
  {
    arguments.insert(arguments.begin(), program);
    std::vector<char *> argv = pointers(arguments);
    std::vector<char *> envp = environment ? pointers(*environment) : std::vector<char *>();
    int out[2];
    const pid_t parent = ::getpid();
    if (::pipe2(out, O_CLOEXEC) != 0 || (pid_ = ::fork()) < 0) {
      throw std::runtime_error("cannot start " + program);
    }
    if (pid_ == 0) {
      // Only async-signal-safe calls between fork and exec: the test has threads.
      ::prctl(PR_SET_PDEATHSIG, SIGKILL);
      if (::getppid() == parent) {
        ::dup2(out[1], STDOUT_FILENO);
        ::execve(program.c_str(), argv.data(), environment ? envp.data() : environ);
      }
      ::_exit(127);
    }
    ::close(out[1]);
    out_ = out[0];
  }

  ~ChildProcess()
  {
    if (!status_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    ::close(out_);
  }

  ChildProcess(const ChildProcess &) = delete;
  ChildProcess & operator=(const ChildProcess &) = delete;

  /// Everything the child prints until it closes its output.
  std::string readAll()
  {
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = ::read(out_, buffer, sizeof(buffer))) != 0;) {
      if (n > 0) {
        text.append(buffer, static_cast<size_t>(n));
      } else if (errno != EINTR) {
        break;
      }
    }
    return text;
  }

  /// The child's wait status once it has ended, or nothing if it still runs after @p timeout.
  std::optional<int> waitForExit(std::chrono::milliseconds timeout)
  {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (int status = 0; !status_; ::usleep(1000)) {
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        status_ = status;
      } else if (std::chrono::steady_clock::now() >= deadline) {
        break;
      }
    }
    return status_;
  }

private:
  static std::vector<char *> pointers(std::vector<std::string> & strings)
  {
    std::vector<char *> result;
    for (auto & text : strings) {
      result.push_back(text.data());
    }
    result.push_back(nullptr);
    return result;
  }

  pid_t pid_ = -1;
  int out_ = -1;
  std::optional<int> status_;
};

}  // namespace skelmar_test

#endif  // SUPPORT__CHILD_PROCESS_HPP_
