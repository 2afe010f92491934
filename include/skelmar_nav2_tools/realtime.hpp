#ifndef SKELMAR_NAV2_TOOLS__REALTIME_HPP_
#define SKELMAR_NAV2_TOOLS__REALTIME_HPP_

namespace skelmar_realtime {

/**
 * @brief Moves the calling thread (only) to the SCHED_FIFO real-time policy at priority 49.
 *
 * Other threads of the process keep their policy. Calling it again on a thread that already
 * runs at that priority succeeds.
 * @throws std::runtime_error if the kernel refuses (typically EPERM without the real-time
 * privilege or an RLIMIT_RTPRIO of at least 49); the message ends with strerror(errno) and the
 * thread keeps its previous policy and priority.
 */
void setSoftRealTimePriority();

}  // namespace skelmar_realtime

#endif  // SKELMAR_NAV2_TOOLS__REALTIME_HPP_
