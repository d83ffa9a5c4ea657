#pragma once

// The read loop: reads WhatsApp's accessibility tree on the reader's executor, at most every
// 0.1 s at rest and back to back while the user scrolls over WhatsApp (then as quick refreshes
// of the two lists), and hands each successful read to its owner on the main queue. While a
// read cannot be made (no window, protection or precise mode off, no access), or reads keep
// failing, it checks again every 100 ms, with the tracker deactivated in the first case. Its
// bookkeeping runs on the main queue; it never blocks it.

#include <Velvix/AccessibilityReader.hpp>
#include <Velvix/Platform/Accessibility.hpp>
#include <Velvix/Platform/Scheduler.hpp>
#include <Velvix/Platform/support/Lifetime.hpp>
#include <Velvix/WhatsAppWindow.hpp>

#include <memory>
#include <optional>

namespace velvix {

class ReadLoop {
 public:
  /// The owner's side, asked and told on the main queue.
  class Owner {
   public:
    /// WhatsApp's window when a read may be made now; empty when it may not.
    [[nodiscard]] virtual std::optional<WhatsAppWindow> windowToRead() const = 0;
    /// When the wheel last turned over WhatsApp, in media time.
    [[nodiscard]] virtual double lastScroll() const = 0;
    /// A read of `window` succeeded; `sinceScroll` is the time since the wheel last turned over
    /// WhatsApp when it began.
    virtual void accept(const WhatsAppWindow& window, double sinceScroll,
                        AccessibilityReader::Result result) = 0;

   protected:
    ~Owner() = default;
  };

  /// All must outlive the loop except the reader, which queued reads keep alive.
  ReadLoop(Owner& owner, std::shared_ptr<AccessibilityReader> reader,
           platform::Accessibility& accessibility, platform::Scheduler& scheduler);
  ReadLoop(const ReadLoop&) = delete;
  ReadLoop& operator=(const ReadLoop&) = delete;

  void start();

  /// A media time before any other, for "never".
  static constexpr double kLongAgo = -1e18;

 private:
  void step();
  void stepAfter(platform::Duration delay);

  Owner& owner_;
  std::shared_ptr<AccessibilityReader> reader_;
  platform::Accessibility& accessibility_;
  platform::Scheduler& scheduler_;
  double lastRead_ = kLongAgo;  // media time
  int emptyReads_ = 0;          // reads in a row that gave nothing
  support::Lifetime lifetime_;  // last: ends before the rest goes
};

}  // namespace velvix
