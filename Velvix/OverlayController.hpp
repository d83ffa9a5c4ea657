#pragma once

// The run-time heart of Velvix: owns the overlay panel that lies over WhatsApp's window and runs
// the four activities that keep the blur patches on WhatsApp's content:
//  - the frame timer (30 Hz): find WhatsApp's window, show, keep or hide the overlay, place it
//    and draw (tick());
//  - the display ticker: draw again every refresh, so hover reveal and scroll following are
//    smooth (render());
//  - the read loop: read WhatsApp's accessibility tree several times a second on the reader's
//    executor, reject reads that lost WhatsApp's content, remember the latest messages;
//  - the follow loop (every 8 ms, off the main thread): measure how far the lists scrolled
//    since the read, turned into a smoothed velocity on the main thread.
//
// Everything here runs on the main queue except the reads (the reader's executor) and the
// measurements (the follow loop's executor). Results come back to the main queue tagged with
// the read's generation, so a measurement is applied only to the read it belongs to.

#include <BlurLayout/BlurLayout.hpp>
#include <BlurLayout/LatestMessages.hpp>
#include <Velvix/AppSettings.hpp>
#include <Velvix/LayoutCalibration.hpp>
#include <Velvix/Platform/Accessibility.hpp>
#include <Velvix/Platform/Log.hpp>
#include <Velvix/Platform/Observers.hpp>
#include <Velvix/Platform/Scheduler.hpp>
#include <Velvix/Platform/Toolkit.hpp>
#include <Velvix/Platform/WindowServer.hpp>
#include <Velvix/ReadLoop.hpp>
#include <Velvix/RenderStats.hpp>
#include <Velvix/ScrollFollowing.hpp>
#include <Velvix/WhatsAppWindow.hpp>

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <vector>

namespace velvix {

class AccessibilityReader;
class FollowLoop;
class ScrollTracker;

/// The platform services the controller works with; all must outlive it.
struct OverlayPorts {
  platform::Accessibility& accessibility;
  platform::WindowServer& windowServer;
  platform::Toolkit& toolkit;
  platform::Scheduler& scheduler;
  platform::LogSink& log;
};

/// Choices fixed at construction.
struct OverlayOptions {
  /// Whether patches follow WhatsApp's scrolling between reads. Off only to measure what the
  /// follow loop is worth.
  bool followsScrolling = true;
  /// Whether the display ticker rests while no frame can differ from the last. Off only to
  /// compare with a ticker that never rests.
  bool restsDisplayTicker = true;
};

/// What the guides over WhatsApp show; redrawn only when it changes.
class GuidesView {
 public:
  /// Stores the region outlines and the two column lines of `metrics`; returns whether they
  /// changed (and so need drawing).
  bool update(std::span<const Rect> regions, const LayoutMetrics& metrics);
  [[nodiscard]] const std::vector<Rect>& regions() const { return regions_; }
  [[nodiscard]] const std::vector<double>& columns() const { return columns_; }

 private:
  std::vector<Rect> regions_;
  std::vector<double> columns_;
};

class OverlayController final : private ReadLoop::Owner {
 public:
  /// The protection state the options panel shows.
  struct Status {
    /// `unmeasured`: the layout mode could not measure WhatsApp and covers the whole window.
    /// Velvix's additions: `coveredByKey` and `coveredWhileAway` cover the whole window (the
    /// panic key, idle protection); `unrecognised`: reads recognise nothing of WhatsApp, so the
    /// calibrated areas are blurred.
    enum class Kind {
      protecting,
      disabled,
      waitingForWhatsApp,
      unmeasured,
      coveredByKey,
      coveredWhileAway,
      unrecognised
    };
    Kind kind = Kind::waitingForWhatsApp;
    bool precise = false;  ///< for `protecting`: the patches come from an accessibility read

    [[nodiscard]] static constexpr Status protecting(bool precise) {
      return {Kind::protecting, precise};
    }
    [[nodiscard]] static constexpr Status disabled() { return {Kind::disabled, false}; }
    [[nodiscard]] static constexpr Status waitingForWhatsApp() {
      return {Kind::waitingForWhatsApp, false};
    }
    [[nodiscard]] static constexpr Status unmeasured() { return {Kind::unmeasured, false}; }
    [[nodiscard]] static constexpr Status of(Kind kind) { return {kind, false}; }
    friend constexpr bool operator==(const Status& a, const Status& b) {
      return a.kind == b.kind && (a.kind != Kind::protecting || a.precise == b.precise);
    }
  };

  /// Builds the panel and its views. Starts nothing.
  OverlayController(AppSettings& settings, const OverlayPorts& ports, OverlayOptions options = {});
  OverlayController(const OverlayController&) = delete;
  OverlayController& operator=(const OverlayController&) = delete;
  ~OverlayController();

  /// Starts the frame timer, the display ticker, the observers and both loops. Idempotent.
  void start();

  /// Whether the display ticker runs (it rests while nothing can change between frames).
  [[nodiscard]] bool isDisplayTicking() const { return displayLink_ != nullptr; }

  [[nodiscard]] Status status() const { return status_; }
  [[nodiscard]] bool hasAccessibilityAccess() const { return hasAccessibilityAccess_; }
  /// Observers hear only of real changes.
  [[nodiscard]] platform::Subscription observeStatus(std::function<void()> onChange) {
    return statusObservers_.add(std::move(onChange));
  }
  [[nodiscard]] platform::Subscription observeAccessibilityAccess(std::function<void()> onChange) {
    return accessObservers_.add(std::move(onChange));
  }

  /// Draws the current frame: what to blur for WhatsApp's window as last found, minus what the
  /// pointer reveals. The display ticker calls it every refresh; only what changed is written.
  void render();

  /// The overlay panel, for the platform's window and for inspection.
  [[nodiscard]] const platform::Panel& panel() const { return *panel_; }
  [[nodiscard]] const RenderStats& stats() const { return stats_; }
  [[nodiscard]] const GuidesView& guides() const { return guides_; }
  /// The smoothed scroll speed of both lists, in points per second (diagnostics).
  [[nodiscard]] ScrollOffset scrollVelocity() const { return scrollVelocity_; }

  /// Whether a WhatsApp running as a native Wayland window is out of sight here.
  [[nodiscard]] bool missesNativeWindows() const {
    return ports_.windowServer.missesNativeWindows();
  }
  /// Whether the layout can be measured from WhatsApp's pixels here.
  [[nodiscard]] bool canMeasureLayout() const { return panel_->readsWindowPixels(); }
  /// Measures the layout from WhatsApp's pixels again, covering everything until it has.
  void measureLayoutAgain() { calibration_.measureAgain(); }
  [[nodiscard]] LayoutCalibration::State calibration() const { return calibration_.state(); }

  /// The panic key's cover: all of WhatsApp's window, until toggled again.
  [[nodiscard]] bool isCoveredByKey() const { return coveredByKey_; }
  void toggleCoverByKey();
  [[nodiscard]] bool offersPanicKey() const { return ports_.toolkit.offersGlobalShortcuts(); }
  [[nodiscard]] bool offersIdleTime() const {
    return ports_.toolkit.secondsSinceInput().has_value();
  }
  /// Why the panic key could not be registered; empty when it is, or none is set.
  [[nodiscard]] const std::string& shortcutProblem() const { return shortcutProblem_; }

 private:
  struct Detected {
    std::uint32_t windowID = 0;
    DetectedElements elements;
  };

  void tick();
  /// The display ticker's step: a frame, then rest when no next frame can differ.
  void displayFrame();
  /// Starts the display ticker again if it rests: something changed that later frames show.
  void wakeDisplay();
  /// The frame timer back at its rate: a window, the pointer, a setting or the wheel changed.
  void wakeFrames();
  /// Slows the frame timer when nothing but a window change can change the next frame.
  void restFramesIfQuiet(double now);
  void hide(Status status);
  void draw(std::span<const VisibleBlur> blurs);
  void position(const WhatsAppWindow& window);
  void refreshBlurs();
  [[nodiscard]] std::optional<Point> localMouseLocation(const Rect& frame) const;
  void logSummary(const WhatsAppWindow& window, const DetectedElements& elements,
                  std::size_t regions);

  // ReadLoop::Owner
  [[nodiscard]] std::optional<WhatsAppWindow> windowToRead() const override;
  [[nodiscard]] double lastScroll() const override { return lastScroll_; }
  void accept(const WhatsAppWindow& captured, double sinceScroll,
              AccessibilityReader::Result result) override;

  void measured(const ScrollTracker::Measurement& measurement);

  /// Where WhatsApp's parts are in `window`: as last read, or from the measurements.
  [[nodiscard]] BlurLayout::Areas areasOf(const WhatsAppWindow& window) const;
  void heardWheel(const platform::ScrollWheelEvent& wheel);
  void heardClick();
  /// "Cover lists while scrolling": one patch over each list whose patches cannot be trusted.
  void coverMovingLists(std::vector<BlurRegion>& regions, const DetectedElements& elements,
                        ScrollOffset scroll, Size windowSize) const;

  void setStatus(Status status);
  void registerShortcut();
  /// Idle protection: covers after the chosen minutes without input, until the next input.
  void checkIdleTime(double now);
  void setHasAccessibilityAccess(bool value);
  void deactivateTracker();
  [[nodiscard]] bool isOn() const { return settings_.isEnabled(); }
  /// The pointer in top-left-origin global points, the window list's space.
  [[nodiscard]] Point mouseTopLeft() const;

  AppSettings& settings_;
  OverlayPorts ports_;
  OverlayOptions options_;
  platform::Logger logger_;

  Status status_ = Status::waitingForWhatsApp();
  bool hasAccessibilityAccess_;
  platform::ObserverList<> statusObservers_;
  platform::ObserverList<> accessObservers_;

  std::unique_ptr<platform::Panel> panel_;
  LayoutCalibration calibration_;
  std::vector<std::unique_ptr<platform::BlurView>> blurViews_;
  GuidesView guides_;

  std::unique_ptr<platform::Repeating> timer_;
  std::shared_ptr<FrameTicker> frameTicker_;
  std::unique_ptr<platform::Repeating> displayLink_;
  std::vector<platform::Subscription> observers_;

  // Shared with work queued on the reader's executor, which may still run after the
  // controller is gone.
  std::shared_ptr<AccessibilityReader> reader_;
  std::unique_ptr<ReadLoop> readLoop_;
  std::shared_ptr<FollowLoop> followLoop_;

  std::optional<WhatsAppWindow> window_;
  std::optional<Detected> detected_;
  std::int64_t detectedGeneration_ = 0;
  int contentLossReads_ = 0;
  LatestMessages latestMessages_;
  ScrollSample scrollSample_;
  ScrollOffset scrollVelocity_;
  MotionRuns motionRuns_;
  MovingLists movingLists_;
  // How far the wheel has asked the messages to move down (towards older ones) beyond what it
  // brought back up: while positive, the conversation is away from its newest messages.
  double messagesAwayBy_ = 0;
  // Media times: durations must not stretch or shrink when the wall clock is set.
  double lastScroll_ = ReadLoop::kLongAgo;
  Rect lastFrame_ = Rect::null();
  RenderStats stats_;
  double lastSummary_ = ReadLoop::kLongAgo;
  std::optional<double> missingSince_;
  std::optional<std::int32_t> lastWhatsAppPid_;  // whose window was last found
  double onScreenSince_ = ReadLoop::kLongAgo;
  bool isWhatsAppUnderMouse_ = false;
  bool hearsPointer_ = false;  // else the pointer is polled while over WhatsApp
  bool hearsWindows_ = false;  // else the frame timer never rests
  bool framesRest_ = false;
  double lastChange_ = ReadLoop::kLongAgo;

  platform::GlobalShortcut shortcut_;
  std::string shortcutProblem_;
  bool coveredByKey_ = false;
  bool coveredWhileAway_ = false;
  double lastIdleCheck_ = ReadLoop::kLongAgo;
};

std::ostream& operator<<(std::ostream& os, const OverlayController::Status& status);

}  // namespace velvix
