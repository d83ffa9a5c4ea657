#include "Text.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace velvix::text {
namespace {

std::vector<std::string> split(const Characters& c) {
  std::vector<std::string> out;
  for (const Character& ch : c.all()) {
    out.emplace_back(c.bytes(ch));
  }
  return out;
}

TEST(Characters, SplitsIntoUserPerceivedCharacters) {
  const struct {
    const char* name;
    std::string input;
    std::vector<std::string> expected;
  } cases[] = {
      {"empty", "", {}},
      {"ascii", "a1:", {"a", "1", ":"}},
      {"CR LF is one character", "a\r\nb", {"a", "\r\n", "b"}},
      {"LF CR are two", "\n\r", {"\n", "\r"}},
      {"combining accent joins its base", "e\xCC\x81x", {"e\xCC\x81", "x"}},
      {"combining accent after a comma", ",\xCC\x81 ", {",\xCC\x81", " "}},
      {"flag of two regional indicators",
       "\xF0\x9F\x87\xAB\xF0\x9F\x87\xB7!",
       {"\xF0\x9F\x87\xAB\xF0\x9F\x87\xB7", "!"}},
      {"emoji ZWJ sequence",
       "\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x92\xBB",
       {"\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x92\xBB"}},
      {"keycap digit", "1\xEF\xB8\x8F\xE2\x83\xA3", {"1\xEF\xB8\x8F\xE2\x83\xA3"}},
      {"Hangul jamo L V T",
       "\xE1\x84\x80\xE1\x85\xA1\xE1\x86\xA8",
       {"\xE1\x84\x80\xE1\x85\xA1\xE1\x86\xA8"}},
      {"Devanagari with vowel sign", "\xE0\xA4\x95\xE0\xA4\xBF", {"\xE0\xA4\x95\xE0\xA4\xBF"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(split(Characters(c.input)), c.expected);
  }
}

TEST(Characters, ReadsIllFormedUtf8AsReplacementCharacters) {
  const std::string fffd = "\xEF\xBF\xBD";
  const struct {
    const char* name;
    std::string input;
    std::string expectedText;
  } cases[] = {
      {"lone continuation byte",
       "a\x80"
       "b",
       "a" + fffd + "b"},
      {"truncated two-byte sequence at the end", "a\xC3", "a" + fffd},
      {"truncated three-byte sequence is one maximal subpart", "\xE2\x82!", fffd + "!"},
      {"byte that never occurs", "\xFF", fffd},
      {"overlong encoding of '/'", "\xC0\xAF", fffd + fffd},
      {"encoded surrogate", "\xED\xA0\x80", fffd + fffd + fffd},
      {"beyond U+10FFFF", "\xF4\x90\x80\x80", fffd + fffd + fffd + fffd},
      {"NUL byte is a character", std::string("a\0b", 3), std::string("a\0b", 3)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Characters chars(c.input);
    EXPECT_EQ(chars.text(), c.expectedText);
    for (const Character& ch : chars.all()) {
      if (chars.bytes(ch) == fffd) {
        EXPECT_EQ(ch.first, U'\uFFFD');
      }
    }
  }
}

TEST(Scan, TellsHowALabelReads) {
  const struct {
    const char* name;
    std::string input;
    bool wellFormed;
    bool codePointsAreCharacters;
    std::size_t firstLineBreak;
  } cases[] = {
      {"empty", "", true, true, 0},
      {"long ASCII", "Are we still on for Friday? I can bring the snacks", true, true, 50},
      {"line feed after eight bytes", "Alice, h\nVideo", true, true, 8},
      {"CR LF", "a\r\nb", true, true, 1},
      {"next line",
       "abc\xC2\x85"
       "d",
       true, true, 3},
      {"paragraph separator after Latin", "caf\xC3\xA9\xE2\x80\xA9x", true, true, 5},
      {"Cyrillic and CJK", "\xD0\xB4\xE4\xB8\xAD", true, true, 5},
      {"combining mark", "e\xCC\x81", true, false, 3},
      {"variation selector", "\xE2\x9C\x88\xEF\xB8\x8F", true, false, 6},
      {"Devanagari vowel sign", "\xE0\xA4\x95\xE0\xA4\xBF", true, false, 6},
      {"a lone continuation byte is ill-formed", "ab\x80", false, true, 3},
      {"truncated at the end", "\n\xE2\x82", false, true, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Scan s = scan(c.input);
    EXPECT_EQ(s.isWellFormed, c.wellFormed);
    EXPECT_EQ(s.codePointsAreCharacters, c.codePointsAreCharacters);
    EXPECT_EQ(s.firstLineBreak, c.firstLineBreak);
  }
  EXPECT_EQ(wellFormed("a\xFF\xE2\x82"), "a\xEF\xBF\xBD\xEF\xBF\xBD");
}

// Every position of the first byte outside printable ASCII, within and across eight-byte words,
// also with a second such byte right after it (whose borrow must not matter).
TEST(Scan, SkipsPrintableAsciiUpToTheFirstOtherByte) {
  for (const unsigned char other : {0x00, 0x0A, 0x1F, 0x80, 0xC3, 0xFF}) {
    for (std::size_t length = 0; length <= 20; ++length) {
      for (std::size_t at = 0; at <= length; ++at) {
        std::string s(length, '~');
        if (at < length) s[at] = static_cast<char>(other);
        if (at + 1 < length) s[at + 1] = '\0';
        const auto* bytes = reinterpret_cast<const unsigned char*>(s.data());
        ASSERT_EQ(skipPrintableAscii(bytes, 0, length), at)
            << "byte " << int(other) << " at " << at << " of " << length;
        if (at > 0) {
          ASSERT_EQ(skipPrintableAscii(bytes, at - 1, length), at);
        }
      }
    }
  }
  const std::string printable =
      " !09AZaz ~\x7F";  // a space within the eight-byte words and past them
  EXPECT_EQ(skipPrintableAscii(reinterpret_cast<const unsigned char*>(printable.data()), 0,
                               printable.size()),
            printable.size());
}

TEST(Characters, MatchesCharacterByCharacter) {
  const Characters photo("Photo");
  const struct {
    const char* name;
    std::string text;
    std::size_t at;
    bool expected;
  } cases[] = {
      {"exact", "Photo", 0, true},
      {"longer text", "Photos", 0, true},
      {"at an offset", "a Photo", 2, true},
      {"case matters", "photo", 0, false},
      {"last letter carries a mark",
       "Phot"
       "o\xCC\x81",
       0, false},
      {"too short", "Phot", 0, false},
      {"offset beyond the end", "Photo", 9, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Characters(c.text).matchesAt(c.at, photo), c.expected);
  }
}

TEST(CharacterClasses, ComeFromUnicodeProperties) {
  const struct {
    const char* name;
    char32_t c;
    bool number;
    bool letter;
    bool lineBreak;
  } cases[] = {
      {"ASCII digit", U'7', true, false, false},
      {"Arabic-Indic three", U'\u0663', true, false, false},
      {"Devanagari three", U'\u0969', true, false, false},
      {"fullwidth three", U'\uFF13', true, false, false},
      {"vulgar fraction one half", U'\u00BD', true, false, false},
      {"Roman numeral twelve is a number and a letter", U'\u216B', true, true, false},
      {"CJK ideograph", U'\u4E2D', false, true, false},
      {"Cyrillic letter", U'\u0436', false, true, false},
      {"Latin letter with accent", U'\u00E9', false, true, false},
      {"colon", U':', false, false, false},
      {"replacement character", U'\uFFFD', false, false, false},
      {"line feed", U'\n', false, false, true},
      {"form feed", U'\f', false, false, true},
      {"next line", U'\u0085', false, false, true},
      {"paragraph separator", U'\u2029', false, false, true},
      {"tab is no line break", U'\t', false, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(isNumber(c.c), c.number);
    EXPECT_EQ(isLetter(c.c), c.letter);
    EXPECT_EQ(isLineBreak(c.c), c.lineBreak);
  }
}

}  // namespace
}  // namespace velvix::text
