#pragma once

// A global shortcut as its user writes it, "Ctrl+Alt+B": modifiers (Ctrl or Control, Alt, Shift,
// Super) in any order, each at most once, then one key, joined by "+"; case and spaces around
// the parts do not matter. The key is an X key name ("B", "F12", "Escape", "space", "plus"),
// matched in the case that names a key; a letter stands for its key whatever the case, since
// the shortcut is the key pressed, not the character it types.

#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>

namespace velvix::x11 {

/// Modifier flags of a key combination, independent of which of the server's modifier bits
/// carry them.
enum ShortcutModifier : unsigned {
  kCtrl = 1u << 0,
  kAlt = 1u << 1,
  kShift = 1u << 2,
  kSuper = 1u << 3,
};

struct KeyCombination {
  unsigned modifiers = 0;    ///< ShortcutModifier flags
  unsigned long keysym = 0;  ///< the key's X keysym

  friend bool operator==(const KeyCombination&, const KeyCombination&) = default;
};

/// "modifiers 3 + b": the flags and the key's name, for test failures.
void PrintTo(const KeyCombination& keys, std::ostream* out);

/// The combination `text` names, or why it names none, in words for its user.
struct ParsedShortcut {
  std::optional<KeyCombination> keys;
  std::string problem;
};

[[nodiscard]] ParsedShortcut parseShortcut(std::string_view text);

}  // namespace velvix::x11
