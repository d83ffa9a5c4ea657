#pragma once

// A whole desktop in one process: the platform port implemented by the Simulator, in virtual
// time or on real threads. Tests build their world from plain structs in a few lines:
//
//   sim::Desktop desktop;
//   desktop.windowServer().addApplication({.pid = 42, .bundleIdentifier = "desktop.WhatsApp"});
//   desktop.windowServer().addWindow({.pid = 42, .ownerName = "WhatsApp",
//                                     .bounds = {100, 80, 1000, 700}});
//   desktop.runFor(std::chrono::seconds(1));
//
// Destroy (or stop()) the app's objects' pending work before the Desktop goes: call
// desktop.stop() at the end of a test that runs real threads.

#include "LogCapture.hpp"
#include "SimAccessibility.hpp"
#include "SimScheduler.hpp"
#include "SimToolkit.hpp"
#include "SimWindowServer.hpp"

#include <memory>

namespace velvix::sim {

class Desktop {
 public:
  explicit Desktop(TimeMode mode = TimeMode::virtualTime);
  Desktop(const Desktop&) = delete;
  Desktop& operator=(const Desktop&) = delete;
  ~Desktop();

  [[nodiscard]] SimScheduler& scheduler() { return *scheduler_; }
  [[nodiscard]] SimWindowServer& windowServer() { return windowServer_; }
  [[nodiscard]] SimAccessibility& accessibility() { return accessibility_; }
  [[nodiscard]] SimToolkit& toolkit() { return toolkit_; }
  [[nodiscard]] LogCapture& log() { return log_; }

  void runFor(Duration duration) { scheduler_->runFor(duration); }
  bool runUntil(const std::function<bool()>& done, Duration limit = std::chrono::seconds(10)) {
    return scheduler_->runUntil(done, limit);
  }
  /// Joins the executor threads and drops pending work.
  void stop() { scheduler_->stop(); }

 private:
  std::unique_ptr<SimScheduler> scheduler_;
  SimWindowServer windowServer_;
  SimAccessibility accessibility_;
  SimToolkit toolkit_;
  LogCapture log_;
};

}  // namespace velvix::sim
