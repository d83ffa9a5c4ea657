#pragma once

// The whole application — settings over an in-memory store, the overlay controller with its
// reader and scroll tracker — running against the WhatsApp model on one simulated desktop, in
// virtual time. The demo and the privacy-leak measure script their sessions with it.
//
//   sim::AppSession session({.state = sim::WhatsAppState::sample()});
//   session.start();
//   session.moveMouse({600, 400});
//   session.runFor(std::chrono::seconds(1));
//
// For a baseline without scroll following, the session starts the controller without its
// follow loop.

#include "Desktop.hpp"
#include "MemoryDefaults.hpp"
#include "WhatsAppModel.hpp"

#include <BlurLayout/LayoutTypes.hpp>
#include <Velvix/AppSettings.hpp>
#include <Velvix/OverlayController.hpp>

#include <functional>
#include <memory>

namespace velvix::sim {

struct AppSessionOptions {
  WhatsAppState state = WhatsAppState::sample();
  WhatsAppModelOptions model = {};
  /// Everything blurred, latest three messages readable.
  BlurOptions options = everythingBlurred();
  /// The measurements a user calibrates against the model's window.
  LayoutMetrics metrics = calibratedMetrics();
  bool usesAccessibility = true;
  /// Whether the user granted Accessibility access.
  bool isTrusted = true;
  /// Off: no follow loop (the baseline of the privacy-leak measure).
  bool followsScrolling = true;
  /// Off: the display ticker never rests (to compare what a resting one shows).
  bool restsDisplayTicker = true;
  /// "Cover lists while scrolling".
  bool coversMovingLists = true;
  /// Blur the calibrated areas when a read recognises nothing of WhatsApp.
  bool coversUnrecognised = true;

  [[nodiscard]] static BlurOptions everythingBlurred();
  [[nodiscard]] static LayoutMetrics calibratedMetrics();
};

class AppSession {
 public:
  explicit AppSession(AppSessionOptions options = {});
  AppSession(const AppSession&) = delete;
  AppSession& operator=(const AppSession&) = delete;
  ~AppSession();

  [[nodiscard]] Desktop& desktop() { return desktop_; }
  [[nodiscard]] WhatsAppModel& whatsApp() { return *whatsApp_; }
  [[nodiscard]] AppSettings& settings() { return *settings_; }
  [[nodiscard]] OverlayController& controller() { return *controller_; }
  [[nodiscard]] MemoryDefaults& defaults() { return defaults_; }

  /// Starts the controller, as the application does at launch.
  void start() { controller_->start(); }
  void runFor(Duration duration) { desktop_.runFor(duration); }

  /// The pointer at a window-relative point of WhatsApp's window.
  void moveMouse(Point windowRelative);
  /// The pointer away from WhatsApp's window.
  void moveMouseAway();
  /// The pointer, window-relative, when it is over the window.
  [[nodiscard]] std::optional<Point> mouseInWindow() const;

  /// Calls `hook` at every screen refresh, right after the overlay's display-ticker frame when
  /// its ticker runs: the moment the screen shows what the overlay drew.
  void onDisplayFrame(std::function<void()> hook);

 private:
  class SchedulerTap;

  Desktop desktop_;
  MemoryDefaults defaults_;
  std::unique_ptr<SchedulerTap> scheduler_;
  std::unique_ptr<WhatsAppModel> whatsApp_;
  std::unique_ptr<AppSettings> settings_;
  std::unique_ptr<OverlayController> controller_;
};

}  // namespace velvix::sim
