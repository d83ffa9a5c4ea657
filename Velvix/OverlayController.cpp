#include "OverlayController.hpp"

#include <Velvix/AccessibilityReader.hpp>
#include <Velvix/FollowLoop.hpp>
#include <Velvix/ScrollTracker.hpp>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <ostream>

namespace velvix {

namespace {

using namespace std::chrono_literals;
using platform::Fixed;

constexpr auto kFrameInterval = std::chrono::duration_cast<platform::Duration>(1s) / 30;
// Where the window server tells of every window change, the frame timer slows to this while
// nothing else can change a frame; the first change brings its 30 Hz back.
constexpr auto kRestingFrameInterval = std::chrono::duration_cast<platform::Duration>(1s);
constexpr double kAwakeAfterChange = 1.0;
constexpr double kMissingGrace = 0.3;  // window gaps shorter than this keep the overlay
// The display ticker keeps running this long after the wheel last turned: the follow loop's
// extrapolation and the lists' distrust settle within it.
constexpr double kSettleAfterScroll = 1.0;
// How often idle time is asked while nothing is covered; once covered, every tick, so the next
// input uncovers at once.
constexpr double kIdleCheckInterval = 1.0;
// WhatsApp's jump-to-bottom button lies within this many points of the message area's lower
// right corner.
constexpr double kJumpButtonReach = 80;

}  // namespace

OverlayController::OverlayController(AppSettings& settings, const OverlayPorts& ports,
                                     OverlayOptions options)
    : settings_(settings),
      ports_(ports),
      options_(options),
      logger_(ports.log, "window"),
      hasAccessibilityAccess_(ports.accessibility.isProcessTrusted()),
      panel_(ports.toolkit.makeOverlayPanel()),
      calibration_(settings, ports.scheduler, logger_),
      reader_(
          std::make_shared<AccessibilityReader>(ports.accessibility, ports.scheduler, ports.log)),
      scrollSample_{ports.scheduler.mediaTime(), {}},
      stats_(ports.scheduler, ports.log) {}

OverlayController::~OverlayController() {
  // Timers, ticker, observers and the read loop stop with their handles; work still queued for
  // the follow loop finds it stopped.
  if (followLoop_) followLoop_->stop();
}

void OverlayController::start() {
  if (timer_) return;
  auto& scheduler = ports_.scheduler;
  timer_ = scheduler.scheduleRepeating(kFrameInterval, [this] { tick(); });
  auto windows = ports_.windowServer.observeWindowChanges([this] { wakeFrames(); });
  hearsWindows_ = static_cast<bool>(windows);
  observers_.push_back(std::move(windows));
  for (std::size_t i = 0; i < AppSettings::kPropertyCount; ++i) {
    observers_.push_back(settings_.observe(static_cast<AppSettings::Property>(i), [this] {
      wakeFrames();
      wakeDisplay();  // the next refresh shows the choice
    }));
  }

  registerShortcut();
  panel_->setBlurStrength(settings_.blurStrength());
  observers_.push_back(
      settings_.observe(AppSettings::Property::panicShortcut, [this] { registerShortcut(); }));
  observers_.push_back(settings_.observe(AppSettings::Property::blurStrength, [this] {
    panel_->setBlurStrength(settings_.blurStrength());
    refreshBlurs();
  }));

  frameTicker_ = std::make_shared<FrameTicker>([this] { displayFrame(); });
  wakeDisplay();

  for (const auto event : {platform::WorkspaceEvent::didActivateApplication,
                           platform::WorkspaceEvent::activeSpaceDidChange}) {
    observers_.push_back(ports_.toolkit.observeWorkspace(event, [this](platform::WorkspaceEvent e) {
      logger_.debug("%{public}s", platform::notificationName(e));
      wakeFrames();
      tick();
      refreshBlurs();
    }));
  }
  observers_.push_back(
      ports_.toolkit.addGlobalScrollWheelMonitor([this](const platform::ScrollWheelEvent& wheel) {
        if (!isWhatsAppUnderMouse_) return;
        lastScroll_ = ports_.scheduler.mediaTime();
        wakeDisplay();
        wakeFrames();
        heardWheel(wheel);
        // The content moves with the wheel: measure it now rather than at the loop's next turn.
        if (followLoop_) followLoop_->measureNow();
      }));
  observers_.push_back(ports_.toolkit.addGlobalClickMonitor([this] {
    if (isWhatsAppUnderMouse_) heardClick();
  }));
  // The hover band follows the pointer at the display's rate: its moves over WhatsApp (and off
  // it) wake the display ticker for the next refresh.
  auto pointer = ports_.toolkit.addGlobalPointerMonitor([this] {
    if (window_ && (isWhatsAppUnderMouse_ || window_->frame.contains(mouseTopLeft()))) {
      wakeDisplay();
      wakeFrames();
    }
  });
  hearsPointer_ = static_cast<bool>(pointer);
  observers_.push_back(std::move(pointer));
  observers_.push_back(panel_->observeOcclusion([this] {
    if (!panel_->isOcclusionVisible()) return;
    logger_.log("Blurs visible again");
    wakeFrames();
    tick();
    refreshBlurs();
  }));

  readLoop_ = std::make_unique<ReadLoop>(static_cast<ReadLoop::Owner&>(*this), reader_,
                                         ports_.accessibility, scheduler);
  readLoop_->start();
  if (options_.followsScrolling) {
    followLoop_ =
        std::make_shared<FollowLoop>(reader_->tracker(), scheduler,
                                     [this](const ScrollTracker::Measurement& m) { measured(m); });
    followLoop_->start();
  }
}

// MARK: Frame timer and visibility

void OverlayController::tick() {
  const bool trusted = ports_.accessibility.isProcessTrusted();
  if (trusted != hasAccessibilityAccess_) setHasAccessibilityAccess(trusted);
  if (!isOn()) {
    hide(Status::disabled());
    restFramesIfQuiet(ports_.scheduler.mediaTime());
    return;
  }

  const auto found = WhatsAppWindow::current(ports_.windowServer, mouseTopLeft());
  const double now = ports_.scheduler.mediaTime();
  checkIdleTime(now);

  if (!found) {
    const double since = missingSince_.value_or(now);
    if (!missingSince_) {
      missingSince_ = since;
      logger_.log("WhatsApp window left the screen");
    }
    window_.reset();
    deactivateTracker();
    scrollSample_ = {ports_.scheduler.mediaTime(), {}};
    scrollVelocity_ = {};
    motionRuns_ = {};
    movingLists_.forget();

    // The application of the window last found, whichever build it is.
    const auto app =
        lastWhatsAppPid_ ? ports_.windowServer.runningApplication(*lastWhatsAppPid_) : std::nullopt;
    const bool gone = !app || app->isHidden || app->isTerminated;
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
    if (!panel_->isVisible()) restFramesIfQuiet(now);
    return;
  }

  if (missingSince_ || onScreenSince_ == ReadLoop::kLongAgo) onScreenSince_ = now;
  if (missingSince_) {
    logger_.log("WhatsApp window back after %.*f s, blurs visible %{bool}d, on this Space %{bool}d",
                Fixed{2, now - *missingSince_}, panel_->isVisible(), panel_->isOnActiveSpace());
    missingSince_.reset();
  }
  window_ = found;
  lastWhatsAppPid_ = found->pid;
  isWhatsAppUnderMouse_ = found->isUnderMouse;
  if (isWhatsAppUnderMouse_ && !hearsPointer_) wakeDisplay();  // to poll the pointer
  position(*window_);
  calibration_.look(*panel_);
  render();
  restFramesIfQuiet(now);
}

void OverlayController::wakeFrames() {
  lastChange_ = ports_.scheduler.mediaTime();
  if (!framesRest_ || !timer_) return;
  framesRest_ = false;
  // The next look comes within a frame of the change, as it did before the timer rested.
  timer_ = ports_.scheduler.scheduleRepeating(kFrameInterval, [this] { tick(); });
}

void OverlayController::restFramesIfQuiet(double now) {
  if (!hearsWindows_ || framesRest_) return;
  // What changes with time alone keeps the timer at its rate: the settling after a change, the
  // calibration's measuring, the idle cover's end, the Space hold, the wheel's motion and a
  // pointer over WhatsApp (whose band the frames move).
  const bool busy = now - lastChange_ < kAwakeAfterChange ||
                    now - lastScroll_ < kAwakeAfterChange ||
                    now - onScreenSince_ < kAwakeAfterChange || calibration_.coversEverything() ||
                    coveredWhileAway_ || isWhatsAppUnderMouse_ ||
                    (panel_->isVisible() && !panel_->isOnActiveSpace());
  if (busy) return;
  framesRest_ = true;
  timer_ = ports_.scheduler.scheduleRepeating(kRestingFrameInterval, [this] { tick(); });
}

void OverlayController::hide(Status status) {
  if (status == Status::waitingForWhatsApp() && status_ != Status::waitingForWhatsApp()) {
    logger_.log("Blurs hidden");
  }
  onScreenSince_ = ReadLoop::kLongAgo;
  setStatus(status);
  window_.reset();
  deactivateTracker();
  isWhatsAppUnderMouse_ = false;
  if (panel_->isVisible()) panel_->orderOut();
  lastFrame_ = Rect::null();  // so that the next positioning sets the frame again
}

// MARK: Read loop and follow loop

std::optional<WhatsAppWindow> OverlayController::windowToRead() const {
  if (!window_ || !settings_.isEnabled() || !settings_.usesAccessibility() ||
      !hasAccessibilityAccess_) {
    return std::nullopt;
  }
  return window_;
}

void OverlayController::accept(const WhatsAppWindow& captured, double sinceScroll,
                               AccessibilityReader::Result result) {
  DetectedElements& elements = result.elements;
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
  detectedGeneration_ = result.generation;
  scrollSample_ = {ports_.scheduler.mediaTime(), {}};
  motionRuns_ = {};
  movingLists_.read(result.finishedAt, result.smeared.chatList, result.smeared.messages);
  const auto& messages = detected_->elements.messages;
  if (std::any_of(messages.begin(), messages.end(), [](const auto& m) { return m.isLatest; }))
    messagesAwayBy_ = 0;  // the read saw the newest messages
  if (followLoop_) followLoop_->wake();
  wakeDisplay();
}

void OverlayController::measured(const ScrollTracker::Measurement& measurement) {
  const ScrollOffset offset = measurement.offset;
  if (measurement.generation != detectedGeneration_) return;  // belongs to another read
  movingLists_.measured(measurement.takenAt);
  if (ports_.scheduler.mediaTime() - lastScroll_ >= kScrollActivity) {
    scrollVelocity_ = {};
    return;
  }
  ++stats_.measurements;
  const double t = ports_.scheduler.mediaTime();
  scrollVelocity_ = smoothedVelocity(scrollVelocity_, scrollSample_, offset, t);
  motionRuns_ = nextRuns(motionRuns_, scrollSample_, offset);
  scrollSample_ = {t, offset};
}

// MARK: The display ticker

void OverlayController::wakeDisplay() {
  if (displayLink_ || !frameTicker_) return;
  displayLink_ = ports_.scheduler.startDisplayTicker([ticker = frameTicker_] { ticker->step(); });
}

void OverlayController::displayFrame() {
  render();
  if (!options_.restsDisplayTicker) return;
  // A frame changes with its inputs or with time. The pointer, the wheel and a read wake the
  // ticker; the window, the settings and the calibration change only at the frame timer's
  // ticks, which draw at once; and time moves patches only while the wheel's motion settles.
  const bool settling = ports_.scheduler.mediaTime() - lastScroll_ < kSettleAfterScroll;
  // Where the pointer's moves are not heard, it is polled every refresh while over WhatsApp.
  const bool polling = !hearsPointer_ && isWhatsAppUnderMouse_;
  if (!settling && !polling) displayLink_.reset();  // the ticker copes with going here
}

// MARK: The pointer over the lists

BlurLayout::Areas OverlayController::areasOf(const WhatsAppWindow& window) const {
  static const DetectedElements layoutMode;
  const bool precise = settings_.usesAccessibility() && hasAccessibilityAccess_ && detected_ &&
                       detected_->windowID == window.id;
  return BlurLayout::areas(window.frame.size, settings_.metrics(),
                           precise ? detected_->elements : layoutMode);
}

void OverlayController::heardWheel(const platform::ScrollWheelEvent& wheel) {
  if (!window_) return;
  const auto pointer = localMouseLocation(window_->frame);
  if (!pointer) return;
  const BlurLayout::Areas areas = areasOf(*window_);
  const double now = ports_.scheduler.mediaTime();
  if (areas.chatList.contains(*pointer)) {
    movingLists_.wheel(MovingLists::List::chatList, now);
  } else if (areas.messageArea.contains(*pointer)) {
    movingLists_.wheel(MovingLists::List::messages, now);
    // Away after a turn towards older messages, back once as much has come the other way; a
    // delta that is no number leaves it away until something brings it back for certain.
    const double away = std::isfinite(wheel.deltaY) ? messagesAwayBy_ + wheel.deltaY
                                                    : std::numeric_limits<double>::infinity();
    messagesAwayBy_ = away > 0 ? away : 0;
  }
}

void OverlayController::heardClick() {
  if (!window_) return;
  const auto pointer = localMouseLocation(window_->frame);
  if (!pointer) return;
  // A chat clicked opens at its newest message; so does the conversation when its
  // jump-to-bottom button, at the message area's lower right, is clicked.
  const BlurLayout::Areas areas = areasOf(*window_);
  const Rect& m = areas.messageArea;
  const Rect jumpButton(m.maxX() - kJumpButtonReach, m.maxY() - kJumpButtonReach, kJumpButtonReach,
                        kJumpButtonReach);
  if (areas.chatList.contains(*pointer) || jumpButton.contains(*pointer)) messagesAwayBy_ = 0;
}

// MARK: Velvix's additions

void OverlayController::toggleCoverByKey() {
  coveredByKey_ = !coveredByKey_;
  if (coveredByKey_) {
    logger_.log("Panic key: covering all of WhatsApp");
  } else {
    logger_.log("Panic key: showing WhatsApp's patches again");
  }
  render();  // the status follows from the frame drawn
}

void OverlayController::registerShortcut() {
  shortcut_ = {};  // releases the old combination first, so the same one can be taken again
  const std::string& keys = settings_.panicShortcut();
  std::string problem;
  if (!keys.empty() && ports_.toolkit.offersGlobalShortcuts()) {
    shortcut_ = ports_.toolkit.addGlobalShortcut(keys, [this] { toggleCoverByKey(); });
    problem = shortcut_.problem;
    if (!problem.empty()) logger_.error("Panic key: %{public}s", problem);
  }
  if (problem == shortcutProblem_) return;
  shortcutProblem_ = std::move(problem);
  statusObservers_.notify();
}

void OverlayController::checkIdleTime(double now) {
  const double minutes = settings_.idleMinutes();
  if (minutes <= 0) {
    coveredWhileAway_ = false;
    return;
  }
  if (!coveredWhileAway_ && now - lastIdleCheck_ < kIdleCheckInterval) return;
  lastIdleCheck_ = now;
  const auto idle = ports_.toolkit.secondsSinceInput();
  const bool away = idle && *idle >= minutes * 60;
  if (away == coveredWhileAway_) return;
  coveredWhileAway_ = away;
  if (away) {
    logger_.log("No input for %.*f s: covering all of WhatsApp", Fixed{0, minutes * 60});
  } else {
    logger_.log("Input again: showing WhatsApp's patches");
  }
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
  return platform::screenFlip(ports_.windowServer).map(ports_.windowServer.mouseLocation());
}

std::ostream& operator<<(std::ostream& os, const OverlayController::Status& status) {
  switch (status.kind) {
    case OverlayController::Status::Kind::protecting:
      return os << "protecting(precise: " << (status.precise ? "true" : "false") << ')';
    case OverlayController::Status::Kind::disabled:
      return os << "disabled";
    case OverlayController::Status::Kind::unmeasured:
      return os << "unmeasured";
    case OverlayController::Status::Kind::waitingForWhatsApp:
      return os << "waitingForWhatsApp";
    case OverlayController::Status::Kind::coveredByKey:
      return os << "coveredByKey";
    case OverlayController::Status::Kind::coveredWhileAway:
      return os << "coveredWhileAway";
    case OverlayController::Status::Kind::unrecognised:
      return os << "unrecognised";
  }
  return os;
}

}  // namespace velvix
