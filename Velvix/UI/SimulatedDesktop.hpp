#pragma once

// Velvix's desktop when there is no real one to protect: the Simulator's desktop with the
// simulated WhatsApp client on it, run by the real clock and shown in a window (DesktopView),
// so that one sees Velvix cover a conversation and can try every switch. The real mouse hovers
// and scrolls the simulated WhatsApp; the overlay's patches are drawn as frosted glass over
// its pixels, with the layout guides when they are on.
//
// The Accessibility permission starts out missing, so Velvix begins in layout mode; the grant
// buttons' prompt stands for the user granting it, as they would in the system's settings.
//
// Everything runs on the Qt main thread, in the Simulator's virtual time advanced by advance().

#include "DesktopScene.hpp"

#include <Simulator/Desktop.hpp>
#include <Simulator/Pixels/FrostedGlass.hpp>
#include <Simulator/WhatsAppModel.hpp>
#include <Velvix/OverlayController.hpp>

#include <QImage>

#include <memory>

namespace velvix {

class SimulatedDesktop final : public DesktopScene {
 public:
  /// The desktop's size, in points.
  static constexpr int kWidth = 1400;
  static constexpr int kHeight = 900;

  /// A desktop with WhatsApp showing `state`; its log lines go to `log`, which must outlive it.
  explicit SimulatedDesktop(platform::LogSink& log,
                            sim::WhatsAppState state = sim::WhatsAppState::sample());
  ~SimulatedDesktop() override;

  /// The platform services the overlay works with here.
  [[nodiscard]] OverlayPorts ports();

  [[nodiscard]] sim::Desktop& desktop() { return desktop_; }
  [[nodiscard]] sim::WhatsAppModel& whatsApp() { return *whatsApp_; }

  // DesktopScene
  [[nodiscard]] QSize size() const override { return {kWidth, kHeight}; }
  void advance(std::chrono::nanoseconds elapsed) override;
  [[nodiscard]] QImage render() override;
  void pointerMoved(QPointF point) override;
  void pointerLeft() override;
  void scrolled(double points) override;

 private:
  class PromptGrants;

  void paintWhatsApp(QImage& image, const Rect& frame) const;
  void paintGuides(QImage& image);

  platform::LogSink& log_;
  sim::Desktop desktop_;
  std::unique_ptr<PromptGrants> accessibility_;
  std::unique_ptr<sim::WhatsAppModel> whatsApp_;
  pixels::FrostedGlass glass_;
};

}  // namespace velvix
