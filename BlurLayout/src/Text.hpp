#pragma once

// Accessibility labels as user-perceived characters (extended grapheme clusters), with the
// character classes the label helpers read. Private to the library; ICU stays in Text.cpp.
//
// The class of a character is the class of its first code point, so "1" followed by a combining
// accent is still a number character, and "," followed by one is no longer a plain comma.

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velvix::text {

/// A code point whose Unicode Numeric_Type is not None: decimal digits of every script, other
/// numerals and fractions.
[[nodiscard]] bool isNumber(char32_t c) noexcept;

/// A code point with the Unicode Alphabetic property.
[[nodiscard]] bool isLetter(char32_t c) noexcept;

/// U+000A to U+000D, U+0085, U+2028 or U+2029.
[[nodiscard]] constexpr bool isLineBreak(char32_t c) noexcept {
  return (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029;
}

/// What one pass over a label's bytes tells.
struct Scan {
  bool isWellFormed = true;  ///< valid UTF-8 throughout
  /// Every code point is a user-perceived character of its own (a CR LF pair aside): no code
  /// point of the text joins a neighbour under the grapheme cluster rules. Labels in most
  /// scripts are like this; marks, joiners, emoji modifiers and Hangul jamo are not.
  bool codePointsAreCharacters = true;
  /// Byte offset of the first line-break code point; the text's length when there is none.
  std::size_t firstLineBreak = 0;
};
[[nodiscard]] Scan scan(std::string_view utf8) noexcept;

/// The first position from `from` on whose byte is not printable ASCII (0x20 to 0x7F), or
/// `length`. Labels are mostly such bytes, so this is how every scan over them moves.
[[nodiscard]] std::size_t skipPrintableAscii(const unsigned char* bytes, std::size_t from,
                                             std::size_t length) noexcept;

/// The code point starting at byte `i` of well-formed UTF-8, advancing `i` past it.
[[nodiscard]] char32_t nextCodePoint(std::string_view wellFormedUtf8, std::size_t& i) noexcept;

/// `utf8` with every ill-formed sequence replaced by U+FFFD (by maximal subparts).
[[nodiscard]] std::string wellFormed(std::string_view utf8);

/// One user-perceived character: where its bytes lie in the text, and its first code point.
struct Character {
  std::size_t begin = 0;
  std::size_t end = 0;
  char32_t first = 0;
};

/// A label split into user-perceived characters. Reusable: assign() keeps the buffers, so one
/// instance reads many labels without allocating again.
class Characters {
 public:
  /// How to find the characters. `automatic` skips the break iterator for text whose code points
  /// all break from their neighbours anyway; `breakIterator` always asks ICU (tests compare both).
  enum class Segmenter { automatic, breakIterator };

  Characters() = default;
  explicit Characters(std::string_view utf8) { assign(utf8); }

  /// Reads `utf8`; every ill-formed sequence becomes U+FFFD (by maximal subparts).
  void assign(std::string_view utf8, Segmenter segmenter = Segmenter::automatic);

  /// The text read, always well-formed UTF-8.
  [[nodiscard]] std::string_view text() const noexcept { return text_; }
  [[nodiscard]] std::span<const Character> all() const noexcept { return characters_; }
  [[nodiscard]] std::size_t size() const noexcept { return characters_.size(); }
  [[nodiscard]] const Character& operator[](std::size_t i) const noexcept { return characters_[i]; }

  /// The bytes of one character.
  [[nodiscard]] std::string_view bytes(const Character& c) const noexcept {
    return std::string_view(text_).substr(c.begin, c.end - c.begin);
  }

  /// Whether the characters from `at` on spell `expected` character by character, case-sensitive.
  [[nodiscard]] bool matchesAt(std::size_t at, const Characters& expected) const noexcept;

 private:
  struct CodePoint {
    char32_t value;
    std::size_t begin;  // in text_
  };
  void splitEveryCodePoint();
  bool splitWithBreakIterator();

  std::string text_;
  std::vector<Character> characters_;
  std::vector<CodePoint> codePoints_;
  std::u16string utf16_;
  std::vector<std::size_t> utf16ToCodePoint_;
};

}  // namespace velvix::text
