#include "SimulatedDesktop.hpp"

#include <Simulator/OverlayCoverage.hpp>

#include <QFont>
#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <vector>

namespace velvix {

// The simulated system's Accessibility service, except that asking for the permission stands
// for the user granting it in the system's settings a moment later.
class SimulatedDesktop::PromptGrants final : public platform::Accessibility {
 public:
  explicit PromptGrants(sim::SimAccessibility& inner) : inner_(inner) {}

  [[nodiscard]] bool isProcessTrusted() const override { return inner_.isProcessTrusted(); }
  void promptForTrust() override {
    inner_.promptForTrust();
    inner_.setTrusted(true);
  }
  [[nodiscard]] platform::Element applicationElement(platform::ProcessId pid) override {
    return inner_.applicationElement(pid);
  }
  platform::Error setMessagingTimeout(const platform::Element& element, double seconds) override {
    return inner_.setMessagingTimeout(element, seconds);
  }
  [[nodiscard]] platform::AttributeResult copyAttributeValue(
      const platform::Element& element, platform::Attribute attribute) override {
    return inner_.copyAttributeValue(element, attribute);
  }
  [[nodiscard]] platform::MultipleAttributeResult copyMultipleAttributeValues(
      const platform::Element& element, std::span<const platform::Attribute> attributes) override {
    return inner_.copyMultipleAttributeValues(element, attributes);
  }

 private:
  sim::SimAccessibility& inner_;
};

namespace {

QFont fontFor(double size, bool bold) {
  QFont font;
  font.setPixelSize(std::max(1, static_cast<int>(std::lround(size))));
  font.setBold(bold);
  return font;
}

QRectF toQt(const Rect& rect) {
  return {rect.minX(), rect.minY(), rect.width(), rect.height()};
}

// A stand-in photograph: two colours from the seed, blended diagonally, with a soft disc, so
// that photos differ from each other and from text and show what the glass does to them.
void paintPhoto(QPainter& painter, const QRectF& rect, std::uint32_t seed, double radius) {
  const QColor from = QColor::fromHsv(static_cast<int>(seed % 360), 150, 210);
  const QColor to = QColor::fromHsv(static_cast<int>((seed / 360) % 360), 170, 120);
  QLinearGradient gradient(rect.topLeft(), rect.bottomRight());
  gradient.setColorAt(0, from);
  gradient.setColorAt(1, to);
  QPainterPath shape;
  shape.addRoundedRect(rect, radius, radius);
  painter.fillPath(shape, gradient);
  painter.save();
  painter.setClipPath(shape, Qt::IntersectClip);
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(255, 255, 255, 90));
  const double d = std::min(rect.width(), rect.height()) * 0.5;
  painter.drawEllipse(
      QRectF(rect.x() + rect.width() * 0.55, rect.y() + rect.height() * 0.15, d, d));
  painter.restore();
}

}  // namespace

SimulatedDesktop::SimulatedDesktop(platform::LogSink& log, sim::WhatsAppState state)
    : log_(log), accessibility_(std::make_unique<PromptGrants>(desktop_.accessibility())) {
  desktop_.windowServer().setScreens({Rect(0, 0, kWidth, kHeight)});
  desktop_.windowServer().setMouseTopLeft({-10, -10});
  desktop_.accessibility().setTrusted(false);
  sim::WhatsAppModel::Options options;
  // Text is laid out with the widths this window paints it with.
  options.measureText = [](std::string_view text, double size, bool bold) {
    return QFontMetricsF(fontFor(size, bold))
        .horizontalAdvance(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
  };
  whatsApp_ = std::make_unique<sim::WhatsAppModel>(desktop_, std::move(state), std::move(options));
}

SimulatedDesktop::~SimulatedDesktop() {
  desktop_.stop();
}

OverlayPorts SimulatedDesktop::ports() {
  return {*accessibility_, desktop_.windowServer(), desktop_.toolkit(), desktop_.scheduler(), log_};
}

void SimulatedDesktop::advance(std::chrono::nanoseconds elapsed) {
  if (elapsed.count() > 0) desktop_.runFor(elapsed);
}

void SimulatedDesktop::pointerMoved(QPointF point) {
  desktop_.windowServer().setMouseTopLeft({point.x(), point.y()});
}

void SimulatedDesktop::pointerLeft() {
  desktop_.windowServer().setMouseTopLeft({-10, -10});
}

void SimulatedDesktop::scrolled(double points) {
  (void)whatsApp_->scrollWheel(points);
}

QImage SimulatedDesktop::render() {
  QImage image(kWidth, kHeight, QImage::Format_RGBA8888_Premultiplied);
  {
    QPainter painter(&image);
    QLinearGradient wallpaper(0, 0, kWidth, kHeight);
    wallpaper.setColorAt(0, QColor(38, 70, 83));
    wallpaper.setColorAt(1, QColor(42, 157, 143));
    painter.fillRect(image.rect(), wallpaper);
  }
  const sim::WindowSpec& window = desktop_.windowServer().window(whatsApp_->windowNumber());
  const Rect frame = window.bounds;
  const bool onScreen = window.isOnScreen &&
                        (!window.space || *window.space == desktop_.windowServer().activeSpace());
  if (onScreen) paintWhatsApp(image, frame);

  std::vector<pixels::GlassPatch> patches;
  for (const sim::CoverPatch& patch :
       sim::overlayPatches(desktop_.toolkit(), desktop_.windowServer(), frame)) {
    const bool circle = patch.shape == Shape::circle;
    Rect rect = patch.rect;
    // A rounded view is cut by the panel's edge; a circle keeps its own bounds, since the
    // panel lies over the whole window and a circle never reaches past it there.
    if (patch.clip && !circle) rect = rect.intersection(*patch.clip);
    if (rect.isNull() || rect.hasNaN()) continue;
    patches.push_back(
        {.x = frame.minX() + rect.minX(),
         .y = frame.minY() + rect.minY(),
         .width = rect.width(),
         .height = rect.height(),
         .shape = circle ? pixels::PatchShape::ellipse : pixels::PatchShape::roundedRect,
         .cornerRadius = sim::kPatchCornerRadius});
  }
  glass_.apply({image.bits(), image.width(), image.height(), image.bytesPerLine()}, patches);
  paintGuides(image);
  return image;
}

void SimulatedDesktop::paintWhatsApp(QImage& image, const Rect& frame) const {
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::TextAntialiasing);
  const QRectF bounds = toQt(frame);
  painter.fillRect(bounds.translated(0, 6).adjusted(-4, 0, 4, 4), QColor(0, 0, 0, 50));
  painter.fillRect(bounds, Qt::white);
  painter.translate(bounds.topLeft());
  painter.setClipRect(QRectF(QPointF(0, 0), bounds.size()));

  for (const sim::PaintItem& item : whatsApp_->scene().items) {
    painter.save();
    painter.setClipRect(toQt(item.clip), Qt::IntersectClip);
    const QRectF rect = toQt(item.rect);
    const QColor color = QColor::fromRgba(item.color);
    switch (item.kind) {
      case sim::PaintItem::Kind::fill: {
        QPainterPath path;
        path.addRoundedRect(rect, item.radius, item.radius);
        painter.fillPath(path, color);
        break;
      }
      case sim::PaintItem::Kind::ellipse:
        painter.setPen(Qt::NoPen);
        painter.setBrush(color);
        painter.drawEllipse(rect);
        if (!item.text.empty()) {
          painter.setPen(Qt::white);
          painter.setFont(fontFor(rect.height() * 0.38, true));
          painter.drawText(rect, Qt::AlignCenter, QString::fromStdString(item.text));
        }
        break;
      case sim::PaintItem::Kind::text: {
        const QFont font = fontFor(item.fontSize, item.bold);
        painter.setFont(font);
        painter.setPen(color);
        const Qt::Alignment align = item.align == sim::PaintItem::Align::left     ? Qt::AlignLeft
                                    : item.align == sim::PaintItem::Align::centre ? Qt::AlignHCenter
                                                                                  : Qt::AlignRight;
        const QString text = QFontMetricsF(font).elidedText(QString::fromStdString(item.text),
                                                            Qt::ElideRight, rect.width());
        painter.drawText(rect, static_cast<int>(align | Qt::AlignVCenter), text);
        break;
      }
      case sim::PaintItem::Kind::photo:
        paintPhoto(painter, rect, item.seed, item.radius);
        break;
      case sim::PaintItem::Kind::line:
        painter.setPen(QPen(color, 1));
        painter.drawLine(rect.topLeft(), rect.bottomRight());
        break;
    }
    painter.restore();
  }
}

void SimulatedDesktop::paintGuides(QImage& image) {
  const sim::SimPanel* panel = desktop_.toolkit().panel();
  if (!panel || !panel->isVisible() || !panel->isOnActiveSpace() || panel->areGuidesHidden()) {
    return;
  }
  // The panel's frame is bottom-left-origin; its content, and so the guides, top-left.
  const Rect frame = panel->frame();
  const QPointF origin(frame.minX(), kHeight - frame.maxY());
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.translate(origin);
  painter.setPen(QPen(QColor(255, 59, 48), 1.5));
  painter.setBrush(Qt::NoBrush);
  for (const Rect& region : panel->guideRegions())
    painter.drawRect(toQt(region));
  painter.setPen(QPen(QColor(0, 122, 255), 1.5, Qt::DashLine));
  for (const double x : panel->guideColumns()) {
    painter.drawLine(QPointF(x, 0), QPointF(x, frame.height()));
  }
}

}  // namespace velvix
