#pragma once

// The Scheduler over Qt's event loop: the main queue is the thread that runs the
// QCoreApplication, timers are QTimers, and each serial executor is a thread of its own with a
// queue ordered by due time. The display ticker runs at the display rate (60 Hz unless told),
// and repeating timers at least as long as a display frame, and main-queue delays of several
// frames, run on its beat (within half a frame of their time), so that together they wake the
// process no more often than the display refreshes.
//
// Construct on the main thread after the QCoreApplication exists.

#include <Velvix/Platform/Scheduler.hpp>

#include <memory>

class QObject;

namespace velvix::qt {

class FrameClock;

class QtScheduler final : public platform::Scheduler {
 public:
  explicit QtScheduler(double refreshRate = 60);
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
  class MainQueue;
  std::unique_ptr<QObject> context_;
  std::shared_ptr<FrameClock> clock_;
  std::unique_ptr<MainQueue> main_;
};

}  // namespace velvix::qt
