#pragma once

// "Start Velvix at login" on a freedesktop desktop: an entry in the XDG autostart folder
// ($XDG_CONFIG_HOME/autostart, or ~/.config/autostart) whose Exec starts this executable.
// The file is the only record of the choice: it is read again on every refresh, so an entry
// the user deleted, disabled (Hidden=true) or left behind by a Velvix installed elsewhere reads
// as off, and turning the switch on replaces it with ours.
//
// Main thread only.

#include <QObject>
#include <QString>

namespace velvix {

class Autostart : public QObject {
  Q_OBJECT
  Q_PROPERTY(bool enabled READ enabled NOTIFY enabledChanged)

 public:
  /// The entry that would start the running program.
  explicit Autostart(QObject* parent = nullptr);
  /// The entry that would start `executable`, an absolute path.
  explicit Autostart(QString executable, QObject* parent = nullptr);
  ~Autostart() override;

  /// Whether the entry exists and starts this executable, as of the last refresh.
  [[nodiscard]] bool enabled() const { return enabled_; }

  /// Writes the entry (creating the folder) or removes ours. Returns false when the file could
  /// not be changed; `enabled` then still tells what the file holds.
  Q_INVOKABLE bool setEnabled(bool enabled);
  /// Reads the entry again: another program, or the user, may have changed it meanwhile.
  Q_INVOKABLE void refresh();

  /// Where the entry lives now (the environment is read at each call).
  [[nodiscard]] static QString entryPath();

 signals:
  void enabledChanged();

 private:
  [[nodiscard]] bool entryStartsUs() const;

  QString executable_;
  bool enabled_ = false;
};

}  // namespace velvix
