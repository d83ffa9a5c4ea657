#pragma once

// What the simulated WhatsApp window looks like at one moment: a list of paint items in drawing
// order, window-relative, already moved by the lists' scrolling and clipped to where they show.
// The Qt painter draws them; the privacy-leak measure reads which of them are sensitive.
//
// Sensitive items are the private pixels themselves — a name's line of text, a preview, a
// picture, a message's text or photo — not the rows around them.

#include <BlurLayout/Geometry.hpp>
#include <BlurLayout/LayoutTypes.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velvix::sim {

/// The kinds of private content, each switched by one blur option.
enum class Sensitive {
  name,       ///< chat, contact and conversation names; a sheet's name, about text and number
  preview,    ///< last-message previews in the chat list and details in a covering panel
  picture,    ///< profile pictures
  message,    ///< a message's text (with its sender in groups)
  media,      ///< a photo or video inside a message
  composer,   ///< the text being typed
  thumbnail,  ///< media thumbnails outside the conversation (chat list, sheet)
};

[[nodiscard]] const char* name(Sensitive category);

struct PaintItem {
  enum class Kind {
    fill,     ///< `rect` filled with `color`, corners rounded by `radius`
    ellipse,  ///< the ellipse inscribed in `rect`, with `text` (initials) centred when not empty
    text,     ///< one line of `text` in `rect`, elided when it does not fit
    photo,    ///< a picture generated from `seed`, corners rounded by `radius`
    line,     ///< a one-point line from the top-left to the bottom-right corner of `rect`
  };
  Kind kind = Kind::fill;
  Rect rect = {};
  std::uint32_t color = 0xFF000000;  ///< ARGB
  double radius = 0;
  std::string text = {};
  double fontSize = 14;
  bool bold = false;
  enum class Align { left, centre, right } align = Align::left;
  std::uint32_t seed = 0;

  /// Where the item may show: it is drawn clipped to this (a list's visible area, or the
  /// window).
  Rect clip = {};
  /// Present for private content.
  std::optional<Sensitive> sensitive = {};
  /// For messages: one of the conversation's three newest.
  bool isLatest = false;
  /// The interface unit the item belongs to (its chat row, message row, header...), clipped
  /// like the item: hovering it reveals the item.
  Rect unit = {};
  /// Part of a sheet, drawn over the window's content.
  bool isInSheet = false;
};

struct Scene {
  Size windowSize = {};
  std::vector<PaintItem> items = {};
  /// An opaque sheet over the window: what lies beneath it does not show.
  std::optional<Rect> sheet = {};
};

/// One area of private pixels on screen, window-relative: the part within `rect` of the shape
/// `bounds` describes — a rectangle with corners rounded by `cornerRadius`, or the ellipse
/// inscribed in it. For a line of text it is the band the glyphs' ink occupies, not the line
/// spacing around it.
struct SensitiveArea {
  Rect rect = {};    ///< clipped to where the item shows
  Rect bounds = {};  ///< the whole shape, before clipping
  bool isEllipse = false;
  double cornerRadius = 0;
  Sensitive category = Sensitive::name;
  Rect unit = {};        ///< the interface unit whose hover reveals it
  bool isWhole = false;  ///< nothing of it is cut off by its list's edges or the window
};

/// The scene's private areas that the options promise to hide: categories switched on, and not
/// the conversation's latest messages when those are left readable (so a latest media message
/// stays readable too unless only media previews are blurred, as the layout does).
[[nodiscard]] std::vector<SensitiveArea> sensitiveAreas(const Scene& scene,
                                                        const BlurOptions& options);

}  // namespace velvix::sim
