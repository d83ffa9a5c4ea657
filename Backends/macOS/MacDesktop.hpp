#pragma once

// Velvix on macOS: the six ports over the platform's own services, on Qt's event loop (which
// on the Mac is AppKit's). Create it on the main thread after the QApplication exists, and
// destroy it before; what was made from it (the overlay above all) must go first.
//
// Plain C++: the composition root includes it without Objective-C.

#include <Velvix/Platform/Accessibility.hpp>
#include <Velvix/Platform/Defaults.hpp>
#include <Velvix/Platform/Log.hpp>
#include <Velvix/Platform/Scheduler.hpp>
#include <Velvix/Platform/Toolkit.hpp>
#include <Velvix/Platform/WindowServer.hpp>

#include <memory>
#include <optional>
#include <string>

namespace velvix::mac {

class MacDesktop {
 public:
  /// Empty when this process has no window-server session to show an overlay in (run over ssh,
  /// for instance), with why in one sentence.
  [[nodiscard]] static std::optional<std::string> whyNot();
  [[nodiscard]] static std::unique_ptr<MacDesktop> make();
  MacDesktop(const MacDesktop&) = delete;
  MacDesktop& operator=(const MacDesktop&) = delete;
  ~MacDesktop();

  [[nodiscard]] platform::Accessibility& accessibility();
  [[nodiscard]] platform::WindowServer& windowServer();
  [[nodiscard]] platform::Toolkit& toolkit();
  [[nodiscard]] platform::Scheduler& scheduler();
  [[nodiscard]] platform::Defaults& defaults();
  [[nodiscard]] platform::LogSink& log();

 private:
  MacDesktop();
  struct Ports;
  std::unique_ptr<Ports> ports_;
};

}  // namespace velvix::mac
