#pragma once

// One Velvix per user session: the first launch holds a lock and listens on a local socket; a
// later one (autostart, then a click on the menu entry) finds the lock taken, asks the running
// one to show its options, and exits instead of laying a second overlay and tray icon.

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>

#include <memory>

namespace velvix {

class SingleInstance : public QObject {
  Q_OBJECT

 public:
  enum class Outcome {
    first,     ///< this process is the one: it holds the lock and listens
    told,      ///< another one runs and was asked to show itself
    unreached  ///< another one holds the lock but did not answer
  };

  /// The name of the session's instance: one per user, desktop and backend.
  [[nodiscard]] static QString keyFor(const QString& backend);

  /// Claims `key` for this process, or tells the one holding it to show itself.
  [[nodiscard]] static std::unique_ptr<SingleInstance> claim(const QString& key, Outcome& outcome);

 signals:
  /// A later launch asked this one to show itself.
  void anotherLaunch();

 private:
  explicit SingleInstance(std::unique_ptr<QLockFile> lock);

  std::unique_ptr<QLockFile> lock_;
  QLocalServer server_;
};

}  // namespace velvix
