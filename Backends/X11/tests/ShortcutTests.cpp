#include <Backends/X11/Shortcut.hpp>

#include <gtest/gtest.h>

#include <X11/keysym.h>

namespace velvix::x11 {
namespace {

TEST(ParseShortcut, ReadsWhatUsersWriteAndSaysWhatIsWrong) {
  const struct {
    const char* text;
    std::optional<KeyCombination> keys;
    const char* problem;
  } cases[] = {
      {"Ctrl+Alt+B", KeyCombination{kCtrl | kAlt, XK_b}, ""},
      {"super + shift + f12", KeyCombination{kSuper | kShift, XK_F12}, ""},
      {"CONTROL+alt+b", KeyCombination{kCtrl | kAlt, XK_b}, ""},
      {"Alt+escape", KeyCombination{kAlt, XK_Escape}, ""},
      {"Ctrl+Space", KeyCombination{kCtrl, XK_space}, ""},
      {"Ctrl+Alt+1", KeyCombination{kCtrl | kAlt, XK_1}, ""},
      {"F9", KeyCombination{0, XK_F9}, ""},
      {"Ctrl+Alt+Bee", std::nullopt, "\"Ctrl+Alt+Bee\": there is no key called \"Bee\""},
      {"Ctrl+Alt+", std::nullopt, "\"Ctrl+Alt+\" names no key"},
      {"Ctrl+Alt", std::nullopt, "\"Ctrl+Alt\" names no key"},
      {"", std::nullopt, "\"\" names no key"},
      {"Ctrl+ctrl+B", std::nullopt, "\"Ctrl+ctrl+B\" names ctrl twice"},
      {"Hyper+B", std::nullopt,
       "\"Hyper+B\": \"Hyper\" is not a modifier (Ctrl, Alt, Shift or Super)"},
      {"A+B", std::nullopt, "\"A+B\": \"A\" is not a modifier (Ctrl, Alt, Shift or Super)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const ParsedShortcut parsed = parseShortcut(c.text);
    EXPECT_EQ(parsed.keys, c.keys);
    EXPECT_EQ(parsed.problem, c.problem);
  }
}

}  // namespace
}  // namespace velvix::x11
