#pragma once

// What to blur in WhatsApp's window, as pure functions of their inputs.

#include <BlurLayout/Geometry.hpp>
#include <BlurLayout/LayoutTypes.hpp>
#include <BlurLayout/Snapshot.hpp>

#include <optional>
#include <span>
#include <vector>

namespace velvix::BlurLayout {

/// Where the window's parts are: as read in precise mode, else from the measurements.
struct Areas {
  Rect chatList;            ///< the chat list's visible rows
  Rect conversationHeader;  ///< the open conversation's header
  Rect messageArea;         ///< the open conversation's visible messages
};
[[nodiscard]] Areas areas(Size windowSize, const LayoutMetrics& metrics,
                          const DetectedElements& elements);

/// The ordered regions to blur in a window of `windowSize`. In precise mode `elements` is the
/// last snapshot's analysis (isRead true) and `scroll` how far its lists have moved since; in
/// layout mode `elements` is empty and every area falls back to `metrics`. Degenerate input
/// (non-positive or non-finite window, NaN measurements or offsets) yields fewer regions; every
/// region returned overlaps the window and is at least one point wide and high; all but circles
/// lie inside it.
[[nodiscard]] std::vector<BlurRegion> regions(Size windowSize, const LayoutMetrics& metrics,
                                              const BlurOptions& options,
                                              const DetectedElements& elements,
                                              ScrollOffset scroll);

/// The strip of a list that scrolled into view since the snapshot, up to where the first
/// already-known element (`known`, shifted by `offset`) begins; absent for movements under one
/// point or when the known elements already cover it.
[[nodiscard]] std::optional<Rect> enteringStrip(Rect of, double offset,
                                                std::span<const Rect> known);

/// The patches to draw this frame: regions under the pointer reveal entirely (`whole`) or open
/// a horizontal band around it (`band`). Order is kept; band pieces are always rounded.
[[nodiscard]] std::vector<VisibleBlur> visibleBlurs(std::span<const BlurRegion> regions,
                                                    std::optional<Point> mouse);

}  // namespace velvix::BlurLayout
