#include "SimWindowServer.hpp"

#include <Velvix/Platform/Toolkit.hpp>
#include <Velvix/Platform/support/WindowLevels.hpp>

#include <algorithm>
#include <stdexcept>

namespace velvix::sim {

SimWindowServer::SimWindowServer() : screens_{Rect(0, 0, 1920, 1080)} {}

std::size_t SimWindowServer::indexOf(std::uint32_t number) const {
  for (std::size_t i = 0; i < windows_.size(); ++i)
    if (windows_[i].number == number) return i;
  // A test naming a window that does not exist is a broken test; say so loudly.
  throw std::out_of_range("no simulated window with number " + std::to_string(number));
}

std::uint32_t SimWindowServer::addWindow(WindowSpec definition) {
  if (definition.number == 0) definition.number = nextNumber_++;
  windows_.push_back(std::move(definition));
  windowsChanged();
  return windows_.back().number;
}

WindowSpec& SimWindowServer::window(std::uint32_t number) {
  return windows_[indexOf(number)];
}

void SimWindowServer::removeWindow(std::uint32_t number) {
  windows_.erase(windows_.begin() + static_cast<std::ptrdiff_t>(indexOf(number)));
  windowsChanged();
}

void SimWindowServer::bringToFront(std::uint32_t number) {
  const auto i = static_cast<std::ptrdiff_t>(indexOf(number));
  std::rotate(windows_.begin(), windows_.begin() + i, windows_.begin() + i + 1);
  windowsChanged();
}

void SimWindowServer::orderAbove(std::uint32_t number, std::uint32_t other) {
  if (number == other) return;
  WindowSpec moved = windows_[indexOf(number)];
  windows_.erase(windows_.begin() + static_cast<std::ptrdiff_t>(indexOf(number)));
  windows_.insert(windows_.begin() + static_cast<std::ptrdiff_t>(indexOf(other)), std::move(moved));
  windowsChanged();
}

void SimWindowServer::addApplication(RunningApplication app) {
  apps_.push_back(std::move(app));
}

RunningApplication& SimWindowServer::application(std::int32_t pid) {
  for (auto& app : apps_)
    if (app.pid == pid) return app;
  throw std::out_of_range("no simulated application with pid " + std::to_string(pid));
}

void SimWindowServer::setFrontmostApplication(std::optional<std::int32_t> pid) {
  frontmost_ = pid;
  if (onWorkspaceChange) onWorkspaceChange(false);
}

void SimWindowServer::setMouseTopLeft(Point topLeft) {
  setMouseLocation(platform::screenFlip(*this).map(topLeft));
}

void SimWindowServer::setMouseLocation(Point bottomLeft) {
  if (bottomLeft == mouse_) return;
  mouse_ = bottomLeft;
  if (onMouseMove) onMouseMove();
}

void SimWindowServer::setActiveSpace(int space) {
  activeSpace_ = space;
  if (onWorkspaceChange) onWorkspaceChange(true);
}

std::vector<const WindowSpec*> SimWindowServer::listed() const {
  std::vector<const WindowSpec*> shown;
  for (const auto& w : windows_)
    if (w.isOnScreen && (!w.space || *w.space == activeSpace_)) shown.push_back(&w);
  std::stable_sort(shown.begin(), shown.end(),
                   [](const WindowSpec* a, const WindowSpec* b) { return a->layer > b->layer; });
  return shown;
}

std::vector<std::uint32_t> SimWindowServer::onScreenNumbers() const {
  std::vector<std::uint32_t> numbers;
  for (const WindowSpec* w : listed())
    numbers.push_back(w->number);
  return numbers;
}

std::optional<std::vector<platform::WindowEntry>> SimWindowServer::onScreenWindows() const {
  ++listReads_;
  if (listUnavailable_) return std::nullopt;
  std::vector<platform::WindowEntry> entries;
  for (const WindowSpec* w : listed()) {
    entries.push_back(platform::WindowEntry{
        w->rawNumber.value_or(EntryField(std::int64_t{w->number})),
        w->rawPID.value_or(EntryField(std::int64_t{w->pid})),
        w->rawOwnerName.value_or(EntryField(w->ownerName)),
        w->rawBounds.value_or(EntryField(w->bounds)),
        w->rawLayer.value_or(EntryField(w->layer)),
        w->rawAlpha.value_or(EntryField(w->alpha)),
    });
  }
  return entries;
}

platform::Subscription SimWindowServer::observeWindowChanges(std::function<void()> handler) {
  if (!tellsChanges_) return {};
  return changeObservers_.add(std::move(handler));
}

std::int32_t SimWindowServer::windowLevel(platform::WindowLevelKey key) const {
  return support::windowLevel(key, dockLevel_);
}

std::optional<RunningApplication> SimWindowServer::runningApplication(std::int32_t pid) const {
  ++applicationLookups_;
  for (const auto& app : apps_)
    if (app.pid == pid) return app;
  return std::nullopt;
}

std::vector<RunningApplication> SimWindowServer::runningApplications(
    std::string_view bundleIdentifier) const {
  std::vector<RunningApplication> found;
  for (const auto& app : apps_)
    if (app.bundleIdentifier == bundleIdentifier) found.push_back(app);
  return found;
}

std::optional<RunningApplication> SimWindowServer::frontmostApplication() const {
  if (!frontmost_) return std::nullopt;
  for (const auto& app : apps_)
    if (app.pid == *frontmost_) return app;
  return std::nullopt;
}

}  // namespace velvix::sim
