#pragma once

// The tray icon: a speech bubble with a padlock inside, 18 × 18 points, drawn from our own
// embedded SVG. It is a template: only its shape matters, and it is painted in the tray's text
// colour so it reads on light and dark panels. While protection is off it is drawn at 40%
// opacity, the same shape, so the user sees at a glance that WhatsApp is not covered.

#include <QColor>
#include <QImage>

#include <string_view>

namespace velvix {

/// The icon's side, in points.
inline constexpr int kMenuBarIconSide = 18;
/// The opacity of the icon while protection is off.
inline constexpr double kDimmedIconOpacity = 0.4;

/// The embedded SVG document.
[[nodiscard]] std::string_view menuBarIconSvg();

/// The icon for the main switch's state, at `devicePixelRatio` pixels per point, in `tint`.
/// Should the SVG fail to load, a drawn crossed-out eye takes its place.
[[nodiscard]] QImage menuBarIcon(bool isEnabled, qreal devicePixelRatio = 1,
                                 const QColor& tint = Qt::black);

/// The icon for a tray that paints it as it is (Linux): the shape in near-white with a dark
/// halo around it, so that it reads on light and dark panels alike whatever colours the desktop
/// reports. Dimmed as menuBarIcon() while protection is off.
[[nodiscard]] QImage trayIcon(bool isEnabled, qreal devicePixelRatio = 1);

/// `icon` with a solid dot at its lower right, in `colour`: everything of WhatsApp is covered
/// (the panic key, idle protection). A dot, not a new shape, so the icon stays recognisable.
[[nodiscard]] QImage withCoverBadge(QImage icon, const QColor& colour);

/// Renders an SVG document as a template image in `tint`; a null image when it does not load.
[[nodiscard]] QImage templateImageFromSvg(std::string_view svg, int pixels, const QColor& tint);

}  // namespace velvix
