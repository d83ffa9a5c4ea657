#include "MenuBarIcon.hpp"

#include "SymbolIcon.hpp"

#include <QByteArray>
#include <QPainter>
#include <QSvgRenderer>

#include <algorithm>
#include <cmath>

namespace velvix {

namespace {

// A 15-unit view box drawn at 18 points: the bubble's outline with its tail at the lower left,
// and a closed padlock inside it.
constexpr std::string_view kSvg =
    R"svg(<svg xmlns="http://www.w3.org/2000/svg" width="18" height="18" viewBox="0 0 15 15">
  <path d="M3.5 1.5h8a2 2 0 0 1 2 2v5a2 2 0 0 1-2 2H7l-3.5 3v-3a2 2 0 0 1-2-2v-5a2 2 0 0 1 2-2z"
        fill="none" stroke="#000" stroke-width="1.2" stroke-linejoin="round"/>
  <path d="M6 5.7V4.8a1.5 1.5 0 0 1 3 0v0.9" fill="none" stroke="#000" stroke-width="1"/>
  <rect x="5" y="5.6" width="5" height="3.5" rx="0.6" fill="#000"/>
</svg>
)svg";

QImage blankImage(int pixels) {
  QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  return image;
}

// The crossed-out eye that stands in for the icon should its SVG not load.
QImage fallbackIcon(int pixels, const QColor& tint) {
  QImage image = blankImage(pixels);
  QPainter painter(&image);
  SymbolIcon::draw(painter, StatusModel::Symbol::Eye, tint, pixels);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(tint, pixels / 10.0, Qt::SolidLine, Qt::RoundCap));
  painter.drawLine(QPointF(pixels * 0.15, pixels * 0.15), QPointF(pixels * 0.85, pixels * 0.85));
  return image;
}

// `image` at `opacity`, on a transparent image of the same size and ratio.
QImage dimmed(const QImage& image, double opacity) {
  QImage out = blankImage(image.width());
  QPainter painter(&out);
  painter.setOpacity(opacity);
  QImage source = image;
  source.setDevicePixelRatio(1);
  painter.drawImage(0, 0, source);
  painter.end();
  out.setDevicePixelRatio(image.devicePixelRatio());
  return out;
}

}  // namespace

std::string_view menuBarIconSvg() {
  return kSvg;
}

QImage templateImageFromSvg(std::string_view svg, int pixels, const QColor& tint) {
  QSvgRenderer renderer(QByteArray(svg.data(), static_cast<qsizetype>(svg.size())));
  if (!renderer.isValid() || pixels <= 0) return {};
  QImage image = blankImage(pixels);
  QPainter painter(&image);
  renderer.render(&painter, QRectF(0, 0, pixels, pixels));
  // A template keeps only the shape: every covered pixel takes the tint, at its own coverage.
  painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
  painter.fillRect(image.rect(), tint);
  return image;
}

QImage menuBarIcon(bool isEnabled, qreal devicePixelRatio, const QColor& tint) {
  const qreal ratio = std::isfinite(devicePixelRatio) && devicePixelRatio > 0
                          ? std::min(devicePixelRatio, qreal{16})
                          : qreal{1};
  const int pixels = static_cast<int>(std::lround(kMenuBarIconSide * ratio));
  QImage icon = templateImageFromSvg(kSvg, pixels, tint);
  if (icon.isNull()) icon = fallbackIcon(pixels, tint);
  icon.setDevicePixelRatio(ratio);
  return isEnabled ? icon : dimmed(icon, kDimmedIconOpacity);
}

QImage withCoverBadge(QImage icon, const QColor& colour) {
  const qreal ratio = icon.devicePixelRatio();
  const qreal side = icon.width() / ratio;
  QPainter painter(&icon);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(QColor(0x1E, 0x1E, 0x1E), 1));
  painter.setBrush(colour);
  const qreal diameter = side * 0.45;
  painter.drawEllipse(QRectF(side - diameter - 0.5, side - diameter - 0.5, diameter, diameter));
  return icon;
}

QImage trayIcon(bool isEnabled, qreal devicePixelRatio) {
  QImage glyph = menuBarIcon(true, devicePixelRatio, QColor(0xF8, 0xF8, 0xF8));
  QImage halo = menuBarIcon(true, devicePixelRatio, QColor(0x1E, 0x1E, 0x1E));
  const qreal ratio = glyph.devicePixelRatio();
  glyph.setDevicePixelRatio(1);
  halo.setDevicePixelRatio(1);
  QImage icon = blankImage(glyph.width());
  {
    // The halo: the shape grown by a point's worth of pixels in every direction.
    QPainter painter(&icon);
    const int reach = std::max(1, static_cast<int>(std::lround(ratio)));
    for (int dy = -reach; dy <= reach; ++dy) {
      for (int dx = -reach; dx <= reach; ++dx)
        painter.drawImage(dx, dy, halo);
    }
    painter.drawImage(0, 0, glyph);
  }
  icon.setDevicePixelRatio(ratio);
  return isEnabled ? icon : dimmed(icon, kDimmedIconOpacity);
}

}  // namespace velvix
