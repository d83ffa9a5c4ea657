#pragma once

// Velvix on an X display: the platform port over one X connection, the Qt event loop and real
// threads. The composition root asks for it first and falls back to the Simulator when there
// is no display:
//
//   QGuiApplication app(argc, argv);
//   if (auto desktop = velvix::x11::X11Desktop::connect()) { ... desktop->ports() ... }
//
// Accessibility on Linux (the AT-SPI bus) is not wired yet: the accessibility port reports no
// access, so the app runs in layout mode. Log lines go to standard error.
//
// Main thread only; create it after the QCoreApplication and destroy it before. What was made
// from it (the overlay panel above all, so the app's controller) must go before it does.

#include <Velvix/Platform/Accessibility.hpp>
#include <Velvix/Platform/Log.hpp>
#include <Velvix/Platform/Scheduler.hpp>
#include <Velvix/Platform/Toolkit.hpp>
#include <Velvix/Platform/WindowServer.hpp>
#include <Velvix/Platform/support/NoAccessibility.hpp>
#include <Velvix/Platform/support/StandardErrorLog.hpp>

#include <memory>

namespace velvix::qt {
class QtScheduler;
}

namespace velvix::x11 {

class X11Connection;
class X11WindowServer;
class X11Toolkit;
class X11Desktop {
 public:
  /// The desktop on $DISPLAY (or `displayName`); empty when no X server answers.
  [[nodiscard]] static std::unique_ptr<X11Desktop> connect(const char* displayName = nullptr);
  X11Desktop(const X11Desktop&) = delete;
  X11Desktop& operator=(const X11Desktop&) = delete;
  ~X11Desktop();

  [[nodiscard]] platform::Accessibility& accessibility() { return accessibility_; }
  [[nodiscard]] platform::WindowServer& windowServer();
  [[nodiscard]] platform::Toolkit& toolkit();
  [[nodiscard]] platform::Scheduler& scheduler();
  [[nodiscard]] platform::LogSink& log() { return log_; }

  /// The connection, for tests and tools that look at the display themselves.
  [[nodiscard]] X11Connection& connection() { return *connection_; }
  [[nodiscard]] X11Toolkit& x11Toolkit() { return *toolkit_; }

 private:
  explicit X11Desktop(std::unique_ptr<X11Connection> connection);
  struct EventPump;

  std::unique_ptr<X11Connection> connection_;
  std::unique_ptr<qt::QtScheduler> scheduler_;
  std::unique_ptr<X11WindowServer> windowServer_;
  std::unique_ptr<X11Toolkit> toolkit_;
  std::unique_ptr<EventPump> pump_;
  support::NoAccessibility accessibility_;
  support::StandardErrorLog log_;
};

}  // namespace velvix::x11
