#include <Velvix/ScrollTracker.hpp>

#include <Simulator/Desktop.hpp>

#include <gtest/gtest.h>

namespace velvix {
namespace {

using platform::Attribute;
using sim::ElementId;

const Rect kFrame(100, 80, 1000, 700);

// A window with a chat list and a message list, each holding one watched row.
struct TrackerWorld {
  sim::Desktop desktop;
  sim::SimAccessibility& ax = desktop.accessibility();
  ScrollTracker tracker{ax};
  ElementId app = ax.addApplication(42);
  ElementId window = ax.addChild(app, {.role = "AXWindow", .frame = kFrame});
  ElementId chatList = ax.addChild(window, {.frame = Rect(170, 180, 330, 600)});
  ElementId chatRow = ax.addChild(chatList, {.frame = Rect(170, 400, 300, 72)});
  ElementId messageList = ax.addChild(window, {.frame = Rect(500, 140, 600, 560)});
  ElementId message = ax.addChild(messageList, {.frame = Rect(520, 420, 560, 60)});

  platform::Element handle(ElementId parent, ElementId id) {
    const auto list = ax.copyAttributeValue(handleOf(parent), Attribute::children);
    const auto kids = ax.children(parent);
    for (std::size_t i = 0; i < kids.size(); ++i)
      if (kids[i] == id) return (*list.get()->elements())[i];
    return nullptr;
  }
  platform::Element handleOf(ElementId id) {
    const auto windows = ax.copyAttributeValue(ax.applicationElement(42), Attribute::windows);
    const platform::Element w = windows.get()->elements()->front();
    if (id == window) return w;
    return handle(window, id);
  }

  std::int64_t publishBoth() {
    return tracker.publish(ScrollTracker::Reference{handle(chatList, chatRow), 320},
                           ScrollTracker::Reference{handle(messageList, message), 340}, kFrame);
  }
};

// Inactive, fresh or deactivated, it measures nothing; active without references it reports no
// movement; with them, how far each watched element moved since the read that published it.
TEST(ScrollTracker, MeasuresOnlyWhileActiveAndFromTheLastRead) {
  TrackerWorld w;
  EXPECT_EQ(w.tracker.state().generation, 0);
  EXPECT_FALSE(w.tracker.state().isActive);
  EXPECT_TRUE(w.tracker.state().windowFrame.isNull());
  EXPECT_FALSE(w.tracker.measure());
  EXPECT_EQ(w.tracker.publish(std::nullopt, std::nullopt, kFrame), 1);
  ASSERT_TRUE(w.tracker.measure());
  EXPECT_EQ(w.tracker.measure()->offset, (ScrollOffset{0, 0}));

  EXPECT_EQ(w.publishBoth(), 2);
  EXPECT_EQ(w.tracker.state().windowFrame, kFrame);
  w.ax.setScrollOffset(w.chatList, 40);      // content up by 40
  w.ax.setScrollOffset(w.messageList, -25);  // content down by 25
  auto m = w.tracker.measure();
  ASSERT_TRUE(m);
  EXPECT_EQ(m->generation, 2);
  EXPECT_EQ(m->offset, (ScrollOffset{-40, 25}));

  w.tracker.deactivate();
  EXPECT_FALSE(w.tracker.measure());
  EXPECT_TRUE(w.tracker.state().chatList) << "the references stay";
  // The next read sees the rows where they now are, and offsets start again.
  EXPECT_EQ(
      w.tracker.publish(ScrollTracker::Reference{w.handle(w.chatList, w.chatRow), 280},
                        ScrollTracker::Reference{w.handle(w.messageList, w.message), 365}, kFrame),
      3);
  m = w.tracker.measure();
  ASSERT_TRUE(m);
  EXPECT_EQ(m->generation, 3);
  EXPECT_EQ(m->offset, (ScrollOffset{0, 0}));
}

TEST(ScrollTracker, AMovementOfTheWindowsHeightOrMoreYieldsNothing) {
  const struct {
    const char* name;
    double offset;
    std::optional<double> expected;
  } cases[] = {
      {"one point less than the height, up", 699, -699},
      {"exactly the height, up", 700, std::nullopt},
      {"exactly the height, down", -700, std::nullopt},
      {"one point less, down", -699, 699},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TrackerWorld w;
    w.tracker.publish(std::nullopt,
                      ScrollTracker::Reference{w.handle(w.messageList, w.message), 340}, kFrame);
    w.ax.setScrollOffset(w.messageList, c.offset);
    const auto m = w.tracker.measure();
    EXPECT_EQ(m ? std::optional(m->offset.messages) : std::nullopt, c.expected);
  }
}

TEST(ScrollTracker, AnyReferenceThatCannotBeMeasuredSpoilsTheWholeMeasurement) {
  const struct {
    const char* name;
    sim::Fault fault;
  } cases[] = {
      {"vanished", sim::Fault::callFails},
      {"a position of the wrong kind", sim::Fault::wrongKind},
      {"no position value", sim::Fault::nullValue},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TrackerWorld w;
    w.publishBoth();
    w.ax.inject(w.message, Attribute::position, c.fault);
    EXPECT_FALSE(w.tracker.measure());
  }
  TrackerWorld w;
  w.publishBoth();
  w.ax.remove(w.message);  // the chat-list reference is still fine
  EXPECT_FALSE(w.tracker.measure());
}

TEST(ScrollTracker, CurrentYIsRelativeToTheGivenFrame) {
  TrackerWorld w;
  const auto row = w.handle(w.chatList, w.chatRow);
  EXPECT_EQ(ScrollTracker::currentY(w.ax, row, kFrame), 320);
  EXPECT_EQ(ScrollTracker::currentY(w.ax, row, Rect(0, 0, 10, 10)), 400);
  w.ax.remove(w.chatRow);
  EXPECT_EQ(ScrollTracker::currentY(w.ax, row, kFrame), std::nullopt);
}

}  // namespace
}  // namespace velvix
