#include "FollowLoop.hpp"

#include <chrono>

namespace velvix {

namespace {
constexpr auto kFollowInterval = std::chrono::milliseconds(8);
}  // namespace

FollowLoop::FollowLoop(std::shared_ptr<ScrollTracker> tracker, platform::Scheduler& scheduler,
                       Apply apply)
    : tracker_(std::move(tracker)),
      scheduler_(scheduler),
      executor_(scheduler.makeSerialExecutor("app.velvix.follow")),
      main_(scheduler.mainQueue()),
      apply_(std::move(apply)) {}

void FollowLoop::start() {
  executor_->post([self = shared_from_this()] { self->iterate(); });
}

// On the loop's executor. The background half touches only the tracker; the main-queue half
// runs only while the loop lives, which is decided on the main queue too.
void FollowLoop::iterate() {
  if (!lifetime_.isAlive()) return;  // a stale look only costs one more measurement
  if (measureAndApply(true)) return;
  if (tracker_->isActive()) {
    sleep();
  } else {
    park();
  }
}

bool FollowLoop::measureAndApply(bool thenSleep) {
  const double takenAt = scheduler_.mediaTime();
  auto measurement = tracker_->measure();
  if (!measurement) return false;
  measurement->takenAt = takenAt;
  main_.post(lifetime_.guard([self = shared_from_this(), m = *measurement, thenSleep] {
    self->apply_(m);
    if (thenSleep) self->sleep();
  }));
  return true;
}

void FollowLoop::measureNow() {
  if (parked_.load()) return wake();
  executor_->post([self = shared_from_this()] {
    if (self->lifetime_.isAlive()) self->measureAndApply(false);
  });
}

void FollowLoop::sleep() {
  executor_->postAfter(kFollowInterval, [self = shared_from_this()] { self->iterate(); });
}

void FollowLoop::park() {
  parked_.store(true);
  // An activation between the look above and the flag may have found the loop not parked yet
  // and gone unnoticed: look once more. Whoever clears the flag resumes the loop.
  if (tracker_->isActive() && parked_.exchange(false)) sleep();
}

void FollowLoop::wake() {
  if (!parked_.exchange(false)) return;
  executor_->post([self = shared_from_this()] { self->iterate(); });
}

}  // namespace velvix
