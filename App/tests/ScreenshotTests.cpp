// The simulated desktop in both modes, for review: written to the build's screenshots folder on
// every run.

#include "SimulatedDesktop.hpp"
#include "VelvixApp.hpp"

#include <Simulator/LogCapture.hpp>
#include <Simulator/MemoryDefaults.hpp>

#include <gtest/gtest.h>

#include <QDir>
#include <QImage>

#include <chrono>

namespace velvix::test {
namespace {

using Status = OverlayController::Status;

TEST(Screenshots, SimulatedDesktop) {
  using namespace std::chrono_literals;
  sim::LogCapture log;
  SimulatedDesktop desktop(log);
  sim::MemoryDefaults defaults;
  VelvixApp app(defaults, desktop.ports());
  const QDir folder(QStringLiteral(VELVIX_SCREENSHOT_DIR));
  ASSERT_TRUE(folder.mkpath(QStringLiteral(".")));

  app.settings().setShowsGuides(true);
  desktop.advance(300ms);
  ASSERT_EQ(app.overlay().status(), Status::protecting(false));
  const QImage layoutMode = desktop.render();
  EXPECT_TRUE(layoutMode.save(folder.filePath(QStringLiteral("desktop-layout-mode.png"))));

  app.settings().setShowsGuides(false);
  desktop.ports().accessibility.promptForTrust();
  desktop.advance(1s);
  ASSERT_EQ(app.overlay().status(), Status::protecting(true));
  const QImage precise = desktop.render();
  EXPECT_TRUE(precise.save(folder.filePath(QStringLiteral("desktop-precise.png"))));
  EXPECT_NE(layoutMode, precise);
}

}  // namespace
}  // namespace velvix::test
