// Which desktop velvix protects: the registry's choice, and what a user is told when it has
// none to offer.

#include "Backend.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <string>

namespace velvix {
namespace {

BackendEntry entry(std::string_view name, std::optional<std::string> whyNot,
                   bool onlyWhenAsked = false) {
  return {.name = name,
          .whyNot = [whyNot] { return whyNot; },
          .make = [](platform::LogSink&) { return std::unique_ptr<Backend>(); },
          .onlyWhenAsked = onlyWhenAsked};
}

TEST(BackendRegistry, ChoosesTheAskedForOrTheFirstThatCanRun) {
  const std::array entries = {entry("mac", "no Mac here"), entry("x11", std::nullopt),
                              entry("simulated", std::nullopt, true)};
  const std::array none = {entry("x11", "no X display"), entry("simulated", std::nullopt, true)};
  const struct {
    const char* name;
    std::span<const BackendEntry> entries;
    std::optional<std::string_view> requested;
    std::string expected;  // the chosen name, or the sentence
  } cases[] = {
      {"the first that can run", entries, std::nullopt, "x11"},
      {"one asked for by name", entries, "simulated", "simulated"},
      {"the simulated desktop only when asked", none, std::nullopt, "no X display"},
      {"one asked for that cannot run", entries, "mac",
       "the mac backend cannot run here: no Mac here"},
      {"an unknown name", entries, "wayland",
       "there is no backend named \"wayland\" (this build has mac, x11, simulated)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto choice = chooseBackend(c.entries, c.requested);
    if (const auto* chosen = std::get_if<const BackendEntry*>(&choice)) {
      EXPECT_EQ((*chosen)->name, c.expected);
    } else {
      EXPECT_EQ(std::get<std::string>(choice), c.expected);
    }
  }
}

// velvix run with nothing but `environment`: its exit status and what it wrote.
std::pair<int, std::string> runVelvix(const std::string& environment,
                                      const std::string& args = {}) {
  const std::string command =
      "env -i " + environment + " '" VELVIX_EXECUTABLE "' " + args + " 2>&1 </dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  std::string output;
  char buffer[256];
  while (pipe && std::fgets(buffer, sizeof buffer, pipe))
    output += buffer;
  const int status = pipe ? pclose(pipe) : -1;
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

TEST(BackendRegistry, WithoutADesktopToProtectVelvixSaysWhyInOneSentence) {
  if (VELVIX_HAS_MACOS) GTEST_SKIP() << "a Mac runs the macOS backend in any desktop session";
  const struct {
    const char* name;
    std::string environment;
    std::string args;
    std::string expected;
    bool needsX11 = true;  // the sentence of a build with the X11 backend
  } cases[] = {
      {"no display at all", "HOME=/tmp", "",
       "velvix: there is no X display to protect WhatsApp on ($DISPLAY is not set).\n"},
      {"Wayland without XWayland", "HOME=/tmp WAYLAND_DISPLAY=wayland-0", "",
       "velvix: this Wayland session has no X server (XWayland), so Velvix can neither see "
       "WhatsApp's window nor lay its overlay over it.\n"},
      {"an X display that does not answer", "HOME=/tmp DISPLAY=:4077", "",
       "velvix: the X display \":4077\" does not answer.\n"},
      {"an unknown backend", "HOME=/tmp VELVIX_BACKEND=cocoa", "",
       "velvix: there is no backend named \"cocoa\" (this build has x11, simulated).\n"},
      {"a build without a real backend", "HOME=/tmp", "",
       "velvix: this build has no backend for a real desktop.\n", false},
      {"the simulated desktop asked for without a display", "HOME=/tmp", "--simulated-desktop",
       "velvix: the simulated backend cannot run here: there is no display to show the "
       "simulated desktop on.\n",
       VELVIX_HAS_X11},
  };
  for (const auto& c : cases) {
    if (c.needsX11 != VELVIX_HAS_X11) continue;
    SCOPED_TRACE(c.name);
    const auto [status, output] = runVelvix(c.environment, c.args);
    EXPECT_EQ(status, 2);
    EXPECT_EQ(output, c.expected);
  }
}

}  // namespace
}  // namespace velvix
