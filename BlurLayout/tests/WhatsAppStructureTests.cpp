#include <BlurLayout/WhatsAppStructure.hpp>

#include "TreeBuilder.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <string>
#include <vector>

namespace velvix::WhatsAppStructure {
namespace {

using testing::dump;
using testing::TreeBuilder;

constexpr Size kWindow{1200, 900};
constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double nan = std::numeric_limits<double>::quiet_NaN();

Analysis analyzed(const TreeBuilder& t, Size window = kWindow) {
  return analyze(t.nodes(), window);
}

// ---------------------------------------------------------------------------------------------
// Whole windows

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
  const auto window = t.root("AXWindow", Rect(0, 0, 1200, 900), "WhatsApp");
  const auto rail = t.group(window, Rect(0, 0, 68, 900));
  const auto chats = t.group(window, Rect(0, 0, 420, 900));
  const auto pane = t.group(window, Rect(420, 0, 780, 900));
  t.button(rail, Rect(14, 20, 40, 40), "Chats");
  t.button(rail, Rect(14, 70, 40, 40), "Calls");
  t.button(rail, Rect(14, 840, 40, 40), "Settings");

  const auto header = t.group(chats, Rect(0, 0, 420, 64));
  std::size_t panel = 0;
  if (o.panelOverList) panel = t.group(chats, Rect(0.5, 0, 420, 900), "New chat");
  const auto list = t.group(chats, Rect(0, 0, 420, 900));
  t.heading(header, Rect(84, 16, 100, 30), "Chats");
  t.button(header, Rect(370, 16, 30, 30), "New chat");
  t.heading(list, Rect(68, 64, 352, 30), "Pinned");
  const char* names[] = {"Alice", "Bob", "Carol", "Dan", "Eve", "Frank", "Grace", "Heidi"};
  for (int k = 0; k < 8; ++k) {
    const double y = 100 + 72 * k;
    const auto row = t.group(list, Rect(68, y, 352, 72));
    t.image(row, Rect(80, y + 12, 48, 48), names[k]);
    t.text(row, Rect(140, y + 12, 200, 22), names[k]);
    t.text(row, Rect(140, y + 38, 200, 20), "See you soon");
    t.text(row, Rect(350, y + 12, 50, 16), "9:41");
    if (k == 2) t.text(row, Rect(372, y + 16, 40, 40), "Photo");
  }
  if (o.panelOverList) {
    t.heading(panel, Rect(16, 16, 300, 30), "New chat");
    t.group(panel, Rect(0, 100, 420, 64), "New group");
    t.heading(panel, Rect(16, 170, 300, 24), "Contacts on WhatsApp");
    for (int k = 0; k < 4; ++k) {
      t.group(panel, Rect(0, 200 + 56 * k, 420, 56), names[k]);
    }
  }

  const auto top = t.group(pane, Rect(420, 0, 780, 60));
  const auto conversation = t.group(pane, Rect(420, 60, 780, 780), "Alice");
  t.image(top, Rect(432, 10, 40, 40), "Alice");
  t.button(top, Rect(480, 10, 300, 40), "Alice");
  t.button(top, Rect(1150, 15, 30, 30), "Search");
  t.heading(conversation, Rect(760, 80, 100, 24), "TODAY");
  t.text(conversation, Rect(440, 110, 500, 40), "Hi Alice, 9:38, Read");
  const auto photo = t.group(conversation, Rect(680, 160, 500, 220), "Photo, 9:40, Read");
  t.image(photo, Rect(690, 170, 480, 200));
  t.text(conversation, Rect(440, 390, 400, 40), "Lunch at 12:30?, 9:41");
  t.text(conversation, Rect(700, 440, 480, 60), "Sure! See you there, 9:42, Delivered");
  t.text(conversation, Rect(440, 505, 100, 20), "Edited");
  if (o.readOnly) {
    t.text(pane, Rect(420, 850, 780, 40), "Only admins can send messages");
  } else {
    t.add(pane, "AXTextArea", Rect(480, 850, 660, 36), "Type a message");
    t.button(pane, Rect(436, 853, 30, 30), "Emoji");
  }
  if (o.scrolledUp) t.button(pane, Rect(1140, 780, 40, 40), "Scroll to bottom");

  if (o.sheet) {
    const auto sheet = t.add(window, "AXSheet", Rect(300, 100, 600, 700), "Contact info");
    const auto body = t.group(sheet, Rect(300, 100, 600, 700));
    const auto toolbar = t.group(body, Rect(300, 100, 600, 56));
    t.button(body, Rect(560, 160, 80, 80), "Edit");
    t.button(body, Rect(550, 150, 100, 100.5), "Profile photo");
    const auto nameGroup = t.group(body, Rect(320, 260, 560, 80));
    t.text(body, Rect(400, 350, 400, 20), "~alice");
    const auto about = t.group(body, Rect(320, 400, 560, 40));
    const auto media = t.group(body, Rect(300, 450, 600, 100));
    t.text(toolbar, Rect(310, 110, 40, 40), "Close");
    t.heading(nameGroup, Rect(400, 265, 400, 30), "Alice Smith");
    t.text(about, Rect(320, 400, 200, 20), "Phone number");
    t.text(about, Rect(320, 420, 200, 20), "+1 555 0100");
    t.text(media, Rect(320, 460, 80, 80), "Photo");
    t.text(media, Rect(410, 460, 80, 80), "Video");
    t.text(media, Rect(500, 460, 80, 80), "Hey there! I am using WhatsApp.");
  }
  return t;
}

TEST(WhatsAppWindow, ChatListAndConversation) {
  EXPECT_EQ(dump(analyzed(whatsAppWindow({}))), R"(read
conversation "Alice"
chatList (68, 64, 352, 836)
chatRows
  (68, 100, 352, 72)
  (68, 172, 352, 72)
  (68, 244, 352, 72)
  (68, 316, 352, 72)
  (68, 388, 352, 72)
  (68, 460, 352, 72)
  (68, 532, 352, 72)
  (68, 604, 352, 72)
header (420, 0, 780, 60)
title (480, 10, 300, 40)
messageArea (420, 60, 780, 776)
messages
  (440, 110, 500, 40) "Hi Alice, 9:38"
  (680, 160, 500, 220) "Photo, 9:40" media latest
  (440, 390, 400, 40) "Lunch at 12:30?, 9:41" latest
  (700, 440, 480, 60) "Sure! See you there, 9:42" latest
showing latest
composer (468, 840, 684, 56)
images
  (690, 170, 480, 200)
mediaThumbnails
  (372, 260, 40, 40)
scroll chatList 8 messages 54
)");
}

TEST(WhatsAppWindow, PanelOverTheListAndConversationScrolledUp) {
  EXPECT_EQ(dump(analyzed(whatsAppWindow({.panelOverList = true, .scrolledUp = true}))), R"(read
conversation "Alice"
chatList (68, 64, 352, 836)
chatRows
  (0, 100, 420, 64)
contactRows
  (0, 200, 420, 56)
  (0, 256, 420, 56)
  (0, 312, 420, 56)
  (0, 368, 420, 56)
chatList covered
header (420, 0, 780, 60)
title (480, 10, 300, 40)
messageArea (420, 60, 780, 776)
messages
  (440, 110, 500, 40) "Hi Alice, 9:38"
  (680, 160, 500, 220) "Photo, 9:40" media
  (440, 390, 400, 40) "Lunch at 12:30?, 9:41"
  (700, 440, 480, 60) "Sure! See you there, 9:42"
scrolled up
composer (468, 840, 684, 56)
images
  (690, 170, 480, 200)
mediaThumbnails
  (372, 260, 40, 40)
scroll chatList 8 messages 62
)");
}

TEST(WhatsAppWindow, ContactSheetOverTheWindow) {
  EXPECT_EQ(dump(analyzed(whatsAppWindow({.sheet = true}))), R"(read
conversation "Alice"
chatList (68, 64, 352, 836)
chatRows
  (68, 100, 352, 72)
  (68, 172, 352, 72)
  (68, 244, 352, 72)
  (68, 316, 352, 72)
  (68, 388, 352, 72)
  (68, 460, 352, 72)
  (68, 532, 352, 72)
  (68, 604, 352, 72)
header (420, 0, 780, 60)
title (480, 10, 300, 40)
messageArea (420, 60, 780, 776)
messages
  (440, 110, 500, 40) "Hi Alice, 9:38"
  (680, 160, 500, 220) "Photo, 9:40" media latest
  (440, 390, 400, 40) "Lunch at 12:30?, 9:41" latest
  (700, 440, 480, 60) "Sure! See you there, 9:42" latest
showing latest
composer (468, 840, 684, 56)
images
  (690, 170, 480, 200)
sheet (300, 100, 600, 700)
sheetPicture (550, 150, 100, 100.5)
sheetNames
  (400, 265, 400, 30)
  (400, 350, 400, 20)
  (320, 400, 200, 20)
mediaThumbnails
  (372, 260, 40, 40)
sheetThumbnails
  (320, 460, 80, 80)
  (410, 460, 80, 80)
  (500, 460, 80, 80)
scroll chatList 8 messages 54
)");
}

TEST(WhatsAppWindow, ReadOnlyGroupWithoutInputField) {
  EXPECT_EQ(dump(analyzed(whatsAppWindow({.readOnly = true}))), R"(read
conversation "Alice"
chatList (68, 64, 352, 836)
chatRows
  (68, 100, 352, 72)
  (68, 172, 352, 72)
  (68, 244, 352, 72)
  (68, 316, 352, 72)
  (68, 388, 352, 72)
  (68, 460, 352, 72)
  (68, 532, 352, 72)
  (68, 604, 352, 72)
header (420, 0, 780, 60)
title (480, 10, 300, 40)
messageArea (420, 60, 780, 780)
messages
  (440, 110, 500, 40) "Hi Alice, 9:38"
  (680, 160, 500, 220) "Photo, 9:40" media latest
  (440, 390, 400, 40) "Lunch at 12:30?, 9:41" latest
  (700, 440, 480, 60) "Sure! See you there, 9:42" latest
showing latest
images
  (690, 170, 480, 200)
mediaThumbnails
  (372, 260, 40, 40)
scroll chatList 8 messages 54
)");
}

// ---------------------------------------------------------------------------------------------
// Each step on small trees

TEST(Analyze, EmptySnapshotGivesTheStartValue) {
  DetectedElements expected;
  expected.isRead = true;
  for (const Size window : {kWindow, Size{0, 0}, Size{nan, inf}}) {
    const Analysis a = analyze({}, window);
    EXPECT_EQ(a.elements, expected);
    EXPECT_EQ(a.scroll, ScrollContainers{});
  }
  EXPECT_EQ(parse({}, kWindow), expected);
}

TEST(Analyze, ComposerAndConversationFromTheInputField) {
  const struct {
    const char* name;
    std::function<void(TreeBuilder&)> build;
    std::optional<Rect> composer;
    std::optional<std::size_t> conversation;
  } cases[] = {
      {"larger of two sibling groups",
       [](TreeBuilder& t) {
         const auto pane = t.root("AXGroup", Rect(300, 0, 900, 900));
         t.group(pane, Rect(300, 0, 100, 100));
         t.group(pane, Rect(300, 100, 600, 500));
         t.add(pane, "AXTextArea", Rect(400, 700, 500, 30));
       },
       Rect(388, 690, 524, 50), 2},
      {"equal areas: the earlier group",
       [](TreeBuilder& t) {
         const auto pane = t.root("AXGroup", Rect(300, 0, 900, 900));
         t.group(pane, Rect(300, 0, 600, 500));
         t.group(pane, Rect(300, 100, 500, 600));
         t.add(pane, "AXTextArea", Rect(400, 700, 500, 30));
       },
       Rect(388, 690, 524, 50), 1},
      {"only the first input field counts; the conversation then comes from the layout",
       [](TreeBuilder& t) {
         const auto window = t.root("AXWindow", Rect(0, 0, 1200, 900));
         const auto search = t.group(window, Rect(0, 0, 300, 60));
         t.add(search, "AXTextArea", Rect(10, 10, 100, 20));
         const auto pane = t.group(window, Rect(300, 0, 900, 900));  // index 3
         t.group(pane, Rect(300, 100, 600, 500));
         t.add(pane, "AXTextArea", Rect(400, 700, 500, 30));
       },
       Rect(-2, 0, 124, 40), 3},
      {"input field without parent",
       [](TreeBuilder& t) { t.root("AXTextArea", Rect(400, 700, 500, 30)); }, std::nullopt,
       std::nullopt},
      {"no sibling group: composer only",
       [](TreeBuilder& t) {
         const auto pane = t.root("AXGroup", Rect(300, 0, 900, 900));
         t.text(pane, Rect(300, 100, 600, 500));
         t.add(pane, "AXTextArea", Rect(400, 700, 500, 30));
       },
       Rect(388, 690, 524, 50), std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TreeBuilder t;
    c.build(t);
    const Analysis a = analyzed(t);
    EXPECT_EQ(a.elements.composer, c.composer);
    EXPECT_EQ(a.scroll.messages, c.conversation);
  }
}

// A group at `x` whose children are `rows` rows of 300 x 72, below a root.
std::size_t listWithRows(TreeBuilder& t, std::size_t parent, double x, int rows) {
  const auto list = t.group(parent, Rect(x, 0, 320, 900));
  for (int k = 0; k < rows; ++k) {
    t.group(list, Rect(x, 80.0 * k, 300, 72));
  }
  return list;
}

TEST(Analyze, ChatListIsTheLeftGroupWithMostRows) {
  const struct {
    const char* name;
    std::function<std::optional<std::size_t>(TreeBuilder&, std::size_t)> build;  // expected C
  } cases[] = {
      {"eight rows beat five",
       [](TreeBuilder& t, std::size_t root) {
         listWithRows(t, root, 10, 5);
         return listWithRows(t, root, 20, 8);
       }},
      {"equal counts: the earlier",
       [](TreeBuilder& t, std::size_t root) {
         const auto first = listWithRows(t, root, 10, 4);
         listWithRows(t, root, 20, 4);
         return first;
       }},
      {"two rows are no list",
       [](TreeBuilder& t, std::size_t root) {
         listWithRows(t, root, 10, 2);
         return std::nullopt;
       }},
      {"minX of exactly a quarter of the width is not left",
       [](TreeBuilder& t, std::size_t root) {
         listWithRows(t, root, 300, 8);
         return std::nullopt;
       }},
      {"just left of a quarter is",
       [](TreeBuilder& t, std::size_t root) { return listWithRows(t, root, 299.9, 8); }},
      {"the conversation found through the input field is no chat list",
       [](TreeBuilder& t, std::size_t root) {
         const auto pane = t.group(root, Rect(100, 0, 1100, 900));
         const auto conversation = t.group(pane, Rect(100, 0, 1100, 800));
         for (int k = 0; k < 4; ++k) {
           t.group(conversation, Rect(110, 80.0 * k, 300, 72));
         }
         t.add(pane, "AXTextArea", Rect(110, 850, 900, 36));
         return std::optional<std::size_t>();
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TreeBuilder t;
    const auto root = t.root("AXWindow", Rect(0, 0, 1200, 900));
    const auto expected = c.build(t, root);
    const Analysis a = analyzed(t);
    EXPECT_EQ(a.scroll.chatList, expected);
    EXPECT_EQ(a.elements.chatList.has_value(), expected.has_value());
    EXPECT_EQ(a.elements.chatRows.empty(), !expected.has_value());
  }
}

TEST(Analyze, ChatListLeavesOutRailAndHeader) {
  const struct {
    const char* name;
    Rect container;
    std::vector<Rect> others;  // groups beside the container, in order
    Rect expected;
  } cases[] = {
      {"nothing to trim", Rect(68, 0, 352, 900), {}, Rect(68, 0, 352, 900)},
      {"rail inside a container at x 0",
       Rect(0, 0, 420, 900),
       {Rect(0, 0, 68, 900)},
       Rect(68, 0, 352, 900)},
      {"container right of the rail's right edge",
       Rect(70, 0, 350, 900),
       {Rect(0, 0, 68, 900)},
       Rect(70, 0, 350, 900)},
      {"rail of 40 is still a rail",
       Rect(0, 0, 420, 900),
       {Rect(0, 0, 40, 900)},
       Rect(40, 0, 380, 900)},
      {"too narrow for a rail", Rect(0, 0, 420, 900), {Rect(0, 0, 39, 900)}, Rect(0, 0, 420, 900)},
      {"too short for a rail", Rect(0, 0, 420, 900), {Rect(0, 0, 68, 540)}, Rect(0, 0, 420, 900)},
      {"rail starting left of the container",
       Rect(10, 0, 410, 900),
       {Rect(8, 0, 60, 900)},
       Rect(10, 0, 410, 900)},
      {"widest rail wins",
       Rect(0, 0, 420, 900),
       {Rect(0, 0, 68, 900), Rect(0, 0, 90, 900)},
       Rect(90, 0, 330, 900)},
      {"a container no wider than a rail is not its own rail",
       Rect(0, 0, 380, 900),
       {Rect(0, 0, 68, 900)},
       Rect(68, 0, 312, 900)},
      {"header 60 high at the top",
       Rect(68, 0, 352, 900),
       {Rect(68, 0, 352, 60)},
       Rect(68, 60, 352, 840)},
      {"header within two points of the list's width",
       Rect(68, 0, 352, 900),
       {Rect(69.5, 0, 353.5, 60)},
       Rect(68, 60, 352, 840)},
      {"header too tall", Rect(68, 0, 352, 900), {Rect(68, 0, 352, 150)}, Rect(68, 0, 352, 900)},
      {"header ending above the list changes nothing",
       Rect(68, 100, 352, 800),
       {Rect(68, 20, 352, 60)},
       Rect(68, 100, 352, 800)},
      {"only the first header counts",
       Rect(68, 0, 352, 900),
       {Rect(68, 0, 352, 40), Rect(68, 0, 352, 60)},
       Rect(68, 40, 352, 860)},
      {"rail and header",
       Rect(0, 0, 420, 900),
       {Rect(0, 0, 68, 900), Rect(0, 0, 420, 64)},
       Rect(68, 64, 352, 836)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TreeBuilder t;
    const auto root = t.root("AXWindow", Rect(0, 0, 1200, 900));
    const auto list = t.group(root, c.container);
    // Rows as wide as the list, the first at its top: a row is never the list's header.
    for (int k = 0; k < 3; ++k) {
      t.group(list, Rect(c.container.minX(), c.container.minY() + 72 * k, c.container.width(), 72));
    }
    for (const Rect& r : c.others) {
      t.group(root, r);
    }
    EXPECT_EQ(analyzed(t).elements.chatList, c.expected);
  }
}

TEST(Analyze, PanelCoveringTheChatList) {
  const struct {
    const char* name;
    std::vector<Rect> panelsBefore;  // siblings of the list before it, each with children
    std::vector<Rect> panelsAfter;
    bool covered;
    bool rowsFromPanel;
  } cases[] = {
      {"the list alone is not covered", {}, {}, false, false},
      {"a panel of the same frame after the list", {}, {Rect(68, 0, 352, 900)}, true, false},
      {"a panel before the list gives the rows", {Rect(68, 0, 352, 900)}, {}, true, true},
      {"within a point", {Rect(67.1, 0.9, 352.5, 899.5)}, {}, true, true},
      {"more than a point off", {Rect(66.9, 0, 352, 900)}, {}, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TreeBuilder t;
    const auto root = t.root("AXWindow", Rect(0, 0, 1200, 900));
    const auto addPanel = [&](const Rect& r) {
      const auto panel = t.group(root, r);
      t.heading(panel, Rect(68, 0, 352, 70), "New chat");
      t.group(panel, Rect(68, 80, 352, 64));
      t.group(panel, Rect(68, 150, 352, 56));
      t.group(panel, Rect(68, 210, 149, 56));
      return panel;
    };
    std::optional<std::size_t> firstPanel;
    for (const Rect& r : c.panelsBefore) {
      firstPanel = firstPanel.value_or(addPanel(r));
    }
    const auto list = t.group(root, Rect(68, 0, 352, 900));
    for (int k = 0; k < 3; ++k) {
      t.group(list, Rect(68, 100.0 + 72 * k, 352, 72));
    }
    t.group(root, Rect(68, 0, 352, 900));  // same frame, no children: not a panel
    for (const Rect& r : c.panelsAfter) {
      addPanel(r);
    }

    const Analysis a = analyzed(t);
    EXPECT_EQ(a.elements.isChatListCovered, c.covered);
    EXPECT_EQ(a.elements.chatList, Rect(68, 0, 352, 900));
    if (c.rowsFromPanel) {
      EXPECT_EQ(a.scroll.chatList, firstPanel);
      EXPECT_EQ(a.elements.chatRows, std::vector<Rect>{Rect(68, 80, 352, 64)});
      EXPECT_EQ(a.elements.contactRows, std::vector<Rect>{Rect(68, 150, 352, 56)});
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
    t.add(group, role, Rect(frame.minX() + 10, frame.minY() + 50.0 * k, 200, 40));
  }
  return group;
}

TEST(Analyze, ConversationFromTheLayout) {
  const struct {
    const char* name;
    std::function<std::optional<std::size_t>(TreeBuilder&, std::size_t)> build;  // expected G
  } cases[] = {
      {"same count: the smaller area",
       [](TreeBuilder& t, std::size_t root) {
         conversation(t, root, Rect(400, 0, 500, 1000), 12);
         return conversation(t, root, Rect(400, 0, 600, 500), 12);
       }},
      {"more messages beat a smaller area",
       [](TreeBuilder& t, std::size_t root) {
         const auto more = conversation(t, root, Rect(400, 0, 800, 900), 13);
         conversation(t, root, Rect(400, 0, 600, 500), 12);
         return more;
       }},
      {"same count and area: the earlier",
       [](TreeBuilder& t, std::size_t root) {
         const auto first = conversation(t, root, Rect(400, 0, 600, 500), 3);
         conversation(t, root, Rect(500, 0, 600, 500), 3);
         return first;
       }},
      {"less than half the window high",
       [](TreeBuilder& t, std::size_t root) {
         conversation(t, root, Rect(400, 0, 600, 449), 5);
         return std::nullopt;
       }},
      {"inside a sheet",
       [](TreeBuilder& t, std::size_t root) {
         const auto sheet = t.add(root, "AXSheet", Rect(300, 0, 600, 900));
         conversation(t, sheet, Rect(400, 0, 600, 900), 12);
         return conversation(t, root, Rect(400, 0, 700, 900), 2);
       }},
      {"group rows are not counted",
       [](TreeBuilder& t, std::size_t root) {
         conversation(t, root, Rect(400, 0, 600, 900), 5, "AXGroup");
         return std::nullopt;
       }},
      {"a quarter of the width is the left limit without a chat list",
       [](TreeBuilder& t, std::size_t root) {
         conversation(t, root, Rect(299, 0, 600, 900), 5);
         return conversation(t, root, Rect(300, 0, 600, 900), 1);
       }},
      {"the chat list's right edge less two is the left limit",
       [](TreeBuilder& t, std::size_t root) {
         listWithRows(t, root, 10, 3);  // 10 to 330
         conversation(t, root, Rect(327, 0, 600, 900), 5);
         return conversation(t, root, Rect(328, 0, 600, 900), 1);
       }},
      {"a group without parent is no conversation",
       [](TreeBuilder& t, std::size_t) {
         const auto group = t.root("AXGroup", Rect(400, 0, 600, 900));
         t.text(group, Rect(410, 10, 200, 40));
         return std::nullopt;
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TreeBuilder t;
    const auto root = t.root("AXWindow", Rect(0, 0, 1200, 900));
    const auto expected = c.build(t, root);
    const Analysis a = analyzed(t);
    EXPECT_EQ(a.scroll.messages, expected);
    EXPECT_EQ(a.elements.messageArea.has_value(), expected.has_value());
    if (!expected) {
      EXPECT_TRUE(a.elements.messages.empty());
      EXPECT_TRUE(a.elements.isShowingLatestMessages);
    }
  }
}

TEST(Analyze, MessageAreaBetweenHeaderAndComposer) {
  // The pane is (400, 0, 800, 900); the conversation group holds two messages.
  const struct {
    const char* name;
    Rect group;
    std::optional<Rect> header;
    std::optional<Rect> below;  // the composer reference: lowest other child of the pane
    Rect expected;
  } cases[] = {
      {"header and composer", Rect(400, 0, 800, 900), Rect(400, 0, 800, 60),
       Rect(420, 830, 700, 40), Rect(400, 60, 800, 740)},
      {"nothing around", Rect(400, 0, 800, 900), std::nullopt, std::nullopt,
       Rect(400, 0, 800, 900)},
      {"composer at the very bottom", Rect(400, 0, 800, 900), std::nullopt, Rect(420, 860, 700, 40),
       Rect(400, 0, 800, 860)},
      {"composer reaching below the pane", Rect(400, 0, 800, 900), std::nullopt,
       Rect(420, 880, 700, 40), Rect(400, 0, 800, 880)},
      {"group beyond the pane is clipped to it", Rect(400, -100, 900, 1100), std::nullopt,
       std::nullopt, Rect(400, 0, 800, 900)},
      {"header lower than the group's top", Rect(400, 100, 800, 800), Rect(400, 0, 800, 120),
       Rect(420, 860, 700, 40), Rect(400, 120, 800, 740)},
      {"a composer reference high up leaves an empty area", Rect(400, 0, 800, 900),
       Rect(400, 0, 800, 100), Rect(400, 50, 800, 60), Rect(400, 100, 800, 0)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TreeBuilder t;
    const auto root = t.root("AXWindow", Rect(0, 0, 1200, 900));
    const auto pane = t.group(root, Rect(400, 0, 800, 900));
    if (c.header) t.group(pane, *c.header);
    const auto group = t.group(pane, c.group);
    t.text(group, Rect(410, 400, 300, 40));
    t.text(group, Rect(410, 450, 300, 40));
    if (c.below) t.text(pane, *c.below);
    const Analysis a = analyzed(t);
    EXPECT_EQ(a.scroll.messages, group);
    EXPECT_EQ(a.elements.messageArea, c.expected);
    EXPECT_EQ(a.elements.conversationHeader, c.header);
  }
}

TEST(Analyze, MessagesAndTheirLatest) {
  const struct {
    const char* name;
    std::vector<std::pair<std::string, Rect>> children;  // role and frame, in child order
    std::optional<Rect> jumpButton;
    std::vector<std::string> expected;  // per message: "latest" or ""
    bool showingLatest;
  } cases[] = {
      {"day separator and short rows are no messages",
       {{"AXHeading", Rect(300, 100, 100, 30)},
        {"AXStaticText", Rect(20, 150, 100, 20)},
        {"AXGroup", Rect(20, 200, 500, 80)}},
       std::nullopt,
       {"latest"},
       true},
      {"five messages: the three lowest, whatever their order",
       {{"AXStaticText", Rect(20, 500, 300, 40)},
        {"AXStaticText", Rect(20, 100, 300, 40)},
        {"AXStaticText", Rect(20, 700, 300, 40)},
        {"AXStaticText", Rect(20, 300, 300, 40)},
        {"AXStaticText", Rect(20, 600, 300, 40)}},
       std::nullopt,
       {"latest", "", "latest", "", "latest"},
       true},
      {"equal bottoms: list order",
       {{"AXStaticText", Rect(20, 100, 300, 40)},
        {"AXStaticText", Rect(20, 700, 300, 40)},
        {"AXStaticText", Rect(400, 700, 300, 40)},
        {"AXStaticText", Rect(20, 690, 300, 50)},
        {"AXStaticText", Rect(20, 650, 300, 90)}},
       std::nullopt,
       {"", "latest", "latest", "latest", ""},
       true},
      {"two messages: both",
       {{"AXStaticText", Rect(20, 100, 300, 40)}, {"AXStaticText", Rect(20, 200, 300, 40)}},
       std::nullopt,
       {"latest", "latest"},
       true},
      {"jump button in the area: none",
       {{"AXStaticText", Rect(20, 100, 300, 40)}, {"AXStaticText", Rect(20, 200, 300, 40)}},
       Rect(700, 700, 40, 40),
       {"", ""},
       false},
      {"jump button outside the area does not count",
       {{"AXStaticText", Rect(20, 100, 300, 40)}},
       Rect(700, 850, 40, 40),
       {"latest"},
       true},
      {"a button larger than 80 is no jump button",
       {{"AXStaticText", Rect(20, 100, 300, 40)}},
       Rect(600, 600, 81, 40),
       {"latest"},
       true},
      {"last message 20 below the area's bottom",
       {{"AXStaticText", Rect(20, 780, 300, 60)}},
       std::nullopt,
       {"latest"},
       true},
      {"20.5 below", {{"AXStaticText", Rect(20, 780, 300, 60.5)}}, std::nullopt, {""}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TreeBuilder t;
    const auto window = t.root("AXWindow", Rect(0, 0, 800, 900));
    const auto pane = t.group(window, Rect(0, 0, 800, 900));
    const auto group = t.group(pane, Rect(0, 0, 800, 900), "Alice");
    for (const auto& [role, frame] : c.children) {
      t.add(group, role, frame, "x, 9:41, Read");
    }
    t.add(pane, "AXTextArea", Rect(0, 820, 800, 80));  // the area ends at 820
    if (c.jumpButton) t.button(pane, *c.jumpButton);
    const Analysis a = analyzed(t, Size{800, 900});
    ASSERT_EQ(a.elements.messageArea, Rect(0, 0, 800, 820));
    EXPECT_EQ(a.elements.isShowingLatestMessages, c.showingLatest);
    std::vector<std::string> marks;
    for (const auto& m : a.elements.messages) {
      marks.push_back(m.isLatest ? "latest" : "");
      EXPECT_EQ(m.key, "x, 9:41");
    }
    EXPECT_EQ(marks, c.expected);
  }
}

TEST(Analyze, ConversationKeyIsTheGroupLabel) {
  const struct {
    const char* name;
    std::string label;
    std::optional<std::string> expected;
  } cases[] = {
      {"label", "Alice", "Alice"},
      {"empty label", "", std::nullopt},
      {"ill-formed bytes", "Al\xFF", "Al\xEF\xBF\xBD"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TreeBuilder t;
    const auto pane = t.root("AXGroup", Rect(400, 0, 800, 900));
    const auto group = t.group(pane, Rect(400, 0, 800, 800), c.label);
    t.text(group, Rect(410, 10, 300, 40));
    EXPECT_EQ(analyzed(t).elements.conversationKey, c.expected);
  }
}

TEST(Analyze, ImagesOfAtLeast56Points) {
  TreeBuilder t;
  const auto root = t.root("AXWindow", Rect(0, 0, 1200, 900));
  t.image(root, Rect(0, 0, 56, 56));
  t.image(root, Rect(0, 0, 55.9, 100));
  t.image(root, Rect(0, 0, 100, 55.9));
  t.add(root, "AXGroup", Rect(0, 0, 100, 100));
  t.image(root, Rect(100, 100, -60, -60));
  EXPECT_EQ(analyzed(t).elements.images,
            (std::vector<Rect>{Rect(0, 0, 56, 56), Rect(100, 100, -60, -60)}));
}

TEST(Analyze, Sheet) {
  const struct {
    const char* name;
    std::function<void(TreeBuilder&, std::size_t sheet)> build;
    std::optional<Rect> picture;
    std::vector<Rect> names;
    std::vector<Rect> thumbnails;
  } cases[] = {
      {"largest square button is the picture",
       [](TreeBuilder& t, std::size_t s) {
         t.button(s, Rect(0, 0, 79, 79));
         t.button(s, Rect(0, 0, 100, 101.9));
         t.button(s, Rect(0, 0, 120, 122));
         t.button(s, Rect(0, 0, 100, 100));
       },
       Rect(0, 0, 100, 101.9),
       {},
       {}},
      {"equal widths: the earlier, also when deeper",
       [](TreeBuilder& t, std::size_t s) {
         const auto inner = t.group(s, Rect(0, 0, 10, 10));
         t.button(inner, Rect(1, 1, 90, 90));
         t.button(s, Rect(2, 2, 90, 90.5));
       },
       Rect(1, 1, 90, 90),
       {},
       {}},
      {"a heading 4 wide is skipped for the next",
       [](TreeBuilder& t, std::size_t s) {
         const auto names = t.group(s, Rect(100, 200, 400, 100));
         t.heading(names, Rect(100, 200, 4, 30));
         t.heading(names, Rect(110, 200, 300, 30));
         t.heading(names, Rect(120, 200, 300, 30));
       },
       std::nullopt,
       {Rect(110, 200, 300, 30)},
       {}},
      {"static texts beside the heading, then the phone number",
       [](TreeBuilder& t, std::size_t s) {
         t.text(s, Rect(1, 1, 10, 10), "Phone number");
         const auto names = t.group(s, Rect(100, 200, 400, 100));
         t.heading(names, Rect(110, 200, 300, 30));
         t.text(s, Rect(110, 240, 300, 20), "~alice");
         t.text(names, Rect(110, 270, 300, 20), "not beside: a sibling");
       },
       std::nullopt,
       {Rect(110, 200, 300, 30), Rect(1, 1, 10, 10), Rect(110, 240, 300, 20), Rect(1, 1, 10, 10)},
       {}},
      {"phone number without a heading",
       [](TreeBuilder& t, std::size_t s) { t.text(s, Rect(1, 1, 10, 10), "Phone number"); },
       std::nullopt,
       {Rect(1, 1, 10, 10)},
       {}},
      {"thumbnails below the sheet's top 56 points",
       [](TreeBuilder& t, std::size_t s) {
         t.text(s, Rect(110, 110, 40, 40));   // wholly in the top strip
         t.text(s, Rect(160, 136, 40, 40));   // half inside: lower half
         t.text(s, Rect(210, 300, 80, 81));   // roughly square
         t.text(s, Rect(300, 300, 80, 83));   // not square enough
         t.text(s, Rect(400, 300, 29, 29));   // too small
         t.image(s, Rect(500, 300, 80, 80));  // not a static text
       },
       std::nullopt,
       {},
       {Rect(160, 156, 40, 20), Rect(210, 300, 80, 81)}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TreeBuilder t;
    const auto root = t.root("AXWindow", Rect(0, 0, 1200, 900));
    t.add(root, "AXHeading", Rect(0, 0, 300, 30), "outside the sheet");
    t.button(root, Rect(0, 0, 200, 200), "outside the sheet");
    t.text(root, Rect(0, 0, 20, 20), "Phone number");
    const auto sheet = t.add(root, "AXSheet", Rect(100, 100, 600, 700));
    c.build(t, sheet);
    t.add(root, "AXSheet", Rect(0, 0, 10, 10));
    const DetectedElements e = analyzed(t).elements;
    EXPECT_EQ(e.sheet, Rect(100, 100, 600, 700));
    EXPECT_EQ(e.sheetPicture, c.picture);
    EXPECT_EQ(e.sheetNames, c.names);
    EXPECT_EQ(e.sheetThumbnails, c.thumbnails);
  }
}

TEST(Analyze, MediaThumbnails) {
  const struct {
    const char* name;
    bool chatList;
    std::string where;  // "list", "conversation", "window", "sheet"
    Rect frame;
    std::string label;
    std::vector<Rect> expected;
  } cases[] = {
      {"partly in the chat list: whole",
       true,
       "list",
       Rect(400, 300, 48, 48),
       "Photo",
       {Rect(400, 300, 48, 48)}},
      {"a message row itself", true, "conversation", Rect(500, 300, 48, 48), "Photo", {}},
      {"without a chat list, partly in the window: whole",
       false,
       "window",
       Rect(1180, 300, 48, 48),
       "Video",
       {Rect(1180, 300, 48, 48)}},
      {"inside a sheet", true, "sheet", Rect(200, 300, 48, 48), "Photo", {}},
      {"outside the chat list", true, "window", Rect(600, 300, 48, 48), "Photo", {}},
      {"label without media word", true, "list", Rect(200, 300, 48, 48), "Alice", {}},
      {"no label, in the list's rows",
       true,
       "list",
       Rect(200, 300, 48, 48),
       "",
       {Rect(200, 300, 48, 48)}},
      {"no label, over the list but not in it", true, "window", Rect(200, 300, 48, 48), "", {}},
      {"not square", true, "list", Rect(200, 300, 48, 51), "Photo", {}},
      {"in the list's rows, out of sight: whole",
       true,
       "list",
       Rect(200, 910, 48, 48),
       "Photo",
       {Rect(200, 910, 48, 48)}},
      {"elsewhere, less than a point in the list",
       true,
       "window",
       Rect(400, -47.5, 48, 48),
       "Photo",
       {}},
      {"elsewhere, a point in the list",
       true,
       "window",
       Rect(400, -47, 48, 48),
       "Photo",
       {Rect(400, -47, 48, 48)}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TreeBuilder t;
    const auto root = t.root("AXWindow", Rect(0, 0, 1200, 900));
    std::size_t list = root;
    if (c.chatList) {
      list = t.group(root, Rect(68, 0, 352, 900));
      for (int k = 0; k < 3; ++k) {
        t.group(list, Rect(68, 100.0 + 72 * k, 352, 72));
      }
    }
    const auto g = conversation(t, root, Rect(500, 0, 700, 900), 3);
    const auto sheet = t.add(root, "AXSheet", Rect(100, 100, 600, 700));
    const std::size_t parent = c.where == "list"           ? list
                               : c.where == "conversation" ? g
                               : c.where == "sheet"        ? sheet
                                                           : root;
    t.text(parent, c.frame, c.label);
    EXPECT_EQ(analyzed(t).elements.mediaThumbnails, c.expected);
  }
}

// ---------------------------------------------------------------------------------------------
// Snapshots that break the invariants the reader guarantees

bool hasLine(const std::string& dumped, const std::string& line) {
  return ("\n" + dumped).find("\n" + line + "\n") != std::string::npos;
}

bool hasLineStarting(const std::string& dumped, const std::string& prefix) {
  return ("\n" + dumped).find("\n" + prefix) != std::string::npos;
}

TEST(Analyze, BrokenSnapshotsAreReadSafely) {
  // With no usable parent, nothing that needs the tree is found; what needs no tree still is.
  const auto treeless = [](const std::string& d) {
    for (const char* absent : {"chatList ", "chatRows", "messageArea ", "messages", "composer ",
                               "sheetPicture ", "sheetNames", "header ", "conversation "}) {
      EXPECT_FALSE(hasLineStarting(d, absent)) << absent;
    }
    EXPECT_TRUE(hasLine(d, "sheet (300, 100, 600, 700)"));
    EXPECT_TRUE(hasLine(d, "  (690, 170, 480, 200)"));
    EXPECT_TRUE(hasLine(d, "scroll chatList - messages -"));
  };
  const struct {
    const char* name;
    std::function<void(std::vector<AccessibilityNode>&)> breakIt;
    std::function<void(const std::string& dumped)> check;
  } cases[] = {
      {"every parent out of range",
       [](auto& nodes) {
         for (auto& n : nodes) {
           n.parent = nodes.size() + 7;
         }
       },
       treeless},
      {"every parent the node itself",
       [](auto& nodes) {
         for (std::size_t i = 0; i < nodes.size(); ++i) {
           nodes[i].parent = i;
         }
       },
       treeless},
      {"every parent a later node, closing a cycle",
       [](auto& nodes) {
         for (std::size_t i = 0; i < nodes.size(); ++i) {
           nodes[i].parent = (i + 1) % nodes.size();
         }
       },
       treeless},
      {"rows with NaN and infinite frames are no rows",
       [](auto& nodes) {
         for (auto& n : nodes) {
           if (n.frame == Rect(68, 172, 352, 72)) n.frame.size.height = nan;
           if (n.frame == Rect(68, 244, 352, 72)) n.frame.origin.x = -inf;
         }
       },
       [](const std::string& d) {
         EXPECT_FALSE(hasLine(d, "  (68, 172, 352, 72)"));
         EXPECT_FALSE(hasLine(d, "  (68, 244, 352, 72)"));
         EXPECT_TRUE(hasLine(d, "  (68, 316, 352, 72)"));
       }},
      {"rows too large for a size key are no rows",
       [](auto& nodes) {
         for (auto& n : nodes) {
           if (n.frame == Rect(68, 172, 352, 72)) n.frame.size.width = 1e300;
           if (n.frame == Rect(68, 244, 352, 72)) n.frame.size.height = 3e9;
         }
       },
       [](const std::string& d) {
         EXPECT_EQ(d.find("1e+300"), std::string::npos);
         EXPECT_EQ(d.find("3e+09"), std::string::npos);
         EXPECT_TRUE(hasLine(d, "  (68, 316, 352, 72)"));
       }},
      {"a non-finite sheet frame is a null sheet",
       [](auto& nodes) {
         for (auto& n : nodes) {
           if (n.role == "AXSheet") n.frame.size.width = inf;
         }
       },
       [](const std::string& d) {
         EXPECT_TRUE(hasLine(d, "sheet null"));
         EXPECT_FALSE(hasLineStarting(d, "sheetThumbnails"));
       }},
      {"a non-finite conversation pane leaves a null message area",
       [](auto& nodes) {
         for (auto& n : nodes) {
           if (n.frame == Rect(420, 0, 780, 900)) n.frame.origin.y = nan;
         }
       },
       [](const std::string& d) {
         EXPECT_TRUE(hasLine(d, "messageArea null"));
         EXPECT_FALSE(hasLineStarting(d, "header "));
         EXPECT_TRUE(hasLine(d, "chatList (68, 64, 352, 836)"));
       }},
      {"a NaN input field gives a null composer that bounds nothing",
       [](auto& nodes) {
         for (auto& n : nodes) {
           if (n.role == "AXTextArea") n.frame.origin.x = nan;
         }
       },
       [](const std::string& d) {
         EXPECT_TRUE(hasLine(d, "composer null"));
         EXPECT_TRUE(hasLine(d, "messageArea (420, 60, 780, 780)"));
       }},
      {"ill-formed labels",
       [](auto& nodes) {
         for (auto& n : nodes) {
           n.label += "\xF0\x9F\xFF\xC3";
         }
       },
       [](const std::string& d) {
         EXPECT_TRUE(hasLine(d, "conversation \"Alice\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""));
         EXPECT_TRUE(hasLine(d, "  (372, 260, 40, 40)")) << "still a photo";
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<AccessibilityNode> nodes = whatsAppWindow({.sheet = true}).nodes();
    c.breakIt(nodes);
    c.check(dump(analyze(nodes, kWindow)));
  }
}

TEST(Analyze, DegenerateWindowSizes) {
  const auto nodes = whatsAppWindow({}).nodes();
  for (const Size window : {Size{0, 0}, Size{-1200, -900}, Size{nan, nan}, Size{inf, inf}}) {
    SCOPED_TRACE(::testing::PrintToString(window));
    const Analysis a = analyze(nodes, window);
    EXPECT_TRUE(a.elements.isRead);
    // The input field still identifies the conversation.
    EXPECT_EQ(a.elements.messageArea, Rect(420, 60, 780, 776));
  }
}

}  // namespace
}  // namespace velvix::WhatsAppStructure
