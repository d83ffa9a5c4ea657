#pragma once

// The window that shows a simulated desktop: it lets the desktop's time run with the real
// clock, redraws it every frame, scaled to fit, and passes the real mouse's moves and wheel
// turns into it, so hovering and scrolling the simulated WhatsApp behaves as on a desktop.

#include "DesktopScene.hpp"

#include <QElapsedTimer>
#include <QImage>
#include <QTimer>
#include <QWidget>

#include <chrono>
#include <optional>

namespace velvix {

class DesktopView : public QWidget {
  Q_OBJECT

 public:
  /// `scene` must outlive the view.
  explicit DesktopView(DesktopScene& scene, QWidget* parent = nullptr);

  /// Where a point of the widget lies on the desktop, or none outside the drawn desktop.
  [[nodiscard]] std::optional<QPointF> desktopPoint(QPointF widgetPoint) const;

  /// One frame: the desktop's time catches up with the real clock, then it is redrawn.
  void step();

  /// The longest stretch of time one frame lets pass, so that a stalled event loop (a
  /// debugger, a suspended laptop) does not make the desktop race through minutes at once.
  static constexpr std::chrono::milliseconds kMaxStep{100};

 signals:
  /// The user closed the window: the desktop it showed is gone from view.
  void closed();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;

 private:
  [[nodiscard]] QRectF target() const;

  DesktopScene& scene_;
  QTimer frames_;
  QElapsedTimer clock_;
  QImage frame_;
};

}  // namespace velvix
