#pragma once

// A desktop shown inside a window of its own, for when Velvix runs over a simulated desktop
// rather than the real one: what it looks like now, how time passes in it, and where the real
// mouse points into it. DesktopView draws it and feeds it the user's pointer and wheel.

#include <QImage>
#include <QPointF>
#include <QSize>

#include <chrono>

namespace velvix {

class DesktopScene {
 public:
  DesktopScene() = default;
  DesktopScene(const DesktopScene&) = delete;
  DesktopScene& operator=(const DesktopScene&) = delete;
  virtual ~DesktopScene() = default;

  /// The desktop's size, in points.
  [[nodiscard]] virtual QSize size() const = 0;
  /// Lets `elapsed` of the desktop's time pass: its windows, timers and the overlay run.
  virtual void advance(std::chrono::nanoseconds elapsed) = 0;
  /// What a bystander sees now, `size()` large.
  [[nodiscard]] virtual QImage render() = 0;
  /// The pointer is at `point` (desktop points), or has left the desktop.
  virtual void pointerMoved(QPointF point) = 0;
  virtual void pointerLeft() = 0;
  /// A scroll-wheel turn at the pointer, in points; positive moves towards later content.
  virtual void scrolled(double points) = 0;
};

}  // namespace velvix
