#include "QtScheduler.hpp"

#include <Velvix/Platform/support/ThreadExecutor.hpp>

#include <QCoreApplication>
#include <QObject>
#include <QPointer>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <vector>

namespace velvix::qt {

using platform::Duration;

namespace {

// Longer waits keep a timer of their own, which clamps them; the clock adds waits to the
// current time, which must not overflow.
constexpr Duration kLongestOnTheBeat = std::chrono::hours(1);

int toMilliseconds(Duration d) {
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(d).count();
  return static_cast<int>(std::clamp<long long>(ms, 0, 1LL << 30));
}

class TimerRepeating final : public platform::Repeating {
 public:
  TimerRepeating(QObject* context, int milliseconds, std::function<void()> action)
      : timer_(new QTimer(context)) {
    timer_->setTimerType(Qt::PreciseTimer);
    timer_->setInterval(milliseconds);
    QObject::connect(timer_, &QTimer::timeout, timer_, std::move(action));
    timer_->start();
  }
  ~TimerRepeating() override { cancel(); }
  void cancel() override {
    if (timer_) {
      timer_->stop();
      timer_->deleteLater();
      timer_ = nullptr;
    }
  }

 private:
  QPointer<QTimer> timer_;
};

}  // namespace

// The display's beat on the main thread. The display ticker runs on every beat, and repeating
// timers no shorter than a beat run on the beat they fall due (within half a beat), as a
// display link and coalescing run-loop timers do: at 60 Hz the 30 Hz frame timer shares every
// other wake-up with the ticker instead of adding 30 of its own. The beat stops while nothing
// is scheduled on it. It comes from the display's refresh when there is a DisplayRefresh, else
// from a timer armed for the next beat something falls due on.
class FrameClock {
 public:
  using Clock = std::chrono::steady_clock;

  FrameClock(QObject* context, Clock::duration period, std::unique_ptr<DisplayRefresh> refresh)
      : timer_(new QTimer(context)),
        refresh_(std::move(refresh)),
        period_(refresh_ ? std::chrono::duration_cast<Clock::duration>(refresh_->period())
                         : period),
        origin_(Clock::now()) {
    timer_->setTimerType(Qt::PreciseTimer);
    timer_->setSingleShot(true);
    QObject::connect(timer_, &QTimer::timeout, timer_, [this] { beat(next_); });
  }
  ~FrameClock() {
    if (refresh_ && refreshing_) refresh_->stop();
    delete timer_.data();  // its connection refers to this clock
  }
  FrameClock(const FrameClock&) = delete;
  FrameClock& operator=(const FrameClock&) = delete;

  [[nodiscard]] Clock::duration period() const { return period_; }

  /// Runs `action` on the beats every `interval` (at least one period) from now.
  std::uint64_t add(Clock::duration interval, std::function<void()> action) {
    const std::uint64_t id = nextId_++;
    entries_.push_back({id, interval, Clock::now() + interval, std::move(action)});
    arm();
    return id;
  }
  /// Runs `action` once, on the beat nearest to `delay` from now.
  void addOnce(Clock::duration delay, std::function<void()> action) {
    entries_.push_back(
        {nextId_++, Clock::duration::zero(), Clock::now() + delay, std::move(action)});
    arm();
  }
  void remove(std::uint64_t id) {
    std::erase_if(entries_, [id](const Entry& e) { return e.id == id; });
    if (entries_.empty()) rest();
  }

 private:
  struct Entry {
    std::uint64_t id;
    Clock::duration interval;  // zero: runs once
    Clock::time_point due;
    std::function<void()> action;
  };

  // The first beat at or after `t`.
  [[nodiscard]] Clock::time_point beatAtOrAfter(Clock::time_point t) const {
    if (t <= origin_) return origin_;
    const auto beats = (t - origin_ + period_ - Clock::duration(1)) / period_;
    return origin_ + beats * period_;
  }

  void arm() {
    if (entries_.empty()) return;
    if (refresh_) {
      if (!refreshing_) {
        refreshing_ = true;
        refresh_->start([this] { beat(Clock::now()); });
      }
      return;
    }
    if (!timer_) return;
    auto due = entries_.front().due;
    for (const Entry& e : entries_)
      due = std::min(due, e.due);
    next_ = beatAtOrAfter(due - period_ / 2);
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(next_ - Clock::now());
    timer_->start(static_cast<int>(std::max<long long>(wait.count(), 0)));
  }

  void rest() {
    if (refresh_ && refreshing_) {
      refresh_->stop();
      refreshing_ = false;
    }
    if (timer_) timer_->stop();
  }

  void beat(Clock::time_point beatTime) {
    const auto now = Clock::now();
    // An action may add or remove entries, this one included: run by id, looked up afresh.
    std::vector<std::uint64_t> due;
    for (const Entry& e : entries_) {
      if (e.due <= beatTime + period_ / 2) due.push_back(e.id);
    }
    for (const std::uint64_t id : due) {
      auto it = std::find_if(entries_.begin(), entries_.end(),
                             [id](const Entry& e) { return e.id == id; });
      if (it == entries_.end()) continue;
      if (it->interval == Clock::duration::zero()) {
        const auto action = std::move(it->action);
        entries_.erase(it);
        action();
        continue;
      }
      it->due += it->interval;
      // After a stall the missed firings are dropped, not run back to back.
      if (it->due <= now) it->due = now + it->interval;
      const auto action = it->action;  // the entry may go while it runs
      action();
    }
    if (entries_.empty()) {
      rest();
    } else {
      arm();
    }
  }

  QPointer<QTimer> timer_;
  std::unique_ptr<DisplayRefresh> refresh_;
  bool refreshing_ = false;
  Clock::duration period_;
  Clock::time_point origin_;
  Clock::time_point next_;
  std::vector<Entry> entries_;
  std::uint64_t nextId_ = 1;
};

// Delays of several frames run on the display's beat (within half a frame of their time), so
// that a slow poll such as the read loop's shares its wake-ups with the ticker too; shorter
// ones keep a precise timer of their own.
class QtScheduler::MainQueue final : public platform::Executor {
 public:
  MainQueue(QObject* context, std::weak_ptr<FrameClock> clock)
      : context_(context), clock_(std::move(clock)) {}
  void post(std::function<void()> work) override {
    QMetaObject::invokeMethod(context_, std::move(work), Qt::QueuedConnection);
  }
  void postAfter(Duration delay, std::function<void()> work) override {
    const int ms = toMilliseconds(delay);
    if (ms == 0) return post(std::move(work));
    // Timers belong to the thread that starts them, and the clock to the main thread: start
    // this one there.
    QMetaObject::invokeMethod(
        context_,
        [context = context_, clock = clock_, ms, delay, work = std::move(work)]() mutable {
          const auto beat = clock.lock();
          if (beat && delay >= kBeatsForCoalescing * beat->period() && delay <= kLongestOnTheBeat) {
            beat->addOnce(delay, std::move(work));
          } else {
            QTimer::singleShot(ms, Qt::PreciseTimer, context, std::move(work));
          }
        },
        Qt::QueuedConnection);
  }
  [[nodiscard]] bool isCurrent() const override {
    return QThread::currentThread() == context_->thread();
  }

 private:
  static constexpr int kBeatsForCoalescing = 4;
  QObject* context_;
  std::weak_ptr<FrameClock> clock_;
};

namespace {

class BeatRepeating final : public platform::Repeating {
 public:
  BeatRepeating(std::weak_ptr<FrameClock> clock, std::uint64_t id)
      : clock_(std::move(clock)), id_(id) {}
  ~BeatRepeating() override { cancel(); }
  void cancel() override {
    if (const auto clock = clock_.lock()) clock->remove(id_);
    clock_.reset();
  }

 private:
  std::weak_ptr<FrameClock> clock_;
  std::uint64_t id_;
};

}  // namespace

QtScheduler::QtScheduler(double refreshRate) : QtScheduler(nullptr, refreshRate) {}

QtScheduler::QtScheduler(std::unique_ptr<DisplayRefresh> refresh)
    : QtScheduler(std::move(refresh), 60) {}

QtScheduler::QtScheduler(std::unique_ptr<DisplayRefresh> refresh, double refreshRate)
    : context_(std::make_unique<QObject>()),
      clock_(std::make_shared<FrameClock>(
          context_.get(),
          std::chrono::duration_cast<std::chrono::steady_clock::duration>(
              std::chrono::duration<double>(
                  1 / (refreshRate > 0 && refreshRate <= 1000 ? refreshRate : 60))),
          std::move(refresh))),
      main_(std::make_unique<MainQueue>(context_.get(), clock_)) {}

QtScheduler::~QtScheduler() = default;

platform::Executor& QtScheduler::mainQueue() {
  return *main_;
}

std::shared_ptr<platform::Executor> QtScheduler::makeSerialExecutor(std::string_view) {
  return std::make_shared<support::ThreadExecutor>();
}

std::unique_ptr<platform::Repeating> QtScheduler::scheduleRepeating(Duration interval,
                                                                    std::function<void()> action) {
  if (interval >= clock_->period() && interval <= kLongestOnTheBeat) {
    return std::make_unique<BeatRepeating>(clock_, clock_->add(interval, std::move(action)));
  }
  return std::make_unique<TimerRepeating>(context_.get(), std::max(toMilliseconds(interval), 1),
                                          std::move(action));
}

std::unique_ptr<platform::Repeating> QtScheduler::startDisplayTicker(std::function<void()> action) {
  return std::make_unique<BeatRepeating>(clock_, clock_->add(clock_->period(), std::move(action)));
}

platform::WallTime QtScheduler::now() const {
  return {
      std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count()};
}

double QtScheduler::mediaTime() const {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

QObject* QtScheduler::context() const {
  return context_.get();
}

}  // namespace velvix::qt
