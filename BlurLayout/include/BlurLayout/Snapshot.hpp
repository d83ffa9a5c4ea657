#pragma once

// The values structure detection exchanges with the rest of Velvix: the flattened accessibility
// snapshot it reads and the interface elements it recognises. Plain values, window-relative
// rectangles (top-left origin, y down), safe to hand between threads.

#include <BlurLayout/Geometry.hpp>

#include <cstddef>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace velvix {

/// One accessibility element of WhatsApp's window, flattened.
///
/// A snapshot is a std::vector<AccessibilityNode> in the reader's walk order. The analysis relies
/// on these invariants, which the reader guarantees and WhatsAppStructure::analyze re-checks at
/// its boundary (snapshots may also come from files):
///  1. Every present `parent` is a valid index of the list and smaller than the index of the
///     node naming it, so each chain of parents ends at a node without parent. A node breaking
///     this is treated as having no parent.
///  2. Every frame is finite. A non-finite frame is treated as the null rectangle, which
///     matches no size or position test.
///  3. List order is interface order: the first node of a kind is the lowest index, and
///     children are taken in index order.
///  4. `label` is UTF-8; invalid sequences read as U+FFFD.
struct AccessibilityNode {
  std::string role;   ///< e.g. "AXGroup", exactly as WhatsApp reports it
  std::string label;  ///< the reader's chosen text; empty when there is none
  Rect frame;         ///< relative to the top-left corner of WhatsApp's window
  std::optional<std::size_t> parent;

  friend bool operator==(const AccessibilityNode&, const AccessibilityNode&) = default;
};

/// What one analysis recognised. The default value is the empty one, which stands for layout
/// mode: everything absent, `isRead` false and `isShowingLatestMessages` true.
struct DetectedElements {
  struct Message {
    Rect frame;
    bool isMedia = false;  ///< the label announces a photo, video, sticker, GIF, image or album
    std::string key;       ///< the label cut after its time stamp; may be empty
    bool isLatest = false;
    friend bool operator==(const Message&, const Message&) = default;
  };

  std::optional<std::string> conversationKey;
  bool isRead = false;
  std::optional<Rect> chatList;
  std::vector<Rect> chatRows;
  std::vector<Rect> contactRows;
  bool isChatListCovered = false;
  std::optional<Rect> conversationHeader;
  std::optional<Rect> conversationTitle;
  std::optional<Rect> messageArea;
  std::vector<Message> messages;
  bool isShowingLatestMessages = true;
  std::optional<Rect> composer;
  std::vector<Rect> images;
  std::optional<Rect> sheet;
  std::optional<Rect> sheetPicture;
  std::vector<Rect> sheetNames;
  std::vector<Rect> mediaThumbnails;
  std::vector<Rect> sheetThumbnails;

  /// True when this read lost the chat rows, or the whole chat list and conversation, that
  /// `comparedTo` (the last accepted read) had.
  [[nodiscard]] bool lostContent(const DetectedElements& comparedTo) const;

  /// When this read sees only a sheet, the content behind it (chat list, conversation,
  /// composer, images, thumbnails) taken from `from`, with this read's sheet fields; otherwise
  /// this value unchanged.
  [[nodiscard]] DetectedElements withContentBehindSheet(
      const std::optional<DetectedElements>& from) const;

  friend bool operator==(const DetectedElements&, const DetectedElements&) = default;
};

std::ostream& operator<<(std::ostream& os, const AccessibilityNode& node);
std::ostream& operator<<(std::ostream& os, const DetectedElements::Message& message);
std::ostream& operator<<(std::ostream& os, const DetectedElements& elements);

}  // namespace velvix
