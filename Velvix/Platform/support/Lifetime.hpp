#pragma once

// Ties queued work to its owner's life. Work that comes back to a queue after the owner may be
// gone (a read's result, a measurement, a redraw) is wrapped by guard(): it runs only while the
// owner lives. The owner ends the lifetime before anything else of it goes (declared as its
// last member, or ended first thing in its destructor), on the thread the guarded work runs on,
// so that the check and the end never race. guard() and isAlive() may be called from any
// thread.

#include <memory>
#include <utility>

namespace velvix::support {

class Lifetime {
 public:
  Lifetime() = default;
  Lifetime(const Lifetime&) = delete;
  Lifetime& operator=(const Lifetime&) = delete;

  /// `work`, made to do nothing once the lifetime has ended. The result may be copied and
  /// handed to other threads; it checks the lifetime where it is called.
  template <typename Work>
  [[nodiscard]] auto guard(Work work) const {
    return [alive = watcher_, work = std::move(work)](auto&&... args) mutable {
      if (!alive.expired()) work(std::forward<decltype(args)>(args)...);
    };
  }
  /// Whether the lifetime goes on; from another thread, only a hint.
  [[nodiscard]] bool isAlive() const { return !watcher_.expired(); }

  void end() noexcept { token_.reset(); }

 private:
  std::shared_ptr<const char> token_ = std::make_shared<const char>();
  const std::weak_ptr<const char> watcher_ = token_;  // never written again: safe to copy anywhere
};

}  // namespace velvix::support
