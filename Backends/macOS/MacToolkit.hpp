#pragma once

// The toolkit over AppKit: the overlay as a borderless, non-activating, click-through NSPanel on
// every Space and beside full-screen apps, its frosted-glass NSVisualEffectViews shaped by
// rounded and oval mask images, the guides view, NSWorkspace's notifications, the global
// scroll-wheel monitor and the time since the last input. Main thread only.
//
// Of Velvix's additions, a global panic key (it would need the Carbon hot-key service) and blur
// strengths (the visual-effect view has no radius, and its materials differ in tint rather than
// in strength) are not offered here: the options panel hides both controls.

#include <Velvix/Platform/Toolkit.hpp>

namespace velvix::mac {

class MacToolkit final : public platform::Toolkit {
 public:
  [[nodiscard]] std::unique_ptr<platform::Panel> makeOverlayPanel() override;
  [[nodiscard]] platform::Subscription observeWorkspace(
      platform::WorkspaceEvent event,
      std::function<void(platform::WorkspaceEvent)> handler) override;
  [[nodiscard]] platform::Subscription addGlobalScrollWheelMonitor(
      std::function<void(const platform::ScrollWheelEvent&)> handler) override;
  [[nodiscard]] platform::Subscription addGlobalClickMonitor(
      std::function<void()> handler) override;
  [[nodiscard]] platform::Subscription addGlobalPointerMonitor(
      std::function<void()> handler) override;
  [[nodiscard]] std::optional<double> secondsSinceInput() const override;
};

}  // namespace velvix::mac
