#include "AnalysisHelpers.hpp"

#include <BlurLayout/WhatsAppStructure.hpp>

#include "TreeBuilder.hpp"

#include <gtest/gtest.h>

#include <limits>
#include <random>
#include <string>
#include <vector>

namespace velvix::analysis {
namespace {

using testing::TreeBuilder;
using WhatsAppStructure::isMediaLabel;
using WhatsAppStructure::messageKey;

constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double nan = std::numeric_limits<double>::quiet_NaN();

TEST(MessageKey, CutsAfterTheLastTimeStamp) {
  const struct {
    const char* name;
    std::string label;
    std::string expected;
  } cases[] = {
      {"status after the time", "Hi, 9:41, Read", "Hi, 9:41"},
      {"time stamp is last", "Hi, 9:41", "Hi, 9:41"},
      {"one component with letters", "Lunch at 12:30", "Lunch at 12:30"},
      {"time with AM holds letters", "Hi, 10:30 AM, Read", "Hi, 10:30 AM, Read"},
      {"leading empty component is kept", ", 10:30, Delivered", ", 10:30"},
      {"two time stamps: the last one wins", "7:15, moved to 8:30, 8:45, Read",
       "7:15, moved to 8:30, 8:45"},
      {"qualifying component in the middle", "a, 12:00, b, c, d", "a, 12:00"},
      {"empty label", "", ""},
      {"three characters are too few", "Hi, 1:5, Read", "Hi, 1:5, Read"},
      {"six characters are too many", "Hi, 12:345, Read", "Hi, 12:345, Read"},
      {"digits without a colon", "Code, 12345, Read", "Code, 12345, Read"},
      {"other characters do not count", "Hi, (9:41), Read", "Hi, (9:41)"},
      {"date and time are too many", "Hi, 1.2.24 9:41, Read", "Hi, 1.2.24 9:41, Read"},
      {"empty components between separators", "a, , 9:41, , Read", "a, , 9:41"},
      {"separator needs the blank", "a,9:41,Read", "a,9:41,Read"},
      {"Arabic-Indic digits",
       "\xD9\x85\xD8\xB1\xD8\xAD\xD8\xA8\xD8\xA7, \xD9\xA9:\xD9\xA4\xD9\xA1, Read",
       "\xD9\x85\xD8\xB1\xD8\xAD\xD8\xA8\xD8\xA7, \xD9\xA9:\xD9\xA4\xD9\xA1"},
      {"Devanagari digits", "x, \xE0\xA5\xA7\xE0\xA5\xA6:\xE0\xA5\xA9\xE0\xA5\xA6, y",
       "x, \xE0\xA5\xA7\xE0\xA5\xA6:\xE0\xA5\xA9\xE0\xA5\xA6"},
      {"fullwidth digits", "x, \xEF\xBC\x99:\xEF\xBC\x94\xEF\xBC\x91, y",
       "x, \xEF\xBC\x99:\xEF\xBC\x94\xEF\xBC\x91"},
      {"a letter in another script disqualifies", "x, 9:41 \xD0\xB4, y", "x, 9:41 \xD0\xB4, y"},
      {"a digit with a combining mark is one character", "x, 9\xCC\x81:41, y", "x, 9\xCC\x81:41"},
      {"a comma with a combining mark is no separator", "x,\xCC\x81 9:41", "x,\xCC\x81 9:41"},
      {"ill-formed bytes read as U+FFFD", "\xFF, 9:41, Read", "\xEF\xBF\xBD, 9:41"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(messageKey(c.label), c.expected);
  }
}

TEST(IsMediaLabel, LooksForAMediaWordAtTheStartOfTheFirstTwoLines) {
  const struct {
    const char* name;
    std::string label;
    bool expected;
  } cases[] = {
      {"word alone", "Photo", true},
      {"word as a prefix", "Photos", true},
      {"every word", "Video", true},
      {"sticker", "Sticker", true},
      {"GIF in capitals", "GIF", true},
      {"image", "Image, 9:41", true},
      {"album", "Album of 4", true},
      {"symbol before the word", "\xF0\x9F\x93\xB7 Photo", true},
      {"digits and blanks before the word", "12 Photo", true},
      {"'Your' form", "Your photo", true},
      {"'Your' form of gif", "Your gif", true},
      {"'Your' form needs lower case", "Your Photo", false},
      {"lower-case word alone", "gif", false},
      {"word after another word", "My Photo", false},
      {"second line", "Alice\nVideo", true},
      {"second line after an empty line", "\nAlice\n\nVideo, 0:12", true},
      {"third non-empty line", "Alice\nBob\nVideo", false},
      {"CR LF counts as one break", "Alice\r\nVideo", true},
      {"CR alone is a break", "Alice\rVideo", true},
      {"vertical tab is a break", "Alice\vBob\vVideo", false},
      {"line separator", "Alice\xE2\x80\xA8Video", true},
      {"a line without letters matches nothing", "123\n456", false},
      {"the second line still counts after one without letters", "123\nPhoto", true},
      {"word with a combining mark on its last letter",
       "Phot"
       "o\xCC\x81",
       false},
      {"empty label", "", false},
      {"only line breaks", "\n\n\r\n", false},
      {"ill-formed bytes before the word", "\xFF\xFEPhoto", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(isMediaLabel(c.label), c.expected);
  }
}

// Most labels are read code point by code point; that shortcut must agree with reading them as
// grapheme clusters from ICU's break iterator, on text built to hit every rule.
TEST(LabelReading, CodePointShortcutAgreesWithGraphemeClusters) {
  const std::vector<std::string> pieces = {
      ", ",
      ",",
      " ",
      ":",
      "1",
      "9:41",
      "12:30",
      "Read",
      "a",
      "Photo",
      "Your gif",
      "Your ",
      "GIF",
      "\n",
      "\r\n",
      "\r",
      "\xE2\x80\xA8",
      "\xC2\x85",
      "\xD9\xA3",      // Arabic-Indic digit
      "\xE0\xA5\xA7",  // Devanagari digit
      "\xE2\x85\xAB",  // Roman numeral twelve: a number and a letter
      "\xC3\xA9",
      "\xD0\xB4",
      "\xE4\xB8\xAD",
      "\xCC\x81",  // combining acute
      "\xE2\x80\x8D",
      "\xEF\xB8\x8F",  // ZWJ, variation selector
      "\xF0\x9F\x93\xB7",
      "\xF0\x9F\x87\xAB",
      "\xE1\x84\x80",
      "\xE1\x85\xA1",
      "\xD8\x80",  // prepended concatenation mark
      "\xFF",
      "\xE2\x82",  // ill-formed
  };
  std::mt19937 random(7);
  std::uniform_int_distribution<std::size_t> piece(0, pieces.size() - 1);
  std::uniform_int_distribution<int> length(0, 10);
  text::Characters characters;
  int shortcuts = 0;
  for (int round = 0; round < 20000; ++round) {
    std::string s;
    for (int k = length(random); k > 0; --k) {
      s += pieces[piece(random)];
    }
    characters.assign(s, text::Characters::Segmenter::breakIterator);
    const text::Scan scan = text::scan(s);
    shortcuts += scan.isWellFormed && scan.codePointsAreCharacters;
    ASSERT_EQ(analysis::messageKey(s), analysis::messageKey(characters))
        << ::testing::PrintToString(s);
    ASSERT_EQ(analysis::isMediaLabel(s), analysis::isMediaLabel(characters))
        << ::testing::PrintToString(s);
    const MessageLabel both = readMessageLabel(s);
    ASSERT_EQ(both.key, analysis::messageKey(characters)) << ::testing::PrintToString(s);
    ASSERT_EQ(both.isMedia, analysis::isMediaLabel(characters)) << ::testing::PrintToString(s);
  }
  EXPECT_GT(shortcuts, 2000) << "the shortcut must be exercised";
}

TEST(SizeKey, RoundsHalvesAwayFromZero) {
  const struct {
    const char* name;
    Rect frame;
    std::optional<SizeKey> expected;
  } cases[] = {
      {"halves round up", Rect(0, 0, 300.5, 71.5), SizeKey{301, 72}},
      {"just under a half rounds down", Rect(0, 0, 299.49, 72.0), SizeKey{299, 72}},
      {"12.5 gives 13", Rect(0, 0, 12.5, 12.49), SizeKey{13, 12}},
      {"negative extents are standardised", Rect(10, 10, -300.5, -71.5), SizeKey{301, 72}},
      {"null rectangle has no extent", Rect::null(), SizeKey{0, 0}},
      {"largest int32 fits", Rect(0, 0, 2147483647.0, 1), SizeKey{2147483647, 1}},
      {"one more does not", Rect(0, 0, 2147483647.5, 1), std::nullopt},
      {"huge", Rect(0, 0, 1e300, 10), std::nullopt},
      {"infinite height", Rect(0, 0, 10, inf), std::nullopt},
      {"NaN width", Rect(0, 0, nan, 10), std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(SizeKey::of(c.frame), c.expected);
  }
}

TEST(NodeList, TreatsBrokenParentsAsAbsent) {
  std::vector<AccessibilityNode> nodes = {
      {"AXWindow", "", Rect(0, 0, 100, 100), std::nullopt},
      {"AXGroup", "", Rect(0, 0, 10, 10), 0},
      {"AXGroup", "", Rect(0, 0, 10, 10), 2},   // itself
      {"AXGroup", "", Rect(0, 0, 10, 10), 4},   // a later node
      {"AXGroup", "", Rect(0, 0, 10, 10), 99},  // out of range
      {"AXGroup", "", Rect(0, 0, 10, 10), 1},
      {"AXGroup", "", Rect(0, 0, 10, 10), static_cast<std::size_t>(-1)},
  };
  const NodeList list(nodes);
  const std::optional<std::size_t> expectedParents[] = {std::nullopt, 0, std::nullopt, std::nullopt,
                                                        std::nullopt, 1, std::nullopt};
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(list.parent(i), expectedParents[i]);
  }
  EXPECT_EQ(std::vector<std::size_t>(list.children(0).begin(), list.children(0).end()),
            std::vector<std::size_t>{1});
  EXPECT_EQ(std::vector<std::size_t>(list.children(1).begin(), list.children(1).end()),
            std::vector<std::size_t>{5});
  for (const std::size_t i : {2, 3, 4, 5, 6}) {
    EXPECT_TRUE(list.children(i).empty()) << i;
  }
}

TEST(NodeList, ChildrenAreListedInIndexOrder) {
  TreeBuilder t;
  const auto a = t.root("AXWindow", Rect(0, 0, 10, 10));
  const auto b = t.root("AXWindow", Rect(0, 0, 10, 10));
  const auto a1 = t.group(a, Rect());
  const auto b1 = t.group(b, Rect());
  const auto a2 = t.group(a, Rect());
  const auto a11 = t.group(a1, Rect());
  const NodeList list(t.nodes());
  const auto children = [&](std::size_t i) {
    return std::vector<std::size_t>(list.children(i).begin(), list.children(i).end());
  };
  EXPECT_EQ(children(a), (std::vector<std::size_t>{a1, a2}));
  EXPECT_EQ(children(b), (std::vector<std::size_t>{b1}));
  EXPECT_EQ(children(a1), (std::vector<std::size_t>{a11}));
  EXPECT_TRUE(children(a2).empty());
  EXPECT_TRUE(NodeList(std::vector<AccessibilityNode>{}).size() == 0);
}

TEST(NodeList, ReadsNonFiniteFramesAsNull) {
  const struct {
    const char* name;
    Rect frame;
    Rect expected;
  } cases[] = {
      {"finite", Rect(1, 2, 3, 4), Rect(1, 2, 3, 4)},
      {"negative size is kept", Rect(1, 2, -3, -4), Rect(1, 2, -3, -4)},
      {"NaN x", Rect(nan, 0, 10, 10), Rect::null()},
      {"infinite width", Rect(0, 0, inf, 10), Rect::null()},
      {"minus infinite y", Rect(0, -inf, 10, 10), Rect::null()},
      {"NaN height", Rect(0, 0, 10, nan), Rect::null()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<AccessibilityNode> nodes = {{"AXGroup", "", c.frame, std::nullopt}};
    const Rect read = NodeList(nodes).frame(0);
    EXPECT_EQ(read, c.expected);
    EXPECT_EQ(read.isNull(), c.expected.isNull());
  }
}

TEST(NodeList, SheetAncestry) {
  TreeBuilder t;
  const auto window = t.root("AXWindow", Rect(0, 0, 100, 100));
  const auto sheet = t.add(window, "AXSheet", Rect());
  const auto inside = t.group(sheet, Rect());
  const auto deeper = t.text(inside, Rect());
  const auto outside = t.group(window, Rect());
  const auto nested = t.add(inside, "AXSheet", Rect());
  const auto broken = t.group(sheet, Rect());
  t.nodes()[broken].parent = broken + 5;
  const NodeList list(t.nodes());

  const struct {
    const char* name;
    std::size_t node;
    bool expected;
  } cases[] = {
      {"the root", window, false},
      {"a sheet whose ancestors are no sheet", sheet, false},
      {"child of the sheet", inside, true},
      {"grandchild of the sheet", deeper, true},
      {"sibling of the sheet", outside, false},
      {"sheet inside a sheet", nested, true},
      {"node whose parent is broken", broken, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(list.isInSheet(c.node), c.expected);
  }
  EXPECT_EQ(list.descendantsOf(sheet), (std::vector<std::size_t>{inside, deeper, nested}));
  EXPECT_EQ(list.descendantsOf(inside), (std::vector<std::size_t>{deeper, nested}));
  EXPECT_TRUE(list.descendantsOf(outside).empty());
  EXPECT_TRUE(list.descendantsOf(99).empty());
}

TEST(MessageCount, CountsTallChildrenThatAreNeitherHeadingsNorGroups) {
  const struct {
    const char* name;
    std::string role;
    double height;
    std::size_t expected;
  } cases[] = {
      {"static text 24 high", "AXStaticText", 24, 1},
      {"static text 23.9 high", "AXStaticText", 23.9, 0},
      {"group 100 high", "AXGroup", 100, 0},
      {"heading 100 high", "AXHeading", 100, 0},
      {"unknown role", "AXCell", 80, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TreeBuilder t;
    const auto container = t.root("AXGroup", Rect(0, 0, 500, 500));
    t.add(container, c.role, Rect(0, 0, 300, c.height));
    t.add(container, c.role, Rect(0, 100, 300, c.height));
    EXPECT_EQ(messageCount(NodeList(t.nodes()), container), 2 * c.expected);
  }
}

TEST(ChatRows, ReturnsTheLargestGroupOfEqualSize) {
  const struct {
    const char* name;
    std::vector<Size> children;
    std::vector<std::size_t> expected;  // positions among the children
  } cases[] = {
      {"no children", {}, {}},
      {"five beat two",
       {{300, 72}, {300, 100}, {300, 72}, {300, 72}, {300, 100}, {300, 72}, {300, 72}},
       {0, 2, 3, 5, 6}},
      {"sizes within rounding group together", {{300.4, 72.4}, {299.6, 71.6}, {300, 100}}, {0, 1}},
      {"149 wide and 49 high are never rows",
       {{149, 72}, {149, 72}, {300, 49}, {300, 49}, {150, 50}},
       {4}},
      {"tie goes to the group whose first row comes first",
       {{300, 100}, {300, 72}, {300, 72}, {300, 100}},
       {0, 3}},
      {"tie does not depend on the size", {{300, 72}, {300, 100}, {300, 100}, {300, 72}}, {0, 3}},
      {"enormous and non-finite sizes are never rows", {{1e12, 72}, {1e12, 72}, {300, 72}}, {2}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TreeBuilder t;
    const auto container = t.root("AXGroup", Rect(0, 0, 400, 800));
    std::vector<Rect> frames;
    double y = 0;
    for (const Size& s : c.children) {
      frames.emplace_back(10, y, s.width, s.height);
      t.group(container, frames.back());
      y += 200;
    }
    t.group(container, Rect(0, 0, inf, 72));
    const NodeList list(t.nodes());
    ChatRowFinder finder(list);
    std::vector<Rect> expected;
    for (const std::size_t p : c.expected) {
      expected.push_back(frames[p]);
    }
    const auto rows = finder.rowsIn(container);
    EXPECT_EQ(std::vector<Rect>(rows.begin(), rows.end()), expected);
  }
}

}  // namespace
}  // namespace velvix::analysis
