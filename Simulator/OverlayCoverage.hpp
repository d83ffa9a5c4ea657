#pragma once

// Where the overlay's frosted glass lies over WhatsApp's window as a bystander sees it, and how
// much private content it leaves in sight. Shared by the compositor, the privacy-leak measure and
// the tests, so that they all judge coverage the same way.

#include "SimToolkit.hpp"
#include "SimWindowServer.hpp"
#include "WhatsAppScene.hpp"

#include <BlurLayout/Geometry.hpp>
#include <BlurLayout/LayoutTypes.hpp>

#include <array>
#include <span>
#include <vector>

namespace velvix::sim {

/// One visible blur view over the window: window-relative, shaped by its mask. A view without a
/// mask is a plain rectangle.
struct CoverPatch {
  Rect rect = {};
  std::optional<Shape> shape = {};
  std::optional<Rect> clip = {};  ///< the panel's bounds, outside which the view does not draw
};

/// The overlay panel's visible blur views, where they lie relative to the window at
/// `windowFrame` (global, top-left origin). Nothing when the panel is hidden or on another
/// Space; the panel's own frame counts, so a panel left behind shows its patches where it is.
[[nodiscard]] std::vector<CoverPatch> overlayPatches(const SimToolkit& toolkit,
                                                     const SimWindowServer& server,
                                                     const Rect& windowFrame);

/// The horizontal extent of a patch's shape on the line `y`, half-open; empty (left ≥ right) off
/// the shape.
[[nodiscard]] std::pair<double, double> patchExtentAt(const CoverPatch& patch, double y);

struct Coverage {
  /// Private content left in sight, in square points: sample points one point apart (at pixel
  /// centres) that lie in a private area, under no patch, and outside what the pointer reveals.
  double uncovered = 0;
  std::array<double, 7> byCategory{};  ///< indexed by Sensitive
  /// The most left in sight of any one private area (a line of text, a picture), in square
  /// points: what a bystander could read in one place.
  double largestArea = 0;
};

/// What `patches` leave of `areas` in sight, not counting anything within `revealed`. With
/// `onlyUnder`, only what those patches would have covered counts: the leak of `patches`
/// beyond that of a reference overlay.
[[nodiscard]] Coverage uncovered(
    std::span<const SensitiveArea> areas, std::span<const CoverPatch> patches,
    std::span<const Rect> revealed,
    std::optional<std::span<const CoverPatch>> onlyUnder = std::nullopt);

}  // namespace velvix::sim
