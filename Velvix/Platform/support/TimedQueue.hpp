#pragma once

// A queue of work ordered by due time, then by posting order, served by whichever thread calls
// take(). The core of every thread-backed serial executor: a thread of its own in
// ThreadExecutor, the caller's thread for a test's main queue. Thread-safe.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <utility>

namespace velvix::support {

class TimedQueue {
 public:
  using Clock = std::chrono::steady_clock;

  /// Queues `work` to run at `due`; dropped once the queue is stopped.
  void push(Clock::time_point due, std::function<void()> work);

  /// The next item once it is due. Empty when `deadline` passes first, when the queue is
  /// stopped, or when it is closed and holds nothing.
  [[nodiscard]] std::function<void()> take(Clock::time_point deadline);

  /// From now on take() returns at once when nothing is queued (queued work still runs).
  void close();
  /// Drops everything queued and refuses new work.
  void stop();

 private:
  using Key = std::pair<Clock::time_point, std::uint64_t>;

  std::mutex mutex_;
  std::condition_variable changed_;
  std::map<Key, std::function<void()>> items_;
  std::uint64_t nextSequence_ = 0;
  bool closed_ = false;
  bool stopped_ = false;
};

}  // namespace velvix::support
