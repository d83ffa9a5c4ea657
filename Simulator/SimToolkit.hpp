#pragma once

// The Simulator's window toolkit: the overlay panel as a window of this process in the window
// server's list, its blur views and guides, workspace notifications and the global scroll-wheel
// monitor. Every property write and every change of window order is counted, so tests can check
// that drawing is incremental.

#include "SimWindowServer.hpp"

#include <Velvix/Platform/Observers.hpp>
#include <Velvix/Platform/Scheduler.hpp>
#include <Velvix/Platform/Toolkit.hpp>
#include <Velvix/Platform/support/BlurViewSlots.hpp>
#include <Velvix/Platform/support/Lifetime.hpp>

#include <array>
#include <memory>
#include <vector>

namespace velvix::sim {

/// Counts of what the app changed on the panel and its views.
struct ToolkitCounts {
  int panelFrameWrites = 0;
  int levelWrites = 0;
  int orderChanges = 0;  ///< orderOut, orderFrontRegardless, orderAbove
  int displayNow = 0;
  int blurViewsCreated = 0;
  int blurViewsRemoved = 0;
  int blurFrameWrites = 0;
  int maskWrites = 0;
  int hiddenWrites = 0;
  int guidesUpdates = 0;
  int guidesHiddenWrites = 0;
  friend bool operator==(const ToolkitCounts&, const ToolkitCounts&) = default;
};

/// A blur view as the Simulator sees it.
using BlurViewState = support::BlurViewState;

class SimPanel;

class SimToolkit final : public platform::Toolkit {
 public:
  SimToolkit(SimWindowServer& server, platform::Executor& mainQueue);
  ~SimToolkit() override;

  // --- the port ------------------------------------------------------------------------------
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
  [[nodiscard]] bool offersGlobalShortcuts() const override { return true; }
  [[nodiscard]] platform::GlobalShortcut addGlobalShortcut(std::string_view keys,
                                                           std::function<void()> handler) override;
  [[nodiscard]] std::optional<double> secondsSinceInput() const override { return idle_; }

  // --- driving -------------------------------------------------------------------------------
  /// A scroll-wheel event somewhere on the desktop; monitors hear of it on the main queue.
  void scrollWheel(platform::ScrollWheelEvent event = {});
  /// A press of the primary button somewhere on the desktop; monitors hear of it on the main
  /// queue.
  void click();
  /// Makes the platform refuse new scroll-wheel and click monitors.
  void setRefusesScrollMonitors(bool refuses) { refusesScrollMonitors_ = refuses; }
  /// A press of `keys`: the shortcut registered for exactly them hears of it on the main queue.
  void pressKeys(std::string_view keys);
  /// Makes `keys` held by another program: registering them fails.
  void setHeldElsewhere(std::string keys) { heldElsewhere_ = std::move(keys); }
  /// What the platform tells of the time since the last keyboard or mouse input.
  void setSecondsSinceInput(std::optional<double> seconds) { idle_ = seconds; }
  /// Changes the panel's occlusion state; observers hear of it on the main queue.
  void setPanelOcclusionVisible(bool visible);
  /// What the panel reads of the window under it; with none (the default) it reads nothing.
  using WindowPixels = std::function<std::optional<platform::WindowImage>()>;
  void setWindowPixels(WindowPixels source) { windowPixels_ = std::move(source); }
  [[nodiscard]] const WindowPixels& windowPixels() const { return windowPixels_; }

  // --- observation ---------------------------------------------------------------------------
  [[nodiscard]] const ToolkitCounts& counts() const { return counts_; }
  void resetCounts() { counts_ = {}; }
  /// The live panel (the last one made), or null.
  [[nodiscard]] const SimPanel* panel() const { return panel_; }
  /// The panel's blur views from bottom to top (all directly below the guides).
  [[nodiscard]] std::vector<BlurViewState> blurViews() const;
  [[nodiscard]] int workspaceObservers() const;
  [[nodiscard]] int scrollMonitors() const;
  [[nodiscard]] int clickMonitors() const { return static_cast<int>(clickMonitors_.size()); }
  /// The keys of the registered shortcut, or empty.
  [[nodiscard]] const std::string& shortcut() const { return shortcutKeys_; }

  // Internal, for the panel and its views.
  ToolkitCounts& mutableCounts() { return counts_; }
  SimWindowServer& server() { return server_; }
  platform::Executor& mainQueue() { return main_; }
  void panelDestroyed(const SimPanel* panel);
  /// Runs `work` on the main queue while the toolkit lives.
  void postGuarded(std::function<void()> work) { main_.post(lifetime_.guard(std::move(work))); }

 private:
  void announce(bool activeSpaceChanged);

  SimWindowServer& server_;
  platform::Executor& main_;
  ToolkitCounts counts_;
  SimPanel* panel_ = nullptr;
  // Indexed by WorkspaceEvent.
  std::array<platform::ObserverList<platform::WorkspaceEvent>, 2> workspaceObservers_;
  platform::ObserverList<const platform::ScrollWheelEvent&> scrollMonitors_;
  platform::ObserverList<> clickMonitors_;
  platform::ObserverList<> pointerMonitors_;
  bool refusesScrollMonitors_ = false;
  WindowPixels windowPixels_;
  std::string shortcutKeys_;
  std::function<void()> shortcutHandler_;
  std::string heldElsewhere_;
  std::optional<double> idle_ = 0.0;
  support::Lifetime lifetime_;  // last: ends before the lists go
};

/// The Simulator's overlay panel.
class SimPanel final : public platform::Panel {
 public:
  SimPanel(SimToolkit& toolkit, std::uint32_t number);
  ~SimPanel() override;

  [[nodiscard]] Rect frame() const override { return frame_; }
  void setFrame(const Rect& frame) override;
  [[nodiscard]] std::int64_t level() const override { return level_; }
  void setLevel(std::int64_t level) override;
  [[nodiscard]] bool isVisible() const override { return visible_; }
  [[nodiscard]] bool isOnActiveSpace() const override;
  [[nodiscard]] std::int64_t windowNumber() const override { return number_; }
  void orderOut() override;
  void orderFrontRegardless() override;
  void orderAbove(std::uint32_t windowNumber) override;
  void displayNow() override { ++toolkit_.mutableCounts().displayNow; }
  [[nodiscard]] bool isOcclusionVisible() const override { return occlusionVisible_; }
  [[nodiscard]] bool readsWindowPixels() const override {
    return static_cast<bool>(toolkit_.windowPixels());
  }
  [[nodiscard]] std::optional<platform::WindowImage> windowImage() override {
    return readsWindowPixels() ? toolkit_.windowPixels()() : std::nullopt;
  }
  [[nodiscard]] platform::Subscription observeOcclusion(std::function<void()> handler) override;
  [[nodiscard]] std::unique_ptr<platform::BlurView> addBlurView() override;
  [[nodiscard]] bool areGuidesHidden() const override { return guidesHidden_; }
  void setGuidesHidden(bool hidden) override;
  void setGuides(std::span<const Rect> regions, std::span<const double> columns) override;
  [[nodiscard]] bool offersBlurStrength() const override { return true; }
  void setBlurStrength(BlurStrength strength) override { strength_ = strength; }

  // --- observation ---------------------------------------------------------------------------
  [[nodiscard]] BlurStrength blurStrength() const { return strength_; }
  /// The Space the panel is on (it moves to the active Space when ordered in).
  [[nodiscard]] int space() const { return space_; }
  [[nodiscard]] const std::vector<Rect>& guideRegions() const { return guideRegions_; }
  [[nodiscard]] const std::vector<double>& guideColumns() const { return guideColumns_; }
  [[nodiscard]] std::vector<BlurViewState> blurViews() const { return views_.states(); }
  [[nodiscard]] int occlusionObservers() const {
    return static_cast<int>(occlusionObservers_.size());
  }

  // Internal.
  void setOcclusionVisible(bool visible);

 private:
  void orderIn();
  void syncWindow();

  SimToolkit& toolkit_;
  std::uint32_t number_;
  Rect frame_;
  std::int64_t level_ = 0;
  bool visible_ = false;
  int space_ = 1;
  bool occlusionVisible_ = false;
  bool guidesHidden_ = false;
  std::vector<Rect> guideRegions_;
  std::vector<double> guideColumns_;
  BlurStrength strength_ = BlurStrength::medium;
  support::BlurViewSlots views_;
  platform::ObserverList<> occlusionObservers_;
  support::Lifetime lifetime_;  // last: ends before the rest goes
};

}  // namespace velvix::sim
