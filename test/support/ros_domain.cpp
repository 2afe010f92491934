// Gives every test process a ROS domain of its own before any ROS code runs, so that tests
// running side by side (`ctest -j`) never hear each other, and keeps the traffic on the
// loopback interface. Child processes inherit the domain and the middleware's configuration.

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// The loopback interface cannot multicast, so Cyclone DDS finds the other processes of the
// domain by unicast on 127.0.0.1.
constexpr char kCycloneConfig[] =
    "<CycloneDDS><Domain><General><AllowMulticast>false</AllowMulticast></General>"
    "<Discovery><ParticipantIndex>auto</ParticipantIndex>"
    "<MaxAutoParticipantIndex>32</MaxAutoParticipantIndex>"
    "<Peers><Peer address=\"127.0.0.1\"/></Peers></Discovery></Domain></CycloneDDS>";

// Claims the first free domain from one derived from the process id, by locking its file for
// the rest of the process (the kernel drops the lock however the process ends). Domains 60 to
// 101: their ports stay below Linux's ephemeral range (7400 + 250 * id < 32768), away from the
// low ids that ROS systems use by default.
[[maybe_unused]] const int claimed_domain = [] {
  const char * tmp = std::getenv("TMPDIR");
  const std::string directory = std::string(tmp ? tmp : "/tmp") + "/skelmar_test_ros_domains_" +
                                std::to_string(::getuid()) + "/";
  ::mkdir(directory.c_str(), 0700);
  for (int i = 0; i < 42; ++i) {
    const std::string domain = std::to_string(60 + (::getpid() + i) % 42);
    const int fd =
        ::open((directory + domain + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0) {  // fd stays open: it holds the claim
      setenv("ROS_LOCALHOST_ONLY", "1", 1);
      setenv("CYCLONEDDS_URI", kCycloneConfig, 0);
      return setenv("ROS_DOMAIN_ID", domain.c_str(), 1);
    }
    ::close(fd);  // not claimed (nothing to close if it did not open)
  }
  std::fprintf(stderr, "no free ROS domain between 60 and 101\n");
  std::abort();
}();

}  // namespace
