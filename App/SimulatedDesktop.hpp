#pragma once

// Velvix's desktop when there is no real one to protect: the Simulator's desktop with the
// simulated WhatsApp client on it, run by the real clock and shown in a window (DesktopView),
// so that one sees Velvix cover a conversation and can try every switch. The real mouse hovers
// and scrolls the simulated WhatsApp; the Simulator's renderer paints it with the overlay's
// patches as frosted glass over its pixels, and the layout guides when they are on. The window
// shows WhatsApp's window with a margin of desktop around it.
//
// The Accessibility permission starts out missing, so Velvix begins in layout mode; the grant
// buttons' prompt stands for the user granting it, as they would in the system's settings.
//
// Everything runs on the Qt main thread, in the Simulator's virtual time advanced by advance().

#include "DesktopScene.hpp"

#include <Simulator/Desktop.hpp>
#include <Simulator/Pixels/DesktopFrame.hpp>
#include <Simulator/WhatsAppModel.hpp>
#include <Velvix/OverlayController.hpp>

#include <QImage>

#include <memory>

namespace velvix {

class SimulatedDesktop final : public DesktopScene {
 public:
  /// The desktop shown around WhatsApp's window, in points on every side.
  static constexpr int kMargin = 40;

  /// A desktop with WhatsApp showing `state`; its log lines go to `log`, which must outlive it.
  explicit SimulatedDesktop(platform::LogSink& log,
                            sim::WhatsAppState state = sim::WhatsAppState::sample());
  ~SimulatedDesktop() override;

  /// The platform services the overlay works with here.
  [[nodiscard]] OverlayPorts ports();

  [[nodiscard]] sim::Desktop& desktop() { return desktop_; }
  [[nodiscard]] sim::WhatsAppModel& whatsApp() { return *whatsApp_; }

  // DesktopScene: the part of the desktop around WhatsApp's window.
  [[nodiscard]] QSize size() const override;
  void advance(std::chrono::nanoseconds elapsed) override;
  [[nodiscard]] QImage render() override;
  void pointerMoved(QPointF point) override;
  void pointerLeft() override;
  void scrolled(double points) override;

 private:
  class PromptGrants;

  /// The shown part's top-left corner in global desktop points.
  [[nodiscard]] Point shownOrigin() const;

  platform::LogSink& log_;
  sim::Desktop desktop_;
  std::unique_ptr<PromptGrants> accessibility_;
  std::unique_ptr<sim::WhatsAppModel> whatsApp_;
  pixels::DesktopRenderer renderer_;
};

}  // namespace velvix
