#pragma once

// The window toolkit: the overlay panel with its blur views and guides, workspace
// notifications and the global scroll-wheel monitor.
//
// The panel is a borderless, transparent, non-activating window that ignores the mouse (clicks
// and scrolls reach the window below), moves to the active Space when ordered in, stays out of
// window cycling and may lie over full-screen windows. Its content view is flipped (top-left
// origin) and always has the panel's size, so blur-view frames are window-relative rectangles.
// The panel's own frame uses the platform's bottom-left-origin screen space.
//
// Main thread only; callbacks run on the main queue.

#include <BlurLayout/Geometry.hpp>
#include <BlurLayout/LayoutTypes.hpp>
#include <Velvix/Platform/BlurStrength.hpp>
#include <Velvix/Platform/Observers.hpp>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velvix::platform {

/// Window levels the panel uses.
inline constexpr std::int64_t kNormalWindowLevel = 0;
inline constexpr std::int64_t kFloatingWindowLevel = 3;

/// A window's pixels as the screen shows them: rows from the top, 0xAARRGGBB, `scale` pixels to
/// the point.
struct WindowImage {
  int width = 0;
  int height = 0;
  double scale = 1;
  std::vector<std::uint32_t> pixels;  ///< width × height

  [[nodiscard]] std::uint32_t at(int x, int y) const {
    return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                  static_cast<std::size_t>(x)];
  }
  /// Whether the pixels are all there: a positive size and one pixel each.
  [[nodiscard]] bool isWhole() const {
    return width > 0 && height > 0 && scale > 0 &&
           pixels.size() == static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  }
};

/// A frosted-glass view on the panel, drawn behind-window with the popover material, shaped by
/// a mask: rounded (10-point corners at any size) or circle (the ellipse inscribed in its frame).
/// Destroying it removes it from the panel.
class BlurView {
 public:
  BlurView() = default;
  BlurView(const BlurView&) = delete;
  BlurView& operator=(const BlurView&) = delete;
  virtual ~BlurView() = default;

  [[nodiscard]] virtual Rect frame() const = 0;
  virtual void setFrame(const Rect& frame) = 0;
  /// The mask the view holds; empty before the first setMask().
  [[nodiscard]] virtual std::optional<Shape> mask() const = 0;
  virtual void setMask(Shape shape) = 0;
  [[nodiscard]] virtual bool isHidden() const = 0;
  virtual void setHidden(bool hidden) = 0;
};

class Panel {
 public:
  Panel() = default;
  Panel(const Panel&) = delete;
  Panel& operator=(const Panel&) = delete;
  virtual ~Panel() = default;

  /// Bottom-left-origin screen space.
  [[nodiscard]] virtual Rect frame() const = 0;
  /// Sets the frame without displaying at once.
  virtual void setFrame(const Rect& frame) = 0;
  [[nodiscard]] virtual std::int64_t level() const = 0;
  virtual void setLevel(std::int64_t level) = 0;

  [[nodiscard]] virtual bool isVisible() const = 0;
  [[nodiscard]] virtual bool isOnActiveSpace() const = 0;
  /// The window server's number of the panel (the platform's integer; window-list numbers are
  /// its low 32 bits).
  [[nodiscard]] virtual std::int64_t windowNumber() const = 0;

  virtual void orderOut() = 0;
  /// Brings the panel to the front of its level whether or not this application is active.
  virtual void orderFrontRegardless() = 0;
  /// Orders the panel directly in front of the window with this number.
  virtual void orderAbove(std::uint32_t windowNumber) = 0;
  /// Draws the panel's content now rather than at the next display pass.
  virtual void displayNow() = 0;

  /// Whether this platform can read the pixels of the window under the panel at all.
  [[nodiscard]] virtual bool readsWindowPixels() const { return false; }
  /// The pixels of the window the panel was last ordered above, as its glass reads them (without
  /// the panel); none where the platform cannot read them, or not yet.
  [[nodiscard]] virtual std::optional<WindowImage> windowImage() { return std::nullopt; }

  /// Whether any part of the panel is visible on screen (its occlusion state).
  [[nodiscard]] virtual bool isOcclusionVisible() const = 0;
  /// Calls `handler` whenever the occlusion state changes.
  [[nodiscard]] virtual Subscription observeOcclusion(std::function<void()> handler) = 0;

  /// A new blur view, hidden state false, no mask, inserted directly below the guides (so above
  /// every earlier blur view).
  [[nodiscard]] virtual std::unique_ptr<BlurView> addBlurView() = 0;

  /// The guides layer, above all blur views: dashed column lines and region outlines.
  [[nodiscard]] virtual bool areGuidesHidden() const = 0;
  virtual void setGuidesHidden(bool hidden) = 0;
  /// Replaces what the guides show and redraws them.
  virtual void setGuides(std::span<const Rect> regions, std::span<const double> columns) = 0;

  /// Whether the glass can blur more or less than its one look (`medium`); where it cannot,
  /// the choice is not offered.
  [[nodiscard]] virtual bool offersBlurStrength() const { return false; }
  virtual void setBlurStrength(BlurStrength) {}
};

/// A global shortcut as registered: the subscription keeps it, `problem` says why there is none
/// (unknown keys, or another program holds the combination).
struct GlobalShortcut {
  Subscription subscription;
  std::string problem;
};

enum class WorkspaceEvent { didActivateApplication, activeSpaceDidChange };

/// One turn of a scroll wheel, or one step of a trackpad's scroll.
struct ScrollWheelEvent {
  /// How far it asks the content under the pointer to move: positive moves it down, showing
  /// what lies above it (in a conversation, older messages); negative moves it up. In points or
  /// in lines, as the device counts: only the sign and the relative sizes mean anything.
  double deltaY = 0;
};

/// The platform's notification name, as logged.
[[nodiscard]] std::string_view notificationName(WorkspaceEvent event);

class Toolkit {
 public:
  Toolkit() = default;
  Toolkit(const Toolkit&) = delete;
  Toolkit& operator=(const Toolkit&) = delete;
  virtual ~Toolkit() = default;

  /// The overlay panel, ordered out, at the normal level, with an empty frame.
  [[nodiscard]] virtual std::unique_ptr<Panel> makeOverlayPanel() = 0;

  /// Calls `handler` with the event on each workspace notification of that kind.
  [[nodiscard]] virtual Subscription observeWorkspace(
      WorkspaceEvent event, std::function<void(WorkspaceEvent)> handler) = 0;
  /// Calls `handler` for every scroll-wheel event anywhere on the desktop; an empty
  /// subscription when the platform refused the monitor.
  [[nodiscard]] virtual Subscription addGlobalScrollWheelMonitor(
      std::function<void(const ScrollWheelEvent&)> handler) = 0;
  /// Calls `handler` for every press of the primary mouse button anywhere on the desktop (where,
  /// the pointer's location tells); an empty subscription when the platform refused the monitor.
  [[nodiscard]] virtual Subscription addGlobalClickMonitor(std::function<void()> handler) = 0;
  /// Calls `handler` whenever the pointer moves anywhere on the desktop (where to, the window
  /// server's mouse location tells); an empty subscription where the platform cannot tell, and
  /// then the overlay keeps polling the pointer while it is over WhatsApp.
  [[nodiscard]] virtual Subscription addGlobalPointerMonitor(std::function<void()> handler) {
    (void)handler;
    return {};
  }

  // Velvix's additions. A platform that lacks one says so, and its control is not offered.

  [[nodiscard]] virtual bool offersGlobalShortcuts() const { return false; }
  /// Calls `handler` on every press of `keys` ("Ctrl+Alt+B": modifiers Ctrl, Alt, Shift, Super
  /// and one key, joined by "+"), whichever window has the focus.
  [[nodiscard]] virtual GlobalShortcut addGlobalShortcut(std::string_view keys,
                                                         std::function<void()> handler) {
    (void)keys;
    (void)handler;
    return {{}, "Global shortcuts are not available here"};
  }
  /// Seconds since the last keyboard or mouse input anywhere; none where the platform cannot
  /// tell.
  [[nodiscard]] virtual std::optional<double> secondsSinceInput() const { return std::nullopt; }
};

}  // namespace velvix::platform
