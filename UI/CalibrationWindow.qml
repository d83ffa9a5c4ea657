import QtQuick
import QtQuick.Controls.Fusion
import Velvix.UI

// The "Velvix Layout" window: as large as its content, which it cannot be resized away from.
AppWindow {
    id: window

    required property SettingsModel settings
    required property OverlayStatus overlay

    title: "Velvix Layout"
    width: view.implicitWidth
    height: view.implicitHeight
    minimumWidth: view.implicitWidth
    maximumWidth: view.implicitWidth
    minimumHeight: view.implicitHeight
    maximumHeight: view.implicitHeight

    // The guides are a calibration aid: they must not stay on over WhatsApp once the window
    // that controls them is gone.
    onVisibleChanged: if (!visible) settings.calibrationClosed()

    CalibrationView {
        id: view
        objectName: "calibrationView"
        settings: window.settings
        overlay: window.overlay
    }
}
