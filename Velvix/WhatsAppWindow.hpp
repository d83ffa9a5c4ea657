#pragma once

// WhatsApp's main window as the window server lists it, and whether the pointer is over it.

#include <BlurLayout/Geometry.hpp>
#include <Velvix/Platform/WindowServer.hpp>

#include <array>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string_view>

namespace velvix {

struct WhatsAppWindow {
  std::uint32_t id = 0;  ///< the window server's number of the window
  std::int32_t pid = 0;  ///< WhatsApp's process
  Rect frame;            ///< top-left-origin global points
  /// The number of the list entry directly in front of the window; empty when it is frontmost.
  std::optional<std::uint32_t> windowAbove;
  /// The pointer is inside `frame` and no covering window in front of it contains the pointer.
  bool isUnderMouse = false;

  friend bool operator==(const WhatsAppWindow&, const WhatsAppWindow&) = default;

  /// The bundle identifiers of WhatsApp's builds.
  static constexpr std::array<std::string_view, 2> bundleIdentifiers = {"net.whatsapp.WhatsApp",
                                                                        "desktop.WhatsApp"};
  [[nodiscard]] static bool isWhatsAppBundle(std::string_view bundleIdentifier);

  /// The Dock's window level: windows at it or above (menus, the menu bar) never cover WhatsApp.
  /// The window server answers from a value fixed for the session.
  [[nodiscard]] static std::int32_t dockLayer(const platform::WindowServer& server);

  /// WhatsApp's largest normal-layer window on screen (wider and taller than 300 points; of
  /// equal areas the one further in front), or empty. `mouse` is in top-left-origin global
  /// points.
  [[nodiscard]] static std::optional<WhatsAppWindow> current(const platform::WindowServer& server,
                                                             Point mouse);
};

/// Converts between top-left-origin and bottom-left-origin screen space against the height of
/// the first screen (0 without screens): y becomes H - maxY; x, width and height stay. Applying
/// it twice gives the rectangle back.
[[nodiscard]] Rect flippedForScreen(const Rect& rect, const platform::WindowServer& server);

std::ostream& operator<<(std::ostream& os, const WhatsAppWindow& window);

}  // namespace velvix
