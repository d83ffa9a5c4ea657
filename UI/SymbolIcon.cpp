#include "SymbolIcon.hpp"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace velvix {

SymbolIcon::SymbolIcon(QQuickItem* parent) : QQuickPaintedItem(parent) {
  setAntialiasing(true);
  setImplicitSize(14, 14);
}

void SymbolIcon::setSymbol(StatusModel::Symbol symbol) {
  if (symbol == symbol_) return;
  symbol_ = symbol;
  emit symbolChanged();
  update();
}

void SymbolIcon::setColor(const QColor& color) {
  if (color == color_) return;
  color_ = color;
  emit colorChanged();
  update();
}

void SymbolIcon::paint(QPainter* painter) {
  const qreal side = std::min(width(), height());
  painter->save();
  painter->translate((width() - side) / 2, (height() - side) / 2);
  draw(*painter, symbol_, color_, side);
  painter->restore();
}

void SymbolIcon::draw(QPainter& painter, StatusModel::Symbol symbol, const QColor& color,
                      qreal side) {
  if (side <= 0) return;
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.scale(side / 16, side / 16);  // drawn on a 16-unit grid
  QPen pen(color, 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
  switch (symbol) {
    case StatusModel::Symbol::Lock: {
      painter.setPen(pen);
      painter.setBrush(Qt::NoBrush);
      QPainterPath shackle;
      shackle.moveTo(5, 7.5);
      shackle.lineTo(5, 5);
      shackle.arcTo(QRectF(5, 2, 6, 6), 180, -180);
      shackle.lineTo(11, 7.5);
      painter.drawPath(shackle);
      painter.setPen(Qt::NoPen);
      painter.setBrush(color);
      painter.drawRoundedRect(QRectF(3, 7, 10, 8), 1.5, 1.5);
      break;
    }
    case StatusModel::Symbol::Hourglass: {
      painter.setPen(pen);
      painter.setBrush(Qt::NoBrush);
      painter.drawLine(QPointF(3.5, 1.5), QPointF(12.5, 1.5));
      painter.drawLine(QPointF(3.5, 14.5), QPointF(12.5, 14.5));
      QPainterPath glass;
      glass.moveTo(4.5, 1.5);
      glass.cubicTo(4.5, 5.5, 7.2, 6.5, 7.2, 8);
      glass.cubicTo(7.2, 9.5, 4.5, 10.5, 4.5, 14.5);
      glass.moveTo(11.5, 1.5);
      glass.cubicTo(11.5, 5.5, 8.8, 6.5, 8.8, 8);
      glass.cubicTo(8.8, 9.5, 11.5, 10.5, 11.5, 14.5);
      painter.drawPath(glass);
      QPainterPath sand;  // what has run through, heaped at the bottom
      sand.moveTo(5.4, 13.8);
      sand.cubicTo(5.8, 11.8, 7.2, 11, 8, 10.6);
      sand.cubicTo(8.8, 11, 10.2, 11.8, 10.6, 13.8);
      sand.closeSubpath();
      painter.setPen(Qt::NoPen);
      painter.setBrush(color);
      painter.drawPath(sand);
      break;
    }
    case StatusModel::Symbol::Eye: {
      painter.setPen(pen);
      painter.setBrush(Qt::NoBrush);
      QPainterPath lids;
      lids.moveTo(1, 8);
      lids.quadTo(8, 0.5, 15, 8);
      lids.quadTo(8, 15.5, 1, 8);
      painter.drawPath(lids);
      painter.setPen(Qt::NoPen);
      painter.setBrush(color);
      painter.drawEllipse(QPointF(8, 8), 2.6, 2.6);
      break;
    }
  }
  painter.restore();
}

}  // namespace velvix
