#pragma once

// A world for the views: settings over an in-memory store, a status source the test drives by
// hand, the QML engine, and helpers to open a view's window, find its items and click them.

#include "SettingsModel.hpp"
#include "StatusModel.hpp"
#include "StatusSource.hpp"

#include <Simulator/MemoryDefaults.hpp>
#include <Velvix/AppSettings.hpp>

#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QString>

#include <memory>

namespace velvix::test {

/// The overlay's status and access, set by the test. Notifies only on real changes, as the
/// controller does.
class FakeStatus final : public StatusSource {
 public:
  [[nodiscard]] OverlayController::Status status() const override { return status_; }
  [[nodiscard]] bool hasAccessibilityAccess() const override { return access_; }
  [[nodiscard]] bool isAccessibilityAvailable() const override { return available; }
  [[nodiscard]] platform::Subscription observeStatus(std::function<void()> onChange) override {
    return statusObservers_.add(std::move(onChange));
  }
  [[nodiscard]] platform::Subscription observeAccessibilityAccess(
      std::function<void()> onChange) override {
    return accessObservers_.add(std::move(onChange));
  }
  void promptForTrust() override { ++prompts; }
  [[nodiscard]] bool missesNativeWindows() const override { return wayland; }
  [[nodiscard]] bool canMeasureLayout() const override { return measurable; }
  void measureLayout() override { ++measurements; }
  [[nodiscard]] Offers offers() const override { return offered; }
  [[nodiscard]] std::string shortcutProblem() const override { return problem; }

  void setStatus(OverlayController::Status status) {
    if (status == status_) return;
    status_ = status;
    statusObservers_.notify();
  }
  void setAccess(bool access) {
    if (access == access_) return;
    access_ = access;
    accessObservers_.notify();
  }

  int prompts = 0;
  int measurements = 0;
  bool measurable = true;  ///< set before a view opens, as `available`
  bool wayland = false;    ///< as `available`
  bool available = true;   ///< set before a view opens: the desktop does not change under it
  Offers offered{true, true, true};  ///< as `available`
  std::string problem;               ///< set before a view opens

 private:
  OverlayController::Status status_ = OverlayController::Status::waitingForWhatsApp();
  bool access_ = false;
  platform::ObserverList<> statusObservers_;
  platform::ObserverList<> accessObservers_;
};

class UiHarness {
 public:
  UiHarness();
  ~UiHarness();

  /// Creates the window of the module's `file` (a Window type taking `settings` and
  /// `overlay`), shows it and lets it settle. Null, with a test failure, when it cannot load.
  std::unique_ptr<QQuickWindow> open(const QString& file);

  sim::MemoryDefaults defaults;
  AppSettings settings{defaults};
  FakeStatus status;
  SettingsModel settingsModel{settings};
  StatusModel statusModel{status};
  QQmlEngine engine;
};

/// Runs queued work (deferred fits, geometry changes) and lets the scene graph catch up.
void settle();

/// The item named `name` anywhere under `window`, or null.
[[nodiscard]] QQuickItem* find(QQuickWindow& window, const QString& name);
/// The item named `name` under `root`, or null.
[[nodiscard]] QQuickItem* find(QQuickItem& root, const QString& name);

/// The control named `name` under `root`: a window or an item of a Qt Quick view, or a widget.
[[nodiscard]] QObject* find(QObject& root, const QString& name);

/// A mouse click at the centre of `item`, or at `fraction` of its width.
void click(QQuickItem& item, double fraction = 0.5);
/// A mouse click at the centre of `control`, an item or a widget.
void click(QObject& control);

/// Whether the item or widget is visible and enabled on screen, its ancestors included.
[[nodiscard]] bool shown(const QObject* control);

}  // namespace velvix::test
