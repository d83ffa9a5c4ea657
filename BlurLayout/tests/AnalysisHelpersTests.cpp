#include "AnalysisHelpers.hpp"

#include <BlurLayout/WhatsAppStructure.hpp>

#include "TreeBuilder.hpp"

#include <gtest/gtest.h>

#include <limits>
#include <random>
#include <sstream>
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

// Most labels are read code point by code point, skipping the break iterator; that shortcut must
// agree with reading them as grapheme clusters from ICU's break iterator, in the characters it
// splits and in both label readings, on random text that mixes every segmentation class.
TEST(LabelReading, CodePointShortcutAgreesWithGraphemeClusters) {
  // Ill-formed bytes; Arabic-Indic and Devanagari digits; a Roman numeral (number and letter);
  // combining acute, ZWJ, variation selector; Hangul L, V, LV; Arabic number sign.
  std::vector<std::string> pieces;
  std::istringstream all(
      ", |,| |:|1|7|9:41|12:30|Read|a|Z|Photo|Your gif|Your |GIF|\n|\r\n|\r|\x7F|\xE2\x80\xA8|"
      "\xC2\x85|\xFF|\xE2\x82|\xD9\xA3|\xE0\xA5\xA7|\xE2\x85\xAB|\xC3\xA9|\xD0\xB4|\xE4\xB8\xAD|"
      "\xCC\x81|\xE2\x80\x8D|\xEF\xB8\x8F|\xF0\x9F\x93\xB7|\xF0\x9F\x91\xA9|\xF0\x9F\x87\xAB|"
      "\xE1\x84\x80|\xE1\x85\xA1|\xEA\xB0\x80|\xD8\x80|\xE0\xA4\x95|\xE0\xA4\xBF");
  for (std::string piece; std::getline(all, piece, '|');) {
    pieces.push_back(piece);
  }
  const auto split = [](const text::Characters& c) {
    std::vector<std::string> out;
    for (const text::Character& ch : c.all()) {
      out.emplace_back(c.bytes(ch));
    }
    return out;
  };
  std::mt19937 random(7);
  std::uniform_int_distribution<std::size_t> piece(0, pieces.size() - 1);
  std::uniform_int_distribution<int> length(0, 12);
  text::Characters characters;
  text::Characters automatic;
  int shortcuts = 0;
  for (int round = 0; round < 20000; ++round) {
    std::string s;
    for (int k = length(random); k > 0; --k) {
      s += pieces[piece(random)];
    }
    SCOPED_TRACE(::testing::PrintToString(s));
    characters.assign(s, text::Characters::Segmenter::breakIterator);
    automatic.assign(s, text::Characters::Segmenter::automatic);
    ASSERT_EQ(split(automatic), split(characters));
    const text::Scan scan = text::scan(s);
    shortcuts += scan.isWellFormed && scan.codePointsAreCharacters;
    ASSERT_EQ(analysis::messageKey(s), analysis::messageKey(characters));
    ASSERT_EQ(analysis::isMediaLabel(s), analysis::isMediaLabel(characters));
    const MessageLabel both = readMessageLabel(s);
    ASSERT_EQ(both.key, analysis::messageKey(characters));
    ASSERT_EQ(both.isMedia, analysis::isMediaLabel(characters));
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

// A parent out of range or not before its node is absent, a frame with a non-finite component is
// null; children are listed in index order and sheet ancestry follows only valid parents.
TEST(NodeList, EnforcesTheSnapshotInvariants) {
  const std::vector<AccessibilityNode> nodes = {
      {"AXWindow", "", Rect(0, 0, 100, 100), std::nullopt},
      {"AXWindow", "", Rect(1, 2, -3, -4), std::nullopt},
      {"AXSheet", "", Rect(nan, 0, 10, 10), 0},
      {"AXGroup", "", Rect(0, 0, inf, 10), 2},
      {"AXGroup", "", Rect(0, -inf, 10, 10), 1},
      {"AXGroup", "", Rect(0, 0, 10, nan), 0},
      {"AXStaticText", "", Rect(), 3},
      {"AXSheet", "", Rect(), 3},
      {"AXGroup", "", Rect(), 8},
      {"AXGroup", "", Rect(), 10},
      {"AXGroup", "", Rect(), 99},
      {"AXGroup", "", Rect(), static_cast<std::size_t>(-1)},
      {"AXGroup", "", Rect(), 7},
  };
  const std::optional<std::size_t> none;
  const struct {
    std::optional<std::size_t> parent;
    std::vector<std::size_t> children;
    bool inSheet;
    Rect frame;
  } expected[] = {
      {none, {2, 5}, false, Rect(0, 0, 100, 100)},
      {none, {4}, false, Rect(1, 2, -3, -4)},  // negative sizes are kept
      {0, {3}, false, Rect::null()},           // a sheet whose ancestors are no sheet
      {2, {6, 7}, true, Rect::null()},
      {1, {}, false, Rect::null()},
      {0, {}, false, Rect::null()},
      {3, {}, true, Rect()},
      {3, {12}, true, Rect()},    // a sheet inside a sheet
      {none, {}, false, Rect()},  // its own parent
      {none, {}, false, Rect()},  // a later node as parent
      {none, {}, false, Rect()},
      {none, {}, false, Rect()},
      {7, {}, true, Rect()},
  };
  const NodeList list(nodes);
  ASSERT_EQ(list.size(), nodes.size());
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(list.parent(i), expected[i].parent);
    EXPECT_EQ(std::vector<std::size_t>(list.children(i).begin(), list.children(i).end()),
              expected[i].children);
    EXPECT_EQ(list.isInSheet(i), expected[i].inSheet);
    EXPECT_EQ(list.frame(i), expected[i].frame);
    EXPECT_EQ(list.frame(i).isNull(), expected[i].frame.isNull());
  }
  EXPECT_EQ(list.descendantsOf(0), (std::vector<std::size_t>{2, 3, 5, 6, 7, 12}));
  EXPECT_EQ(list.descendantsOf(2), (std::vector<std::size_t>{3, 6, 7, 12}));
  EXPECT_EQ(list.descendantsOf(3), (std::vector<std::size_t>{6, 7, 12}));
  EXPECT_TRUE(list.descendantsOf(5).empty());
  EXPECT_TRUE(list.descendantsOf(99).empty());
  EXPECT_EQ(NodeList(std::vector<AccessibilityNode>{}).size(), 0u);
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
