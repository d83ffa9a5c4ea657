#include "SimToolkit.hpp"

#include <algorithm>

namespace velvix::sim {

// --- SimToolkit ------------------------------------------------------------------------------

SimToolkit::SimToolkit(SimWindowServer& server, platform::Executor& mainQueue)
    : server_(server), main_(mainQueue) {
  server_.onWorkspaceChange = [this](bool activeSpaceChanged) { announce(activeSpaceChanged); };
  server_.onMouseMove = [this] { postGuarded([this] { pointerMonitors_.notify(); }); };
}

SimToolkit::~SimToolkit() {
  server_.onWorkspaceChange = nullptr;
  server_.onMouseMove = nullptr;
}

std::unique_ptr<platform::Panel> SimToolkit::makeOverlayPanel() {
  auto panel = std::make_unique<SimPanel>(*this, server_.nextWindowNumber());
  panel_ = panel.get();
  return panel;
}

void SimToolkit::panelDestroyed(const SimPanel* panel) {
  if (panel_ == panel) panel_ = nullptr;
}

platform::Subscription SimToolkit::observeWorkspace(
    platform::WorkspaceEvent event, std::function<void(platform::WorkspaceEvent)> handler) {
  return workspaceObservers_[static_cast<std::size_t>(event)].add(std::move(handler));
}

platform::Subscription SimToolkit::addGlobalScrollWheelMonitor(
    std::function<void(const platform::ScrollWheelEvent&)> handler) {
  if (refusesScrollMonitors_) return {};
  return scrollMonitors_.add(std::move(handler));
}

platform::Subscription SimToolkit::addGlobalClickMonitor(std::function<void()> handler) {
  if (refusesScrollMonitors_) return {};
  return clickMonitors_.add(std::move(handler));
}

void SimToolkit::announce(bool activeSpaceChanged) {
  const auto event = activeSpaceChanged ? platform::WorkspaceEvent::activeSpaceDidChange
                                        : platform::WorkspaceEvent::didActivateApplication;
  postGuarded(
      [this, event] { workspaceObservers_[static_cast<std::size_t>(event)].notify(event); });
}

void SimToolkit::scrollWheel(platform::ScrollWheelEvent event) {
  postGuarded([this, event] { scrollMonitors_.notify(event); });
}

platform::GlobalShortcut SimToolkit::addGlobalShortcut(std::string_view keys,
                                                       std::function<void()> handler) {
  if (keys == heldElsewhere_) {
    return {{}, "Another program already uses " + std::string(keys)};
  }
  shortcutKeys_ = keys;
  shortcutHandler_ = std::move(handler);
  return {platform::Subscription(lifetime_.guard([this] {
            shortcutKeys_.clear();
            shortcutHandler_ = nullptr;
          })),
          {}};
}

void SimToolkit::pressKeys(std::string_view keys) {
  postGuarded([this, keys = std::string(keys)] {
    if (keys == shortcutKeys_ && shortcutHandler_) shortcutHandler_();
  });
}

platform::Subscription SimToolkit::addGlobalPointerMonitor(std::function<void()> handler) {
  if (refusesScrollMonitors_) return {};
  return pointerMonitors_.add(std::move(handler));
}

void SimToolkit::click() {
  postGuarded([this] { clickMonitors_.notify(); });
}

void SimToolkit::setPanelOcclusionVisible(bool visible) {
  if (panel_) panel_->setOcclusionVisible(visible);
}

std::vector<BlurViewState> SimToolkit::blurViews() const {
  return panel_ ? panel_->blurViews() : std::vector<BlurViewState>{};
}

int SimToolkit::workspaceObservers() const {
  return static_cast<int>(workspaceObservers_[0].size() + workspaceObservers_[1].size());
}
int SimToolkit::scrollMonitors() const {
  return static_cast<int>(scrollMonitors_.size());
}

// --- SimPanel --------------------------------------------------------------------------------

SimPanel::SimPanel(SimToolkit& toolkit, std::uint32_t number)
    : toolkit_(toolkit),
      number_(number),
      frame_(0, 0, 0, 0),
      space_(toolkit.server().activeSpace()),
      views_([&counts = toolkit.mutableCounts()](support::BlurViewSlots::Change change) {
        using Change = support::BlurViewSlots::Change;
        switch (change) {
          case Change::frame:
            ++counts.blurFrameWrites;
            break;
          case Change::mask:
            ++counts.maskWrites;
            break;
          case Change::hidden:
            ++counts.hiddenWrites;
            break;
          case Change::removed:
            ++counts.blurViewsRemoved;
            break;
        }
      }) {
  WindowSpec window;
  window.number = number;
  window.pid = toolkit_.server().ownProcessId();
  window.ownerName = "Velvix";
  window.isOnScreen = false;
  toolkit_.server().addWindow(window);
  syncWindow();
}

SimPanel::~SimPanel() {
  toolkit_.server().removeWindow(number_);
  toolkit_.panelDestroyed(this);
}

void SimPanel::syncWindow() {
  WindowSpec& window = toolkit_.server().window(number_);
  window.bounds = platform::screenFlip(toolkit_.server()).map(frame_);
  window.layer = level_;
  window.space = space_;
  window.isOnScreen = visible_;
}

void SimPanel::setFrame(const Rect& frame) {
  ++toolkit_.mutableCounts().panelFrameWrites;
  frame_ = frame;
  syncWindow();
}

void SimPanel::setLevel(std::int64_t level) {
  ++toolkit_.mutableCounts().levelWrites;
  level_ = level;
  syncWindow();
}

bool SimPanel::isOnActiveSpace() const {
  return space_ == toolkit_.server().activeSpace();
}

void SimPanel::orderOut() {
  ++toolkit_.mutableCounts().orderChanges;
  visible_ = false;
  syncWindow();
}

void SimPanel::orderIn() {
  // The panel moves to the active Space whenever it is ordered in.
  visible_ = true;
  space_ = toolkit_.server().activeSpace();
  syncWindow();
}

void SimPanel::orderFrontRegardless() {
  ++toolkit_.mutableCounts().orderChanges;
  orderIn();
  toolkit_.server().bringToFront(number_);
}

void SimPanel::orderAbove(std::uint32_t windowNumber) {
  ++toolkit_.mutableCounts().orderChanges;
  orderIn();
  const auto numbers = toolkit_.server().onScreenNumbers();
  if (std::find(numbers.begin(), numbers.end(), windowNumber) != numbers.end())
    toolkit_.server().orderAbove(number_, windowNumber);
  else
    toolkit_.server().bringToFront(number_);
}

platform::Subscription SimPanel::observeOcclusion(std::function<void()> handler) {
  return occlusionObservers_.add(std::move(handler));
}

void SimPanel::setOcclusionVisible(bool visible) {
  if (occlusionVisible_ == visible) return;
  occlusionVisible_ = visible;
  // Heard on the main queue, as the platform delivers it; not by an observer gone meanwhile.
  toolkit_.mainQueue().post(lifetime_.guard([this] { occlusionObservers_.notify(); }));
}

std::unique_ptr<platform::BlurView> SimPanel::addBlurView() {
  ++toolkit_.mutableCounts().blurViewsCreated;
  return views_.add();  // directly below the guides: above every earlier view
}

void SimPanel::setGuidesHidden(bool hidden) {
  ++toolkit_.mutableCounts().guidesHiddenWrites;
  guidesHidden_ = hidden;
}

void SimPanel::setGuides(std::span<const Rect> regions, std::span<const double> columns) {
  ++toolkit_.mutableCounts().guidesUpdates;
  guideRegions_.assign(regions.begin(), regions.end());
  guideColumns_.assign(columns.begin(), columns.end());
}

}  // namespace velvix::sim
