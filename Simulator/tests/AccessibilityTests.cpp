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

  platform::Element element(ElementId id) {
    // Walk from the application element the way the app does, so the handle is a real one.
    std::vector<ElementId> path;
    for (ElementId at = id; at != app;) {
      path.insert(path.begin(), at);
      at = parentOf(at);
    }
    platform::Element current = appElement;
    ElementId currentId = app;
    for (ElementId step : path) {
      const auto attribute = currentId == app ? Attribute::windows : Attribute::children;
      const auto result = ax.copyAttributeValue(current, attribute);
      const auto kids = ax.children(currentId);
      const auto* elements = result.get()->elements();
      for (std::size_t i = 0; i < kids.size(); ++i)
        if (kids[i] == step) current = (*elements)[i];
      currentId = step;
    }
    return current;
  }

  ElementId parentOf(ElementId id) {
    for (ElementId candidate : {app, window, list})
      for (ElementId child : ax.children(candidate))
        if (child == id) return candidate;
    return app;
  }
};

TEST(SimAccessibility, AnswersTheAttributesOfItsTree) {
  SmallTree t;
  const auto windows = t.ax.copyAttributeValue(t.appElement, Attribute::windows);
  ASSERT_EQ(windows.error, Error::success);
  ASSERT_TRUE(windows.get() && windows.get()->elements());
  ASSERT_EQ(windows.get()->elements()->size(), 1u);
  EXPECT_EQ(t.ax.idOf(windows.get()->elements()->front()), t.window);

  const std::array attributes = {Attribute::role, Attribute::description, Attribute::position,
                                 Attribute::size, Attribute::children,    Attribute::title};
  const auto row = t.ax.copyMultipleAttributeValues(t.element(t.row0), attributes);
  ASSERT_EQ(row.error, Error::success);
  ASSERT_TRUE(row.values);
  ASSERT_EQ(row.values->size(), 6u);
  EXPECT_EQ(*(*row.values)[0].string(), "AXRow");
  EXPECT_EQ(*(*row.values)[1].string(), "Alice");
  EXPECT_EQ((*row.values)[2].point(), (Point{100, 150}));
  EXPECT_EQ((*row.values)[3].size(), (Size{300, 70}));
  EXPECT_TRUE((*row.values)[4].elements() && (*row.values)[4].elements()->empty());
  EXPECT_TRUE((*row.values)[5].isSlotError());  // no title: an error in its slot only

  const auto title = t.ax.copyAttributeValue(t.element(t.row0), Attribute::title);
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
    const auto element = t.element(t.row0);
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
  const auto list = t.element(t.list);
  const auto row = t.element(t.row1);
  t.ax.remove(t.list);
  EXPECT_EQ(t.ax.copyAttributeValue(list, Attribute::position).error, Error::invalidElement);
  EXPECT_EQ(t.ax.copyAttributeValue(row, Attribute::position).error, Error::invalidElement);
  const auto children = t.ax.copyAttributeValue(t.element(t.window), Attribute::children);
  ASSERT_TRUE(children.get() && children.get()->elements());
  EXPECT_TRUE(children.get()->elements()->empty());
}

TEST(SimAccessibility, ATimeoutWaitsOutTheTimeoutSetOnTheApplicationElement) {
  SmallTree t;
  t.ax.inject(t.row1, Attribute::size, Fault::timeout);
  auto& clock = t.desktop.scheduler();

  // Without a timeout set, the platform default applies.
  double start = clock.mediaTime();
  (void)t.ax.copyAttributeValue(t.element(t.row1), Attribute::size);
  EXPECT_NEAR(clock.mediaTime() - start, SimAccessibility::kDefaultMessagingTimeout, 1e-9);

  // Set on a fresh application element, it governs the handles reached through it.
  t.appElement = t.ax.applicationElement(42);
  EXPECT_EQ(t.ax.setMessagingTimeout(t.appElement, 0.25), Error::success);
  EXPECT_EQ(t.ax.messagingTimeout(42), 0.25);
  const auto row = t.element(t.row1);
  start = clock.mediaTime();
  EXPECT_EQ(t.ax.copyAttributeValue(row, Attribute::size).error, Error::cannotComplete);
  EXPECT_NEAR(clock.mediaTime() - start, 0.25, 1e-9);
}

TEST(SimAccessibility, ScrollingMovesTheListsContentButNotTheList) {
  SmallTree t;
  const auto row = t.element(t.row0);
  const auto list = t.element(t.list);
  auto y = [&](const platform::Element& e) {
    return t.ax.copyAttributeValue(e, Attribute::position).get()->point()->y;
  };
  t.ax.setScrollOffset(t.list, 40);
  EXPECT_EQ(y(row), 110);
  EXPECT_EQ(y(list), 150);

  t.ax.setScrollVelocity(t.list, -300);  // scrolling back up: content moves down
  t.desktop.runFor(100ms);
  EXPECT_NEAR(y(row), 140, 1e-9);
  EXPECT_NEAR(t.ax.frameNow(t.row0).minY(), 140, 1e-9);
}

TEST(SimAccessibility, CallCostsTakeVirtualTimeAndRepliesShowTheStateAtCompletion) {
  SmallTree t;
  auto& clock = t.desktop.scheduler();
  const auto row = t.element(t.row0);
  t.ax.setCallCost(10ms);
  t.ax.setElementCost(t.row0, 40ms);
  t.ax.setScrollVelocity(t.list, 100);
  const double start = clock.mediaTime();
  const auto position = t.ax.copyAttributeValue(row, Attribute::position);
  EXPECT_NEAR(clock.mediaTime() - start, 0.05, 1e-9);
  EXPECT_NEAR(position.get()->point()->y, 150 - 5, 1e-9);
}

TEST(SimAccessibility, TrustAndPrompts) {
  Desktop desktop;
  auto& ax = desktop.accessibility();
  EXPECT_TRUE(ax.isProcessTrusted());
  ax.setTrusted(false);
  EXPECT_FALSE(ax.isProcessTrusted());
  ax.promptForTrust();
  ax.promptForTrust();
  EXPECT_EQ(ax.promptCount(), 2);
  EXPECT_FALSE(ax.isProcessTrusted());  // a prompt grants nothing by itself
}

TEST(SimAccessibility, TwoThreadsMayReadAndReleaseTheSameElementsAtOnce) {
  Desktop desktop(TimeMode::realThreads);
  auto& ax = desktop.accessibility();
  const ElementId app = ax.addApplication(7);
  const ElementId window = ax.addChild(app, {.role = "AXWindow", .frame = {0, 0, 500, 500}});
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
