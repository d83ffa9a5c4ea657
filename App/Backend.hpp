#pragma once

// The desktops Velvix can protect, each a backend: a name, whether it can run here (and if not,
// why, in one sentence), and a factory for the platform services the app works with. velvix
// takes the one asked for (--backend NAME, or VELVIX_BACKEND), or else the first in a fixed
// order that can run. The simulated desktop runs only when asked for: a user on a session that
// cannot be protected is told so rather than shown a fake desktop.

#include "DesktopScene.hpp"

#include <Velvix/OverlayController.hpp>
#include <Velvix/Platform/Defaults.hpp>
#include <Velvix/Platform/Log.hpp>

#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>

namespace velvix {

/// A running backend. Main thread only; the app made from its ports goes first.
class Backend {
 public:
  Backend() = default;
  Backend(const Backend&) = delete;
  Backend& operator=(const Backend&) = delete;
  virtual ~Backend() = default;

  [[nodiscard]] virtual OverlayPorts ports() = 0;
  /// The user-defaults store the settings persist in.
  [[nodiscard]] virtual platform::Defaults& defaults() = 0;
  /// A desktop to show in a window of its own (the simulated one); none for a real desktop.
  [[nodiscard]] virtual DesktopScene* scene() { return nullptr; }
};

struct BackendEntry {
  std::string_view name;
  /// Empty when the backend can run here; otherwise why it cannot, as one sentence.
  std::function<std::optional<std::string>()> whyNot;
  /// Made once the Qt application exists; empty when that failed after all.
  std::function<std::unique_ptr<Backend>(platform::LogSink& log)> make;
  /// Taken only when asked for by name.
  bool onlyWhenAsked = false;
};

/// The backends built into this program, in the order they are tried.
[[nodiscard]] std::span<const BackendEntry> builtBackends();

/// The entry to run: the one named `requested`, or else the first that can run and need not be
/// asked for. Otherwise the sentence to say why none can.
[[nodiscard]] std::variant<const BackendEntry*, std::string> chooseBackend(
    std::span<const BackendEntry> entries, std::optional<std::string_view> requested);

}  // namespace velvix
