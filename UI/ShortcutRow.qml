import QtQuick
import QtQuick.Layouts
import QtQuick.Controls.Fusion
import Velvix.UI

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

        // While recording, every key is the shortcut's: Escape too, which would otherwise
        // close the panel it sits in.
        Keys.onShortcutOverride: event => event.accepted = checked
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
            const keys = ShortcutKeys.of(event.key, event.modifiers)
            if (keys.length === 0) return
            row.chosen(keys)
            checked = false
        }
    }
}
