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
