#pragma once

// Pacing and counting the overlay's drawing. Main thread only.

#include <Velvix/Platform/Log.hpp>
#include <Velvix/Platform/Scheduler.hpp>

#include <functional>
#include <utility>

namespace velvix {

/// What the display ticker calls once per refresh: the overlay's render().
class FrameTicker {
 public:
  explicit FrameTicker(std::function<void()> action) : action_(std::move(action)) {}
  void step() const { action_(); }

 private:
  const std::function<void()> action_;
};

/// Counts drawn frames and applied scroll measurements and logs their rates every two seconds.
class RenderStats {
 public:
  RenderStats(platform::Scheduler& scheduler, platform::LogSink& log)
      : scheduler_(scheduler), logger_(log, "render"), start_(scheduler.mediaTime()) {}

  /// Called at the start of every render(), whether or not it draws.
  void frame();

  /// Scroll measurements applied since the period began; the controller counts them.
  int measurements = 0;
  [[nodiscard]] int frames() const { return frames_; }

 private:
  platform::Scheduler& scheduler_;
  platform::Logger logger_;
  int frames_ = 0;
  double start_;
};

}  // namespace velvix
