#pragma once

// How both options views name a press recorded as the panic shortcut ("Ctrl+Alt+B").

#include <QtQml/qqmlregistration.h>
#include <QObject>
#include <QString>

namespace velvix {

class ShortcutKeys : public QObject {
  Q_OBJECT
  QML_ELEMENT
  QML_SINGLETON

 public:
  /// The keys of a press of `key` with `modifiers` (Qt's codes), modifiers first. Empty when
  /// they cannot be a shortcut: a lone key would be taken from every application, so one
  /// modifier at least, and a letter, a digit or a function key.
  Q_INVOKABLE static QString of(int key, int modifiers);
};

}  // namespace velvix
