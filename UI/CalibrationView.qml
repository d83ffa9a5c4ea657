import QtQuick
import QtQuick.Layouts
import QtQuick.Controls.Fusion
import Velvix.UI

// The content of the "Velvix Layout" window: precise detection and the layout guides on or
// off, and the measurements layout mode blurs by, adjusted against the guides drawn over
// WhatsApp. Keeps no state of its own; every control writes straight into the settings.
Item {
    id: root

    required property SettingsModel settings
    required property OverlayStatus overlay

    readonly property int padding: 20

    width: 460
    implicitWidth: 460
    implicitHeight: form.implicitHeight + 2 * padding
    height: implicitHeight

    ColumnLayout {
        id: form
        x: root.padding
        y: root.padding
        width: root.width - 2 * root.padding
        spacing: 18

        FormSection {
            objectName: "detection"
            Layout.fillWidth: true
            footer: "With Accessibility access Velvix blurs each chat and message individually. " +
                    "Otherwise it uses the measurements below. Turn on the guides and adjust " +
                    "them until the outlines match your WhatsApp window."

            ToggleRow {
                objectName: "showsGuides"
                title: "Show layout guides on WhatsApp"
                checked: root.settings.showsGuides
                onToggled: checked => root.settings.showsGuides = checked
            }
            ToggleRow {
                objectName: "usesAccessibility"
                title: "Detect chats and messages with Accessibility"
                enabled: root.overlay.accessibilityAvailable
                checked: root.settings.usesAccessibility
                onToggled: checked => root.settings.usesAccessibility = checked
            }
            Button {
                objectName: "grantAccess"
                visible: root.overlay.accessibilityAvailable && !root.overlay.hasAccessibilityAccess
                text: "Grant Accessibility access…"
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

        FormSection {
            objectName: "columns"
            Layout.fillWidth: true
            header: "Columns"

            MeasurementRow {
                objectName: "railWidth"
                settings: root.settings
                field: "railWidth"
                title: "Left icon bar width"
                from: 0
                to: 120
            }
            MeasurementRow {
                objectName: "chatListWidth"
                settings: root.settings
                field: "chatListWidth"
                title: "Chat list width"
                from: 200
                to: 700
            }
            MeasurementRow {
                objectName: "chatListHeaderHeight"
                settings: root.settings
                field: "chatListHeaderHeight"
                title: "Chat list header height"
                from: 40
                to: 220
            }
            MeasurementRow {
                objectName: "avatarSize"
                settings: root.settings
                field: "avatarSize"
                title: "Profile picture size"
                from: 24
                to: 72
            }
        }

        FormSection {
            objectName: "conversation"
            Layout.fillWidth: true
            header: "Conversation"

            MeasurementRow {
                objectName: "conversationHeaderHeight"
                settings: root.settings
                field: "conversationHeaderHeight"
                title: "Header height"
                from: 30
                to: 120
            }
            MeasurementRow {
                objectName: "composerHeight"
                settings: root.settings
                field: "composerHeight"
                title: "Message field height"
                from: 30
                to: 140
            }
            MeasurementRow {
                objectName: "composerSideInset"
                settings: root.settings
                field: "composerSideInset"
                title: "Message field side margin"
                from: 0
                to: 200
            }
            MeasurementRow {
                objectName: "lastMessagesHeight"
                settings: root.settings
                field: "lastMessagesHeight"
                title: "Space kept for last 3 messages"
                from: 60
                to: 400
            }
            MeasurementRow {
                objectName: "revealBandHeight"
                settings: root.settings
                field: "revealBandHeight"
                title: "Reveal strip height"
                from: 30
                to: 240
            }
        }

        FormSection {
            Layout.fillWidth: true

            RowLayout {
                spacing: 8

                Button {
                    objectName: "measure"
                    text: "Measure automatically"
                    visible: root.overlay.canMeasureLayout
                    onClicked: root.overlay.measureLayout()
                }
                Button {
                    objectName: "reset"
                    text: "Reset to Defaults"
                    onClicked: root.settings.resetMetrics()
                }
            }
        }
    }
}
