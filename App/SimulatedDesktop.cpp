#include "SimulatedDesktop.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace velvix {

// The simulated system's Accessibility service, except that asking for the permission stands
// for the user granting it in the system's settings a moment later.
class SimulatedDesktop::PromptGrants final : public platform::Accessibility {
 public:
  explicit PromptGrants(sim::SimAccessibility& inner) : inner_(inner) {}

  [[nodiscard]] bool isProcessTrusted() const override { return inner_.isProcessTrusted(); }
  void promptForTrust() override {
    inner_.promptForTrust();
    inner_.setTrusted(true);
  }
  [[nodiscard]] platform::Element applicationElement(platform::ProcessId pid) override {
    return inner_.applicationElement(pid);
  }
  platform::Error setMessagingTimeout(const platform::Element& element, double seconds) override {
    return inner_.setMessagingTimeout(element, seconds);
  }
  [[nodiscard]] platform::AttributeResult copyAttributeValue(
      const platform::Element& element, platform::Attribute attribute) override {
    return inner_.copyAttributeValue(element, attribute);
  }
  [[nodiscard]] platform::MultipleAttributeResult copyMultipleAttributeValues(
      const platform::Element& element, std::span<const platform::Attribute> attributes) override {
    return inner_.copyMultipleAttributeValues(element, attributes);
  }

 private:
  sim::SimAccessibility& inner_;
};

namespace {

// The screen the simulated desktop has: room around WhatsApp's window for the pointer to leave
// it.
constexpr Rect kScreen(0, 0, 1600, 1000);

}  // namespace

SimulatedDesktop::SimulatedDesktop(platform::LogSink& log, sim::WhatsAppState state)
    : log_(log), accessibility_(std::make_unique<PromptGrants>(desktop_.accessibility())) {
  desktop_.windowServer().setScreens({kScreen});
  desktop_.windowServer().setMouseTopLeft({-10, -10});
  desktop_.accessibility().setTrusted(false);
  sim::WhatsAppModel::Options options;
  // Text is laid out with the widths it is painted with.
  options.measureText = &pixels::measureText;
  whatsApp_ = std::make_unique<sim::WhatsAppModel>(desktop_, std::move(state), std::move(options));
  // The overlay measures the layout from the window's own pixels, as it does on a real desktop.
  desktop_.toolkit().setWindowPixels([this]() -> std::optional<platform::WindowImage> {
    // WhatsApp alone, as the overlay's capture sees it; 0xffRRGGBB per pixel.
    const QImage image = renderer_.render(desktop_, *whatsApp_, {.showsOverlay = false})
                             .convertToFormat(QImage::Format_RGB32);
    platform::WindowImage out{image.width(), image.height(), 1, {}};
    out.pixels.resize(static_cast<std::size_t>(out.width) * out.height);
    for (int y = 0; y < out.height; ++y) {
      const auto* line = reinterpret_cast<const std::uint32_t*>(image.constScanLine(y));
      std::copy(line, line + out.width,
                out.pixels.begin() + static_cast<std::ptrdiff_t>(y) * out.width);
    }
    return out;
  });
}

SimulatedDesktop::~SimulatedDesktop() {
  desktop_.stop();
}

OverlayPorts SimulatedDesktop::ports() {
  return {*accessibility_, desktop_.windowServer(), desktop_.toolkit(), desktop_.scheduler(), log_};
}

void SimulatedDesktop::advance(std::chrono::nanoseconds elapsed) {
  if (elapsed.count() > 0) desktop_.runFor(elapsed);
}

void SimulatedDesktop::pointerMoved(QPointF point) {
  const Point origin = shownOrigin();
  desktop_.windowServer().setMouseTopLeft({origin.x + point.x(), origin.y + point.y()});
}

void SimulatedDesktop::pointerLeft() {
  desktop_.windowServer().setMouseTopLeft({-10, -10});
}

void SimulatedDesktop::scrolled(double points) {
  (void)whatsApp_->scrollWheel(points);
}

QSize SimulatedDesktop::size() const {
  const Rect frame = whatsApp_->state().windowFrame;
  return {static_cast<int>(std::ceil(frame.width())) + 2 * kMargin,
          static_cast<int>(std::ceil(frame.height())) + 2 * kMargin};
}

Point SimulatedDesktop::shownOrigin() const {
  const Rect frame = whatsApp_->state().windowFrame;
  return {frame.minX() - kMargin, frame.minY() - kMargin};
}

QImage SimulatedDesktop::render() {
  return renderer_.render(desktop_, *whatsApp_, {.scale = 1, .margin = kMargin});
}

}  // namespace velvix
