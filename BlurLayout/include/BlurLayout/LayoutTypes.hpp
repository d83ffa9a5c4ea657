#pragma once

// The values the blur layout exchanges with the rest of Velvix. All are plain values: copied on
// assignment, no identity, safe to hand between threads. Rectangles are window-relative with the
// origin at the top left of WhatsApp's window and y growing downwards (see Geometry.hpp).

#include <BlurLayout/Geometry.hpp>

#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velvix {

/// Which categories to blur. The defaults are those of a fresh value; the ones a new user sees
/// are the settings store's.
struct BlurOptions {
  bool isEnabled = false;            ///< master switch: when off nothing is blurred at all
  bool unblurLastMessages = true;    ///< leave the conversation's latest messages readable
  bool blurMessages = true;          ///< the open conversation's messages
  bool blurPreviews = true;          ///< last-message previews in the chat list
  bool blurTextInput = false;        ///< the message composer
  bool blurNames = false;            ///< contact and group names
  bool blurProfilePictures = false;  ///< profile pictures
  bool blurMediaPreview = false;     ///< media messages, even with blurMessages off
  bool blurMediaGallery = false;     ///< media thumbnails outside the message flow

  friend bool operator==(const BlurOptions&, const BlurOptions&) = default;
};

/// Measurements of WhatsApp's window, in points, used where the accessibility tree is not.
struct LayoutMetrics {
  double railWidth = 220;
  double chatListWidth = 376;
  double chatListHeaderHeight = 100;
  double avatarSize = 48;
  double avatarInset = 24;
  double conversationHeaderHeight = 56;
  double composerHeight = 74;
  double composerSideInset = 44;
  double lastMessagesHeight = 170;
  double revealBandHeight = 90;

  static const LayoutMetrics defaults;

  /// A JSON object with exactly the ten field names as keys. Empty when a value is not finite,
  /// since JSON cannot represent it.
  [[nodiscard]] std::optional<std::string> encoded() const;

  /// Reads a record written by encoded(). All ten keys must be present with finite numbers;
  /// anything else (a missing key, a string, malformed JSON) gives an empty result rather than
  /// a partial merge with the defaults. Unknown keys are ignored.
  [[nodiscard]] static std::optional<LayoutMetrics> decoded(std::string_view json);

  friend bool operator==(const LayoutMetrics&, const LayoutMetrics&) = default;
};

inline const LayoutMetrics LayoutMetrics::defaults{};

/// How far each list's content has moved down since the snapshot (negative: moved up).
struct ScrollOffset {
  double chatList = 0;
  double messages = 0;
  friend bool operator==(const ScrollOffset&, const ScrollOffset&) = default;
};

enum class Shape { rounded, circle };

/// The corner radius of a `rounded` patch, in points, whatever its size (at most half a side).
inline constexpr double kPatchCornerRadius = 10;

/// How a hovered region reveals: entirely, or a horizontal band of a given height around the
/// pointer while the rest stays blurred.
class Reveal {
 public:
  [[nodiscard]] static constexpr Reveal band(double height) noexcept { return Reveal(height); }
  [[nodiscard]] static constexpr Reveal whole() noexcept { return Reveal(); }

  [[nodiscard]] constexpr bool isWhole() const noexcept { return !isBand_; }
  [[nodiscard]] constexpr std::optional<double> bandHeight() const noexcept {
    return isBand_ ? std::optional<double>(height_) : std::nullopt;
  }

  /// Same case and, for bands, the same height.
  friend constexpr bool operator==(const Reveal& a, const Reveal& b) noexcept {
    return a.isBand_ == b.isBand_ && (!a.isBand_ || a.height_ == b.height_);
  }

 private:
  constexpr Reveal() noexcept = default;
  constexpr explicit Reveal(double height) noexcept : isBand_(true), height_(height) {}
  bool isBand_ = false;
  double height_ = 0;
};

/// One area to blur with its hover behaviour.
struct BlurRegion {
  Rect rect;
  Rect hoverArea;                      ///< where the pointer must be for the region to reveal
  std::optional<Rect> hoverExclusion;  ///< where the pointer does not reveal after all
  Reveal reveal;
  Shape shape;

  /// Without a hover area the region reveals when the pointer is over `rect` itself.
  BlurRegion(Rect rect, std::optional<Rect> hoverArea, Reveal reveal, Shape shape) noexcept
      : rect(rect), hoverArea(hoverArea.value_or(rect)), reveal(reveal), shape(shape) {}

  /// Cuts `hole` out of `rect`: the region itself when they do not meet; otherwise up to four
  /// rounded pieces (above, below, left, right) of at least one point on both sides, keeping
  /// the hover area and reveal but no exclusion.
  [[nodiscard]] std::vector<BlurRegion> subtracting(const Rect& hole) const;

  friend bool operator==(const BlurRegion&, const BlurRegion&) = default;
};

/// One blur patch to draw this frame.
struct VisibleBlur {
  Rect rect;
  Shape shape = Shape::rounded;
  friend bool operator==(const VisibleBlur&, const VisibleBlur&) = default;
};

std::ostream& operator<<(std::ostream& os, Shape shape);
std::ostream& operator<<(std::ostream& os, const Reveal& reveal);
std::ostream& operator<<(std::ostream& os, const BlurRegion& region);
std::ostream& operator<<(std::ostream& os, const VisibleBlur& blur);
std::ostream& operator<<(std::ostream& os, const ScrollOffset& offset);
std::ostream& operator<<(std::ostream& os, const LayoutMetrics& metrics);

}  // namespace velvix
