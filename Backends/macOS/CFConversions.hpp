#pragma once

// CoreFoundation values as the port's values, in plain C++ over the CoreFoundation C API: what
// the window list, the user-defaults store and the Accessibility API hand the macOS backend.
// Nothing here retains what it is given or keeps it beyond the call; what it creates it returns
// owned.

#include "CFRef.hpp"

#include <Velvix/Platform/Defaults.hpp>
#include <Velvix/Platform/WindowServer.hpp>

#include <CoreFoundation/CoreFoundation.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velvix::mac {

/// A string's text as UTF-8, characters outside the Basic Multilingual Plane included; empty
/// when `value` is not a string or does not convert whole.
[[nodiscard]] std::optional<std::string> utf8(CFTypeRef value);
/// A string made from UTF-8; empty when `text` is not valid UTF-8.
[[nodiscard]] CFRef<CFStringRef> makeString(std::string_view text);

/// A number as the platform's bridging gives it: an integer when it is one (a float holding a
/// whole number stays a float), else a double.
[[nodiscard]] platform::EntryField numberField(CFNumberRef number);
/// One field of a window-list entry: missing for NULL, a number, a string, a bounds dictionary
/// that holds four numbers under "X", "Y", "Width" and "Height", or another kind.
[[nodiscard]] platform::EntryField entryField(CFTypeRef value);
/// The fields the app reads of one window-list entry.
[[nodiscard]] platform::WindowEntry windowEntry(CFDictionaryRef entry);
/// The window list; empty unless it is an array of dictionaries.
[[nodiscard]] std::optional<std::vector<platform::WindowEntry>> windowEntries(CFTypeRef list);

/// What the user-defaults store holds under a key: absent for NULL, a boolean only for a
/// CFBoolean (a stored number 1 is a number), a number, a string, bytes for data, and any other
/// kind apart.
[[nodiscard]] platform::Defaults::Value defaultsValue(CFTypeRef value);

/// A short description of a value's kind, for diagnostics.
[[nodiscard]] std::string describe(CFTypeRef value);

}  // namespace velvix::mac
