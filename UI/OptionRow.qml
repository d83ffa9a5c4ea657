import QtQuick
import QtQuick.Layouts
import QtQuick.Controls.Fusion

// One switch of the options panel: the title, an optional note under it, and a small switch
// at the trailing end. The row shows `checked` and reports the user's flips through
// `toggled`; it never keeps a value of its own.
RowLayout {
    id: row

    property string title
    property string note
    property bool checked
    signal toggled(bool checked)

    readonly property bool hasNote: note.length > 0
    readonly property alias control: toggle

    spacing: 8

    ColumnLayout {
        Layout.fillWidth: true
        spacing: 1

        Label {
            objectName: "title"
            Layout.fillWidth: true
            text: row.title
            elide: Text.ElideRight
        }
        Label {
            objectName: "note"
            Layout.fillWidth: true
            visible: row.hasNote
            text: row.note
            wrapMode: Text.WordWrap
            font.pointSize: Math.max(1, Qt.application.font.pointSize - 2)
            color: Theme.secondary(row.palette)
        }
    }

    Switch {
        id: toggle
        objectName: "switch"
        Layout.alignment: Qt.AlignVCenter
        padding: 0
        checked: row.checked
        onToggled: {
            row.toggled(checked)
            // The user's flip assigned `checked`; follow the setting again from here on.
            checked = Qt.binding(() => row.checked)
        }
    }
}
