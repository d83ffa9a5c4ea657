#include "OverlayCoverage.hpp"

#include <algorithm>
#include <cmath>

namespace velvix::sim {

namespace {

// The horizontal extent, half-open, of a rectangle with rounded corners or of the ellipse
// inscribed in it, on the line `y`; empty (left ≥ right) off the shape.
std::pair<double, double> extentAt(const Rect& bounds, bool isEllipse, double radius, double y) {
  const Rect r = bounds.standardized();
  if (r.isNull() || r.hasNaN() || !(y >= r.minY()) || !(y < r.maxY())) return {0, 0};
  if (isEllipse) {
    const double a = r.width() / 2;
    const double b = r.height() / 2;
    const double t = (y - r.midY()) / b;
    const double half = a * std::sqrt(std::max(0.0, 1 - t * t));
    return {r.midX() - half, r.midX() + half};
  }
  radius = std::min({radius, r.width() / 2, r.height() / 2});
  if (!(radius > 0)) return {r.minX(), r.maxX()};
  double dy = 0;
  if (y < r.minY() + radius)
    dy = r.minY() + radius - y;
  else if (y > r.maxY() - radius)
    dy = y - (r.maxY() - radius);
  if (dy <= 0) return {r.minX(), r.maxX()};
  const double dx = std::sqrt(std::max(0.0, radius * radius - dy * dy));
  return {r.minX() + radius - dx, r.maxX() - radius + dx};
}

}  // namespace

std::vector<CoverPatch> overlayPatches(const SimToolkit& toolkit, const SimWindowServer& server,
                                       const Rect& windowFrame) {
  std::vector<CoverPatch> patches;
  const SimPanel* panel = toolkit.panel();
  if (!panel || !panel->isVisible() || !panel->isOnActiveSpace()) return patches;
  // The panel's frame is in the platform's bottom-left-origin space.
  const auto screens = server.screens();
  const double screenHeight = screens.empty() ? 0 : screens.front().height();
  const Rect frame = panel->frame();
  const Point topLeft{frame.minX(), screenHeight - frame.maxY()};
  const double dx = topLeft.x - windowFrame.minX();
  const double dy = topLeft.y - windowFrame.minY();
  for (const BlurViewState& view : panel->blurViews()) {
    if (view.isHidden) continue;
    // A view draws only inside the panel.
    const Rect bounds = Rect(0, 0, frame.width(), frame.height());
    if (!view.frame.intersects(bounds)) continue;
    patches.push_back({view.frame.offsetBy(dx, dy), view.mask, bounds.offsetBy(dx, dy)});
  }
  return patches;
}

std::pair<double, double> patchExtentAt(const CoverPatch& patch, double y) {
  if (patch.clip && !(y >= patch.clip->minY() && y < patch.clip->maxY())) return {0, 0};
  const double radius = patch.shape == Shape::rounded ? kPatchCornerRadius : 0;
  auto [left, right] = extentAt(patch.rect, patch.shape == Shape::circle, radius, y);
  if (patch.clip) {
    left = std::max(left, patch.clip->minX());
    right = std::min(right, patch.clip->maxX());
  }
  return {left, right};
}

namespace {

// Sample centres k + 0.5 within [a, b).
double samplesIn(double a, double b) {
  if (!(b > a)) return 0;
  return std::max(0.0, std::ceil(b - 0.5) - std::ceil(a - 0.5));
}

}  // namespace

Coverage uncovered(std::span<const SensitiveArea> areas, std::span<const CoverPatch> patches,
                   std::span<const Rect> revealed) {
  Coverage coverage;
  std::vector<std::pair<double, double>> covers;
  for (const SensitiveArea& area : areas) {
    const Rect r = area.rect.standardized();
    if (r.isNull() || r.hasNaN()) continue;
    double missed = 0;
    const double firstRow = std::ceil(r.minY() - 0.5);
    for (double row = firstRow; row + 0.5 < r.maxY(); ++row) {
      const double y = row + 0.5;
      auto [left, right] = extentAt(area.bounds, area.isEllipse, area.cornerRadius, y);
      left = std::max(left, r.minX());
      right = std::min(right, r.maxX());
      if (!(right > left)) continue;
      covers.clear();
      for (const CoverPatch& patch : patches) {
        const auto [l, rr] = patchExtentAt(patch, y);
        if (rr > l) covers.emplace_back(l, rr);
      }
      for (const Rect& shown : revealed)
        if (!shown.isNull() && y >= shown.minY() && y < shown.maxY())
          covers.emplace_back(shown.minX(), shown.maxX());
      std::sort(covers.begin(), covers.end());
      // Walk the merged covers across [left, right), counting the gaps.
      double at = left;
      for (const auto& [l, rr] : covers) {
        if (rr <= at) continue;
        if (l > at) missed += samplesIn(at, std::min(l, right));
        at = std::max(at, rr);
        if (at >= right) break;
      }
      if (at < right) missed += samplesIn(at, right);
    }
    coverage.uncovered += missed;
    coverage.byCategory[static_cast<std::size_t>(area.category)] += missed;
  }
  return coverage;
}

}  // namespace velvix::sim
