import QtQuick
import QtQuick.Controls.Fusion
import Velvix.UI

// The window that holds the options panel: a frameless popup dropped below the tray icon (a
// desktop without a tray has the options as a Widgets window instead). Its height follows the
// content through the panel's fitter. It has an edge of its own (a border and a shadow inside
// it: a frameless window gets none from the window manager) and goes away on Escape; the
// application puts it away on a click outside it or when it loses the focus.
AppWindow {
    id: window

    required property SettingsModel settings
    required property OverlayStatus overlay

    signal layoutRequested()
    signal quitRequested()

    title: "Velvix"
    flags: Qt.Tool | Qt.FramelessWindowHint | Qt.WindowStaysOnTopHint
    width: view.implicitWidth
    minimumWidth: view.implicitWidth
    maximumWidth: view.implicitWidth

    OptionsView {
        id: view
        objectName: "optionsView"
        settings: window.settings
        overlay: window.overlay
        focus: true
        onLayoutRequested: window.layoutRequested()
        onQuitRequested: window.quitRequested()
    }

    Shortcut {
        sequences: [StandardKey.Cancel]
        onActivated: window.close()
    }

    // The edge: a shadow along the bottom and right, then a one-pixel border all round. Its
    // colours come from the system's palette itself: read through the window's, whose colours are
    // bound to it, they would feed back into the window's own palette resolution.
    SystemPalette {
        id: system
        colorGroup: SystemPalette.Active
    }
    Rectangle {
        objectName: "edge"
        anchors.fill: parent
        color: "transparent"
        border.width: 1
        border.color: Theme.edge(system)
        z: 1
        Rectangle {
            anchors { left: parent.left; right: parent.right; bottom: parent.bottom; margins: 1 }
            height: 2
            color: Theme.shadow(system)
        }
        Rectangle {
            anchors { top: parent.top; right: parent.right; bottom: parent.bottom; margins: 1 }
            width: 2
            color: Theme.shadow(system)
        }
    }
}
