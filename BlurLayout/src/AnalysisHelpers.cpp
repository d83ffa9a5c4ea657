#include "AnalysisHelpers.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace velvix::analysis {

namespace {

// Rounds half away from zero; absent when the result is not a representable int32_t (NaN and
// infinities included), which is checked on the double before any conversion.
std::optional<std::int32_t> roundedToInt(double value) noexcept {
  const double rounded = std::round(value);
  constexpr double lowest = std::numeric_limits<std::int32_t>::lowest();
  constexpr double highest = std::numeric_limits<std::int32_t>::max();
  if (!(rounded >= lowest && rounded <= highest)) return std::nullopt;
  return static_cast<std::int32_t>(rounded);
}

// Each media word, then "Your " with the word in lower case.
constexpr std::array<std::string_view, 12> kMediaPrefixes = {
    "Photo",      "Video",      "Sticker",      "GIF",      "Image",      "Album",
    "Your photo", "Your video", "Your sticker", "Your gif", "Your image", "Your album",
};
constexpr std::string_view kMediaInitials = "PVSGIAY";

// Where the line starting at `from` ends, and where the next one starts, in well-formed UTF-8:
// the line-break code points are LF to CR (one byte each), NEL (C2 85), LS and PS (E2 80 A8/A9).
// Continuation bytes never equal C2 or E2, so testing bytes is exact.
std::pair<std::size_t, std::size_t> lineFrom(std::string_view text, std::size_t from) noexcept {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t n = text.size();
  for (std::size_t k = from; k < n; ++k) {
    k = text::skipPrintableAscii(bytes, k, n);
    if (k >= n) break;
    const unsigned char b = bytes[k];
    if (b >= 0x0A && b <= 0x0D) return {k, k + 1};
    if (b == 0xC2 && k + 1 < n && bytes[k + 1] == 0x85) return {k, k + 2};
    if (b == 0xE2 && k + 2 < n && bytes[k + 1] == 0x80 && (bytes[k + 2] & 0xFE) == 0xA8) {
      return {k, k + 3};
    }
  }
  return {n, n};
}

// Where the last ", " that ends at or before `end` starts; npos when there is none.
std::size_t lastSeparatorBefore(std::string_view text, std::size_t end) noexcept {
  for (std::size_t k = end; k >= 2; --k) {
    if (text[k - 1] == ' ' && text[k - 2] == ',') return k - 2;
  }
  return std::string_view::npos;
}

// The text cut after its last time stamp, for well-formed text whose code points are
// characters of their own: components are byte ranges, characters are code points.
std::string messageKeyOfCodePoints(std::string_view label) {
  std::size_t end = label.size();
  for (;;) {
    // ", " cannot overlap itself, so the separators found from the right are the ones found
    // from the left.
    const std::size_t separator = lastSeparatorBefore(label, end);
    const std::size_t begin = separator == std::string_view::npos ? 0 : separator + 2;
    std::size_t count = 0;
    bool hasColon = false;
    bool hasLetter = false;
    for (std::size_t i = begin; i < end && !hasLetter;) {
      const char32_t c = text::nextCodePoint(label, i);
      if (c == U':') {
        hasColon = true;
        ++count;
      } else if (text::isLetter(c)) {
        hasLetter = true;
      } else if (text::isNumber(c)) {
        ++count;
      }
    }
    if (!hasLetter && hasColon && (count == 4 || count == 5)) {
      return std::string(label.substr(0, end));
    }
    if (separator == std::string_view::npos) return std::string(label);
    end = separator;
  }
}

// The line break at `at` (or none, at the end): where the line ends and the next begins.
std::pair<std::size_t, std::size_t> breakAt(std::string_view text, std::size_t at) noexcept {
  if (at >= text.size()) return {text.size(), text.size()};
  const auto lead = static_cast<unsigned char>(text[at]);
  return {at, at + (lead < 0x80 ? 1 : lead < 0xE0 ? 2 : 3)};
}

// isMediaLabel() for well-formed text whose code points are characters of their own, with
// `firstLineBreak` from the scan that found it so. A CR LF pair reads as two breaks here, which
// only adds an empty line, and empty lines are dropped.
bool isMediaLabelOfCodePoints(std::string_view label, std::size_t firstLineBreak) {
  int linesSeen = 0;
  for (std::size_t i = 0; i < label.size() && linesSeen < 2;) {
    const auto [lineEnd, next] = i == 0 ? breakAt(label, firstLineBreak) : lineFrom(label, i);
    const std::size_t lineBegin = i;
    i = next;
    if (lineEnd == lineBegin) continue;
    ++linesSeen;
    std::size_t start = lineBegin;
    while (start < lineEnd) {
      std::size_t after = start;
      if (text::isLetter(text::nextCodePoint(label, after))) break;
      start = after;
    }
    const std::string_view rest = label.substr(start, lineEnd - start);
    if (rest.empty() || kMediaInitials.find(rest.front()) == std::string_view::npos) continue;
    for (const std::string_view prefix : kMediaPrefixes) {
      if (rest.starts_with(prefix)) return true;
    }
  }
  return false;
}

// Cheap tests that spare the break iterator most labels it would otherwise split: a time stamp
// needs a colon, and a media prefix, being ASCII compared character by character, needs its
// bytes in the text.
bool mayHoldTimeStamp(std::string_view label) noexcept {
  return label.find(':') != std::string_view::npos;
}

bool mayAnnounceMedia(std::string_view label) noexcept {
  if (label.find_first_of(kMediaInitials) == std::string_view::npos) return false;
  for (const std::string_view prefix : kMediaPrefixes) {
    if (label.find(prefix) != std::string_view::npos) return true;
  }
  return false;
}

// The characters of a label that needs the break iterator, kept per thread between labels.
const text::Characters& charactersOf(std::string_view label) {
  thread_local text::Characters characters;
  characters.assign(label);
  return characters;
}

std::string keyOfComplexLabel(std::string_view label, const text::Scan& scan) {
  if (!mayHoldTimeStamp(label)) {
    return scan.isWellFormed ? std::string(label) : text::wellFormed(label);
  }
  return messageKey(charactersOf(label));
}

bool isMediaOfComplexLabel(std::string_view label) {
  return mayAnnounceMedia(label) && isMediaLabel(charactersOf(label));
}

}  // namespace

std::string messageKey(std::string_view label) {
  const text::Scan scan = text::scan(label);
  if (scan.isWellFormed && scan.codePointsAreCharacters) return messageKeyOfCodePoints(label);
  return keyOfComplexLabel(label, scan);
}

bool isMediaLabel(std::string_view label) {
  const text::Scan scan = text::scan(label);
  if (scan.isWellFormed && scan.codePointsAreCharacters) {
    return isMediaLabelOfCodePoints(label, scan.firstLineBreak);
  }
  return isMediaOfComplexLabel(label);
}

MessageLabel readMessageLabel(std::string_view label) {
  const text::Scan scan = text::scan(label);
  if (scan.isWellFormed && scan.codePointsAreCharacters) {
    return {messageKeyOfCodePoints(label), isMediaLabelOfCodePoints(label, scan.firstLineBreak)};
  }
  return {keyOfComplexLabel(label, scan), isMediaOfComplexLabel(label)};
}

std::optional<SizeKey> SizeKey::of(const Rect& frame) noexcept {
  const auto width = roundedToInt(frame.width());
  const auto height = roundedToInt(frame.height());
  if (!width || !height) return std::nullopt;
  return SizeKey{*width, *height};
}

Role roleOf(std::string_view role) noexcept {
  switch (role.size()) {  // one comparison per role, not seven
    case 7:
      if (role == "AXGroup") return Role::group;
      if (role == "AXImage") return Role::image;
      if (role == "AXSheet") return Role::sheet;
      return Role::other;
    case 8:
      return role == "AXButton" ? Role::button : Role::other;
    case 9:
      return role == "AXHeading" ? Role::heading : Role::other;
    case 10:
      return role == "AXTextArea" ? Role::textArea : Role::other;
    case 12:
      return role == "AXStaticText" ? Role::staticText : Role::other;
    default:
      return Role::other;
  }
}

NodeList::NodeList(std::span<const AccessibilityNode> nodes) : nodes_(nodes) {
  const std::size_t n = nodes.size();
  roles_.resize(n);
  frames_.resize(n);
  parents_.assign(n, kNone);
  inSheet_.assign(n, 0);
  childStart_.assign(n + 1, 0);

  // Pass 1: sanitise each node and count children. A parent index that is not smaller than the
  // node's own would allow cycles and out-of-range reads, so such a node counts as a root.
  for (std::size_t i = 0; i < n; ++i) {
    const AccessibilityNode& node = nodes[i];
    const Role role = roleOf(node.role);
    roles_[i] = role;
    frames_[i] = node.frame.isFinite() ? node.frame : Rect::null();
    if (node.parent && *node.parent < i) {
      const std::size_t p = *node.parent;
      parents_[i] = p;
      inSheet_[i] = roles_[p] == Role::sheet || inSheet_[p];
      ++childStart_[p];
    }
    if (role == Role::textArea && !firstTextArea_) firstTextArea_ = i;
    if (role == Role::sheet && !firstSheet_) firstSheet_ = i;
  }

  // Pass 2: children lists, in index order. childStart_ first holds counts, then each list's end
  // while filling, and is finally shifted to hold each list's start.
  std::size_t total = 0;
  for (std::size_t i = 0; i < n; ++i) {
    total += childStart_[i];
    childStart_[i] = total - childStart_[i];
  }
  childList_.resize(total);
  for (std::size_t i = 0; i < n; ++i) {
    const std::size_t p = parents_[i];
    if (p != kNone) childList_[childStart_[p]++] = i;
  }
  for (std::size_t i = n; i > 0; --i) {
    childStart_[i] = childStart_[i - 1];
  }
  childStart_[0] = 0;
}

std::vector<std::size_t> NodeList::descendantsOf(std::size_t ancestor) const {
  std::vector<std::size_t> result;
  if (ancestor >= size()) return result;
  // below[k] tells whether node ancestor + k lies below `ancestor`.
  std::vector<bool> below(size() - ancestor, false);
  for (std::size_t i = ancestor + 1; i < size(); ++i) {
    const std::size_t p = parents_[i];
    if (p == kNone || p < ancestor) continue;
    if (p == ancestor || below[p - ancestor]) {
      below[i - ancestor] = true;
      result.push_back(i);
    }
  }
  return result;
}

std::size_t messageCount(const NodeList& nodes, std::size_t container) noexcept {
  std::size_t count = 0;
  for (const std::size_t child : nodes.children(container)) {
    const Role role = nodes.role(child);
    if (role != Role::heading && role != Role::group && nodes.frame(child).height() >= 24) {
      ++count;
    }
  }
  return count;
}

std::span<const Rect> ChatRowFinder::rowsIn(std::size_t container) {
  candidates_.clear();
  rows_.clear();
  const auto children = nodes_.children(container);
  for (std::size_t position = 0; position < children.size(); ++position) {
    const Rect& frame = nodes_.frame(children[position]);
    if (!(frame.width() >= 150 && frame.height() >= 50)) continue;
    if (const auto key = SizeKey::of(frame)) candidates_.push_back({*key, position});
  }
  if (candidates_.empty()) return rows_;

  // Sorting by (key, position) lays each size group out as one run in child order, so the run's
  // first entry is its earliest row.
  std::sort(candidates_.begin(), candidates_.end());
  std::size_t bestBegin = 0;
  std::size_t bestLength = 0;
  for (std::size_t begin = 0; begin < candidates_.size();) {
    std::size_t end = begin + 1;
    while (end < candidates_.size() && candidates_[end].key == candidates_[begin].key) {
      ++end;
    }
    const std::size_t length = end - begin;
    if (length > bestLength ||
        (length == bestLength && candidates_[begin].position < candidates_[bestBegin].position)) {
      bestBegin = begin;
      bestLength = length;
    }
    begin = end;
  }
  rows_.reserve(bestLength);
  for (std::size_t k = bestBegin; k < bestBegin + bestLength; ++k) {
    rows_.push_back(nodes_.frame(children[candidates_[k].position]));
  }
  return rows_;
}

std::string messageKey(const text::Characters& label) {
  const auto isExactly = [&](std::size_t i, std::string_view s) {
    return label.bytes(label[i]) == s;
  };

  // Component boundaries, as [begin, end) in characters. ", " cannot overlap itself, so the
  // separators found from the left are the ones found from either side.
  struct Component {
    std::size_t begin;
    std::size_t end;
  };
  std::vector<Component> components;
  std::size_t begin = 0;
  for (std::size_t i = 0; i + 1 < label.size(); ++i) {
    if (isExactly(i, ",") && isExactly(i + 1, " ")) {
      components.push_back({begin, i});
      begin = i + 2;
      ++i;
    }
  }
  components.push_back({begin, label.size()});

  // t, the component's number characters and colons in order, is counted as a string of its
  // own: characters that were apart in the label could in principle join once adjacent.
  thread_local std::string t;
  thread_local text::Characters tCharacters;
  for (auto it = components.rbegin(); it != components.rend(); ++it) {
    t.clear();
    bool hasColon = false;
    bool hasLetter = false;
    for (std::size_t i = it->begin; i < it->end; ++i) {
      const char32_t first = label[i].first;
      if (text::isLetter(first)) {
        hasLetter = true;
        break;
      }
      const bool isColon = isExactly(i, ":");
      hasColon = hasColon || isColon;
      if (isColon || text::isNumber(first)) t.append(label.bytes(label[i]));
    }
    if (hasLetter || !hasColon) continue;
    tCharacters.assign(t);
    if (tCharacters.size() == 4 || tCharacters.size() == 5) {
      return std::string(label.text().substr(0, label[it->end - 1].end));
    }
  }
  return std::string(label.text());
}

bool isMediaLabel(const text::Characters& label) {
  // Split into characters once.
  static const std::array<text::Characters, kMediaPrefixes.size()> prefixes = [] {
    std::array<text::Characters, kMediaPrefixes.size()> split;
    for (std::size_t k = 0; k < split.size(); ++k) {
      split[k].assign(kMediaPrefixes[k]);
    }
    return split;
  }();

  int linesSeen = 0;
  std::size_t lineBegin = 0;
  const std::size_t n = label.size();
  for (std::size_t i = 0; i <= n && linesSeen < 2; ++i) {
    if (i < n && !text::isLineBreak(label[i].first)) continue;
    const std::size_t lineEnd = i;
    if (lineEnd > lineBegin) {
      ++linesSeen;
      std::size_t start = lineBegin;
      while (start < lineEnd && !text::isLetter(label[start].first)) {
        ++start;
      }
      for (const text::Characters& prefix : prefixes) {
        if (prefix.size() <= lineEnd - start && label.matchesAt(start, prefix)) return true;
      }
    }
    lineBegin = i + 1;
  }
  return false;
}

}  // namespace velvix::analysis
