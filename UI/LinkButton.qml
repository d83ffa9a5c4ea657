import QtQuick
import QtQuick.Controls.Fusion
import Velvix.UI

// A button that reads as a link: coloured text, no frame.
AbstractButton {
    id: button
    padding: 0
    hoverEnabled: true
    contentItem: Label {
        text: button.text
        color: Theme.link(button.palette)
        font.underline: button.hovered
        wrapMode: Text.WordWrap
    }
    HoverHandler {
        cursorShape: Qt.PointingHandCursor
    }
}
