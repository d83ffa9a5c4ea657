#pragma once

// Keeps the options panel exactly as tall as its content, with its top edge where it is, so the
// panel grows and shrinks downwards from the tray icon it dropped from.
//
// The decision is plain arithmetic (fittedFrame); MenuWindowFitterItem is the Qt Quick item
// placed behind the panel's content that applies it to the window it sits in.

#include <BlurLayout/Geometry.hpp>

#include <QtQml/qqmlregistration.h>
#include <QPointer>
#include <QQuickItem>

#include <optional>

namespace velvix {

namespace MenuWindowFitter {

/// The frame the window should take so that its content is `contentHeight` tall, or none when
/// it should be left alone: without a usable height (zero, negative, NaN or infinite) or when
/// the frame is already within one point of it, so measuring noise never moves the panel.
/// Frames are in top-left-origin screen space: keeping the top edge keeps y, x and the width.
/// `decorationHeight` is what the window's frame adds to the height of its content.
[[nodiscard]] std::optional<Rect> fittedFrame(const Rect& frame, double contentHeight,
                                              double decorationHeight = 0);

}  // namespace MenuWindowFitter

/// Placed behind the panel's content with the content's measured height. Fits the window when
/// the height changes (after the current layout pass), when the item is placed in a window,
/// and each time that window becomes active.
class MenuWindowFitterItem : public QQuickItem {
  Q_OBJECT
  QML_NAMED_ELEMENT(MenuWindowFitter)
  Q_PROPERTY(
      qreal contentHeight READ contentHeight WRITE setContentHeight NOTIFY contentHeightChanged)

 public:
  explicit MenuWindowFitterItem(QQuickItem* parent = nullptr);

  [[nodiscard]] qreal contentHeight() const { return contentHeight_; }
  void setContentHeight(qreal height);

  /// Applies fittedFrame() to the window now.
  Q_INVOKABLE void fit();

 signals:
  void contentHeightChanged();

 protected:
  void itemChange(ItemChange change, const ItemChangeData& data) override;

 private:
  void fitSoon();
  void watch(QQuickWindow* window);

  qreal contentHeight_ = 0;
  QPointer<QQuickWindow> watched_;
  QMetaObject::Connection activation_;
};

}  // namespace velvix
