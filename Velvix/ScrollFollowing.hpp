#pragma once

// How the overlay turns scroll measurements into the offset it draws with: a velocity smoothed
// by halves, and an extrapolation of at most 50 ms past the last measurement, so the patches
// keep up with fast scrolling without running away when measurements stop.

#include <BlurLayout/LayoutTypes.hpp>

#include <array>
#include <cmath>
#include <limits>

namespace velvix {

/// The last measured offset since the read, on the monotonic media clock.
struct ScrollSample {
  double time = 0;
  ScrollOffset offset;
  friend bool operator==(const ScrollSample&, const ScrollSample&) = default;
};

/// A wheel event over WhatsApp marks it as scrolling for this long, in seconds.
inline constexpr double kScrollActivity = 0.4;
/// How far past the last measurement the patches run on, in seconds.
inline constexpr double kMaxScrollExtrapolation = 0.05;

/// The velocity after a new measurement `offset` at `time`: half the old velocity plus half the
/// speed since `sample`. Samples 1 ms apart or closer leave the velocity as it was.
[[nodiscard]] constexpr ScrollOffset smoothedVelocity(ScrollOffset velocity,
                                                      const ScrollSample& sample,
                                                      ScrollOffset offset, double time) {
  const double dt = time - sample.time;
  if (!(dt > 0.001)) return velocity;
  return {0.5 * velocity.chatList + 0.5 * (offset.chatList - sample.offset.chatList) / dt,
          0.5 * velocity.messages + 0.5 * (offset.messages - sample.offset.messages) / dt};
}

/// How many measurements in a row found each list moving. Content that moves in steps (a
/// wheel's clicks) stands still between them, and running the patches ahead of it by its speed
/// would leave them off their content until the next step; so the velocity is used only once
/// two measurements in a row saw a list move, which steps at the display's rate never give.
struct MotionRuns {
  int chatList = 0;
  int messages = 0;
  friend bool operator==(const MotionRuns&, const MotionRuns&) = default;
};

/// The runs after a measurement `offset` taken after `sample`: a list that moved by half a point
/// or more continues its run, one that did not starts again.
[[nodiscard]] constexpr MotionRuns nextRuns(MotionRuns runs, const ScrollSample& sample,
                                            ScrollOffset offset) {
  const auto moved = [](double a, double b) { return a - b >= 0.5 || b - a >= 0.5; };
  return {moved(offset.chatList, sample.offset.chatList) ? runs.chatList + 1 : 0,
          moved(offset.messages, sample.offset.messages) ? runs.messages + 1 : 0};
}

/// The velocity of the lists that move continuously; zero for the others.
[[nodiscard]] constexpr ScrollOffset continuousVelocity(ScrollOffset velocity, MotionRuns runs) {
  return {runs.chatList >= 2 ? velocity.chatList : 0, runs.messages >= 2 ? velocity.messages : 0};
}

/// The offset to draw with at `now`: the sample moved on by the velocity for the time since,
/// but never more than kMaxScrollExtrapolation.
[[nodiscard]] constexpr ScrollOffset extrapolatedScroll(const ScrollSample& sample,
                                                        ScrollOffset velocity, double now) {
  const double elapsed = now - sample.time;
  const double ahead = elapsed < kMaxScrollExtrapolation ? elapsed : kMaxScrollExtrapolation;
  return {sample.offset.chatList + velocity.chatList * ahead,
          sample.offset.messages + velocity.messages * ahead};
}

/// For "Cover lists while scrolling": which lists' patches cannot be trusted to lie on their
/// content now. A list the wheel has turned in the last kScrollActivity is untrusted while the
/// last turn has not been measured yet, while no measurement is newer than a frame, while the
/// last read of it is smeared (it moved during the read), or when it has moved since the last
/// read by more than half of what it shows (faster than reads keep up with). At rest a list is
/// trusted whatever the measurements.
class MovingLists {
 public:
  enum class List { chatList, messages };
  /// How old the last measurement may be, in seconds: one frame at 60 Hz.
  static constexpr double kFreshMeasurement = 1.0 / 60;

  /// The wheel turned over `list` at media time `now`.
  void wheel(List list, double now) { lastWheel_[index(list)] = now; }
  /// A measurement (or a read) of both lists, begun at media time `takenAt`.
  void measured(double takenAt) {
    if (takenAt > lastMeasured_) lastMeasured_ = takenAt;
  }
  /// A new read, and whether each list moved during it beyond what could be corrected.
  void read(double finishedAt, bool chatListSmeared, bool messagesSmeared) {
    measured(finishedAt);
    smeared_ = {chatListSmeared, messagesSmeared};
  }
  void forget() { *this = MovingLists(); }

  /// Whether `list`, moved by `moved` points since the last read and showing `shownHeight`
  /// points of its content, must be covered at media time `now`.
  [[nodiscard]] bool isUntrusted(List list, double now, double moved, double shownHeight) const {
    const double wheel = lastWheel_[index(list)];
    if (!(now - wheel < kScrollActivity)) return false;
    if (smeared_[index(list)]) return true;
    if (!(lastMeasured_ > wheel) || now - lastMeasured_ > kFreshMeasurement) return true;
    return !(std::abs(moved) <= shownHeight / 2);  // a NaN counts as too far
  }

 private:
  static constexpr std::size_t index(List list) { return list == List::chatList ? 0 : 1; }
  static constexpr double kNever = -std::numeric_limits<double>::infinity();
  std::array<double, 2> lastWheel_{kNever, kNever};
  double lastMeasured_ = kNever;
  std::array<bool, 2> smeared_{false, false};
};

}  // namespace velvix
