#include "WhatsAppScene.hpp"

#include <algorithm>

namespace velvix::sim {

const char* name(Sensitive category) {
  switch (category) {
    case Sensitive::name:
      return "names";
    case Sensitive::preview:
      return "previews";
    case Sensitive::picture:
      return "pictures";
    case Sensitive::message:
      return "messages";
    case Sensitive::media:
      return "media";
    case Sensitive::composer:
      return "composer";
    case Sensitive::thumbnail:
      return "thumbnails";
  }
  return "?";
}

std::vector<SensitiveArea> sensitiveAreas(const Scene& scene, const BlurOptions& options) {
  std::vector<SensitiveArea> areas = {};
  if (!options.isEnabled) return areas;
  for (const PaintItem& item : scene.items) {
    if (!item.sensitive) continue;
    bool promised = false;
    switch (*item.sensitive) {
      case Sensitive::name:
        promised = options.blurNames;
        break;
      case Sensitive::preview:
        promised = options.blurPreviews;
        break;
      case Sensitive::picture:
        promised = options.blurProfilePictures;
        break;
      case Sensitive::composer:
        promised = options.blurTextInput;
        break;
      case Sensitive::thumbnail:
        promised = options.blurMediaGallery;
        break;
      case Sensitive::message:
      case Sensitive::media: {
        const bool isMedia = *item.sensitive == Sensitive::media;
        const bool leftReadable =
            options.blurMessages && options.unblurLastMessages && item.isLatest;
        promised = !leftReadable && (options.blurMessages || (options.blurMediaPreview && isMedia));
        break;
      }
    }
    if (!promised) continue;
    // A line of text is drawn centred in its box. Its ink reaches from the accents of small
    // letters, 0.46 of the font size above the box's middle, to the descenders, 0.58 below
    // (a sans-serif's line is 1.16 high with its baseline 0.35 below the middle).
    Rect bounds = item.rect;
    if (item.kind == PaintItem::Kind::text) {
      const double h = bounds.height();
      const double top = std::max(0.0, h / 2 - 0.46 * item.fontSize);
      const double bottom = std::min(h, h / 2 + 0.58 * item.fontSize);
      bounds =
          Rect(bounds.minX(), bounds.minY() + top, bounds.width(), std::max(0.0, bottom - top));
    }
    const Rect shown = bounds.intersection(item.clip);
    if (shown.isNull()) continue;
    SensitiveArea area{.rect = shown,
                       .bounds = bounds,
                       .isEllipse = item.kind == PaintItem::Kind::ellipse,
                       .cornerRadius = item.kind == PaintItem::Kind::photo ? item.radius : 0,
                       .category = *item.sensitive,
                       .unit = item.unit,
                       .isWhole = shown == bounds};
    // What lies under the sheet does not show: keep the pieces beside it.
    const Rect hidden =
        scene.sheet && !item.isInSheet ? shown.intersection(*scene.sheet) : Rect::null();
    if (hidden.isNull()) {
      areas.push_back(area);
      continue;
    }
    area.isWhole = false;
    const Rect pieces[] = {
        Rect(shown.minX(), shown.minY(), shown.width(), hidden.minY() - shown.minY()),
        Rect(shown.minX(), hidden.maxY(), shown.width(), shown.maxY() - hidden.maxY()),
        Rect(shown.minX(), hidden.minY(), hidden.minX() - shown.minX(), hidden.height()),
        Rect(hidden.maxX(), hidden.minY(), shown.maxX() - hidden.maxX(), hidden.height())};
    for (const Rect& piece : pieces)
      if (piece.width() > 0 && piece.height() > 0) {
        area.rect = piece;
        areas.push_back(area);
      }
  }
  return areas;
}

}  // namespace velvix::sim
