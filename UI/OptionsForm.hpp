#pragma once

// The options as an ordinary Qt Widgets window, for desktops without a tray, where the options
// stay open all day as Velvix's only window: the controls of the Qt Quick panel without the QML
// engine and its libraries, which would add some 15 MB to Velvix's resident memory there. Each
// control carries the object name of its twin in the panel, so one set of tests drives both; a
// setting added to one view must be added to the other.
//
// Main thread only.

#include <QMetaProperty>
#include <QVariant>
#include <QWidget>

#include <vector>

class QAbstractButton;
class QCheckBox;
class QLabel;
class QPushButton;
class QVBoxLayout;

namespace velvix {

class SettingsModel;
class StatusModel;

class OptionsForm final : public QWidget {
  Q_OBJECT

 public:
  /// `autostart` is the entry that starts Velvix at login (an `enabled` property with its
  /// notification, `setEnabled(bool)` and `refresh()`); without it the switch is not offered.
  /// All three must outlive the form.
  OptionsForm(SettingsModel& settings, StatusModel& overlay, QObject* autostart,
              QWidget* parent = nullptr);

 signals:
  void layoutRequested();
  void quitRequested();
  /// The user closed the window.
  void closed();

 protected:
  void showEvent(QShowEvent* event) override;
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private slots:
  void refresh();

 private:
  // A button that shows a setting: a switch (`value` invalid) is checked while the setting is
  // true; a choice while the setting equals `value`.
  struct Control {
    QAbstractButton* button;
    QMetaProperty setting;
    QVariant value;
  };
  // A row of its own for a switch: the title, and a note under it shown only while precise
  // mode waits for access. A switch row shows and writes `setting`.
  QWidget* switchRow(QVBoxLayout* into, const char* setting, const QString& title,
                     const QString& note = {});
  QCheckBox* toggleRow(QVBoxLayout* into, const char* name, const QString& title,
                       const QString& note = {});
  QWidget* choiceRow(QVBoxLayout* into, const char* setting, const QString& title,
                     const QStringList& labels, const QVariantList& values);
  QWidget* shortcutRow(QVBoxLayout* into);
  QLabel* secondaryLabel(const QString& text, const char* name);
  void bind(QAbstractButton* button, const char* setting, QVariant value = {});
  void refreshShortcut();
  // The secondary labels' colour: the window text's, faded. The status symbol is drawn in it.
  void paintSecondary();
  void drawSymbol();

  SettingsModel& settings_;
  StatusModel& overlay_;
  QObject* autostart_;
  std::vector<Control> controls_;
  std::vector<QLabel*> secondaryLabels_;
  std::vector<QLabel*> accessNotes_;  // shown only while precise mode waits for access
  QWidget* categories_ = nullptr;
  QWidget* extraProtection_ = nullptr;
  QWidget* unblurLastMessages_ = nullptr;
  QPushButton* shortcut_ = nullptr;
  QLabel* shortcutProblem_ = nullptr;
  QLabel* statusSymbol_ = nullptr;
  QLabel* statusText_ = nullptr;
  QPushButton* grantAccess_ = nullptr;
  QCheckBox* startsAtLogin_ = nullptr;
};

}  // namespace velvix
