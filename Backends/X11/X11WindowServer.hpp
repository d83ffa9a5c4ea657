#pragma once

// The window server over X: the top-level windows on screen, front to back, read from the
// server's own stacking order (XQueryTree lists the root's children bottom to top). Under a
// window manager each client window sits inside a frame; the clients named by
// _NET_CLIENT_LIST_STACKING (or _NET_CLIENT_LIST) are found by ascending from each to its
// frame, and a frame is listed as its client. Every other window on screen (menus, tooltips,
// our own overlay, windows not managed yet) is listed as itself: they are all part of the
// stacking the overlay must see.
//
// Each entry:
//  - number: the client window's id;
//  - owner pid: _NET_WM_PID; this process's id for windows of this connection; 0 for a window
//    that does not say (an owner that is neither this process nor WhatsApp, so it may cover);
//  - owner name: "WhatsApp" for the windows WhatsAppIdentity.hpp accepts, else WM_CLASS's class;
//  - bounds: the client area in root coordinates (window decorations are not WhatsApp's);
//  - layer: 20 (the dock level) for docks, 101 (above the dock level, like menus) for foreign
//    override-redirect windows, 3 for windows kept above others, else 0;
//  - alpha: _NET_WM_WINDOW_OPACITY, 1 without it.
// Only viewable windows that reach into the screen are listed (minimised windows and those of other
// desktops are unmapped by the window manager); desktop windows are left out.
//
// The list is rebuilt only after the server reported a change (a window mapped, unmapped,
// moved, restacked, renamed), so an idle desktop costs no round trips. One screen: the root
// window's size (no Xinerama).

#include "WhatsAppIdentity.hpp"
#include "X11Connection.hpp"

#include <Velvix/Platform/WindowServer.hpp>

#include <chrono>
#include <set>
#include <unordered_map>

namespace velvix::x11 {

inline constexpr std::int32_t kDockLevel = 20;
inline constexpr std::int32_t kPopUpLevel = 101;

class X11WindowServer final : public platform::WindowServer {
 public:
  explicit X11WindowServer(X11Connection& connection);
  ~X11WindowServer() override;

  [[nodiscard]] std::optional<std::vector<platform::WindowEntry>> onScreenWindows() const override;
  [[nodiscard]] std::int32_t windowLevel(platform::WindowLevelKey key) const override;
  [[nodiscard]] std::optional<platform::RunningApplication> runningApplication(
      std::int32_t pid) const override;
  [[nodiscard]] std::vector<platform::RunningApplication> runningApplications(
      std::string_view bundleIdentifier) const override;
  [[nodiscard]] std::optional<platform::RunningApplication> frontmostApplication() const override;
  [[nodiscard]] std::int32_t ownProcessId() const override;
  [[nodiscard]] std::vector<Rect> screens() const override;
  [[nodiscard]] Point mouseLocation() const override;
  /// Under a Wayland session (XWayland) the Wayland clients' windows are not the X server's.
  [[nodiscard]] bool missesNativeWindows() const override;
  [[nodiscard]] platform::Subscription observeWindowChanges(
      std::function<void()> handler) override {
    return changes_.add(std::move(handler));
  }

  /// The top-level window (the frame under a window manager) that holds `client`.
  [[nodiscard]] std::optional<Window> frameOf(Window client) const;
  /// The listed client with these bounds that is WhatsApp's, else any foreign one; front first.
  [[nodiscard]] std::optional<Window> clientAt(const Rect& bounds) const;

 private:
  struct Listed {
    Window client = None;
    Window frame = None;
    platform::WindowEntry entry;
    bool isWhatsApp = false;
    bool isOwn = false;
    std::optional<std::string> identifier;
  };

  void onEvent(const XEvent& event);
  void changed();
  void refresh() const;
  [[nodiscard]] std::optional<Listed> describe(Window frame, Window client,
                                               const XWindowAttributes& attributes) const;
  [[nodiscard]] Window ascendToTopLevel(Window window) const;
  void watch(Window client) const;

  X11Connection& connection_;
  X11Connection::ListenerId listener_;
  mutable bool dirty_ = true;
  mutable std::vector<Listed> listed_;  // front to back
  mutable std::set<Window> watched_;
  mutable std::set<std::int32_t> whatsAppPids_;
  mutable std::optional<Window> activeWindow_;
  mutable bool activeDirty_ = true;
  platform::ObserverList<> changes_;  // told of every event that dirties the list
  bool tracksMotion_ = false;
  mutable bool pointerMoved_ = true;
  mutable std::chrono::steady_clock::time_point pointerTime_;
  mutable Point pointer_;
};

}  // namespace velvix::x11
