// The velvix executable: chooses the desktop to protect, then hands over to VelvixApp.
//
//   velvix                        the first backend that can run here (see Backend.hpp)
//   velvix --backend NAME         that backend, or a sentence saying why it cannot run
//   velvix --simulated-desktop    the same as --backend simulated: a simulated desktop with its
//                                 WhatsApp, in a window of its own
//
// One runs per user session and backend: a second launch shows the running one's options and
// exits.
//
// VELVIX_BACKEND=NAME chooses as --backend does. When no backend can run, velvix says why in
// one sentence and exits with status 2, before Qt would abort for want of a display.

#include "Backend.hpp"
#include "ColorScheme.hpp"
#include "DesktopView.hpp"
#include "SingleInstance.hpp"
#include "VelvixApp.hpp"

#include <Velvix/Platform/Log.hpp>
#include <Velvix/Platform/support/StandardErrorLog.hpp>

#include <QtQml/qqmlextensionplugin.h>
#include <QApplication>
#include <QQuickWindow>
#include <QSGRendererInterface>
#include <QSystemTrayIcon>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

Q_IMPORT_QML_PLUGIN(Velvix_UIPlugin)

namespace {

using namespace velvix;

constexpr int kCannotRun = 2;

int fail(const std::string& sentence) {
  std::fprintf(stderr, "velvix: %s.\n", sentence.c_str());
  return kCannotRun;
}

}  // namespace

int main(int argc, char** argv) {
  // A write to a connection whose other end went (the X server's, a second launch's socket)
  // must fail with an error the code handles, not end the process with a signal.
  std::signal(SIGPIPE, SIG_IGN);
  std::optional<std::string> requested;
  if (const char* fromEnvironment = std::getenv("VELVIX_BACKEND");
      fromEnvironment && *fromEnvironment) {
    requested = fromEnvironment;
  }
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--simulated-desktop") {
      requested = "simulated";
    } else if (arg == "--backend" && i + 1 < argc) {
      requested = argv[++i];
    } else if (arg.starts_with("--backend=")) {
      requested = std::string(arg.substr(std::string_view("--backend=").size()));
    } else if (arg == "--help" || arg == "-h") {
      std::puts("usage: velvix [--backend NAME | --simulated-desktop]");
      return 0;
    }
  }

  const auto choice = chooseBackend(builtBackends(), requested);
  if (const auto* why = std::get_if<std::string>(&choice)) return fail(*why);
  const BackendEntry& entry = *std::get<const BackendEntry*>(choice);

  // The panels are small forms: Qt Quick's software renderer draws them as fast as GL would,
  // and keeps the GL driver out of the process (with Mesa, some 65 MB of it resident).
  QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
  // Velvix's own panels must live on the X server it protects on, also under a Wayland session
  // (where Qt would otherwise choose Wayland and place the panels where X cannot see them).
  if (entry.name == "x11" && !qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "xcb");
  QApplication app(argc, argv);
  app.setApplicationName(QStringLiteral("Velvix"));
  // The tray icon, not a window, keeps Velvix running: closing a window does not quit.
  app.setQuitOnLastWindowClosed(false);
  ColorSchemeFollower colorScheme;

  // One Velvix per session: a second launch shows the first one's options and goes.
  SingleInstance::Outcome claimed{};
  const auto instance =
      SingleInstance::claim(SingleInstance::keyFor(QString::fromUtf8(entry.name)), claimed);
  if (claimed == SingleInstance::Outcome::told) {
    std::fputs("velvix: Velvix is already running; its options are shown.\n", stderr);
    return 0;
  }
  if (claimed == SingleInstance::Outcome::unreached) {
    std::fputs("velvix: another Velvix is running but does not answer.\n", stderr);
    return 1;
  }

  support::StandardErrorLog log;
  std::unique_ptr<Backend> backend = entry.make(log);
  if (!backend) return fail("the " + std::string(entry.name) + " backend could not start");

  auto velvix = std::make_unique<VelvixApp>(backend->defaults(), backend->ports());
  QObject::connect(velvix.get(), &VelvixApp::quitRequested, &app, &QCoreApplication::quit);
  QObject::connect(instance.get(), &SingleInstance::anotherLaunch, velvix.get(),
                   &VelvixApp::showOptions);

  std::unique_ptr<DesktopView> view;
  if (DesktopScene* scene = backend->scene()) {
    view = std::make_unique<DesktopView>(*scene);
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
