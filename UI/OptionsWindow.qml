import QtQuick
import QtQuick.Controls.Fusion
import Velvix.UI

// The window that holds the options panel: a frameless popup dropped below the tray icon, or,
// on a desktop without a tray, an ordinary small window. Its height follows the content
// through the panel's fitter.
ApplicationWindow {
    id: window

    required property SettingsModel settings
    required property OverlayStatus overlay
    property bool dropsFromTray: false

    signal layoutRequested()
    signal quitRequested()

    title: "Velvix"
    flags: dropsFromTray ? (Qt.Popup | Qt.FramelessWindowHint) : Qt.Window
    width: view.implicitWidth
    minimumWidth: view.implicitWidth
    maximumWidth: view.implicitWidth

    OptionsView {
        id: view
        objectName: "optionsView"
        settings: window.settings
        overlay: window.overlay
        onLayoutRequested: window.layoutRequested()
        onQuitRequested: window.quitRequested()
    }
}
