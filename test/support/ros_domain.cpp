// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

/// @file support/ros_domain.cpp
/// @brief Gives every test process a ROS domain of its own before any ROS code runs, so that
/// tests running side by side (`ctest -j`) never hear each other, and keeps the traffic on
/// the loopback interface. Linked into every test executable; child processes a test starts
/// inherit the domain and the middleware's configuration.

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// Domains whose ports stay below Linux's ephemeral port range (7400 + 250 * id < 32768),
// away from the low ids that ROS systems use by default.
constexpr int kFirstDomain = 60;
constexpr int kLastDomain = 101;

// The loopback interface cannot multicast, so Cyclone DDS finds the other processes of the
// domain by unicast on 127.0.0.1 (ROS_LOCALHOST_ONLY already keeps it to that interface).
constexpr char kCycloneConfig[] =
    "<CycloneDDS><Domain><General><AllowMulticast>false</AllowMulticast></General>"
    "<Discovery><ParticipantIndex>auto</ParticipantIndex>"
    "<MaxAutoParticipantIndex>32</MaxAutoParticipantIndex>"
    "<Peers><Peer address=\"127.0.0.1\"/></Peers></Discovery></Domain></CycloneDDS>";

// Locks one domain's file for the rest of the process; the kernel drops the lock when the
// process ends, however it ends.
bool claim(const std::string & directory, int domain)
{
  const std::string path = directory + "/" + std::to_string(domain) + ".lock";
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) {
    return false;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return false;
  }
  return true;  // fd stays open on purpose: it holds the claim
}

struct DomainClaim
{
  DomainClaim()
  {
    // A process started by a test (ROS_DOMAIN_ID already claimed by its parent) joins it.
    if (std::getenv("SKELMAR_TEST_DOMAIN_CLAIMED") != nullptr) {
      return;
    }
    const char * tmp = std::getenv("TMPDIR");
    const std::string directory = std::string(tmp != nullptr ? tmp : "/tmp") +
                                  "/skelmar_test_ros_domains_" + std::to_string(::getuid());
    ::mkdir(directory.c_str(), 0700);
    const int span = kLastDomain - kFirstDomain + 1;
    const int start = static_cast<int>(::getpid() % span);
    for (int i = 0; i < span; ++i) {
      const int domain = kFirstDomain + (start + i) % span;
      if (claim(directory, domain)) {
        setenv("ROS_DOMAIN_ID", std::to_string(domain).c_str(), 1);
        setenv("ROS_LOCALHOST_ONLY", "1", 1);
        setenv("CYCLONEDDS_URI", kCycloneConfig, 0);
        setenv("SKELMAR_TEST_DOMAIN_CLAIMED", "1", 1);
        return;
      }
    }
    std::fprintf(stderr, "no free ROS domain between %d and %d\n", kFirstDomain, kLastDomain);
    std::abort();
  }
};

const DomainClaim domain_claim;

}  // namespace
