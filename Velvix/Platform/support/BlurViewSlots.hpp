#pragma once

// A panel's blur views as plain state, bottom to top: what each implementation of the port
// keeps to draw from. The views the app holds write into their slot and tell the panel what
// changed; a view may outlive its panel harmlessly, and destroying it removes its slot.
//
// Main thread only.

#include <BlurLayout/Geometry.hpp>
#include <BlurLayout/LayoutTypes.hpp>
#include <Velvix/Platform/Toolkit.hpp>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace velvix::support {

struct BlurViewState {
  Rect frame;
  std::optional<Shape> mask;
  bool isHidden = false;
  friend bool operator==(const BlurViewState&, const BlurViewState&) = default;
};

class BlurViewSlots {
 public:
  /// What a view wrote (every write, whether or not the value changed), or that it went.
  enum class Change { frame, mask, hidden, removed };

  explicit BlurViewSlots(std::function<void(Change)> onChange);
  BlurViewSlots(const BlurViewSlots&) = delete;
  BlurViewSlots& operator=(const BlurViewSlots&) = delete;
  ~BlurViewSlots();

  /// A new view above all others, not hidden, without a mask.
  [[nodiscard]] std::unique_ptr<platform::BlurView> add();
  /// The views' states, bottom to top.
  [[nodiscard]] std::vector<BlurViewState> states() const;

 private:
  struct Shared;
  class View;
  std::shared_ptr<Shared> shared_;
};

}  // namespace velvix::support
