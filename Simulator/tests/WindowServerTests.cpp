#include <Simulator/Desktop.hpp>

#include <gtest/gtest.h>

#include <vector>

namespace velvix::sim {
namespace {

using Numbers = std::vector<std::uint32_t>;

struct SimDesktop : testing::Test {
  Desktop desktop;
  SimWindowServer& server = desktop.windowServer();
  SimToolkit& toolkit = desktop.toolkit();
};

TEST_F(SimDesktop, ListsWindowsOnScreenHigherLayersFirstThenFrontToBack) {
  server.addWindow({.number = 1, .pid = 10});
  server.addWindow({.number = 2, .pid = 11});
  server.addWindow({.number = 3, .pid = 12, .layer = 25});            // a menu
  server.addWindow({.number = 4, .pid = 13, .space = 2});             // on another Space
  server.addWindow({.number = 5, .pid = 14, .space = std::nullopt});  // on every Space
  server.addWindow({.number = 6, .pid = 15, .isOnScreen = false});
  EXPECT_EQ(server.onScreenNumbers(), (Numbers{3, 1, 2, 5}));

  server.bringToFront(2);
  EXPECT_EQ(server.onScreenNumbers(), (Numbers{3, 2, 1, 5}));
  server.orderAbove(5, 1);
  EXPECT_EQ(server.onScreenNumbers(), (Numbers{3, 2, 5, 1}));
  server.setActiveSpace(2);
  EXPECT_EQ(server.onScreenNumbers(), (Numbers{5, 4}));  // 5 is on every Space, in front of 4
}

TEST_F(SimDesktop, EntriesCarryTypedFieldsUnlessRawOnesReplaceThem) {
  server.addWindow(
      {.number = 1, .pid = 10, .ownerName = "Notes", .bounds = {1, 2, 3, 4}, .alpha = 0.5});
  server.addWindow({.number = 2,
                    .pid = 11,
                    .rawPID = EntryField::missing(),
                    .rawLayer = EntryField(1.5),
                    .rawAlpha = EntryField("opaque")});
  const auto entries = server.onScreenWindows();
  ASSERT_TRUE(entries);
  ASSERT_EQ(entries->size(), 2u);
  const auto& first = (*entries)[0];
  EXPECT_EQ(first.number.asUInt32(), 1u);
  EXPECT_EQ(first.ownerPID.asInt32(), 10);
  EXPECT_EQ(*first.ownerName.asString(), "Notes");
  EXPECT_EQ(first.bounds.asRect(), Rect(1, 2, 3, 4));
  EXPECT_EQ(first.layer.asInteger(), 0);
  EXPECT_EQ(first.alpha.asDouble(), 0.5);
  const auto& second = (*entries)[1];
  EXPECT_TRUE(second.ownerPID.isMissing());
  EXPECT_FALSE(second.layer.isMissing());
  EXPECT_EQ(second.layer.asInteger(), std::nullopt);
  EXPECT_EQ(second.alpha.asDouble(), std::nullopt);

  server.setWindowListUnavailable(true);
  EXPECT_FALSE(server.onScreenWindows());
}

TEST_F(SimDesktop, ThePanelIsAWindowOfThisProcessThatMovesToTheActiveSpaceWhenOrderedIn) {
  server.setScreens({Rect(0, 0, 1000, 800)});
  server.addWindow({.number = 1, .pid = 10});
  server.addWindow({.number = 2, .pid = 42, .ownerName = "WhatsApp"});
  auto panel = toolkit.makeOverlayPanel();
  const auto number = static_cast<std::uint32_t>(panel->windowNumber());
  EXPECT_FALSE(panel->isVisible());
  EXPECT_EQ(server.onScreenNumbers(), (Numbers{1, 2}));

  panel->setFrame(Rect(100, 500, 400, 200));  // bottom-left origin
  panel->orderAbove(2);
  EXPECT_TRUE(panel->isVisible());
  EXPECT_EQ(server.onScreenNumbers(), (Numbers{1, number, 2}));
  EXPECT_EQ(server.window(number).pid, server.ownProcessId());
  EXPECT_EQ(server.window(number).bounds, Rect(100, 100, 400, 200));  // top-left origin

  panel->setLevel(platform::kFloatingWindowLevel);
  EXPECT_EQ(server.onScreenNumbers(), (Numbers{number, 1, 2}));

  // On another Space the panel stays where it was, visible but not on the active Space.
  server.setActiveSpace(2);
  EXPECT_TRUE(panel->isVisible());
  EXPECT_FALSE(panel->isOnActiveSpace());
  EXPECT_EQ(server.onScreenNumbers(), Numbers{});
  panel->orderFrontRegardless();
  EXPECT_TRUE(panel->isOnActiveSpace());
  panel->orderOut();
  EXPECT_FALSE(panel->isVisible());
  EXPECT_EQ(toolkit.counts().orderChanges, 3);
  EXPECT_EQ(toolkit.counts().panelFrameWrites, 1);
  EXPECT_EQ(toolkit.counts().levelWrites, 1);
}

TEST_F(SimDesktop, BlurViewsStackBelowTheGuidesAndEveryWriteIsCounted) {
  auto panel = toolkit.makeOverlayPanel();
  auto first = panel->addBlurView();
  auto second = panel->addBlurView();
  first->setFrame(Rect(0, 0, 10, 10));
  second->setMask(Shape::circle);
  second->setMask(Shape::circle);  // the same value still counts: the app must not write it
  first->setHidden(true);
  const std::vector<BlurViewState> expected = {
      {Rect(0, 0, 10, 10), std::nullopt, true},
      {Rect(), Shape::circle, false},
  };
  EXPECT_EQ(toolkit.blurViews(), expected);
  EXPECT_EQ(toolkit.counts().maskWrites, 2);
  EXPECT_EQ(toolkit.counts().blurFrameWrites, 1);
  EXPECT_EQ(toolkit.counts().hiddenWrites, 1);

  first.reset();
  EXPECT_EQ(toolkit.blurViews().size(), 1u);
  EXPECT_EQ(toolkit.counts().blurViewsRemoved, 1);
  panel.reset();
  second.reset();  // outliving the panel is harmless
}

TEST_F(SimDesktop, NotificationsAndScrollEventsArriveOnTheMainQueueUntilUnregistered) {
  server.addApplication({.pid = 42, .bundleIdentifier = "net.whatsapp.WhatsApp"});
  std::vector<platform::WorkspaceEvent> events;
  int scrolls = 0;
  int occlusions = 0;
  auto activation = toolkit.observeWorkspace(platform::WorkspaceEvent::didActivateApplication,
                                             [&](auto e) { events.push_back(e); });
  auto spaces = toolkit.observeWorkspace(platform::WorkspaceEvent::activeSpaceDidChange,
                                         [&](auto e) { events.push_back(e); });
  auto monitor = toolkit.addGlobalScrollWheelMonitor([&](auto&) { ++scrolls; });
  auto panel = toolkit.makeOverlayPanel();
  auto occlusion = panel->observeOcclusion([&] { ++occlusions; });

  server.setFrontmostApplication(42);
  server.setActiveSpace(3);
  toolkit.scrollWheel();
  toolkit.setPanelOcclusionVisible(true);
  EXPECT_TRUE(events.empty());  // nothing is delivered before the main queue runs
  desktop.runFor(std::chrono::milliseconds(1));
  const std::vector<platform::WorkspaceEvent> expected = {
      platform::WorkspaceEvent::didActivateApplication,
      platform::WorkspaceEvent::activeSpaceDidChange};
  EXPECT_EQ(events, expected);
  EXPECT_EQ(scrolls, 1);
  EXPECT_EQ(occlusions, 1);
  EXPECT_EQ(server.frontmostApplication()->pid, 42);

  spaces.reset();
  monitor.reset();
  server.setActiveSpace(1);
  toolkit.scrollWheel();
  desktop.runFor(std::chrono::milliseconds(1));
  EXPECT_EQ(events.size(), 2u);
  EXPECT_EQ(scrolls, 1);

  toolkit.setRefusesScrollMonitors(true);
  EXPECT_FALSE(toolkit.addGlobalScrollWheelMonitor([](auto&) {}));
  EXPECT_FALSE(toolkit.addGlobalClickMonitor([] {}));
}

}  // namespace
}  // namespace velvix::sim
