#include "ScrollTracker.hpp"

#include <cmath>

namespace velvix {

ScrollTracker::ScrollTracker(platform::Accessibility& accessibility)
    : accessibility_(accessibility) {}

std::optional<double> ScrollTracker::currentY(platform::Accessibility& accessibility,
                                              const platform::Element& element, const Rect& frame) {
  const auto result = accessibility.copyAttributeValue(element, platform::Attribute::position);
  const platform::Value* value = result.get();
  if (!value) return std::nullopt;
  const auto position = value->point();
  if (!position) return std::nullopt;
  return position->y - frame.minY();
}

std::optional<ScrollTracker::Measurement> ScrollTracker::measure() const {
  // The copy keeps both elements alive after the lock is released.
  const State state = this->state();
  if (!state.isActive) return std::nullopt;

  ScrollOffset offset;
  const std::pair<const std::optional<Reference>*, double*> lists[] = {
      {&state.chatList, &offset.chatList}, {&state.messages, &offset.messages}};
  for (const auto& [reference, component] : lists) {
    if (!*reference) continue;
    const auto y = currentY(accessibility_, (*reference)->element, state.windowFrame);
    if (!y) return std::nullopt;
    const double movement = *y - (*reference)->y;
    // Written so that a NaN also counts as too far.
    if (!(std::abs(movement) < state.windowFrame.height())) return std::nullopt;
    *component = movement;
  }
  return Measurement{state.generation, offset};
}

std::int64_t ScrollTracker::publish(std::optional<Reference> chatList,
                                    std::optional<Reference> messages, const Rect& windowFrame) {
  // The old references are released after the lock, in case that is the last hold on them.
  State previous;
  std::int64_t generation = 0;
  {
    std::lock_guard lock(mutex_);
    previous = state_;
    state_.generation += 1;
    state_.isActive = true;
    state_.chatList = std::move(chatList);
    state_.messages = std::move(messages);
    state_.windowFrame = windowFrame;
    generation = state_.generation;
  }
  return generation;
}

void ScrollTracker::deactivate() {
  std::lock_guard lock(mutex_);
  state_.isActive = false;
}

ScrollTracker::State ScrollTracker::state() const {
  std::lock_guard lock(mutex_);
  return state_;
}

bool ScrollTracker::isActive() const {
  std::lock_guard lock(mutex_);
  return state_.isActive;
}

}  // namespace velvix
