#include <BlurLayout/BlurLayout.hpp>

#include "RegionPieces.hpp"

#include <algorithm>
#include <cmath>

namespace velvix::BlurLayout {

namespace {

// a when it is smaller, else b: so a NaN first argument yields b. The layout's fallbacks rely on
// exactly this (a NaN measurement falls back to the second value).
constexpr double minOf(double a, double b) {
  return a < b ? a : b;
}
constexpr double maxOf(double a, double b) {
  return a > b ? a : b;
}

// How much larger than a square picture its rounded patch is: enough for the patch's round
// corners to reach over the square's, r × (1 − 1/√2).
constexpr double kSquareOutset = 3;
static_assert(kSquareOutset >= kPatchCornerRadius * (1 - 0.7072));

// A square picture's patch: grown by kSquareOutset on every side, since a rounded patch the size
// of a square would leave its corners in sight.
constexpr Rect grown(const Rect& r) {
  return r.insetBy(-kSquareOutset, -kSquareOutset);
}

BlurRegion region(const Rect& r, Reveal reveal, Shape shape = Shape::rounded) {
  return BlurRegion(r, std::nullopt, reveal, shape);
}

// Shifts a list's rows by the scroll since the snapshot and keeps those still over the list,
// clipped horizontally only: rows sticking out above or below keep their height, and what is
// drawn is clipped later.
void visibleRows(const std::vector<Rect>& rows, double dy, const Rect& area,
                 std::vector<Rect>& out) {
  out.reserve(rows.size());
  for (const Rect& row : rows) {
    const Rect shifted = row.offsetBy(0, dy);
    if (!shifted.intersects(area)) continue;
    const double left = maxOf(shifted.minX(), area.minX());
    const double right = minOf(shifted.maxX(), area.maxX());
    out.emplace_back(left, shifted.minY(), right - left, shifted.height());
  }
}

// What step 6 needs of a visible message; the key stays behind, so sorting moves no strings.
struct VisibleMessage {
  Rect frame;
  bool isMedia;
  bool isLatest;
};

// A stable sort by bottom edge. Messages arrive nearly in order, where insertion sort is linear
// and, unlike std::stable_sort, needs no buffer.
void sortByBottom(std::vector<VisibleMessage>& messages) {
  for (std::size_t i = 1; i < messages.size(); ++i) {
    const VisibleMessage m = messages[i];
    const double bottom = m.frame.maxY();
    std::size_t j = i;
    for (; j > 0 && bottom < messages[j - 1].frame.maxY(); --j)
      messages[j] = messages[j - 1];
    messages[j] = m;
  }
}

void appendOffset(std::vector<Rect>& out, const std::vector<Rect>& rects, double dy) {
  for (const Rect& r : rects)
    out.push_back(r.offsetBy(0, dy));
}

}  // namespace

std::optional<Rect> enteringStrip(Rect of, double offset, std::span<const Rect> known) {
  if (!(std::fabs(offset) >= 1)) return std::nullopt;  // also NaN
  const Rect& area = of;
  const double amount = minOf(area.height(), std::fabs(offset));
  double top = 0;
  double bottom = 0;
  if (offset > 0) {
    // Content moved down: the new content entered at the top, and ends where the first
    // already-known element begins.
    const Rect strip = area.divided(amount, RectEdge::minY).first;
    top = strip.minY();
    bottom = strip.maxY();
    for (const Rect& k : known) {
      if (!k.isNull() && k.minY() < bottom) bottom = k.minY();
    }
  } else {
    // Content moved up: the new content entered at the bottom, below the last known element.
    const Rect strip = area.divided(amount, RectEdge::maxY).first;
    top = strip.minY();
    bottom = strip.maxY();
    for (const Rect& k : known) {
      if (!k.isNull() && k.maxY() > top) top = k.maxY();
    }
  }
  if (!(bottom - top >= 1)) return std::nullopt;
  return Rect(area.minX(), top, area.width(), bottom - top);
}

Areas areas(Size windowSize, const LayoutMetrics& metrics, const DetectedElements& elements) {
  const double W = windowSize.width;
  const double H = windowSize.height;
  const LayoutMetrics& M = metrics;
  const DetectedElements& E = elements;
  const double railLeft = minOf(W, M.railWidth);
  const double listRight = minOf(W, M.railWidth + M.chatListWidth);
  const double paneWidth = W - listRight;
  return {E.chatList.value_or(Rect(railLeft, M.chatListHeaderHeight, listRight - railLeft,
                                   H - M.chatListHeaderHeight)),
          E.conversationHeader.value_or(Rect(listRight, 0, paneWidth, M.conversationHeaderHeight)),
          E.messageArea.value_or(Rect(listRight, M.conversationHeaderHeight, paneWidth,
                                      H - M.conversationHeaderHeight - M.composerHeight))};
}

std::vector<BlurRegion> regions(Size windowSize, const LayoutMetrics& metrics,
                                const BlurOptions& options, const DetectedElements& elements,
                                ScrollOffset scroll) {
  const double W = windowSize.width;
  const double H = windowSize.height;
  const LayoutMetrics& M = metrics;
  const BlurOptions& O = options;
  const DetectedElements& E = elements;
  const ScrollOffset& S = scroll;

  // Step 0. A window that is not positive and finite has nothing to blur; an infinite one is no
  // window at all and would only produce unbounded patches.
  if (!O.isEnabled || !(W > 0) || !(H > 0) || !std::isfinite(W) || !std::isfinite(H)) return {};

  const Reveal band = Reveal::band(M.revealBandHeight);
  const Reveal whole = Reveal::whole();

  // Step 1. Derived frames.
  const double listRight = minOf(W, M.railWidth + M.chatListWidth);
  const double paneWidth = W - listRight;
  const Areas A = areas(windowSize, metrics, elements);
  const Rect& CL = A.chatList;
  const Rect& HD = A.conversationHeader;
  const Rect& MA = A.messageArea;

  // Steps 2 and 3. What the snapshot saw, moved by the scroll since.
  std::vector<Rect> chat;
  std::vector<Rect> contacts;
  visibleRows(E.chatRows, S.chatList, CL, chat);
  visibleRows(E.contactRows, S.chatList, CL, contacts);

  std::vector<VisibleMessage> visibleMessages;
  visibleMessages.reserve(E.messages.size());
  for (const auto& message : E.messages) {
    const Rect c = message.frame.offsetBy(0, S.messages).intersection(MA);
    if (c.isNull() || !(c.height() >= 1)) continue;
    visibleMessages.push_back({c, message.isMedia, message.isLatest});
  }
  sortByBottom(visibleMessages);

  // Sized from what is visible rather than everything the snapshot holds: the list is written
  // on every frame, and a tight buffer stays in cache.
  std::vector<BlurRegion> out;
  out.reserve(16 + 3 * chat.size() + 2 * contacts.size() + visibleMessages.size() +
              E.images.size() + E.mediaThumbnails.size() + E.sheetNames.size() +
              E.sheetThumbnails.size());

  // Step 4. Chat list.
  // A picture partly under the list's header or past its end still shows the rest: it keeps
  // its whole circle, which may reach over the header, rather than lose its patch or have it
  // squashed by clipping.
  const auto rowPicture = [&](const Rect& avatar, const Rect& hover) {
    if (O.blurProfilePictures && avatar.intersects(CL)) {
      out.emplace_back(avatar.insetBy(-2, -2), hover, whole, Shape::circle);
    }
  };
  const auto clippedRegion = [&](const Rect& r, const Rect& hover) {
    const Rect clipped = r.intersection(CL);
    if (!clipped.isNull()) out.emplace_back(clipped, hover, whole, Shape::rounded);
  };
  if (!chat.empty()) {
    for (const Rect& r : chat) {
      const Rect hover = r.intersection(CL);
      const Rect avatar(r.minX() + M.avatarInset, r.midY() - M.avatarSize * 0.5, M.avatarSize,
                        M.avatarSize);
      rowPicture(avatar, hover);
      const double textLeft = avatar.maxX() + 10;
      const double textWidth = (r.maxX() - 18) - textLeft;
      if (O.blurNames) clippedRegion(Rect(textLeft, r.minY() + 12, textWidth, 22.5), hover);
      if (O.blurPreviews) {
        clippedRegion(Rect(textLeft, r.minY() + 36, textWidth, (r.height() - 10) - 36), hover);
      }
    }
  }
  if (!chat.empty() || !contacts.empty()) {
    for (const Rect& r : contacts) {
      const Rect hover = r.intersection(CL);
      const Rect avatar(r.minX() + 26, r.midY() - 16, 32, 32);
      rowPicture(avatar, hover);
      if (O.blurNames) {
        const double top = r.height() * 0.5 - 11;
        const double textLeft = avatar.maxX() + 10;
        clippedRegion(Rect(textLeft, r.minY() + top, (r.maxX() - 18) - textLeft, (top + 22) - top),
                      hover);
      }
    }
    if (O.blurPreviews || O.blurNames || O.blurProfilePictures) {
      std::vector<Rect> known;
      known.reserve(E.chatRows.size() + E.contactRows.size());
      appendOffset(known, E.chatRows, S.chatList);
      appendOffset(known, E.contactRows, S.chatList);
      if (const auto strip = enteringStrip(CL, S.chatList, known))
        out.push_back(region(*strip, whole));
    }
  } else if (!E.isChatListCovered && !(!E.chatList && E.isRead)) {
    const auto [pictures, texts] = CL.divided(M.avatarInset + M.avatarSize + 8, RectEdge::minX);
    if (O.blurProfilePictures) out.push_back(region(pictures, band));
    if (O.blurPreviews || O.blurNames) out.push_back(region(texts, band));
  }

  // Step 5. Conversation header.
  {
    const double d = minOf(HD.height() - 8, 32);
    const Rect& ref = E.conversationTitle ? *E.conversationTitle : HD;
    const double left = E.conversationTitle ? E.conversationTitle->minX() : HD.minX() + 45;
    const Rect avatar((left - 2) - d, ref.midY() - d * 0.5, d, d);
    if (!E.isRead || E.conversationHeader) {
      if (O.blurProfilePictures) out.emplace_back(avatar.insetBy(-2, -2), HD, whole, Shape::circle);
      if (O.blurNames) {
        const Rect title = E.conversationTitle
                               ? *E.conversationTitle
                               : Rect(avatar.maxX() + 8, HD.minY() + 6, minOf(paneWidth * 0.5, 280),
                                      HD.height() - 12);
        out.emplace_back(title, HD, whole, Shape::rounded);
      }
    }
  }

  // Step 6. Messages.
  if (!visibleMessages.empty()) {
    for (const auto& m : visibleMessages) {
      if (O.blurMessages && O.unblurLastMessages && m.isLatest) continue;
      if (O.blurMessages || (O.blurMediaPreview && m.isMedia))
        out.push_back(region(m.frame, whole));
    }
    if (O.blurMessages) {
      std::vector<Rect> known;
      known.reserve(E.messages.size());
      for (const auto& m : E.messages)
        known.push_back(m.frame.offsetBy(0, S.messages));
      if (const auto strip = enteringStrip(MA, S.messages, known))
        out.push_back(region(*strip, whole));
    }
  } else if (O.blurMessages && !(!E.messageArea && E.isRead)) {
    double h = MA.size.height;
    if (O.unblurLastMessages) {
      h = MA.height() - M.lastMessagesHeight;
      if (!(h >= 0)) h = 0;  // negative or NaN
    }
    out.push_back(region(Rect(MA.origin.x, MA.origin.y, MA.width(), h), band));
  }

  // Step 7. Gallery images outside the message flow.
  if (O.blurMediaGallery) {
    for (const Rect& r : E.images) {
      if (!MA.contains(Point{r.midX(), r.midY()}))
        out.emplace_back(grown(r), std::nullopt, whole, Shape::rounded);
    }
  }

  // Step 8. Composer.
  if (O.blurTextInput && (E.composer || !E.isRead)) {
    const Rect c = E.composer ? *E.composer
                              : Rect(listRight, H - M.composerHeight, paneWidth, M.composerHeight)
                                    .insetBy(M.composerSideInset, 10);
    out.emplace_back(c, c.insetBy(-8, -8), whole, Shape::rounded);
  }

  // Step 9. Media thumbnails. In precise mode they are the chat list's, read whole: they move
  // with its scroll, as the rows do (not while a panel covers the list: the scroll followed is
  // then the panel's), and are clipped to it, grown as they are, so that the round corners at
  // the cut lie outside the list.
  if (O.blurMediaGallery) {
    const Rect list = CL.insetBy(-kSquareOutset, -kSquareOutset);
    const double dy = E.isChatListCovered ? 0 : S.chatList;
    for (const Rect& r : E.mediaThumbnails) {
      if (!E.chatList) {
        out.emplace_back(grown(r), std::nullopt, whole, Shape::rounded);
        continue;
      }
      const Rect shown = grown(r.offsetBy(0, dy)).intersection(list);
      if (!shown.isNull()) out.push_back(region(shown, whole));
    }
  }

  // Step 10. A sheet hides what lies behind it, and nothing behind it reveals on hover.
  if (E.sheet) {
    const Rect SH = *E.sheet;
    const Rect window(0, 0, W, H);
    std::vector<BlurRegion> cut;
    cut.reserve(2 * out.size() + 8);
    for (const BlurRegion& r : out)
      detail::appendSubtracting(r, SH, window, cut);
    out = std::move(cut);
    if (O.blurProfilePictures && E.sheetPicture) {
      out.push_back(region(E.sheetPicture->insetBy(-2, -2), whole, Shape::circle));
    }
    if (O.blurNames) {
      for (const Rect& r : E.sheetNames)
        out.push_back(region(r.insetBy(-4, -2), whole));
    }
  }

  // Step 11. Sheet thumbnails.
  if (O.blurMediaGallery) {
    for (const Rect& r : E.sheetThumbnails)
      out.emplace_back(grown(r), std::nullopt, whole, Shape::rounded);
  }

  // Step 12. Clip to the window; the hover area stays as it was. A circle no larger than the
  // window keeps its whole square, which the panel's edge clips: clipped here it would be drawn
  // as a squashed ellipse and leave the rest of the picture in sight.
  const Rect window(0, 0, W, H);
  std::size_t kept = 0;
  for (std::size_t i = 0; i < out.size(); ++i) {
    const Rect c = out[i].rect.intersection(window);
    if (c.isNull() || !(c.width() >= 1) || !(c.height() >= 1)) continue;
    const Rect& r = out[i].rect;
    const bool keepsWhole = out[i].shape == Shape::circle && r.width() > 0 && r.width() <= W &&
                            r.height() > 0 && r.height() <= H;
    if (!keepsWhole) out[i].rect = c;
    if (kept != i) out[kept] = out[i];
    ++kept;
  }
  out.erase(out.begin() + static_cast<std::ptrdiff_t>(kept), out.end());
  return out;
}

std::vector<VisibleBlur> visibleBlurs(std::span<const BlurRegion> regions,
                                      std::optional<Point> mouse) {
  std::vector<VisibleBlur> out;
  out.reserve(regions.size() + 1);
  for (const BlurRegion& region : regions) {
    const bool hovered = mouse && region.hoverArea.contains(*mouse) &&
                         !(region.hoverExclusion && region.hoverExclusion->contains(*mouse));
    if (!hovered) {
      out.push_back({region.rect, region.shape});
      continue;
    }
    const auto bandHeight = region.reveal.bandHeight();
    if (!bandHeight) continue;  // a whole region disappears under the pointer
    // The band never has a negative height (a NaN or negative measurement opens none), and the
    // pieces never reach beyond the region, even when the hover area does.
    const Rect& R = region.rect;
    const double h = *bandHeight > 0 ? *bandHeight : 0;
    const double bandTop = mouse->y - h * 0.5;
    const double bandBottom = mouse->y + h * 0.5;
    const double above = (bandTop < R.maxY() ? bandTop : R.maxY()) - R.minY();
    if (above >= 1) out.push_back({Rect(R.minX(), R.minY(), R.width(), above), Shape::rounded});
    const double belowTop = bandBottom > R.minY() ? bandBottom : R.minY();
    const double below = R.maxY() - belowTop;
    if (below >= 1) out.push_back({Rect(R.minX(), belowTop, R.width(), below), Shape::rounded});
  }
  return out;
}

}  // namespace velvix::BlurLayout
