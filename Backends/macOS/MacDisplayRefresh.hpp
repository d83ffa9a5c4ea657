#pragma once

// The display's refresh that paces the Qt scheduler's display ticker: the main screen's display
// link where the system has one (macOS 14 and later), CVDisplayLink before, whose callbacks
// come on a thread of their own and are handed to the main thread one at a time.

#include <Backends/Qt/QtScheduler.hpp>

#include <memory>

namespace velvix::mac {

class MacDisplayRefresh final : public qt::DisplayRefresh {
 public:
  MacDisplayRefresh();
  ~MacDisplayRefresh() override;

  [[nodiscard]] std::chrono::nanoseconds period() const override;
  void start(std::function<void()> onRefresh) override;
  void stop() override;

 private:
  struct Link;
  std::unique_ptr<Link> link_;
};

}  // namespace velvix::mac
