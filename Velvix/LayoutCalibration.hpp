#pragma once

// The layout mode's measurements, taken from WhatsApp's own pixels where the platform can read
// them: when they were never set (the first launch), and again when the user asks. Until they
// are taken, and when they cannot be (WhatsApp's window does not show its layout), the layout
// mode covers the whole window rather than guess: safe from the first second.

#include <Velvix/AppSettings.hpp>
#include <Velvix/Platform/Log.hpp>
#include <Velvix/Platform/Scheduler.hpp>
#include <Velvix/Platform/Toolkit.hpp>

namespace velvix {

class LayoutCalibration {
 public:
  enum class State {
    measured,  ///< the stored measurements hold (taken here, set by the user, or not ours to take)
    pending,   ///< waiting for WhatsApp's pixels, or for them to show its layout
    failed,    ///< not in time: a manual calibration is due, though it still looks now and then
  };

  /// How often a pending measurement looks at the pixels, and for how long, in seconds.
  static constexpr double kAttemptInterval = 0.5;
  static constexpr double kPatience = 5;
  /// How often it looks once it has failed (WhatsApp may have been slow to start).
  static constexpr double kRetryInterval = 2;

  /// Pending when the settings hold no measurements yet. All three must outlive it.
  LayoutCalibration(AppSettings& settings, platform::Scheduler& scheduler,
                    platform::Logger& logger);

  [[nodiscard]] State state() const { return state_; }
  /// Whether the layout mode has no measurements it can trust and must cover everything.
  [[nodiscard]] bool coversEverything() const { return state_ != State::measured; }

  /// Measures again at the next look ("Measure automatically").
  void measureAgain();
  /// Called while WhatsApp's window is found, with the panel over it.
  void look(platform::Panel& panel);

 private:
  bool measure(platform::Panel& panel);  // true when it stored measurements

  AppSettings& settings_;
  platform::Scheduler& scheduler_;
  platform::Logger& logger_;
  State state_;
  double pendingSince_ = -1;  // media time of the first look while pending; -1 before it
  double lastAttempt_ = -1;
  bool writing_ = false;  // the measurements being stored are ours, not the user's
  platform::Subscription userMetrics_;
};

}  // namespace velvix
