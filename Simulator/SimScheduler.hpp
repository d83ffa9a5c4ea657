#pragma once

// The Simulator's clocks and executors, in one of two modes:
//  - virtual: one thread, virtual time. Nothing runs until runFor()/runUntil() advance the
//    clock; callbacks run in time order, ties in the order they were scheduled. Work may
//    declare that it took time (consume()), which moves the clock on; meanwhile its executor is
//    busy, but the other executors and the world are not: what falls due on them during that
//    time runs then, at its time, as it would on threads of their own (the main thread draws
//    frames while the reader reads; WhatsApp's lists scroll under a read).
//  - threaded: real threads and real clocks, so ThreadSanitizer sees the app's real
//    concurrency. The main queue runs on the thread that calls runFor()/runUntil(); each
//    serial executor has a thread of its own.

#include <Velvix/Platform/Scheduler.hpp>

#include <functional>
#include <memory>
#include <optional>

namespace velvix::sim {

using platform::Duration;

enum class TimeMode { virtualTime, realThreads };

class SimScheduler : public platform::Scheduler {
 public:
  [[nodiscard]] static std::unique_ptr<SimScheduler> make(TimeMode mode);

  [[nodiscard]] virtual TimeMode mode() const = 0;

  /// Runs main-queue work (and, in virtual mode, everything else) for `duration`.
  virtual void runFor(Duration duration) = 0;
  /// Runs until `done` holds (checked after each callback in virtual mode, after each main-queue
  /// item or every millisecond with real threads) or `limit` has passed; returns done().
  virtual bool runUntil(const std::function<bool()>& done, Duration limit) = 0;

  /// Declares that the work running now took `cost`: virtual time moves on by it, and other
  /// executors' work and world events due meanwhile run. Nothing in threaded mode.
  virtual void consume(Duration cost) = 0;
  /// An event of the world outside the app (the user's wheel, WhatsApp itself) at `delay` from
  /// now: it happens at its time whatever the app's code is doing.
  virtual void scheduleWorld(Duration delay, std::function<void()> event) = 0;

  /// The display refresh rate of the display ticker, in hertz (60 unless set).
  virtual void setRefreshRate(double hertz) = 0;
  /// Sets the wall clock forward (or back, when negative) by `seconds`, as a time-zone fix, a
  /// network time update or a resumed laptop does; the media clock goes on untouched.
  virtual void stepWallClock(double seconds) = 0;

  /// Stops and joins the executor threads (threaded mode) and drops all pending work. Call it
  /// before destroying objects that pending work refers to. Idempotent.
  virtual void stop() = 0;

  /// Callbacks run so far, for tests of the scheduler itself.
  [[nodiscard]] virtual long callbacksRun() const = 0;
  /// Work waiting to run (a repeating timer's next firing, work waiting out its time), in
  /// virtual time; empty with real threads, whose queues do not say. A count that keeps
  /// growing is work that is never cancelled.
  [[nodiscard]] virtual std::optional<std::size_t> pendingCallbacks() const = 0;
};

}  // namespace velvix::sim
