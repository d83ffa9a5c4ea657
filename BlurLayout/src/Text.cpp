#include "Text.hpp"

#include <unicode/ubrk.h>
#include <unicode/uchar.h>
#include <unicode/utf16.h>
#include <unicode/utf8.h>

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>

namespace velvix::text {

namespace {

// Under the grapheme cluster rules, a code point of Grapheme_Cluster_Break Other, Control, CR or
// LF has a boundary on both sides, except inside a CR LF pair: every rule that joins code points
// (Hangul syllables, extending marks, ZWJ sequences, prepended marks, flag pairs) needs a code
// point of another class. Text made only of such code points needs no break iterator.
bool breaksFromNeighbours(char32_t c) noexcept {
  const auto gcb = u_getIntPropertyValue(static_cast<UChar32>(c), UCHAR_GRAPHEME_CLUSTER_BREAK);
  return gcb == U_GCB_OTHER || gcb == U_GCB_CONTROL || gcb == U_GCB_CR || gcb == U_GCB_LF;
}

// Labels are read a code point at a time, so the classes of the code points below U+0800 (ASCII,
// Latin, Greek, Cyrillic, Hebrew, Arabic...) are asked of ICU once and kept.
constexpr char32_t kTabulated = 0x800;
enum : std::uint8_t { kNumber = 1, kLetter = 2, kBreaksAlways = 4 };

struct Classes {
  std::array<std::uint8_t, kTabulated> of{};
  bool asciiBreaksAlways = true;  // every ASCII code point is a character of its own
};

const Classes& classes() noexcept {
  static const Classes table = [] {
    Classes t;
    for (char32_t c = 0; c < kTabulated; ++c) {
      const auto u = static_cast<UChar32>(c);
      std::uint8_t flags = 0;
      if (u_getIntPropertyValue(u, UCHAR_NUMERIC_TYPE) != U_NT_NONE) flags |= kNumber;
      if (u_hasBinaryProperty(u, UCHAR_ALPHABETIC)) flags |= kLetter;
      if (breaksFromNeighbours(c)) flags |= kBreaksAlways;
      t.of[c] = flags;
      if (c < 128 && !(flags & kBreaksAlways)) t.asciiBreaksAlways = false;
    }
    return t;
  }();
  return table;
}

bool breaksAlways(char32_t c) noexcept {
  return c < kTabulated ? (classes().of[c] & kBreaksAlways) != 0 : breaksFromNeighbours(c);
}

struct BreakIteratorCloser {
  void operator()(UBreakIterator* iterator) const noexcept { ubrk_close(iterator); }
};

// Opening an iterator costs far more than segmenting a label, and one may not be used from two
// threads at once: so one per thread, kept. Null when ICU cannot open one (no data).
UBreakIterator* characterBreakIterator() noexcept {
  thread_local const std::unique_ptr<UBreakIterator, BreakIteratorCloser> iterator = [] {
    UErrorCode status = U_ZERO_ERROR;
    UBreakIterator* opened = ubrk_open(UBRK_CHARACTER, "", nullptr, 0, &status);
    if (U_FAILURE(status) && opened != nullptr) {
      ubrk_close(opened);
      opened = nullptr;
    }
    return std::unique_ptr<UBreakIterator, BreakIteratorCloser>(opened);
  }();
  return iterator.get();
}

constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";

}  // namespace

std::size_t skipPrintableAscii(const unsigned char* bytes, std::size_t from,
                               std::size_t length) noexcept {
  // Eight bytes at a time. A byte below 0x20 borrows into its high bit when 0x20 is subtracted,
  // one of 0x80 or more has it set already. Borrows only run towards later bytes (little
  // endian), so the lowest flagged byte is exactly the first byte outside the range.
  static_assert(std::endian::native == std::endian::little);
  constexpr std::uint64_t ones = 0x0101010101010101u;
  constexpr std::uint64_t highBits = 0x8080808080808080u;
  std::size_t i = from;
  while (i + 8 <= length) {
    std::uint64_t word = 0;
    std::memcpy(&word, bytes + i, sizeof word);
    const std::uint64_t outside = ((word - 0x20 * ones) | word) & highBits;
    if (outside != 0) return i + static_cast<std::size_t>(std::countr_zero(outside)) / 8;
    i += 8;
  }
  while (i < length && bytes[i] >= 0x20 && bytes[i] < 0x80) {
    ++i;
  }
  return i;
}

bool isNumber(char32_t c) noexcept {
  if (c < kTabulated) return (classes().of[c] & kNumber) != 0;
  return u_getIntPropertyValue(static_cast<UChar32>(c), UCHAR_NUMERIC_TYPE) != U_NT_NONE;
}

bool isLetter(char32_t c) noexcept {
  if (c < kTabulated) return (classes().of[c] & kLetter) != 0;
  return u_hasBinaryProperty(static_cast<UChar32>(c), UCHAR_ALPHABETIC) != 0;
}

Scan scan(std::string_view utf8) noexcept {
  Scan result;
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(utf8.data());
  const std::size_t length = utf8.size();
  result.firstLineBreak = length;
  const Classes& table = classes();
  for (std::size_t i = 0; i < length;) {
    if (table.asciiBreaksAlways) {
      i = skipPrintableAscii(bytes, i, length);
      if (i >= length) break;
    }
    const std::size_t start = i;
    char32_t c = bytes[i];
    if (c < 0x80) {
      ++i;
    } else {
      UChar32 decoded = 0;
      U8_NEXT(bytes, i, length, decoded);
      if (decoded < 0) {
        result.isWellFormed = false;
        decoded = 0xFFFD;
      }
      c = static_cast<char32_t>(decoded);
    }
    if (result.codePointsAreCharacters && !breaksAlways(c)) result.codePointsAreCharacters = false;
    if (result.firstLineBreak == length && isLineBreak(c)) result.firstLineBreak = start;
  }
  return result;
}

char32_t nextCodePoint(std::string_view wellFormedUtf8, std::size_t& i) noexcept {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(wellFormedUtf8.data());
  if (bytes[i] < 0x80) return bytes[i++];
  UChar32 c = 0;
  U8_NEXT_UNSAFE(bytes, i, c);
  return static_cast<char32_t>(c);
}

std::string wellFormed(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(utf8.data());
  const std::size_t length = utf8.size();
  for (std::size_t i = 0; i < length;) {
    const std::size_t start = i;
    UChar32 c = 0;
    U8_NEXT(bytes, i, length, c);
    if (c < 0) {
      out.append(kReplacementCharacter);
    } else {
      out.append(utf8.substr(start, i - start));
    }
  }
  return out;
}

void Characters::assign(std::string_view utf8, Segmenter segmenter) {
  text_.clear();
  characters_.clear();
  codePoints_.clear();
  text_.reserve(utf8.size());
  codePoints_.reserve(utf8.size());

  const auto* bytes = reinterpret_cast<const std::uint8_t*>(utf8.data());
  const std::size_t length = utf8.size();
  bool breaksEverywhere = true;
  for (std::size_t i = 0; i < length;) {
    const std::size_t start = i;
    UChar32 c = 0;
    U8_NEXT(bytes, i, length, c);
    const std::size_t at = text_.size();
    if (c < 0) {
      c = 0xFFFD;
      text_.append(kReplacementCharacter);
    } else {
      text_.append(utf8.substr(start, i - start));
    }
    const auto value = static_cast<char32_t>(c);
    codePoints_.push_back({value, at});
    if (breaksEverywhere && !breaksAlways(value)) breaksEverywhere = false;
  }

  if ((segmenter == Segmenter::automatic && breaksEverywhere) || !splitWithBreakIterator()) {
    splitEveryCodePoint();
  }
}

void Characters::splitEveryCodePoint() {
  characters_.clear();
  const std::size_t n = codePoints_.size();
  for (std::size_t i = 0; i < n; ++i) {
    const std::size_t end = i + 1 < n ? codePoints_[i + 1].begin : text_.size();
    if (codePoints_[i].value == U'\r' && i + 1 < n && codePoints_[i + 1].value == U'\n') {
      const std::size_t pairEnd = i + 2 < n ? codePoints_[i + 2].begin : text_.size();
      characters_.push_back({codePoints_[i].begin, pairEnd, U'\r'});
      ++i;
      continue;
    }
    characters_.push_back({codePoints_[i].begin, end, codePoints_[i].value});
  }
}

bool Characters::splitWithBreakIterator() {
  UBreakIterator* iterator = characterBreakIterator();
  if (iterator == nullptr) return false;

  // ICU counts in int32_t; a label longer than that is read code point by code point instead.
  std::size_t units = 0;
  for (const CodePoint& c : codePoints_) {
    units += U16_LENGTH(static_cast<UChar32>(c.value));
  }
  if (units > static_cast<std::size_t>(std::numeric_limits<int32_t>::max())) return false;

  utf16_.clear();
  utf16ToCodePoint_.clear();
  for (std::size_t i = 0; i < codePoints_.size(); ++i) {
    const auto c = static_cast<UChar32>(codePoints_[i].value);
    if (U_IS_BMP(c)) {
      utf16_.push_back(static_cast<char16_t>(c));
      utf16ToCodePoint_.push_back(i);
    } else {
      utf16_.push_back(static_cast<char16_t>(U16_LEAD(c)));
      utf16_.push_back(static_cast<char16_t>(U16_TRAIL(c)));
      utf16ToCodePoint_.push_back(i);
      utf16ToCodePoint_.push_back(i);
    }
  }
  utf16ToCodePoint_.push_back(codePoints_.size());

  UErrorCode status = U_ZERO_ERROR;
  ubrk_setText(iterator, utf16_.data(), static_cast<int32_t>(utf16_.size()), &status);
  if (U_FAILURE(status)) return false;

  characters_.clear();
  int32_t start = ubrk_first(iterator);
  for (int32_t end = ubrk_next(iterator); end != UBRK_DONE; end = ubrk_next(iterator)) {
    const std::size_t firstPoint = utf16ToCodePoint_[static_cast<std::size_t>(start)];
    const std::size_t endPoint = utf16ToCodePoint_[static_cast<std::size_t>(end)];
    const std::size_t endByte =
        endPoint < codePoints_.size() ? codePoints_[endPoint].begin : text_.size();
    characters_.push_back({codePoints_[firstPoint].begin, endByte, codePoints_[firstPoint].value});
    start = end;
  }
  // Leave the iterator pointing at nothing of ours: utf16_ changes with the next label.
  ubrk_setText(iterator, u"", 0, &status);
  return true;
}

bool Characters::matchesAt(std::size_t at, const Characters& expected) const noexcept {
  if (at > size() || expected.size() > size() - at) return false;
  for (std::size_t k = 0; k < expected.size(); ++k) {
    if (bytes(characters_[at + k]) != expected.bytes(expected.characters_[k])) return false;
  }
  return true;
}

}  // namespace velvix::text
