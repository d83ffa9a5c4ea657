#include <Velvix/WhatsAppWindow.hpp>

#include <Simulator/Desktop.hpp>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace velvix {
namespace {

using sim::EntryField;
using sim::WindowSpec;

constexpr std::int32_t kWhatsApp = 42;
constexpr std::int32_t kOther = 77;
constexpr std::int32_t kSelf = 500;  // the Simulator's own process id

WindowSpec whatsApp(std::uint32_t number, Rect bounds) {
  return {.number = number, .pid = kWhatsApp, .ownerName = "WhatsApp", .bounds = bounds};
}

WindowSpec other(std::uint32_t number, Rect bounds) {
  return {.number = number, .pid = kOther, .ownerName = "Notes", .bounds = bounds};
}

template <typename Change>
WindowSpec with(WindowSpec definition, Change change) {
  change(definition);
  return definition;
}

const Rect kMain(100, 100, 800, 600);
const Point kInside{500, 400};

TEST(WhatsAppWindow, ChoosesTheLargestNormalWindowOfWhatsApp) {
  const struct {
    const char* name;
    std::vector<WindowSpec> windows;  // front to back
    std::optional<std::uint32_t> expectedId;
  } cases[] = {
      {"no WhatsApp window", {other(1, kMain)}, std::nullopt},
      {"300 points wide is too small", {whatsApp(1, Rect(0, 0, 300, 600))}, std::nullopt},
      {"300 points tall is too small", {whatsApp(1, Rect(0, 0, 600, 300))}, std::nullopt},
      {"301 by 301 qualifies", {whatsApp(1, Rect(0, 0, 301, 301))}, 1},
      {"a negative width counts by its extent", {whatsApp(1, Rect(900, 0, -800, 600))}, 1},
      {"a large window at another layer is never chosen",
       {with(whatsApp(1, Rect(0, 0, 3000, 2000)), [](auto& w) { w.layer = 3; }),
        whatsApp(2, kMain)},
       2},
      {"a layer of 0.0 is the integer 0",
       {with(whatsApp(1, kMain), [](auto& w) { w.rawLayer = EntryField(0.0); })},
       1},
      {"a missing layer is not layer 0",
       {with(whatsApp(1, kMain), [](auto& w) { w.rawLayer = EntryField::missing(); })},
       std::nullopt},
      {"the larger of two wins even behind",
       {whatsApp(1, Rect(0, 0, 400, 400)), whatsApp(2, kMain)},
       2},
      {"of two equal areas the front one wins",
       {whatsApp(1, Rect(0, 0, 600, 800)), whatsApp(2, kMain)},
       1},
      {"a process id that is no 32-bit integer skips the entry",
       {with(whatsApp(1, kMain), [](auto& w) { w.rawPID = EntryField(std::int64_t{1} << 31); })},
       std::nullopt},
      {"a fractional process id skips the entry",
       {with(whatsApp(1, kMain), [](auto& w) { w.rawPID = EntryField(42.5); })},
       std::nullopt},
      {"bounds that are no rectangle skip the entry",
       {with(whatsApp(1, kMain), [](auto& w) { w.rawBounds = EntryField("100,100"); })},
       std::nullopt},
      {"a missing window number reads as 0",
       {with(whatsApp(1, kMain), [](auto& w) { w.rawNumber = EntryField::missing(); })},
       0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    sim::Desktop desktop;
    auto& server = desktop.windowServer();
    for (const auto& w : c.windows)
      server.addWindow(w);
    const auto found = WhatsAppWindow::current(server, kInside);
    EXPECT_EQ(found ? std::optional(found->id) : std::nullopt, c.expectedId);
  }
}

TEST(WhatsAppWindow, ReportsItsFieldsAndTheEntryDirectlyInFront) {
  const struct {
    const char* name;
    std::vector<WindowSpec> windows;
    std::optional<std::uint32_t> expectedAbove;
  } cases[] = {
      {"frontmost", {whatsApp(5, kMain), other(6, kMain)}, std::nullopt},
      {"behind another window", {other(6, Rect(0, 0, 10, 10)), whatsApp(5, kMain)}, 6},
      {"behind an entry skipped for lacking a process id",
       {other(6, Rect(0, 0, 10, 10)),
        with(other(7, Rect(0, 0, 10, 10)), [](auto& w) { w.rawPID = EntryField::missing(); }),
        whatsApp(5, kMain)},
       7},
      {"behind an entry skipped for lacking bounds",
       {with(other(8, kMain), [](auto& w) { w.rawBounds = EntryField::missing(); }),
        whatsApp(5, kMain)},
       8},
      {"behind a small WhatsApp panel", {whatsApp(9, Rect(0, 0, 200, 200)), whatsApp(5, kMain)}, 9},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    sim::Desktop desktop;
    auto& server = desktop.windowServer();
    for (const auto& w : c.windows)
      server.addWindow(w);
    const auto found = WhatsAppWindow::current(server, Point{0, 0});
    ASSERT_TRUE(found);
    EXPECT_EQ(*found, (WhatsAppWindow{5, kWhatsApp, kMain, c.expectedAbove, false}));
  }
}

TEST(WhatsAppWindow, OnlyVisibleWindowsOfOtherAppsBetweenTheLayersCoverThePointer) {
  const struct {
    const char* name;
    Point mouse;
    bool expectedUnderMouse;
  } pointers[] = {
      {"inside", kInside, true},
      {"outside the window", Point{50, 50}, false},
      {"on the minimum edges is inside", Point{100, 100}, true},
      {"on the maximum edge is outside", Point{900, 400}, false},
  };
  for (const auto& c : pointers) {
    SCOPED_TRACE(c.name);
    sim::Desktop desktop;
    desktop.windowServer().addWindow(whatsApp(1, kMain));
    const auto found = WhatsAppWindow::current(desktop.windowServer(), c.mouse);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->isUnderMouse, c.expectedUnderMouse);
  }

  // Another window holding the pointer, in front of WhatsApp unless said otherwise.
  const struct {
    const char* name;
    std::function<void(WindowSpec&)> change;
    bool expectedUnderMouse;
    bool behind = false;
  } covers[] = {
      {"another app's window in front", [](auto&) {}, false},
      {"another app's window in front elsewhere",
       [](auto& w) {
         w.bounds = {0, 0, 50, 50};
       },
       true},
      {"another app's window behind", [](auto&) {}, true, true},
      {"a window of this process (the overlay)", [](auto& w) { w.pid = kSelf; }, true},
      {"a fully transparent window", [](auto& w) { w.alpha = 0; }, true},
      {"a window without alpha counts as visible",
       [](auto& w) { w.rawAlpha = EntryField::missing(); }, false},
      {"an alpha that is no number counts as visible",
       [](auto& w) { w.rawAlpha = EntryField("1"); }, false},
      {"a window at the Dock's level", [](auto& w) { w.layer = 20; }, true},
      {"a menu above the Dock's level", [](auto& w) { w.layer = 101; }, true},
      {"a floating window below the Dock's level", [](auto& w) { w.layer = 3; }, false},
      {"a window at a negative layer", [](auto& w) { w.layer = -1; }, true},
      {"a window without a layer counts as layer 0",
       [](auto& w) { w.rawLayer = EntryField::missing(); }, false},
      {"a small WhatsApp panel never covers", [](auto& w) { w = whatsApp(2, w.bounds); }, true},
      {"a covering window without a process id is skipped",
       [](auto& w) { w.rawPID = EntryField::missing(); }, true},
  };
  for (const auto& c : covers) {
    SCOPED_TRACE(c.name);
    sim::Desktop desktop;
    auto& server = desktop.windowServer();
    if (!c.behind) server.addWindow(with(other(2, Rect(400, 300, 200, 200)), c.change));
    server.addWindow(whatsApp(1, kMain));
    if (c.behind) server.addWindow(with(other(2, Rect(400, 300, 200, 200)), c.change));
    const auto found = WhatsAppWindow::current(server, kInside);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->isUnderMouse, c.expectedUnderMouse);
  }
}

TEST(WhatsAppWindow, TheOverlayPanelInFrontDoesNotCoverThePointer) {
  sim::Desktop desktop;
  auto& server = desktop.windowServer();
  server.addWindow(whatsApp(1, kMain));
  auto panel = desktop.toolkit().makeOverlayPanel();
  panel->setFrame(flippedForScreen(kMain, server));
  panel->orderAbove(1);
  const auto found = WhatsAppWindow::current(server, kInside);
  ASSERT_TRUE(found);
  EXPECT_TRUE(found->isUnderMouse);
  EXPECT_EQ(found->windowAbove, static_cast<std::uint32_t>(panel->windowNumber()));
}

TEST(WhatsAppWindow, RecognisesWhatsAppByBundleIdentifierOnlyWhenTheNameDoesNotSaySo) {
  sim::Desktop desktop;
  auto& server = desktop.windowServer();
  server.addApplication({.pid = 43, .bundleIdentifier = "desktop.WhatsApp"});
  server.addApplication({.pid = kOther, .bundleIdentifier = "com.apple.Notes"});
  server.addWindow(other(2, Rect(0, 0, 50, 50)));
  server.addWindow({.number = 3, .pid = 43, .ownerName = "WhatsApp Beta", .bounds = kMain});
  server.addWindow(whatsApp(4, Rect(0, 0, 400, 400)));

  const auto found = WhatsAppWindow::current(server, kInside);
  ASSERT_TRUE(found);
  EXPECT_EQ(found->id, 3u);
  EXPECT_EQ(found->pid, 43);
  // Window 2 (Notes) and window 3 need the lookup; window 4 is named WhatsApp.
  EXPECT_EQ(server.applicationLookups(), 2);
  for (const char* id : {"net.whatsapp.WhatsApp", "desktop.WhatsApp"})
    EXPECT_TRUE(WhatsAppWindow::isWhatsAppBundle(id)) << id;
  for (const char* id : {"net.whatsapp.whatsapp", ""})
    EXPECT_FALSE(WhatsAppWindow::isWhatsAppBundle(id)) << id;
  server.setWindowListUnavailable(true);
  EXPECT_FALSE(WhatsAppWindow::current(server, kInside)) << "no window list, no window";
}

TEST(FlippedForScreen, MeasuresAgainstTheFirstScreenAndIsItsOwnInverse) {
  const struct {
    const char* name;
    std::vector<Rect> screens;
    Rect input;
    Rect expected;
  } cases[] = {
      {"no screens: H is 0", {}, Rect(10, 20, 300, 400), Rect(10, -420, 300, 400)},
      {"the first screen's height counts, not the tallest",
       {Rect(0, 0, 1440, 900), Rect(1440, 0, 2560, 1440)},
       Rect(10, 20, 300, 400),
       Rect(10, 480, 300, 400)},
      {"a screen below the origin still gives its height",
       {Rect(0, -100, 1000, 800)},
       Rect(0, 0, 100, 100),
       Rect(0, 700, 100, 100)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    sim::Desktop desktop;
    auto& server = desktop.windowServer();
    server.setScreens(c.screens);
    const Rect flipped = flippedForScreen(c.input, server);
    EXPECT_EQ(flipped, c.expected);
    EXPECT_EQ(flippedForScreen(flipped, server), c.input);
  }
}

}  // namespace
}  // namespace velvix
