#pragma once

// What the options panel and the calibration window need of the overlay: its protection status,
// whether the process has Accessibility access, change notifications for both, and the
// permission prompt. The views see the controller only through this, so they can be driven
// through every state in tests without running the overlay.

#include <Velvix/OverlayController.hpp>
#include <Velvix/Platform/Accessibility.hpp>
#include <Velvix/Platform/Observers.hpp>

#include <functional>
#include <string>
#include <utility>

namespace velvix {

class StatusSource {
 public:
  StatusSource() = default;
  StatusSource(const StatusSource&) = delete;
  StatusSource& operator=(const StatusSource&) = delete;
  virtual ~StatusSource() = default;

  [[nodiscard]] virtual OverlayController::Status status() const = 0;
  [[nodiscard]] virtual bool hasAccessibilityAccess() const = 0;
  /// Whether this desktop can give accessibility access at all.
  [[nodiscard]] virtual bool isAccessibilityAvailable() const = 0;
  /// Observers hear only of real changes.
  [[nodiscard]] virtual platform::Subscription observeStatus(std::function<void()> onChange) = 0;
  [[nodiscard]] virtual platform::Subscription observeAccessibilityAccess(
      std::function<void()> onChange) = 0;
  /// Asks the system to show its Accessibility permission prompt.
  virtual void promptForTrust() = 0;
  /// Whether the desktop cannot see WhatsApp running as a native Wayland window.
  [[nodiscard]] virtual bool missesNativeWindows() const = 0;
  /// Whether the layout can be measured from WhatsApp's pixels on this desktop.
  [[nodiscard]] virtual bool canMeasureLayout() const = 0;
  /// Measures the layout from WhatsApp's pixels again.
  virtual void measureLayout() = 0;

  /// Velvix's additions this desktop offers; the control of one it lacks is not shown.
  struct Offers {
    bool panicKey = false;
    bool idleTime = false;
    bool blurStrength = false;
  };
  [[nodiscard]] virtual Offers offers() const = 0;
  /// Why the panic key could not be had (status observers hear of changes); empty when it is.
  [[nodiscard]] virtual std::string shortcutProblem() const = 0;
};

/// The running overlay and the platform's accessibility service; both must outlive it.
class ControllerStatus final : public StatusSource {
 public:
  ControllerStatus(OverlayController& controller, platform::Accessibility& accessibility)
      : controller_(controller), accessibility_(accessibility) {}

  [[nodiscard]] OverlayController::Status status() const override { return controller_.status(); }
  [[nodiscard]] bool hasAccessibilityAccess() const override {
    return controller_.hasAccessibilityAccess();
  }
  [[nodiscard]] bool isAccessibilityAvailable() const override {
    return accessibility_.isAvailable();
  }
  [[nodiscard]] platform::Subscription observeStatus(std::function<void()> onChange) override {
    return controller_.observeStatus(std::move(onChange));
  }
  [[nodiscard]] platform::Subscription observeAccessibilityAccess(
      std::function<void()> onChange) override {
    return controller_.observeAccessibilityAccess(std::move(onChange));
  }
  void promptForTrust() override { accessibility_.promptForTrust(); }
  [[nodiscard]] bool missesNativeWindows() const override {
    return controller_.missesNativeWindows();
  }
  [[nodiscard]] bool canMeasureLayout() const override { return controller_.canMeasureLayout(); }
  void measureLayout() override { controller_.measureLayoutAgain(); }
  [[nodiscard]] Offers offers() const override {
    return {.panicKey = controller_.offersPanicKey(),
            .idleTime = controller_.offersIdleTime(),
            .blurStrength = controller_.panel().offersBlurStrength()};
  }
  [[nodiscard]] std::string shortcutProblem() const override {
    return controller_.shortcutProblem();
  }

 private:
  OverlayController& controller_;
  platform::Accessibility& accessibility_;
};

}  // namespace velvix
