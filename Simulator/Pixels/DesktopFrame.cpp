#include "DesktopFrame.hpp"

#include <Simulator/OverlayCoverage.hpp>

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainterPath>
#include <QPen>
#include <QString>

#include <algorithm>
#include <cmath>
#include <vector>

namespace velvix::pixels {

namespace {

// The one place rectangles cross into Qt.
QRectF toQt(const Rect& r) {
  return {r.minX(), r.minY(), r.width(), r.height()};
}

QString toQString(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QColor toQColor(std::uint32_t argb) {
  return QColor::fromRgba(argb);
}

// A made-up photograph: sky, sun, two hills and a few figures, different for every seed, with
// enough detail that a blur visibly hides it.
void paintPhoto(QPainter& p, const QRectF& r, std::uint32_t seed, double radius) {
  QPainterPath shape;
  shape.addRoundedRect(r, radius, radius);
  p.save();
  p.setClipPath(shape, Qt::IntersectClip);
  const int hue = static_cast<int>(seed % 360);
  QLinearGradient sky(r.topLeft(), r.bottomLeft());
  sky.setColorAt(0, QColor::fromHsv(hue, 120, 240));
  sky.setColorAt(1, QColor::fromHsv((hue + 40) % 360, 60, 255));
  p.fillRect(r, sky);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(255, 214, 102));
  const double s = std::min(r.width(), r.height());
  p.drawEllipse(
      QPointF(r.left() + r.width() * (0.2 + (seed >> 9) % 60 / 100.0), r.top() + r.height() * 0.25),
      s * 0.12, s * 0.12);
  for (int k = 0; k < 2; ++k) {
    QPainterPath hill;
    const double base = r.top() + r.height() * (0.6 + 0.15 * k);
    hill.moveTo(r.left(), r.bottom());
    hill.lineTo(r.left(), base);
    hill.cubicTo(r.left() + r.width() * 0.3, base - r.height() * 0.25, r.left() + r.width() * 0.6,
                 base + r.height() * 0.1, r.right(), base - r.height() * 0.1);
    hill.lineTo(r.right(), r.bottom());
    p.setBrush(QColor::fromHsv((hue + 100 + 30 * k) % 360, 160, 150 - 40 * k));
    p.drawPath(hill);
  }
  for (int k = 0; k < 3; ++k) {
    const double x = r.left() + r.width() * (0.25 + 0.22 * k + ((seed >> (3 * k)) % 7) / 100.0);
    const double y = r.top() + r.height() * 0.62;
    p.setBrush(QColor::fromHsv((hue + 200 + 50 * k) % 360, 200, 120));
    p.drawEllipse(QPointF(x, y), s * 0.035, s * 0.035);
    p.drawRoundedRect(QRectF(x - s * 0.04, y + s * 0.04, s * 0.08, s * 0.14), 3, 3);
  }
  p.restore();
}

}  // namespace

QFont whatsAppFont(double size, bool bold) {
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(std::max(1, static_cast<int>(std::lround(size))));
  font.setBold(bold);
  return font;
}

double measureText(std::string_view text, double size, bool bold) {
  return QFontMetricsF(whatsAppFont(size, bold)).horizontalAdvance(toQString(text));
}

void paintScene(QPainter& painter, const sim::Scene& scene) {
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::TextAntialiasing);
  painter.setClipRect(QRectF(0, 0, scene.windowSize.width, scene.windowSize.height),
                      Qt::IntersectClip);
  painter.fillRect(QRectF(0, 0, scene.windowSize.width, scene.windowSize.height), Qt::white);
  for (const sim::PaintItem& item : scene.items) {
    painter.save();
    painter.setClipRect(toQt(item.clip), Qt::IntersectClip);
    const QRectF rect = toQt(item.rect);
    const QColor colour = toQColor(item.color);
    switch (item.kind) {
      case sim::PaintItem::Kind::fill: {
        QPainterPath path;
        path.addRoundedRect(rect, item.radius, item.radius);
        painter.fillPath(path, colour);
        break;
      }
      case sim::PaintItem::Kind::ellipse:
        painter.setPen(Qt::NoPen);
        painter.setBrush(colour);
        painter.drawEllipse(rect);
        if (!item.text.empty()) {
          painter.setPen(Qt::white);
          painter.setFont(whatsAppFont(item.fontSize, item.bold));
          painter.drawText(rect, Qt::AlignCenter, toQString(item.text));
        }
        break;
      case sim::PaintItem::Kind::text: {
        const QFont font = whatsAppFont(item.fontSize, item.bold);
        painter.setFont(font);
        painter.setPen(colour);
        const Qt::Alignment horizontal = item.align == sim::PaintItem::Align::left ? Qt::AlignLeft
                                         : item.align == sim::PaintItem::Align::centre
                                             ? Qt::AlignHCenter
                                             : Qt::AlignRight;
        const QString text = QFontMetricsF(font).elidedText(toQString(item.text), Qt::ElideRight,
                                                            rect.width() + 0.5);
        painter.drawText(rect, static_cast<int>(horizontal | Qt::AlignVCenter), text);
        break;
      }
      case sim::PaintItem::Kind::photo:
        paintPhoto(painter, rect, item.seed, item.radius);
        break;
      case sim::PaintItem::Kind::line:
        painter.setPen(QPen(colour, 1));
        painter.drawLine(rect.topLeft(), rect.bottomRight());
        break;
    }
    painter.restore();
  }
  painter.restore();
}

void applyOverlayGlass(FrostedGlass& glass, QImage& image, std::span<const sim::CoverPatch> patches,
                       QPointF origin, double scale) {
  if (image.format() != QImage::Format_RGBA8888 &&
      image.format() != QImage::Format_RGBA8888_Premultiplied)
    image = image.convertToFormat(QImage::Format_RGBA8888_Premultiplied);
  std::vector<glass::GlassPatch> glassPatches;
  for (const sim::CoverPatch& patch : patches) {
    const bool circle = patch.shape == Shape::circle;
    Rect r = patch.rect;
    if (patch.clip && !circle) r = r.intersection(*patch.clip);
    if (r.isNull() || r.hasNaN()) continue;
    glassPatches.push_back(
        {.x = origin.x() + r.minX() * scale,
         .y = origin.y() + r.minY() * scale,
         .width = r.width() * scale,
         .height = r.height() * scale,
         .shape = circle ? glass::PatchShape::ellipse : glass::PatchShape::roundedRect,
         .cornerRadius = patch.shape ? kPatchCornerRadius * scale : 0});
  }
  glass.apply({image.bits(), image.width(), image.height(), image.bytesPerLine()}, glassPatches);
}

void paintGuides(QPainter& painter, const sim::SimPanel& panel) {
  if (panel.areGuidesHidden()) return;
  const double height = panel.frame().height();
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  QPen columns(QColor(52, 199, 89), 1.5);
  columns.setDashPattern({6 / 1.5, 4 / 1.5});  // in line widths: 6 on, 4 off
  painter.setPen(columns);
  for (double x : panel.guideColumns())
    painter.drawLine(QPointF(x, 0), QPointF(x, height));
  painter.setPen(QPen(QColor(255, 45, 85), 1.0));
  painter.setBrush(Qt::NoBrush);
  for (const Rect& r : panel.guideRegions()) {
    const Rect inner = r.insetBy(0.5, 0.5);
    if (!inner.isNull()) painter.drawRect(toQt(inner));
  }
  painter.restore();
}

DesktopRenderer::DesktopRenderer(FrostedGlassStyle style) : mediumStyle_(style), glass_(style) {}

QImage DesktopRenderer::render(sim::Desktop& desktop, const sim::WhatsAppModel& whatsApp,
                               const FrameOptions& options) {
  const double scale = std::isfinite(options.scale) && options.scale > 0 ? options.scale : 1;
  const double margin = std::isfinite(options.margin) ? std::max(0.0, options.margin) : 0;
  const Rect frame = whatsApp.state().windowFrame;
  const int width = static_cast<int>(std::ceil((frame.width() + 2 * margin) * scale));
  const int height = static_cast<int>(std::ceil((frame.height() + 2 * margin) * scale));
  QImage image(width, height, QImage::Format_RGBA8888_Premultiplied);
  const QPointF origin(margin * scale, margin * scale);
  {
    QPainter painter(&image);
    QLinearGradient wallpaper(0, 0, width, height);
    wallpaper.setColorAt(0, QColor(38, 70, 83));
    wallpaper.setColorAt(1, QColor(42, 157, 143));
    painter.fillRect(image.rect(), wallpaper);
    painter.translate(origin);
    painter.scale(scale, scale);
    painter.fillRect(QRectF(-2, 4, frame.width() + 4, frame.height()), QColor(0, 0, 0, 60));
    paintScene(painter, whatsApp.scene());
  }
  if (!options.showsOverlay) return image;

  const sim::SimPanel* panel = desktop.toolkit().panel();
  if (const BlurStrength strength = panel ? panel->blurStrength() : BlurStrength::medium;
      strength != strength_) {
    strength_ = strength;
    glass_ = FrostedGlass(strength == BlurStrength::medium ? mediumStyle_
                                                           : FrostedGlassStyle::of(strength));
  }
  const auto patches = sim::overlayPatches(desktop.toolkit(), desktop.windowServer(), frame);
  applyOverlayGlass(glass_, image, patches, origin, scale);

  if (panel && panel->isVisible() && panel->isOnActiveSpace() && !panel->areGuidesHidden()) {
    const Rect panelFrame = platform::screenFlip(desktop.windowServer())
                                .then(SpaceTransform::relativeTo(frame.origin))
                                .map(panel->frame());
    QPainter painter(&image);
    painter.translate(origin);
    painter.scale(scale, scale);
    painter.translate(panelFrame.minX(), panelFrame.minY());
    paintGuides(painter, *panel);
  }
  return image;
}

bool writePng(const QImage& image, const std::string& path) {
  return image.save(QString::fromStdString(path), "PNG");
}

}  // namespace velvix::pixels
