#include "SimScheduler.hpp"

#include <Velvix/Platform/support/ThreadExecutor.hpp>
#include <Velvix/Platform/support/TimedQueue.hpp>

#include <algorithm>
#include <atomic>
#include <cassert>
#include <chrono>
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

class VirtualScheduler;

class VirtualExecutor final : public platform::Executor {
 public:
  explicit VirtualExecutor(VirtualScheduler& owner) : owner_(owner) {}
  void post(std::function<void()> work) override;
  void postAfter(Duration delay, std::function<void()> work) override;
  [[nodiscard]] bool isCurrent() const override;

 private:
  VirtualScheduler& owner_;
};

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
  VirtualScheduler() : main_(std::make_shared<VirtualExecutor>(*this)) {}
  ~VirtualScheduler() override { stop(); }

  TimeMode mode() const override { return TimeMode::virtualTime; }
  platform::Executor& mainQueue() override { return *main_; }

  std::shared_ptr<platform::Executor> makeSerialExecutor(std::string_view) override {
    auto executor = std::make_shared<VirtualExecutor>(*this);
    std::lock_guard lock(mutex_);
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
    return scheduleRepeating(refreshInterval(refreshRate_), std::move(action));
  }

  platform::WallTime now() const override { return {kWallTimeAtStart + seconds()}; }
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

  // The executor that takes the time is busy for it; the others, and the world, go on: what
  // falls due on them meanwhile runs now, nested, at its own time.
  void consume(Duration cost) override {
    if (cost.count() <= 0) return;
    const std::int64_t until = now_.load() + cost.count();
    busy_.push_back(current_);
    while (runNext(until)) {
    }
    busy_.pop_back();
    advanceTo(until);
  }

  void scheduleWorld(Duration delay, std::function<void()> event) override {
    schedule(&world_, now_.load() + std::max(delay, Duration(0)).count(), std::move(event));
  }

  void setRefreshRate(double hertz) override { refreshRate_ = hertz; }

  void stop() override {
    std::multimap<std::pair<std::int64_t, std::uint64_t>, Item> dropped;
    std::lock_guard lock(mutex_);
    dropped.swap(queue_);
    stopped_ = true;
  }

  long callbacksRun() const override { return callbacks_; }

  // For the executors.
  void schedule(const VirtualExecutor* target, std::int64_t due, std::function<void()> work) {
    std::lock_guard lock(mutex_);
    if (stopped_) return;
    queue_.emplace(std::make_pair(due, nextSequence_++), Item{target, std::move(work)});
  }
  std::int64_t nowNanoseconds() const { return now_.load(); }
  const VirtualExecutor* current() const { return current_; }

 private:
  struct Item {
    const VirtualExecutor* target;
    std::function<void()> work;
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

  // Runs the first item due by `target` whose executor is not busy consuming time.
  bool runNext(std::int64_t target) {
    Item item;
    std::int64_t due = 0;
    {
      std::lock_guard lock(mutex_);
      auto next = queue_.begin();
      while (next != queue_.end() && next->first.first <= target &&
             std::find(busy_.begin(), busy_.end(), next->second.target) != busy_.end())
        ++next;
      if (next == queue_.end() || next->first.first > target) return false;
      due = next->first.first;
      item = std::move(next->second);
      queue_.erase(next);
    }
    assert((current_ == nullptr || !busy_.empty()) &&
           "runFor()/runUntil() called from a callback");
    advanceTo(due);
    const VirtualExecutor* outer = current_;
    current_ = item.target == &world_ ? nullptr : item.target;
    item.work();
    current_ = outer;
    ++callbacks_;
    return true;
  }

  std::shared_ptr<VirtualExecutor> main_;
  std::vector<std::shared_ptr<VirtualExecutor>> executors_;
  std::mutex mutex_;
  std::multimap<std::pair<std::int64_t, std::uint64_t>, Item> queue_;
  std::uint64_t nextSequence_ = 0;
  bool stopped_ = false;
  std::atomic<std::int64_t> now_{0};
  const VirtualExecutor* current_ = nullptr;
  std::vector<const VirtualExecutor*> busy_;  // executors consuming time, outermost first
  VirtualExecutor world_{*this};              // the target of world events; never busy
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
  return owner_.current() == this;
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

  platform::WallTime now() const override { return {kWallTimeAtStart + elapsed()}; }
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
      if (auto work = main_.queue.take(
              std::min(deadline, Clock::now() + std::chrono::milliseconds(1)))) {
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
  long callbacks_ = 0;
};

}  // namespace

std::unique_ptr<SimScheduler> SimScheduler::make(TimeMode mode) {
  if (mode == TimeMode::realThreads) return std::make_unique<ThreadedScheduler>();
  return std::make_unique<VirtualScheduler>();
}

}  // namespace velvix::sim
