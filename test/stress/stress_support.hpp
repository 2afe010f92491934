#ifndef STRESS__STRESS_SUPPORT_HPP_
#define STRESS__STRESS_SUPPORT_HPP_

// Threads started together, a thread that repeats an action until stopped, and a watchdog
// that ends a process which stopped making progress.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace stress {

/// Threads calling the operations under test at once.
constexpr int kThreads = 8;

/// Runs @p body(thread_index) on @p threads threads released together and joins them.
inline void runTogether(int threads, const std::function<void(int)> & body)
{
  std::mutex mutex;
  std::condition_variable released;
  bool go = false;
  std::vector<std::thread> workers;
  for (int t = 0; t < threads; ++t) {
    workers.emplace_back([&, t] {
      {
        std::unique_lock<std::mutex> lock(mutex);
        released.wait(lock, [&go] { return go; });
      }
      body(t);
    });
  }
  {
    std::lock_guard<std::mutex> lock(mutex);
    go = true;
  }
  released.notify_all();
  for (auto & worker : workers) {
    worker.join();
  }
}

/// Calls @p action with a running count (from 1) on a thread of its own until stopped.
class Repeater
{
public:
  explicit Repeater(std::function<void(std::int64_t)> action)
      : thread_([this, action = std::move(action)] {
          for (std::int64_t n = 1; !stop_.load(); ++n) {
            action(n);
            count_.store(n);
          }
        })
  {}
  ~Repeater()
  {
    stop();
  }
  Repeater(const Repeater &) = delete;
  Repeater & operator=(const Repeater &) = delete;

  /// Stops and joins the thread; the count stays readable.
  void stop()
  {
    stop_.store(true);
    if (thread_.joinable()) {
      thread_.join();
    }
  }

  /// Number of completed actions.
  std::int64_t count() const
  {
    return count_.load();
  }

private:
  std::atomic<bool> stop_{false};
  std::atomic<std::int64_t> count_{0};
  std::thread thread_;
};

/// Ends the process with a message when no progress() came for @p patience: a hang fails the
/// test at once, saying what was going on, instead of stalling the run.
class Watchdog
{
public:
  Watchdog(std::chrono::seconds patience, std::function<std::string()> describe)
      : patience_(patience), describe_(std::move(describe)), thread_([this] { watch(); })
  {}
  ~Watchdog()
  {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopped_ = true;
    }
    woken_.notify_all();
    thread_.join();
  }
  Watchdog(const Watchdog &) = delete;
  Watchdog & operator=(const Watchdog &) = delete;

  void progress()
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ++steps_;
  }

private:
  void watch()
  {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stopped_) {
      const std::uint64_t steps = steps_;
      if (!woken_.wait_for(lock, patience_, [&] { return stopped_ || steps_ != steps; })) {
        std::cerr << "watchdog: no progress for " << patience_.count() << " s: " << describe_()
                  << std::endl;
        std::_Exit(EXIT_FAILURE);
      }
    }
  }

  const std::chrono::seconds patience_;
  const std::function<std::string()> describe_;
  std::mutex mutex_;
  std::condition_variable woken_;
  std::uint64_t steps_ = 0;
  bool stopped_ = false;
  std::thread thread_;
};

}  // namespace stress

#endif  // STRESS__STRESS_SUPPORT_HPP_
