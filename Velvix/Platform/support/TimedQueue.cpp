#include "TimedQueue.hpp"

namespace velvix::support {

void TimedQueue::push(Clock::time_point due, std::function<void()> work) {
  {
    std::lock_guard lock(mutex_);
    if (stopped_) return;
    items_.emplace(Key{due, nextSequence_++}, std::move(work));
  }
  changed_.notify_all();
}

std::function<void()> TimedQueue::take(Clock::time_point deadline) {
  std::unique_lock lock(mutex_);
  for (;;) {
    if (stopped_ || (closed_ && items_.empty())) return {};
    const auto now = Clock::now();
    if (!items_.empty() && items_.begin()->first.first <= now) {
      auto work = std::move(items_.begin()->second);
      items_.erase(items_.begin());
      return work;
    }
    if (now >= deadline) return {};
    const auto wakeAt = items_.empty() ? deadline : std::min(deadline, items_.begin()->first.first);
    if (wakeAt == Clock::time_point::max()) {
      changed_.wait(lock);
    } else {
      changed_.wait_until(lock, wakeAt);
    }
  }
}

void TimedQueue::close() {
  {
    std::lock_guard lock(mutex_);
    closed_ = true;
  }
  changed_.notify_all();
}

void TimedQueue::stop() {
  std::map<Key, std::function<void()>> dropped;  // destroyed off the lock
  {
    std::lock_guard lock(mutex_);
    stopped_ = true;
    dropped.swap(items_);
  }
  changed_.notify_all();
}

}  // namespace velvix::support
