#include "Shortcut.hpp"

#include <Velvix/Platform/support/AsciiText.hpp>

#include <X11/Xlib.h>

#include <array>
#include <cctype>
#include <initializer_list>
#include <ostream>
#include <utility>
#include <vector>

namespace velvix::x11 {

namespace {

using support::lowercase;
using support::trimmed;

std::optional<ShortcutModifier> modifierNamed(std::string_view part) {
  constexpr std::array<std::pair<std::string_view, ShortcutModifier>, 5> kNames = {{
      {"ctrl", kCtrl},
      {"control", kCtrl},
      {"alt", kAlt},
      {"shift", kShift},
      {"super", kSuper},
  }};
  const std::string name = lowercase(part);
  for (const auto& [known, modifier] : kNames)
    if (name == known) return modifier;
  return std::nullopt;
}

// X's key names are case-sensitive and come as "space", "Escape", "F12" or "XF86AudioMute";
// the user's spelling is tried as given first, then in each of those cases.
unsigned long keysymNamed(std::string_view part) {
  if (part.size() == 1 && std::isalpha(static_cast<unsigned char>(part.front())))
    return XStringToKeysym(lowercase(part).c_str());
  std::string capitalised = lowercase(part), upper = capitalised;
  capitalised.front() = static_cast<char>(std::toupper(static_cast<unsigned char>(part.front())));
  for (char& c : upper)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  for (const std::string& name : {std::string(part), lowercase(part), capitalised, upper}) {
    if (const KeySym keysym = XStringToKeysym(name.c_str()); keysym != NoSymbol) return keysym;
  }
  return NoSymbol;
}

std::string joined(std::initializer_list<std::string_view> parts) {
  std::string out;
  for (const std::string_view part : parts)
    out += part;
  return out;
}

}  // namespace

void PrintTo(const KeyCombination& keys, std::ostream* out) {
  const char* name = XKeysymToString(keys.keysym);
  *out << "modifiers " << keys.modifiers << " + " << (name ? name : "?");
}

ParsedShortcut parseShortcut(std::string_view text) {
  const std::string quoted = joined({"\"", text, "\""});
  std::vector<std::string_view> parts;
  for (std::size_t from = 0;;) {
    const std::size_t plus = text.find('+', from);
    parts.push_back(trimmed(text.substr(from, plus - from)));
    if (plus == std::string_view::npos) break;
    from = plus + 1;
  }
  const std::string_view key = parts.back();
  parts.pop_back();

  KeyCombination combination;
  for (const std::string_view part : parts) {
    const auto modifier = modifierNamed(part);
    if (!modifier) {
      return {std::nullopt,
              joined({quoted, ": \"", part, "\" is not a modifier (Ctrl, Alt, Shift or Super)"})};
    }
    if (combination.modifiers & *modifier)
      return {std::nullopt, joined({quoted, " names ", part, " twice"})};
    combination.modifiers |= *modifier;
  }
  if (key.empty() || modifierNamed(key)) return {std::nullopt, joined({quoted, " names no key"})};
  combination.keysym = keysymNamed(key);
  if (combination.keysym == NoSymbol)
    return {std::nullopt, joined({quoted, ": there is no key called \"", key, "\""})};
  return {combination, {}};
}

}  // namespace velvix::x11
