#pragma once

// The Simulator's window server: windows in front-to-back order, Spaces, screens, the mouse,
// running applications and the frontmost one. Configured from plain structs:
//
//   server.addApplication({.pid = 42, .bundleIdentifier = "net.whatsapp.WhatsApp"});
//   server.addWindow({.number = 7, .pid = 42, .ownerName = "WhatsApp",
//                     .bounds = {100, 80, 1000, 700}});
//
// Windows added later lie behind those added earlier. The window list shows the windows on
// screen (on the active Space or on every Space), higher layers first, then front to back.

#include <Velvix/Platform/WindowServer.hpp>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace velvix::sim {

using platform::EntryField;
using platform::RunningApplication;

struct WindowSpec {
  std::uint32_t number = 0;  ///< 0: the next free number
  std::int32_t pid = 0;
  std::string ownerName = {};
  Rect bounds = {};  ///< top-left-origin global points
  std::int64_t layer = 0;
  double alpha = 1;
  std::optional<int> space = 1;  ///< empty: shown on every Space
  bool isOnScreen = true;

  // Raw entry fields that replace the typed ones above in the window list, to produce missing
  // fields and fields of the wrong kind. Ordering still uses `layer`.
  std::optional<EntryField> rawNumber = {};
  std::optional<EntryField> rawPID = {};
  std::optional<EntryField> rawOwnerName = {};
  std::optional<EntryField> rawBounds = {};
  std::optional<EntryField> rawLayer = {};
  std::optional<EntryField> rawAlpha = {};
};

class SimWindowServer final : public platform::WindowServer {
 public:
  SimWindowServer();

  // --- configuration -------------------------------------------------------------------------
  /// Adds a window behind all others of its layer; returns its number.
  std::uint32_t addWindow(WindowSpec definition);
  /// The window's description, to change in place (bounds, alpha, visibility...).
  WindowSpec& window(std::uint32_t number);
  void removeWindow(std::uint32_t number);
  /// Moves the window in front of all others.
  void bringToFront(std::uint32_t number);
  /// Moves `number` directly in front of `other`.
  void orderAbove(std::uint32_t number, std::uint32_t other);

  void addApplication(RunningApplication app);
  RunningApplication& application(std::int32_t pid);
  /// Makes the application frontmost (or none) and announces it to workspace observers.
  void setFrontmostApplication(std::optional<std::int32_t> pid);
  void setOwnProcessId(std::int32_t pid) { ownPid_ = pid; }
  void setDockLevel(std::int32_t level) { dockLevel_ = level; }

  void setScreens(std::vector<Rect> frames) { screens_ = std::move(frames); }
  /// Sets the pointer in the platform's bottom-left-origin space.
  void setMouseLocation(Point bottomLeft);
  /// Sets the pointer from top-left-origin global coordinates, against the first screen.
  void setMouseTopLeft(Point topLeft);

  [[nodiscard]] int activeSpace() const { return activeSpace_; }
  /// Switches Spaces and announces it to workspace observers.
  void setActiveSpace(int space);

  /// When set, the window server gives no list at all.
  void setWindowListUnavailable(bool unavailable) { listUnavailable_ = unavailable; }

  /// Makes the server tell observers of window changes, as an X11 desktop does, from the next
  /// subscription on. By default it tells nothing, as on macOS, and the overlay looks every frame.
  void setTellsWindowChanges(bool tells) { tellsChanges_ = tells; }
  /// Tells observers that windows changed. Adding, removing and ordering windows tell by
  /// themselves; a change made in place through window() is told by calling this.
  void windowsChanged() { changeObservers_.notify(); }

  /// Called with every workspace change; the toolkit turns them into notifications.
  std::function<void(bool activeSpaceChanged)> onWorkspaceChange;
  /// Told when the mouse moves.
  std::function<void()> onMouseMove;

  // --- observation ---------------------------------------------------------------------------
  /// The numbers of the windows on screen, as the list gives them.
  [[nodiscard]] std::vector<std::uint32_t> onScreenNumbers() const;
  /// How many times the app asked for one application by process id.
  [[nodiscard]] int applicationLookups() const { return applicationLookups_; }
  /// How many times the app read the window list.
  [[nodiscard]] int listReads() const { return listReads_; }
  [[nodiscard]] std::uint32_t nextWindowNumber() { return nextNumber_++; }

  // --- the port ------------------------------------------------------------------------------
  [[nodiscard]] std::optional<std::vector<platform::WindowEntry>> onScreenWindows() const override;
  [[nodiscard]] std::int32_t windowLevel(platform::WindowLevelKey key) const override;
  [[nodiscard]] std::optional<RunningApplication> runningApplication(
      std::int32_t pid) const override;
  [[nodiscard]] std::vector<RunningApplication> runningApplications(
      std::string_view bundleIdentifier) const override;
  [[nodiscard]] std::optional<RunningApplication> frontmostApplication() const override;
  [[nodiscard]] std::int32_t ownProcessId() const override { return ownPid_; }
  [[nodiscard]] std::vector<Rect> screens() const override { return screens_; }
  [[nodiscard]] Point mouseLocation() const override { return mouse_; }
  [[nodiscard]] platform::Subscription observeWindowChanges(std::function<void()> handler) override;

 private:
  std::size_t indexOf(std::uint32_t number) const;
  std::vector<const WindowSpec*> listed() const;

  std::vector<WindowSpec> windows_;  // front to back
  std::vector<RunningApplication> apps_;
  std::optional<std::int32_t> frontmost_;
  std::int32_t ownPid_ = 500;
  std::int32_t dockLevel_ = 20;
  std::vector<Rect> screens_;
  Point mouse_;
  int activeSpace_ = 1;
  bool listUnavailable_ = false;
  bool tellsChanges_ = false;
  platform::ObserverList<> changeObservers_;
  std::uint32_t nextNumber_ = 1000;
  mutable int applicationLookups_ = 0;
  mutable int listReads_ = 0;
};

}  // namespace velvix::sim
