// Runs the logging statements its arguments name; tests watch standard output and error.

#include <sched.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <iostream>
#include <string>

#include "log_call.hpp"

int main(int argc, char ** argv)
{
  dup2(STDOUT_FILENO, STDERR_FILENO);
  std::cout << "begin\n";
  auto & instance = skelmar::Logger::Instance;
  const int journal = socket(AF_UNIX, SOCK_DGRAM, 0);  // bound only for "journal"
  for (int i = 1; i < argc; ++i) {
    const std::string command = argv[i];
    if (command == "info" || command == "error") {  // N statements "probe info <k>", k = 1..N
      for (int k = 1, count = std::stoi(argv[++i]); k <= count; ++k) {
        command == "info" ? SKELMAR_LOG_INFO("probe info {}", k)
                          : SKELMAR_LOG_ERROR("probe error {}", k);
      }
    } else if (command == "warn") {  // straight to spdlog, past the statements' own level test
      instance("spdlog").logger->warn("probe warn");
    } else if (command == "name") {
      std::cout << "name " << instance(argv[++i]).logger->name() << '\n';
    } else if (command == "drop") {  // as a construction stopped early would leave it
      instance("spdlog").logger.reset();
    } else if (command == "reconfigure") {  // an environment the logger must not read again
      setenv("SPDLOG_LEVEL", "critical", 1);
    } else if (command == "counter") {
      std::cout << "counter " << int{instance("spdlog").counter.load()} << '\n';
    } else if (command == "journal") {  // a journal socket of its own, in a private /run
      sockaddr_un address{AF_UNIX, "/run/systemd/journal/socket"};
      if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) ||
          mount("tmpfs", "/run", "tmpfs", 0, nullptr) || mkdir("/run/systemd", 0755) ||
          mkdir("/run/systemd/journal", 0755) ||
          bind(journal, reinterpret_cast<sockaddr *>(&address), sizeof(address))) {
        std::cout << "no journal\n";
        return 0;
      }
    }
  }
  char entry[65536];
  for (ssize_t n; (n = recv(journal, entry, sizeof(entry), MSG_DONTWAIT)) > 0;) {
    std::cout << std::string(entry, static_cast<size_t>(n)) << "--\n";
  }
  std::cout << "end\n";
}
