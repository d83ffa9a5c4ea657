#pragma once

// Recognises WhatsApp's interface in a flattened accessibility snapshot.

#include <BlurLayout/Geometry.hpp>
#include <BlurLayout/Snapshot.hpp>

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace velvix::WhatsAppStructure {

/// How many of the newest messages on screen an analysis marks as latest.
inline constexpr int latestMessageCount = 3;

/// Where the two scrolling lists are in the analysed node list; only meaningful for that list.
struct ScrollContainers {
  std::optional<std::size_t> chatList;  ///< the chat list, or the panel covering it
  std::optional<std::size_t> messages;  ///< the conversation group
  friend bool operator==(const ScrollContainers&, const ScrollContainers&) = default;
};

struct Analysis {
  DetectedElements elements;
  ScrollContainers scroll;
  friend bool operator==(const Analysis&, const Analysis&) = default;
};

/// Recognises the chat list, a panel covering it, the conversation, its messages, the composer,
/// images, a sheet and media thumbnails. Input that breaks the snapshot invariants (see
/// AccessibilityNode) is handled safely: broken parents count as absent, non-finite frames as
/// null.
[[nodiscard]] Analysis analyze(std::span<const AccessibilityNode> nodes, Size windowSize);

/// analyze() without the scroll containers.
[[nodiscard]] DetectedElements parse(std::span<const AccessibilityNode> nodes, Size windowSize);

/// A message's label cut after its last time stamp, so that it stays the same while WhatsApp
/// appends or changes a delivery status ("Hi, 9:41, Read" gives "Hi, 9:41").
[[nodiscard]] std::string messageKey(std::string_view label);

/// Whether one of the label's first two non-empty lines announces media ("Photo", "Your gif"...).
[[nodiscard]] bool isMediaLabel(std::string_view label);

}  // namespace velvix::WhatsAppStructure
