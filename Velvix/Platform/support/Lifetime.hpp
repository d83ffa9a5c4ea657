#pragma once

// Ties queued work to its owner's life. Work that comes back to a queue after the owner may be
// gone (a read's result, a measurement, a redraw) is wrapped by guard(): it runs only while the
// owner lives. The owner ends the lifetime before anything else of it goes (declared as its last
// member, or ended first thing in its destructor), on the thread the guarded work runs on, so
// the check and the end never race.

#include <memory>
#include <utility>

namespace velvix::support {

class Lifetime {
 public:
  Lifetime() = default;
  Lifetime(const Lifetime&) = delete;
  Lifetime& operator=(const Lifetime&) = delete;

  /// `work`, made to do nothing once the lifetime has ended.
  template <typename Work>
  [[nodiscard]] auto guard(Work work) const {
    return [alive = std::weak_ptr<const char>(token_), work = std::move(work)]() mutable {
      if (!alive.expired()) work();
    };
  }
  /// Whether the lifetime goes on, for work that checks it itself.
  [[nodiscard]] std::weak_ptr<const char> watch() const { return token_; }

  void end() noexcept { token_.reset(); }

 private:
  std::shared_ptr<const char> token_ = std::make_shared<const char>();
};

}  // namespace velvix::support
