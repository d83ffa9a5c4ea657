import QtQuick
import QtQuick.Layouts
import QtQuick.Controls.Fusion
import Velvix.UI

// One measurement of the window layout: the label, then a slider over the measurement's range
// in whole points and the current value. The slider writes only when the user moves it. Its
// track widens to take in a stored value outside the range (the default rail width is), so
// the thumb shows where the value is and its first touch does not jump; the range follows the
// value only between drags, never under the user's hand.
RowLayout {
    id: row

    required property SettingsModel settings
    required property string field
    property string title
    property real from
    property real to

    readonly property real value: settings[field]
    readonly property alias slider: slider
    property real shownFrom: from
    property real shownTo: to

    function fitRange() {
        const v = row.value
        shownFrom = isFinite(v) ? Math.min(row.from, Math.floor(v)) : row.from
        shownTo = isFinite(v) ? Math.max(row.to, Math.ceil(v)) : row.to
    }
    Component.onCompleted: fitRange()
    onValueChanged: if (!slider.pressed) fitRange()
    onFromChanged: fitRange()
    onToChanged: fitRange()

    Layout.fillWidth: true

    Label {
        Layout.fillWidth: true
        text: row.title
        wrapMode: Text.WordWrap
    }

    RowLayout {
        Layout.preferredWidth: 220
        Layout.minimumWidth: 220
        Layout.maximumWidth: 220
        Layout.alignment: Qt.AlignVCenter | Qt.AlignHCenter
        spacing: 6

        Slider {
            id: slider
            objectName: "slider"
            Layout.fillWidth: true
            from: row.shownFrom
            to: row.shownTo
            onPressedChanged: if (!pressed) row.fitRange()
            stepSize: 1
            snapMode: Slider.SnapAlways
            value: row.value
            onMoved: {
                row.settings[row.field] = value
                value = Qt.binding(() => row.value)
            }
        }
        Label {
            objectName: "value"
            Layout.preferredWidth: 52
            horizontalAlignment: Text.AlignRight
            text: row.settings.pointsLabel(row.value)
            font.family: "monospace"
        }
    }
}
