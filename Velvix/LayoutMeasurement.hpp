#pragma once

// Measures WhatsApp's window layout from its pixels, for the layout mode's calibration: the
// navigation rail's width, the chat list's width and its header's height, the conversation's
// header and the message field's bar. WhatsApp draws these as flat areas of one colour each,
// light or dark:
//
//  - the columns: the colour most of each column of pixels shows runs from the rail's, over
//    the chat list's (a one-pixel divider may follow it), to the conversation's wallpaper;
//  - the conversation's header and the message field's bar: rows of the bar colour at both
//    sides of the pane, down from the top and up from the bottom;
//  - the chat list's header: it ends half way between the bottom of the search field (the
//    first band of the list's rows mostly of one other colour) and the first row's content.
//
// Every value must be plausible, or nothing is measured: a wrong calibration would leave names
// readable, where none makes the app cover everything and ask for a manual one.

#include <BlurLayout/LayoutTypes.hpp>
#include <Velvix/Platform/Toolkit.hpp>

#include <optional>

namespace velvix {

/// `base` with the five measured fields set from `image`, in points; none when the layout is
/// not found.
[[nodiscard]] std::optional<LayoutMetrics> measureLayout(const platform::WindowImage& image,
                                                         const LayoutMetrics& base);

}  // namespace velvix
