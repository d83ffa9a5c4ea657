#include "QtScheduler.hpp"

#include <QCoreApplication>
#include <QObject>
#include <QPointer>
#include <QThread>
#include <QTimer>

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

namespace velvix::x11 {

using platform::Duration;

namespace {

int toMilliseconds(Duration d) {
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(d).count();
  return static_cast<int>(std::clamp<long long>(ms, 0, 1LL << 30));
}

// A serial executor on a thread of its own, ordered by due time, then by posting order. The
// thread holds the queue, so work posted before the executor's owner let go still runs; the
// thread ends once the owner is gone and the queue is empty.
class ThreadExecutor final : public platform::Executor {
 public:
  ThreadExecutor() : state_(std::make_shared<State>()) {
    std::thread thread([state = state_] { state->run(); });
    state_->id = thread.get_id();
    thread.detach();
  }
  ~ThreadExecutor() override {
    {
      std::lock_guard lock(state_->mutex);
      state_->closed = true;
    }
    state_->wake.notify_all();
  }

  void post(std::function<void()> work) override { postAfter(Duration::zero(), std::move(work)); }
  void postAfter(Duration delay, std::function<void()> work) override {
    {
      std::lock_guard lock(state_->mutex);
      state_->queue.emplace(Key{std::chrono::steady_clock::now() + delay, state_->next++},
                            std::move(work));
    }
    state_->wake.notify_all();
  }
  [[nodiscard]] bool isCurrent() const override { return std::this_thread::get_id() == state_->id; }

 private:
  struct Key {
    std::chrono::steady_clock::time_point due;
    unsigned long long order;
    bool operator<(const Key& other) const {
      return due != other.due ? due < other.due : order < other.order;
    }
  };

  struct State {
    std::mutex mutex;
    std::condition_variable wake;
    std::map<Key, std::function<void()>> queue;
    unsigned long long next = 0;
    bool closed = false;
    std::thread::id id;

    void run() {
      std::unique_lock lock(mutex);
      while (!(closed && queue.empty())) {
        if (queue.empty()) {
          wake.wait(lock);
          continue;
        }
        const auto due = queue.begin()->first.due;
        if (std::chrono::steady_clock::now() < due) {
          wake.wait_until(lock, due);
          continue;
        }
        auto work = std::move(queue.begin()->second);
        queue.erase(queue.begin());
        lock.unlock();
        work();
        work = nullptr;  // captured state is released off the lock
        lock.lock();
      }
    }
  };

  std::shared_ptr<State> state_;
};

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

class QtScheduler::MainQueue final : public platform::Executor {
 public:
  explicit MainQueue(QObject* context) : context_(context) {}
  void post(std::function<void()> work) override {
    QMetaObject::invokeMethod(context_, std::move(work), Qt::QueuedConnection);
  }
  void postAfter(Duration delay, std::function<void()> work) override {
    const int ms = toMilliseconds(delay);
    if (ms == 0) return post(std::move(work));
    // Timers belong to the thread that starts them: start this one on the main thread.
    QMetaObject::invokeMethod(
        context_,
        [context = context_, ms, work = std::move(work)]() mutable {
          QTimer::singleShot(ms, Qt::PreciseTimer, context, std::move(work));
        },
        Qt::QueuedConnection);
  }
  [[nodiscard]] bool isCurrent() const override {
    return QThread::currentThread() == context_->thread();
  }

 private:
  QObject* context_;
};

QtScheduler::QtScheduler(double refreshRate)
    : context_(std::make_unique<QObject>()),
      main_(std::make_unique<MainQueue>(context_.get())),
      refreshRate_(refreshRate > 0 ? refreshRate : 60) {}

QtScheduler::~QtScheduler() = default;

platform::Executor& QtScheduler::mainQueue() {
  return *main_;
}

std::shared_ptr<platform::Executor> QtScheduler::makeSerialExecutor(std::string_view) {
  return std::make_shared<ThreadExecutor>();
}

std::unique_ptr<platform::Repeating> QtScheduler::scheduleRepeating(Duration interval,
                                                                    std::function<void()> action) {
  return std::make_unique<TimerRepeating>(context_.get(), std::max(toMilliseconds(interval), 1),
                                          std::move(action));
}

std::unique_ptr<platform::Repeating> QtScheduler::startDisplayTicker(std::function<void()> action) {
  const int ms = std::max(1, static_cast<int>(1000.0 / refreshRate_));
  return std::make_unique<TimerRepeating>(context_.get(), ms, std::move(action));
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

}  // namespace velvix::x11
