#pragma once

// What the overlay leaves of WhatsApp's private content in sight once everything has settled,
// the pointer away from the window (so nothing is revealed on purpose), over a tree that a
// WhatsApp update may have changed while the window still shows the same content. The
// sample account with a long history, every option on; measured like the scrolling leak
// (Simulator/ScrollLeak.hpp), against the overlay's patches as they are drawn.

#include <Simulator/ScrollLeak.hpp>
#include <Velvix/OverlayController.hpp>

#include <functional>
#include <string_view>

namespace velvix::sim {

struct RestLeakRun {
  /// `layout` turns "Use Accessibility" off; `withoutFollowing` is `precise` at rest.
  LeakMode mode = LeakMode::precise;
  TreeChange treeChange = TreeChange::none;
  bool coversUnrecognised = true;
  Duration elementCost = std::chrono::microseconds(100);
  /// Called with a line for every private area left in sight; none when empty.
  std::function<void(std::string_view)> report = {};
};

struct RestLeak {
  double uncovered = 0;     ///< private content left in sight in all, square points
  double largestPlace = 0;  ///< the most of it in any one private area
  OverlayController::Status status = {};
};

/// Settles for a second and a half, then takes the most left in sight over half a second,
/// sampled 60 times a second.
[[nodiscard]] RestLeak measureRestLeak(const RestLeakRun& run);

}  // namespace velvix::sim
