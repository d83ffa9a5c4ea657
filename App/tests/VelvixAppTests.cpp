#include "DesktopView.hpp"
#include "OptionsForm.hpp"
#include "SimulatedDesktop.hpp"
#include "UiHarness.hpp"
#include "VelvixApp.hpp"

#include <Simulator/LogCapture.hpp>
#include <Simulator/MemoryDefaults.hpp>

#include <gtest/gtest.h>

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTest>

#include <chrono>

namespace velvix::test {
namespace {

using namespace std::chrono_literals;
using Status = OverlayController::Status;

class App : public ::testing::Test {
 protected:
  sim::LogCapture log;
  SimulatedDesktop desktop{log};
  sim::MemoryDefaults defaults;
};

int visibleWindows() {
  int count = 0;
  for (const QWindow* window : QGuiApplication::topLevelWindows())
    count += window->isVisible();
  return count;
}

TEST_F(App, ProtectsFromLaunchBeforeAnyWindowOpensAsTheStoredSettingsSay) {
  const int before = visibleWindows();
  {
    VelvixApp app(defaults, desktop.ports());
    EXPECT_EQ(visibleWindows(), before) << "no window of its own yet";
    EXPECT_FALSE(app.optionsWindow());
    desktop.advance(200ms);
    EXPECT_EQ(app.overlay().status(), Status::protecting(false)) << "layout mode: no access yet";
    ASSERT_TRUE(desktop.desktop().toolkit().panel());
    EXPECT_TRUE(desktop.desktop().toolkit().panel()->isVisible());
  }
  defaults.setBool("onOff", false);
  VelvixApp app(defaults, desktop.ports());
  desktop.advance(200ms);
  EXPECT_EQ(app.overlay().status(), Status::disabled());
}

// The window stays open all day: it is a plain Widgets one, without the memory of a QML scene.
TEST_F(App, WithoutATrayTheOptionsAreAWindowOpenFromTheStart) {
  VelvixApp app(defaults, desktop.ports());
  QSignalSpy quit(&app, &VelvixApp::quitRequested);
  app.openInterface(VelvixApp::Shell::window);
  ASSERT_TRUE(app.optionsForm());
  EXPECT_TRUE(app.optionsForm()->isVisible());
  EXPECT_FALSE(app.optionsForm()->windowFlags().testFlag(Qt::Popup));
  EXPECT_FALSE(app.trayIcon());
  for (QWindow* window : QGuiApplication::topLevelWindows())
    EXPECT_FALSE(qobject_cast<QQuickWindow*>(window)) << "no Qt Quick window";

  // Put away (not closed), it comes back when another launch asks for the options.
  app.optionsForm()->hide();
  app.showOptions();
  EXPECT_TRUE(app.optionsForm()->isVisible());
  EXPECT_EQ(quit.count(), 0);

  // It is the only way to the options: closing it ends the app rather than orphaning it.
  app.optionsForm()->close();
  settle();
  EXPECT_EQ(quit.count(), 1);
}

TEST_F(App, TheTrayIconFollowsTheMainSwitch) {
  VelvixApp app(defaults, desktop.ports());
  app.openInterface(VelvixApp::Shell::trayIcon);
  ASSERT_TRUE(app.trayIcon());
  EXPECT_FALSE(app.optionsWindow()) << "the panel waits for a click on the icon";

  const auto maxAlpha = [&] {
    const QImage image = app.trayIcon()->icon().pixmap(QSize(18, 18)).toImage();
    int alpha = 0;
    for (int y = 0; y < image.height(); ++y) {
      for (int x = 0; x < image.width(); ++x)
        alpha = std::max(alpha, qAlpha(image.pixel(x, y)));
    }
    return alpha;
  };
  EXPECT_EQ(maxAlpha(), 255);
  app.settings().setIsEnabled(false);
  EXPECT_NEAR(maxAlpha(), 0.4 * 255, 2);
  app.settings().setIsEnabled(true);
  EXPECT_EQ(maxAlpha(), 255) << "full opacity again without a restart";
}

// The panel drops from a plain click on the icon and goes as a popup does: on another click on
// the icon, on a click outside it, on Escape, and when "Layout…" opens the calibration window
// it would cover.
TEST_F(App, TheTrayIconDropsThePanelWhichGoesAwayAsAPopupDoes) {
  VelvixApp app(defaults, desktop.ports());
  app.openInterface(VelvixApp::Shell::trayIcon);
  emit app.trayIcon()->activated(QSystemTrayIcon::Context);
  EXPECT_FALSE(app.optionsWindow()) << "only a plain click drops the panel";

  // This tray does not say where its icon is: the pointer stands for it, here in a bottom
  // panel, so the panel goes above it and its bottom edge must meet it once the panel has
  // taken its height, which it does only after being made and laid out.
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  const QPoint icon(screen.x() + screen.width() - 20, screen.y() + screen.height() - 10);
  const auto drop = [&] {
    QCursor::setPos(icon);
    emit app.trayIcon()->activated(QSystemTrayIcon::Trigger);
    settle();
    return app.optionsWindow() && app.optionsWindow()->isVisible();
  };
  const auto clickAt = [&](QPoint where) {
    QCursor::setPos(where);
    desktop.desktop().toolkit().click();
    desktop.advance(1ms);
    settle();
  };
  ASSERT_TRUE(drop());
  QQuickWindow& panel = *app.optionsWindow();
  EXPECT_EQ(panel.y() + panel.height(), QCursor::pos().y());
  EXPECT_TRUE(panel.flags().testFlag(Qt::Tool));
  EXPECT_TRUE(panel.flags().testFlag(Qt::FramelessWindowHint));
  EXPECT_EQ(panel.width(), 283);
  EXPECT_FALSE(drop()) << "the next click on the icon puts it away";

  desktop.advance(300ms);
  ASSERT_TRUE(drop());
  clickAt(panel.geometry().center());
  EXPECT_TRUE(panel.isVisible()) << "a click inside";
  clickAt(screen.topLeft() + QPoint(50, 50));
  EXPECT_FALSE(panel.isVisible()) << "a click outside";
  EXPECT_FALSE(drop()) << "a click on the icon that put it away is not another one";

  desktop.advance(300ms);
  ASSERT_TRUE(drop()) << "dropped again at the next click on the icon";
  QTest::keyClick(&panel, Qt::Key_Escape);
  settle();
  EXPECT_FALSE(panel.isVisible()) << "Escape";

  ASSERT_TRUE(drop());
  click(*find(panel, "layout"));
  EXPECT_FALSE(panel.isVisible()) << "Layout…";
  ASSERT_TRUE(app.calibrationWindow());
  EXPECT_TRUE(app.calibrationWindow()->isVisible());
}

TEST_F(App, LayoutOpensOneCalibrationWindowAndQuitAsksToQuit) {
  VelvixApp app(defaults, desktop.ports());
  QSignalSpy quit(&app, &VelvixApp::quitRequested);
  app.openInterface(VelvixApp::Shell::window);
  OptionsForm& options = *app.optionsForm();
  settle();

  click(*find(options, "layout"));
  QQuickWindow* calibration = app.calibrationWindow();
  ASSERT_TRUE(calibration);
  EXPECT_TRUE(calibration->isVisible());
  EXPECT_EQ(calibration->title(), "Velvix Layout");

  calibration->close();
  settle();
  click(*find(options, "layout"));
  EXPECT_EQ(app.calibrationWindow(), calibration) << "reopened, not duplicated";
  EXPECT_TRUE(calibration->isVisible());
  EXPECT_EQ(quit.count(), 0);

  click(*find(options, "quit"));
  EXPECT_EQ(quit.count(), 1);
}

TEST(PanelPosition, DropsBelowTheIconAndStaysOnScreen) {
  const QRect screen(0, 0, 1000, 700);
  const QSize panel(283, 400);
  const struct {
    const char* name;
    QRect anchor;
    QPoint expected;
  } cases[] = {
      {"centred below a top tray icon", QRect(500, 0, 20, 24), QPoint(510 - 141, 24)},
      {"kept inside the right edge", QRect(980, 0, 20, 24), QPoint(1000 - 283, 24)},
      {"kept inside the left edge", QRect(0, 0, 20, 24), QPoint(0, 24)},
      {"above an icon in a bottom panel", QRect(500, 676, 20, 24), QPoint(510 - 141, 276)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(VelvixApp::panelPosition(c.anchor, panel, screen), c.expected);
  }
}

TEST_F(App, FrostedGlassCoversWhatTheOverlayBlursOnTheSimulatedDesktop) {
  VelvixApp app(defaults, desktop.ports());
  desktop.advance(200ms);
  const QImage protectedImage = desktop.render();
  ASSERT_EQ(protectedImage.size(), desktop.size());

  app.settings().setIsEnabled(false);
  desktop.advance(100ms);
  const QImage plain = desktop.render();

  const auto views = desktop.desktop().toolkit().blurViews();
  ASSERT_FALSE(views.empty());
  ASSERT_TRUE(desktop.desktop().toolkit().panel());
  // Compare where a patch lay: glass there, WhatsApp's own pixels without protection. The
  // panel lies over the window, which is drawn a margin in from the image's corner.
  int changed = 0;
  int total = 0;
  for (const auto& view : views) {
    if (view.isHidden) continue;
    const Rect r =
        view.frame.offsetBy(SimulatedDesktop::kMargin, SimulatedDesktop::kMargin).insetBy(12, 12);
    for (int y = static_cast<int>(r.minY()); y < r.maxY(); y += 3) {
      for (int x = static_cast<int>(r.minX()); x < r.maxX(); x += 3) {
        ++total;
        changed += protectedImage.pixel(x, y) != plain.pixel(x, y);
      }
    }
  }
  ASSERT_GT(total, 0);
  EXPECT_GT(changed, total / 2);
  // Outside WhatsApp's window nothing is covered.
  EXPECT_EQ(protectedImage.pixel(10, 10), plain.pixel(10, 10));
}

TEST_F(App, TheSimulatedGrantPromptStandsForTheUserGrantingAccess) {
  VelvixApp app(defaults, desktop.ports());
  desktop.advance(100ms);
  EXPECT_FALSE(app.overlay().hasAccessibilityAccess());
  desktop.ports().accessibility.promptForTrust();
  desktop.advance(1s);
  EXPECT_TRUE(app.overlay().hasAccessibilityAccess());
  EXPECT_EQ(app.overlay().status(), Status::protecting(true)) << "precise once WhatsApp is read";
}

TEST_F(App, TheDesktopViewMapsTheWindowOntoTheDesktopKeepingItsShape) {
  DesktopView view(desktop);
  ASSERT_EQ(desktop.size(), QSize(1280, 880));  // the sample's window and its margin
  view.resize(640, 600);  // half the width; 160 to spare in height, split above and below
  const struct {
    const char* name;
    QPointF widget;
    std::optional<QPointF> expected;
  } cases[] = {
      {"top-left of the drawn desktop", QPointF(0, 80), QPointF(0, 0)},
      {"scaled by two", QPointF(320, 300), QPointF(640, 440)},
      {"in the bar above the desktop", QPointF(320, 10), std::nullopt},
      {"in the bar below the desktop", QPointF(320, 590), std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(view.desktopPoint(c.widget), c.expected);
  }
}

}  // namespace
}  // namespace velvix::test
