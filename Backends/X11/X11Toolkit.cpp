#include "X11Toolkit.hpp"

#include "Shortcut.hpp"
#include "X11Glass.hpp"

#include <Velvix/Platform/support/BlurViewSlots.hpp>
#include <Velvix/Platform/support/Lifetime.hpp>

#include <Glass/FrostedGlass.hpp>

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/scrnsaver.h>
#include <X11/extensions/shape.h>
#include <X11/keysym.h>

#include <unistd.h>
#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstring>

namespace velvix::x11 {

using platform::Subscription;
using platform::WorkspaceEvent;

namespace {

constexpr std::uint32_t kFallbackGlass = 0xE4E4E4;  // hides the content when no pixels come
constexpr std::uint32_t kGuideColumnColour = 0x34C759;
constexpr std::uint32_t kGuideRegionColour = 0xFF2D55;
constexpr auto kDisplayFrame = std::chrono::microseconds(16667);

int toPixels(double points) {
  return std::isfinite(points) ? static_cast<int>(std::clamp(std::lround(points), 0L, 32767L)) : 0;
}

class X11Panel;

class X11Panel final : public platform::Panel {
 public:
  X11Panel(X11Connection& connection, X11WindowServer& server, platform::Executor& main,
           std::vector<X11Panel*>& registry);
  ~X11Panel() override;

  [[nodiscard]] Rect frame() const override { return frame_; }
  void setFrame(const Rect& frame) override;
  [[nodiscard]] std::int64_t level() const override { return level_; }
  void setLevel(std::int64_t level) override { level_ = level; }
  [[nodiscard]] bool isVisible() const override { return visible_; }
  [[nodiscard]] bool isOnActiveSpace() const override { return true; }
  [[nodiscard]] std::int64_t windowNumber() const override {
    return static_cast<std::int64_t>(window_);
  }
  void orderOut() override;
  void orderFrontRegardless() override;
  void orderAbove(std::uint32_t windowNumber) override;
  void displayNow() override { redraw(); }
  [[nodiscard]] bool readsWindowPixels() const override {
    return connection_.extensions().composite;
  }
  [[nodiscard]] std::optional<platform::WindowImage> windowImage() override;
  // The port's points as the server's pixels.
  [[nodiscard]] Rect inPixels(const Rect& points) const {
    const double s = connection_.scale();
    return Rect(points.minX() * s, points.minY() * s, points.width() * s, points.height() * s);
  }
  [[nodiscard]] bool isOcclusionVisible() const override {
    return visible_ && visibility_ != VisibilityFullyObscured;
  }
  [[nodiscard]] Subscription observeOcclusion(std::function<void()> handler) override {
    return occlusion_.add(std::move(handler));
  }
  [[nodiscard]] std::unique_ptr<platform::BlurView> addBlurView() override;
  [[nodiscard]] bool areGuidesHidden() const override { return guidesHidden_; }
  void setGuidesHidden(bool hidden) override {
    if (guidesHidden_ != hidden) guidesHidden_ = hidden, scheduleRedraw();
  }
  void setGuides(std::span<const Rect> regions, std::span<const double> columns) override {
    guideRegions_.assign(regions.begin(), regions.end());
    guideColumns_.assign(columns.begin(), columns.end());
    if (!guidesHidden_) scheduleRedraw();
  }
  [[nodiscard]] bool offersBlurStrength() const override { return true; }
  void setBlurStrength(BlurStrength strength) override {
    if (strength == strength_) return;
    strength_ = strength;
    glass_ = glass::FrostedGlass(glass::FrostedGlassStyle::of(strength));
    scheduleRedraw();
  }

  void onEvent(const XEvent& event);
  void scheduleRedraw();

 private:
  [[nodiscard]] Rect topLeftFrame() const;
  void restackAboveTarget();
  void redraw();
  // The capture of the client under the panel, started when first needed; null without one.
  WindowCapture* captureOfClient();
  // The pixels of the client under the panel, captured now; null when there are none.
  const PixelBuffer* capturedWindow();
  // Glass made at low resolution, the server scaling both ways; false when there is none to
  // draw (no RENDER, no pixels yet, mid-resize).
  bool paintScaled(const Bitmap& all);
  // Paints the mask's pixels in one colour, on the server.
  void fillServerSide(const Bitmap& mask, std::uint32_t rgb);
  void paint(const Bitmap& patches, const Bitmap& columns, const Bitmap& outlines,
             const Bitmap& all);

  X11Connection& connection_;
  X11WindowServer& server_;
  platform::Executor& main_;
  std::vector<X11Panel*>& registry_;
  BlurStrength strength_ = BlurStrength::medium;
  glass::FrostedGlass glass_{glass::FrostedGlassStyle::of(strength_)};
  Window window_ = None;
  GC gc_ = nullptr;
  Visual* visual_ = nullptr;
  int depth_ = 0;
  Rect frame_;
  std::int64_t level_ = platform::kNormalWindowLevel;
  bool visible_ = false;
  int visibility_ = VisibilityFullyObscured;
  Window targetFrame_ = None;
  support::BlurViewSlots views_{[this](support::BlurViewSlots::Change) { scheduleRedraw(); }};
  bool guidesHidden_ = false;
  std::vector<Rect> guideRegions_;
  std::vector<double> guideColumns_;
  platform::ObserverList<> occlusion_;
  std::unique_ptr<WindowCapture> capture_;
  std::unique_ptr<ScaledGlass> scaledGlass_;
  bool scaledGlassRefused_ = false;
  Bitmap appliedShape_;
  bool redrawPending_ = false;
  std::chrono::steady_clock::time_point lastRedraw_;
  support::Lifetime lifetime_;  // last: ends before the rest goes
};

X11Panel::X11Panel(X11Connection& connection, X11WindowServer& server, platform::Executor& main,
                   std::vector<X11Panel*>& registry)
    : connection_(connection), server_(server), main_(main), registry_(registry) {
  Display* display = connection_.display();
  visual_ = DefaultVisual(display, connection_.screen());
  depth_ = DefaultDepth(display, connection_.screen());
  XSetWindowAttributes attributes{};
  attributes.override_redirect = True;
  attributes.background_pixmap = None;
  attributes.border_pixel = 0;
  attributes.event_mask = ExposureMask | VisibilityChangeMask | StructureNotifyMask;
  window_ =
      XCreateWindow(display, connection_.root(), 0, 0, 1, 1, 0, depth_, InputOutput, visual_,
                    CWOverrideRedirect | CWBackPixmap | CWBorderPixel | CWEventMask, &attributes);
  connection_.markOwnWindow(window_);
  gc_ = XCreateGC(display, window_, 0, nullptr);

  XClassHint hint{const_cast<char*>("velvix-overlay"), const_cast<char*>("Velvix")};
  XSetClassHint(display, window_, &hint);
  XStoreName(display, window_, "Velvix overlay");
  const unsigned long pid = static_cast<unsigned long>(getpid());
  XChangeProperty(display, window_, connection_.atoms().netWmPid, XA_CARDINAL, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(&pid), 1);
  // Nothing of the panel takes input, and nothing shows until there are patches.
  XShapeCombineRectangles(display, window_, ShapeInput, 0, 0, nullptr, 0, ShapeSet, Unsorted);
  XShapeCombineRectangles(display, window_, ShapeBounding, 0, 0, nullptr, 0, ShapeSet, Unsorted);
  registry_.push_back(this);
}

X11Panel::~X11Panel() {
  std::erase(registry_, this);
  capture_.reset();
  scaledGlass_.reset();  // its picture of the window first
  XFreeGC(connection_.display(), gc_);
  XDestroyWindow(connection_.display(), window_);
  connection_.unmarkOwnWindow(window_);
  XFlush(connection_.display());
}

Rect X11Panel::topLeftFrame() const {
  return platform::screenFlip(server_).map(frame_);
}

void X11Panel::setFrame(const Rect& frame) {
  frame_ = frame;
  const Rect r = inPixels(topLeftFrame());
  XMoveResizeWindow(connection_.display(), window_, static_cast<int>(std::lround(r.minX())),
                    static_cast<int>(std::lround(r.minY())),
                    static_cast<unsigned>(std::max(1, toPixels(r.width()))),
                    static_cast<unsigned>(std::max(1, toPixels(r.height()))));
  scheduleRedraw();
}

void X11Panel::orderOut() {
  if (visible_) XUnmapWindow(connection_.display(), window_);
  visible_ = false;
  targetFrame_ = None;
  capture_.reset();  // no need to keep WhatsApp redirected while nothing is shown
  XFlush(connection_.display());
}

void X11Panel::orderFrontRegardless() {
  XMapRaised(connection_.display(), window_);
  visible_ = true;
  targetFrame_ = None;
  scheduleRedraw();
  XFlush(connection_.display());
}

void X11Panel::restackAboveTarget() {
  XWindowChanges changes{};
  changes.sibling = targetFrame_;
  changes.stack_mode = Above;
  if (!connection_.checked([&] {
        XConfigureWindow(connection_.display(), window_, CWSibling | CWStackMode, &changes);
      }))
    targetFrame_ = None;  // the window went away; the next ordering finds it anew
}

void X11Panel::orderAbove(std::uint32_t windowNumber) {
  const auto frame = server_.frameOf(windowNumber);
  if (!frame || *frame == window_) return;
  targetFrame_ = *frame;
  restackAboveTarget();
  if (targetFrame_ == None) return;
  if (!visible_) XMapWindow(connection_.display(), window_);
  visible_ = true;
  scheduleRedraw();
  XFlush(connection_.display());
}

std::unique_ptr<platform::BlurView> X11Panel::addBlurView() {
  scheduleRedraw();
  return views_.add();
}

void X11Panel::onEvent(const XEvent& event) {
  if (capture_ && capture_->isDamage(event)) {
    scheduleRedraw();
    return;
  }
  switch (event.type) {
    case Expose:
      if (event.xexpose.window == window_ && event.xexpose.count == 0) scheduleRedraw();
      break;
    case VisibilityNotify:
      if (event.xvisibility.window == window_ && visibility_ != event.xvisibility.state) {
        visibility_ = event.xvisibility.state;
        main_.post(lifetime_.guard([this] { occlusion_.notify(); }));
      }
      break;
    case ConfigureNotify: {
      // Something was restacked directly above the window we lie on, or that window itself
      // moved in the stacking: lie directly above it again.
      const XConfigureEvent& c = event.xconfigure;
      if (visible_ && targetFrame_ != None && c.event == connection_.root() &&
          c.window != window_ && (c.above == targetFrame_ || c.window == targetFrame_))
        restackAboveTarget();
      break;
    }
    default:
      break;
  }
}

void X11Panel::scheduleRedraw() {
  if (redrawPending_) return;
  redrawPending_ = true;
  const auto due = lastRedraw_ + kDisplayFrame;
  const auto now = std::chrono::steady_clock::now();
  const platform::Duration delay = due > now ? due - now : platform::Duration::zero();
  main_.postAfter(delay, lifetime_.guard([this] {
    if (redrawPending_) redraw();
  }));
}

void X11Panel::redraw() {
  redrawPending_ = false;
  lastRedraw_ = std::chrono::steady_clock::now();
  const Rect frame = inPixels(topLeftFrame());
  const int width = std::max(1, toPixels(frame.width())),
            height = std::max(1, toPixels(frame.height()));

  const double s = connection_.scale();
  std::vector<MaskShape> shapes;
  for (const auto& view : views_.states()) {
    if (!view.isHidden && view.mask)
      shapes.push_back({inPixels(view.frame), *view.mask, kPatchCornerRadius * s});
  }
  const Bitmap patches = rasterizeMask(width, height, shapes);
  Bitmap columns(width, height), outlines(width, height);
  if (!guidesHidden_) {
    std::vector<double> columnsInPixels;
    for (const double x : guideColumns_)
      columnsInPixels.push_back(x * s);
    std::vector<Rect> regionsInPixels;
    for (const Rect& r : guideRegions_)
      regionsInPixels.push_back(inPixels(r));
    addGuides(columns, {}, columnsInPixels);
    addGuides(outlines, regionsInPixels, {});
  }
  Bitmap all = patches;
  all.unite(columns);
  all.unite(outlines);

  Display* display = connection_.display();
  if (!(all == appliedShape_)) {
    if (all.isEmpty()) {
      XShapeCombineRectangles(display, window_, ShapeBounding, 0, 0, nullptr, 0, ShapeSet,
                              Unsorted);
    } else {
      Pixmap bitmap =
          XCreateBitmapFromData(display, window_, reinterpret_cast<const char*>(all.bytes().data()),
                                static_cast<unsigned>(width), static_cast<unsigned>(height));
      XShapeCombineMask(display, window_, ShapeBounding, 0, 0, bitmap, ShapeSet);
      XFreePixmap(display, bitmap);
    }
    appliedShape_ = all;
  }
  if (visible_ && !all.isEmpty()) paint(patches, columns, outlines, all);
  XFlush(display);
}

WindowCapture* X11Panel::captureOfClient() {
  // The window we lie exactly over, never the screen (which would hold the overlay itself).
  const auto source = server_.clientAt(topLeftFrame());
  if (!source || (capture_ && capture_->source() != *source)) capture_.reset();
  if (source && !capture_) capture_ = WindowCapture::start(connection_, *source);
  return capture_.get();
}

const PixelBuffer* X11Panel::capturedWindow() {
  WindowCapture* capture = captureOfClient();
  return capture ? capture->capture() : nullptr;
}

std::optional<platform::WindowImage> X11Panel::windowImage() {
  // The window the glass is made of, at full size.
  const PixelBuffer* pixels = capturedWindow();
  if (!pixels || !pixels->isValid()) return std::nullopt;
  platform::WindowImage image;
  image.scale = connection_.scale();
  image.width = pixels->width();
  image.height = pixels->height();
  image.pixels.resize(static_cast<std::size_t>(image.width) * image.height);
  for (int y = 0; y < image.height; ++y) {
    const std::uint8_t* row = pixels->data() + static_cast<std::ptrdiff_t>(y) * pixels->stride();
    for (int x = 0; x < image.width; ++x) {
      std::uint32_t pixel = 0;
      std::memcpy(&pixel, row + 4 * x, 4);  // 0x..RRGGBB; the top byte is padding
      image.pixels[static_cast<std::size_t>(y) * image.width + x] = 0xFF000000 | (pixel & 0xFFFFFF);
    }
  }
  // Measuring is rare, and the glass has no use for the full-size buffer.
  capture_->releaseFullSize();
  return image;
}

bool X11Panel::paintScaled(const Bitmap& all) {
  const int factor = glass_.downscale();
  if (!scaledGlass_ && !scaledGlassRefused_) {
    scaledGlass_ = ScaledGlass::create(connection_, window_, visual_, depth_);
    scaledGlassRefused_ = !scaledGlass_;
  }
  WindowCapture* capture = captureOfClient();
  if (!scaledGlass_ || !capture) return false;
  const WindowCapture::Scaled scaled = capture->captureScaledDown(factor);
  if (!scaled.pixels) return false;
  if (scaled.sourceWidth != all.width() || scaled.sourceHeight != all.height()) {
    scheduleRedraw();  // mid-resize: try again soon
    return false;
  }
  const int w = scaled.pixels->width(), h = scaled.pixels->height();
  PixelBuffer* image = scaledGlass_->image(w, h);
  if (!image) return false;
  // Both hold 32-bit pixels of the same channel order; the fourth byte is padding to the server.
  for (int y = 0; y < h; ++y)
    std::memcpy(image->data() + y * image->stride(),
                scaled.pixels->data() + y * scaled.pixels->stride(),
                static_cast<std::size_t>(w) * 4);
  glass_.frostDownscaled({image->data(), w, h, image->stride()});
  const Bitmap::Bounds drawn = all.bounds();
  scaledGlass_->draw(factor, drawn.minX, drawn.minY, drawn.maxX - drawn.minX,
                     drawn.maxY - drawn.minY);
  return true;
}

void X11Panel::fillServerSide(const Bitmap& mask, std::uint32_t rgb) {
  if (mask.isEmpty()) return;
  Display* display = connection_.display();
  const Pixmap bits = XCreateBitmapFromData(
      display, window_, reinterpret_cast<const char*>(mask.bytes().data()),
      static_cast<unsigned>(mask.width()), static_cast<unsigned>(mask.height()));
  XSetClipMask(display, gc_, bits);
  XSetForeground(display, gc_, rgb);  // the pixel value itself: 8-8-8 true colour
  XFillRectangle(display, window_, gc_, 0, 0, static_cast<unsigned>(mask.width()),
                 static_cast<unsigned>(mask.height()));
  XSetClipMask(display, gc_, None);
  XFreePixmap(display, bits);
}

void X11Panel::paint(const Bitmap& patches, const Bitmap& columns, const Bitmap& outlines,
                     const Bitmap& all) {
  if (!isRgb888(visual_, depth_)) {
    // A visual we do not draw pixels for: the patches are plain, which still hides.
    fillServerSide(all, WhitePixel(connection_.display(), connection_.screen()));
    return;
  }
  // Until WhatsApp has painted into its new pixmap, or while it catches up with a resize, the
  // patches are plain; its next damage report brings the glass.
  if (!paintScaled(all)) fillServerSide(patches, kFallbackGlass);
  fillServerSide(columns, kGuideColumnColour);
  fillServerSide(outlines, kGuideRegionColour);
}

// Which of the server's modifier bits the keys a shortcut names and the locks set, as its
// modifier mapping says now. Alt and Super are Mod1 and Mod4 on nearly every keyboard; Num Lock
// and Scroll Lock have no usual bit, or none at all.
struct ModifierBits {
  unsigned alt = Mod1Mask, super = Mod4Mask, numLock = 0, scrollLock = 0;
};

ModifierBits modifierBits(Display* display) {
  ModifierBits bits;
  XModifierKeymap* map = XGetModifierMapping(display);
  if (!map) return bits;
  bool alt = false, super = false;
  for (int modifier = Mod1MapIndex; modifier <= Mod5MapIndex; ++modifier) {
    for (int k = 0; k < map->max_keypermod; ++k) {
      const KeyCode code = map->modifiermap[modifier * map->max_keypermod + k];
      if (!code) continue;
      const KeySym keysym = XkbKeycodeToKeysym(display, code, 0, 0);
      const unsigned bit = 1u << modifier;
      if ((keysym == XK_Alt_L || keysym == XK_Alt_R) && !std::exchange(alt, true)) bits.alt = bit;
      if ((keysym == XK_Super_L || keysym == XK_Super_R) && !std::exchange(super, true))
        bits.super = bit;
      if (keysym == XK_Num_Lock) bits.numLock = bit;
      if (keysym == XK_Scroll_Lock) bits.scrollLock = bit;
    }
  }
  XFreeModifiermap(map);
  return bits;
}

constexpr unsigned kModifierMasks =
    ShiftMask | LockMask | ControlMask | Mod1Mask | Mod2Mask | Mod3Mask | Mod4Mask | Mod5Mask;

}  // namespace

// A shortcut's passive grabs: its key with its modifiers under every combination of the locks,
// since the server matches modifiers exactly and a lock left on would otherwise hide the key.
struct X11Toolkit::KeyGrab {
  std::uint64_t id = 0;
  KeyCode keycode = 0;
  unsigned modifiers = 0;  // the server's bits
  unsigned locks = 0;      // every lock bit in use
  std::vector<unsigned> lockCombinations;
  std::function<void()> handler;
  bool isHeld = false;  // between its press and release: a repeat is no new press
};

struct X11Toolkit::Handlers {
  std::array<platform::ObserverList<WorkspaceEvent>, 2> workspace;  // indexed by WorkspaceEvent
  platform::ObserverList<const platform::ScrollWheelEvent&> scroll;
  platform::ObserverList<> click;
  platform::ObserverList<> pointer;
  bool pointerPending = false;  // one notification for however many moves came at once
  std::vector<X11Panel*> panels;
  std::vector<KeyGrab> keys;
  std::uint64_t nextKey = 1;
};

X11Toolkit::X11Toolkit(X11Connection& connection, X11WindowServer& windowServer,
                       platform::Scheduler& scheduler)
    : connection_(connection),
      windowServer_(windowServer),
      scheduler_(scheduler),
      handlers_(std::make_shared<Handlers>()) {
  // The window server already listens to the root's structure and properties.
  const auto read = [&](Atom atom) -> std::optional<unsigned long> {
    const auto values = connection_.cardinals(
        connection_.root(), atom,
        atom == connection_.atoms().netActiveWindow ? XA_WINDOW : XA_CARDINAL);
    if (!values || values->empty()) return std::nullopt;
    return values->front();
  };
  activeWindow_ = read(connection_.atoms().netActiveWindow);
  currentDesktop_ = read(connection_.atoms().netCurrentDesktop);
  listener_ = connection_.addListener([this](const XEvent& event) { onEvent(event); });
}

X11Toolkit::~X11Toolkit() {
  connection_.removeListener(listener_);
  for (const KeyGrab& grab : std::exchange(handlers_->keys, {}))
    ungrab(grab);
  XFlush(connection_.display());
}

std::unique_ptr<platform::Panel> X11Toolkit::makeOverlayPanel() {
  return std::make_unique<X11Panel>(connection_, windowServer_, scheduler_.mainQueue(),
                                    handlers_->panels);
}

Subscription X11Toolkit::observeWorkspace(WorkspaceEvent event,
                                          std::function<void(WorkspaceEvent)> handler) {
  return handlers_->workspace[static_cast<std::size_t>(event)].add(std::move(handler));
}

Subscription X11Toolkit::addGlobalScrollWheelMonitor(
    std::function<void(const platform::ScrollWheelEvent&)> handler) {
  if (!connection_.selectRawEvent(XI_RawButtonPress)) return {};
  return handlers_->scroll.add(std::move(handler));
}

Subscription X11Toolkit::addGlobalClickMonitor(std::function<void()> handler) {
  if (!connection_.selectRawEvent(XI_RawButtonPress)) return {};
  return handlers_->click.add(std::move(handler));
}

Subscription X11Toolkit::addGlobalPointerMonitor(std::function<void()> handler) {
  if (!connection_.selectRawEvent(XI_RawMotion)) return {};
  return handlers_->pointer.add(std::move(handler));
}

platform::GlobalShortcut X11Toolkit::addGlobalShortcut(std::string_view keys,
                                                       std::function<void()> handler) {
  const ParsedShortcut parsed = parseShortcut(keys);
  if (!parsed.keys) return {{}, parsed.problem};
  Display* display = connection_.display();
  const KeyCode keycode = XKeysymToKeycode(display, parsed.keys->keysym);
  if (keycode == 0) {
    std::string problem = "This keyboard has no key for ";
    problem += keys;
    return {{}, problem};
  }

  const ModifierBits bits = modifierBits(display);
  KeyGrab grab;
  grab.id = handlers_->nextKey++;
  grab.keycode = keycode;
  const unsigned named = parsed.keys->modifiers;
  grab.modifiers = (named & kCtrl ? ControlMask : 0) | (named & kShift ? ShiftMask : 0) |
                   (named & kAlt ? bits.alt : 0) | (named & kSuper ? bits.super : 0);
  for (const unsigned lock : {static_cast<unsigned>(LockMask), bits.numLock, bits.scrollLock})
    if (!(lock & grab.modifiers)) grab.locks |= lock;
  for (unsigned subset = grab.locks;; subset = (subset - 1) & grab.locks) {
    grab.lockCombinations.push_back(subset);
    if (subset == 0) break;
  }
  grab.handler = std::move(handler);
  // Held keys repeat as presses alone, without releases in between: a press while held is one.
  XkbSetDetectableAutoRepeat(display, True, nullptr);
  // BadAccess when another client holds any of the combinations; the error is ours to read,
  // not a fatal one.
  if (!connection_.checked([&] {
        for (const unsigned locks : grab.lockCombinations)
          XGrabKey(display, keycode, grab.modifiers | locks, connection_.root(), False,
                   GrabModeAsync, GrabModeAsync);
      })) {
    ungrab(grab);
    XFlush(display);
    return {{}, std::string("Another program already uses ").append(keys)};
  }
  const std::uint64_t id = grab.id;
  handlers_->keys.push_back(std::move(grab));
  return {Subscription([this, alive = std::weak_ptr(handlers_), id] {
            if (!alive.lock()) return;  // the toolkit is gone, and its grabs with it
            auto& all = handlers_->keys;
            const auto it =
                std::find_if(all.begin(), all.end(), [&](const KeyGrab& g) { return g.id == id; });
            if (it == all.end()) return;
            const KeyGrab gone = std::move(*it);
            all.erase(it);
            ungrab(gone);
            XFlush(connection_.display());
          }),
          {}};
}

void X11Toolkit::ungrab(const KeyGrab& grab) {
  // The server holds one grab per combination for this connection: leave it to another shortcut
  // of the same keys.
  for (const KeyGrab& other : handlers_->keys)
    if (other.id != grab.id && other.keycode == grab.keycode && other.modifiers == grab.modifiers)
      return;
  for (const unsigned locks : grab.lockCombinations)
    XUngrabKey(connection_.display(), grab.keycode, grab.modifiers | locks, connection_.root());
}

void X11Toolkit::onKey(const XKeyEvent& key) {
  for (KeyGrab& grab : handlers_->keys) {
    if (grab.keycode != key.keycode) continue;
    if (key.type == KeyRelease) {
      grab.isHeld = false;
      continue;
    }
    if ((key.state & kModifierMasks & ~grab.locks) != grab.modifiers) continue;
    if (std::exchange(grab.isHeld, true)) continue;
    // Not for a shortcut cancelled before its turn on the main queue.
    scheduler_.mainQueue().post(lifetime_.guard([this, id = grab.id] {
      for (const KeyGrab& g : handlers_->keys) {
        if (g.id != id) continue;
        const auto handler = g.handler;  // it may cancel its own shortcut
        handler();
        return;
      }
    }));
  }
}

std::optional<double> X11Toolkit::secondsSinceInput() const {
  if (!connection_.extensions().screenSaver) return std::nullopt;
  XScreenSaverInfo info{};
  if (!XScreenSaverQueryInfo(connection_.display(), connection_.root(), &info)) return std::nullopt;
  return static_cast<double>(info.idle) / 1000.0;
}

void X11Toolkit::onEvent(const XEvent& event) {
  for (X11Panel* panel : std::vector(handlers_->panels))
    panel->onEvent(event);
  if ((event.type == KeyPress || event.type == KeyRelease) &&
      event.xkey.window == connection_.root()) {
    onKey(event.xkey);
    return;
  }

  // Heard on the main queue, outside the event dispatch; not by an observer gone meanwhile.
  const auto announce = [&](WorkspaceEvent e) {
    scheduler_.mainQueue().post(lifetime_.guard(
        [this, e] { handlers_->workspace[static_cast<std::size_t>(e)].notify(e); }));
  };
  const Atoms& atoms = connection_.atoms();
  if (event.type == PropertyNotify && event.xproperty.window == connection_.root()) {
    if (event.xproperty.atom != atoms.netActiveWindow &&
        event.xproperty.atom != atoms.netCurrentDesktop)
      return;
    const bool isActive = event.xproperty.atom == atoms.netActiveWindow;
    const auto values = connection_.cardinals(connection_.root(), event.xproperty.atom,
                                              isActive ? XA_WINDOW : XA_CARDINAL);
    std::optional<unsigned long> value;
    if (values && !values->empty()) value = values->front();
    auto& last = isActive ? activeWindow_ : currentDesktop_;
    if (value == last) return;  // rewritten with the same value: nothing changed
    last = value;
    announce(isActive ? WorkspaceEvent::didActivateApplication
                      : WorkspaceEvent::activeSpaceDidChange);
  } else if (event.type == GenericEvent && connection_.extensions().xinputOpcode &&
             event.xcookie.extension == *connection_.extensions().xinputOpcode &&
             event.xcookie.evtype == XI_RawMotion && event.xcookie.data) {
    const auto* raw = static_cast<const XIRawEvent*>(event.xcookie.data);
    if (raw->deviceid != raw->sourceid || handlers_->pointerPending) return;
    handlers_->pointerPending = true;
    scheduler_.mainQueue().post(lifetime_.guard([this] {
      handlers_->pointerPending = false;
      handlers_->pointer.notify();
    }));
  } else if (event.type == GenericEvent && connection_.extensions().xinputOpcode &&
             event.xcookie.extension == *connection_.extensions().xinputOpcode &&
             event.xcookie.evtype == XI_RawButtonPress && event.xcookie.data) {
    const auto* raw = static_cast<const XIRawEvent*>(event.xcookie.data);
    if (raw->deviceid != raw->sourceid) return;  // the master device repeats its slaves' events
    // Buttons 4 and 5 are a wheel's notches up (content moves down) and down; 6 and 7 are
    // sideways, which moves nothing up or down.
    if (raw->detail >= 4 && raw->detail <= 7) {
      const platform::ScrollWheelEvent wheel{raw->detail == 4   ? 1.0
                                             : raw->detail == 5 ? -1.0
                                                                : 0.0};
      scheduler_.mainQueue().post(
          lifetime_.guard([this, wheel] { handlers_->scroll.notify(wheel); }));
    } else if (raw->detail == 1) {
      scheduler_.mainQueue().post(lifetime_.guard([this] { handlers_->click.notify(); }));
    }
  }
}

}  // namespace velvix::x11
