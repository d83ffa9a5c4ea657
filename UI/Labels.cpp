#include "Labels.hpp"

#include <cmath>
#include <limits>

namespace velvix::labels {

std::string points(double value) {
  using Limits = std::numeric_limits<long long>;
  long long whole = 0;
  if (std::isnan(value)) {
    whole = 0;
  } else if (value >= static_cast<double>(Limits::max())) {
    whole = Limits::max();
  } else if (value <= static_cast<double>(Limits::min())) {
    whole = Limits::min();
  } else {
    whole = static_cast<long long>(std::trunc(value));
  }
  return std::to_string(whole) + " pt";
}

StatusLine statusLine(const OverlayController::Status& status, bool missesNativeWindows) {
  using Kind = OverlayController::Status::Kind;
  switch (status.kind) {
    case Kind::protecting:
      return status.precise ? StatusLine{"Protecting WhatsApp", StatusSymbol::lock}
                            : StatusLine{"Protecting WhatsApp (layout mode)", StatusSymbol::lock};
    case Kind::waitingForWhatsApp:
      if (missesNativeWindows)
        return {
            "No WhatsApp window found. A WhatsApp running as a native Wayland window can't "
            "be seen: start it under XWayland (for example with --ozone-platform=x11).",
            StatusSymbol::hourglass};
      return {"Waiting for WhatsApp…", StatusSymbol::hourglass};
    case Kind::disabled:
      return {"Protection is off", StatusSymbol::eye};
    case Kind::unmeasured:
      return {"Couldn't measure WhatsApp — everything is blurred. Open Layout… to calibrate.",
              StatusSymbol::lock};
    case Kind::coveredByKey:
      return {"Everything is hidden — press the panic key again to show WhatsApp",
              StatusSymbol::lock};
    case Kind::coveredWhileAway:
      return {"Everything is hidden while you are away", StatusSymbol::lock};
    case Kind::unrecognised:
      return {"WhatsApp not recognised — blurring the calibrated areas", StatusSymbol::lock};
  }
  return {"Waiting for WhatsApp…", StatusSymbol::hourglass};
}

}  // namespace velvix::labels
