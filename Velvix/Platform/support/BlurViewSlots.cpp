#include "BlurViewSlots.hpp"

#include <algorithm>

namespace velvix::support {

struct BlurViewSlots::Shared {
  std::vector<std::shared_ptr<BlurViewState>> slots;  // bottom to top
  std::function<void(Change)> onChange;
};

class BlurViewSlots::View final : public platform::BlurView {
 public:
  View(std::shared_ptr<BlurViewState> slot, std::weak_ptr<Shared> owner)
      : slot_(std::move(slot)), owner_(std::move(owner)) {}
  ~View() override {
    if (const auto owner = owner_.lock()) {
      std::erase(owner->slots, slot_);
      owner->onChange(Change::removed);
    }
  }

  [[nodiscard]] Rect frame() const override { return slot_->frame; }
  void setFrame(const Rect& frame) override {
    slot_->frame = frame;
    changed(Change::frame);
  }
  [[nodiscard]] std::optional<Shape> mask() const override { return slot_->mask; }
  void setMask(Shape shape) override {
    slot_->mask = shape;
    changed(Change::mask);
  }
  [[nodiscard]] bool isHidden() const override { return slot_->isHidden; }
  void setHidden(bool hidden) override {
    slot_->isHidden = hidden;
    changed(Change::hidden);
  }

 private:
  void changed(Change change) const {
    if (const auto owner = owner_.lock()) owner->onChange(change);
  }
  std::shared_ptr<BlurViewState> slot_;
  std::weak_ptr<Shared> owner_;
};

BlurViewSlots::BlurViewSlots(std::function<void(Change)> onChange)
    : shared_(std::make_shared<Shared>()) {
  shared_->onChange = std::move(onChange);
}

BlurViewSlots::~BlurViewSlots() = default;

std::unique_ptr<platform::BlurView> BlurViewSlots::add() {
  auto slot = std::make_shared<BlurViewState>();
  shared_->slots.push_back(slot);
  return std::make_unique<View>(std::move(slot), shared_);
}

std::vector<BlurViewState> BlurViewSlots::states() const {
  std::vector<BlurViewState> out;
  out.reserve(shared_->slots.size());
  for (const auto& slot : shared_->slots)
    out.push_back(*slot);
  return out;
}

}  // namespace velvix::support
