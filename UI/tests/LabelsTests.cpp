#include "Labels.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace velvix {
namespace {

TEST(PointsLabel, TruncatesTowardZeroAndNeverOverflows) {
  constexpr double inf = std::numeric_limits<double>::infinity();
  const struct {
    const char* name;
    double value;
    const char* expected;
  } cases[] = {
      {"a fraction above a whole number is cut, not rounded", 71.6, "71 pt"},
      {"just below the next whole number", 71.999, "71 pt"},
      {"a whole number", 48, "48 pt"},
      {"zero", 0, "0 pt"},
      {"negative fractions truncate toward zero", -0.5, "0 pt"},
      {"negative values keep their sign", -12.9, "-12 pt"},
      {"NaN has no whole reading", std::nan(""), "0 pt"},
      {"infinity reads as the largest whole number", inf, "9223372036854775807 pt"},
      {"minus infinity reads as the smallest", -inf, "-9223372036854775808 pt"},
      {"2^63, the first past long long", 9223372036854775808.0, "9223372036854775807 pt"},
      {"beyond long long", 1e300, "9223372036854775807 pt"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(labels::points(c.value), c.expected);
  }
}

TEST(StatusLine, NamesEachStateWithItsSymbol) {
  using Status = OverlayController::Status;
  using labels::StatusSymbol;
  const struct {
    const char* name;
    Status status;
    labels::StatusLine expected;
    bool missesNativeWindows = false;
  } cases[] = {
      {"precise", Status::protecting(true), {"Protecting WhatsApp", StatusSymbol::lock}},
      {"layout mode",
       Status::protecting(false),
       {"Protecting WhatsApp (layout mode)", StatusSymbol::lock}},
      {"waiting", Status::waitingForWhatsApp(), {"Waiting for WhatsApp…", StatusSymbol::hourglass}},
      {"off", Status::disabled(), {"Protection is off", StatusSymbol::eye}},
      {"panic key",
       Status::of(Status::Kind::coveredByKey),
       {"Everything is hidden — press the panic key again to show WhatsApp", StatusSymbol::lock}},
      {"away",
       Status::of(Status::Kind::coveredWhileAway),
       {"Everything is hidden while you are away", StatusSymbol::lock}},
      {"unrecognised",
       Status::of(Status::Kind::unrecognised),
       {"WhatsApp not recognised — blurring the calibrated areas", StatusSymbol::lock}},
      {"unmeasured",
       Status::unmeasured(),
       {"Couldn't measure WhatsApp — everything is blurred. Open Layout… to calibrate.",
        StatusSymbol::lock}},
      {"waiting where Wayland windows are out of sight",
       Status::waitingForWhatsApp(),
       {"No WhatsApp window found. A WhatsApp running as a native Wayland window can't be seen: "
        "start it under XWayland (for example with --ozone-platform=x11).",
        StatusSymbol::hourglass},
       true},
      {"protecting there",
       Status::protecting(false),
       {"Protecting WhatsApp (layout mode)", StatusSymbol::lock},
       true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(labels::statusLine(c.status, c.missesNativeWindows), c.expected);
  }
}

}  // namespace
}  // namespace velvix
