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
  const Rect frame = panel->frame();
  const Rect local = platform::screenFlip(server)
                         .then(SpaceTransform::relativeTo(windowFrame.origin))
                         .map(frame);
  const double dx = local.minX();
  const double dy = local.minY();
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

using Intervals = std::vector<std::pair<double, double>>;

// Sample centres k + 0.5 within [a, b).
double samplesIn(double a, double b) {
  if (!(b > a)) return 0;
  return std::max(0.0, std::ceil(b - 0.5) - std::ceil(a - 0.5));
}

// The parts of [left, right) that none of `covers` (half-open, any order) covers.
Intervals gaps(double left, double right, Intervals& covers) {
  std::sort(covers.begin(), covers.end());
  Intervals out;
  double at = left;
  for (const auto& [l, r] : covers) {
    if (r <= at) continue;
    if (l > at) out.emplace_back(at, std::min(l, right));
    at = std::max(at, r);
    if (at >= right) return out;
  }
  if (at < right) out.emplace_back(at, right);
  return out;
}

// Every patch's extent on the line `y`.
void extentsOn(double y, std::span<const CoverPatch> patches, Intervals& out) {
  for (const CoverPatch& patch : patches) {
    const auto [l, r] = patchExtentAt(patch, y);
    if (r > l) out.emplace_back(l, r);
  }
}

}  // namespace

Coverage uncovered(std::span<const SensitiveArea> areas, std::span<const CoverPatch> patches,
                   std::span<const Rect> revealed,
                   std::optional<std::span<const CoverPatch>> onlyUnder) {
  Coverage coverage;
  Intervals covers, reference;
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
      extentsOn(y, patches, covers);
      for (const Rect& shown : revealed)
        if (!shown.isNull() && y >= shown.minY() && y < shown.maxY())
          covers.emplace_back(shown.minX(), shown.maxX());
      const Intervals open = gaps(left, right, covers);
      if (!onlyUnder) {
        for (const auto& [a, b] : open)
          missed += samplesIn(a, b);
        continue;
      }
      // Only what the reference patches would have covered: the gaps of the gaps.
      reference.clear();
      extentsOn(y, *onlyUnder, reference);
      for (const auto& [a, b] : open) {
        double inGap = samplesIn(a, b);
        for (const auto& [c, d] : gaps(a, b, reference))
          inGap -= samplesIn(c, d);
        missed += inGap;
      }
    }
    coverage.uncovered += missed;
    coverage.byCategory[static_cast<std::size_t>(area.category)] += missed;
    coverage.largestArea = std::max(coverage.largestArea, missed);
  }
  return coverage;
}

}  // namespace velvix::sim
