import QtQuick
import QtQuick.Layouts
import QtQuick.Controls.Fusion

// A setting of a few values: the title, then one small button per value, the chosen one
// pressed. No popup list: the options panel is a small window a list would not fit in.
ColumnLayout {
    id: row

    property string title
    /// The labels shown and the values they stand for, in the same order.
    property var labels: []
    property var values: []
    property var value
    signal chosen(var value)

    spacing: 4

    Label {
        objectName: "title"
        Layout.fillWidth: true
        text: row.title
        elide: Text.ElideRight
    }
    RowLayout {
        Layout.fillWidth: true
        spacing: 0
        Repeater {
            model: row.labels.length
            Button {
                required property int index
                objectName: "choice" + index
                Layout.fillWidth: true
                Layout.preferredWidth: 1
                checkable: true
                checked: row.values[index] === row.value
                text: row.labels[index]
                onClicked: {
                    row.chosen(row.values[index])
                    // Follow the setting again from here on, as a switch does.
                    checked = Qt.binding(() => row.values[index] === row.value)
                }
            }
        }
    }
}
