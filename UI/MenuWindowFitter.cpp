#include "MenuWindowFitter.hpp"

#include <QQuickWindow>

#include <algorithm>
#include <cmath>

namespace velvix {

std::optional<Rect> MenuWindowFitter::fittedFrame(const Rect& frame, double contentHeight,
                                                  double decorationHeight) {
  if (!std::isfinite(contentHeight) || contentHeight <= 0) return std::nullopt;
  if (frame.isNull() || frame.hasNaN()) return std::nullopt;
  const double target = contentHeight + (std::isfinite(decorationHeight) ? decorationHeight : 0);
  const Rect current = frame.standardized();
  if (std::abs(current.height() - target) < 1) return std::nullopt;
  return Rect(current.minX(), current.minY(), current.width(), target);
}

MenuWindowFitterItem::MenuWindowFitterItem(QQuickItem* parent) : QQuickItem(parent) {}

void MenuWindowFitterItem::setContentHeight(qreal height) {
  if (height == contentHeight_) return;
  contentHeight_ = height;
  emit contentHeightChanged();
  fitSoon();
}

void MenuWindowFitterItem::itemChange(ItemChange change, const ItemChangeData& data) {
  QQuickItem::itemChange(change, data);
  if (change == ItemSceneChange) watch(data.window);
}

void MenuWindowFitterItem::watch(QQuickWindow* window) {
  QObject::disconnect(activation_);
  watched_ = window;
  if (!window) return;
  activation_ = connect(window, &QWindow::activeChanged, this, [this] {
    if (watched_ && watched_->isActive()) fit();
  });
  fitSoon();
}

void MenuWindowFitterItem::fitSoon() {
  // After the current layout pass, so the height is the settled one. A call still queued when
  // the item goes away is dropped with it.
  QMetaObject::invokeMethod(this, &MenuWindowFitterItem::fit, Qt::QueuedConnection);
}

void MenuWindowFitterItem::fit() {
  QQuickWindow* const w = window();
  if (!w) return;
  const QRect outer = w->frameGeometry();
  const QRect inner = w->geometry();
  const auto fitted =
      MenuWindowFitter::fittedFrame(Rect(outer.x(), outer.y(), outer.width(), outer.height()),
                                    contentHeight_, outer.height() - inner.height());
  if (!fitted) return;
  // Window sizes are whole pixels; rounding up keeps the whole content visible and leaves the
  // next comparison under one point, so the fit settles. The cap (the largest window Qt allows)
  // keeps the conversion defined.
  const double content = std::min(std::ceil(contentHeight_), double{(1 << 24) - 1});
  w->setGeometry(inner.x(), inner.y(), inner.width(), static_cast<int>(content));
  w->update();
}

}  // namespace velvix
