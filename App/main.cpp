// The velvix executable: chooses the desktop to protect, then hands over to VelvixApp.
//
//   velvix                       the X display in $DISPLAY when there is one, otherwise the
//                                simulated desktop
//   velvix --simulated-desktop   the simulated desktop with its WhatsApp, in a window
//
// Without any display Qt cannot open a window at all; velvix says so and stops, rather than
// letting Qt abort.

#include "DesktopView.hpp"
#include "SimulatedDesktop.hpp"
#include "VelvixApp.hpp"

#include <Backends/Files/FileDefaults.hpp>
#include <Velvix/Platform/Log.hpp>
#include <Velvix/Platform/support/StandardErrorLog.hpp>

#if VELVIX_HAS_X11
#include <Backends/X11/X11Desktop.hpp>
#endif

#include <QtQml/qqmlextensionplugin.h>
#include <QApplication>
#include <QQuickWindow>
#include <QSGRendererInterface>
#include <QSystemTrayIcon>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>

Q_IMPORT_QML_PLUGIN(Velvix_UIPlugin)

namespace {

using namespace velvix;

/// The desktop Velvix runs on: its services and, when it is simulated, the scene to show.
struct Backend {
  std::function<OverlayPorts()> ports;
  DesktopScene* scene = nullptr;
  std::shared_ptr<void> keepAlive;
};

Backend simulated(platform::LogSink& log) {
  auto desktop = std::make_shared<SimulatedDesktop>(log);
  return {[desktop] { return desktop->ports(); }, desktop.get(), desktop};
}

#if VELVIX_HAS_X11
std::optional<Backend> x11Desktop() {
  std::shared_ptr<x11::X11Desktop> desktop = x11::X11Desktop::connect();
  if (!desktop) return std::nullopt;
  return Backend{[desktop] {
                   return OverlayPorts{desktop->accessibility(), desktop->windowServer(),
                                       desktop->toolkit(), desktop->scheduler(), desktop->log()};
                 },
                 nullptr, desktop};
}
#endif

bool hasDisplay() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    const char* value = std::getenv(name);
    if (value && *value) return true;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  bool wantsSimulated = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--simulated-desktop") {
      wantsSimulated = true;
    } else if (arg == "--help" || arg == "-h") {
      std::puts("usage: velvix [--simulated-desktop]");
      return 0;
    }
  }
  if (!hasDisplay()) {
    std::fputs(
        "velvix: no display to show Velvix on. Run it inside a desktop session, or try\n"
        "'scripts/velvix demo', which runs without one.\n",
        stderr);
    return 1;
  }

  // The panels are small forms: Qt Quick's software renderer draws them as fast as GL would,
  // and keeps the GL driver out of the process (with Mesa, some 65 MB of it resident).
  QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
  QApplication app(argc, argv);
  app.setApplicationName(QStringLiteral("Velvix"));
  // The tray icon, not a window, keeps Velvix running: closing a window does not quit.
  app.setQuitOnLastWindowClosed(false);

  support::StandardErrorLog log;
  std::optional<Backend> backend;
#if VELVIX_HAS_X11
  if (!wantsSimulated) backend = x11Desktop();
#else
  (void)wantsSimulated;  // without a real backend the simulated desktop is the only one
#endif
  if (!backend) backend = simulated(log);

  auto store = files::FileDefaults::forApplication(platform::kBundleIdentifier, log);
  auto velvix = std::make_unique<VelvixApp>(*store, backend->ports());
  QObject::connect(velvix.get(), &VelvixApp::quitRequested, &app, &QCoreApplication::quit);

  std::unique_ptr<DesktopView> view;
  if (backend->scene) {
    view = std::make_unique<DesktopView>(*backend->scene);
    // The simulated desktop is the world Velvix protects here; without it there is nothing
    // left to show.
    QObject::connect(view.get(), &DesktopView::closed, &app, &QCoreApplication::quit);
    view->show();
  }
  velvix->openInterface(QSystemTrayIcon::isSystemTrayAvailable() ? VelvixApp::Shell::trayIcon
                                                                 : VelvixApp::Shell::window);
  const int status = app.exec();
  // The overlay goes before the desktop whose services it holds.
  view.reset();
  velvix.reset();
  return status;
}
