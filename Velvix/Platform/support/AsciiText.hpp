#pragma once

// The ASCII text handling of small settings and names read from outside (GTK's settings file, a
// shortcut the user typed): blanks trimmed, letters compared without case.

#include <cctype>
#include <string>
#include <string_view>

namespace velvix::support {

[[nodiscard]] inline std::string_view trimmed(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front())))
    s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back())))
    s.remove_suffix(1);
  return s;
}

[[nodiscard]] inline std::string lowercase(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

}  // namespace velvix::support
