#include "ThreadExecutor.hpp"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#if defined(__linux__)
#include <pthread.h>
#endif

namespace velvix::support {

struct ThreadExecutor::Shared {
  TimedQueue queue;
  std::thread::id thread;
  std::mutex mutex;
  std::condition_variable finishedChanged;
  bool finished = false;

  void run(const std::string& label) {
#if defined(__linux__)
    pthread_setname_np(pthread_self(), label.substr(0, 15).c_str());  // the system's limit
#else
    (void)label;
#endif
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

ThreadExecutor::ThreadExecutor(std::string_view label) : shared_(std::make_shared<Shared>()) {
  std::thread thread([shared = shared_, name = std::string(label)] { shared->run(name); });
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
