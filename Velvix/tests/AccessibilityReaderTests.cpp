#include <Velvix/AccessibilityReader.hpp>

#include "WhatsAppTree.hpp"

#include <Simulator/Desktop.hpp>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>

namespace velvix {
namespace {

using namespace std::chrono_literals;
using platform::Attribute;
using sim::ElementId;
using sim::Fault;
using testing::WhatsAppTree;

constexpr int kPid = 42;
const Rect kFrame(100, 80, 1000, 700);

// The reader lives on its own executor; tests hand it work there and run the desktop until the
// work is done, as the overlay controller does.
struct ReaderWorld {
  sim::Desktop desktop;
  sim::SimAccessibility& ax = desktop.accessibility();
  AccessibilityReader reader{ax, desktop.scheduler(), desktop.log()};

  template <typename F>
  auto onReader(F work) -> decltype(work()) {
    std::optional<decltype(work())> out;
    reader.executor().post([&] { out.emplace(work()); });
    EXPECT_TRUE(desktop.runUntil([&] { return out.has_value(); }));
    return std::move(*out);
  }

  std::optional<AccessibilityReader::Result> read(bool quick = false, Rect frame = kFrame,
                                                  int pid = kPid) {
    return onReader([&] { return reader.read(pid, frame, quick); });
  }

  std::vector<std::string> logLines() { return desktop.log().texts("accessibility"); }
};

// "role label parent" per node, for comparing whole snapshots.
std::vector<std::string> dump(const std::vector<AccessibilityNode>& nodes) {
  std::vector<std::string> lines;
  for (const auto& node : nodes) {
    std::ostringstream line;
    line << node.role << " '" << node.label << "' ";
    if (node.parent)
      line << *node.parent;
    else
      line << "-";
    lines.push_back(line.str());
  }
  return lines;
}

TEST(AccessibilityReader, AFullReadWalksBreadthFirstWithParentIndicesAndWindowRelativeFrames) {
  ReaderWorld w;
  WhatsAppTree t(w.ax, kPid, kFrame);
  t.addWindow();
  const ElementId a = t.add(t.window, "AXGroup", Rect(10, 20, 100, 50), "A");
  const ElementId b = t.add(t.window, "AXGroup", Rect(10, 80, 100, 50), "B");
  t.add(a, "AXStaticText", Rect(12, 22, 30, 10), "a1");
  const ElementId b1 = t.add(b, "AXStaticText", Rect(12, 82, 30, 10), "b1");
  t.add(a, "AXStaticText", Rect(50, 22, 30, 10), "a2");

  const auto result = w.read();
  ASSERT_TRUE(result);
  EXPECT_EQ(result->generation, 1);
  const std::vector<std::string> expected = {
      "AXWindow '' -",       "AXGroup 'A' 0",       "AXGroup 'B' 0",
      "AXStaticText 'a1' 1", "AXStaticText 'a2' 1", "AXStaticText 'b1' 2",
  };
  EXPECT_EQ(dump(w.reader.nodes()), expected);
  EXPECT_EQ(w.reader.nodes()[0].frame, Rect(0, 0, 1000, 700));
  EXPECT_EQ(w.reader.nodes()[4].frame, Rect(50, 22, 30, 10));
  EXPECT_EQ(w.reader.elements().size(), 6u);
  EXPECT_EQ(w.ax.idOf(w.reader.elements()[5]), b1);  // the elements stay parallel to the nodes
  EXPECT_EQ(w.ax.messagingTimeout(kPid), 0.25);
  EXPECT_TRUE(w.logLines().empty());
}

TEST(AccessibilityReader, StopsAtThreeThousandNodesInBreadthFirstOrder) {
  ReaderWorld w;
  WhatsAppTree t(w.ax, kPid, kFrame);
  t.addWindow();
  // 50 groups of 70 rows: 3,551 readable elements.
  for (int g = 0; g < 50; ++g) {
    const ElementId group = t.add(t.window, "AXGroup", Rect(0, 10.0 * g, 100, 10));
    for (int r = 0; r < 70; ++r)
      t.add(group, "AXRow", Rect(0, 10.0 * g, 100, 1), std::to_string(g) + "." + std::to_string(r));
  }
  ASSERT_TRUE(w.read());
  const auto& nodes = w.reader.nodes();
  ASSERT_EQ(nodes.size(), AccessibilityReader::kMaximumNodes);
  EXPECT_EQ(nodes[50].role, "AXGroup");  // every group before any row
  EXPECT_EQ(nodes[51].label, "0.0");
  // 3,000 - 51 = 2,949 rows: all of groups 0 to 41 and the first 9 of group 42.
  EXPECT_EQ(nodes[2999].label, "42.8");
  EXPECT_EQ(nodes[2999].parent, 43u);
}

TEST(AccessibilityReader, ReadsNodesFortyLevelsDeepButNotTheirChildren) {
  ReaderWorld w;
  WhatsAppTree t(w.ax, kPid, kFrame);
  ElementId parent = t.addWindow();
  for (int depth = 1; depth <= 45; ++depth)
    parent = t.add(parent, "AXGroup", Rect(0, 0, 10, 10), std::to_string(depth));
  ASSERT_TRUE(w.read());
  ASSERT_EQ(w.reader.nodes().size(), 41u);
  EXPECT_EQ(w.reader.nodes().back().label, "40");
  EXPECT_EQ(w.reader.nodes().back().parent, 39u);
}

TEST(AccessibilityReader, LeavesOutAnUnreadableElementWithEverythingBelowIt) {
  const double nan = std::nan("");
  const struct {
    const char* name;
    std::optional<Attribute> attribute;
    std::optional<Fault> fault;
    std::optional<platform::Value> replacement;  // replaces `attribute` instead of a fault
  } cases[] = {
      {"role that is no string", Attribute::role, std::nullopt,
       platform::Value(platform::Value::Other{"a number"})},
      {"role in an error slot", Attribute::role, Fault::errorSlot, std::nullopt},
      {"position in an error slot", Attribute::position, Fault::errorSlot, std::nullopt},
      {"position holding a size", Attribute::position, Fault::wrongKind, std::nullopt},
      {"size holding a point", Attribute::size, Fault::wrongKind, std::nullopt},
      {"size without a value", Attribute::size, std::nullopt, std::nullopt},
      {"a non-finite position", Attribute::position, std::nullopt, platform::Value(Point{nan, 10})},
      {"a timeout", Attribute::title, Fault::timeout, std::nullopt},
      {"the whole call failing", std::nullopt, Fault::callFails, std::nullopt},
      {"a result one value short", std::nullopt, Fault::shortResult, std::nullopt},
      {"no result array", std::nullopt, Fault::nullValue, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ReaderWorld w;
    WhatsAppTree t(w.ax, kPid, kFrame);
    t.addWindow();
    const ElementId broken = t.add(t.window, "AXGroup", Rect(0, 0, 100, 100), "broken");
    t.add(broken, "AXStaticText", Rect(0, 0, 10, 10), "below broken");
    const ElementId fine = t.add(t.window, "AXGroup", Rect(0, 100, 100, 100), "fine");
    t.add(fine, "AXStaticText", Rect(0, 100, 10, 10), "below fine");
    if (c.fault) {
      w.ax.inject(broken, c.attribute, *c.fault);
    } else {
      w.ax.setAttribute(broken, *c.attribute, c.replacement);
    }
    ASSERT_TRUE(w.read());
    const std::vector<std::string> expected = {"AXWindow '' -", "AXGroup 'fine' 0",
                                               "AXStaticText 'below fine' 1"};
    EXPECT_EQ(dump(w.reader.nodes()), expected);
  }
}

TEST(AccessibilityReader, AnElementThatDoesNotAnswerCostsTheQuarterSecondTimeoutOnly) {
  ReaderWorld w;
  WhatsAppTree t(w.ax, kPid, kFrame);
  t.addWindow();
  const ElementId hung = t.add(t.window, "AXGroup", Rect(0, 0, 100, 100), "hung");
  t.add(t.window, "AXGroup", Rect(0, 100, 100, 100), "fine");
  w.ax.inject(hung, std::nullopt, Fault::timeout);
  w.ax.inject(t.app, Attribute::windows, Fault::timeout);  // the very first request hangs too

  const double start = w.desktop.scheduler().mediaTime();
  EXPECT_FALSE(w.read());
  w.ax.clearFaults(t.app);
  ASSERT_TRUE(w.read());
  // Two unanswered requests, each given up after 0.25 s rather than the platform's default.
  EXPECT_NEAR(w.desktop.scheduler().mediaTime() - start, 0.5, 1e-6);
  const std::vector<std::string> expected = {"AXWindow '' -", "AXGroup 'fine' 0"};
  EXPECT_EQ(dump(w.reader.nodes()), expected);
}

TEST(AccessibilityReader, LabelsAreTheFirstNonEmptyStringOfDescriptionTitleAndValue) {
  using platform::Value;
  const Value number(Value::Other{"42"});
  const struct {
    const char* name;
    std::optional<Value> description, title, value;
    std::string expected;
  } cases[] = {
      {"nothing", std::nullopt, std::nullopt, std::nullopt, ""},
      {"description first", Value("D"), Value("T"), Value("V"), "D"},
      {"an empty description gives way to the title", Value(""), Value("T"), Value("V"), "T"},
      {"a string value last", std::nullopt, Value(""), Value("V"), "V"},
      {"a description that is no string is passed over", number, Value("T"), std::nullopt, "T"},
      {"a value that is no string gives nothing", std::nullopt, std::nullopt, number, ""},
      {"a description in an error slot is passed over", Value(Value::SlotError{}), std::nullopt,
       Value("V"), "V"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ReaderWorld w;
    WhatsAppTree t(w.ax, kPid, kFrame);
    t.addWindow();
    const ElementId e = t.add(t.window, "AXStaticText", Rect(0, 0, 10, 10));
    w.ax.setAttribute(e, Attribute::description, c.description);
    w.ax.setAttribute(e, Attribute::title, c.title);
    w.ax.setAttribute(e, Attribute::value, c.value);
    ASSERT_TRUE(w.read());
    ASSERT_EQ(w.reader.nodes().size(), 2u);
    EXPECT_EQ(w.reader.nodes()[1].label, c.expected);
  }
}

TEST(AccessibilityReader, DiscardsAWindowTwoPointsOrMoreFromWhereTheWindowListHasIt) {
  const struct {
    const char* name;
    Point shift;
    std::optional<std::string> expectedLine;
  } cases[] = {
      {"in place", {0, 0}, std::nullopt},
      {"1.9 points off in both axes", {1.9, -1.9}, std::nullopt},
      {"2 points right", {2, 0}, "Read discarded: window at (2.0, 0.0) from where macOS has it"},
      {"2 points up", {0, -2}, "Read discarded: window at (0.0, -2.0) from where macOS has it"},
      {"far off, fractional",
       {-250.5, 30.25},
       "Read discarded: window at (-250.5, 30.25) from where macOS has it"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ReaderWorld w;
    WhatsAppTree t(w.ax, kPid, kFrame);
    t.addWindow(c.shift);
    const auto result = w.read();
    EXPECT_EQ(result.has_value(), !c.expectedLine);
    EXPECT_EQ(w.reader.pid().has_value(), !c.expectedLine);
    const auto lines = w.logLines();
    if (c.expectedLine) {
      ASSERT_EQ(lines.size(), 1u);
      EXPECT_EQ(lines[0], *c.expectedLine);
      EXPECT_EQ(w.desktop.log().lines()[0].subsystem, "app.velvix.Velvix");
      EXPECT_EQ(w.desktop.log().lines()[0].level, platform::LogLevel::standard);
    } else {
      EXPECT_TRUE(lines.empty());
    }
  }
}

// A failed read says why, clears the process read last and keeps the last good snapshot.
TEST(AccessibilityReader, LogsWhyAReadFailedAndKeepsTheLastGoodSnapshot) {
  const struct {
    const char* name;
    bool fromWindow;  // else from the application
    std::optional<Attribute> attribute;
    std::optional<Fault> fault;
    const char* line;
  } cases[] = {
      {"the window unreadable", true, std::nullopt, Fault::callFails,
       "Read failed: window unreadable"},
      {"the window list timing out", false, Attribute::windows, Fault::timeout,
       "Read failed: WhatsApp reports no windows"},
      {"a process without a tree", false, std::nullopt, std::nullopt,
       "Read failed: WhatsApp reports no windows"},
      {"children in an error slot", true, Attribute::children, Fault::errorSlot,
       "Read failed: window's children unreadable"},
      {"children of another kind", true, Attribute::children, Fault::wrongKind,
       "Read failed: window's children unreadable"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ReaderWorld w;
    auto t = WhatsAppTree::standard(w.ax, kPid, kFrame);
    ASSERT_TRUE(w.read());
    const auto goodNodes = w.reader.nodes();
    if (c.fault) w.ax.inject(c.fromWindow ? t.window : t.app, c.attribute, *c.fault);
    EXPECT_FALSE(w.read(false, kFrame, c.fault ? kPid : 99));
    EXPECT_EQ(w.logLines(), std::vector<std::string>{c.line});
    EXPECT_EQ(w.reader.nodes(), goodNodes);
    EXPECT_FALSE(w.reader.pid());
    EXPECT_EQ(w.reader.tracker()->state().generation, 1);
  }
}

TEST(AccessibilityReader, OfSeveralWindowsWalksTheOneNearestTheGivenFrame) {
  const struct {
    const char* name;
    std::vector<Rect> windows;  // global, in WhatsApp's order
    bool firstUnreadable;
    std::string expected;
  } cases[] = {
      {"the nearer one second",
       {Rect(0, 0, 400, 400), Rect(101, 80, 1000, 700)},
       false,
       "window 1"},
      {"equal distances: the first",
       {Rect(101, 80, 1000, 700), Rect(99, 80, 1000, 700)},
       false,
       "window 0"},
      {"a window whose size cannot be read is farthest",
       {Rect(100, 80, 1000, 700), Rect(130, 80, 1000, 700)},
       true,
       "window 1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ReaderWorld w;
    const ElementId app = w.ax.addApplication(kPid);
    std::vector<ElementId> windows;
    for (std::size_t i = 0; i < c.windows.size(); ++i)
      windows.push_back(w.ax.addChild(app, {.role = "AXWindow",
                                            .title = platform::Value("window " + std::to_string(i)),
                                            .frame = c.windows[i]}));
    if (c.firstUnreadable) w.ax.setAttribute(windows[0], Attribute::size, std::nullopt);
    w.read();  // the walked window may still fail the origin check; what was walked shows anyway
    const auto lines = w.logLines();
    if (c.expected == "window 1" && c.firstUnreadable) {
      ASSERT_EQ(lines.size(), 1u);
      EXPECT_EQ(lines[0], "Read discarded: window at (30.0, 0.0) from where macOS has it");
    } else {
      ASSERT_FALSE(w.reader.nodes().empty());
      EXPECT_EQ(w.reader.nodes()[0].label, c.expected);
    }
  }
}

// --- the quick refresh ------------------------------------------------------------------------

TEST(AccessibilityReader, AQuickRefreshSplicesFreshListItemsAfterTheKeptNodes) {
  ReaderWorld w;
  auto t = WhatsAppTree::standard(w.ax, kPid, kFrame, 4, 3);
  const auto full = w.read();
  ASSERT_TRUE(full);
  ASSERT_TRUE(w.reader.containers().chatList && w.reader.containers().messages)
      << "the structure analysis did not recognise the test tree";
  const std::size_t fullCount = w.reader.nodes().size();

  // The list changed since: a new chat on top.
  w.ax.setAttribute(t.rows[0], Attribute::description, platform::Value("Chat new"));
  const auto quick = w.read(true);
  ASSERT_TRUE(quick);
  EXPECT_EQ(quick->generation, 2);
  const std::vector<std::string> expected = {
      "AXWindow '' -",
      "AXGroup '' 0",  // chat list
      "AXGroup '' 0",  // pane
      "AXGroup '' 2",  // message list
      "AXTextArea '' 2",
      "AXGroup 'Chat new' 1",
      "AXGroup 'Chat 1' 1",
      "AXGroup 'Chat 2' 1",
      "AXGroup 'Chat 3' 1",
      "AXStaticText 'Message 0, 9:40' 3",
      "AXStaticText 'Message 1, 9:41' 3",
      "AXStaticText 'Message 2, 9:42' 3",
  };
  EXPECT_EQ(dump(w.reader.nodes()), expected);
  EXPECT_EQ(w.reader.nodes().size(), fullCount);
  EXPECT_EQ(w.reader.containers().chatList, 1u);
  EXPECT_EQ(w.reader.containers().messages, 3u);
  ASSERT_EQ(w.reader.elements().size(), fullCount);
  EXPECT_EQ(w.ax.idOf(w.reader.elements()[5]), t.rows[0]);
}

// Of two rows alike (the same role and label), each keeps its own subtree: the one read nearest.
// A row without a label is like no other: a new one has its children read.
TEST(AccessibilityReader, AQuickRefreshGivesEachRowItsOwnSubtree) {
  ReaderWorld w;
  auto t = WhatsAppTree::standard(w.ax, kPid, kFrame, 4, 3);
  const Rect rows[] = {Rect(420, 400, 560, 60), Rect(420, 470, 560, 60), Rect(420, 540, 560, 60)};
  const auto addRow = [&](int i, const char* label, const char* photo) {
    const ElementId row = t.add(t.messages, "AXGroup", rows[i], label);
    t.add(row, "AXImage", Rect(430, rows[i].minY() + 10, 40, 40), photo);
    return row;
  };
  const ElementId alike[] = {addRow(0, "photo", "first"), addRow(1, "photo", "second")};
  const ElementId unlabelled = addRow(2, "", "third");
  ASSERT_TRUE(w.read());
  for (int i = 0; i < 2; ++i)
    w.ax.setFrame(alike[i], rows[i].offsetBy(kFrame.minX(), kFrame.minY() - 10));
  w.ax.remove(unlabelled);
  addRow(2, "", "fourth");
  ASSERT_TRUE(w.read(true));

  std::vector<std::pair<std::string, double>> photos;
  for (const auto& node : w.reader.nodes())
    if (node.role == "AXImage" && node.parent && w.reader.nodes()[*node.parent].role == "AXGroup" &&
        w.reader.nodes()[*node.parent].frame.minY() >= 390)
      photos.emplace_back(node.label, node.frame.minY());
  EXPECT_EQ(photos, (std::vector<std::pair<std::string, double>>{
                        {"first", 400}, {"second", 470}, {"fourth", 550}}));
}

TEST(AccessibilityReader, AQuickRefreshKeepsWhatWasUnderShortRowsAndRereadsTallOnes) {
  // A row up to 150 points tall keeps its whole subtree from the last read, moved with it (a
  // chat row's photo); a taller one has its children read again, one level deep; a short row
  // new to the list has its children read too.
  for (const double height : {150.0, 151.0}) {
    SCOPED_TRACE(height);
    ReaderWorld w;
    auto t = WhatsAppTree::standard(w.ax, kPid, kFrame, 4, 3);
    const ElementId tall = t.add(t.messages, "AXGroup", Rect(420, 400, 560, height), "album");
    t.add(tall, "AXImage", Rect(430, 410, 100, 100), "photo 1");
    const ElementId second = t.add(tall, "AXImage", Rect(540, 410, 100, 100), "photo 2");
    t.add(second, "AXStaticText", Rect(540, 410, 10, 10), "too deep");
    ASSERT_TRUE(w.read());
    ASSERT_TRUE(w.reader.containers().messages);
    w.ax.setFrame(tall, Rect(420, 390, 560, height).offsetBy(kFrame.minX(), kFrame.minY()));
    const ElementId fresh = t.add(t.messages, "AXGroup", Rect(420, 560, 560, 40), "new");
    t.add(fresh, "AXImage", Rect(430, 565, 30, 30), "sticker");
    ASSERT_TRUE(w.read(true));

    std::vector<std::string> tail;
    std::vector<double> ys;
    const auto lines = dump(w.reader.nodes());
    for (std::size_t i = 0; i < lines.size(); ++i) {
      if (!w.reader.nodes()[i].parent || *w.reader.nodes()[i].parent < 5) continue;  // rows' own
      tail.push_back(lines[i]);
      ys.push_back(w.reader.nodes()[i].frame.minY());
    }
    const std::size_t album = lines.size() - (height > 150 ? 5 : 6);
    const auto under = [](std::size_t parent) {
      return std::string(" ").append(std::to_string(parent));
    };
    std::vector<std::string> expected = {"AXImage 'photo 1'" + under(album),
                                         "AXImage 'photo 2'" + under(album)};
    // Kept ones move up by 10 with their row; read ones are where the tree has them.
    const double photoY = height > 150 ? 410 : 400;
    std::vector<double> expectedYs = {photoY, photoY};
    if (height == 150) {
      expected.push_back("AXStaticText 'too deep'" + under(album + 2));
      expectedYs.push_back(400);
    }
    expected.push_back("AXImage 'sticker'" + under(lines.size() - 2));
    expectedYs.push_back(565);
    EXPECT_EQ(tail, expected);
    EXPECT_EQ(ys, expectedYs);
  }
}

TEST(AccessibilityReader, QuickRefreshesDuringWhichAListMovedAreGivenUpThriceThenCorrected) {
  // Reading `top` takes 0.05 s and `bottom` another 0.05 s; meanwhile the list moves its content
  // up by 30 points every 0.1 s, smoothly or in one step 0.075 s into each 0.1 s (while `bottom`
  // is read). Four refreshes later it has moved by 120, and so has every item kept. Rows seen at
  // the last read tell exactly how far the list had moved when each was read; rows new to it
  // get what lies between the reference's positions for their time (exact for smooth motion)
  // and the list is said to be smeared.
  const struct {
    const char* name;
    bool inSteps;
    int newRows;  // how many rows, from the top, are new to the list
    bool smeared;
  } cases[] = {
      {"smoothly", false, 0, false},
      {"in steps", true, 0, false},
      {"new rows, smoothly", false, 3, true},
      // `top` is read between the start and `middle`, with no step in between: exact.
      {"in steps, a new row before a known one", true, 1, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ReaderWorld w;
    WhatsAppTree t(w.ax, kPid, kFrame);
    t.addWindow();
    // A chat list (still) and a message list whose middle row is the reference.
    t.chatList = t.add(t.window, "AXGroup", Rect(70, 100, 330, 600));
    for (int i = 0; i < 3; ++i)
      t.add(t.chatList, "AXGroup", Rect(70, 100 + 72.0 * i, 300, 72), "Chat");
    t.pane = t.add(t.window, "AXGroup", Rect(400, 0, 600, 700));
    t.messages = t.add(t.pane, "AXGroup", Rect(400, 60, 600, 560));
    const std::vector<std::string> labels = {"top, 9:40", "middle, 9:41", "bottom, 9:42"};
    std::vector<ElementId> rows;
    for (int i = 0; i < 3; ++i)
      rows.push_back(
          t.add(t.messages, "AXStaticText", Rect(420, 100 + 220.0 * i, 560, 60), labels[i]));
    t.add(t.pane, "AXTextArea", Rect(440, 640, 520, 40));
    ASSERT_TRUE(w.read());
    ASSERT_EQ(w.reader.tracker()->state().messages->y, 320);

    w.ax.setElementCost(rows[0], 50ms);
    w.ax.setElementCost(rows[2], 50ms);
    std::vector<std::string> now = labels;
    for (int i = 0; i < c.newRows; ++i) {
      now[i] = "new " + labels[i];
      w.ax.setAttribute(rows[i], Attribute::description, platform::Value(now[i]));
    }
    if (c.inSteps) {
      for (int k = 0; k < 5; ++k)
        w.desktop.scheduler().scheduleWorld(
            75ms + 100ms * k, [&w, &t, k] { w.ax.setScrollOffset(t.messages, 30.0 * (k + 1)); });
    } else {
      w.ax.setScrollVelocity(t.messages, 300);
    }
    // Given up (not replaced by a full read, which would return nodes) three times in a row.
    for (int attempt = 0; attempt < AccessibilityReader::kSmearedReadsGivenUp; ++attempt)
      EXPECT_FALSE(w.read(true)) << attempt;
    const auto kept = w.read(true);
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->smeared.messages, c.smeared);
    EXPECT_FALSE(kept->smeared.chatList);

    const auto& nodes = w.reader.nodes();
    auto yOf = [&](const std::string& label) {
      for (const auto& node : nodes)
        if (node.label == label) return node.frame.minY();
      ADD_FAILURE() << label << " missing";
      return 0.0;
    };
    for (int i = 0; i < 3; ++i)
      EXPECT_NEAR(yOf(now[i]), 100 + 220.0 * i - 120, 1e-6) << now[i];
    EXPECT_NEAR(yOf("Chat"), 100, 1e-6);  // the chat list did not move
    EXPECT_FALSE(w.read(true)) << "the count starts again after a refresh is kept";
  }
}

TEST(AccessibilityReader, AFullReadDuringWhichAListMovedIsGivenUpThriceAndWhatWasKnownStays) {
  ReaderWorld w;
  auto t = WhatsAppTree::standard(w.ax, kPid, kFrame, 4, 3);
  ASSERT_TRUE(w.read());
  const auto known = dump(w.reader.nodes());
  const double before = w.reader.nodes()[5].frame.minY();
  // Every call takes 1 ms; the list moves its content by 1 point every 2 ms.
  w.ax.setCallCost(1ms);
  w.ax.setScrollVelocity(t.chatList, 500);
  for (int attempt = 0; attempt < AccessibilityReader::kSmearedReadsGivenUp; ++attempt) {
    EXPECT_FALSE(w.read()) << attempt;
    EXPECT_EQ(dump(w.reader.nodes()), known);
    EXPECT_EQ(w.reader.nodes()[5].frame.minY(), before);
  }
  EXPECT_TRUE(w.logLines().empty()) << w.logLines().front();
  const auto kept = w.read();
  ASSERT_TRUE(kept) << "the fourth is kept";
  EXPECT_TRUE(kept->smeared.chatList);
  EXPECT_FALSE(kept->smeared.messages);

  // What was known still serves a quick refresh, without a full read first.
  const long callsBefore = w.ax.multipleCalls();
  w.ax.setScrollVelocity(t.chatList, 0);
  ASSERT_TRUE(w.read(true));
  EXPECT_LT(w.ax.multipleCalls() - callsBefore, static_cast<long>(known.size()));
  w.ax.setScrollVelocity(t.chatList, 500);
  EXPECT_FALSE(w.read()) << "the quick refresh that was kept started the count again";

  // A quick refresh that meets a row new to the moving chat list says the chat list is smeared.
  t.rows.push_back(t.add(t.chatList, "AXGroup", Rect(70, 60, 300, 72), "New chat"));
  // Given up twice more: the full read above was the first of three.
  for (int attempt = 1; attempt < AccessibilityReader::kSmearedReadsGivenUp; ++attempt)
    EXPECT_FALSE(w.read(true)) << attempt;
  const auto refreshed = w.read(true);
  ASSERT_TRUE(refreshed);
  EXPECT_TRUE(refreshed->smeared.chatList);
  EXPECT_FALSE(refreshed->smeared.messages);

  // Every row new: only the first row, read again, tells that the list moved. Given up thrice.
  for (const ElementId row : t.rows)
    w.ax.remove(row);
  for (int i = 0; i < 4; ++i)
    t.add(t.chatList, "AXGroup", Rect(70, 100 + 72.0 * i, 300, 72), "Other " + std::to_string(i));
  for (int attempt = 0; attempt < AccessibilityReader::kSmearedReadsGivenUp; ++attempt)
    EXPECT_FALSE(w.read(true)) << attempt;
  const auto replaced = w.read(true);
  ASSERT_TRUE(replaced);
  EXPECT_TRUE(replaced->smeared.chatList);
}

TEST(AccessibilityReader, FallsBackToAFullReadWhenTheQuickRefreshCannotBeDone) {
  const struct {
    const char* name;
    bool withLists;
    Rect frame;
    bool windowMoves;
    bool listUnreadable;
  } cases[] = {
      {"no container was found", false, kFrame, false, false},
      {"another frame than the last read", true, kFrame.offsetBy(0, 0.5), false, false},
      {"the window moved since", true, kFrame, true, false},
      {"a list's children are not elements", true, kFrame, false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ReaderWorld w;
    WhatsAppTree t = c.withLists ? WhatsAppTree::standard(w.ax, kPid, kFrame, 4, 3) : [&] {
      WhatsAppTree loading(w.ax, kPid, kFrame);
      loading.addWindow();
      loading.add(loading.window, "AXStaticText", Rect(10, 10, 100, 20), "Loading");
      return loading;
    }();
    ASSERT_TRUE(w.read());
    ASSERT_EQ(w.reader.containers().chatList.has_value(), c.withLists);
    if (c.windowMoves) w.ax.setFrame(t.window, kFrame.offsetBy(5, 0));
    if (c.listUnreadable) w.ax.inject(t.chatList, Attribute::children, Fault::wrongKind);

    const long callsBefore = w.ax.multipleCalls();
    const auto result = w.read(true, c.frame);
    if (c.windowMoves) {
      EXPECT_FALSE(result);  // the full read finds the window 5 points off
      EXPECT_EQ(w.logLines().back(),
                "Read discarded: window at (5.0, 0.0) from where macOS has it");
      continue;
    }
    ASSERT_TRUE(result);
    EXPECT_EQ(result->generation, 2);
    // A full read leaves the nodes in breadth-first order, as a fresh full read would.
    const auto afterQuick = dump(w.reader.nodes());
    const long quickCalls = w.ax.multipleCalls() - callsBefore;
    const long fullBefore = w.ax.multipleCalls();
    ASSERT_TRUE(w.read(false, c.frame));
    EXPECT_EQ(afterQuick, dump(w.reader.nodes()));
    if (!c.withLists) {
      EXPECT_EQ(quickCalls, w.ax.multipleCalls() - fullBefore);
    }
  }
}

TEST(AccessibilityReader, AQuickRefreshDuringWhichTheWindowMovedIsNotUsed) {
  // Also once three refreshes have been given up because a list moved, when the next one is
  // kept whatever the lists do.
  for (const bool afterGivingUp : {false, true}) {
    SCOPED_TRACE(afterGivingUp ? "after three given up" : "at once");
    ReaderWorld w;
    auto t = WhatsAppTree::standard(w.ax, kPid, kFrame, 4, 3);
    ASSERT_TRUE(w.read());
    w.ax.setCallCost(5ms);
    if (afterGivingUp) {
      w.ax.setScrollVelocity(t.chatList, 300);
      for (int attempt = 0; attempt < AccessibilityReader::kSmearedReadsGivenUp; ++attempt)
        ASSERT_FALSE(w.read(true));
      ASSERT_TRUE(w.logLines().empty());
    }
    // Settled when the refresh starts; 5 points away by the time its items have been read.
    w.ax.setScrollVelocity(t.app, 100);
    EXPECT_FALSE(w.read(true));
    ASSERT_FALSE(w.logLines().empty()) << "a full read should have followed";
    EXPECT_EQ(w.logLines().back().rfind("Read discarded: window at (0.0, -", 0), 0u)
        << w.logLines().back();
  }
}

TEST(AccessibilityReader, AQuickRefreshIsOnlyForTheProcessReadLast) {
  ReaderWorld w;
  WhatsAppTree::standard(w.ax, kPid, kFrame, 4, 3);
  // A second WhatsApp (another account) whose window lies exactly where the first one's did.
  auto other = WhatsAppTree::standard(w.ax, kPid + 1, kFrame, 2, 1);
  w.ax.setAttribute(other.rows[0], Attribute::description, platform::Value("Other account"));
  ASSERT_TRUE(w.read());
  ASSERT_TRUE(w.read(true, kFrame, kPid + 1));
  EXPECT_EQ(w.reader.pid(), kPid + 1);
  const auto nodes = dump(w.reader.nodes());
  EXPECT_NE(std::find(nodes.begin(), nodes.end(), "AXGroup 'Other account' 1"), nodes.end());
  EXPECT_EQ(std::find(nodes.begin(), nodes.end(), "AXGroup 'Chat 3' 1"), nodes.end());
}

// --- what to watch, and the tracker -----------------------------------------------------------

TEST(AccessibilityReader, WatchesTheListChildNearestTheWindowsMiddle) {
  ReaderWorld w;
  auto t = WhatsAppTree::standard(w.ax, kPid, kFrame, 8, 6);
  ASSERT_TRUE(w.read());
  const auto state = w.reader.tracker()->state();
  EXPECT_TRUE(state.isActive);
  EXPECT_EQ(state.generation, 1);
  EXPECT_EQ(state.windowFrame, kFrame);
  ASSERT_TRUE(state.chatList && state.messages);
  // Rows have their middles at 136 + 72 i and messages at 100 + 90 i; the window's is at 350.
  EXPECT_EQ(w.ax.idOf(state.chatList->element), t.rows[3]);
  EXPECT_EQ(state.chatList->y, 316);
  EXPECT_EQ(w.ax.idOf(state.messages->element), t.messageRows[3]);
  EXPECT_EQ(state.messages->y, 340);
}

TEST(AccessibilityReader, TheReferenceSkipsFlatChildrenAndPrefersTheEarlierOnATie) {
  ReaderWorld w;
  auto t = WhatsAppTree::standard(w.ax, kPid, kFrame, 0, 0);
  for (int i = 0; i < 3; ++i)
    t.add(t.chatList, "AXGroup", Rect(70, 600 + 72.0 * i, 300, 72));
  // Middles 340 and 360: equally near 350; a flat child at the middle itself does not count.
  const ElementId first = t.add(t.messages, "AXStaticText", Rect(420, 310, 560, 60), "a, 9:40");
  t.add(t.messages, "AXStaticText", Rect(420, 330, 560, 60), "b, 9:41");
  t.add(t.messages, "AXStaticText", Rect(420, 350, 560, 0), "flat, 9:42");
  ASSERT_TRUE(w.read());
  const auto state = w.reader.tracker()->state();
  ASSERT_TRUE(state.messages);
  EXPECT_EQ(w.ax.idOf(state.messages->element), first);
}

}  // namespace
}  // namespace velvix
