#include "OverlayController.hpp"

#include <Velvix/AccessibilityReader.hpp>
#include <Velvix/ScrollTracker.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <limits>
#include <ostream>
#include <string>

namespace velvix {

namespace {

using namespace std::chrono_literals;
using platform::Fixed;

constexpr auto kFrameInterval = std::chrono::duration_cast<platform::Duration>(1s) / 30;
constexpr auto kFollowInterval = 8ms;
constexpr auto kReadRetry = 100ms;       // reading impossible: check again
constexpr auto kReadReevaluate = 20ms;   // idle: is a read due yet?
constexpr double kReadInterval = 0.1;    // idle: at most one read this often
constexpr double kScrollActivity = 0.4;  // a wheel event marks WhatsApp as scrolling this long
constexpr double kMissingGrace = 0.3;    // window gaps shorter than this keep the overlay
constexpr double kOtherSpaceHold = 0.6;  // patches stay on the old Space this long
constexpr double kSummaryInterval = 5.0;

// The summary prints frames truncated toward zero; a frame of NaN or beyond `long` would make
// that conversion undefined, so such values print as 0 or the nearest bound instead.
long truncated(double value) {
  if (!(value == value)) return 0;
  if (value >= static_cast<double>(std::numeric_limits<long>::max())) {
    return std::numeric_limits<long>::max();
  }
  if (value <= static_cast<double>(std::numeric_limits<long>::min())) {
    return std::numeric_limits<long>::min();
  }
  return static_cast<long>(value);
}

}  // namespace

bool GuidesView::update(std::span<const Rect> regions, const LayoutMetrics& metrics) {
  const double columns[] = {metrics.railWidth, metrics.railWidth + metrics.chatListWidth};
  if (std::equal(regions.begin(), regions.end(), regions_.begin(), regions_.end()) &&
      std::equal(std::begin(columns), std::end(columns), columns_.begin(), columns_.end())) {
    return false;
  }
  regions_.assign(regions.begin(), regions.end());
  columns_.assign(std::begin(columns), std::end(columns));
  return true;
}

OverlayController::OverlayController(AppSettings& settings, const OverlayPorts& ports,
                                     OverlayOptions options)
    : settings_(settings),
      ports_(ports),
      options_(options),
      logger_(ports.log, "window"),
      hasAccessibilityAccess_(ports.accessibility.isProcessTrusted()),
      panel_(ports.toolkit.makeOverlayPanel()),
      reader_(
          std::make_shared<AccessibilityReader>(ports.accessibility, ports.scheduler, ports.log)),
      scrollSample_{ports.scheduler.mediaTime(), {}},
      stats_(ports.scheduler, ports.log) {}

OverlayController::~OverlayController() {
  // Timers, ticker and observers stop with their handles; work still queued for the loops
  // finds `alive_` expired and ends there.
  alive_.reset();
}

void OverlayController::start() {
  if (timer_) return;
  auto& scheduler = ports_.scheduler;
  timer_ = scheduler.scheduleRepeating(kFrameInterval, [this] { tick(); });

  frameTicker_ = std::make_shared<FrameTicker>([this] { render(); });
  displayLink_ = scheduler.startDisplayTicker([ticker = frameTicker_] { ticker->step(); });

  for (const auto event : {platform::WorkspaceEvent::didActivateApplication,
                           platform::WorkspaceEvent::activeSpaceDidChange}) {
    observers_.push_back(ports_.toolkit.observeWorkspace(event, [this](platform::WorkspaceEvent e) {
      logger_.debug("%{public}s", platform::notificationName(e));
      tick();
      refreshBlurs();
    }));
  }
  observers_.push_back(ports_.toolkit.addGlobalScrollWheelMonitor([this] {
    if (isWhatsAppUnderMouse_) lastScroll_ = ports_.scheduler.now();
  }));
  observers_.push_back(panel_->observeOcclusion([this] {
    if (!panel_->isOcclusionVisible()) return;
    logger_.log("Blurs visible again");
    tick();
    refreshBlurs();
  }));

  scheduler.mainQueue().post([this, alive = std::weak_ptr<char>(alive_)] {
    if (!alive.expired()) readStep();
  });
  if (options_.followsScrolling) startFollowLoop();
}

// MARK: Frame timer and visibility

void OverlayController::tick() {
  const bool trusted = ports_.accessibility.isProcessTrusted();
  if (trusted != hasAccessibilityAccess_) setHasAccessibilityAccess(trusted);
  if (!isOn()) {
    hide(Status::disabled());
    return;
  }

  const auto found = WhatsAppWindow::current(ports_.windowServer, mouseTopLeft());
  const platform::WallTime now = ports_.scheduler.now();

  if (!found) {
    const platform::WallTime since = missingSince_.value_or(now);
    if (!missingSince_) {
      missingSince_ = since;
      logger_.log("WhatsApp window left the screen");
    }
    window_.reset();
    deactivateTracker();
    scrollSample_ = {ports_.scheduler.mediaTime(), {}};
    scrollVelocity_ = {};

    // Only this build is looked up: for the other one, a missing window always counts as gone.
    const auto apps = ports_.windowServer.runningApplications("net.whatsapp.WhatsApp");
    const bool gone = apps.empty() || apps.front().isHidden || apps.front().isTerminated;
    const bool onActiveSpace = panel_->isOnActiveSpace();
    const bool stale = onActiveSpace && now - since >= kMissingGrace;
    if (panel_->isVisible() && (gone || stale)) {
      logger_.log("Hiding blurs: hidden %{bool}d, on this Space %{bool}d", gone, onActiveSpace);
      hide(Status::waitingForWhatsApp());
    } else if (!panel_->isVisible()) {
      // Nothing is shown, so nothing is protected: not "disabled" either once protection was
      // switched back on while WhatsApp was away.
      setStatus(Status::waitingForWhatsApp());
    }
    // Nothing is drawn: a panel still shown keeps its last patches.
    return;
  }

  if (missingSince_ || onScreenSince_ == platform::WallTime::distantPast()) onScreenSince_ = now;
  if (missingSince_) {
    logger_.log("WhatsApp window back after %.*f s, blurs visible %{bool}d, on this Space %{bool}d",
                Fixed{2, now - *missingSince_}, panel_->isVisible(), panel_->isOnActiveSpace());
    missingSince_.reset();
  }
  window_ = found;
  isWhatsAppUnderMouse_ = found->isUnderMouse;
  position(*window_);
  render();
}

void OverlayController::hide(Status status) {
  if (status == Status::waitingForWhatsApp() && status_ != Status::waitingForWhatsApp()) {
    logger_.log("Blurs hidden");
  }
  onScreenSince_ = platform::WallTime::distantPast();
  setStatus(status);
  window_.reset();
  deactivateTracker();
  isWhatsAppUnderMouse_ = false;
  if (panel_->isVisible()) panel_->orderOut();
  lastFrame_ = Rect::null();  // so that the next positioning sets the frame again
}

// MARK: Drawing

void OverlayController::render() {
  stats_.frame();
  if (!window_ || !isOn()) return;
  const WhatsAppWindow& window = *window_;

  static const DetectedElements layoutMode;
  const DetectedElements* elements = &layoutMode;
  ScrollOffset scroll;
  if (settings_.usesAccessibility() && hasAccessibilityAccess_ && detected_ &&
      detected_->windowID == window.id) {
    elements = &detected_->elements;
    scroll = extrapolatedScroll(scrollSample_, scrollVelocity_, ports_.scheduler.mediaTime());
  }
  setStatus(Status::protecting(elements->isRead));

  const auto regions = BlurLayout::regions(window.frame.size, settings_.metrics(),
                                           settings_.options(), *elements, scroll);
  const auto mouse = window.isUnderMouse ? localMouseLocation(window.frame) : std::nullopt;
  draw(BlurLayout::visibleBlurs(regions, mouse));
  logSummary(window, *elements, regions.size());

  const bool showGuides = settings_.showsGuides();
  if (panel_->areGuidesHidden() == showGuides) panel_->setGuidesHidden(!showGuides);
  if (showGuides) {
    std::vector<Rect> rects;
    rects.reserve(regions.size());
    for (const auto& r : regions)
      rects.push_back(r.rect);
    if (guides_.update(rects, settings_.metrics())) {
      panel_->setGuides(guides_.regions(), guides_.columns());
    }
  }
}

void OverlayController::draw(std::span<const VisibleBlur> blurs) {
  while (blurViews_.size() < blurs.size())
    blurViews_.push_back(panel_->addBlurView());
  for (std::size_t i = 0; i < blurs.size(); ++i) {
    platform::BlurView& view = *blurViews_[i];
    const VisibleBlur& blur = blurs[i];
    if (!(view.frame() == blur.rect)) view.setFrame(blur.rect);
    if (view.mask() != blur.shape) view.setMask(blur.shape);
    if (view.isHidden()) view.setHidden(false);
  }
  // Surplus views are hidden, not removed: the next busy frame reuses them.
  for (std::size_t i = blurs.size(); i < blurViews_.size(); ++i) {
    if (!blurViews_[i]->isHidden()) blurViews_[i]->setHidden(true);
  }
}

void OverlayController::position(const WhatsAppWindow& window) {
  platform::Panel& panel = *panel_;
  const bool onOtherSpace = panel.isVisible() && !panel.isOnActiveSpace();
  if (onOtherSpace) {
    // WhatsApp has just come back on this Space while the patches still show on another one:
    // leave them there briefly rather than flicker between Spaces.
    if (ports_.scheduler.now() - onScreenSince_ < kOtherSpaceHold) return;
    logger_.log("Moving blurs to this Space, where WhatsApp now is");
  }
  if (!(window.frame == lastFrame_)) {
    panel.setFrame(flippedForScreen(window.frame, ports_.windowServer));
    lastFrame_ = window.frame;
  }

  const auto front = ports_.windowServer.frontmostApplication();
  if (front && front->pid == window.pid) {
    if (panel.level() != platform::kFloatingWindowLevel) {
      panel.setLevel(platform::kFloatingWindowLevel);
    }
    if (!(panel.isVisible() && panel.isOnActiveSpace())) panel.orderFrontRegardless();
    return;
  }
  if (panel.level() != platform::kNormalWindowLevel) panel.setLevel(platform::kNormalWindowLevel);
  const auto panelNumber = static_cast<std::uint32_t>(panel.windowNumber());
  if (panel.isVisible() && panel.isOnActiveSpace() && window.windowAbove == panelNumber) return;
  panel.orderAbove(window.id);
}

void OverlayController::refreshBlurs() {
  if (!window_ || !isOn()) return;
  blurViews_.clear();  // destroying a view removes it from the panel
  render();
  panel_->displayNow();
}

std::optional<Point> OverlayController::localMouseLocation(const Rect& frame) const {
  const Point p = mouseTopLeft();
  if (!frame.contains(p)) return std::nullopt;
  return Point{p.x - frame.minX(), p.y - frame.minY()};
}

void OverlayController::logSummary(const WhatsAppWindow& window, const DetectedElements& elements,
                                   std::size_t regions) {
  const platform::WallTime now = ports_.scheduler.now();
  if (now - lastSummary_ < kSummaryInterval) return;
  lastSummary_ = now;

  std::string read;
  if (!hasAccessibilityAccess_) {
    read = "no-access";
  } else if (!detected_) {
    read = "none-yet";
  } else if (detected_->windowID == window.id) {
    read = "used";
  } else {
    read = "other-window(" + std::to_string(detected_->windowID) + ")";
  }
  const platform::Panel& panel = *panel_;
  const auto count = [](std::size_t n) { return static_cast<long>(n); };
  logger_.log(
      "Summary: window %u %ld,%ld %ldx%ld read %{public}s list %{bool}d rows %ld covered "
      "%{bool}d thumbnails %ld messages %ld regions %ld panel visible %{bool}d this-space "
      "%{bool}d level %ld frame-ok %{bool}d",
      window.id, truncated(window.frame.minX()), truncated(window.frame.minY()),
      truncated(window.frame.width()), truncated(window.frame.height()), read,
      elements.chatList.has_value(), count(elements.chatRows.size()), elements.isChatListCovered,
      count(elements.mediaThumbnails.size()), count(elements.messages.size()), count(regions),
      panel.isVisible(), panel.isOnActiveSpace(), static_cast<long>(panel.level()),
      panel.frame() == flippedForScreen(window.frame, ports_.windowServer));
}

// MARK: Follow loop (defined before the read loop, which wakes it)

// The follow loop: measure on its own executor, apply on the main queue, wait 8 ms, repeat. The
// background half touches only the tracker; the main-thread half only runs while the
// controller is alive, which is decided on the main thread too.
//
// While the tracker is inactive every measurement would come back empty, so the loop parks
// instead of waking 125 times a second for nothing (in layout mode that is all the time). The
// main thread wakes it when it accepts a read: measurements taken between the reader's publish
// and that moment belong to a generation the controller does not hold yet and would be dropped.
struct OverlayController::FollowLoop : std::enable_shared_from_this<FollowLoop> {
  FollowLoop(std::shared_ptr<ScrollTracker> tracker, std::weak_ptr<platform::Executor> executor,
             platform::Executor& main, std::weak_ptr<char> alive,
             std::function<void(ScrollOffset, std::int64_t)> apply)
      : tracker(std::move(tracker)),
        executor(std::move(executor)),
        main(main),
        alive(std::move(alive)),
        apply(std::move(apply)) {}

  std::shared_ptr<ScrollTracker> tracker;
  std::weak_ptr<platform::Executor> executor;
  platform::Executor& main;
  std::weak_ptr<char> alive;
  std::function<void(ScrollOffset, std::int64_t)> apply;
  std::atomic<bool> parked = false;

  void iterate() {
    if (alive.expired()) return;  // a stale read of the flag only costs one more measurement
    const auto measurement = tracker->measure();
    if (!measurement) {
      if (tracker->isActive()) {
        sleep();
      } else {
        park();
      }
      return;
    }
    main.post([self = shared_from_this(), m = *measurement] {
      if (self->alive.expired()) return;
      self->apply(m.offset, m.generation);
      self->sleep();
    });
  }
  void sleep() {
    if (const auto e = executor.lock()) {
      e->postAfter(kFollowInterval, [self = shared_from_this()] { self->iterate(); });
    }
  }
  void park() {
    parked.store(true);
    // An activation between the look above and the flag may have found the loop not parked
    // yet and gone unnoticed: look once more. Whoever clears the flag resumes the loop.
    if (tracker->isActive() && parked.exchange(false)) sleep();
  }
  /// Any thread.
  void wake() {
    if (!parked.exchange(false)) return;
    if (const auto e = executor.lock()) e->post([self = shared_from_this()] { self->iterate(); });
  }
};

// MARK: Read loop

void OverlayController::readAfter(platform::Duration delay) {
  ports_.scheduler.mainQueue().postAfter(delay, [this, alive = std::weak_ptr<char>(alive_)] {
    if (!alive.expired()) readStep();
  });
}

void OverlayController::readStep() {
  if (!window_ || !settings_.isEnabled() || !settings_.usesAccessibility() ||
      !hasAccessibilityAccess_) {
    deactivateTracker();
    readAfter(kReadRetry);
    return;
  }
  const WhatsAppWindow captured = *window_;
  const platform::WallTime now = ports_.scheduler.now();
  const double sinceScroll = now - lastScroll_;
  const bool scrolling = sinceScroll < kScrollActivity;
  if (!scrolling && now - lastRead_ < kReadInterval) {
    readAfter(kReadReevaluate);
    return;
  }
  lastRead_ = now;

  // The read itself runs on the reader's executor; only its result comes back here.
  auto& main = ports_.scheduler.mainQueue();
  reader_->executor().post([reader = reader_, &accessibility = ports_.accessibility, &main,
                            alive = std::weak_ptr<char>(alive_), this, captured, sinceScroll,
                            scrolling] {
    std::optional<std::pair<DetectedElements, std::int64_t>> result;
    const bool trusted = accessibility.isProcessTrusted();
    if (trusted) {
      if (auto read = reader->read(captured.pid, captured.frame, scrolling)) {
        result.emplace(std::move(read->elements), read->generation);
      }
    }
    main.post([alive, this, captured, sinceScroll, result = std::move(result)]() mutable {
      if (alive.expired()) return;
      accept(captured, sinceScroll, std::move(result));
      readStep();  // no pause after a read
    });
  });
}

void OverlayController::accept(const WhatsAppWindow& captured, double sinceScroll,
                               std::optional<std::pair<DetectedElements, std::int64_t>> result) {
  if (!result) return;  // a failed read keeps what was detected before
  auto& [elements, generation] = *result;

  if (detected_ && elements.lostContent(detected_->elements)) {
    ++contentLossReads_;
    if (contentLossReads_ <= 2) {
      logger_.log("Ignoring a read without WhatsApp's content (%ld)",
                  static_cast<long>(contentLossReads_));
      return;
    }
  }
  contentLossReads_ = 0;
  latestMessages_.apply(elements, sinceScroll >= kScrollActivity);
  std::optional<DetectedElements> previous;
  if (detected_ && detected_->windowID == captured.id) previous = std::move(detected_->elements);
  detected_ = Detected{captured.id, elements.withContentBehindSheet(previous)};
  detectedGeneration_ = generation;
  scrollSample_ = {ports_.scheduler.mediaTime(), {}};
  if (followLoop_) followLoop_->wake();
}

// MARK: Follow loop: start and apply

void OverlayController::startFollowLoop() {
  followExecutor_ = ports_.scheduler.makeSerialExecutor("app.velvix.follow");
  followLoop_ = std::make_shared<FollowLoop>(
      reader_->tracker(), followExecutor_, ports_.scheduler.mainQueue(), alive_,
      [this](ScrollOffset offset, std::int64_t generation) { measured(offset, generation); });
  followExecutor_->post([loop = followLoop_] { loop->iterate(); });
}

void OverlayController::measured(ScrollOffset offset, std::int64_t generation) {
  if (generation != detectedGeneration_) return;  // belongs to another read
  if (ports_.scheduler.now() - lastScroll_ >= kScrollActivity) {
    scrollVelocity_ = {};
    return;
  }
  ++stats_.measurements;
  const double t = ports_.scheduler.mediaTime();
  scrollVelocity_ = smoothedVelocity(scrollVelocity_, scrollSample_, offset, t);
  scrollSample_ = {t, offset};
}

// MARK: Helpers

void OverlayController::setStatus(Status status) {
  if (status == status_) return;
  status_ = status;
  statusObservers_.notify();
}

void OverlayController::setHasAccessibilityAccess(bool value) {
  if (value == hasAccessibilityAccess_) return;
  hasAccessibilityAccess_ = value;
  accessObservers_.notify();
}

void OverlayController::deactivateTracker() {
  reader_->tracker()->deactivate();
}

Point OverlayController::mouseTopLeft() const {
  // The pointer comes in bottom-left-origin space; the first screen's height flips it.
  const auto screens = ports_.windowServer.screens();
  const double height = screens.empty() ? 0 : screens.front().height();
  const Point raw = ports_.windowServer.mouseLocation();
  return {raw.x, height - raw.y};
}

std::ostream& operator<<(std::ostream& os, const OverlayController::Status& status) {
  switch (status.kind) {
    case OverlayController::Status::Kind::protecting:
      return os << "protecting(precise: " << (status.precise ? "true" : "false") << ')';
    case OverlayController::Status::Kind::disabled:
      return os << "disabled";
    case OverlayController::Status::Kind::waitingForWhatsApp:
      return os << "waitingForWhatsApp";
  }
  return os;
}

}  // namespace velvix
