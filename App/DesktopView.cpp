#include "DesktopView.hpp"

#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>

namespace velvix {

namespace {

// A notch of a classic wheel is 120 units and scrolls about three lines of text.
constexpr double kPointsPerNotch = 48;

}  // namespace

DesktopView::DesktopView(DesktopScene& scene, QWidget* parent) : QWidget(parent), scene_(scene) {
  setMouseTracking(true);
  setWindowTitle(QStringLiteral("Velvix — simulated desktop"));
  const QSize size = scene_.size();
  resize(size.scaled(1280, 800, Qt::KeepAspectRatio).boundedTo(size));
  frames_.setTimerType(Qt::PreciseTimer);
  frames_.setInterval(16);
  connect(&frames_, &QTimer::timeout, this, &DesktopView::step);
  frames_.start();
  clock_.start();
}

void DesktopView::step() {
  const auto elapsed = std::chrono::nanoseconds(clock_.nsecsElapsed());
  clock_.restart();
  scene_.advance(std::min<std::chrono::nanoseconds>(elapsed, kMaxStep));
  frame_ = scene_.render();
  update();
}

QRectF DesktopView::target() const {
  const QSizeF desktop = scene_.size();
  if (desktop.isEmpty()) return {};
  const QSizeF fitted = desktop.scaled(size(), Qt::KeepAspectRatio);
  return {QPointF((width() - fitted.width()) / 2, (height() - fitted.height()) / 2), fitted};
}

std::optional<QPointF> DesktopView::desktopPoint(QPointF widgetPoint) const {
  const QRectF area = target();
  if (area.isEmpty() || !area.contains(widgetPoint)) return std::nullopt;
  const double scale = area.width() / scene_.size().width();
  return (widgetPoint - area.topLeft()) / scale;
}

void DesktopView::closeEvent(QCloseEvent* event) {
  QWidget::closeEvent(event);
  emit closed();
}

void DesktopView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::black);
  if (frame_.isNull()) return;
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.drawImage(target(), frame_);
}

void DesktopView::mouseMoveEvent(QMouseEvent* event) {
  if (const auto point = desktopPoint(event->position())) {
    scene_.pointerMoved(*point);
  } else {
    scene_.pointerLeft();
  }
}

void DesktopView::leaveEvent(QEvent*) {
  scene_.pointerLeft();
}

void DesktopView::wheelEvent(QWheelEvent* event) {
  if (const auto point = desktopPoint(event->position())) scene_.pointerMoved(*point);
  // Turning the wheel towards the user (negative angle) moves towards later content.
  const double points = event->pixelDelta().isNull()
                            ? -event->angleDelta().y() / 120.0 * kPointsPerNotch
                            : -static_cast<double>(event->pixelDelta().y());
  if (points != 0) scene_.scrolled(points);
  event->accept();
}

}  // namespace velvix
