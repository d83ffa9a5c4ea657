// The drawing half of the overlay controller: what to blur this frame, the pool of blur views,
// the panel's place and order over WhatsApp's window, the guides and the summary line.

#include "OverlayController.hpp"

#include <algorithm>
#include <chrono>
#include <limits>
#include <string>

namespace velvix {

namespace {

constexpr double kOtherSpaceHold = 0.6;  // patches stay on the old Space this long
constexpr double kSummaryInterval = 5.0;
bool recognises(const DetectedElements& elements) {
  return elements.chatList || elements.messageArea || !elements.messages.empty() || elements.sheet;
}

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

// Without measurements it can trust, the layout mode covers the whole window; the pointer
// opens nothing of it.
std::vector<BlurRegion> failClosed(Size windowSize) {
  const Rect window(0, 0, windowSize.width, windowSize.height);
  if (!(window.width() >= 1 && window.height() >= 1 && window.isFinite())) return {};
  BlurRegion all(window, std::nullopt, Reveal::whole(), Shape::rounded);
  all.hoverExclusion = window;
  return {all};
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
    scroll = extrapolatedScroll(scrollSample_, continuousVelocity(scrollVelocity_, motionRuns_),
                                ports_.scheduler.mediaTime());
  }
  // A read that finds neither list nor message means WhatsApp's interface changed under us: the
  // calibrated areas are the best cover left. (Windows of 300 points or less in either
  // direction, WhatsApp's small states, are never located.)
  const bool unrecognised =
      elements->isRead && settings_.coversUnrecognised() && !recognises(*elements);
  if (unrecognised) {
    elements = &layoutMode;
    scroll = {};
  }
  const bool coversAll = coveredByKey_ || coveredWhileAway_;
  const bool unmeasured = !elements->isRead && calibration_.coversEverything();
  if (coversAll) {
    setStatus(
        Status::of(coveredByKey_ ? Status::Kind::coveredByKey : Status::Kind::coveredWhileAway));
  } else if (unmeasured && calibration_.state() == LayoutCalibration::State::failed) {
    setStatus(Status::unmeasured());
  } else {
    setStatus(unrecognised ? Status::of(Status::Kind::unrecognised)
                           : Status::protecting(elements->isRead));
  }

  BlurOptions options = settings_.options();
  // In layout mode the band kept for the latest messages shows them only while the
  // conversation is at its newest; scrolled away, it would show older ones.
  if (!elements->isRead && messagesAwayBy_ > 0) options.unblurLastMessages = false;
  auto regions =
      unmeasured || coversAll
          ? failClosed(window.frame.size)
          : BlurLayout::regions(window.frame.size, settings_.metrics(), options, *elements, scroll);
  if (elements->isRead && settings_.coversMovingLists())
    coverMovingLists(regions, *elements, scroll, window.frame.size);
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
    if (ports_.scheduler.mediaTime() - onScreenSince_ < kOtherSpaceHold) return;
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

void OverlayController::coverMovingLists(std::vector<BlurRegion>& regions,
                                         const DetectedElements& elements, ScrollOffset scroll,
                                         Size windowSize) const {
  if (elements.sheet) return;  // the lists behind a sheet do not scroll
  const Rect window(0, 0, windowSize.width, windowSize.height);
  const double now = ports_.scheduler.mediaTime();
  const auto cover = [&](MovingLists::List list, const std::optional<Rect>& area, double moved) {
    if (!area) return;
    const Rect shown = area->intersection(window);
    if (shown.isNull() || !movingLists_.isUntrusted(list, now, moved, shown.height())) return;
    BlurRegion patch(shown, std::nullopt, Reveal::whole(), Shape::rounded);
    patch.hoverExclusion = window;  // the pointer that scrolls the list does not open it
    regions.push_back(patch);
  };
  cover(MovingLists::List::chatList, elements.chatList, scroll.chatList);
  cover(MovingLists::List::messages, elements.messageArea, scroll.messages);
}

std::optional<Point> OverlayController::localMouseLocation(const Rect& frame) const {
  const Point p = mouseTopLeft();
  if (!frame.contains(p)) return std::nullopt;
  return Point{p.x - frame.minX(), p.y - frame.minY()};
}

void OverlayController::logSummary(const WhatsAppWindow& window, const DetectedElements& elements,
                                   std::size_t regions) {
  const double now = ports_.scheduler.mediaTime();
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

}  // namespace velvix
