import QtQuick
import QtQuick.Controls.Fusion

// A button that reads as a link: coloured text, no frame.
AbstractButton {
    id: button
    padding: 0
    hoverEnabled: true
    contentItem: Label {
        text: button.text
        color: button.palette.link
        font.underline: button.hovered
        wrapMode: Text.WordWrap
    }
    HoverHandler {
        cursorShape: Qt.PointingHandCursor
    }
}
