pragma Singleton
import QtQuick

// Colours shared by the views, derived from the active palette so they follow light and dark.
QtObject {
    // The secondary foreground: text that explains rather than names.
    function secondary(palette) {
        const c = palette.windowText
        return Qt.rgba(c.r, c.g, c.b, 0.6)
    }
    function separator(palette) {
        const c = palette.windowText
        return Qt.rgba(c.r, c.g, c.b, 0.15)
    }
    // Links: a blue that reads on the window's background, light or dark.
    function link(palette) {
        return palette.window.hslLightness < 0.5 ? "#6cb0f5" : "#1a64c8"
    }
    // A popup's edge: visible over light and dark windows alike.
    function edge(palette) {
        const c = palette.windowText
        return Qt.rgba(c.r, c.g, c.b, 0.45)
    }
    function shadow(palette) {
        const c = palette.windowText
        return Qt.rgba(c.r, c.g, c.b, 0.12)
    }
}
