#include "ShortcutKeys.hpp"

#include <QStringList>

namespace velvix {

QString ShortcutKeys::of(int key, int modifiers) {
  QString name;
  if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9))
    name = QChar(key);
  else if (key >= Qt::Key_F1 && key <= Qt::Key_F12)
    name = QStringLiteral("F%1").arg(key - Qt::Key_F1 + 1);
  QStringList keys;
  if (modifiers & Qt::ControlModifier) keys << QStringLiteral("Ctrl");
  if (modifiers & Qt::AltModifier) keys << QStringLiteral("Alt");
  if (modifiers & Qt::ShiftModifier) keys << QStringLiteral("Shift");
  if (modifiers & Qt::MetaModifier) keys << QStringLiteral("Super");
  if (name.isEmpty() || keys.isEmpty()) return {};
  return (keys << name).join(u'+');
}

}  // namespace velvix
