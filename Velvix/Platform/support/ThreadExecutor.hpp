#pragma once

// A serial executor on a thread of its own: the reader's and the follow loop's executors of
// every real scheduler, and of the Simulator's real-thread mode.
//
// Work posted before the executor is destroyed still runs at its time: the thread holds the
// queue and ends once the executor is gone and nothing is left to run. stop() instead drops
// what is queued and waits for the thread, for owners that must know it is done.

#include "TimedQueue.hpp"

#include <Velvix/Platform/Scheduler.hpp>

#include <memory>

namespace velvix::support {

class ThreadExecutor final : public platform::Executor {
 public:
  ThreadExecutor();
  ~ThreadExecutor() override;

  void post(std::function<void()> work) override;
  void postAfter(platform::Duration delay, std::function<void()> work) override;
  [[nodiscard]] bool isCurrent() const override;

  /// Drops the queued work and waits until the thread has finished what it runs now. Not from
  /// the executor's own thread. Idempotent.
  void stop();

 private:
  struct Shared;
  std::shared_ptr<Shared> shared_;
};

}  // namespace velvix::support
