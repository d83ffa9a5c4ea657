#pragma once

// The texts the options panel and the calibration window show for values of the app's own
// types. Kept apart from the views so the wording and the rounding can be tested without a
// window.

#include <Velvix/OverlayController.hpp>

#include <string>
#include <string_view>

namespace velvix::labels {

/// A measurement as whole points, truncated toward zero: 71.6 reads "71 pt", -0.5 reads "0 pt".
/// A value without a whole-number reading (NaN) reads "0 pt"; one beyond the range of
/// `long long` reads as the nearest bound, so no value makes the conversion undefined.
[[nodiscard]] std::string points(double value);

/// The drawn symbols of the status line.
enum class StatusSymbol { lock, hourglass, eye };

struct StatusLine {
  std::string_view text;
  StatusSymbol symbol;
  friend bool operator==(const StatusLine&, const StatusLine&) = default;
};

/// What the options panel says about the protection state; `missesNativeWindows` when the
/// desktop cannot see a WhatsApp running as a native Wayland window.
[[nodiscard]] StatusLine statusLine(const OverlayController::Status& status,
                                    bool missesNativeWindows = false);

}  // namespace velvix::labels
