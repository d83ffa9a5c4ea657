#include "AnalysisHelpers.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace velvix::analysis {

namespace {

bool isFinite(const Rect& r) noexcept {
  return std::isfinite(r.origin.x) && std::isfinite(r.origin.y) && std::isfinite(r.size.width) &&
         std::isfinite(r.size.height);
}

// Rounds half away from zero; absent when the result is not a representable int32_t (NaN and
// infinities included), which is checked on the double before any conversion.
std::optional<std::int32_t> roundedToInt(double value) noexcept {
  const double rounded = std::round(value);
  constexpr double lowest = std::numeric_limits<std::int32_t>::lowest();
  constexpr double highest = std::numeric_limits<std::int32_t>::max();
  if (!(rounded >= lowest && rounded <= highest)) return std::nullopt;
  return static_cast<std::int32_t>(rounded);
}

}  // namespace

std::optional<SizeKey> SizeKey::of(const Rect& frame) noexcept {
  const auto width = roundedToInt(frame.width());
  const auto height = roundedToInt(frame.height());
  if (!width || !height) return std::nullopt;
  return SizeKey{*width, *height};
}

Role roleOf(std::string_view role) noexcept {
  if (role == "AXGroup") return Role::group;
  if (role == "AXStaticText") return Role::staticText;
  if (role == "AXButton") return Role::button;
  if (role == "AXImage") return Role::image;
  if (role == "AXHeading") return Role::heading;
  if (role == "AXTextArea") return Role::textArea;
  if (role == "AXSheet") return Role::sheet;
  return Role::other;
}

NodeList::NodeList(std::span<const AccessibilityNode> nodes) : nodes_(nodes) {
  const std::size_t n = nodes.size();
  entries_.resize(n);
  childStart_.assign(n + 1, 0);

  // Pass 1: sanitise each node and count children. A parent index that is not smaller than the
  // node's own would allow cycles and out-of-range reads, so such a node counts as a root.
  for (std::size_t i = 0; i < n; ++i) {
    const AccessibilityNode& node = nodes[i];
    Entry& entry = entries_[i];
    entry.role = roleOf(node.role);
    entry.frame = isFinite(node.frame) ? node.frame : Rect::null();
    if (node.parent && *node.parent < i) {
      const std::size_t p = *node.parent;
      entry.parent = p;
      entry.inSheet = entries_[p].role == Role::sheet || entries_[p].inSheet;
      ++childStart_[p];
    }
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
    const std::size_t p = entries_[i].parent;
    if (p != kNone) childList_[childStart_[p]++] = i;
  }
  for (std::size_t i = n; i > 0; --i)
    childStart_[i] = childStart_[i - 1];
  childStart_[0] = 0;
}

std::vector<std::size_t> NodeList::descendantsOf(std::size_t ancestor) const {
  std::vector<std::size_t> result;
  if (ancestor >= size()) return result;
  // below[k] tells whether node ancestor + k lies below `ancestor`.
  std::vector<bool> below(size() - ancestor, false);
  for (std::size_t i = ancestor + 1; i < size(); ++i) {
    const std::size_t p = entries_[i].parent;
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
    while (end < candidates_.size() && candidates_[end].key == candidates_[begin].key)
      ++end;
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
  // Each media word, then "Your " with the word in lower case; split into characters once.
  static const std::array<text::Characters, 12> prefixes = {
      text::Characters("Photo"),        text::Characters("Video"),
      text::Characters("Sticker"),      text::Characters("GIF"),
      text::Characters("Image"),        text::Characters("Album"),
      text::Characters("Your photo"),   text::Characters("Your video"),
      text::Characters("Your sticker"), text::Characters("Your gif"),
      text::Characters("Your image"),   text::Characters("Your album"),
  };

  int linesSeen = 0;
  std::size_t lineBegin = 0;
  const std::size_t n = label.size();
  for (std::size_t i = 0; i <= n && linesSeen < 2; ++i) {
    if (i < n && !text::isLineBreak(label[i].first)) continue;
    const std::size_t lineEnd = i;
    if (lineEnd > lineBegin) {
      ++linesSeen;
      std::size_t start = lineBegin;
      while (start < lineEnd && !text::isLetter(label[start].first))
        ++start;
      for (const text::Characters& prefix : prefixes) {
        if (prefix.size() <= lineEnd - start && label.matchesAt(start, prefix)) return true;
      }
    }
    lineBegin = i + 1;
  }
  return false;
}

}  // namespace velvix::analysis
