#pragma once

// How the overlay turns scroll measurements into the offset it draws with: a velocity smoothed
// by halves, and an extrapolation of at most 50 ms past the last measurement, so the patches
// keep up with fast scrolling without running away when measurements stop.

#include <BlurLayout/LayoutTypes.hpp>

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

}  // namespace velvix
