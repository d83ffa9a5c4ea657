import QtQuick
import QtQuick.Layouts
import QtQuick.Controls.Fusion

// A global shortcut, set by pressing it: click the button, then press the keys (a modifier or
// more and a letter, a digit or a function key). Escape leaves it as it was, Backspace clears
// it. The row shows `keys` ("Ctrl+Alt+B") and reports the user's choice through `chosen`.
RowLayout {
    id: row

    property string title
    property string keys
    signal chosen(string keys)

    readonly property bool recording: button.activeFocus && button.checked

    spacing: 8

    Label {
        Layout.fillWidth: true
        text: row.title
        elide: Text.ElideRight
    }
    Button {
        id: button
        objectName: "shortcut"
        checkable: true
        text: row.recording ? "Press keys…" : (row.keys.length > 0 ? row.keys : "None")
        onClicked: if (checked) forceActiveFocus()
        onActiveFocusChanged: if (!activeFocus) checked = false

        Keys.onPressed: event => {
            if (!checked) return
            event.accepted = true
            if (event.key === Qt.Key_Escape) {
                checked = false
                return
            }
            if (event.key === Qt.Key_Backspace || event.key === Qt.Key_Delete) {
                row.chosen("")
                checked = false
                return
            }
            const key = row.keyName(event.key)
            const modifiers = row.modifierNames(event.modifiers)
            // A lone letter would be taken from every application: one modifier at least.
            if (key.length === 0 || modifiers.length === 0) return
            row.chosen(modifiers.concat([key]).join("+"))
            checked = false
        }
    }

    function keyName(key) {
        if (key >= Qt.Key_A && key <= Qt.Key_Z) return String.fromCharCode(key)
        if (key >= Qt.Key_0 && key <= Qt.Key_9) return String.fromCharCode(key)
        if (key >= Qt.Key_F1 && key <= Qt.Key_F12) return "F" + (key - Qt.Key_F1 + 1)
        return ""
    }
    function modifierNames(modifiers) {
        const names = []
        if (modifiers & Qt.ControlModifier) names.push("Ctrl")
        if (modifiers & Qt.AltModifier) names.push("Alt")
        if (modifiers & Qt.ShiftModifier) names.push("Shift")
        if (modifiers & Qt.MetaModifier) names.push("Super")
        return names
    }
}
