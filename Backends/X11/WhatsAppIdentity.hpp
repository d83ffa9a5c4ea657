#pragma once

// Which X windows are WhatsApp's. The window locator recognises WhatsApp by its owner name
// "WhatsApp" (and, failing that, by a bundle identifier), so the window server reports that
// owner name for every window this rule accepts. On Linux WhatsApp comes in three shapes, and a
// window is WhatsApp's when any one of them matches:
//  1. a native or Electron client: the class part of WM_CLASS is exactly "WhatsApp";
//  2. a packaged client that names itself by application id (_GTK_APPLICATION_ID, or the
//     instance part of WM_CLASS) with one of WhatsApp's known identifiers;
//  3. the web client installed as an app by a browser: the window title is exactly "WhatsApp",
//     or "(N) WhatsApp" while N chats are unread (N a positive decimal number).
// A title merely containing "WhatsApp" (a browser tab "WhatsApp - Chromium", a chat named so)
// is not enough: the overlay would be drawn over a window of another layout.

#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace velvix::x11 {

/// What an X window says about itself; each part is empty when the window does not set it.
struct WindowIdentity {
  std::optional<std::string> wmClass = {};        ///< class part of WM_CLASS
  std::optional<std::string> wmInstance = {};     ///< instance part of WM_CLASS
  std::optional<std::string> applicationId = {};  ///< _GTK_APPLICATION_ID
  std::optional<std::string> title = {};          ///< _NET_WM_NAME, else WM_NAME
};

/// The owner name WhatsApp's windows are reported under.
inline constexpr std::string_view kWhatsAppOwnerName = "WhatsApp";

[[nodiscard]] bool isWhatsAppTitle(std::string_view title);
[[nodiscard]] bool isWhatsApp(const WindowIdentity& identity);

/// The known identifier the window names itself by (application id first), if any.
[[nodiscard]] std::optional<std::string> whatsAppIdentifier(const WindowIdentity& identity);

/// An 8-bit text property's value from the bytes read, which the read's length limit may have
/// cut off (`complete` false). A cut-off value ends in "…", so that it never equals a name it
/// merely starts with. Bytes are kept as they are, ill-formed UTF-8 included: the rule above
/// only compares them.
[[nodiscard]] std::string propertyText(std::string_view bytes, bool complete);

/// WM_CLASS, "instance\0class\0", as (instance, class); a part that is missing is empty.
[[nodiscard]] std::pair<std::string, std::string> classHint(std::string_view bytes, bool complete);

}  // namespace velvix::x11
