#include "WhatsAppWindow.hpp"

#include <algorithm>
#include <ostream>

namespace velvix {

namespace {
constexpr std::string_view kOwnerName = "WhatsApp";
constexpr double kMinimumExtent = 300;
}  // namespace

bool WhatsAppWindow::isWhatsAppBundle(std::string_view bundleIdentifier) {
  return std::find(bundleIdentifiers.begin(), bundleIdentifiers.end(), bundleIdentifier) !=
         bundleIdentifiers.end();
}

std::int32_t WhatsAppWindow::dockLayer(const platform::WindowServer& server) {
  return server.windowLevel(platform::WindowLevelKey::dock);
}

std::optional<WhatsAppWindow> WhatsAppWindow::current(const platform::WindowServer& server,
                                                      Point mouse) {
  const auto entries = server.onScreenWindows();
  if (!entries) return std::nullopt;

  const std::int32_t ownPid = server.ownProcessId();
  const std::int32_t dock = dockLayer(server);
  bool covered = false;
  std::optional<std::uint32_t> previous;
  std::optional<WhatsAppWindow> best;
  double bestArea = 0;

  for (const platform::WindowEntry& entry : *entries) {
    const std::uint32_t number = entry.number.asUInt32().value_or(0);
    const auto pid = entry.ownerPID.asInt32();
    const auto bounds = entry.bounds.asRect();
    if (pid && bounds) {
      const std::string* name = entry.ownerName.asString();
      bool isWhatsApp = name && *name == kOwnerName;
      if (!isWhatsApp) {
        // Only windows whose owner name does not say WhatsApp need the registry lookup.
        const auto app = server.runningApplication(*pid);
        isWhatsApp = app && app->bundleIdentifier && isWhatsAppBundle(*app->bundleIdentifier);
      }
      const auto layer = entry.layer.asInteger();
      if (isWhatsApp && layer == 0 && bounds->width() > kMinimumExtent &&
          bounds->height() > kMinimumExtent) {
        const double area = bounds->width() * bounds->height();
        // Strictly larger replaces, so of equal areas the entry further in front stays.
        if (best ? bestArea < area : area > 0) {
          best =
              WhatsAppWindow{number, *pid, *bounds, previous, bounds->contains(mouse) && !covered};
          bestArea = area;
        }
      } else if (!isWhatsApp && *pid != ownPid) {
        const bool isVisible = entry.alpha.asDouble().value_or(1) > 0;
        const std::int64_t level = layer.value_or(0);
        if (isVisible && level >= 0 && level < dock && bounds->contains(mouse)) covered = true;
      }
    }
    previous = number;
  }
  return best;
}

Rect flippedForScreen(const Rect& rect, const platform::WindowServer& server) {
  return platform::screenFlip(server).map(rect);
}

std::ostream& operator<<(std::ostream& os, const WhatsAppWindow& window) {
  os << "{id " << window.id << ", pid " << window.pid << ", frame " << window.frame << ", above ";
  if (window.windowAbove)
    os << *window.windowAbove;
  else
    os << "none";
  return os << ", under mouse " << (window.isUnderMouse ? "true" : "false") << '}';
}

}  // namespace velvix
