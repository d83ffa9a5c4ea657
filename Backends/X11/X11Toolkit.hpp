#pragma once

// The toolkit over X: the overlay panel, its blur views and guides, workspace notifications,
// the global scroll-wheel monitor, global shortcuts and the time since the last input.
//
// The panel is one override-redirect window (no window manager moves, decorates or focuses
// it) the size of WhatsApp's client area. What it shows is cut by its bounding shape: a 1-bit
// mask of the visible blur views (10-point rounded corners, or the inscribed ellipse) and the
// guides; everywhere else WhatsApp shows through untouched. Its input shape is empty, so every
// click and scroll reaches the window beneath. Inside the shape it draws frosted glass made
// from WhatsApp's own pixels (captured as X11Glass.hpp says, frosted by glass::FrostedGlass),
// redrawn when WhatsApp repaints or the patches change, at most once per display frame.
//
// Ordering: orderAbove() puts the panel directly above the top-level window (the frame, under
// a window manager) that holds the given client; while it stays ordered so, any restacking
// that comes between them is answered at once by ordering it above again. Spaces are virtual
// desktops; an override-redirect window shows on all of them, so the panel is always on the
// active one.
//
// Workspace notifications: a change of _NET_ACTIVE_WINDOW is an application activation, a
// change of _NET_CURRENT_DESKTOP a change of Space. The scroll-wheel monitor hears XInput2 raw
// button presses 4 to 7 (wheel up, down, left, right) anywhere, without grabbing anything.
//
// A global shortcut is a passive grab of its key on the root window, once for each combination
// of the lock modifiers (Caps Lock, Num Lock, Scroll Lock where the keyboard maps them), so it
// works whichever window has the focus and whatever locks are on; its press comes to us instead
// of the focused window. The time since input is the MIT-SCREEN-SAVER extension's idle time.

#include "Raster.hpp"
#include "X11Connection.hpp"
#include "X11WindowServer.hpp"

#include <Velvix/Platform/Scheduler.hpp>
#include <Velvix/Platform/Toolkit.hpp>
#include <Velvix/Platform/support/Lifetime.hpp>

#include <memory>
#include <vector>

namespace velvix::x11 {

class X11Toolkit final : public platform::Toolkit {
 public:
  X11Toolkit(X11Connection& connection, X11WindowServer& windowServer,
             platform::Scheduler& scheduler);
  ~X11Toolkit() override;

  [[nodiscard]] std::unique_ptr<platform::Panel> makeOverlayPanel() override;
  [[nodiscard]] platform::Subscription observeWorkspace(
      platform::WorkspaceEvent event,
      std::function<void(platform::WorkspaceEvent)> handler) override;
  [[nodiscard]] platform::Subscription addGlobalClickMonitor(
      std::function<void()> handler) override;
  [[nodiscard]] platform::Subscription addGlobalScrollWheelMonitor(
      std::function<void(const platform::ScrollWheelEvent&)> handler) override;
  [[nodiscard]] platform::Subscription addGlobalPointerMonitor(
      std::function<void()> handler) override;
  [[nodiscard]] bool offersGlobalShortcuts() const override { return true; }
  [[nodiscard]] platform::GlobalShortcut addGlobalShortcut(std::string_view keys,
                                                           std::function<void()> handler) override;
  [[nodiscard]] std::optional<double> secondsSinceInput() const override;

 private:
  struct KeyGrab;
  struct Handlers;
  void onEvent(const XEvent& event);
  void onKey(const XKeyEvent& key);
  void ungrab(const KeyGrab& grab);

  X11Connection& connection_;
  X11WindowServer& windowServer_;
  platform::Scheduler& scheduler_;
  X11Connection::ListenerId listener_;
  std::shared_ptr<Handlers> handlers_;
  std::optional<unsigned long> activeWindow_;
  std::optional<unsigned long> currentDesktop_;
  support::Lifetime lifetime_;  // last: ends before the rest goes
};

}  // namespace velvix::x11
