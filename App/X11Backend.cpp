// Velvix on an X display (Backends/X11), as the backend registry offers it.

#include "Backend.hpp"

#include <Backends/Files/FileDefaults.hpp>
#include <Backends/X11/X11Connection.hpp>
#include <Backends/X11/X11Desktop.hpp>

#include <cstdlib>

namespace velvix {

namespace {

class X11Backend final : public Backend {
 public:
  explicit X11Backend(std::unique_ptr<x11::X11Desktop> desktop)
      : desktop_(std::move(desktop)),
        defaults_(
            files::FileDefaults::forApplication(platform::kBundleIdentifier, desktop_->log())) {}
  OverlayPorts ports() override {
    return {desktop_->accessibility(), desktop_->windowServer(), desktop_->toolkit(),
            desktop_->scheduler(), desktop_->log()};
  }
  platform::Defaults& defaults() override { return *defaults_; }

 private:
  std::unique_ptr<x11::X11Desktop> desktop_;
  std::unique_ptr<files::FileDefaults> defaults_;
};

std::optional<std::string> whyX11CannotRun() {
  const char* display = std::getenv("DISPLAY");
  if (!display || !*display) {
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if (wayland && *wayland) {
      return "this Wayland session has no X server (XWayland), so Velvix can neither see "
             "WhatsApp's window nor lay its overlay over it";
    }
    return "there is no X display to protect WhatsApp on ($DISPLAY is not set)";
  }
  if (!x11::X11Connection::open(display)) {
    return "the X display \"" + std::string(display) + "\" does not answer";
  }
  return std::nullopt;
}

}  // namespace

BackendEntry x11Backend() {
  return {
      .name = "x11",
      .whyNot = &whyX11CannotRun,
      .make = [](platform::LogSink&) -> std::unique_ptr<Backend> {
        auto desktop = x11::X11Desktop::connect();
        if (!desktop) return nullptr;
        return std::make_unique<X11Backend>(std::move(desktop));
      },
  };
}

}  // namespace velvix
