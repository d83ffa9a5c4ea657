#pragma once

// How much private content a bystander could see while the user scrolls WhatsApp.
//
// The whole application runs against the simulated client in virtual time. For one list (the
// messages, scrolled back in time; the chat list, scrolled down) and one speed, wheel events
// arrive 60 times a second, a few milliseconds after each screen refresh. They are events of
// the world: they happen at their time even while the reader is in the middle of a read, and
// every element read takes virtual time, so reads go stale the way real ones do. At every
// refresh the overlay draws, the model's private pixels — the ink of names, previews and
// messages, pictures, media, the composer's text, thumbnails — are compared with the frosted
// glass the overlay shows: whatever lies under no patch counts as uncovered, except what the
// options leave readable on purpose (the latest three messages; the unit under the pointer,
// which hover reveals). Sampled one point apart, at pixel centres.
//
// Two kinds of leak are told apart. The reference is an ideal overlay: the patches the blur
// layout gives for what the tree holds at that very instant, hover included. Whatever even it
// leaves in sight is the layout's own; the rest is the motion leak — patches lagging behind or
// running ahead of the content. Before the wheel turns, the layout's own leak at rest is
// measured too, with the largest amount in any one place.

#include <Simulator/Desktop.hpp>
#include <Simulator/WhatsAppModel.hpp>

#include <array>
#include <chrono>
#include <functional>
#include <string_view>

namespace velvix::sim {

/// About one small character, in square points: a frame leaking more shows something readable.
inline constexpr double kGlyphArea = 20;

enum class LeakMode { precise, withoutFollowing, layout };
[[nodiscard]] const char* name(LeakMode mode);

struct ScrollLeakRun {
  LeakMode mode = LeakMode::precise;
  WhatsAppModel::List list = WhatsAppModel::List::messages;
  double speed = 1500;  ///< points per second
  bool coversMovingLists = true;
  bool coversUnrecognised = true;
  /// The tree WhatsApp publishes for the same window.
  TreeChange treeChange = TreeChange::none;
  Duration elementCost = std::chrono::microseconds(100);  ///< virtual time per element read
  double seconds = 2;                                     ///< how long the wheel turns
  /// Called with a line for every frame that leaves something uncovered, and for every place
  /// the layout leaves uncovered at rest; none when empty.
  std::function<void(std::string_view)> report = {};
};

struct ScrollLeak {
  int frames = 0;
  int framesUncovered = 0;             ///< anything at all
  int framesMoving = 0;                ///< a motion leak
  int framesOverGlyph = 0;             ///< a motion leak over kGlyphArea
  double largest = 0;                  ///< largest motion leak in a frame, square points
  double largestUncovered = 0;         ///< most left in sight in one frame, square points
  double uncoveredSeconds = 0;         ///< everything left in sight × time, pt² s
  double motionSeconds = 0;            ///< motion leak × time
  double designSeconds = 0;            ///< the layout's own leak × time
  double restLargestPlace = 0;         ///< the layout's own leak at rest, most in one place
  double restTotal = 0;                ///< the layout's own leak at rest, in all
  std::array<double, 7> byCategory{};  ///< motion leak × time, indexed by Sensitive
};

/// The sample account with a long history in both lists, so that 2 s at 3,000 pt/s stay within
/// the content.
[[nodiscard]] WhatsAppState longAccount();

/// Runs one scroll and measures it.
[[nodiscard]] ScrollLeak measureScrollLeak(const ScrollLeakRun& run);

}  // namespace velvix::sim
