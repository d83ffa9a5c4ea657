#include <Simulator/Desktop.hpp>

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <thread>

namespace velvix::sim {
namespace {

using namespace std::chrono_literals;
using platform::Error;

// One application with a window, a list in it and two rows in the list.
struct SmallTree {
  Desktop desktop;
  SimAccessibility& ax = desktop.accessibility();
  ElementId app = ax.addApplication(42);
  ElementId window = ax.addChild(app, {.role = "AXWindow", .frame = {100, 50, 800, 600}});
  ElementId list = ax.addChild(window, {.role = "AXList", .frame = {100, 150, 300, 400}});
  ElementId row0 = ax.addChild(
      list, {.role = "AXRow", .description = Value("Alice"), .frame = {100, 150, 300, 70}});
  ElementId row1 = ax.addChild(list, {.role = "AXRow", .frame = {100, 220, 300, 70}});
  platform::Element appElement = ax.applicationElement(42);

  // The handle at `path` (child indices from the application's windows down), reached the way
  // the app reaches it, so that it is a real one.
  platform::Element at(std::initializer_list<std::size_t> path) {
    platform::Element e = appElement;
    auto attribute = Attribute::windows;
    for (const std::size_t i : path) {
      e = ax.copyAttributeValue(e, attribute).get()->elements()->at(i);
      attribute = Attribute::children;
    }
    return e;
  }
  double y(const platform::Element& e) {
    return ax.copyAttributeValue(e, Attribute::position).get()->point()->y;
  }
};

TEST(SimAccessibility, AnswersTheAttributesOfItsTree) {
  SmallTree t;
  EXPECT_EQ(t.ax.idOf(t.at({0})), t.window);
  const std::array attributes = {Attribute::role, Attribute::description, Attribute::position,
                                 Attribute::size, Attribute::children,    Attribute::title};
  const auto row = t.ax.copyMultipleAttributeValues(t.at({0, 0, 0}), attributes);
  ASSERT_EQ(row.error, Error::success);
  ASSERT_EQ(row.values->size(), 6u);
  EXPECT_EQ(*(*row.values)[0].string(), "AXRow");
  EXPECT_EQ(*(*row.values)[1].string(), "Alice");
  EXPECT_EQ((*row.values)[2].point(), (Point{100, 150}));
  EXPECT_EQ((*row.values)[3].size(), (Size{300, 70}));
  EXPECT_TRUE((*row.values)[4].elements() && (*row.values)[4].elements()->empty());
  EXPECT_TRUE((*row.values)[5].isSlotError());  // no title: an error in its slot only
  const auto title = t.ax.copyAttributeValue(t.at({0, 0, 0}), Attribute::title);
  EXPECT_NE(title.error, Error::success);
  EXPECT_EQ(title.get(), nullptr);
}

TEST(SimAccessibility, EachInjectedFaultGivesItsOwnOutcome) {
  const std::array attributes = {Attribute::role, Attribute::position, Attribute::size};
  const struct {
    const char* name;
    std::optional<Attribute> attribute;
    Fault fault;
    Error singleError;  // reading `position` alone
    bool singleHasValue;
    Error multipleError;
    std::optional<std::size_t> multipleCount;
    bool positionSlotIsError;
    bool positionIsPoint;
  } cases[] = {
      {"failed call on the attribute", Attribute::position, Fault::callFails, Error::failure, false,
       Error::failure, std::nullopt, false, false},
      {"failed call on the element", std::nullopt, Fault::callFails, Error::failure, false,
       Error::failure, std::nullopt, false, false},
      {"error slot", Attribute::position, Fault::errorSlot, Error::failure, false, Error::success,
       3, true, false},
      {"wrong kind: a size where a point belongs", Attribute::position, Fault::wrongKind,
       Error::success, true, Error::success, 3, false, false},
      {"timeout", Attribute::position, Fault::timeout, Error::cannotComplete, false,
       Error::cannotComplete, std::nullopt, false, false},
      {"null value", Attribute::position, Fault::nullValue, Error::success, false, Error::success,
       std::nullopt, false, false},
      {"short result", std::nullopt, Fault::shortResult, Error::success, true, Error::success, 2,
       false, true},
      {"a fault on another attribute leaves position alone", Attribute::size, Fault::errorSlot,
       Error::success, true, Error::success, 3, false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SmallTree t;
    const auto element = t.at({0, 0, 0});
    t.ax.inject(t.row0, c.attribute, c.fault);
    const auto single = t.ax.copyAttributeValue(element, Attribute::position);
    EXPECT_EQ(single.error, c.singleError);
    EXPECT_EQ(single.get() != nullptr, c.singleHasValue);
    const auto multiple = t.ax.copyMultipleAttributeValues(element, attributes);
    EXPECT_EQ(multiple.error, c.multipleError);
    EXPECT_EQ(multiple.values ? std::optional(multiple.values->size()) : std::nullopt,
              c.multipleCount);
    if (multiple.values && multiple.values->size() >= 2) {
      EXPECT_EQ((*multiple.values)[1].isSlotError(), c.positionSlotIsError);
      EXPECT_EQ((*multiple.values)[1].point().has_value(), c.positionIsPoint);
    }
  }
}

TEST(SimAccessibility, AVanishedElementFailsWithItsSubtreeWhileOldHandlesStayValidObjects) {
  SmallTree t;
  const auto list = t.at({0, 0});
  const auto row = t.at({0, 0, 1});
  t.ax.remove(t.list);
  EXPECT_EQ(t.ax.copyAttributeValue(list, Attribute::position).error, Error::invalidElement);
  EXPECT_EQ(t.ax.copyAttributeValue(row, Attribute::position).error, Error::invalidElement);
  const auto children = t.ax.copyAttributeValue(t.at({0}), Attribute::children);
  ASSERT_TRUE(children.get() && children.get()->elements());
  EXPECT_TRUE(children.get()->elements()->empty());
}

TEST(SimAccessibility, ATimeoutWaitsOutTheTimeoutSetOnTheApplicationElement) {
  SmallTree t;
  t.ax.inject(t.row1, Attribute::size, Fault::timeout);
  auto& clock = t.desktop.scheduler();
  // Without a timeout set, the platform default applies.
  double start = clock.mediaTime();
  (void)t.ax.copyAttributeValue(t.at({0, 0, 1}), Attribute::size);
  EXPECT_NEAR(clock.mediaTime() - start, SimAccessibility::kDefaultMessagingTimeout, 1e-9);
  // Set on a fresh application element, it governs the handles reached through it.
  t.appElement = t.ax.applicationElement(42);
  EXPECT_EQ(t.ax.setMessagingTimeout(t.appElement, 0.25), Error::success);
  EXPECT_EQ(t.ax.messagingTimeout(42), 0.25);
  const auto row = t.at({0, 0, 1});
  start = clock.mediaTime();
  EXPECT_EQ(t.ax.copyAttributeValue(row, Attribute::size).error, Error::cannotComplete);
  EXPECT_NEAR(clock.mediaTime() - start, 0.25, 1e-9);
}

TEST(SimAccessibility, ScrollingMovesTheListsContentButNotTheList) {
  SmallTree t;
  const auto row = t.at({0, 0, 0});
  t.ax.setScrollOffset(t.list, 40);
  EXPECT_EQ(t.y(row), 110);
  EXPECT_EQ(t.y(t.at({0, 0})), 150);
  t.ax.setScrollVelocity(t.list, -300);  // scrolling back up: content moves down
  t.desktop.runFor(100ms);
  EXPECT_NEAR(t.y(row), 140, 1e-9);
  EXPECT_NEAR(t.ax.frameNow(t.row0).minY(), 140, 1e-9);
}

TEST(SimAccessibility, CallCostsTakeVirtualTimeAndRepliesShowTheStateAtCompletion) {
  SmallTree t;
  auto& clock = t.desktop.scheduler();
  const auto row = t.at({0, 0, 0});
  t.ax.setCallCost(10ms);
  t.ax.setElementCost(t.row0, 40ms);
  t.ax.setScrollVelocity(t.list, 100);
  const double start = clock.mediaTime();
  EXPECT_NEAR(t.y(row), 150 - 5, 1e-9);
  EXPECT_NEAR(clock.mediaTime() - start, 0.05, 1e-9);
}

TEST(SimAccessibility, TrustAndPrompts) {
  Desktop desktop;
  auto& ax = desktop.accessibility();
  EXPECT_TRUE(ax.isProcessTrusted());
  ax.setTrusted(false);
  ax.promptForTrust();
  ax.promptForTrust();
  EXPECT_EQ(ax.promptCount(), 2);
  EXPECT_FALSE(ax.isProcessTrusted());  // a prompt grants nothing by itself
}

TEST(SimAccessibility, TwoThreadsMayReadAndReleaseTheSameElementsAtOnce) {
  Desktop desktop(TimeMode::realThreads);
  auto& ax = desktop.accessibility();
  const ElementId window = ax.addChild(ax.addApplication(7), {.role = "AXWindow"});
  for (int i = 0; i < 20; ++i)
    ax.addChild(window, {.role = "AXRow", .frame = {0, 20.0 * i, 500, 20}});
  const auto windows = ax.copyAttributeValue(ax.applicationElement(7), Attribute::windows);
  const platform::Element shared = windows.get()->elements()->front();
  std::atomic<long> answers{0};
  auto work = [&] {
    for (int i = 0; i < 200; ++i) {
      const platform::Element copy = shared;  // copied and released on both threads
      const auto kids = ax.copyAttributeValue(copy, Attribute::children);
      if (kids.get() && kids.get()->elements()->size() == 20) ++answers;
      ax.setScrollOffset(window, i);
    }
  };
  std::thread other(work);
  work();
  other.join();
  EXPECT_EQ(answers.load(), 400);
}

}  // namespace
}  // namespace velvix::sim
