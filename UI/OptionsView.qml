import QtQuick
import QtQuick.Layouts
import QtQuick.Controls.Fusion
import Velvix.UI

// The panel that drops from the tray icon: the main switch, the eight blur categories, Velvix's
// extra protection (blur strength, idle cover, panic key, failing closed), the protection status
// with the Accessibility grant button, starting at login, and the way to the calibration window
// and out of the application. Every switch writes straight into the
// settings, but the login switch, whose only record is the desktop's autostart entry.
Item {
    id: root

    required property SettingsModel settings
    required property OverlayStatus overlay
    // The entry that starts Velvix at login (enabled, setEnabled()), given by the application
    // where the desktop has an autostart folder; without it the switch is not offered.
    property QtObject autostart: null

    signal layoutRequested()
    signal quitRequested()

    readonly property int padding: 14
    readonly property real contentHeight: stack.implicitHeight + 2 * padding

    width: 283
    implicitWidth: 283
    height: contentHeight
    implicitHeight: contentHeight

    // Behind the content: keeps the panel's window exactly as tall as the content.
    MenuWindowFitter {
        contentHeight: root.contentHeight
    }

    ColumnLayout {
        id: stack
        x: root.padding
        y: root.padding
        width: root.width - 2 * root.padding
        spacing: 10

        OptionRow {
            objectName: "isEnabled"
            Layout.fillWidth: true
            title: "On/Off"
            checked: root.settings.isEnabled
            onToggled: checked => root.settings.isEnabled = checked
        }

        Divider {}

        ColumnLayout {
            objectName: "categories"
            Layout.fillWidth: true
            spacing: 10
            enabled: root.settings.isEnabled

            OptionRow {
                objectName: "unblurLastMessages"
                Layout.fillWidth: true
                title: "Unblur last 3 messages"
                // Nothing to unblur while the messages are not blurred at all.
                enabled: root.settings.blurMessages
                checked: root.settings.unblurLastMessages
                onToggled: checked => root.settings.unblurLastMessages = checked
            }
            OptionRow {
                objectName: "blurMessages"
                Layout.fillWidth: true
                title: "Blur all messages in chat"
                checked: root.settings.blurMessages
                onToggled: checked => root.settings.blurMessages = checked
            }
            OptionRow {
                objectName: "blurPreviews"
                Layout.fillWidth: true
                title: "Blur last messages preview"
                note: root.overlay.hasAccessibilityAccess || !root.overlay.accessibilityAvailable ? "" : "Blurred together without Accessibility access"
                checked: root.settings.blurPreviews
                onToggled: checked => root.settings.blurPreviews = checked
            }
            OptionRow {
                objectName: "blurTextInput"
                Layout.fillWidth: true
                title: "Blur text input"
                checked: root.settings.blurTextInput
                onToggled: checked => root.settings.blurTextInput = checked
            }
            OptionRow {
                objectName: "blurNames"
                Layout.fillWidth: true
                title: "Blur group/Users names"
                note: root.overlay.hasAccessibilityAccess || !root.overlay.accessibilityAvailable ? "" : "Blurred together without Accessibility access"
                checked: root.settings.blurNames
                onToggled: checked => root.settings.blurNames = checked
            }

            Divider {}

            OptionRow {
                objectName: "blurProfilePictures"
                Layout.fillWidth: true
                title: "Blur profile pictures"
                checked: root.settings.blurProfilePictures
                onToggled: checked => root.settings.blurProfilePictures = checked
            }
            OptionRow {
                objectName: "blurMediaPreview"
                Layout.fillWidth: true
                title: "Blur media preview"
                note: root.overlay.hasAccessibilityAccess || !root.overlay.accessibilityAvailable ? "" : "Requires Accessibility access"
                checked: root.settings.blurMediaPreview
                onToggled: checked => root.settings.blurMediaPreview = checked
            }
            OptionRow {
                objectName: "blurMediaGallery"
                Layout.fillWidth: true
                title: "Blur Media gallery"
                note: root.overlay.hasAccessibilityAccess || !root.overlay.accessibilityAvailable ? "" : "Requires Accessibility access"
                checked: root.settings.blurMediaGallery
                onToggled: checked => root.settings.blurMediaGallery = checked
            }
            OptionRow {
                objectName: "coversMovingLists"
                Layout.fillWidth: true
                title: "Cover lists while scrolling"
                note: root.overlay.hasAccessibilityAccess || !root.overlay.accessibilityAvailable ? "" : "Requires Accessibility access"
                checked: root.settings.coversMovingLists
                onToggled: checked => root.settings.coversMovingLists = checked
            }
        }

        Divider {}

        // Velvix's own additions, under one heading so the panel stays compact. A control this
        // desktop cannot honour is not shown.
        ColumnLayout {
            objectName: "extraProtection"
            Layout.fillWidth: true
            spacing: 10
            enabled: root.settings.isEnabled

            Label {
                objectName: "extraProtectionHeader"
                text: "Extra protection"
                font.bold: true
            }
            ChoiceRow {
                objectName: "blurStrength"
                Layout.fillWidth: true
                visible: root.overlay.offersBlurStrength
                title: "Blur strength"
                labels: ["Light", "Medium", "Strong"]
                values: ["light", "medium", "strong"]
                value: root.settings.blurStrength
                onChosen: value => root.settings.blurStrength = value
            }
            ChoiceRow {
                objectName: "idleMinutes"
                Layout.fillWidth: true
                visible: root.overlay.offersIdleTime
                title: "Hide everything after minutes away"
                labels: ["Off", "1", "2", "5", "10"]
                values: [0, 1, 2, 5, 10]
                value: root.settings.idleMinutes
                onChosen: value => root.settings.idleMinutes = value
            }
            ShortcutRow {
                objectName: "panicShortcut"
                Layout.fillWidth: true
                visible: root.overlay.offersPanicKey
                title: "Panic key"
                keys: root.settings.panicShortcut
                onChosen: keys => root.settings.panicShortcut = keys
            }
            Label {
                objectName: "shortcutProblem"
                Layout.fillWidth: true
                visible: root.overlay.offersPanicKey && text.length > 0
                text: root.overlay.shortcutProblem
                wrapMode: Text.WordWrap
                color: Theme.secondary(root.palette)
            }
            OptionRow {
                objectName: "coversUnrecognised"
                Layout.fillWidth: true
                title: "Blur if WhatsApp isn't recognised"
                checked: root.settings.coversUnrecognised
                onToggled: checked => root.settings.coversUnrecognised = checked
            }
        }

        Divider {}

        ColumnLayout {
            objectName: "statusRow"
            Layout.fillWidth: true
            spacing: 6

            RowLayout {
                spacing: 6
                SymbolIcon {
                    objectName: "statusSymbol"
                    Layout.preferredWidth: 14
                    Layout.preferredHeight: 14
                    Layout.alignment: Qt.AlignTop
                    Layout.topMargin: 1
                    symbol: root.overlay.statusSymbol
                    color: Theme.secondary(root.palette)
                }
                Label {
                    objectName: "statusText"
                    Layout.fillWidth: true
                    // The longer states say what to do about them: never cut them short.
                    wrapMode: Text.WordWrap
                    text: root.overlay.statusText
                    color: Theme.secondary(root.palette)
                }
            }
            LinkButton {
                objectName: "grantAccess"
                Layout.fillWidth: true
                visible: root.overlay.accessibilityAvailable && !root.overlay.hasAccessibilityAccess
                text: "Grant Accessibility access for precise blurring"
                onClicked: root.overlay.requestAccess()
            }
            Label {
                objectName: "accessibilityUnavailable"
                Layout.fillWidth: true
                visible: !root.overlay.accessibilityAvailable
                text: root.overlay.unavailableText
                wrapMode: Text.Wrap
                color: Theme.secondary(root.palette)
            }
        }

        Divider {
            visible: root.autostart !== null
        }

        OptionRow {
            objectName: "startsAtLogin"
            Layout.fillWidth: true
            visible: root.autostart !== null
            title: "Start Velvix at login"
            checked: root.autostart !== null && root.autostart.enabled
            onToggled: checked => root.autostart.setEnabled(checked)
        }

        RowLayout {
            Layout.fillWidth: true
            Button {
                objectName: "layout"
                flat: true
                text: "Layout…"
                onClicked: root.layoutRequested()
            }
            Item {
                Layout.fillWidth: true
            }
            Button {
                objectName: "quit"
                flat: true
                text: "Quit Velvix"
                onClicked: root.quitRequested()
            }
        }
    }
}
