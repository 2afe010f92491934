#include "skelmar_nav2_tools/realtime.hpp"

#include <sched.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

namespace skelmar_realtime {

void setSoftRealTimePriority()
{
  sched_param param{};
  param.sched_priority = 49;
  // On Linux, process id 0 names the calling thread, not the whole process.
  if (sched_setscheduler(0, SCHED_FIFO, &param) != 0) {
    const int error = errno;
    throw std::runtime_error(
        std::string("Cannot set as real-time thread. Users must set: <username> hard rtprio 99 and "
                    "<username> soft rtprio 99 in /etc/security/limits.conf to enable realtime "
                    "prioritization! Error: ") +
        std::strerror(error));
  }
}

}  // namespace skelmar_realtime
