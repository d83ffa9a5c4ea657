#pragma once

// The Scheduler over Qt's event loop: the main queue is the thread that runs the
// QCoreApplication, timers are QTimers, and each serial executor is a thread of its own with a
// queue ordered by due time. The display ticker runs at the display rate (60 Hz unless told),
// and repeating timers at least as long as a display frame, and main-queue delays of several
// frames, run on its beat (within half a frame of their time), so that together they wake the
// process no more often than the display refreshes.
//
// The beat comes from the display's own refresh where the platform offers one (a display link,
// as a DisplayRefresh); otherwise from a timer at the nominal rate.
//
// Construct on the main thread after the QCoreApplication exists.

#include <Velvix/Platform/Scheduler.hpp>

#include <chrono>
#include <functional>
#include <memory>

class QObject;

namespace velvix::qt {

class FrameClock;

/// The display's refresh, as a platform's display link reports it.
class DisplayRefresh {
 public:
  DisplayRefresh() = default;
  DisplayRefresh(const DisplayRefresh&) = delete;
  DisplayRefresh& operator=(const DisplayRefresh&) = delete;
  virtual ~DisplayRefresh() = default;

  /// The time between two refreshes.
  [[nodiscard]] virtual std::chrono::nanoseconds period() const = 0;
  /// From now on calls `onRefresh` on the main thread once per refresh, until stop().
  virtual void start(std::function<void()> onRefresh) = 0;
  virtual void stop() = 0;
};

class QtScheduler final : public platform::Scheduler {
 public:
  /// Beats at `refreshRate` hertz.
  explicit QtScheduler(double refreshRate = 60);
  /// Beats on the display's refresh.
  explicit QtScheduler(std::unique_ptr<DisplayRefresh> refresh);
  ~QtScheduler() override;

  [[nodiscard]] platform::Executor& mainQueue() override;
  [[nodiscard]] std::shared_ptr<platform::Executor> makeSerialExecutor(
      std::string_view label) override;
  [[nodiscard]] std::unique_ptr<platform::Repeating> scheduleRepeating(
      platform::Duration interval, std::function<void()> action) override;
  [[nodiscard]] std::unique_ptr<platform::Repeating> startDisplayTicker(
      std::function<void()> action) override;
  [[nodiscard]] platform::WallTime now() const override;
  [[nodiscard]] double mediaTime() const override;

  /// The QObject that main-queue work runs in the context of.
  [[nodiscard]] QObject* context() const;

 private:
  QtScheduler(std::unique_ptr<DisplayRefresh> refresh, double refreshRate);
  class MainQueue;
  std::unique_ptr<QObject> context_;
  std::shared_ptr<FrameClock> clock_;
  std::unique_ptr<MainQueue> main_;
};

}  // namespace velvix::qt
