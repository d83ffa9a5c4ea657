#include "ThreadExecutor.hpp"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace velvix::support {

struct ThreadExecutor::Shared {
  TimedQueue queue;
  std::thread::id thread;
  std::mutex mutex;
  std::condition_variable finishedChanged;
  bool finished = false;

  void run() {
    while (auto work = queue.take(TimedQueue::Clock::time_point::max())) {
      work();
      work = nullptr;  // what it captured is released before the next item
    }
    {
      std::lock_guard lock(mutex);
      finished = true;
    }
    finishedChanged.notify_all();
  }
};

ThreadExecutor::ThreadExecutor() : shared_(std::make_shared<Shared>()) {
  std::thread thread([shared = shared_] { shared->run(); });
  shared_->thread = thread.get_id();
  thread.detach();
}

ThreadExecutor::~ThreadExecutor() {
  shared_->queue.close();
}

void ThreadExecutor::post(std::function<void()> work) {
  shared_->queue.push(TimedQueue::Clock::now(), std::move(work));
}

void ThreadExecutor::postAfter(platform::Duration delay, std::function<void()> work) {
  shared_->queue.push(TimedQueue::Clock::now() + std::max(delay, platform::Duration::zero()),
                      std::move(work));
}

bool ThreadExecutor::isCurrent() const {
  return std::this_thread::get_id() == shared_->thread;
}

void ThreadExecutor::stop() {
  shared_->queue.stop();
  std::unique_lock lock(shared_->mutex);
  shared_->finishedChanged.wait(lock, [this] { return shared_->finished; });
}

}  // namespace velvix::support
