import QtQuick
import QtQuick.Layouts
import QtQuick.Controls.Fusion

// A group of a grouped form: an optional header above a rounded box that holds the rows,
// separated by hairlines, and an optional footer below it.
ColumnLayout {
    id: section

    property string header
    property string footer
    default property alias rows: box.data

    spacing: 6

    Label {
        objectName: "header"
        Layout.leftMargin: 4
        visible: section.header.length > 0
        text: section.header
        font.bold: true
    }

    Rectangle {
        Layout.fillWidth: true
        implicitHeight: box.implicitHeight + 16
        radius: 8
        color: section.palette.base
        border.color: Theme.separator(section.palette)

        ColumnLayout {
            id: box
            x: 12
            y: 8
            width: parent.width - 24
            spacing: 10
        }
    }

    Label {
        objectName: "footer"
        Layout.fillWidth: true
        Layout.leftMargin: 4
        Layout.rightMargin: 4
        visible: section.footer.length > 0
        text: section.footer
        wrapMode: Text.WordWrap
        color: Theme.secondary(section.palette)
    }
}
