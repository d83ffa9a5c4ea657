// The macOS backend against the real system, on a Mac (type-checked elsewhere). Tests that need
// the Accessibility permission skip, saying so, when the process is not trusted.

#include <Backends/macOS/MacAccessibility.hpp>
#include <Backends/macOS/MacDefaults.hpp>
#include <Backends/macOS/MacDesktop.hpp>
#include <Backends/macOS/MacDisplayRefresh.hpp>
#include <Backends/macOS/MacLog.hpp>
#include <Backends/macOS/MacToolkit.hpp>
#include <Backends/macOS/MacWindowServer.hpp>

#import <AppKit/AppKit.h>

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <string>

namespace velvix::mac {
namespace {

// Runs the main run loop until `done` or `seconds` have passed.
bool spinUntil(const std::function<bool()>& done, double seconds = 2) {
  NSDate* deadline = [NSDate dateWithTimeIntervalSinceNow:seconds];
  while (!done() && [deadline timeIntervalSinceNow] > 0) {
    [NSRunLoop.mainRunLoop runMode:NSDefaultRunLoopMode
                        beforeDate:[NSDate dateWithTimeIntervalSinceNow:0.01]];
  }
  return done();
}

TEST(MacBackend, DefaultsKeepTheKindsApart) {
  MacDefaults defaults;
  const std::string key = "velvix.test." + std::to_string(getpid());
  defaults.setBool(key, true);
  EXPECT_EQ(defaults.object(key), platform::Defaults::Value(true));
  defaults.setBytes(key, "{\"railWidth\":68}");
  EXPECT_EQ(defaults.object(key),
            platform::Defaults::Value(platform::Defaults::Bytes{"{\"railWidth\":68}"}));
  [NSUserDefaults.standardUserDefaults setInteger:1 forKey:@(key.c_str())];
  EXPECT_TRUE(std::holds_alternative<platform::Defaults::Other>(defaults.object(key)));
  defaults.remove(key);
  EXPECT_EQ(defaults.object(key), platform::Defaults::Value(std::monostate{}));
}

TEST(MacBackend, TheWindowServerSeesThisProcessAndTheScreens) {
  MacWindowServer server;
  EXPECT_EQ(server.ownProcessId(), getpid());
  EXPECT_FALSE(server.screens().empty());
  EXPECT_EQ(server.windowLevel(platform::WindowLevelKey::normal), 0);
  EXPECT_GT(server.windowLevel(platform::WindowLevelKey::dock),
            server.windowLevel(platform::WindowLevelKey::floating));
  EXPECT_TRUE(server.onScreenWindows().has_value());
  ASSERT_TRUE(server.runningApplication(getpid()));
  EXPECT_FALSE(server.runningApplication(getpid())->isTerminated);
  EXPECT_FALSE(server.runningApplications("com.apple.finder").empty());
}

TEST(MacBackend, ThePanelIsAClickThroughOverlayOnEverySpace) {
  [NSApplication sharedApplication];
  MacToolkit toolkit;
  auto panel = toolkit.makeOverlayPanel();
  panel->setFrame(Rect(100, 100, 400, 300));
  panel->orderFrontRegardless();
  EXPECT_TRUE(panel->isVisible());
  EXPECT_EQ(panel->frame(), Rect(100, 100, 400, 300));
  auto view = panel->addBlurView();
  view->setFrame(Rect(10, 20, 100, 40));
  view->setMask(Shape::circle);
  EXPECT_EQ(view->frame(), Rect(10, 20, 100, 40));
  EXPECT_EQ(view->mask(), Shape::circle);
  panel->setLevel(platform::kFloatingWindowLevel);
  EXPECT_EQ(panel->level(), platform::kFloatingWindowLevel);
  panel->orderOut();
  EXPECT_FALSE(panel->isVisible());
}

TEST(MacBackend, TheDisplayLinkRefreshes) {
  [NSApplication sharedApplication];
  MacDisplayRefresh refresh;
  EXPECT_GT(refresh.period(), std::chrono::milliseconds(1));
  int refreshes = 0;
  refresh.start([&] { ++refreshes; });
  EXPECT_TRUE(spinUntil([&] { return refreshes >= 3; }));
  refresh.stop();
}

TEST(MacBackend, LogLinesGoToTheUnifiedLog) {
  MacLog log;
  log.write({.subsystem = "app.velvix.Velvix",
             .category = "window",
             .level = platform::LogLevel::standard,
             .format = "WhatsApp window left the screen",
             .text = "WhatsApp window left the screen"});
  SUCCEED() << "read back with: log show --predicate 'subsystem == \"app.velvix.Velvix\"'";
}

TEST(MacBackend, ReadsThisProcessesOwnWindowWithTheGrant) {
  MacAccessibility accessibility;
  if (!accessibility.isProcessTrusted()) {
    GTEST_SKIP() << "this process is not trusted for Accessibility (System Settings > Privacy & "
                    "Security > Accessibility)";
  }
  [NSApplication sharedApplication];
  NSWindow* window = [[NSWindow alloc] initWithContentRect:NSMakeRect(200, 200, 320, 240)
                                                 styleMask:NSWindowStyleMaskTitled
                                                   backing:NSBackingStoreBuffered
                                                     defer:NO];
  window.title = @"Velvix test";
  [window orderFrontRegardless];
  const platform::Element app = accessibility.applicationElement(getpid());
  EXPECT_EQ(accessibility.setMessagingTimeout(app, 0.25), platform::Error::success);
  std::optional<platform::AttributeResult> windows;
  spinUntil([&] {
    windows = accessibility.copyAttributeValue(app, platform::Attribute::windows);
    return windows->get() && windows->get()->elements() && !windows->get()->elements()->empty();
  });
  ASSERT_TRUE(windows && windows->get() && windows->get()->elements());
  const auto role = accessibility.copyAttributeValue(windows->get()->elements()->front(),
                                                     platform::Attribute::role);
  ASSERT_TRUE(role.get() && role.get()->string());
  EXPECT_EQ(*role.get()->string(), "AXWindow");
  [window close];
}

}  // namespace
}  // namespace velvix::mac
