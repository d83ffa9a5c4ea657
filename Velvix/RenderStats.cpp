#include "RenderStats.hpp"

namespace velvix {

void RenderStats::frame() {
  ++frames_;
  const double now = scheduler_.mediaTime();
  const double elapsed = now - start_;
  if (elapsed < 2.0) return;
  logger_.debug("frames/s %.*f, measurements/s %.*f", platform::Fixed{0, frames_ / elapsed},
                platform::Fixed{0, measurements / elapsed});
  // The period restarts whether or not debug lines are kept.
  frames_ = 0;
  measurements = 0;
  start_ = now;
}

}  // namespace velvix
