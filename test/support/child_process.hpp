#ifndef SUPPORT__CHILD_PROCESS_HPP_
#define SUPPORT__CHILD_PROCESS_HPP_

// A program run beside the test, whose standard output the test reads line by line. The
// child is always reaped: killed and waited for when the test ends early or fails, and
// killed by the kernel should the test process itself die.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace skelmar_test {

class ChildProcess
{
public:
  /// Starts @p program with @p arguments; its standard error goes where the test's goes.
  /// @throws std::runtime_error if the program cannot be started
  ChildProcess(const std::string & program, const std::vector<std::string> & arguments)
  {
    std::vector<std::string> storage{program};
    storage.insert(storage.end(), arguments.begin(), arguments.end());
    std::vector<char *> argv;
    for (auto & argument : storage) {
      argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) {
      throw std::runtime_error("pipe failed");
    }
    const pid_t parent = ::getpid();
    pid_ = ::fork();
    if (pid_ == 0) {
      // Only async-signal-safe calls between fork and exec: the test has threads.
      ::prctl(PR_SET_PDEATHSIG, SIGKILL);
      if (::getppid() != parent) {
        ::_exit(127);
      }
      ::dup2(out[1], STDOUT_FILENO);
      ::execv(program.c_str(), argv.data());
      ::_exit(127);
    }
    ::close(out[1]);
    out_ = out[0];
    if (pid_ < 0) {
      ::close(out_);
      throw std::runtime_error(
          std::string("cannot start ") + program + ": " + std::strerror(errno));
    }
  }

  ~ChildProcess()
  {
    if (!status_) {
      ::kill(pid_, SIGKILL);
      int status = 0;
      ::waitpid(pid_, &status, 0);
    }
    ::close(out_);
  }

  ChildProcess(const ChildProcess &) = delete;
  ChildProcess & operator=(const ChildProcess &) = delete;

  /// The next line the child prints (without its newline), or nothing if none came within
  /// @p timeout or the child closed its output.
  std::optional<std::string> readLine(std::chrono::milliseconds timeout)
  {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
      const auto end = pending_.find('\n');
      if (end != std::string::npos) {
        std::string line = pending_.substr(0, end);
        pending_.erase(0, end + 1);
        return line;
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      pollfd fd{out_, POLLIN, 0};
      if (left.count() <= 0 || ::poll(&fd, 1, static_cast<int>(left.count())) <= 0) {
        return std::nullopt;
      }
      char buffer[4096];
      const ssize_t n = ::read(out_, buffer, sizeof(buffer));
      if (n <= 0) {
        return std::nullopt;
      }
      pending_.append(buffer, static_cast<size_t>(n));
    }
  }

  /// The child's wait status once it has ended, or nothing if it still runs after @p timeout.
  std::optional<int> waitForExit(std::chrono::milliseconds timeout)
  {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!status_) {
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        status_ = status;
      } else if (std::chrono::steady_clock::now() >= deadline) {
        break;
      } else {
        ::usleep(1000);
      }
    }
    return status_;
  }

private:
  pid_t pid_ = -1;
  int out_ = -1;
  std::string pending_;
  std::optional<int> status_;
};

}  // namespace skelmar_test

#endif  // SUPPORT__CHILD_PROCESS_HPP_
