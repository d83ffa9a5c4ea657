// The backends built into this program, in the order they are tried: the one place that knows
// which exist.

#include "Backend.hpp"
#include "SimulatedDesktop.hpp"

#include <Backends/Files/FileDefaults.hpp>

#include <cstdlib>

namespace velvix {

#if VELVIX_HAS_MACOS
BackendEntry macOSBackend();
#endif
#if VELVIX_HAS_X11
BackendEntry x11Backend();
#endif

namespace {

// The simulated desktop in a window, keeping the settings in the user's configuration folder.
class SimulatedBackend final : public Backend {
 public:
  explicit SimulatedBackend(platform::LogSink& log)
      : desktop_(log),
        defaults_(files::FileDefaults::forApplication(platform::kBundleIdentifier, log)) {}
  OverlayPorts ports() override { return desktop_.ports(); }
  platform::Defaults& defaults() override { return *defaults_; }
  DesktopScene* scene() override { return &desktop_; }

 private:
  SimulatedDesktop desktop_;
  std::unique_ptr<files::FileDefaults> defaults_;
};

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
        return std::make_unique<SimulatedBackend>(log);
      },
      .onlyWhenAsked = true,
  };
}

}  // namespace

std::span<const BackendEntry> builtBackends() {
  static const BackendEntry entries[] = {
#if VELVIX_HAS_MACOS
    macOSBackend(),
#endif
#if VELVIX_HAS_X11
    x11Backend(),
#endif
    simulatedBackend(),
  };
  return entries;
}

}  // namespace velvix
