#pragma once

// The one X connection the backend works over, and what every part of it shares: the atoms,
// the extensions the server offers, the events (handed to listeners), and errors. Xlib's
// default error handler ends the process; here an error is an outcome: a request on a window
// that vanished in the meantime fails, and the caller keeps what it had.
//
// Main thread only.

#include "Raster.hpp"

#include <X11/Xlib.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace velvix::x11 {

struct Atoms {
  Atom netClientListStacking, netClientList, netActiveWindow, netCurrentDesktop, netWmPid,
      netWmName, netWmWindowType, netWmWindowTypeDesktop, netWmWindowTypeDock, netWmState,
      netWmStateAbove, netWmStateHidden, netWmWindowOpacity, netSupportingWmCheck, gtkApplicationId,
      wmState, utf8String;
};

struct Extensions {
  bool shape = false;
  bool composite = false;
  bool shm = false;
  bool render = false;  ///< RENDER 0.6 or later: scaled, filtered copies
  std::optional<int> damageEventBase;
  std::optional<int> xinputOpcode;  ///< XInput 2.0 or later
  bool screenSaver = false;         ///< MIT-SCREEN-SAVER, which tells the time since input
};

class X11Connection {
 public:
  /// The connection to $DISPLAY (or `displayName`); empty when there is no X server.
  [[nodiscard]] static std::unique_ptr<X11Connection> open(const char* displayName = nullptr);
  X11Connection(const X11Connection&) = delete;
  X11Connection& operator=(const X11Connection&) = delete;
  ~X11Connection();

  [[nodiscard]] Display* display() const { return display_; }
  [[nodiscard]] Window root() const { return root_; }
  [[nodiscard]] int screen() const { return screen_; }
  /// Device pixels per point: the port speaks points, the server pixels.
  [[nodiscard]] double scale() const { return scale_; }
  [[nodiscard]] const Atoms& atoms() const { return atoms_; }
  [[nodiscard]] const Extensions& extensions() const { return extensions_; }
  [[nodiscard]] int fileDescriptor() const { return ConnectionNumber(display_); }

  using ListenerId = std::uint64_t;
  /// Calls `listener` for every event read from the server; generic (XInput) events arrive
  /// with their data already fetched.
  ListenerId addListener(std::function<void(const XEvent&)> listener);
  void removeListener(ListenerId id);
  /// Reads what the server sent and hands every queued event to the listeners.
  void dispatchPending();
  /// Hands the events already in Xlib's queue to the listeners without touching the socket
  /// (what is still in it is read when the event loop sees the socket readable).
  void dispatchQueued();
  /// Whether events wait in Xlib's queue (read during a round trip, so the socket is quiet).
  [[nodiscard]] bool hasQueuedEvents() const;
  /// Sends the requests Xlib holds back, if any. XFlush alone also reads the socket, a system
  /// call each time the event loop goes to sleep.
  void flushRequests();

  /// Adds an XInput2 raw event type (XI_RawButtonPress...) to what the root window reports to
  /// us from every device; selections of several parts add up. False without XInput2 or when
  /// the server refused.
  bool selectRawEvent(int type);

  /// Runs `requests` and waits for the server: false when any of them failed.
  bool checked(const std::function<void()>& requests);

  /// Windows created by this connection; the window list marks them as this process's.
  void markOwnWindow(Window window) { own_.push_back(window); }
  void unmarkOwnWindow(Window window);
  [[nodiscard]] bool isOwnWindow(Window window) const;

  // Property reads; empty when the window lacks the property or it has another type.
  [[nodiscard]] std::optional<std::vector<unsigned long>> cardinals(Window window, Atom property,
                                                                    Atom type) const;
  [[nodiscard]] std::optional<std::string> text(Window window, Atom property, Atom type) const;
  /// WM_CLASS as (instance, class).
  [[nodiscard]] std::optional<std::pair<std::string, std::string>> wmClass(Window window) const;

 private:
  explicit X11Connection(Display* display);
  static int onError(Display* display, XErrorEvent* error);
  void dispatchNext();

  Display* display_;
  Window root_;
  int screen_;
  double scale_ = 1;
  Atoms atoms_{};
  Extensions extensions_;
  std::vector<Window> own_;
  std::vector<int> rawEvents_;
  struct Listener {
    ListenerId id;
    std::function<void(const XEvent&)> call;
  };
  std::vector<std::shared_ptr<Listener>> listeners_;
  ListenerId nextListener_ = 1;
  unsigned long flushedBefore_ = 0;  // the next request number at the last flushRequests()
};

}  // namespace velvix::x11
