#pragma once

// Pixels of the simulated desktop, with Qt's raster painter (QT_QPA_PLATFORM=offscreen is
// enough; a QGuiApplication must exist for fonts): WhatsApp's window painted from the model's
// scene with real text, and what a bystander sees on top of it — the overlay's visible blur
// views as frosted glass, and the layout guides when they are shown.
//
// Points map to pixels by `scale`; window-relative rectangles come from the model and the
// Simulator's panel, converted here and nowhere else.

#include <Glass/FrostedGlass.hpp>
#include <Simulator/Desktop.hpp>
#include <Simulator/OverlayCoverage.hpp>
#include <Simulator/WhatsAppModel.hpp>

#include <QFont>
#include <QImage>
#include <QPainter>

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace velvix::pixels {

using glass::FrostedGlass;
using glass::FrostedGlassStyle;

/// The font the simulated WhatsApp is painted with, `size` points high.
[[nodiscard]] QFont whatsAppFont(double size, bool bold);

/// The width of a line of text as paintScene() draws it; for WhatsAppModelOptions::measureText.
[[nodiscard]] double measureText(std::string_view text, double size, bool bold);

/// Paints a scene with the painter's current transform (one unit = one point, origin at the
/// window's top-left corner).
void paintScene(QPainter& painter, const sim::Scene& scene);

struct FrameOptions {
  double scale = 1;
  /// Desktop around the window, in points on every side.
  double margin = 0;
  /// Draw the overlay (glass and guides); off shows WhatsApp as it is.
  bool showsOverlay = true;
};

/// Renders frames of one desktop; keeps the frosted glass's buffers between frames.
class DesktopRenderer {
 public:
  /// `style` is the medium strength's; the panel's choice of another strength takes its look.
  explicit DesktopRenderer(FrostedGlassStyle style = {});

  /// WhatsApp's window (and `margin` of desktop around it) as a bystander sees it now.
  [[nodiscard]] QImage render(sim::Desktop& desktop, const sim::WhatsAppModel& whatsApp,
                              const FrameOptions& options = {});

 private:
  FrostedGlassStyle mediumStyle_;
  BlurStrength strength_ = BlurStrength::medium;
  FrostedGlass glass_;
};

/// The overlay's visible patches as frosted glass over `image`, where the window's top-left
/// corner is at `origin` (pixels) and a point is `scale` pixels. Rounded views are cut at the
/// panel's edge; a circle keeps its whole ellipse.
void applyOverlayGlass(FrostedGlass& glass, QImage& image, std::span<const sim::CoverPatch> patches,
                       QPointF origin, double scale);

/// The layout guides, when the panel shows them: dashed green columns, pink region outlines.
void paintGuides(QPainter& painter, const sim::SimPanel& panel);

/// Writes a PNG; false when it could not be written.
bool writePng(const QImage& image, const std::string& path);

}  // namespace velvix::pixels
