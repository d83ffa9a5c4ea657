// The backends built into this program, in the order they are tried: the one place that knows
// which exist.

#include "Backend.hpp"
#include "SimulatedDesktop.hpp"

#include <cstdlib>

namespace velvix {

#if VELVIX_HAS_X11
BackendEntry x11Backend();
#endif

namespace {

bool isSet(const char* variable) {
  const char* value = std::getenv(variable);
  return value && *value;
}

BackendEntry simulatedBackend() {
  return {
      .name = "simulated",
      .whyNot = []() -> std::optional<std::string> {
        if (isSet("DISPLAY") || isSet("WAYLAND_DISPLAY") || isSet("QT_QPA_PLATFORM")) {
          return std::nullopt;
        }
        return "there is no display to show the simulated desktop on";
      },
      .make = [](platform::LogSink& log) -> std::unique_ptr<Backend> {
        return std::make_unique<SimulatedDesktop>(log);
      },
      .onlyWhenAsked = true,
  };
}

}  // namespace

std::span<const BackendEntry> builtBackends() {
  static const BackendEntry entries[] = {
#if VELVIX_HAS_X11
      x11Backend(),
#endif
      simulatedBackend(),
  };
  return entries;
}

}  // namespace velvix
