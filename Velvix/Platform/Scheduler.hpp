#pragma once

// Time and threads. Every thread hop and every wait of the app goes through this port, so the
// same code runs on real threads with real clocks or deterministically in virtual time.
//
// Code that would block instead posts its next step: a loop that sleeps 8 ms is a step that
// posts itself again with postAfter(8ms). Work posted to one executor runs one item at a time,
// in order of due time, and items due at the same time in the order they were posted.
//
// Two clocks, never mixed: wall-clock dates (WallTime) for human-scale timing, and the
// monotonic media clock (mediaTime(), seconds) for samples, read timing and statistics. Both
// may be read on any thread.

#include <chrono>
#include <compare>
#include <functional>
#include <memory>
#include <string_view>

namespace velvix::platform {

using Duration = std::chrono::nanoseconds;

/// A wall-clock date in seconds since an arbitrary epoch, with a distant past that any
/// real date is far after (subtracting it from now stays finite).
struct WallTime {
  double seconds = 0;

  [[nodiscard]] static constexpr WallTime distantPast() noexcept { return {-6.3e10}; }
  /// Seconds from `earlier` to `later`.
  friend constexpr double operator-(WallTime later, WallTime earlier) noexcept {
    return later.seconds - earlier.seconds;
  }
  friend constexpr WallTime operator+(WallTime t, double seconds) noexcept {
    return {t.seconds + seconds};
  }
  friend constexpr auto operator<=>(const WallTime&, const WallTime&) = default;
};

/// A serial queue of work. post() and postAfter() may be called from any thread.
class Executor {
 public:
  Executor() = default;
  Executor(const Executor&) = delete;
  Executor& operator=(const Executor&) = delete;
  virtual ~Executor() = default;

  /// Runs `work` as soon as the items before it have run.
  virtual void post(std::function<void()> work) = 0;
  /// Runs `work` no earlier than `delay` from now.
  virtual void postAfter(Duration delay, std::function<void()> work) = 0;
  /// Whether the calling code runs on this executor.
  [[nodiscard]] virtual bool isCurrent() const = 0;
};

/// A repeating activity; destroying it (or cancel()) stops it. Main thread only.
class Repeating {
 public:
  Repeating() = default;
  Repeating(const Repeating&) = delete;
  Repeating& operator=(const Repeating&) = delete;
  virtual ~Repeating() = default;
  virtual void cancel() = 0;
};

class Scheduler {
 public:
  Scheduler() = default;
  Scheduler(const Scheduler&) = delete;
  Scheduler& operator=(const Scheduler&) = delete;
  virtual ~Scheduler() = default;

  /// The main thread's queue: the controller, settings and interface live there.
  [[nodiscard]] virtual Executor& mainQueue() = 0;
  /// A new serial executor off the main thread. It lives while the returned pointer or any
  /// of its pending work does.
  [[nodiscard]] virtual std::shared_ptr<Executor> makeSerialExecutor(std::string_view label) = 0;

  /// Runs `action` on the main queue every `interval`, first after one interval, also while
  /// menus or windows track the mouse.
  [[nodiscard]] virtual std::unique_ptr<Repeating> scheduleRepeating(
      Duration interval, std::function<void()> action) = 0;
  /// Runs `action` on the main queue once per display refresh.
  [[nodiscard]] virtual std::unique_ptr<Repeating> startDisplayTicker(
      std::function<void()> action) = 0;

  [[nodiscard]] virtual WallTime now() const = 0;
  /// The monotonic media clock, in seconds.
  [[nodiscard]] virtual double mediaTime() const = 0;
};

}  // namespace velvix::platform
