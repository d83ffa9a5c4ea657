#pragma once

// The window server: the list of windows on screen, the running applications, the screens and
// the mouse. Entries of the window list are loosely typed dictionaries on the real platform, so
// each field arrives as an EntryField that keeps apart a missing field, a field of another kind,
// and a number that does not fit the type asked for.
//
// Coordinates: window bounds are global screen points with the origin at the top left of the
// primary display; screen frames and the mouse location use the platform's bottom-left origin.
//
// Main thread only.

#include <BlurLayout/Geometry.hpp>
#include <Velvix/Platform/Observers.hpp>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace velvix::platform {

/// One field of a window-list entry, as the window server gave it.
class EntryField {
 public:
  struct Missing {
    friend bool operator==(const Missing&, const Missing&) = default;
  };
  /// Something that is neither a number, a string nor a rectangle (a list, a date...).
  struct Other {
    friend bool operator==(const Other&, const Other&) = default;
  };

  EntryField() = default;
  EntryField(std::int64_t integer) : v_(integer) {}        // NOLINT: implicit by design
  EntryField(int integer) : v_(std::int64_t{integer}) {}   // NOLINT
  EntryField(double real) : v_(real) {}                    // NOLINT
  EntryField(std::string text) : v_(std::move(text)) {}    // NOLINT
  EntryField(const char* text) : v_(std::string(text)) {}  // NOLINT
  EntryField(Rect bounds) : v_(bounds) {}                  // NOLINT: a bounds dictionary
  EntryField(Other other) : v_(other) {}                   // NOLINT
  [[nodiscard]] static EntryField missing() { return {}; }

  [[nodiscard]] bool isMissing() const { return std::holds_alternative<Missing>(v_); }

  // Numeric conversions follow the platform's number bridging: a number converts when the
  // target type represents it exactly (3.0 is the integer 3; 1.5 and 2^31 are no Int32).
  [[nodiscard]] std::optional<std::uint32_t> asUInt32() const;
  [[nodiscard]] std::optional<std::int32_t> asInt32() const;
  [[nodiscard]] std::optional<std::int64_t> asInteger() const;
  [[nodiscard]] std::optional<double> asDouble() const;
  [[nodiscard]] const std::string* asString() const { return std::get_if<std::string>(&v_); }
  /// The rectangle, when the field is a bounds dictionary that converts to one.
  [[nodiscard]] std::optional<Rect> asRect() const;

  friend bool operator==(const EntryField&, const EntryField&) = default;

 private:
  std::variant<Missing, std::int64_t, double, std::string, Rect, Other> v_;
};

/// One entry of the on-screen window list.
struct WindowEntry {
  EntryField number;     ///< kCGWindowNumber
  EntryField ownerPID;   ///< kCGWindowOwnerPID
  EntryField ownerName;  ///< kCGWindowOwnerName
  EntryField bounds;     ///< kCGWindowBounds, top-left-origin global points
  EntryField layer;      ///< kCGWindowLayer
  EntryField alpha;      ///< kCGWindowAlpha
};

struct RunningApplication {
  std::int32_t pid = 0;
  std::optional<std::string> bundleIdentifier;
  bool isHidden = false;
  bool isTerminated = false;
  friend bool operator==(const RunningApplication&, const RunningApplication&) = default;
};

enum class WindowLevelKey { normal, floating, dock };

class WindowServer {
 public:
  WindowServer() = default;
  WindowServer(const WindowServer&) = delete;
  WindowServer& operator=(const WindowServer&) = delete;
  virtual ~WindowServer() = default;

  /// The windows on screen, front to back, without desktop elements; empty when the server
  /// gave no list (or not a list of entries).
  [[nodiscard]] virtual std::optional<std::vector<WindowEntry>> onScreenWindows() const = 0;

  /// Whether windows of the session's own native clients are out of sight (an X server under a
  /// Wayland session sees only the windows of X clients).
  [[nodiscard]] virtual bool missesNativeWindows() const { return false; }

  /// The window level the platform uses for a kind of window.
  [[nodiscard]] virtual std::int32_t windowLevel(WindowLevelKey key) const = 0;

  /// The running application with this process id, if any.
  [[nodiscard]] virtual std::optional<RunningApplication> runningApplication(
      std::int32_t pid) const = 0;
  /// The running applications with this bundle identifier, in the platform's order.
  [[nodiscard]] virtual std::vector<RunningApplication> runningApplications(
      std::string_view bundleIdentifier) const = 0;
  /// The application that receives key events, if any.
  [[nodiscard]] virtual std::optional<RunningApplication> frontmostApplication() const = 0;
  /// This process's id.
  [[nodiscard]] virtual std::int32_t ownProcessId() const = 0;

  /// The frames of the screens, the primary one first, bottom-left origin.
  [[nodiscard]] virtual std::vector<Rect> screens() const = 0;
  /// The pointer position, bottom-left origin.
  [[nodiscard]] virtual Point mouseLocation() const = 0;

  /// Calls `handler` (on the thread that reads the list) whenever a window may have appeared,
  /// moved, changed size or order, or gone; an empty subscription where the platform does not
  /// tell, and then the overlay looks at the list every frame.
  [[nodiscard]] virtual Subscription observeWindowChanges(std::function<void()> handler) {
    (void)handler;
    return {};
  }
};

/// Between the window list's top-left-origin screen space and the platform's bottom-left-origin
/// one, against the height of the first screen (0 without screens). Its own inverse.
[[nodiscard]] SpaceTransform screenFlip(const WindowServer& server);

}  // namespace velvix::platform
