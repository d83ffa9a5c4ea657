#include <BlurLayout/WhatsAppStructure.hpp>

#include "TreeBuilder.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

namespace velvix::WhatsAppStructure {
namespace {

using testing::TreeBuilder;
using R = Rect;

constexpr Size kWindow{1200, 900};
constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double nan = std::numeric_limits<double>::quiet_NaN();

std::string printed(const DetectedElements& e) {
  std::ostringstream os;
  os << e;
  return os.str();
}

template <typename T, typename... More>
std::vector<T> list(T first, More... more) {
  return {first, more...};
}

Analysis analyzed(const TreeBuilder& t, Size window = kWindow) {
  return analyze(t.nodes(), window);
}

// A tree under a 1200 x 900 window, built by `build` from the window's index.
template <typename Build>
Analysis analyzedWindow(Build build) {
  TreeBuilder t;
  build(t, t.root("AXWindow", R(0, 0, 1200, 900)));
  return analyzed(t);
}

struct WindowOptions {
  bool panelOverList = false;  // "New chat" lies over the chat list
  bool scrolledUp = false;     // the conversation shows a jump-to-bottom button
  bool sheet = false;          // the contact sheet is open
  bool readOnly = false;       // no input field: only admins can send messages
};

// WhatsApp's window at 1200 x 900: rail, chat list with its header and eight rows, and a
// conversation with header, day separator, four messages (one a photo) and the composer.
TreeBuilder whatsAppWindow(const WindowOptions& o) {
  TreeBuilder t;
  const auto window = t.root("AXWindow", R(0, 0, 1200, 900), "WhatsApp");
  const auto rail = t.group(window, R(0, 0, 68, 900));
  const auto chats = t.group(window, R(0, 0, 420, 900));
  const auto pane = t.group(window, R(420, 0, 780, 900));
  t.button(rail, R(14, 20, 40, 40), "Chats");
  t.button(rail, R(14, 70, 40, 40), "Calls");
  t.button(rail, R(14, 840, 40, 40), "Settings");
  const auto header = t.group(chats, R(0, 0, 420, 64));
  std::size_t panel = 0;
  if (o.panelOverList) panel = t.group(chats, R(0.5, 0, 420, 900), "New chat");
  const auto list = t.group(chats, R(0, 0, 420, 900));
  t.heading(header, R(84, 16, 100, 30), "Chats");
  t.button(header, R(370, 16, 30, 30), "New chat");
  t.heading(list, R(68, 64, 352, 30), "Pinned");
  const char* names[] = {"Alice", "Bob", "Carol", "Dan", "Eve", "Frank", "Grace", "Heidi"};
  for (int k = 0; k < 8; ++k) {
    const double y = 100 + 72 * k;
    const auto row = t.group(list, R(68, y, 352, 72));
    t.image(row, R(80, y + 12, 48, 48), names[k]);
    t.text(row, R(140, y + 12, 200, 22), names[k]);
    t.text(row, R(140, y + 38, 200, 20), "See you soon");
    t.text(row, R(350, y + 12, 50, 16), "9:41");
    if (k == 2) t.text(row, R(372, y + 16, 40, 40), "Photo");
  }
  if (o.panelOverList) {
    t.heading(panel, R(16, 16, 300, 30), "New chat");
    t.group(panel, R(0, 100, 420, 64), "New group");
    t.heading(panel, R(16, 170, 300, 24), "Contacts on WhatsApp");
    for (int k = 0; k < 4; ++k) {
      t.group(panel, R(0, 200 + 56 * k, 420, 56), names[k]);
    }
  }
  const auto top = t.group(pane, R(420, 0, 780, 60));
  const auto conversation = t.group(pane, R(420, 60, 780, 780), "Alice");
  t.image(top, R(432, 10, 40, 40), "Alice");
  t.button(top, R(480, 10, 300, 40), "Alice");
  t.button(top, R(1150, 15, 30, 30), "Search");
  t.heading(conversation, R(760, 80, 100, 24), "TODAY");
  t.text(conversation, R(440, 110, 500, 40), "Hi Alice, 9:38, Read");
  const auto photo = t.group(conversation, R(680, 160, 500, 220), "Photo, 9:40, Read");
  t.image(photo, R(690, 170, 480, 200));
  t.text(conversation, R(440, 390, 400, 40), "Lunch at 12:30?, 9:41");
  t.text(conversation, R(700, 440, 480, 60), "Sure! See you there, 9:42, Delivered");
  t.text(conversation, R(440, 505, 100, 20), "Edited");
  if (o.readOnly) {
    t.text(pane, R(420, 850, 780, 40), "Only admins can send messages");
  } else {
    t.add(pane, "AXTextArea", R(480, 850, 660, 36), "Type a message");
    t.button(pane, R(436, 853, 30, 30), "Emoji");
  }
  if (o.scrolledUp) t.button(pane, R(1140, 780, 40, 40), "Scroll to bottom");
  if (o.sheet) {
    const auto sheet = t.add(window, "AXSheet", R(300, 100, 600, 700), "Contact info");
    const auto body = t.group(sheet, R(300, 100, 600, 700));
    const auto toolbar = t.group(body, R(300, 100, 600, 56));
    t.button(body, R(560, 160, 80, 80), "Edit");
    t.button(body, R(550, 150, 100, 100.5), "Profile photo");
    const auto nameGroup = t.group(body, R(320, 260, 560, 80));
    t.text(body, R(400, 350, 400, 20), "~alice");
    const auto about = t.group(body, R(320, 400, 560, 40));
    const auto media = t.group(body, R(300, 450, 600, 100));
    t.text(toolbar, R(310, 110, 40, 40), "Close");
    t.heading(nameGroup, R(400, 265, 400, 30), "Alice Smith");
    t.text(about, R(320, 400, 200, 20), "Phone number");
    t.text(about, R(320, 420, 200, 20), "+1 555 0100");
    t.text(media, R(320, 460, 80, 80), "Photo");
    t.text(media, R(410, 460, 80, 80), "Video");
    t.text(media, R(500, 460, 80, 80), "Hey there! I am using WhatsApp.");
  }
  return t;
}

TEST(WhatsAppWindow, ChatListAndConversation) {
  const Analysis a = analyzed(whatsAppWindow({}));
  EXPECT_EQ(printed(a.elements),
            "{read conversation Alice chatList (68, 64, 352, 836) chatRows [(68, 100, 352, 72), "
            "(68, 172, 352, 72), (68, 244, 352, 72), (68, 316, 352, 72), (68, 388, 352, 72), "
            "(68, 460, 352, 72), (68, 532, 352, 72), (68, 604, 352, 72)] header (420, 0, 780, 60) "
            "title (480, 10, 300, 40) messageArea (420, 60, 780, 776) messages ["
            "{(440, 110, 500, 40) key \"Hi Alice, 9:38\"}, "
            "{(680, 160, 500, 220) media key \"Photo, 9:40\" latest}, "
            "{(440, 390, 400, 40) key \"Lunch at 12:30?, 9:41\" latest}, "
            "{(700, 440, 480, 60) key \"Sure! See you there, 9:42\" latest}] "
            "composer (468, 840, 684, 56) images [(690, 170, 480, 200)] "
            "mediaThumbnails [(372, 260, 40, 40)]}");
  EXPECT_EQ(a.scroll, (ScrollContainers{8, 54}));
}

// Each variant of the window changes the analysis above in what it shows, and in nothing else.
TEST(WhatsAppWindow, Variants) {
  const Analysis base = analyzed(whatsAppWindow({}));
  const struct {
    const char* name;
    WindowOptions options;
    std::function<void(Analysis&)> change;
  } cases[] = {
      {"panel over the list, conversation scrolled up",
       {.panelOverList = true, .scrolledUp = true},
       [](Analysis& a) {
         a.elements.chatRows = {R(0, 100, 420, 64)};
         a.elements.contactRows = {R(0, 200, 420, 56), R(0, 256, 420, 56), R(0, 312, 420, 56),
                                   R(0, 368, 420, 56)};
         a.elements.isChatListCovered = true;
         for (auto& m : a.elements.messages) {
           m.isLatest = false;
         }
         a.elements.isShowingLatestMessages = false;
         a.scroll.messages = 62;
       }},
      {"contact sheet",
       {.sheet = true},
       [](Analysis& a) {
         a.elements.sheet = R(300, 100, 600, 700);
         a.elements.sheetPicture = R(550, 150, 100, 100.5);
         a.elements.sheetNames = {R(400, 265, 400, 30), R(400, 350, 400, 20), R(320, 400, 200, 20)};
         a.elements.sheetThumbnails = {R(320, 460, 80, 80), R(410, 460, 80, 80),
                                       R(500, 460, 80, 80)};
       }},
      {"read-only group without input field",
       {.readOnly = true},
       [](Analysis& a) {
         a.elements.messageArea = R(420, 60, 780, 780);
         a.elements.composer.reset();
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Analysis expected = base;
    c.change(expected);
    EXPECT_EQ(analyzed(whatsAppWindow(c.options)), expected);
  }
}

TEST(Analyze, EmptySnapshotAndDegenerateWindows) {
  DetectedElements expected;
  expected.isRead = true;
  const auto nodes = whatsAppWindow({}).nodes();
  for (const Size window :
       {kWindow, Size{0, 0}, Size{-1200, -900}, Size{nan, nan}, Size{inf, inf}}) {
    SCOPED_TRACE(::testing::PrintToString(window));
    EXPECT_EQ(analyze({}, window), (Analysis{expected, {}}));
    const Analysis a = analyze(nodes, window);
    EXPECT_TRUE(a.elements.isRead);
    // The input field still identifies the conversation.
    EXPECT_EQ(a.elements.messageArea, R(420, 60, 780, 776));
  }
  EXPECT_EQ(parse({}, kWindow), expected);
}

TEST(Analyze, ComposerAndConversationFromTheInputField) {
  const R field(400, 700, 500, 30);
  const struct {
    const char* name;
    std::vector<std::pair<const char*, Rect>> beside;  // the field's siblings, before it
    std::optional<std::size_t> conversation;
  } cases[] = {
      {"larger of two sibling groups",
       {{"AXGroup", R(300, 0, 100, 100)}, {"AXGroup", R(300, 100, 600, 500)}},
       2},
      {"equal areas: the earlier group",
       {{"AXGroup", R(300, 0, 600, 500)}, {"AXGroup", R(300, 100, 500, 600)}},
       1},
      {"no sibling group: composer only", {{"AXStaticText", R(300, 100, 600, 500)}}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TreeBuilder t;
    const auto pane = t.root("AXGroup", R(300, 0, 900, 900));
    for (const auto& [role, frame] : c.beside) {
      t.add(pane, role, frame);
    }
    t.add(pane, "AXTextArea", field);
    const Analysis a = analyzed(t);
    EXPECT_EQ(a.elements.composer, R(388, 690, 524, 50));
    EXPECT_EQ(a.scroll.messages, c.conversation);
  }
  TreeBuilder orphan;
  orphan.root("AXTextArea", field);
  EXPECT_EQ(analyzed(orphan), (Analysis{parse({}, kWindow), {}})) << "a field without parent";

  // Only the first input field counts; the conversation then comes from the layout.
  const Analysis a = analyzedWindow([&](TreeBuilder& t, std::size_t window) {
    const auto search = t.group(window, R(0, 0, 300, 60));
    t.add(search, "AXTextArea", R(10, 10, 100, 20));
    const auto pane = t.group(window, R(300, 0, 900, 900));  // index 3
    t.group(pane, R(300, 100, 600, 500));
    t.add(pane, "AXTextArea", field);
  });
  EXPECT_EQ(a.elements.composer, R(-2, 0, 124, 40));
  EXPECT_EQ(a.scroll.messages, 3u);
}

// A group at `x` whose children are `rows` rows of 300 x 72.
std::size_t listWithRows(TreeBuilder& t, std::size_t parent, double x, int rows) {
  const auto list = t.group(parent, R(x, 0, 320, 900));
  for (int k = 0; k < rows; ++k) {
    t.group(list, R(x, 80.0 * k, 300, 72));
  }
  return list;
}

TEST(Analyze, ChatListIsTheLeftGroupWithMostRows) {
  const struct {
    const char* name;
    std::vector<std::pair<double, int>> lists;  // x and row count of each
    int chosen;                                 // -1: none
  } cases[] = {
      {"eight rows beat five", {{10, 5}, {20, 8}}, 1},
      {"equal counts: the earlier", {{10, 4}, {20, 4}}, 0},
      {"two rows are no list", {{10, 2}}, -1},
      {"minX of exactly a quarter of the width is not left", {{300, 8}}, -1},
      {"just left of a quarter is", {{299.9, 8}}, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::size_t> lists;
    const Analysis a = analyzedWindow([&](TreeBuilder& t, std::size_t window) {
      for (const auto& [x, rows] : c.lists) {
        lists.push_back(listWithRows(t, window, x, rows));
      }
    });
    const auto expected = c.chosen < 0 ? std::nullopt : std::optional(lists[c.chosen]);
    EXPECT_EQ(a.scroll.chatList, expected);
    EXPECT_EQ(a.elements.chatList.has_value(), c.chosen >= 0);
    EXPECT_EQ(a.elements.chatRows.size(), c.chosen < 0 ? 0u : 1u * c.lists[c.chosen].second);
  }
  const Analysis a = analyzedWindow([](TreeBuilder& t, std::size_t window) {
    const auto pane = t.group(window, R(100, 0, 1100, 900));
    const auto conversation = t.group(pane, R(100, 0, 1100, 800));
    for (int k = 0; k < 4; ++k) {
      t.group(conversation, R(110, 80.0 * k, 300, 72));
    }
    t.add(pane, "AXTextArea", R(110, 850, 900, 36));
  });
  EXPECT_FALSE(a.scroll.chatList) << "the conversation found through the input field";
}

TEST(Analyze, ChatListLeavesOutRailAndHeader) {
  const R list(68, 0, 352, 900);
  const R wide(0, 0, 420, 900);
  const R rail(0, 0, 68, 900);
  const struct {
    const char* name;
    Rect container;
    std::vector<Rect> others;  // groups beside the container, in order
    Rect expected;
  } cases[] = {
      {"nothing to trim", list, {}, list},
      {"rail inside a container at x 0", wide, {rail}, list},
      {"container right of the rail's right edge", R(70, 0, 350, 900), {rail}, R(70, 0, 350, 900)},
      {"rail of 40 is still a rail", wide, {R(0, 0, 40, 900)}, R(40, 0, 380, 900)},
      {"too narrow for a rail", wide, {R(0, 0, 39, 900)}, wide},
      {"too short for a rail", wide, {R(0, 0, 68, 540)}, wide},
      {"a rail starting 29.5 in", wide, {R(29.5, 0, 40, 900)}, R(69.5, 0, 350.5, 900)},
      {"one starting 30 in is none", wide, {R(30, 0, 40, 900)}, wide},
      {"a rail 400 wide", R(0, 0, 500, 900), {R(0, 0, 400, 900)}, R(400, 0, 100, 900)},
      {"one wider is none", R(0, 0, 500, 900), {R(0, 0, 400.5, 900)}, R(0, 0, 500, 900)},
      {"rail left of the container", R(10, 0, 410, 900), {R(8, 0, 60, 900)}, R(10, 0, 410, 900)},
      {"rail a point left of it", R(10, 0, 410, 900), {R(9, 0, 60, 900)}, R(69, 0, 351, 900)},
      {"widest rail wins", wide, {rail, R(0, 0, 90, 900)}, R(90, 0, 330, 900)},
      {"a container no wider than a rail is not its own",
       R(0, 0, 380, 900),
       {rail},
       R(68, 0, 312, 900)},
      {"header 60 high at the top", list, {R(68, 0, 352, 60)}, R(68, 60, 352, 840)},
      {"header within two points of the list's width",
       list,
       {R(69.5, 0, 353.5, 60)},
       R(68, 60, 352, 840)},
      {"header too tall", list, {R(68, 0, 352, 150)}, list},
      {"header starting 29.5 down", list, {R(68, 29.5, 352, 40)}, R(68, 69.5, 352, 830.5)},
      {"one starting 30 down is none", list, {R(68, 30, 352, 40)}, list},
      {"nor one two points to the side", list, {R(70, 0, 352, 60)}, list},
      {"nor one two points wider", list, {R(68, 0, 354, 60)}, list},
      {"header ending above the list",
       R(68, 100, 352, 800),
       {R(68, 20, 352, 60)},
       R(68, 100, 352, 800)},
      {"only the first header counts",
       list,
       {R(68, 0, 352, 40), R(68, 0, 352, 60)},
       R(68, 40, 352, 860)},
      {"rail and header", wide, {rail, R(0, 0, 420, 64)}, R(68, 64, 352, 836)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Analysis a = analyzedWindow([&](TreeBuilder& t, std::size_t window) {
      const auto list = t.group(window, c.container);
      // Rows as wide as the list, the first at its top: a row is never the list's header.
      for (int k = 0; k < 3; ++k) {
        t.group(list, R(c.container.minX(), c.container.minY() + 72 * k, c.container.width(), 72));
      }
      for (const Rect& r : c.others) {
        t.group(window, r);
      }
    });
    EXPECT_EQ(a.elements.chatList, c.expected);
  }
}

TEST(Analyze, PanelCoveringTheChatList) {
  const struct {
    const char* name;
    std::optional<Rect> before, after;  // a panel, a sibling of the list, before or after it
    bool covered;
  } cases[] = {
      {"the list alone is not covered", {}, {}, false},
      {"a panel of the same frame after the list", {}, R(68, 0, 352, 900), true},
      {"a panel before the list gives the rows", R(68, 0, 352, 900), {}, true},
      {"within a point", R(67.1, 0.9, 352.5, 899.5), {}, true},
      {"more than a point off", R(66.9, 0, 352, 900), {}, false},
      // Each a point and a half off on one edge only, so that one bound alone tells.
      {"narrower", R(69.5, 0, 350.5, 900), {}, false},
      {"shorter", R(68, 1.5, 352, 898.5), {}, false},
      {"wider", R(66.5, 0, 353.5, 900), {}, false},
      {"taller", R(68, -1.5, 352, 901.5), {}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::optional<std::size_t> panel;
    std::size_t list = 0;
    const Analysis a = analyzedWindow([&](TreeBuilder& t, std::size_t window) {
      const auto addPanel = [&](const Rect& r) {
        const auto p = t.group(window, r);
        t.heading(p, R(68, 0, 352, 70), "New chat");
        t.group(p, R(68, 80, 352, 60));      // a chat row at its shortest
        t.group(p, R(68, 150, 352, 50));     // a contact row at its shortest
        t.group(p, R(68, 205, 150, 59.5));   // and at its tallest, as narrow as a row may be
        t.group(p, R(68, 210, 149.5, 56));   // narrower
        t.group(p, R(68, 270, 352, 150));    // a chat row at its tallest
        t.group(p, R(68, 430, 352, 150.5));  // too tall for any row
        t.group(p, R(68, 590, 352, 49.5));   // too short
        return p;
      };
      if (c.before) panel = addPanel(*c.before);
      list = t.group(window, R(68, 0, 352, 900));
      for (int k = 0; k < 3; ++k) {
        t.group(list, R(68, 100.0 + 72 * k, 352, 72));
      }
      t.group(window, R(68, 0, 352, 900));  // same frame, no children: not a panel
      if (c.after) addPanel(*c.after);
    });
    EXPECT_EQ(a.elements.isChatListCovered, c.covered);
    EXPECT_EQ(a.elements.chatList, R(68, 0, 352, 900));
    if (c.covered && panel) {
      EXPECT_EQ(a.scroll.chatList, panel);
      EXPECT_EQ(a.elements.chatRows, (std::vector{R(68, 80, 352, 60), R(68, 270, 352, 150)}));
      EXPECT_EQ(a.elements.contactRows, (std::vector{R(68, 150, 352, 50), R(68, 205, 150, 59.5)}));
    } else {
      EXPECT_EQ(a.scroll.chatList, list);
      EXPECT_EQ(a.elements.chatRows.size(), 3u);
      EXPECT_TRUE(a.elements.contactRows.empty());
    }
  }
}

// A pane with a tall group of `messages` message rows, somewhere right of any chat list.
std::size_t conversation(TreeBuilder& t, std::size_t parent, Rect frame, int messages,
                         const std::string& role = "AXStaticText") {
  const auto pane = t.group(parent, frame);
  const auto group = t.group(pane, frame);
  for (int k = 0; k < messages; ++k) {
    t.add(group, role, R(frame.minX() + 10, frame.minY() + 50.0 * k, 200, 40));
  }
  return group;
}

TEST(Analyze, ConversationFromTheLayout) {
  struct Candidate {
    Rect frame;
    int messages;
    bool inSheet = false;
    const char* role = "AXStaticText";
  };
  const auto k = [](Rect frame, int messages) { return Candidate{frame, messages}; };
  const struct {
    const char* name;
    std::vector<Candidate> candidates;
    int chosen;  // -1: none
    bool chatList = false;
  } cases[] = {
      {"same count: the smaller area",
       list(k(R(400, 0, 500, 1000), 12), k(R(400, 0, 600, 500), 12)), 1},
      {"more messages beat a smaller area",
       list(k(R(400, 0, 800, 900), 13), k(R(400, 0, 600, 500), 12)), 0},
      {"same count and area: the earlier",
       list(k(R(400, 0, 600, 500), 3), k(R(500, 0, 600, 500), 3)), 0},
      {"less than half the window high", list(k(R(400, 0, 600, 449), 5)), -1},
      {"half the window high", list(k(R(400, 0, 600, 450), 5)), 0},
      {"inside a sheet", list(Candidate{R(400, 0, 600, 900), 12, true}, k(R(400, 0, 700, 900), 2)),
       1},
      {"group rows are not counted", list(Candidate{R(400, 0, 600, 900), 5, false, "AXGroup"}), -1},
      {"a quarter of the width is the left limit without a chat list",
       list(k(R(299, 0, 600, 900), 5), k(R(300, 0, 600, 900), 1)), 1},
      {"the chat list's right edge less two is the left limit",
       list(k(R(327, 0, 600, 900), 5), k(R(328, 0, 600, 900), 1)), 1, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::size_t> groups;
    const Analysis a = analyzedWindow([&](TreeBuilder& t, std::size_t window) {
      if (c.chatList) listWithRows(t, window, 10, 3);  // 10 to 330
      for (const Candidate& k : c.candidates) {
        const auto parent = k.inSheet ? t.add(window, "AXSheet", R(300, 0, 600, 900)) : window;
        groups.push_back(conversation(t, parent, k.frame, k.messages, k.role));
      }
    });
    const auto expected = c.chosen < 0 ? std::nullopt : std::optional(groups[c.chosen]);
    EXPECT_EQ(a.scroll.messages, expected);
    EXPECT_EQ(a.elements.messageArea.has_value(), expected.has_value());
    if (!expected) {
      EXPECT_TRUE(a.elements.messages.empty());
      EXPECT_TRUE(a.elements.isShowingLatestMessages);
    }
  }
  TreeBuilder t;
  t.text(t.root("AXGroup", R(400, 0, 600, 900)), R(410, 10, 200, 40));
  EXPECT_FALSE(analyzed(t).scroll.messages) << "a group without parent";
}

TEST(Analyze, MessageAreaBetweenHeaderAndComposer) {
  // The pane is (400, 0, 800, 900); the conversation group holds two messages.
  const R full(400, 0, 800, 900);
  const struct {
    const char* name;
    Rect group;
    std::optional<Rect> header;
    std::optional<Rect> below;  // the composer reference: lowest other child of the pane
    Rect expected;
  } cases[] = {
      {"header and composer", full, R(400, 0, 800, 60), R(420, 830, 700, 40), R(400, 60, 800, 740)},
      {"nothing around", full, {}, {}, full},
      {"a group ending above the composer", R(400, 0, 800, 700), R(400, 0, 800, 60),
       R(420, 830, 700, 40), R(400, 60, 800, 640)},
      {"composer at the very bottom", full, {}, R(420, 860, 700, 40), R(400, 0, 800, 860)},
      {"composer reaching below the pane", full, {}, R(420, 880, 700, 40), R(400, 0, 800, 880)},
      {"group beyond the pane is clipped to it", R(400, -100, 900, 1100), {}, {}, full},
      {"header lower than the group's top", R(400, 100, 800, 800), R(400, 0, 800, 120),
       R(420, 860, 700, 40), R(400, 120, 800, 740)},
      {"a composer reference high up leaves an empty area", full, R(400, 0, 800, 100),
       R(400, 50, 800, 60), R(400, 100, 800, 0)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::size_t group = 0;
    const Analysis a = analyzedWindow([&](TreeBuilder& t, std::size_t window) {
      const auto pane = t.group(window, full);
      if (c.header) t.group(pane, *c.header);
      group = t.group(pane, c.group);
      t.text(group, R(410, 400, 300, 40));
      t.text(group, R(410, 450, 300, 40));
      if (c.below) t.text(pane, *c.below);
    });
    EXPECT_EQ(a.scroll.messages, group);
    EXPECT_EQ(a.elements.messageArea, c.expected);
    EXPECT_EQ(a.elements.conversationHeader, c.header);
  }
  // The header: at least 20 high, starting less than 30 below the pane's top, its left edge and
  // width within two points of the pane's.
  const struct {
    const char* name;
    Rect frame;
    bool isHeader;
  } headers[] = {
      {"20 high", R(400, 0, 800, 20), true},
      {"lower", R(400, 0, 800, 19.5), false},
      {"starting 29.5 down", R(400, 29.5, 800, 40), true},
      {"starting 30 down", R(400, 30, 800, 40), false},
      {"a point and a half off", R(401.5, 0, 801.5, 60), true},
      {"two points to the side", R(402, 0, 800, 60), false},
      {"two points wider", R(400, 0, 802, 60), false},
  };
  for (const auto& h : headers) {
    SCOPED_TRACE(h.name);
    const Analysis a = analyzedWindow([&](TreeBuilder& t, std::size_t window) {
      const auto pane = t.group(window, full);
      t.group(pane, h.frame);
      const auto group = t.group(pane, full);
      t.text(group, R(410, 400, 300, 40));
      t.text(group, R(410, 450, 300, 40));
    });
    EXPECT_EQ(a.elements.conversationHeader.has_value(), h.isHeader);
  }
}

TEST(Analyze, MessagesAndTheirLatest) {
  const struct {
    const char* name;
    std::string expected;  // per message: L latest, - not
    std::optional<Rect> jumpButton;
    std::vector<Rect> messages;  // static texts, in child order
  } cases[] = {
      {"five messages: the three lowest, whatever their order", "L-L-L", std::nullopt,
       list(R(20, 500, 300, 40), R(20, 100, 300, 40), R(20, 700, 300, 40), R(20, 300, 300, 40),
            R(20, 600, 300, 40))},
      {"equal bottoms: list order", "-LLL-", std::nullopt,
       list(R(20, 100, 300, 40), R(20, 700, 300, 40), R(400, 700, 300, 40), R(20, 690, 300, 50),
            R(20, 650, 300, 90))},
      {"two messages: both", "LL", std::nullopt, list(R(20, 100, 300, 40), R(20, 200, 300, 40))},
      {"jump button in the area: none", "--", R(700, 700, 40, 40),
       list(R(20, 100, 300, 40), R(20, 200, 300, 40))},
      {"jump button outside the area does not count", "L", R(700, 850, 40, 40),
       list(R(20, 100, 300, 40))},
      {"a button larger than 80 is no jump button", "L", R(600, 600, 81, 40),
       list(R(20, 100, 300, 40))},
      {"nor one taller", "L", R(600, 600, 40, 81), list(R(20, 100, 300, 40))},
      {"80 by 80 is one", "-", R(600, 600, 80, 80), list(R(20, 100, 300, 40))},
      {"a row 24 high is a message, a lower one is not", "L", std::nullopt,
       list(R(20, 100, 300, 24), R(20, 200, 300, 23.5))},
      {"last message 20 below the area's bottom", "L", std::nullopt, list(R(20, 780, 300, 60))},
      {"20.5 below", "-", std::nullopt, list(R(20, 780, 300, 60.5))},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TreeBuilder t;
    const auto window = t.root("AXWindow", R(0, 0, 800, 900));
    const auto pane = t.group(window, R(0, 0, 800, 900));
    const auto group = t.group(pane, R(0, 0, 800, 900), "Alice");
    for (const Rect& frame : c.messages) {
      t.text(group, frame, "x, 9:41, Read");
    }
    t.add(pane, "AXTextArea", R(0, 820, 800, 80));  // the area ends at 820
    if (c.jumpButton) t.button(pane, *c.jumpButton);
    const Analysis a = analyzed(t, Size{800, 900});
    ASSERT_EQ(a.elements.messageArea, R(0, 0, 800, 820));
    EXPECT_EQ(a.elements.isShowingLatestMessages, c.expected.find('L') != std::string::npos);
    std::string marks;
    for (const auto& m : a.elements.messages) {
      marks += m.isLatest ? 'L' : '-';
      EXPECT_EQ(m.key, "x, 9:41");
    }
    EXPECT_EQ(marks, c.expected);
  }
}

TEST(Analyze, ConversationKeyIsTheGroupLabel) {
  for (const auto& [label, expected] :
       std::vector<std::pair<std::string, std::optional<std::string>>>{
           {"Alice", "Alice"}, {"", std::nullopt}, {"Al\xFF", "Al\xEF\xBF\xBD"}}) {
    SCOPED_TRACE(label);
    TreeBuilder t;
    const auto pane = t.root("AXGroup", R(400, 0, 800, 900));
    t.text(t.group(pane, R(400, 0, 800, 800), label), R(410, 10, 300, 40));
    EXPECT_EQ(analyzed(t).elements.conversationKey, expected);
  }
}

TEST(Analyze, ImagesOfAtLeast56Points) {
  const Analysis a = analyzedWindow([](TreeBuilder& t, std::size_t window) {
    t.image(window, R(0, 0, 56, 56));
    t.image(window, R(0, 0, 55.9, 100));
    t.image(window, R(0, 0, 100, 55.9));
    t.group(window, R(0, 0, 100, 100));
    t.image(window, R(100, 100, -60, -60));
  });
  EXPECT_EQ(a.elements.images, (std::vector<Rect>{R(0, 0, 56, 56), R(100, 100, -60, -60)}));
}

TEST(Analyze, Sheet) {
  struct Node {
    const char* role;
    Rect frame;
    int parent = -1;  // among the case's nodes; -1 for the sheet
    const char* label = "";
  };
  const auto button = [](Rect r, int parent = -1) { return Node{"AXButton", r, parent}; };
  const auto heading = [](Rect r, int parent) { return Node{"AXHeading", r, parent}; };
  const auto text = [](Rect r, int parent = -1, const char* label = "") {
    return Node{"AXStaticText", r, parent, label};
  };
  const auto group = [](Rect r) { return Node{"AXGroup", r}; };
  const Node phone = text(R(1, 1, 10, 10), -1, "Phone number");
  const std::vector<Rect> none;
  const struct {
    const char* name;
    std::vector<Node> nodes;
    std::optional<Rect> picture;
    std::vector<Rect> names, thumbnails;
  } cases[] = {
      {"largest square button is the picture",
       list(button(R(0, 0, 79, 79)), button(R(0, 0, 100, 101.9)), button(R(0, 0, 120, 122)),
            button(R(0, 0, 100, 100))),
       R(0, 0, 100, 101.9), none, none},
      {"equal widths: the earlier, also when deeper",
       list(group(R(0, 0, 10, 10)), button(R(1, 1, 90, 90), 0), button(R(2, 2, 90, 90.5))),
       R(1, 1, 90, 90), none, none},
      {"a button 80 wide is a picture", list(button(R(0, 0, 80, 80))), R(0, 0, 80, 80), none, none},
      {"one 79.9 wide is not", list(button(R(0, 0, 79.9, 79.9))), std::nullopt, none, none},
      {"headings 4 wide or 4 high are skipped for the next",
       list(group(R(100, 200, 400, 100)), heading(R(100, 200, 4, 30), 0),
            heading(R(100, 200, 300, 4), 0), heading(R(110, 200, 4.5, 4.5), 0),
            heading(R(120, 200, 300, 30), 0)),
       std::nullopt, list(R(110, 200, 4.5, 4.5)), none},
      {"static texts beside the heading (not in its group), then the phone number",
       list(phone, group(R(100, 200, 400, 100)), heading(R(110, 200, 300, 30), 1),
            text(R(110, 240, 300, 20)), text(R(110, 270, 300, 20), 1)),
       std::nullopt, list(R(110, 200, 300, 30), phone.frame, R(110, 240, 300, 20), phone.frame),
       none},
      {"phone number without a heading", list(phone), std::nullopt, list(phone.frame), none},
      // Wholly in the top strip, half inside, roughly square, not square enough, too small, not
      // a static text, a point inside, half a point inside.
      {"thumbnails below the sheet's top 56 points",
       list(text(R(110, 110, 40, 40)), text(R(160, 136, 40, 40)), text(R(210, 300, 80, 81)),
            text(R(300, 300, 80, 83)), text(R(400, 300, 29, 29)),
            Node{"AXImage", R(500, 300, 80, 80)}, text(R(600, 117, 40, 40)),
            text(R(650, 116.5, 40, 40))),
       std::nullopt, none, list(R(160, 156, 40, 20), R(210, 300, 80, 81), R(600, 156, 40, 1))},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const DetectedElements e = analyzedWindow([&](TreeBuilder& t, std::size_t window) {
                                 t.heading(window, R(0, 0, 300, 30), "outside the sheet");
                                 t.button(window, R(0, 0, 200, 200), "outside the sheet");
                                 t.text(window, R(0, 0, 20, 20), "Phone number");
                                 const auto sheet = t.add(window, "AXSheet", R(100, 100, 600, 700));
                                 std::vector<std::size_t> added;
                                 for (const Node& n : c.nodes) {
                                   const auto parent = n.parent < 0 ? sheet : added[n.parent];
                                   added.push_back(t.add(parent, n.role, n.frame, n.label));
                                 }
                                 t.add(window, "AXSheet", R(0, 0, 10, 10));
                               }).elements;
    EXPECT_EQ(e.sheet, R(100, 100, 600, 700));
    EXPECT_EQ(e.sheetPicture, c.picture);
    EXPECT_EQ(e.sheetNames, c.names);
    EXPECT_EQ(e.sheetThumbnails, c.thumbnails);
  }
}

TEST(Analyze, MediaThumbnails) {
  enum Where { inList, inMessage, inWindow, inSheet, noChatList };
  const struct {
    const char* name;
    Where where;
    Rect frame;
    const char* label;
    bool found;
  } cases[] = {
      {"partly in the chat list: whole", inList, R(400, 300, 48, 48), "Photo", true},
      {"a message row itself", inMessage, R(500, 300, 48, 48), "Photo", false},
      {"without a chat list, partly in the window: whole", noChatList, R(1180, 300, 48, 48),
       "Video", true},
      {"a point into the window's top", noChatList, R(600, -47, 48, 48), "Photo", true},
      {"a point into its left", noChatList, R(-47, 300, 48, 48), "Photo", true},
      {"inside a sheet", inSheet, R(200, 300, 48, 48), "Photo", false},
      {"outside the chat list", inWindow, R(600, 300, 48, 48), "Photo", false},
      {"label without media word", inList, R(200, 300, 48, 48), "Alice", false},
      {"no label, in the list's rows", inList, R(200, 300, 48, 48), "", true},
      {"no label, over the list but not in it", inWindow, R(200, 300, 48, 48), "", false},
      {"two points off square", inList, R(200, 300, 48, 50), "Photo", true},
      {"more than two off", inList, R(200, 300, 48, 50.5), "Photo", false},
      {"30 wide", inList, R(200, 300, 30, 30), "Photo", true},
      {"narrower", inList, R(200, 300, 29.5, 29.5), "Photo", false},
      {"300 wide", inList, R(100, 300, 300, 300), "Photo", true},
      {"wider", inList, R(100, 300, 300.5, 300.5), "Photo", false},
      {"in the list's rows, out of sight: whole", inList, R(200, 910, 48, 48), "Photo", true},
      {"elsewhere, less than a point in the list", inWindow, R(400, -47.5, 48, 48), "Photo", false},
      {"elsewhere, a point in the list", inWindow, R(400, -47, 48, 48), "Photo", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Analysis a = analyzedWindow([&](TreeBuilder& t, std::size_t root) {
      std::size_t list = root;
      if (c.where != noChatList) {
        list = t.group(root, R(68, 0, 352, 900));
        for (int k = 0; k < 3; ++k) {
          t.group(list, R(68, 100.0 + 72 * k, 352, 72));
        }
      }
      const auto g = conversation(t, root, R(500, 0, 700, 900), 3);
      const auto s = t.add(root, "AXSheet", R(100, 100, 600, 700));
      t.text(c.where == inList      ? list
             : c.where == inMessage ? g
             : c.where == inSheet   ? s
                                    : root,
             c.frame, c.label);
    });
    EXPECT_EQ(a.elements.mediaThumbnails, c.found ? std::vector{c.frame} : std::vector<Rect>{});
  }
}

// Snapshots that break the invariants the reader guarantees: each case lists text the printed
// analysis must hold and text it must not.
TEST(Analyze, BrokenSnapshotsAreReadSafely) {
  using Nodes = std::vector<AccessibilityNode>;
  const auto frames = [](Rect was, void (*change)(Rect&)) {
    return [=](Nodes& nodes) {
      for (auto& n : nodes) {
        if (n.frame == was) change(n.frame);
      }
    };
  };
  const auto role = [](const char* r, void (*change)(Rect&)) {
    return [=](Nodes& nodes) {
      for (auto& n : nodes) {
        if (n.role == r) change(n.frame);
      }
    };
  };
  const auto parents = [](std::size_t (*parent)(std::size_t i, std::size_t n)) {
    return [=](Nodes& nodes) {
      for (std::size_t i = 0; i < nodes.size(); ++i) {
        nodes[i].parent = parent(i, nodes.size());
      }
    };
  };
  using Texts = std::vector<std::string>;
  // With no usable parent, nothing that needs the tree is found; what needs no tree still is.
  const Texts treeless = {" sheet (300, 100, 600, 700)", " images [(690, 170, 480, 200)]"};
  const Texts needsTree = {" chatList ",   " chatRows ",     " messageArea ",
                           " messages ",   " composer ",     " header ",
                           " sheetNames ", " sheetPicture ", " conversation "};
  const struct {
    const char* name;
    std::function<void(Nodes&)> breakIt;
    Texts present, absent;
  } cases[] = {
      {"every parent out of range", parents([](std::size_t, std::size_t n) { return n + 7; }),
       treeless, needsTree},
      {"every parent the node itself", parents([](std::size_t i, std::size_t) { return i; }),
       treeless, needsTree},
      {"every parent a later node, closing a cycle",
       parents([](std::size_t i, std::size_t n) { return (i + 1) % n; }), treeless, needsTree},
      {"a row with a NaN frame is no row",
       frames(R(68, 172, 352, 72), [](Rect& r) { r.size.height = nan; }),
       Texts{"(68, 316, 352, 72)"}, Texts{"(68, 172, 352, 72)"}},
      {"a row with an infinite frame is no row",
       frames(R(68, 244, 352, 72), [](Rect& r) { r.origin.x = -inf; }), Texts{"(68, 316, 352, 72)"},
       Texts{"(68, 244, 352, 72)"}},
      {"a row too wide for a size key is no row",
       frames(R(68, 172, 352, 72), [](Rect& r) { r.size.width = 1e300; }),
       Texts{"(68, 316, 352, 72)"}, Texts{"1e+300"}},
      {"a row too high for a size key is no row",
       frames(R(68, 244, 352, 72), [](Rect& r) { r.size.height = 3e9; }),
       Texts{"(68, 316, 352, 72)"}, Texts{"3e+09"}},
      {"a non-finite sheet frame is a null sheet",
       role("AXSheet", [](Rect& r) { r.size.width = inf; }), Texts{" sheet null"},
       Texts{" sheetThumbnails "}},
      {"a non-finite conversation pane leaves a null message area",
       frames(R(420, 0, 780, 900), [](Rect& r) { r.origin.y = nan; }),
       Texts{" messageArea null", " chatList (68, 64, 352, 836)"}, Texts{" header "}},
      {"a NaN input field gives a null composer that bounds nothing",
       role("AXTextArea", [](Rect& r) { r.origin.x = nan; }),
       Texts{" composer null", " messageArea (420, 60, 780, 780)"}, Texts{}},
      {"ill-formed labels",
       [](Nodes& nodes) {
         for (auto& n : nodes) {
           n.label += "\xF0\x9F\xFF\xC3";
         }
       },
       Texts{" conversation Alice\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD ",
             " mediaThumbnails [(372, 260, 40, 40)]"},
       Texts{}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Nodes nodes = whatsAppWindow({.sheet = true}).nodes();
    c.breakIt(nodes);
    const Analysis a = analyze(nodes, kWindow);
    const std::string p = printed(a.elements);
    for (const std::string& text : c.present) {
      EXPECT_NE(p.find(text), std::string::npos) << text << " in " << p;
    }
    for (const std::string& text : c.absent) {
      EXPECT_EQ(p.find(text), std::string::npos) << text << " in " << p;
    }
    if (c.absent == needsTree) {
      EXPECT_EQ(a.scroll, ScrollContainers{});
    }
  }
}

}  // namespace
}  // namespace velvix::WhatsAppStructure
