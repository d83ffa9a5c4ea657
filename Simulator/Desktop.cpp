#include "Desktop.hpp"

namespace velvix::sim {

Desktop::Desktop(TimeMode mode)
    : scheduler_(SimScheduler::make(mode)),
      accessibility_(*scheduler_),
      toolkit_(windowServer_, scheduler_->mainQueue()) {}

Desktop::~Desktop() {
  scheduler_->stop();
}

}  // namespace velvix::sim
