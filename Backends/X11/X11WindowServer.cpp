#include "X11WindowServer.hpp"

#include <Velvix/Platform/Toolkit.hpp>
#include <Velvix/Platform/support/WindowLevels.hpp>
#include <Velvix/WhatsAppWindow.hpp>

#include <X11/Xatom.h>
#include <X11/extensions/XInput2.h>

#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <string_view>

namespace velvix::x11 {

using platform::EntryField;
using platform::RunningApplication;
using platform::WindowEntry;

namespace {

// XQueryPointer on every call would be a round trip per frame. The last answer stands while
// the pointer has not moved (XInput2 raw motion says when it does) and for at most this long,
// should it be moved without motion events (a warp); without XInput2, for one frame.
constexpr auto kPointerFreshness = std::chrono::milliseconds(250);
constexpr auto kPointerFreshnessWithoutMotion = std::chrono::milliseconds(4);

bool isProcessAlive(std::int32_t pid) {
  return pid > 0 && (kill(pid, 0) == 0 || errno == EPERM);
}

}  // namespace

X11WindowServer::X11WindowServer(X11Connection& connection) : connection_(connection) {
  XSelectInput(connection_.display(), connection_.root(),
               SubstructureNotifyMask | PropertyChangeMask);
  listener_ = connection_.addListener([this](const XEvent& event) { onEvent(event); });
  tracksMotion_ = connection_.selectRawEvent(XI_RawMotion);
}

X11WindowServer::~X11WindowServer() {
  connection_.removeListener(listener_);
}

void X11WindowServer::changed() {
  changes_.notify();
}

void X11WindowServer::onEvent(const XEvent& event) {
  const Atoms& atoms = connection_.atoms();
  switch (event.type) {
    case PropertyNotify:
      if (event.xproperty.window == connection_.root()) {
        if (event.xproperty.atom == atoms.netActiveWindow) {
          activeDirty_ = true;
          changed();
        }
        if (event.xproperty.atom == atoms.netClientListStacking ||
            event.xproperty.atom == atoms.netClientList) {
          dirty_ = true;
          changed();
        }
      } else if (watched_.contains(event.xproperty.window)) {
        dirty_ = true;  // a title, class, pid or state of a listed client
        changed();
      }
      break;
    case DestroyNotify:
      watched_.erase(event.xdestroywindow.window);
      dirty_ = true;
      changed();
      break;
    case GenericEvent:
      if (connection_.extensions().xinputOpcode &&
          event.xcookie.extension == *connection_.extensions().xinputOpcode &&
          event.xcookie.evtype == XI_RawMotion)
        pointerMoved_ = true;
      break;
    case MapNotify:
    case UnmapNotify:
    case ConfigureNotify:
    case ReparentNotify:
    case CirculateNotify:
    case GravityNotify:
      dirty_ = true;
      changed();
      break;
    default:
      break;
  }
}

Window X11WindowServer::ascendToTopLevel(Window window) const {
  Display* display = connection_.display();
  // Bounded: a window tree is never this deep, and a vanished window ends the walk.
  for (int depth = 0; depth < 64; ++depth) {
    Window root = None, parent = None;
    Window* children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display, window, &root, &parent, &children, &count)) return None;
    if (children) XFree(children);
    if (parent == root || parent == None) return window;
    window = parent;
  }
  return None;
}

void X11WindowServer::watch(Window client) const {
  if (connection_.isOwnWindow(client) || !watched_.insert(client).second) return;
  XSelectInput(connection_.display(), client, StructureNotifyMask | PropertyChangeMask);
}

std::optional<X11WindowServer::Listed> X11WindowServer::describe(
    Window frame, Window client, const XWindowAttributes& attributes) const {
  Display* display = connection_.display();
  const Atoms& atoms = connection_.atoms();
  Listed listed;
  listed.client = client;
  listed.frame = frame;
  listed.isOwn = connection_.isOwnWindow(client);

  XWindowAttributes clientAttributes = attributes;
  if (client != frame && !XGetWindowAttributes(display, client, &clientAttributes))
    return std::nullopt;
  int x = 0, y = 0;
  Window child = None;
  if (!XTranslateCoordinates(display, client, connection_.root(), 0, 0, &x, &y, &child))
    return std::nullopt;
  // A client its frame does not show is off screen. Openbox unmaps a client being minimised at
  // once but keeps its frame, shrunk to the title bar, while it animates; restoring, it maps the
  // client first, inside a frame that grows round it only at the end.
  if (client != frame &&
      (clientAttributes.map_state != IsViewable || x >= attributes.x + attributes.width ||
       y >= attributes.y + attributes.height || x + clientAttributes.width <= attributes.x ||
       y + clientAttributes.height <= attributes.y))
    return std::nullopt;

  const auto types = connection_.cardinals(client, atoms.netWmWindowType, XA_ATOM);
  const auto hasType = [&](Atom type) {
    return types && std::find(types->begin(), types->end(), type) != types->end();
  };
  if (hasType(atoms.netWmWindowTypeDesktop)) return std::nullopt;

  WindowIdentity identity;
  if (auto cls = connection_.wmClass(client)) {
    identity.wmInstance = std::move(cls->first);
    identity.wmClass = std::move(cls->second);
  }
  identity.applicationId = connection_.text(client, atoms.gtkApplicationId, atoms.utf8String);
  identity.title = connection_.text(client, atoms.netWmName, atoms.utf8String);
  if (!identity.title) identity.title = connection_.text(client, XA_WM_NAME, XA_STRING);
  listed.isWhatsApp = !listed.isOwn && isWhatsApp(identity);
  listed.identifier = whatsAppIdentifier(identity);

  std::int32_t pid = 0;
  if (listed.isOwn) {
    pid = ownProcessId();
  } else if (const auto pids = connection_.cardinals(client, atoms.netWmPid, XA_CARDINAL);
             pids && !pids->empty() && pids->front() > 0 && pids->front() <= 0x7FFFFFFF) {
    pid = static_cast<std::int32_t>(pids->front());
  }
  if (listed.isWhatsApp && pid > 0) whatsAppPids_.insert(pid);

  std::int64_t layer = 0;
  const auto states = connection_.cardinals(client, atoms.netWmState, XA_ATOM);
  if (hasType(atoms.netWmWindowTypeDock)) {
    layer = kDockLevel;
  } else if (attributes.override_redirect && !listed.isOwn) {
    layer = kPopUpLevel;
  } else if (states &&
             std::find(states->begin(), states->end(), atoms.netWmStateAbove) != states->end()) {
    layer = 3;
  }
  double alpha = 1;
  if (const auto opacity = connection_.cardinals(client, atoms.netWmWindowOpacity, XA_CARDINAL);
      opacity && !opacity->empty())
    alpha = static_cast<double>(opacity->front() & 0xFFFFFFFFUL) / 4294967295.0;

  WindowEntry& entry = listed.entry;
  entry.number = static_cast<std::int64_t>(client);
  entry.ownerPID = pid;
  if (listed.isWhatsApp) {
    entry.ownerName = std::string(kWhatsAppOwnerName);
  } else if (identity.wmClass) {
    entry.ownerName = *identity.wmClass;
  }
  const double s = connection_.scale();
  entry.bounds = Rect(x / s, y / s, clientAttributes.width / s, clientAttributes.height / s);
  entry.layer = layer;
  entry.alpha = alpha;
  return listed;
}

void X11WindowServer::refresh() const {
  connection_.dispatchQueued();
  if (!dirty_) return;
  dirty_ = false;
  Display* display = connection_.display();
  const Atoms& atoms = connection_.atoms();

  auto clients = connection_.cardinals(connection_.root(), atoms.netClientListStacking, XA_WINDOW);
  if (!clients) clients = connection_.cardinals(connection_.root(), atoms.netClientList, XA_WINDOW);
  std::unordered_map<Window, Window> clientOfFrame;
  if (clients) {
    for (unsigned long client : *clients) {
      const Window frame = ascendToTopLevel(client);
      if (frame != None) clientOfFrame.emplace(frame, client);
    }
  }

  Window root = None, parent = None;
  Window* children = nullptr;
  unsigned int count = 0;
  std::vector<Listed> listed;
  if (XQueryTree(display, connection_.root(), &root, &parent, &children, &count)) {
    for (unsigned int i = count; i-- > 0;) {  // the server lists bottom to top
      const Window frame = children[i];
      XWindowAttributes attributes;
      if (!XGetWindowAttributes(display, frame, &attributes) ||
          attributes.map_state != IsViewable || attributes.c_class == InputOnly)
        continue;
      // A frame stands for its client. Anything else on screen is listed as itself: popups,
      // our overlay, a window the manager has not taken in yet, the manager's own panels;
      // all of them may lie over WhatsApp.
      Window client = frame;
      if (const auto found = clientOfFrame.find(frame); found != clientOfFrame.end())
        client = found->second;
      // Off the screen altogether (the manager's 1 x 1 check window at -100, -100) is not on
      // screen.
      if (attributes.x + attributes.width + 2 * attributes.border_width <= 0 ||
          attributes.y + attributes.height + 2 * attributes.border_width <= 0 ||
          attributes.x >= DisplayWidth(display, connection_.screen()) ||
          attributes.y >= DisplayHeight(display, connection_.screen()))
        continue;
      if (auto entry = describe(frame, client, attributes)) {
        watch(client);
        listed.push_back(std::move(*entry));
      }
    }
    if (children) XFree(children);
  }
  listed_ = std::move(listed);
  // A failed read of a window that vanished meanwhile leaves errors behind; drop them.
  connection_.checked([] {});
}

std::optional<std::vector<WindowEntry>> X11WindowServer::onScreenWindows() const {
  refresh();
  std::vector<WindowEntry> entries;
  entries.reserve(listed_.size());
  for (const Listed& l : listed_)
    entries.push_back(l.entry);
  return entries;
}

std::int32_t X11WindowServer::windowLevel(platform::WindowLevelKey key) const {
  return support::windowLevel(key, kDockLevel);
}

std::optional<RunningApplication> X11WindowServer::runningApplication(std::int32_t pid) const {
  if (!isProcessAlive(pid)) return std::nullopt;
  refresh();
  RunningApplication app;
  app.pid = pid;
  for (const Listed& l : listed_) {
    if (l.entry.ownerPID.asInt32() == pid && l.identifier) app.bundleIdentifier = l.identifier;
  }
  return app;
}

std::vector<RunningApplication> X11WindowServer::runningApplications(
    std::string_view bundleIdentifier) const {
  // On Linux a process is WhatsApp when one of its windows passed the identity rule; it keeps
  // WhatsApp's identifiers while it runs, also with no window on screen.
  if (!WhatsAppWindow::isWhatsAppBundle(bundleIdentifier)) return {};
  refresh();
  std::vector<RunningApplication> apps;
  for (auto it = whatsAppPids_.begin(); it != whatsAppPids_.end();) {
    if (!isProcessAlive(*it)) {
      it = whatsAppPids_.erase(it);
      continue;
    }
    apps.push_back({.pid = *it, .bundleIdentifier = std::string(bundleIdentifier)});
    ++it;
  }
  return apps;
}

std::optional<RunningApplication> X11WindowServer::frontmostApplication() const {
  refresh();
  if (activeDirty_) {
    activeDirty_ = false;
    const auto active =
        connection_.cardinals(connection_.root(), connection_.atoms().netActiveWindow, XA_WINDOW);
    activeWindow_.reset();
    if (active && !active->empty() && active->front() != None) activeWindow_ = active->front();
  }
  if (!activeWindow_) return std::nullopt;
  std::optional<std::int32_t> pid;
  for (const Listed& l : listed_) {
    if (l.client == *activeWindow_) pid = l.entry.ownerPID.asInt32();
  }
  if (!pid || *pid <= 0) return std::nullopt;  // no owner to name
  return runningApplication(*pid);
}

std::int32_t X11WindowServer::ownProcessId() const {
  return static_cast<std::int32_t>(getpid());
}

std::vector<Rect> X11WindowServer::screens() const {
  Display* display = connection_.display();
  const double s = connection_.scale();
  return {Rect(0, 0, DisplayWidth(display, connection_.screen()) / s,
               DisplayHeight(display, connection_.screen()) / s)};
}

Point X11WindowServer::mouseLocation() const {
  connection_.dispatchQueued();  // motion reported since the last answer
  const auto now = std::chrono::steady_clock::now();
  const auto freshness = tracksMotion_ ? kPointerFreshness : kPointerFreshnessWithoutMotion;
  if (pointerMoved_ || now - pointerTime_ > freshness) {
    pointerMoved_ = false;
    Window root = None, child = None;
    int rootX = 0, rootY = 0, x = 0, y = 0;
    unsigned int mask = 0;
    if (XQueryPointer(connection_.display(), connection_.root(), &root, &child, &rootX, &rootY, &x,
                      &y, &mask)) {
      const double s = connection_.scale();
      pointer_ = platform::screenFlip(*this).map(Point{rootX / s, rootY / s});
    }
    pointerTime_ = now;
  }
  return pointer_;
}

std::optional<Window> X11WindowServer::frameOf(Window client) const {
  refresh();
  for (const Listed& l : listed_) {
    if (l.client == client) return l.frame;
  }
  const Window frame = ascendToTopLevel(client);
  return frame == None ? std::nullopt : std::optional(frame);
}

std::optional<Window> X11WindowServer::clientAt(const Rect& bounds) const {
  refresh();
  std::optional<Window> foreign;
  for (const Listed& l : listed_) {
    if (l.isOwn || !(l.entry.bounds.asRect() == bounds)) continue;
    if (l.isWhatsApp) return l.client;
    if (!foreign) foreign = l.client;
  }
  return foreign;
}

bool X11WindowServer::missesNativeWindows() const {
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  const char* session = std::getenv("XDG_SESSION_TYPE");
  return (wayland && *wayland) || (session && std::string_view(session) == "wayland");
}

}  // namespace velvix::x11
