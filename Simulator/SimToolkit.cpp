#include "SimToolkit.hpp"

#include <algorithm>

namespace velvix::sim {

namespace {

template <typename T>
using SharedList = std::shared_ptr<std::vector<std::shared_ptr<T>>>;

// Removes its entry from a list of observers when destroyed; harmless after the list is gone.
template <typename T>
class ListRegistration final : public platform::Subscription {
 public:
  ListRegistration(const SharedList<T>& list, std::shared_ptr<T> entry)
      : list_(list), entry_(std::move(entry)) {}
  ~ListRegistration() override {
    if (auto list = list_.lock()) std::erase(*list, entry_);
  }

 private:
  std::weak_ptr<std::vector<std::shared_ptr<T>>> list_;
  std::shared_ptr<T> entry_;
};

class SimBlurView final : public platform::BlurView {
 public:
  SimBlurView(std::shared_ptr<SimPanel::ViewSlot> slot, ToolkitCounts& counts)
      : slot_(std::move(slot)), counts_(counts) {}
  ~SimBlurView() override {
    if (slot_->panel) slot_->panel->viewDestroyed(slot_.get());
  }

  Rect frame() const override { return slot_->state.frame; }
  void setFrame(const Rect& frame) override {
    ++counts_.blurFrameWrites;
    slot_->state.frame = frame;
  }
  std::optional<Shape> mask() const override { return slot_->state.mask; }
  void setMask(Shape shape) override {
    ++counts_.maskWrites;
    slot_->state.mask = shape;
  }
  bool isHidden() const override { return slot_->state.isHidden; }
  void setHidden(bool hidden) override {
    ++counts_.hiddenWrites;
    slot_->state.isHidden = hidden;
  }

 private:
  std::shared_ptr<SimPanel::ViewSlot> slot_;
  ToolkitCounts& counts_;
};

}  // namespace

// --- SimToolkit ------------------------------------------------------------------------------

SimToolkit::SimToolkit(SimWindowServer& server, platform::Executor& mainQueue)
    : server_(server),
      main_(mainQueue),
      workspaceObservers_(std::make_shared<std::vector<std::shared_ptr<Observer>>>()),
      scrollMonitors_(std::make_shared<std::vector<std::shared_ptr<std::function<void()>>>>()) {
  server_.onWorkspaceChange = [this](bool activeSpaceChanged) { announce(activeSpaceChanged); };
}

SimToolkit::~SimToolkit() {
  server_.onWorkspaceChange = nullptr;
}

std::unique_ptr<platform::Panel> SimToolkit::makeOverlayPanel() {
  auto panel = std::make_unique<SimPanel>(*this, server_.nextWindowNumber());
  panel_ = panel.get();
  return panel;
}

void SimToolkit::panelDestroyed(const SimPanel* panel) {
  if (panel_ == panel) panel_ = nullptr;
}

std::unique_ptr<platform::Subscription> SimToolkit::observeWorkspace(
    platform::WorkspaceEvent event, std::function<void(platform::WorkspaceEvent)> handler) {
  auto observer = std::make_shared<Observer>(Observer{event, std::move(handler)});
  workspaceObservers_->push_back(observer);
  return std::make_unique<ListRegistration<Observer>>(workspaceObservers_, observer);
}

std::unique_ptr<platform::Subscription> SimToolkit::addGlobalScrollWheelMonitor(
    std::function<void()> handler) {
  if (refusesScrollMonitors_) return nullptr;
  auto monitor = std::make_shared<std::function<void()>>(std::move(handler));
  scrollMonitors_->push_back(monitor);
  return std::make_unique<ListRegistration<std::function<void()>>>(scrollMonitors_, monitor);
}

void SimToolkit::announce(bool activeSpaceChanged) {
  const auto event = activeSpaceChanged ? platform::WorkspaceEvent::activeSpaceDidChange
                                        : platform::WorkspaceEvent::didActivateApplication;
  // Handlers are looked up when the notification is delivered, so one removed meanwhile is not
  // called.
  std::weak_ptr<std::vector<std::shared_ptr<Observer>>> weak = workspaceObservers_;
  main_.post([weak, event] {
    auto list = weak.lock();
    if (!list) return;
    const auto observers = *list;
    for (const auto& observer : observers)
      if (observer->event == event) observer->handler(event);
  });
}

void SimToolkit::scrollWheel() {
  std::weak_ptr<std::vector<std::shared_ptr<std::function<void()>>>> weak = scrollMonitors_;
  main_.post([weak] {
    auto list = weak.lock();
    if (!list) return;
    const auto monitors = *list;
    for (const auto& monitor : monitors)
      (*monitor)();
  });
}

void SimToolkit::setPanelOcclusionVisible(bool visible) {
  if (panel_) panel_->setOcclusionVisible(visible);
}

std::vector<BlurViewState> SimToolkit::blurViews() const {
  return panel_ ? panel_->blurViews() : std::vector<BlurViewState>{};
}

int SimToolkit::workspaceObservers() const {
  return static_cast<int>(workspaceObservers_->size());
}
int SimToolkit::scrollMonitors() const {
  return static_cast<int>(scrollMonitors_->size());
}

// --- SimPanel --------------------------------------------------------------------------------

SimPanel::SimPanel(SimToolkit& toolkit, std::uint32_t number)
    : toolkit_(toolkit),
      number_(number),
      frame_(0, 0, 0, 0),
      space_(toolkit.server().activeSpace()),
      occlusionObservers_(std::make_shared<std::vector<std::shared_ptr<std::function<void()>>>>()) {
  WindowSpec window;
  window.number = number;
  window.pid = toolkit_.server().ownProcessId();
  window.ownerName = "Velvix";
  window.isOnScreen = false;
  toolkit_.server().addWindow(window);
  syncWindow();
}

SimPanel::~SimPanel() {
  for (auto& view : views_)
    view->panel = nullptr;
  toolkit_.server().removeWindow(number_);
  toolkit_.panelDestroyed(this);
}

void SimPanel::syncWindow() {
  WindowSpec& window = toolkit_.server().window(number_);
  const auto screens = toolkit_.server().screens();
  const double height = screens.empty() ? 0 : screens.front().height();
  window.bounds =
      Rect(frame_.origin.x, height - frame_.maxY(), frame_.size.width, frame_.size.height);
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

std::unique_ptr<platform::Subscription> SimPanel::observeOcclusion(std::function<void()> handler) {
  auto observer = std::make_shared<std::function<void()>>(std::move(handler));
  occlusionObservers_->push_back(observer);
  return std::make_unique<ListRegistration<std::function<void()>>>(occlusionObservers_, observer);
}

void SimPanel::setOcclusionVisible(bool visible) {
  if (occlusionVisible_ == visible) return;
  occlusionVisible_ = visible;
  std::weak_ptr<std::vector<std::shared_ptr<std::function<void()>>>> weak = occlusionObservers_;
  toolkit_.mainQueue().post([weak] {
    auto list = weak.lock();
    if (!list) return;
    const auto observers = *list;
    for (const auto& observer : observers)
      (*observer)();
  });
}

std::unique_ptr<platform::BlurView> SimPanel::addBlurView() {
  ++toolkit_.mutableCounts().blurViewsCreated;
  auto slot = std::make_shared<ViewSlot>();
  slot->panel = this;
  views_.push_back(slot);  // directly below the guides: above every earlier view
  return std::make_unique<SimBlurView>(slot, toolkit_.mutableCounts());
}

void SimPanel::viewDestroyed(const ViewSlot* slot) {
  ++toolkit_.mutableCounts().blurViewsRemoved;
  std::erase_if(views_, [slot](const auto& view) { return view.get() == slot; });
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

std::vector<BlurViewState> SimPanel::blurViews() const {
  std::vector<BlurViewState> states;
  for (const auto& view : views_)
    states.push_back(view->state);
  return states;
}

}  // namespace velvix::sim
