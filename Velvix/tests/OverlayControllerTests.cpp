// The overlay controller on a simulated desktop, in virtual time: one scenario per behaviour,
// asserting the panel, its blur views and the log lines.

#include <Simulator/AppSession.hpp>
#include <Simulator/Desktop.hpp>
#include <Simulator/MemoryDefaults.hpp>
#include <Velvix/AppSettings.hpp>
#include <Velvix/OverlayController.hpp>

#include "WindowPicture.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace velvix {
namespace {

using namespace std::chrono_literals;
using Status = OverlayController::Status;
using sim::ElementId;

constexpr std::int32_t kWhatsAppPid = 42;
constexpr Rect kWindowBounds(100, 80, 1000, 700);  // top-left-origin global points

class OverlayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto& server = desktop.windowServer();
    server.setScreens({Rect(0, 0, 1440, 900)});
    server.addApplication({.pid = kWhatsAppPid, .bundleIdentifier = "net.whatsapp.WhatsApp"});
    whatsApp = server.addWindow(
        {.number = 7, .pid = kWhatsAppPid, .ownerName = "WhatsApp", .bounds = kWindowBounds});
    server.setMouseTopLeft({1300, 850});  // away from WhatsApp
    desktop.accessibility().setTrusted(false);
    settings = std::make_unique<AppSettings>(defaults);
    controller = std::make_unique<OverlayController>(
        *settings, OverlayPorts{desktop.accessibility(), desktop.windowServer(), desktop.toolkit(),
                                desktop.scheduler(), desktop.log()});
  }
  void TearDown() override {
    controller.reset();
    desktop.stop();
  }

  void expectLayoutModeAfter(const std::function<void()>& change);
  void expectCoverWhileScrolling(bool on);
  void expectCoversAllUntil(const std::function<void()>& cover,
                            const std::function<void()>& uncover, Status::Kind kind);
  void start() {
    controller->start();
    desktop.runFor(100ms);
  }
  // How many times the overlay looks at the windows over the next `span`.
  [[nodiscard]] int looksIn(sim::Duration span) {
    const int before = desktop.windowServer().listReads();
    desktop.runFor(span);
    return desktop.windowServer().listReads() - before;
  }
  [[nodiscard]] std::vector<std::string> windowLines() { return desktop.log().texts("window"); }
  [[nodiscard]] int count(std::string_view text) { return desktop.log().count("window", text); }
  [[nodiscard]] const sim::SimPanel& panel() { return *desktop.toolkit().panel(); }
  [[nodiscard]] std::vector<sim::BlurViewState> shownBlurs() {
    auto views = desktop.toolkit().blurViews();
    std::erase_if(views, [](const auto& v) { return v.isHidden; });
    return views;
  }

  // A WhatsApp window the structure analysis recognises: a chat list of five rows, and a
  // conversation "Alice" with five messages, a header and a composer.
  void publishWhatsAppTree() {
    auto& ax = desktop.accessibility();
    app = ax.addApplication(kWhatsAppPid);
    const ElementId window = ax.addChild(app, {.role = "AXWindow", .frame = kWindowBounds});
    chatList = ax.addChild(window, {.role = "AXGroup", .frame = {100, 180, 300, 400}});
    for (int i = 0; i < 5; ++i) {
      chatRows.push_back(ax.addChild(chatList, {.role = "AXGroup",
                                                .description = Value("Chat " + std::to_string(i)),
                                                .frame = {100, 180 + 72.0 * i, 300, 72}}));
    }
    const ElementId pane = ax.addChild(window, {.role = "AXGroup", .frame = {400, 80, 700, 700}});
    const ElementId header = ax.addChild(pane, {.role = "AXGroup", .frame = {400, 80, 700, 60}});
    ax.addChild(header,
                {.role = "AXButton", .description = Value("Alice"), .frame = {460, 90, 200, 40}});
    conversation = ax.addChild(
        pane, {.role = "AXGroup", .description = Value("Alice"), .frame = {400, 140, 700, 560}});
    for (int i = 0; i < 5; ++i)
      addMessage(i);
    composer = ax.addChild(pane, {.role = "AXTextArea", .frame = {450, 720, 600, 40}});
    ax.setTrusted(true);
  }
  using Value = platform::Value;
  // WhatsApp's tree published, reads costing `callCost` a call, and the first read accepted.
  void startPrecise(sim::Duration callCost = 200us) {
    publishWhatsAppTree();
    desktop.accessibility().setCallCost(callCost);
    start();
    desktop.runFor(500ms);
    EXPECT_EQ(controller->status(), Status::protecting(true));
  }

  // Message i of the conversation, 60 points below message i - 1.
  ElementId addMessage(int i) {
    messages.push_back(desktop.accessibility().addChild(
        conversation, {.role = "AXStaticText",
                       .description = Value("Message " + std::to_string(i) + ", 9:4" +
                                            std::to_string(i) + ", Read"),
                       .frame = {420, 160 + 60.0 * i, 400, 40}}));
    return messages.back();
  }
  // Where an element is now, relative to WhatsApp's window.
  [[nodiscard]] Rect windowRelative(ElementId element) {
    return desktop.accessibility().frameNow(element).offsetBy(-kWindowBounds.minX(),
                                                              -kWindowBounds.minY());
  }
  // The shown blur whose top-left corner is nearest `r`'s, if one lies within `tolerance`.
  [[nodiscard]] std::optional<Rect> blurNear(const Rect& r, double tolerance = 1) {
    for (const auto& view : shownBlurs()) {
      if (std::abs(view.frame.minX() - r.minX()) <= tolerance &&
          std::abs(view.frame.minY() - r.minY()) <= tolerance &&
          std::abs(view.frame.width() - r.width()) <= tolerance)
        return view.frame;
    }
    return std::nullopt;
  }
  // Every read fails from now on: the window list is unreadable and so are both lists.
  void failReads() {
    auto& ax = desktop.accessibility();
    ax.inject(app, platform::Attribute::windows, sim::Fault::callFails);
    ax.inject(chatList, platform::Attribute::children, sim::Fault::callFails);
    ax.inject(conversation, platform::Attribute::children, sim::Fault::callFails);
  }

  // The user scrolls over WhatsApp's conversation for `duration`: wheel events every 20 ms while
  // the message list moves at `pointsPerSecond`. Reads take time, as real ones do.
  void scrollMessages(
      std::chrono::milliseconds duration, double pointsPerSecond,
      const std::function<bool()>& stopWhen = [] { return false; }) {
    desktop.windowServer().setMouseTopLeft({700, 400});
    desktop.accessibility().setScrollVelocity(conversation, pointsPerSecond);
    for (auto t = 0ms; t < duration && !stopWhen(); t += 20ms) {
      desktop.toolkit().scrollWheel();
      desktop.runFor(20ms);
    }
    desktop.accessibility().setScrollVelocity(conversation, 0);
  }

  sim::Desktop desktop;
  sim::MemoryDefaults defaults;
  std::unique_ptr<AppSettings> settings;
  std::unique_ptr<OverlayController> controller;
  std::uint32_t whatsApp = 0;
  ElementId app = 0;
  ElementId chatList = 0;
  ElementId conversation = 0;
  ElementId composer = 0;
  std::vector<ElementId> chatRows;
  std::vector<ElementId> messages;
};

// MARK: Start and first appearance

TEST_F(OverlayTest, StartingTwiceChangesNothing) {
  controller->start();
  controller->start();
  desktop.runFor(100ms);
  EXPECT_EQ(desktop.toolkit().workspaceObservers(), 2);
  EXPECT_EQ(desktop.toolkit().scrollMonitors(), 1);
  const long frames = controller->stats().frames();
  desktop.runFor(1s);
  // At rest, the 30 Hz timer alone (not twice that); the display ticker rests.
  EXPECT_NEAR(controller->stats().frames() - frames, 30, 1);
  EXPECT_FALSE(controller->isDisplayTicking());
  desktop.toolkit().resetCounts();
  desktop.runFor(2s);
  EXPECT_EQ(desktop.toolkit().counts(), sim::ToolkitCounts{}) << "a steady frame writes nothing";
}

TEST_F(OverlayTest, FirstAppearanceShowsThePanelOverWhatsApp) {
  EXPECT_EQ(controller->status(), Status::waitingForWhatsApp());
  start();
  EXPECT_TRUE(panel().isVisible());
  EXPECT_TRUE(panel().isOnActiveSpace());
  // The panel's frame is WhatsApp's, in bottom-left-origin space (screen 900 high).
  EXPECT_EQ(panel().frame(), Rect(100, 120, 1000, 700));
  EXPECT_EQ(controller->status(), Status::protecting(false));
  for (const auto& line : windowLines()) {
    EXPECT_EQ(line.find("back after"), std::string::npos) << line;
    EXPECT_EQ(line.find("left the screen"), std::string::npos) << line;
  }
  EXPECT_FALSE(shownBlurs().empty());
}

TEST_F(OverlayTest, ObserversHearOnlyRealChangesAndProtectionSwitchesOffAndOn) {
  int statusChanges = 0;
  int accessChanges = 0;
  const auto statusSubscription = controller->observeStatus([&] { ++statusChanges; });
  const auto accessSubscription = controller->observeAccessibilityAccess([&] { ++accessChanges; });
  start();
  desktop.runFor(1s);  // ninety frames, one change: waiting → protecting
  EXPECT_EQ(statusChanges, 1);
  EXPECT_EQ(accessChanges, 0);
  desktop.accessibility().setTrusted(true);
  desktop.runFor(1s);
  EXPECT_EQ(accessChanges, 1);
  EXPECT_TRUE(controller->hasAccessibilityAccess());
  settings->setIsEnabled(false);
  desktop.runFor(40ms);
  EXPECT_EQ(statusChanges, 2);
  EXPECT_EQ(controller->status(), Status::disabled());
  EXPECT_FALSE(panel().isVisible());
  EXPECT_EQ(count("Blurs hidden"), 0);
  settings->setIsEnabled(true);
  desktop.runFor(40ms);
  EXPECT_TRUE(panel().isVisible());
  EXPECT_EQ(controller->status(), Status::protecting(false));
}

// MARK: Visibility rules

TEST_F(OverlayTest, AWindowBackWithinTheGraceIsToldAndProtectionGoesOn) {
  start();
  desktop.windowServer().window(whatsApp).isOnScreen = false;
  desktop.runFor(200ms);
  desktop.windowServer().window(whatsApp).isOnScreen = true;
  desktop.runFor(50ms);
  EXPECT_TRUE(panel().isVisible());
  EXPECT_EQ(count("Blurs hidden"), 0);
  const auto lines = windowLines();
  const auto back = std::find_if(lines.begin(), lines.end(), [](const std::string& l) {
    return l.starts_with("WhatsApp window back after");
  });
  ASSERT_NE(back, lines.end());
  EXPECT_TRUE(*back ==
                  "WhatsApp window back after 0.20 s, blurs visible true, on this Space true" ||
              *back == "WhatsApp window back after 0.23 s, blurs visible true, on this Space true")
      << *back;
  EXPECT_EQ(controller->status(), Status::protecting(false));
}

// A missing window keeps the overlay, as it was, through gaps shorter than 0.3 s, whichever
// build's window it was; without the grace (WhatsApp hidden or terminated, as far as the lookup
// of its application can tell) it is hidden at once. Hidden once, it stays so without more.
struct Gap {
  const char* name;
  const char* bundle;
  bool hidden, terminated;
};
class OverlayGapTest : public OverlayTest, public ::testing::WithParamInterface<Gap> {};
INSTANTIATE_TEST_SUITE_P(WhatsApp, OverlayGapTest,
                         ::testing::Values(Gap{"Running", "net.whatsapp.WhatsApp", false, false},
                                           Gap{"OtherBuild", "desktop.WhatsApp", false, false},
                                           Gap{"Hidden", "net.whatsapp.WhatsApp", true, false},
                                           Gap{"Terminated", "net.whatsapp.WhatsApp", false, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_P(OverlayGapTest, GapsShorterThanTheGraceKeepThePatchesUnlessWhatsAppIsGone) {
  const Gap& gap = GetParam();
  auto& app = desktop.windowServer().application(kWhatsAppPid);
  app.bundleIdentifier = gap.bundle;
  app.isHidden = gap.hidden;
  app.isTerminated = gap.terminated;
  const bool gone = gap.hidden || gap.terminated;
  desktop.windowServer().setMouseTopLeft({800, 300});  // a band of the conversation revealed
  start();
  const auto before = shownBlurs();
  desktop.windowServer().window(whatsApp).isOnScreen = false;
  ASSERT_TRUE(desktop.runUntil([&] { return count("WhatsApp window left the screen") == 1; }));
  if (!gone) {
    desktop.windowServer().setMouseTopLeft({800, 500});  // would move the band
    desktop.runFor(290ms);
    EXPECT_TRUE(panel().isVisible());
    EXPECT_EQ(shownBlurs(), before) << "the patches stay as they were";
    desktop.runFor(50ms);
  }
  EXPECT_FALSE(panel().isVisible());
  EXPECT_EQ(controller->status(), Status::waitingForWhatsApp());
  EXPECT_EQ(count(std::string("Hiding blurs: hidden ") + (gone ? "true" : "false") +
                  ", on this Space true"),
            1);
  desktop.runFor(1s);
  EXPECT_EQ(count("Blurs hidden"), 1);
}

TEST_F(OverlayTest, SwitchingSpacesLeavesThePatchesOnWhatsAppsSpace) {
  start();
  const auto before = controller->status();
  desktop.windowServer().setActiveSpace(2);
  desktop.runFor(2s);
  EXPECT_TRUE(panel().isVisible());
  EXPECT_FALSE(panel().isOnActiveSpace());
  EXPECT_EQ(controller->status(), before);
  EXPECT_EQ(count("Blurs hidden"), 0);

  // WhatsApp shows up on the active Space: the patches stay put for 0.6 s, then move, once.
  desktop.windowServer().window(whatsApp).space = 2;
  desktop.runFor(500ms);
  EXPECT_FALSE(panel().isOnActiveSpace());
  EXPECT_EQ(count("Moving blurs to this Space, where WhatsApp now is"), 0);
  desktop.runFor(200ms);
  EXPECT_TRUE(panel().isOnActiveSpace());
  EXPECT_EQ(count("Moving blurs to this Space, where WhatsApp now is"), 1);
  desktop.runFor(1s);
  EXPECT_EQ(count("Moving blurs to this Space, where WhatsApp now is"), 1);
}

// MARK: Resting frames

// Where the window server tells window changes, the frame timer slows to once a second after a
// second without any, and wakes for the frame after the next change told.
TEST_F(OverlayTest, WhereWindowChangesAreToldFramesRestAfterAQuietSecondAndWakeAtTheNext) {
  auto& server = desktop.windowServer();
  server.setTellsWindowChanges(true);
  start();
  // Awake for a second after WhatsApp appeared, then resting.
  EXPECT_NEAR(looksIn(1400ms), 29, 1);
  EXPECT_NEAR(looksIn(10s), 10, 1);

  server.window(whatsApp).bounds = kWindowBounds.offsetBy(40, 30);
  server.windowsChanged();
  desktop.runFor(35ms);
  EXPECT_EQ(panel().frame(), Rect(140, 90, 1000, 700));
  EXPECT_NEAR(looksIn(1465ms), 29, 1) << "awake for a second after the change";
  EXPECT_NEAR(looksIn(5s), 5, 1);

  // So is a setting changed: protection switched off.
  settings->setIsEnabled(false);
  desktop.runFor(35ms);
  EXPECT_FALSE(panel().isVisible());
  settings->setIsEnabled(true);
  desktop.runFor(2s);

  // Gone, WhatsApp is looked for at the same pace once the patches are hidden; told of its
  // return, the overlay is back within a frame.
  server.removeWindow(whatsApp);
  desktop.runFor(2s);
  ASSERT_FALSE(panel().isVisible());
  EXPECT_NEAR(looksIn(5s), 5, 1);
  server.addWindow(
      {.number = 7, .pid = kWhatsAppPid, .ownerName = "WhatsApp", .bounds = kWindowBounds});
  desktop.runFor(35ms);
  EXPECT_TRUE(panel().isVisible());
}

// The display ticker runs while the pointer moves over WhatsApp (or leaves it) and for a second
// after a wheel turn, and rests otherwise; moves elsewhere do not wake it.
TEST_F(OverlayTest, TheDisplayTickerRunsOnlyWhileThePointerOrTheContentMoves) {
  auto& server = desktop.windowServer();
  start();
  desktop.runFor(1s);
  ASSERT_FALSE(controller->isDisplayTicking());
  for (const Point over : {Point{600, 400}, Point{610, 400}}) {
    server.setMouseTopLeft(over);
    desktop.runFor(1ms);
    EXPECT_TRUE(controller->isDisplayTicking());
    desktop.runFor(1s);
    EXPECT_FALSE(controller->isDisplayTicking()) << "the pointer rests over WhatsApp";
  }
  // A wheel turn keeps it running for a second while the content settles.
  desktop.toolkit().scrollWheel();
  desktop.runFor(950ms);
  EXPECT_TRUE(controller->isDisplayTicking());
  desktop.runFor(100ms);
  EXPECT_FALSE(controller->isDisplayTicking());
  server.setMouseTopLeft({1300, 850});
  desktop.runFor(1ms);
  EXPECT_TRUE(controller->isDisplayTicking()) << "leaving WhatsApp";
  desktop.runFor(1s);
  server.setMouseTopLeft({1350, 860});
  desktop.runFor(1ms);
  EXPECT_FALSE(controller->isDisplayTicking());
}

// A panel that comes back into sight is drawn again at once, and says so.
TEST_F(OverlayTest, APanelBackInSightIsToldOnce) {
  start();
  desktop.toolkit().setPanelOcclusionVisible(false);
  desktop.runFor(100ms);
  EXPECT_EQ(count("Blurs visible again"), 0);
  desktop.toolkit().setPanelOcclusionVisible(true);
  desktop.runFor(1ms);
  EXPECT_EQ(count("Blurs visible again"), 1);
}

// What changes with time alone keeps the frame timer at its rate.
enum class Busy { pointerOverWhatsApp, whatsAppOnAnotherSpace, coveredWhileAway };
class OverlayBusyTest : public OverlayTest, public ::testing::WithParamInterface<Busy> {};
INSTANTIATE_TEST_SUITE_P(Frames, OverlayBusyTest,
                         ::testing::Values(Busy::pointerOverWhatsApp, Busy::whatsAppOnAnotherSpace,
                                           Busy::coveredWhileAway));

TEST_P(OverlayBusyTest, KeepsTheFramesFromResting) {
  auto& server = desktop.windowServer();
  server.setTellsWindowChanges(true);
  start();
  desktop.runFor(2s);
  switch (GetParam()) {
    case Busy::pointerOverWhatsApp:
      server.setMouseTopLeft({600, 400});
      break;
    case Busy::whatsAppOnAnotherSpace:
      server.setActiveSpace(2);
      break;
    case Busy::coveredWhileAway:
      settings->setIdleMinutes(1);
      desktop.toolkit().setSecondsSinceInput(60);
      break;
  }
  desktop.runFor(2s);
  EXPECT_NEAR(looksIn(3s), 90, 1);
}

// MARK: Window order

// In the background the panel stays directly above WhatsApp; frontmost, it floats. Either way a
// steady desktop leaves its order and level alone.
TEST_F(OverlayTest, ThePanelFloatsOverAFrontmostWhatsAppAndElseStaysDirectlyAboveIt) {
  auto& server = desktop.windowServer();
  const auto directlyAbove = [&] {
    const auto numbers = server.onScreenNumbers();
    const auto at = std::find(numbers.begin(), numbers.end(), whatsApp);
    return at != numbers.begin() && at != numbers.end() &&
           *(at - 1) == static_cast<std::uint32_t>(panel().windowNumber());
  };
  start();
  EXPECT_EQ(panel().level(), platform::kNormalWindowLevel);
  EXPECT_TRUE(directlyAbove());
  desktop.toolkit().resetCounts();
  desktop.runFor(1s);
  EXPECT_EQ(desktop.toolkit().counts().orderChanges, 0);

  // Another window comes between: the panel goes back above WhatsApp, once.
  const auto other =
      server.addWindow({.pid = 77, .ownerName = "Notes", .bounds = {0, 0, 300, 300}});
  server.orderAbove(other, whatsApp);
  desktop.runFor(100ms);
  EXPECT_EQ(desktop.toolkit().counts().orderChanges, 1);
  EXPECT_TRUE(directlyAbove());

  server.setFrontmostApplication(kWhatsAppPid);
  desktop.runFor(100ms);
  EXPECT_EQ(panel().level(), platform::kFloatingWindowLevel);
  desktop.toolkit().resetCounts();
  desktop.runFor(1s);
  EXPECT_EQ(desktop.toolkit().counts().orderChanges, 0);
  EXPECT_EQ(desktop.toolkit().counts().levelWrites, 0);
}

// MARK: Drawing

// Views are pooled: a shape change swaps the mask on the same view, and surplus views are hidden
// rather than removed, to be shown again without creating any.
TEST_F(OverlayTest, ThePoolReusesItsViews) {
  // Pictures alone: the picture column, then the header picture, a circle.
  settings->setBlurMessages(false);
  settings->setBlurPreviews(false);
  settings->setBlurProfilePictures(true);
  start();
  ASSERT_GE(shownBlurs().size(), 2u);
  EXPECT_EQ(shownBlurs()[1].mask, Shape::circle);
  // Previews add the text column at index 1, which is rounded.
  settings->setBlurPreviews(true);
  desktop.toolkit().resetCounts();
  desktop.runFor(40ms);
  EXPECT_EQ(shownBlurs()[1].mask, Shape::rounded);
  EXPECT_GE(desktop.toolkit().counts().maskWrites, 1);

  settings->setBlurMessages(true);
  settings->setBlurNames(true);
  settings->setBlurTextInput(true);
  desktop.runFor(40ms);
  const std::size_t busy = shownBlurs().size();
  const std::size_t created = desktop.toolkit().blurViews().size();
  EXPECT_EQ(busy, created);
  settings->setBlurNames(false);
  settings->setBlurTextInput(false);
  desktop.runFor(40ms);
  EXPECT_LT(shownBlurs().size(), busy);
  EXPECT_EQ(desktop.toolkit().blurViews().size(), created);  // hidden, not removed
  settings->setBlurNames(true);
  settings->setBlurTextInput(true);
  desktop.toolkit().resetCounts();
  desktop.runFor(40ms);
  EXPECT_EQ(shownBlurs().size(), busy);
  EXPECT_EQ(desktop.toolkit().counts().blurViewsCreated, 0);
}

TEST_F(OverlayTest, GuidesFollowTheRegionsOnlyWhileShownAndTheStrengthReachesThePanel) {
  start();
  EXPECT_TRUE(panel().areGuidesHidden());
  EXPECT_TRUE(panel().guideRegions().empty());
  settings->setShowsGuides(true);
  desktop.runFor(40ms);
  EXPECT_FALSE(panel().areGuidesHidden());
  EXPECT_EQ(panel().guideColumns(), (std::vector<double>{220, 596}));
  EXPECT_FALSE(panel().guideRegions().empty());
  desktop.toolkit().resetCounts();
  desktop.runFor(1s);
  EXPECT_EQ(desktop.toolkit().counts().guidesUpdates, 0);
  EXPECT_EQ(panel().blurStrength(), BlurStrength::medium);
  settings->setBlurStrength(BlurStrength::strong);
  EXPECT_EQ(panel().blurStrength(), BlurStrength::strong);
}

// MARK: Log lines

// A frame beyond the integer range (2^63, the first value past it) prints as its bound.
TEST_F(OverlayTest, TheSummaryComesWithTheFirstFrameThenEveryFiveSeconds) {
  desktop.windowServer().window(whatsApp).bounds = Rect(-12.7, 80, 1000, 700);
  start();
  const auto summaries = [&] {
    std::vector<std::string> found;
    for (const auto& l : windowLines())
      if (l.starts_with("Summary: ")) found.push_back(l);
    return found;
  };
  EXPECT_EQ(summaries(),
            std::vector<std::string>{
                "Summary: window 7 -12,80 1000x700 read no-access list false rows 0 covered false "
                "thumbnails 0 messages 0 regions 2 panel visible true this-space true level 0 "
                "frame-ok true"});
  desktop.windowServer().window(whatsApp).bounds = Rect(9223372036854775808.0, 80, 1000, 700);
  desktop.runFor(4800ms);
  EXPECT_EQ(summaries().size(), 1u);
  desktop.runFor(200ms);
  ASSERT_EQ(summaries().size(), 2u);
  EXPECT_TRUE(summaries()[1].starts_with(
      "Summary: window 7 " + std::to_string(std::numeric_limits<long>::max()) + ",80 1000x700 "))
      << summaries()[1];
}

TEST(RenderStats, LogsRatesEveryTwoSecondsAndRestarts) {
  sim::Desktop desktop;
  RenderStats stats(desktop.scheduler(), desktop.log());
  for (int i = 0; i < 299; ++i)
    stats.frame();
  stats.measurements = 50;
  desktop.runFor(2500ms);
  stats.frame();
  EXPECT_EQ(desktop.log().texts("render"),
            std::vector<std::string>{"frames/s 120, measurements/s 20"});
  EXPECT_EQ(desktop.log().lines().front().level, platform::LogLevel::debug);
  EXPECT_EQ(stats.frames(), 0);
  EXPECT_EQ(stats.measurements, 0);
}

// MARK: Reading

// A clock set back or forward (a time-zone fix, network time, a resumed laptop) neither stops
// the reads nor stretches or shrinks the grace a missing window gets.
TEST_F(OverlayTest, SettingTheClockChangesNoDuration) {
  publishWhatsAppTree();
  settings->setUnblurLastMessages(false);
  start();
  desktop.runFor(1s);
  desktop.scheduler().stepWallClock(-3600);
  const ElementId arrived = addMessage(5);
  desktop.runFor(1s);
  EXPECT_TRUE(blurNear(windowRelative(arrived))) << "the reads went on";

  const struct {
    double step;
    std::chrono::milliseconds gap;
    bool hidden;
  } cases[] = {{-60, 400ms, true}, {+60, 200ms, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.step);
    desktop.windowServer().window(whatsApp).isOnScreen = false;
    desktop.runFor(40ms);
    desktop.scheduler().stepWallClock(c.step);
    desktop.runFor(c.gap - 40ms);
    EXPECT_EQ(!panel().isVisible(), c.hidden);
    desktop.windowServer().window(whatsApp).isOnScreen = true;
    desktop.runFor(100ms);
    ASSERT_TRUE(panel().isVisible());
  }
}

TEST_F(OverlayTest, NoReadsWhileAccessibilityIsOffInTheSettings) {
  publishWhatsAppTree();
  settings->setUsesAccessibility(false);
  start();
  desktop.runFor(1s);
  EXPECT_EQ(desktop.accessibility().calls(), 0);
  EXPECT_EQ(controller->status(), Status::protecting(false));
}

// A contact sheet hides the chat list and the conversation from the reader while they stay on
// screen beside and under it: their patches stay as last read, cut away where the sheet lies.
TEST_F(OverlayTest, WhatASheetHidesFromTheReaderStaysBlurredAsLastRead) {
  startPrecise();
  const auto blursWithin = [this](const Rect& area) {
    const auto shown = shownBlurs();
    return std::count_if(shown.begin(), shown.end(),
                         [&](const auto& v) { return area.contains(v.frame); });
  };
  const Rect listArea(0, 100, 300, 400);  // window-relative
  const auto listBlurs = blursWithin(listArea);
  ASSERT_GE(listBlurs, 5);
  ASSERT_TRUE(blurNear(windowRelative(messages[0])));

  auto& ax = desktop.accessibility();
  for (const ElementId e : {chatList, conversation, composer})
    ax.remove(e);
  ax.addChild(ax.children(app)[0], {.role = "AXSheet", .frame = {500, 100, 500, 650}});
  desktop.runFor(1s);
  EXPECT_EQ(blursWithin(listArea), listBlurs);
  const Rect message = windowRelative(messages[0]);
  EXPECT_EQ(blurNear(message.intersection(Rect(0, 0, 400, 700))),
            Rect(message.minX(), message.minY(), 400 - message.minX(), message.height()));
}

TEST_F(OverlayTest, ARecordedReadOfAnotherWindowIsNotUsed) {
  startPrecise(0us);
  // WhatsApp's window is replaced by a new one; until a read of it is accepted, layout mode.
  auto& server = desktop.windowServer();
  server.removeWindow(whatsApp);
  server.addWindow(
      {.number = 8, .pid = kWhatsAppPid, .ownerName = "WhatsApp", .bounds = kWindowBounds});
  desktop.accessibility().setTrusted(true);
  desktop.runFor(34ms);
  EXPECT_EQ(controller->status(), Status::protecting(false));
  desktop.runFor(500ms);
  EXPECT_EQ(controller->status(), Status::protecting(true));
  desktop.runFor(5s);  // the next summary tells the new window's read is the one used
  const auto lines = windowLines();
  const auto summary = std::find_if(lines.rbegin(), lines.rend(), [](const std::string& l) {
    return l.starts_with("Summary: ");
  });
  ASSERT_NE(summary, lines.rend());
  EXPECT_TRUE(summary->starts_with("Summary: window 8 ") &&
              summary->find(" read used ") != std::string::npos)
      << *summary;
}

TEST_F(OverlayTest, WithoutScrollFollowingNothingIsMeasured) {
  controller.reset();
  controller = std::make_unique<OverlayController>(
      *settings,
      OverlayPorts{desktop.accessibility(), desktop.windowServer(), desktop.toolkit(),
                   desktop.scheduler(), desktop.log()},
      OverlayOptions{.followsScrolling = false});
  startPrecise();
  scrollMessages(600ms, 300);
  EXPECT_EQ(controller->scrollVelocity(), ScrollOffset{});
  EXPECT_EQ(controller->stats().measurements, 0);
}

TEST_F(OverlayTest, FollowLoopRestsUntilTheFirstReadThenFollowsUntilTheWheelRests) {
  // Layout mode: no access, so nothing is read and nothing can be measured.
  start();
  desktop.runFor(1s);
  const long before = desktop.scheduler().callbacksRun();
  desktop.runFor(1s);
  // The frame timer (30), the display ticker (60) and the read loop's access check (10); a
  // follow loop polling every 8 ms would add 125.
  EXPECT_LE(desktop.scheduler().callbacksRun() - before, 110);

  publishWhatsAppTree();
  desktop.accessibility().setCallCost(200us);
  desktop.runFor(500ms);
  ASSERT_EQ(controller->status(), Status::protecting(true));
  // Content moving up gives a negative speed of the list's order (each read restarts the
  // sample, so the smoothed value lags the true 300 points per second somewhat).
  scrollMessages(600ms, 300);
  EXPECT_GT(controller->stats().measurements, 0);
  EXPECT_LT(controller->scrollVelocity().messages, -150);
  EXPECT_GT(controller->scrollVelocity().messages, -450);
  EXPECT_EQ(controller->scrollVelocity().chatList, 0);
  // 0.4 s after the last wheel event the next measurement zeroes the speed.
  desktop.runFor(300ms);
  EXPECT_NE(controller->scrollVelocity().messages, 0);
  desktop.runFor(200ms);
  EXPECT_EQ(controller->scrollVelocity(), ScrollOffset{});

  // Followed steadily (a wheel notch every 0.3 s keeps it going), the lists are measured every
  // 8 ms less the moments reads take, as the render summary says every two seconds.
  desktop.accessibility().setScrollVelocity(conversation, 100);
  for (int i = 0; i < 20; ++i) {
    desktop.toolkit().scrollWheel();
    desktop.runFor(300ms);
  }
  const auto summaries = desktop.log().texts("render");
  int perSecond = 0;
  ASSERT_FALSE(summaries.empty());
  EXPECT_EQ(std::sscanf(summaries.back().c_str(), "frames/s %*d, measurements/s %d", &perSecond),
            1);
  EXPECT_GE(perSecond, 115) << summaries.back();
  EXPECT_LE(perSecond, 125) << summaries.back();
}

TEST_F(OverlayTest, MeasurementsOfAnIgnoredReadAreNotApplied) {
  startPrecise(2ms);

  // The lossy read publishes a new generation to the tracker, but the controller keeps the read
  // before it: measurements of the new generation must not count or move anything.
  for (const ElementId row : chatRows)
    desktop.accessibility().remove(row);
  const auto ignored = [&](int n) {
    return count("Ignoring a read without WhatsApp's content (" + std::to_string(n) + ")") == 1;
  };
  scrollMessages(2s, 300, [&] { return ignored(1); });
  ASSERT_TRUE(ignored(1));
  const int before = controller->stats().measurements;
  const ScrollOffset velocity = controller->scrollVelocity();
  scrollMessages(2s, 300, [&] { return ignored(2); });
  ASSERT_TRUE(ignored(2));
  EXPECT_EQ(controller->stats().measurements, before);
  EXPECT_EQ(controller->scrollVelocity(), velocity);
}

// MARK: What the panel shows while the user works

// Between reads, measurements alone carry the patches with the content; when they stop, the
// patches run on by at most 50 ms of the last speed and then stay.
TEST_F(OverlayTest, BetweenReadsPatchesMoveWithTheContentAndStopWhenMeasurementsStop) {
  settings->setUnblurLastMessages(false);
  startPrecise();
  const Rect message = windowRelative(messages[3]);
  ASSERT_TRUE(blurNear(message)) << "no patch over the message after the first read";

  failReads();
  scrollMessages(300ms, 300);  // 90 points up, half the messages' spacing past a whole one
  desktop.runFor(100ms);       // measurements go on while the wheel is recent
  ASSERT_NEAR(windowRelative(messages[3]).minY(), message.minY() - 90, 1);
  EXPECT_TRUE(blurNear(windowRelative(messages[3]))) << "the patch stayed behind";

  // Moving again at 300 points per second; then, still moving, no measurement succeeds.
  auto& ax = desktop.accessibility();
  const auto wheelFor = [&](std::chrono::milliseconds duration) {
    for (auto t = 0ms; t < duration; t += 20ms) {
      desktop.toolkit().scrollWheel();
      desktop.runFor(20ms);
    }
  };
  ax.setScrollVelocity(conversation, 300);
  wheelFor(200ms);
  const int measured = controller->stats().measurements;
  ASSERT_TRUE(desktop.runUntil([&] { return controller->stats().measurements > measured; }));
  for (const ElementId m : messages)
    ax.inject(m, platform::Attribute::position, sim::Fault::callFails);
  const Rect lastMeasured = windowRelative(messages[4]);
  wheelFor(300ms);
  // 300 points per second for 50 ms past the last measurement, and no further.
  const auto stopped = blurNear(lastMeasured.offsetBy(0, -15), 0.5);
  ASSERT_TRUE(stopped) << "no patch 15 points past the last measured position "
                       << lastMeasured.offsetBy(0, -15);
  wheelFor(300ms);
  EXPECT_EQ(blurNear(*stopped, 0), stopped) << "the patch kept moving without measurements";
}

// After a precise read, `change` leaves the next frame to the calibrated layout alone.
void OverlayTest::expectLayoutModeAfter(const std::function<void()>& change) {
  const auto rects = [](const auto& blurs, auto rectOf) {
    std::vector<Rect> out;
    for (const auto& blur : blurs)
      out.push_back(rectOf(blur));
    return out;
  };
  const auto layout = rects(
      BlurLayout::visibleBlurs(BlurLayout::regions(kWindowBounds.size, settings->metrics(),
                                                   settings->options(), DetectedElements{}, {}),
                               std::nullopt),
      [](const VisibleBlur& b) { return b.rect; });
  const auto shown = [&] { return rects(shownBlurs(), [](const auto& v) { return v.frame; }); };
  startPrecise(0us);
  ASSERT_NE(shown(), layout);
  change();
  desktop.runFor(34ms);
  EXPECT_EQ(controller->status(), Status::protecting(false));
  EXPECT_EQ(shown(), layout);
}

TEST_F(OverlayTest, PreciseModeSwitchedOffLaysTheNextFrameOutFromTheLayout) {
  expectLayoutModeAfter([&] { settings->setUsesAccessibility(false); });
}

TEST_F(OverlayTest, AccessRevokedLaysTheNextFrameOutFromTheLayout) {
  expectLayoutModeAfter([&] { desktop.accessibility().setTrusted(false); });
}

TEST_F(OverlayTest, TheLatestThreeMessagesStayReadableAndAreLearntOnlyAtRest) {
  startPrecise();
  const auto covered = [&](std::size_t i) {
    return blurNear(windowRelative(messages[i])).has_value();
  };
  EXPECT_TRUE(covered(0));
  EXPECT_TRUE(covered(1));
  EXPECT_FALSE(covered(2));
  EXPECT_FALSE(covered(3));
  EXPECT_FALSE(covered(4));

  // A message arrives while the user scrolls: the list need not show its true bottom then, so
  // the newcomer stays blurred until the wheel has rested.
  scrollMessages(100ms, 0);
  addMessage(5);
  scrollMessages(300ms, 0);
  EXPECT_TRUE(covered(5));
  EXPECT_FALSE(covered(2));
  desktop.runFor(600ms);
  EXPECT_FALSE(covered(5));
  EXPECT_TRUE(covered(2));
}

TEST_F(OverlayTest, LossyReadsAreIgnoredTwiceAndAGoodOneStartsTheCountAgain) {
  startPrecise(0us);
  const std::size_t precise = shownBlurs().size();
  auto& ax = desktop.accessibility();
  const auto lossy = [&](bool on) {
    if (on) {
      ax.inject(chatList, std::nullopt, sim::Fault::callFails);
    } else {
      ax.clearFaults(chatList);
    }
  };
  lossy(true);
  ASSERT_TRUE(desktop.runUntil(
      [&] { return count("Ignoring a read without WhatsApp's content (2)") == 1; }, 1s));
  lossy(false);
  desktop.runFor(250ms);
  lossy(true);
  desktop.runFor(150ms);
  EXPECT_EQ(count("Ignoring a read without WhatsApp's content (1)"), 2);
  EXPECT_EQ(shownBlurs().size(), precise) << "a lossy read took the chat rows' patches away";
  // Ignored twice, the third is accepted: reads without rows now pass silently.
  desktop.runFor(1s);
  int ignored = 0;
  for (const auto& l : windowLines())
    ignored += l.starts_with("Ignoring a read");
  EXPECT_EQ(ignored, 4);
  EXPECT_EQ(count("Ignoring a read without WhatsApp's content (3)"), 0);
}

TEST_F(OverlayTest, HoverRevealsOnlyWhenNoOtherWindowCoversThePointer) {
  start();
  const auto unhovered = shownBlurs();
  auto& server = desktop.windowServer();
  server.setMouseTopLeft({800, 300});  // over the conversation's patch
  desktop.runFor(34ms);
  EXPECT_NE(shownBlurs(), unhovered);
  const auto notes =
      server.addWindow({.pid = 77, .ownerName = "Notes", .bounds = {700, 200, 300, 300}});
  server.bringToFront(notes);
  desktop.runFor(34ms);
  EXPECT_EQ(shownBlurs(), unhovered);
}

TEST_F(OverlayTest, AReturningWindowStartsFromTheReadNotFromTheScrollBeforeTheGap) {
  settings->setUnblurLastMessages(false);
  startPrecise();
  const Rect read = windowRelative(messages[3]);
  failReads();
  // Scrolling at 300 points per second when WhatsApp's window goes for a moment; it comes back
  // showing the list as it was read.
  desktop.windowServer().setMouseTopLeft({700, 400});
  desktop.accessibility().setScrollVelocity(conversation, 300);
  for (int i = 0; i < 7; ++i) {  // 42 points: no other message lies where this one was read
    desktop.toolkit().scrollWheel();
    desktop.runFor(20ms);
  }
  ASSERT_TRUE(blurNear(windowRelative(messages[3]), 8));
  ASSERT_LT(controller->scrollVelocity().messages, -200);
  desktop.accessibility().setScrollVelocity(conversation, 0);
  desktop.windowServer().window(whatsApp).isOnScreen = false;
  desktop.runFor(100ms);
  EXPECT_EQ(controller->scrollVelocity(), ScrollOffset{}) << "the speed of before the gap stays";
  desktop.accessibility().setScrollOffset(conversation, 0);
  desktop.windowServer().window(whatsApp).isOnScreen = true;
  desktop.runFor(40ms);
  EXPECT_TRUE(blurNear(read)) << "the patches kept the scroll of before the gap";
}

TEST_F(OverlayTest, SwitchedBackOnWhileWhatsAppIsGoneTheOverlayWaitsForIt) {
  start();
  settings->setIsEnabled(false);
  desktop.runFor(40ms);
  desktop.windowServer().removeWindow(whatsApp);
  desktop.windowServer().application(kWhatsAppPid).isTerminated = true;
  std::vector<Status> statuses;
  const auto subscription =
      controller->observeStatus([&] { statuses.push_back(controller->status()); });
  settings->setIsEnabled(true);
  desktop.windowServer().setMouseTopLeft({600, 400});  // where WhatsApp was: draws nothing
  desktop.runFor(1s);
  EXPECT_FALSE(panel().isVisible());
  EXPECT_EQ(statuses, std::vector<Status>{Status::waitingForWhatsApp()});
}

TEST_F(OverlayTest, WhileTheUserScrollsReadsRereadOnlyTheLists) {
  startPrecise();
  auto& ax = desktop.accessibility();
  long before = ax.callsTo(composer);
  desktop.runFor(500ms);
  EXPECT_GE(ax.callsTo(composer) - before, 4) << "reads at rest walk the whole window";
  scrollMessages(100ms, 300);  // the first read after the wheel may still be a full one
  before = ax.callsTo(composer);
  const long listReads = ax.callsTo(messages[0]);
  scrollMessages(300ms, 300);
  EXPECT_EQ(ax.callsTo(composer), before);
  EXPECT_GE(ax.callsTo(messages[0]) - listReads, 10);
}

TEST_F(OverlayTest, WhileTheUserScrollsFailingReadsAreMadeAgainTenTimesASecond) {
  publishWhatsAppTree();
  desktop.accessibility().setCallCost(200us);
  start();
  failReads();
  desktop.log().clear();
  const auto failed = [&] {
    return desktop.log().count("accessibility", "Read failed: WhatsApp reports no windows");
  };
  // Four at once, as reads given up for a moving list are, then one every 0.1 s.
  scrollMessages(60ms, 300);
  EXPECT_EQ(failed(), AccessibilityReader::kSmearedReadsGivenUp + 1);
  scrollMessages(940ms, 300);
  EXPECT_GE(failed(), 12);
  EXPECT_LE(failed(), 15);

  // A good read starts the count again.
  for (const ElementId e : {app, chatList, conversation})
    desktop.accessibility().clearFaults(e);
  desktop.runFor(1s);
  failReads();
  desktop.log().clear();
  scrollMessages(60ms, 300);
  EXPECT_EQ(failed(), AccessibilityReader::kSmearedReadsGivenUp + 1);
}

// MARK: Scrolling

// The shown blur lying over all of `list` (window-relative), if any: the cover of a moving list.
std::optional<Rect> coverOver(const std::vector<sim::BlurViewState>& shown, const Rect& list) {
  for (const auto& view : shown) {
    const Rect& f = view.frame;
    if (f.minX() <= list.minX() && f.maxX() >= list.maxX() && f.minY() <= list.minY() + 1 &&
        f.maxY() >= list.maxY() - 1)
      return f;
  }
  return std::nullopt;
}

// "Cover lists while scrolling", on or off: a list the wheel turns is covered while its patches
// cannot be trusted.
void OverlayTest::expectCoverWhileScrolling(bool on) {
  settings->setCoversMovingLists(on);
  startPrecise();
  const Rect list = windowRelative(conversation).intersection(Rect(0, 60, 1000, 560));
  const auto covered = [&] { return coverOver(shownBlurs(), list).has_value(); };
  ASSERT_FALSE(covered());

  // The wheel turns over the conversation, and every measurement fails: covered (when on)
  // until the wheel has rested for 0.4 s.
  failReads();
  for (const ElementId m : messages)
    desktop.accessibility().inject(m, platform::Attribute::position, sim::Fault::callFails);
  scrollMessages(100ms, 300);
  EXPECT_EQ(covered(), on);
  desktop.runFor(355ms);  // 0.375 s after the last turn
  EXPECT_EQ(covered(), on);
  desktop.runFor(45ms);
  EXPECT_FALSE(covered());

  // Measured again since the last turn, within a frame: trusted. (A measurement begun at the
  // very moment of the turn may have seen the content before it moved, and does not count.)
  for (const ElementId m : messages)
    desktop.accessibility().clearFaults(m);
  scrollMessages(100ms, 300);
  desktop.runFor(17ms);
  EXPECT_FALSE(covered());
  // Turned over the chat list: the conversation is not covered.
  desktop.windowServer().setMouseTopLeft({200, 300});
  desktop.toolkit().scrollWheel({-10});
  desktop.runFor(17ms);
  EXPECT_FALSE(covered());
}

TEST_F(OverlayTest, AMovingListWhosePatchesCannotBeTrustedIsCovered) {
  expectCoverWhileScrolling(true);
}

TEST_F(OverlayTest, WithoutCoveringMovingListsOnlyThePatchesShow) {
  expectCoverWhileScrolling(false);
}

TEST_F(OverlayTest, InLayoutModeTheLatestMessagesBandIsCoveredWhileTheWheelHasTakenItAway) {
  start();
  ASSERT_EQ(controller->status(), Status::protecting(false));
  const auto areas = BlurLayout::areas(kWindowBounds.size, settings->metrics(), {});
  const Rect& m = areas.messageArea;
  // A point in the band kept for the latest messages, and where the pointer scrolls from (far
  // enough above it for the pointer's own reveal not to reach it).
  const Point band{m.midX(), m.maxY() - 20};
  const Point over{m.minX() + 100, m.minY() + 40};
  const auto covered = [&] {
    for (const auto& view : shownBlurs())
      if (view.frame.contains(band)) return true;
    return false;
  };
  const auto at = [&](Point local) {
    desktop.windowServer().setMouseTopLeft(
        {kWindowBounds.minX() + local.x, kWindowBounds.minY() + local.y});
  };
  const Point chat{areas.chatList.midX(), areas.chatList.midY()};
  // The button's reach: 80 points from the message area's lower right corner.
  const Point jump{m.maxX() - 79.5, m.maxY() - 79.5};
  const Point besideJump{m.maxX() - 80.5, m.maxY() - 30};
  const struct {
    const char* step;
    Point where;
    std::optional<double> wheel;  // else a click
    bool covered;
  } steps[] = {
      {"three turns up, towards older messages", over, 3, true},
      {"two down", over, -2, true},
      {"the third down: back", over, -1, false},
      {"down past the newest changes nothing", over, -5, false},
      {"so one up is away again", over, 1, true},
      {"a click in the conversation proves nothing", over, std::nullopt, true},
      {"turns over the chat list do not count", chat, -4, true},
      {"a chat clicked opens at its newest messages", chat, std::nullopt, false},
      {"up again", over, 2, true},
      {"a click beside the jump-to-bottom button", besideJump, std::nullopt, true},
      {"the jump-to-bottom button", jump, std::nullopt, false},
      {"a turn that is no number: away until proven back", over,
       std::numeric_limits<double>::quiet_NaN(), true},
      {"even after many down", over, -1000, true},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(s.step);
    at(s.where);
    desktop.runFor(40ms);  // the pointer is over WhatsApp for the next tick
    if (s.wheel)
      desktop.toolkit().scrollWheel({*s.wheel});
    else
      desktop.toolkit().click();
    desktop.runFor(1ms);  // heard where the pointer is
    at(over);
    desktop.runFor(40ms);
    EXPECT_EQ(covered(), s.covered);
  }
  settings->setUnblurLastMessages(false);
  desktop.runFor(40ms);
  EXPECT_TRUE(covered()) << "without the option the band is blurred anyway";
}

TEST_F(OverlayTest, AWheelStepIsFollowedAtTheNextFrameAndPatchesDoNotRunAheadOfSteps) {
  settings->setUnblurLastMessages(false);
  startPrecise();
  failReads();                                         // only measurements move the patches now
  desktop.windowServer().setMouseTopLeft({950, 400});  // over the conversation, beside the text
  desktop.runFor(40ms);
  // Steps of 10 points at every phase of the frame, each with its wheel event; at each frame
  // the patch is on the message, neither behind it nor ahead of it.
  const auto frame =
      std::chrono::duration_cast<sim::Duration>(std::chrono::duration<double>(1.0 / 60));
  double offset = 0;
  for (int k = 0; k < 12; ++k) {
    SCOPED_TRACE(k);
    offset += 10;
    desktop.accessibility().setScrollOffset(conversation, offset);
    desktop.toolkit().scrollWheel({-10});
    desktop.runFor(frame + std::chrono::milliseconds(k));
    EXPECT_TRUE(blurNear(windowRelative(messages[4]), 0.5))
        << "no patch on the message at " << windowRelative(messages[4]);
  }
}

// WhatsApp's window as its pixels show it: blank while it starts, then its layout.
struct StartingPixels {
  const platform::WindowImage blank{1000, 700, 1,
                                    std::vector<std::uint32_t>(1000 * 700, 0xFFF0F2F5)};
  const platform::WindowImage layout =
      testing::window(1000, 700, 1, testing::kDark, {64, 360, 100, 60, 62});
  const platform::WindowImage* shown = &blank;
};

// While WhatsApp is still drawing its first frame, its pixels are looked at every half second.
TEST_F(OverlayTest, AStartingWhatsAppIsMeasuredSoonAfterItShowsItsLayout) {
  StartingPixels pixels;
  desktop.toolkit().setWindowPixels([&] { return std::optional(*pixels.shown); });
  start();
  desktop.runFor(1s);
  ASSERT_EQ(shownBlurs().size(), 1u) << "covered whole";
  pixels.shown = &pixels.layout;
  desktop.runFor(700ms);
  EXPECT_GT(shownBlurs().size(), 1u);
  EXPECT_TRUE(settings->hasStoredMetrics());
}

// Never calibrated, the layout mode covers all of WhatsApp, the pointer opening nothing, until
// the window's pixels show its layout; then the measurements are stored and used.
TEST_F(OverlayTest, ANeverCalibratedLayoutIsCoveredWholeUntilMeasuredFromThePixels) {
  StartingPixels pixels;
  desktop.toolkit().setWindowPixels([&] { return std::optional(*pixels.shown); });
  desktop.windowServer().setMouseTopLeft({kWindowBounds.minX() + 200, kWindowBounds.minY() + 300});
  const auto coveredWhole = [&] {
    const auto views = shownBlurs();
    return views.size() == 1 && views.front().frame == Rect(0, 0, 1000, 700);
  };
  start();
  desktop.runFor(4800ms);
  EXPECT_TRUE(coveredWhole()) << "under the pointer too";
  EXPECT_EQ(controller->status(), Status::protecting(false)) << "still looking";
  desktop.runFor(400ms);
  EXPECT_TRUE(coveredWhole());
  EXPECT_EQ(controller->status(), Status::unmeasured());
  const char* const failed = "Couldn't measure WhatsApp's layout: blurring the whole window";
  EXPECT_EQ(count(failed), 1);
  EXPECT_FALSE(settings->hasStoredMetrics());

  pixels.shown = &pixels.layout;  // WhatsApp was slow to start: it is looked at again every 2 s
  desktop.runFor(1500ms);
  EXPECT_TRUE(coveredWhole()) << "not looked at again yet";
  desktop.runFor(600ms);
  EXPECT_FALSE(coveredWhole());
  EXPECT_FALSE(shownBlurs().empty());
  EXPECT_EQ(controller->status(), Status::protecting(false));
  EXPECT_EQ(count("Measured WhatsApp's layout: rail 64, chat list 360, list header 101, "
                  "conversation header 60, message field 62"),
            1);
  EXPECT_TRUE(settings->hasStoredMetrics());
  EXPECT_EQ(settings->metrics().chatListWidth, 360);

  // "Measure automatically" covers everything until it has measured again.
  pixels.shown = &pixels.blank;
  controller->measureLayoutAgain();
  desktop.runFor(40ms);
  EXPECT_TRUE(coveredWhole());
  // A measurement the user sets ends the measuring.
  auto metrics = settings->metrics();
  metrics.railWidth = 70;
  settings->setMetrics(metrics);
  desktop.runFor(40ms);
  EXPECT_FALSE(coveredWhole());
  desktop.runFor(6s);
  EXPECT_EQ(count(failed), 1) << "nothing more is measured";

  // Stored measurements are trusted at the next launch, whatever the pixels show.
  controller.reset();
  settings = std::make_unique<AppSettings>(defaults);
  controller = std::make_unique<OverlayController>(
      *settings, OverlayPorts{desktop.accessibility(), desktop.windowServer(), desktop.toolkit(),
                              desktop.scheduler(), desktop.log()});
  start();
  EXPECT_FALSE(coveredWhole());
  EXPECT_EQ(settings->metrics().railWidth, 70);
}

// The panic key and idle protection cover the whole window with one patch the pointer cannot
// open, and give back the usual patches within two frames of their end.
void OverlayTest::expectCoversAllUntil(const std::function<void()>& cover,
                                       const std::function<void()>& uncover, Status::Kind kind) {
  start();
  const auto usual = shownBlurs().size();
  ASSERT_GT(usual, 1u);

  cover();
  desktop.runFor(1100ms);  // idle time is asked once a second while nothing is covered
  ASSERT_EQ(shownBlurs().size(), 1u);
  EXPECT_EQ(shownBlurs()[0].frame, Rect(0, 0, 1000, 700));
  EXPECT_EQ(controller->status(), Status::of(kind));
  desktop.windowServer().setMouseTopLeft({600, 400});  // over WhatsApp: reveals nothing
  desktop.runFor(100ms);
  EXPECT_EQ(shownBlurs().size(), 1u);
  desktop.windowServer().setMouseTopLeft({1300, 850});
  desktop.runFor(100ms);

  uncover();
  desktop.runFor(70ms);
  EXPECT_EQ(shownBlurs().size(), usual);
  EXPECT_EQ(controller->status(), Status::protecting(false));
}

TEST_F(OverlayTest, ThePanicKeyCoversAllUntilPressedAgain) {
  const auto press = [this] { desktop.toolkit().pressKeys("Ctrl+Alt+B"); };
  expectCoversAllUntil(press, press, Status::Kind::coveredByKey);
}

TEST_F(OverlayTest, AMinuteWithoutInputCoversAllUntilTheNextInput) {
  settings->setIdleMinutes(1);
  expectCoversAllUntil(
      [this] {
        desktop.toolkit().setSecondsSinceInput(59.9);
        desktop.runFor(2s);
        EXPECT_EQ(controller->status(), Status::protecting(false)) << "not yet";
        desktop.toolkit().setSecondsSinceInput(60);
      },
      [this] { desktop.toolkit().setSecondsSinceInput(0.2); }, Status::Kind::coveredWhileAway);
  EXPECT_EQ(count("No input for 60 s: covering all of WhatsApp"), 1);
  EXPECT_EQ(count("Input again: showing WhatsApp's patches"), 1);
}

TEST_F(OverlayTest, APanicKeyHeldElsewhereIsToldAndAnotherKeyCanBeChosen) {
  desktop.toolkit().setHeldElsewhere("Ctrl+Alt+B");
  start();
  EXPECT_EQ(controller->shortcutProblem(), "Another program already uses Ctrl+Alt+B");
  EXPECT_EQ(desktop.log().count("window", "Panic key: Another program already uses Ctrl+Alt+B"), 1);

  settings->setPanicShortcut("Ctrl+Alt+P");
  EXPECT_EQ(controller->shortcutProblem(), "");
  desktop.toolkit().pressKeys("Ctrl+Alt+B");
  desktop.runFor(100ms);
  EXPECT_FALSE(controller->isCoveredByKey());
  desktop.toolkit().pressKeys("Ctrl+Alt+P");
  desktop.runFor(100ms);
  EXPECT_TRUE(controller->isCoveredByKey());

  settings->setPanicShortcut("");
  EXPECT_EQ(desktop.toolkit().shortcut(), "") << "no key is held for nothing";
}

// A read that finds nothing of WhatsApp blurs what the layout mode would, down to the smallest
// window located; the switch off leaves the precise result.
TEST_F(OverlayTest, AnUnrecognisedWindowIsBlurredAsTheLayoutModeWould) {
  settings->setUsesAccessibility(false);
  start();
  const auto layoutMode = shownBlurs();

  // An interface of another shape: no role or label the analysis knows.
  auto& ax = desktop.accessibility();
  app = ax.addApplication(kWhatsAppPid);
  const ElementId window = ax.addChild(app, {.role = "AXWindow", .frame = kWindowBounds});
  const ElementId pane = ax.addChild(window, {.role = "AXLayoutArea", .frame = kWindowBounds});
  ax.addChild(pane, {.role = "AXCell", .description = Value("Alice"), .frame = kWindowBounds});
  ax.setTrusted(true);
  settings->setUsesAccessibility(true);
  desktop.runFor(500ms);
  EXPECT_EQ(controller->status(), Status::of(Status::Kind::unrecognised));
  EXPECT_EQ(shownBlurs(), layoutMode);

  settings->setCoversUnrecognised(false);
  desktop.runFor(100ms);
  EXPECT_EQ(controller->status(), Status::protecting(true));
  EXPECT_NE(shownBlurs(), layoutMode);
  settings->setCoversUnrecognised(true);

  desktop.windowServer().window(whatsApp).bounds = Rect(100, 80, 301, 301);
  desktop.runFor(500ms);
  EXPECT_EQ(controller->status(), Status::of(Status::Kind::unrecognised));
}

}  // namespace
}  // namespace velvix
