#pragma once

// The composition root: one AppSettings over the user-defaults store, one OverlayController
// over the chosen desktop's services, started at once so that protection runs from launch
// before any window opens; then the interface — the tray icon with its options panel (or, on
// a desktop without a tray, the options as a small Widgets window, open all along) and the
// "Velvix Layout" calibration window, opened on demand. Everything lives until "Quit Velvix".
//
// Main thread only. The store and the services must outlive the app.

#include "Autostart.hpp"
#include "SettingsModel.hpp"
#include "StatusModel.hpp"
#include "StatusSource.hpp"

#include <Velvix/AppSettings.hpp>
#include <Velvix/OverlayController.hpp>

#include <QObject>
#include <QQmlEngine>
#include <QQuickWindow>
#include <QRect>

#include <memory>

class QSystemTrayIcon;

namespace velvix {

class OptionsForm;

class VelvixApp : public QObject {
  Q_OBJECT

 public:
  /// How the options panel is reached.
  enum class Shell {
    trayIcon,  ///< from an icon in the system tray, as a panel dropped below it
    window,    ///< as a small window of its own, open from the start
  };

  /// Creates the settings and the overlay and starts protection. Opens no window.
  VelvixApp(platform::Defaults& defaults, const OverlayPorts& ports, QObject* parent = nullptr);
  ~VelvixApp() override;

  /// Shows the interface. With `trayIcon`, the QApplication must exist (the tray needs it), and
  /// the options panel is created at the first click on the icon.
  void openInterface(Shell shell);

  [[nodiscard]] AppSettings& settings() { return settings_; }
  [[nodiscard]] OverlayController& overlay() { return *overlay_; }
  /// The options panel dropped from the tray icon, once it exists.
  [[nodiscard]] QQuickWindow* optionsWindow() const { return options_.get(); }
  /// The options window of a desktop without a tray.
  [[nodiscard]] OptionsForm* optionsForm() const { return form_.get(); }
  [[nodiscard]] QQuickWindow* calibrationWindow() const { return calibration_.get(); }
  [[nodiscard]] QSystemTrayIcon* trayIcon() const { return tray_.get(); }

  /// Where the dropped panel goes for a tray icon at `anchor` on a screen whose free area is
  /// `available`: below the icon, centred on it, kept on the screen; above it when the tray is
  /// in the lower half of the screen (a bottom panel), where below would be off-screen.
  [[nodiscard]] static QPoint panelPosition(const QRect& anchor, const QSize& panel,
                                            const QRect& available);

 public slots:
  /// Opens the calibration window, or brings it forward when it is open.
  void openCalibration();
  /// Shows the options: drops the panel from the tray icon, or brings the options window
  /// forward (another launch asked for them).
  void showOptions();

 signals:
  /// "Quit Velvix" was chosen, or the only window of a tray-less desktop was closed.
  void quitRequested();

 private:
  [[nodiscard]] std::unique_ptr<QQuickWindow> createWindow(const QString& file);
  [[nodiscard]] bool createPanel();
  /// The autostart entry the options offer to switch, or null where they offer none.
  [[nodiscard]] QObject* startsAtLogin();
  void togglePanel();
  void placePanel();
  /// Puts the dropped panel away, as a popup goes: on a click outside it, on losing the focus.
  void putPanelAway();
  void refreshTrayIcon();

  AppSettings settings_;
  std::unique_ptr<OverlayController> overlay_;
  ControllerStatus status_;
  SettingsModel settingsModel_;
  StatusModel statusModel_;
  Autostart autostart_;
  std::unique_ptr<QQmlEngine> engine_;  // made with the first window
  std::unique_ptr<QQuickWindow> options_;
  std::unique_ptr<OptionsForm> form_;
  std::unique_ptr<QQuickWindow> calibration_;
  std::unique_ptr<QSystemTrayIcon> tray_;
  platform::Toolkit& toolkit_;
  platform::Scheduler& scheduler_;
  QRect panelAnchor_;  // where the tray icon that dropped the panel is
  platform::Subscription trayFollowsSwitch_;
  platform::Subscription trayFollowsCover_;
  bool trayShowsCover_ = false;
  bool trayShowsEnabled_ = false;
  platform::Subscription clicksOutsidePanel_;  // while the dropped panel shows
  bool panelWasActive_ = false;
  // When the panel was last put away by a click or the focus going: the click on the tray icon
  // that took the focus must not drop it again at once.
  double panelPutAway_ = -1e9;  // media time
};

}  // namespace velvix
