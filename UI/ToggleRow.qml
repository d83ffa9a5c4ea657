import QtQuick
import QtQuick.Layouts
import QtQuick.Controls.Fusion

// A labelled switch of the calibration form. Shows `checked`, reports flips through `toggled`.
RowLayout {
    id: row

    property string title
    property bool checked
    signal toggled(bool checked)

    readonly property alias control: toggle

    Layout.fillWidth: true

    Label {
        Layout.fillWidth: true
        text: row.title
        elide: Text.ElideRight
    }
    Switch {
        id: toggle
        objectName: "switch"
        padding: 0
        checked: row.checked
        onToggled: {
            row.toggled(checked)
            checked = Qt.binding(() => row.checked)
        }
    }
}
