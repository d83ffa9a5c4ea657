#pragma once

// The follow loop: how far WhatsApp's lists have scrolled since the last read, measured every
// 8 ms on an executor of its own and applied on the main queue, so that the patches follow the
// content between reads.
//
// While the tracker is inactive every measurement would come back empty, so the loop parks
// instead of waking 125 times a second for nothing (in layout mode that is all the time); the
// controller wakes it when it accepts a read. Measurements taken between the reader's publish
// and that moment belong to a generation the controller does not hold yet and would be dropped
// anyway.

#include <Velvix/Platform/Scheduler.hpp>
#include <Velvix/Platform/support/Lifetime.hpp>
#include <Velvix/ScrollTracker.hpp>

#include <atomic>
#include <functional>
#include <memory>

namespace velvix {

class FollowLoop : public std::enable_shared_from_this<FollowLoop> {
 public:
  /// Applies a measurement on the main queue.
  using Apply = std::function<void(const ScrollTracker::Measurement&)>;

  /// A loop measuring through `tracker`; start() sets it going.
  FollowLoop(std::shared_ptr<ScrollTracker> tracker, platform::Scheduler& scheduler, Apply apply);
  FollowLoop(const FollowLoop&) = delete;
  FollowLoop& operator=(const FollowLoop&) = delete;

  void start();
  /// Resumes a parked loop. Any thread.
  void wake();
  /// One measurement at once, besides the loop's own (which a parked loop resumes instead).
  void measureNow();
  /// Ends the loop: work still queued for it does nothing. Main queue; before what `apply`
  /// refers to goes.
  void stop() { lifetime_.end(); }

 private:
  void iterate();
  /// Measures and applies; true when the tracker gave a measurement.
  bool measureAndApply(bool thenSleep);
  void sleep();
  void park();

  std::shared_ptr<ScrollTracker> tracker_;
  platform::Scheduler& scheduler_;
  std::shared_ptr<platform::Executor> executor_;
  platform::Executor& main_;
  Apply apply_;
  std::atomic<bool> parked_ = false;
  support::Lifetime lifetime_;
};

}  // namespace velvix
