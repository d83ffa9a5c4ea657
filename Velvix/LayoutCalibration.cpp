#include "LayoutCalibration.hpp"

#include "LayoutMeasurement.hpp"

namespace velvix {

LayoutCalibration::LayoutCalibration(AppSettings& settings, platform::Scheduler& scheduler,
                                     platform::Logger& logger)
    : settings_(settings),
      scheduler_(scheduler),
      logger_(logger),
      state_(settings.hasStoredMetrics() ? State::measured : State::pending),
      userMetrics_(settings.observe(AppSettings::Property::metrics, [this] {
        // Measurements the user set (a slider, "Reset to Defaults") end any measuring.
        if (!writing_) state_ = State::measured;
      })) {}

void LayoutCalibration::measureAgain() {
  state_ = State::pending;
  pendingSince_ = lastAttempt_ = -1;
}

void LayoutCalibration::look(platform::Panel& panel) {
  if (state_ == State::measured) return;
  if (!panel.readsWindowPixels()) {
    // Nothing to measure from on this platform: the stored (or default) measurements stand.
    state_ = State::measured;
    return;
  }
  const double now = scheduler_.mediaTime();
  if (pendingSince_ < 0) pendingSince_ = now;
  const double interval = state_ == State::pending ? kAttemptInterval : kRetryInterval;
  if (lastAttempt_ < 0 || now - lastAttempt_ >= interval) {
    lastAttempt_ = now;
    if (measure(panel)) return;
  }
  // WhatsApp may still be drawing its first frame: give it a few seconds.
  if (state_ == State::pending && now - pendingSince_ >= kPatience) {
    state_ = State::failed;
    logger_.log("Couldn't measure WhatsApp's layout: blurring the whole window");
  }
}

bool LayoutCalibration::measure(platform::Panel& panel) {
  const auto image = panel.windowImage();
  const auto metrics = image ? measureLayout(*image, settings_.metrics()) : std::nullopt;
  if (!metrics) return false;
  writing_ = true;
  settings_.setMetrics(*metrics);
  writing_ = false;
  state_ = State::measured;
  const auto whole = [](double points) { return platform::Fixed{0, points}; };
  logger_.log(
      "Measured WhatsApp's layout: rail %.*f, chat list %.*f, list header %.*f, "
      "conversation header %.*f, message field %.*f",
      whole(metrics->railWidth), whole(metrics->chatListWidth),
      whole(metrics->chatListHeaderHeight), whole(metrics->conversationHeaderHeight),
      whole(metrics->composerHeight));
  return true;
}

}  // namespace velvix
