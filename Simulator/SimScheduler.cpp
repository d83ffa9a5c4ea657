#include "SimScheduler.hpp"

#include <Velvix/Platform/support/ThreadExecutor.hpp>
#include <Velvix/Platform/support/TimedQueue.hpp>

#include <algorithm>
#include <atomic>
#include <cassert>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace velvix::sim {

namespace {

using std::chrono::nanoseconds;

// Where the simulated clocks start: media time like a machine up for a while, wall time in
// seconds since 2001 like a date in 2026. Neither is 0, so code that confuses a reading with
// a duration shows up in tests.
constexpr double kMediaTimeAtStart = 1000.0;
constexpr double kWallTimeAtStart = 810'000'000.0;

Duration refreshInterval(double hertz) {
  if (!(hertz > 0)) hertz = 60;
  return Duration(static_cast<Duration::rep>(1e9 / hertz));
}

// ---------------------------------------------------------------------------------------------
// Virtual time
//
// Executors other than the main queue run on threads of their own, as they would for real, but
// one at a time: a baton passes between the thread that drives the clock (the main queue's, the
// caller of runFor()) and the others, so that everything is deterministic. Work that takes time
// (consume()) gives the baton back and waits until the clock reaches its end; meanwhile
// whatever else falls due runs: the main queue's work, other executors' work, world events.

class VirtualScheduler;

class VirtualExecutor final : public platform::Executor {
 public:
  VirtualExecutor(VirtualScheduler& owner, bool isMain) : owner_(owner), isMain_(isMain) {}
  void post(std::function<void()> work) override;
  void postAfter(Duration delay, std::function<void()> work) override;
  [[nodiscard]] bool isCurrent() const override;
  [[nodiscard]] bool isMain() const { return isMain_; }

 private:
  VirtualScheduler& owner_;
  bool isMain_;
};

// The executor whose work this thread runs now.
thread_local const VirtualExecutor* tCurrent = nullptr;

struct RepeatingState {
  std::atomic<bool> cancelled{false};
  Duration interval{};
  std::function<void()> action;
};

class RepeatingHandle final : public platform::Repeating {
 public:
  explicit RepeatingHandle(std::shared_ptr<RepeatingState> state) : state_(std::move(state)) {}
  ~RepeatingHandle() override { cancel(); }
  void cancel() override { state_->cancelled = true; }

 private:
  std::shared_ptr<RepeatingState> state_;
};

class VirtualScheduler final : public SimScheduler {
 public:
  VirtualScheduler() : main_(std::make_shared<VirtualExecutor>(*this, true)) {}
  ~VirtualScheduler() override { stop(); }

  TimeMode mode() const override { return TimeMode::virtualTime; }
  platform::Executor& mainQueue() override { return *main_; }

  std::shared_ptr<platform::Executor> makeSerialExecutor(std::string_view) override {
    auto executor = std::make_shared<VirtualExecutor>(*this, false);
    std::lock_guard lock(mutex_);
    workers_.emplace(executor.get(), std::make_unique<Worker>());
    executors_.push_back(executor);
    return executor;
  }

  std::unique_ptr<platform::Repeating> scheduleRepeating(Duration interval,
                                                         std::function<void()> action) override {
    auto state = std::make_shared<RepeatingState>();
    state->interval = std::max(interval, Duration(1));
    state->action = std::move(action);
    scheduleRepetition(state, now_.load() + state->interval.count());
    return std::make_unique<RepeatingHandle>(state);
  }

  std::unique_ptr<platform::Repeating> startDisplayTicker(std::function<void()> action) override {
    // A display link fires on the screen's refreshes, whenever it was started.
    auto state = std::make_shared<RepeatingState>();
    state->interval = std::max(refreshInterval(refreshRate_), Duration(1));
    state->action = std::move(action);
    const std::int64_t period = state->interval.count();
    scheduleRepetition(state, (now_.load() / period + 1) * period);
    return std::make_unique<RepeatingHandle>(state);
  }

  platform::WallTime now() const override {
    return {kWallTimeAtStart + wallStep_.load() + seconds()};
  }
  void stepWallClock(double seconds) override { wallStep_ = wallStep_.load() + seconds; }
  double mediaTime() const override { return kMediaTimeAtStart + seconds(); }

  void runFor(Duration duration) override {
    const std::int64_t target = now_.load() + std::max(duration, Duration(0)).count();
    while (runNext(target)) {
    }
    advanceTo(target);
  }

  bool runUntil(const std::function<bool()>& done, Duration limit) override {
    const std::int64_t target = now_.load() + std::max(limit, Duration(0)).count();
    if (done()) return true;
    while (runNext(target)) {
      if (done()) return true;
    }
    advanceTo(target);
    return done();
  }

  void consume(Duration cost) override {
    if (cost.count() <= 0) return;
    std::unique_lock lock(mutex_);
    if (stopping_) return;
    const std::int64_t until = now_.load() + cost.count();
    const auto worker = tCurrent ? workers_.find(tCurrent) : workers_.end();
    if (worker == workers_.end()) {
      // The driving thread (main-queue work, or a test's own code): the main queue is busy
      // meanwhile; everything else goes on.
      lock.unlock();
      const bool wasBusy = mainBusy_;
      mainBusy_ = true;
      while (runNext(until)) {
      }
      mainBusy_ = wasBusy;
      advanceTo(until);
      return;
    }
    // An executor's own thread: wait, without the baton, until the clock gets there.
    Worker& w = *worker->second;
    suspended_.emplace(std::make_pair(until, nextSequence_++), &w);
    w.resume = false;
    passBaton(lock, w);
  }

  void scheduleWorld(Duration delay, std::function<void()> event) override {
    schedule(&world_, now_.load() + std::max(delay, Duration(0)).count(), std::move(event));
  }

  void setRefreshRate(double hertz) override { refreshRate_ = hertz; }

  void stop() override {
    std::unique_lock lock(mutex_);
    // Work that is waiting out its time finishes first, then nothing else runs.
    stopping_ = true;
    while (!suspended_.empty()) {
      Worker& w = *suspended_.begin()->second;
      suspended_.erase(suspended_.begin());
      resumeAndWait(lock, w);
    }
    std::multimap<std::pair<std::int64_t, std::uint64_t>, Item> dropped;
    dropped.swap(queue_);
    for (auto& [executor, w] : workers_) {
      w->quit = true;
      w->wake.notify_all();
    }
    auto workers = std::move(workers_);
    lock.unlock();
    for (auto& [executor, w] : workers)
      if (w->thread.joinable()) w->thread.join();
  }

  long callbacksRun() const override { return callbacks_; }
  std::optional<std::size_t> pendingCallbacks() const override {
    std::lock_guard lock(mutex_);
    return queue_.size() + suspended_.size();
  }

  // For the executors.
  void schedule(const VirtualExecutor* target, std::int64_t due, std::function<void()> work) {
    std::lock_guard lock(mutex_);
    if (stopping_) return;
    queue_.emplace(std::make_pair(due, nextSequence_++), Item{target, std::move(work)});
  }
  std::int64_t nowNanoseconds() const { return now_.load(); }

 private:
  struct Item {
    const VirtualExecutor* target;
    std::function<void()> work;
  };
  // The thread of one executor and its part of the baton.
  struct Worker {
    std::thread thread;
    std::condition_variable wake;
    std::function<void()> work;  // the item to run next
    bool running = false;        // in the middle of an item (waiting out its time included)
    bool resume = false;
    bool quit = false;
  };

  double seconds() const { return static_cast<double>(now_.load()) / 1e9; }

  void advanceTo(std::int64_t target) {
    if (now_.load() < target) now_ = target;
  }

  void scheduleRepetition(const std::shared_ptr<RepeatingState>& state, std::int64_t due) {
    schedule(main_.get(), due, [this, state, due] {
      if (state->cancelled) return;
      state->action();
      if (state->cancelled) return;
      // Like a run-loop timer, a late firing does not fire again for the slots it missed.
      std::int64_t next = due + state->interval.count();
      while (next <= now_.load())
        next += state->interval.count();
      scheduleRepetition(state, next);
    });
  }

  bool isBusy(const VirtualExecutor* executor) const {
    if (executor == &world_) return false;
    if (executor->isMain()) return mainBusy_;
    const auto w = workers_.find(executor);
    return w != workers_.end() && w->second->running;
  }

  // The driving thread hands the baton to `w` and waits until it comes back: the work finished
  // or is waiting out its time.
  void resumeAndWait(std::unique_lock<std::mutex>& lock, Worker& w) {
    batonWithDriver_ = false;
    w.resume = true;
    w.wake.notify_all();
    driverWake_.wait(lock, [this] { return batonWithDriver_; });
  }

  // On an executor's thread: gives the baton back and waits to be resumed.
  void passBaton(std::unique_lock<std::mutex>& lock, Worker& w) {
    batonWithDriver_ = true;
    driverWake_.notify_all();
    w.wake.wait(lock, [&w] { return w.resume; });
    w.resume = false;
  }

  void startWorker(const VirtualExecutor* executor, Worker& w) {
    w.thread = std::thread([this, executor, &w] {
      tCurrent = executor;
      std::unique_lock lock(mutex_);
      for (;;) {
        w.wake.wait(lock, [&w] { return w.resume || w.quit; });
        if (w.quit) return;
        w.resume = false;
        auto work = std::move(w.work);
        lock.unlock();
        work();
        work = nullptr;  // what it captured goes before the baton does
        lock.lock();
        w.running = false;
        ++callbacks_;
        batonWithDriver_ = true;
        driverWake_.notify_all();
      }
    });
  }

  // Runs the next thing due by `target`: a waiting executor's work reaching the end of its time,
  // or an item whose executor is free, whichever comes first.
  bool runNext(std::int64_t target) {
    std::unique_lock lock(mutex_);
    auto next = queue_.begin();
    while (next != queue_.end() && next->first.first <= target && isBusy(next->second.target))
      ++next;
    const bool hasItem = next != queue_.end() && next->first.first <= target;
    const bool hasWaiting = !suspended_.empty() && suspended_.begin()->first.first <= target;
    if (!hasItem && !hasWaiting) return false;
    if (hasWaiting && (!hasItem || suspended_.begin()->first < next->first)) {
      advanceTo(suspended_.begin()->first.first);
      Worker& w = *suspended_.begin()->second;
      suspended_.erase(suspended_.begin());
      resumeAndWait(lock, w);
      return true;
    }
    advanceTo(next->first.first);
    Item item = std::move(next->second);
    queue_.erase(next);
    if (item.target == &world_ || item.target->isMain()) {
      lock.unlock();
      const VirtualExecutor* outer = tCurrent;
      tCurrent = item.target == &world_ ? nullptr : item.target;
      const bool wasBusy = mainBusy_;
      if (item.target != &world_) mainBusy_ = true;
      item.work();
      mainBusy_ = wasBusy;
      tCurrent = outer;
      lock.lock();
      ++callbacks_;
      return true;
    }
    Worker& w = *workers_.at(item.target);
    if (!w.thread.joinable()) startWorker(item.target, w);
    w.work = std::move(item.work);
    w.running = true;
    resumeAndWait(lock, w);
    return true;
  }

  std::shared_ptr<VirtualExecutor> main_;
  std::vector<std::shared_ptr<VirtualExecutor>> executors_;
  mutable std::mutex mutex_;
  std::condition_variable driverWake_;
  bool batonWithDriver_ = true;
  std::multimap<std::pair<std::int64_t, std::uint64_t>, Item> queue_;
  std::multimap<std::pair<std::int64_t, std::uint64_t>, Worker*> suspended_;
  std::map<const VirtualExecutor*, std::unique_ptr<Worker>> workers_;
  std::uint64_t nextSequence_ = 0;
  bool stopping_ = false;
  bool mainBusy_ = false;  // main-queue work is running (or waiting out its time)
  std::atomic<std::int64_t> now_{0};
  std::atomic<double> wallStep_{0};      // seconds the wall clock was set forward
  VirtualExecutor world_{*this, false};  // the target of world events; never busy
  double refreshRate_ = 60;
  long callbacks_ = 0;
};

void VirtualExecutor::post(std::function<void()> work) {
  owner_.schedule(this, owner_.nowNanoseconds(), std::move(work));
}

void VirtualExecutor::postAfter(Duration delay, std::function<void()> work) {
  owner_.schedule(this, owner_.nowNanoseconds() + std::max(delay, Duration(0)).count(),
                  std::move(work));
}

bool VirtualExecutor::isCurrent() const {
  return tCurrent == this;
}

// ---------------------------------------------------------------------------------------------
// Real threads

using Clock = support::TimedQueue::Clock;

// The main queue of the real-thread mode: served by the thread that runs runFor()/runUntil().
class CallerExecutor final : public platform::Executor {
 public:
  void post(std::function<void()> work) override { queue.push(Clock::now(), std::move(work)); }
  void postAfter(Duration delay, std::function<void()> work) override {
    queue.push(Clock::now() + std::max(delay, Duration(0)), std::move(work));
  }
  bool isCurrent() const override { return thread == std::this_thread::get_id(); }

  support::TimedQueue queue;
  std::thread::id thread = std::this_thread::get_id();
};

class ThreadedScheduler final : public SimScheduler {
 public:
  ThreadedScheduler() : start_(Clock::now()) {}
  ~ThreadedScheduler() override { stop(); }

  TimeMode mode() const override { return TimeMode::realThreads; }
  platform::Executor& mainQueue() override { return main_; }

  std::shared_ptr<platform::Executor> makeSerialExecutor(std::string_view) override {
    auto executor = std::make_shared<support::ThreadExecutor>();
    std::lock_guard lock(mutex_);
    workers_.push_back(executor);
    return executor;
  }

  std::unique_ptr<platform::Repeating> scheduleRepeating(Duration interval,
                                                         std::function<void()> action) override {
    auto state = std::make_shared<RepeatingState>();
    state->interval = std::max(interval, Duration(1));
    state->action = std::move(action);
    scheduleRepetition(state, Clock::now() + state->interval);
    return std::make_unique<RepeatingHandle>(state);
  }

  std::unique_ptr<platform::Repeating> startDisplayTicker(std::function<void()> action) override {
    return scheduleRepeating(refreshInterval(refreshRate_.load()), std::move(action));
  }

  platform::WallTime now() const override {
    return {kWallTimeAtStart + wallStep_.load() + elapsed()};
  }
  void stepWallClock(double seconds) override { wallStep_ = wallStep_.load() + seconds; }
  double mediaTime() const override { return kMediaTimeAtStart + elapsed(); }

  void runFor(Duration duration) override {
    const auto deadline = Clock::now() + duration;
    while (auto work = main_.queue.take(deadline)) {
      work();
      ++callbacks_;
    }
  }

  bool runUntil(const std::function<bool()>& done, Duration limit) override {
    const auto deadline = Clock::now() + limit;
    while (!done()) {
      if (Clock::now() >= deadline) return done();
      // Wake at least every millisecond: background executors may make `done` true.
      if (auto work =
              main_.queue.take(std::min(deadline, Clock::now() + std::chrono::milliseconds(1)))) {
        work();
        ++callbacks_;
      }
    }
    return true;
  }

  void consume(Duration) override {}
  void scheduleWorld(Duration delay, std::function<void()> event) override {
    main_.postAfter(delay, std::move(event));
  }
  void setRefreshRate(double hertz) override { refreshRate_ = hertz; }

  void stop() override {
    std::vector<std::shared_ptr<support::ThreadExecutor>> workers;
    {
      std::lock_guard lock(mutex_);
      workers.swap(workers_);
    }
    for (auto& worker : workers)
      worker->stop();
    main_.queue.stop();
  }

  long callbacksRun() const override { return callbacks_; }
  std::optional<std::size_t> pendingCallbacks() const override { return std::nullopt; }

 private:
  double elapsed() const { return std::chrono::duration<double>(Clock::now() - start_).count(); }

  void scheduleRepetition(const std::shared_ptr<RepeatingState>& state, Clock::time_point due) {
    main_.queue.push(due, [this, state, due] {
      if (state->cancelled) return;
      state->action();
      if (state->cancelled) return;
      auto next = due + state->interval;
      while (next <= Clock::now())
        next += state->interval;
      scheduleRepetition(state, next);
    });
  }

  const Clock::time_point start_;
  CallerExecutor main_;
  std::mutex mutex_;
  std::vector<std::shared_ptr<support::ThreadExecutor>> workers_;
  std::atomic<double> refreshRate_{60};
  std::atomic<double> wallStep_{0};  // seconds the wall clock was set forward
  long callbacks_ = 0;
};

}  // namespace

std::unique_ptr<SimScheduler> SimScheduler::make(TimeMode mode) {
  if (mode == TimeMode::realThreads) return std::make_unique<ThreadedScheduler>();
  return std::make_unique<VirtualScheduler>();
}

}  // namespace velvix::sim
