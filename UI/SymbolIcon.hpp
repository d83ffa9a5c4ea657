#pragma once

// The status line's symbols — a closed padlock, an hourglass and an open eye — drawn with
// painter paths in one colour, so they follow the text colour and stay crisp at any size.

#include "StatusModel.hpp"

#include <QtQml/qqmlregistration.h>
#include <QColor>
#include <QQuickPaintedItem>

class QPainter;

namespace velvix {

class SymbolIcon : public QQuickPaintedItem {
  Q_OBJECT
  QML_ELEMENT
  Q_PROPERTY(velvix::StatusModel::Symbol symbol READ symbol WRITE setSymbol NOTIFY symbolChanged)
  Q_PROPERTY(QColor color READ color WRITE setColor NOTIFY colorChanged)

 public:
  explicit SymbolIcon(QQuickItem* parent = nullptr);

  [[nodiscard]] StatusModel::Symbol symbol() const { return symbol_; }
  void setSymbol(StatusModel::Symbol symbol);
  [[nodiscard]] QColor color() const { return color_; }
  void setColor(const QColor& color);

  void paint(QPainter* painter) override;

  /// Draws `symbol` in `color` into the square `side` × `side` at the painter's origin.
  static void draw(QPainter& painter, StatusModel::Symbol symbol, const QColor& color, qreal side);

 signals:
  void symbolChanged();
  void colorChanged();

 private:
  StatusModel::Symbol symbol_ = StatusModel::Symbol::Hourglass;
  QColor color_ = Qt::black;
};

}  // namespace velvix
