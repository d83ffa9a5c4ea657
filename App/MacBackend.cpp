// Velvix on macOS (Backends/macOS), as the backend registry offers it.

#include "Backend.hpp"

#include <Backends/macOS/MacDesktop.hpp>

namespace velvix {

namespace {

class MacBackend final : public Backend {
 public:
  explicit MacBackend(std::unique_ptr<mac::MacDesktop> desktop) : desktop_(std::move(desktop)) {}
  OverlayPorts ports() override {
    return {desktop_->accessibility(), desktop_->windowServer(), desktop_->toolkit(),
            desktop_->scheduler(), desktop_->log()};
  }
  platform::Defaults& defaults() override { return desktop_->defaults(); }

 private:
  std::unique_ptr<mac::MacDesktop> desktop_;
};

}  // namespace

BackendEntry macOSBackend() {
  return {
      .name = "macos",
      .whyNot = &mac::MacDesktop::whyNot,
      .make = [](platform::LogSink&) -> std::unique_ptr<Backend> {
        return std::make_unique<MacBackend>(mac::MacDesktop::make());
      },
  };
}

}  // namespace velvix
