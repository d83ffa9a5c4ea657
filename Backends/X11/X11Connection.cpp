#include "X11Connection.hpp"

#include "WhatsAppIdentity.hpp"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/XShm.h>
#include <X11/extensions/Xcomposite.h>
#include <X11/extensions/Xdamage.h>
#include <X11/extensions/Xrender.h>
#include <X11/extensions/scrnsaver.h>
#include <X11/extensions/shape.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <memory>
#include <mutex>
#include <string_view>
#include <system_error>

namespace velvix::x11 {

namespace {

// Xlib's error handler is one per process; errors of our connections are recorded here by
// serial number, those of any other connection go to the handler that was there before.
struct ErrorRecord {
  std::mutex mutex;
  std::vector<std::pair<Display*, unsigned long>> failures;  // display, serial
  XErrorHandler previous = nullptr;
  std::vector<Display*> displays;
};

ErrorRecord& errors() {
  static ErrorRecord record;
  return record;
}

// The server went away (a crash, a logout): nothing Velvix protects is left on it. Xlib allows
// no return from here; the settings are on disk already, each written when it changed.
int onServerLost(Display*) {
  static constexpr char kMessage[] = "velvix: the X server has gone away; Velvix ends.\n";
  (void)!::write(STDERR_FILENO, kMessage, sizeof kMessage - 1);
  ::_exit(1);
}

}  // namespace

int X11Connection::onError(Display* display, XErrorEvent* error) {
  ErrorRecord& record = errors();
  std::unique_lock lock(record.mutex);
  if (std::find(record.displays.begin(), record.displays.end(), display) != record.displays.end()) {
    record.failures.emplace_back(display, error->serial);
    // Only the latest matter to a checked() in progress; keep the record small.
    if (record.failures.size() > 64) record.failures.erase(record.failures.begin());
    return 0;
  }
  XErrorHandler previous = record.previous;
  lock.unlock();
  return previous ? previous(display, error) : 0;
}

std::unique_ptr<X11Connection> X11Connection::open(const char* displayName) {
  Display* display = XOpenDisplay(displayName);
  if (!display) return nullptr;
  return std::unique_ptr<X11Connection>(new X11Connection(display));
}

X11Connection::X11Connection(Display* display)
    : display_(display),
      root_(DefaultRootWindow(display)),
      screen_(DefaultScreen(display)),
      scale_(scaleFromResources(XResourceManagerString(display))) {
  {
    ErrorRecord& record = errors();
    std::lock_guard lock(record.mutex);
    record.displays.push_back(display);
    XErrorHandler previous = XSetErrorHandler(&X11Connection::onError);
    if (previous != &X11Connection::onError) record.previous = previous;
    XSetIOErrorHandler(&onServerLost);
  }
  const char* names[] = {"_NET_CLIENT_LIST_STACKING",
                         "_NET_CLIENT_LIST",
                         "_NET_ACTIVE_WINDOW",
                         "_NET_CURRENT_DESKTOP",
                         "_NET_WM_PID",
                         "_NET_WM_NAME",
                         "_NET_WM_WINDOW_TYPE",
                         "_NET_WM_WINDOW_TYPE_DESKTOP",
                         "_NET_WM_WINDOW_TYPE_DOCK",
                         "_NET_WM_STATE",
                         "_NET_WM_STATE_ABOVE",
                         "_NET_WM_STATE_HIDDEN",
                         "_NET_WM_WINDOW_OPACITY",
                         "_NET_SUPPORTING_WM_CHECK",
                         "_GTK_APPLICATION_ID",
                         "WM_STATE",
                         "UTF8_STRING"};
  Atom* out[] = {&atoms_.netClientListStacking,
                 &atoms_.netClientList,
                 &atoms_.netActiveWindow,
                 &atoms_.netCurrentDesktop,
                 &atoms_.netWmPid,
                 &atoms_.netWmName,
                 &atoms_.netWmWindowType,
                 &atoms_.netWmWindowTypeDesktop,
                 &atoms_.netWmWindowTypeDock,
                 &atoms_.netWmState,
                 &atoms_.netWmStateAbove,
                 &atoms_.netWmStateHidden,
                 &atoms_.netWmWindowOpacity,
                 &atoms_.netSupportingWmCheck,
                 &atoms_.gtkApplicationId,
                 &atoms_.wmState,
                 &atoms_.utf8String};
  constexpr int count = sizeof(names) / sizeof(names[0]);
  static_assert(count == sizeof(out) / sizeof(out[0]));
  Atom interned[count];
  XInternAtoms(display_, const_cast<char**>(names), count, False, interned);
  for (int i = 0; i < count; ++i)
    *out[i] = interned[i];

  int event = 0, error = 0, major = 0, minor = 0;
  extensions_.shape = XShapeQueryExtension(display_, &event, &error);
  extensions_.composite = XCompositeQueryExtension(display_, &event, &error) &&
                          XCompositeQueryVersion(display_, &major, &minor) &&
                          (major > 0 || minor >= 2);  // NameWindowPixmap came with 0.2
  extensions_.shm = XShmQueryExtension(display_);
  extensions_.render = XRenderQueryExtension(display_, &event, &error) &&
                       XRenderQueryVersion(display_, &major, &minor) &&
                       (major > 0 || minor >= 6);  // transforms and filters came with 0.6
  if (XDamageQueryExtension(display_, &event, &error)) extensions_.damageEventBase = event;
  extensions_.screenSaver = XScreenSaverQueryExtension(display_, &event, &error);
  int opcode = 0;
  if (XQueryExtension(display_, "XInputExtension", &opcode, &event, &error)) {
    major = 2, minor = 2;  // raw events reach the root window, grabs or not, from 2.1 on
    if (XIQueryVersion(display_, &major, &minor) == Success && major >= 2)
      extensions_.xinputOpcode = opcode;
  }
}

X11Connection::~X11Connection() {
  XCloseDisplay(display_);
  ErrorRecord& record = errors();
  std::lock_guard lock(record.mutex);
  std::erase(record.displays, display_);
  std::erase_if(record.failures, [&](const auto& f) { return f.first == display_; });
}

X11Connection::ListenerId X11Connection::addListener(std::function<void(const XEvent&)> listener) {
  const ListenerId id = nextListener_++;
  listeners_.push_back(std::make_shared<Listener>(Listener{id, std::move(listener)}));
  return id;
}

void X11Connection::removeListener(ListenerId id) {
  std::erase_if(listeners_, [&](const auto& l) { return l->id == id; });
}

bool X11Connection::hasQueuedEvents() const {
  return XEventsQueued(display_, QueuedAlready) > 0;
}

void X11Connection::dispatchPending() {
  while (XPending(display_) > 0)
    dispatchNext();
}

void X11Connection::dispatchQueued() {
  while (XEventsQueued(display_, QueuedAlready) > 0)
    dispatchNext();
}

void X11Connection::dispatchNext() {
  XEvent event;
  XNextEvent(display_, &event);
  const bool hasData = event.type == GenericEvent && XGetEventData(display_, &event.xcookie);
  // A listener may add or remove listeners; walk a copy.
  const auto listeners = listeners_;
  for (const auto& listener : listeners)
    listener->call(event);
  if (hasData) XFreeEventData(display_, &event.xcookie);
}

void X11Connection::flushRequests() {
  // Request numbers only grow: an unchanged next number means no request since the last flush
  // (a round trip in between may have sent them already; flushing again then is harmless).
  const unsigned long next = NextRequest(display_);
  if (next == flushedBefore_) return;
  XFlush(display_);
  flushedBefore_ = next;
}

bool X11Connection::checked(const std::function<void()>& requests) {
  const unsigned long first = NextRequest(display_);
  requests();
  XSync(display_, False);
  ErrorRecord& record = errors();
  std::lock_guard lock(record.mutex);
  const bool failed =
      std::any_of(record.failures.begin(), record.failures.end(),
                  [&](const auto& f) { return f.first == display_ && f.second >= first; });
  std::erase_if(record.failures, [&](const auto& f) { return f.first == display_; });
  return !failed;
}

bool X11Connection::selectRawEvent(int type) {
  if (!extensions_.xinputOpcode) return false;
  if (std::find(rawEvents_.begin(), rawEvents_.end(), type) != rawEvents_.end()) return true;
  unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
  for (int t : rawEvents_)
    XISetMask(bits, t);
  XISetMask(bits, type);
  // Every device, slaves included: handlers count an event once, from the device it came from.
  XIEventMask mask{XIAllDevices, static_cast<int>(sizeof(bits)), bits};
  if (!checked([&] { XISelectEvents(display_, root_, &mask, 1); })) return false;
  rawEvents_.push_back(type);
  return true;
}

void X11Connection::unmarkOwnWindow(Window window) {
  std::erase(own_, window);
}

bool X11Connection::isOwnWindow(Window window) const {
  return std::find(own_.begin(), own_.end(), window) != own_.end();
}

namespace {

// A window property's items, freed with the record.
struct PropertyItems {
  std::unique_ptr<unsigned char, int (*)(void*)> data{nullptr, XFree};
  unsigned long count = 0;
  bool complete = true;  // false when the read's length limit cut it off
};

// The property's items when it exists with this type and item format; empty otherwise.
std::optional<PropertyItems> readProperty(Display* display, Window window, Atom property, Atom type,
                                          int format, long maxLength) {
  Atom actualType = None;
  int actualFormat = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(display, window, property, 0, maxLength, False, type, &actualType,
                         &actualFormat, &count, &after, &data) != Success)
    return std::nullopt;
  PropertyItems items;
  items.data.reset(data);
  if (!data || actualType != type || actualFormat != format) return std::nullopt;
  items.count = count;
  items.complete = after == 0;
  return items;
}

// Names and titles longer than this are no one's we look for; the limit is in 32-bit units.
constexpr long kTextLimit = 1024;

std::string_view bytesOf(const PropertyItems& items) {
  return {reinterpret_cast<const char*>(items.data.get()), items.count};
}

}  // namespace

std::optional<std::vector<unsigned long>> X11Connection::cardinals(Window window, Atom property,
                                                                   Atom type) const {
  const auto read = readProperty(display_, window, property, type, 32, 4096);
  if (!read) return std::nullopt;
  // Xlib hands format-32 items as longs whatever the width of long.
  const auto* items = reinterpret_cast<const unsigned long*>(read->data.get());
  return std::vector<unsigned long>(items, items + read->count);
}

std::optional<std::string> X11Connection::text(Window window, Atom property, Atom type) const {
  const auto read = readProperty(display_, window, property, type, 8, kTextLimit);
  if (!read) return std::nullopt;
  return propertyText(bytesOf(*read), read->complete);
}

std::optional<std::pair<std::string, std::string>> X11Connection::wmClass(Window window) const {
  const auto read = readProperty(display_, window, XA_WM_CLASS, XA_STRING, 8, kTextLimit);
  if (!read) return std::nullopt;
  return classHint(bytesOf(*read), read->complete);
}

}  // namespace velvix::x11
