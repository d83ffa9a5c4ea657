import QtQuick
import QtQuick.Controls.Fusion

// A window of Velvix: its controls take the application's palette, which follows the
// desktop's light or dark scheme (ColorScheme) and may change while the window is open. Fusion
// otherwise keeps the palette it started with.
ApplicationWindow {
    SystemPalette {
        id: active
        colorGroup: SystemPalette.Active
    }
    SystemPalette {
        id: disabled
        colorGroup: SystemPalette.Disabled
    }

    palette {
        window: active.window
        windowText: active.windowText
        base: active.base
        alternateBase: active.alternateBase
        text: active.text
        button: active.button
        buttonText: active.buttonText
        highlight: active.highlight
        highlightedText: active.highlightedText
        light: active.light
        midlight: active.midlight
        mid: active.mid
        dark: active.dark
        shadow: active.shadow
        placeholderText: active.placeholderText
        disabled {
            windowText: disabled.windowText
            text: disabled.text
            buttonText: disabled.buttonText
        }
    }
}
