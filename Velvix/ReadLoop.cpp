#include "ReadLoop.hpp"

#include <Velvix/ScrollFollowing.hpp>

#include <chrono>

namespace velvix {

namespace {

using namespace std::chrono_literals;

constexpr auto kRetry = 100ms;      // reading impossible: check again
constexpr auto kReevaluate = 20ms;  // idle: is a read due yet?
constexpr double kInterval = 0.1;   // idle: at most one read this often

}  // namespace

ReadLoop::ReadLoop(Owner& owner, std::shared_ptr<AccessibilityReader> reader,
                   platform::Accessibility& accessibility, platform::Scheduler& scheduler)
    : owner_(owner),
      reader_(std::move(reader)),
      accessibility_(accessibility),
      scheduler_(scheduler) {}

void ReadLoop::start() {
  scheduler_.mainQueue().post(lifetime_.guard([this] { step(); }));
}

void ReadLoop::stepAfter(platform::Duration delay) {
  scheduler_.mainQueue().postAfter(delay, lifetime_.guard([this] { step(); }));
}

void ReadLoop::step() {
  const auto window = owner_.windowToRead();
  if (!window) {
    reader_->tracker()->deactivate();
    stepAfter(kRetry);
    return;
  }
  // Durations on the media clock: the wall clock may be set back or forward at any time.
  const double now = scheduler_.mediaTime();
  const double sinceScroll = now - owner_.lastScroll();
  const bool scrolling = sinceScroll < kScrollActivity;
  if (!scrolling && now - lastRead_ < kInterval) {
    stepAfter(kReevaluate);
    return;
  }
  lastRead_ = now;

  // The read runs on the reader's executor; only its result comes back here.
  auto finish = lifetime_.guard(
      [this, window = *window, sinceScroll](std::optional<AccessibilityReader::Result> result) {
        if (result) {
          emptyReads_ = 0;
          owner_.accept(window, sinceScroll, std::move(*result));
        } else if (++emptyReads_ > AccessibilityReader::kSmearedReadsGivenUp) {
          // More empty reads in a row than the reader gives up while a list moves: they
          // failed. Made again at once, they would ask WhatsApp without a pause for as long as
          // the user scrolls, and log every time.
          stepAfter(kRetry);
          return;
        }
        step();  // no pause after a read
      });
  reader_->executor().post([reader = reader_, &accessibility = accessibility_,
                            &main = scheduler_.mainQueue(), pid = window->pid,
                            frame = window->frame, scrolling, finish = std::move(finish)] {
    std::optional<AccessibilityReader::Result> result;
    // Access may have gone since the main queue looked.
    if (accessibility.isProcessTrusted()) result = reader->read(pid, frame, scrolling);
    main.post([finish, result = std::move(result)]() mutable { finish(std::move(result)); });
  });
}

}  // namespace velvix
