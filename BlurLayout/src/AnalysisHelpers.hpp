#pragma once

// The pieces the structure analysis is built from: the node list of one run with its children
// index, the ancestor tests, the two container measures (messages, chat rows), the size key that
// groups rows, and the two label readers. Private to the library.

#include <BlurLayout/Geometry.hpp>
#include <BlurLayout/Snapshot.hpp>

#include "Text.hpp"

#include <compare>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velvix::analysis {

/// A rectangle's width and height, each rounded to the nearest whole point with halves away from
/// zero (12.5 gives 13, 12.49 gives 12). Frames of one size group under one key.
struct SizeKey {
  std::int32_t width = 0;
  std::int32_t height = 0;

  /// Absent when a rounded extent is not finite or does not fit the integer type: no real row is
  /// two billion points wide, and converting such a double would be undefined.
  [[nodiscard]] static std::optional<SizeKey> of(const Rect& frame) noexcept;

  friend constexpr auto operator<=>(const SizeKey&, const SizeKey&) = default;
};

/// The roles the analysis tells apart; every other role string is `other`.
enum class Role : std::uint8_t {
  other,
  group,
  heading,
  button,
  staticText,
  textArea,
  image,
  sheet
};

[[nodiscard]] Role roleOf(std::string_view role) noexcept;

/// The node list of one analysis, with the snapshot invariants (see AccessibilityNode) enforced
/// once, here: a parent that is out of range or not smaller than the node's own index is
/// absent, and a frame with a non-finite component is the null rectangle. Everything below reads
/// the list through this class only, so no later step meets a broken node.
///
/// Built in a few linear passes: the children index (each list in ascending index order) and the
/// sheet ancestry of every node, which a forward pass gets from the parent's because parents
/// always come first.
class NodeList {
 public:
  explicit NodeList(std::span<const AccessibilityNode> nodes);

  [[nodiscard]] std::size_t size() const noexcept { return roles_.size(); }
  [[nodiscard]] Role role(std::size_t i) const noexcept { return roles_[i]; }
  [[nodiscard]] const Rect& frame(std::size_t i) const noexcept { return frames_[i]; }
  [[nodiscard]] std::string_view label(std::size_t i) const noexcept { return nodes_[i].label; }
  [[nodiscard]] std::optional<std::size_t> parent(std::size_t i) const noexcept {
    const std::size_t p = parents_[i];
    return p == kNone ? std::nullopt : std::optional<std::size_t>(p);
  }

  /// The node's children in index order; empty when it has none.
  [[nodiscard]] std::span<const std::size_t> children(std::size_t i) const noexcept {
    return std::span<const std::size_t>(childList_)
        .subspan(childStart_[i], childStart_[i + 1] - childStart_[i]);
  }

  /// The lowest index with the role, for the roles the analysis takes the first of.
  [[nodiscard]] std::optional<std::size_t> firstTextArea() const noexcept { return firstTextArea_; }
  [[nodiscard]] std::optional<std::size_t> firstSheet() const noexcept { return firstSheet_; }

  /// Whether an ancestor (not the node itself) has the role "AXSheet".
  [[nodiscard]] bool isInSheet(std::size_t i) const noexcept { return inSheet_[i] != 0; }

  /// The indices of every node that has `ancestor` among its ancestors, in index order: one
  /// forward pass, since descendants always come after their ancestors.
  [[nodiscard]] std::vector<std::size_t> descendantsOf(std::size_t ancestor) const;

 private:
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  std::span<const AccessibilityNode> nodes_;
  // One array per field: most passes test the role first and read nothing else of most nodes.
  std::vector<Role> roles_;
  std::vector<Rect> frames_;
  std::vector<std::size_t> parents_;
  std::vector<std::uint8_t> inSheet_;
  std::vector<std::size_t> childStart_;  // children of i: childList_[childStart_[i], [i + 1])
  std::vector<std::size_t> childList_;
  std::optional<std::size_t> firstTextArea_;
  std::optional<std::size_t> firstSheet_;
};

/// How many children of `container` look like message rows: neither heading nor group, and at
/// least 24 points high.
[[nodiscard]] std::size_t messageCount(const NodeList& nodes, std::size_t container) noexcept;

/// The chat rows of a container: the frames of its children that share the most common row size
/// among those at least 150 wide and 50 high, in child order.
///
/// The analysis asks this of every group in the left quarter of the window, so the finder keeps
/// its buffers between calls; the returned span is valid until the next call.
class ChatRowFinder {
 public:
  explicit ChatRowFinder(const NodeList& nodes) : nodes_(nodes) {}

  /// Of several equally large size groups, the one whose first row comes first in child order
  /// wins, so that the result never depends on an iteration order.
  [[nodiscard]] std::span<const Rect> rowsIn(std::size_t container);

 private:
  struct Candidate {
    SizeKey key;
    std::size_t position;  // in child order
    friend constexpr auto operator<=>(const Candidate&, const Candidate&) = default;
  };
  const NodeList& nodes_;
  std::vector<Candidate> candidates_;
  std::vector<Rect> rows_;
};

/// A message's label cut after its last time stamp; always well-formed UTF-8.
///
/// Labels whose code points are each a character of their own (most of them) are read code
/// point by code point; the others are split into grapheme clusters first. Both give the same
/// result, which the tests check on random text.
[[nodiscard]] std::string messageKey(std::string_view label);
[[nodiscard]] std::string messageKey(const text::Characters& label);

/// Whether one of the label's first two non-empty lines announces media; read like messageKey().
[[nodiscard]] bool isMediaLabel(std::string_view label);
[[nodiscard]] bool isMediaLabel(const text::Characters& label);

/// Both readings of a message row's label, from one pass over its text.
struct MessageLabel {
  std::string key;
  bool isMedia = false;
};
[[nodiscard]] MessageLabel readMessageLabel(std::string_view label);

}  // namespace velvix::analysis
