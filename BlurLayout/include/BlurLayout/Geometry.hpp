#pragma once

// Points, sizes and rectangles in points, with 64-bit floating-point components.
//
// Rectangles follow CoreGraphics semantics exactly, because region rectangles are compared and
// drawn as they come out:
// - A rectangle may have a negative width or height. Every operation first standardises its
//   inputs (a negative width moves x by the width and negates it; likewise the height), and
//   width() / height() report the standardised, non-negative extents.
// - The null rectangle is a distinguished value meaning "no rectangle" (its origin is +inf,
//   its size zero). It is what intersection() returns for disjoint inputs; it contains nothing,
//   intersects nothing, and stays null under offset and inset. An absent std::optional<Rect> is
//   a different thing again.
// - Containment of a point is half-open: (minX, minY) is inside, (maxX, y) and (x, maxY) are not.
// - Two rectangles that merely share an edge do not intersect: their intersection is null, not
//   a zero-width rectangle. (So a circle patch touching a sheet's edge keeps its shape.)
// - A NaN anywhere makes comparisons false: such a rectangle intersects and contains nothing and
//   equals nothing, not even itself. Operations never turn NaN into undefined behaviour.

#include <iosfwd>
#include <limits>
#include <utility>

namespace velvix {

struct Point {
  double x = 0;
  double y = 0;

  /// Whether both coordinates differ from `other`'s by less than `tolerance`; never for NaN.
  [[nodiscard]] constexpr bool isWithin(double tolerance, Point other) const noexcept {
    const double dx = x - other.x;
    const double dy = y - other.y;
    return dx < tolerance && -dx < tolerance && dy < tolerance && -dy < tolerance;
  }
  friend constexpr bool operator==(const Point&, const Point&) = default;
};

struct Size {
  double width = 0;
  double height = 0;
  friend constexpr bool operator==(const Size&, const Size&) = default;
};

enum class RectEdge { minX, minY, maxX, maxY };

struct Rect {
  Point origin;
  Size size;

  constexpr Rect() = default;
  constexpr Rect(double x, double y, double width, double height) noexcept
      : origin{x, y}, size{width, height} {}

  [[nodiscard]] static constexpr Rect null() noexcept {
    constexpr double inf = std::numeric_limits<double>::infinity();
    return Rect(inf, inf, 0, 0);
  }
  [[nodiscard]] constexpr bool isNull() const noexcept {
    constexpr double inf = std::numeric_limits<double>::infinity();
    return origin.x == inf || origin.y == inf;
  }

  /// Whether all four components are finite numbers (the null rectangle is not).
  [[nodiscard]] constexpr bool isFinite() const noexcept {
    // x - x is 0 for finite x, NaN for an infinity or NaN.
    return origin.x - origin.x == 0 && origin.y - origin.y == 0 &&
           size.width - size.width == 0 && size.height - size.height == 0;
  }

  [[nodiscard]] constexpr bool hasNaN() const noexcept {
    // NaN is the one value not equal to itself.
    return origin.x != origin.x || origin.y != origin.y || size.width != size.width ||
           size.height != size.height;
  }

  [[nodiscard]] constexpr Rect standardized() const noexcept {
    if (isNull()) return null();
    Rect r = *this;
    if (r.size.width < 0) {
      r.origin.x += r.size.width;
      r.size.width = -r.size.width;
    }
    if (r.size.height < 0) {
      r.origin.y += r.size.height;
      r.size.height = -r.size.height;
    }
    return r;
  }

  [[nodiscard]] constexpr double minX() const noexcept { return standardized().origin.x; }
  [[nodiscard]] constexpr double minY() const noexcept { return standardized().origin.y; }
  [[nodiscard]] constexpr double width() const noexcept { return standardized().size.width; }
  [[nodiscard]] constexpr double height() const noexcept { return standardized().size.height; }
  [[nodiscard]] constexpr double maxX() const noexcept { return minX() + width(); }
  [[nodiscard]] constexpr double maxY() const noexcept { return minY() + height(); }
  [[nodiscard]] constexpr double midX() const noexcept { return minX() + width() / 2; }
  [[nodiscard]] constexpr double midY() const noexcept { return minY() + height() / 2; }

  /// The overlap of both rectangles; null when either is null or they do not overlap with a
  /// positive extent on both axes.
  [[nodiscard]] constexpr Rect intersection(const Rect& other) const noexcept {
    if (isNull() || other.isNull() || hasNaN() || other.hasNaN()) return null();
    const Rect a = standardized();
    const Rect b = other.standardized();
    const double left = a.origin.x > b.origin.x ? a.origin.x : b.origin.x;
    const double top = a.origin.y > b.origin.y ? a.origin.y : b.origin.y;
    const double aRight = a.origin.x + a.size.width;
    const double bRight = b.origin.x + b.size.width;
    const double aBottom = a.origin.y + a.size.height;
    const double bBottom = b.origin.y + b.size.height;
    const double right = aRight < bRight ? aRight : bRight;
    const double bottom = aBottom < bBottom ? aBottom : bBottom;
    if (!(left < right) || !(top < bottom)) return null();
    return Rect(left, top, right - left, bottom - top);
  }

  [[nodiscard]] constexpr bool intersects(const Rect& other) const noexcept {
    return !intersection(other).isNull();
  }

  [[nodiscard]] constexpr bool contains(Point p) const noexcept {
    if (isNull()) return false;
    const Rect r = standardized();
    return r.origin.x <= p.x && p.x < r.origin.x + r.size.width && r.origin.y <= p.y &&
           p.y < r.origin.y + r.size.height;
  }

  /// True when `other`, standardised, lies within this rectangle, edges included. Null
  /// rectangles contain nothing and are contained in nothing.
  [[nodiscard]] constexpr bool contains(const Rect& other) const noexcept {
    if (isNull() || other.isNull()) return false;
    const Rect a = standardized();
    const Rect b = other.standardized();
    return a.origin.x <= b.origin.x && a.origin.y <= b.origin.y &&
           b.origin.x + b.size.width <= a.origin.x + a.size.width &&
           b.origin.y + b.size.height <= a.origin.y + a.size.height;
  }

  /// Moves every edge inwards by dx and dy (outwards for negative amounts); null when the
  /// result would have a negative extent.
  [[nodiscard]] constexpr Rect insetBy(double dx, double dy) const noexcept {
    if (isNull()) return null();
    const Rect r = standardized();
    const Rect result(r.origin.x + dx, r.origin.y + dy, r.size.width - 2 * dx,
                      r.size.height - 2 * dy);
    if (result.size.width < 0 || result.size.height < 0) return null();
    return result;
  }

  [[nodiscard]] constexpr Rect offsetBy(double dx, double dy) const noexcept {
    if (isNull()) return null();
    const Rect r = standardized();
    return Rect(r.origin.x + dx, r.origin.y + dy, r.size.width, r.size.height);
  }

  /// How far apart two frames of one thing are: the sum of the differences of their minimum
  /// x, minimum y, width and height.
  [[nodiscard]] constexpr double distance(const Rect& other) const noexcept {
    const auto gap = [](double a, double b) { return a < b ? b - a : a - b; };
    return gap(minX(), other.minX()) + gap(minY(), other.minY()) + gap(width(), other.width()) +
           gap(height(), other.height());
  }

  /// Splits off the part within `amount` of the given edge: {slice, remainder}. The amount is
  /// clamped to [0, extent]; a NaN amount counts as 0.
  [[nodiscard]] constexpr std::pair<Rect, Rect> divided(double amount,
                                                        RectEdge from) const noexcept {
    if (isNull()) return {null(), null()};
    const Rect r = standardized();
    const bool horizontal = from == RectEdge::minX || from == RectEdge::maxX;
    const double extent = horizontal ? r.size.width : r.size.height;
    if (!(amount > 0)) amount = 0;
    if (amount > extent) amount = extent;
    const double rest = extent - amount;
    const double x = r.origin.x;
    const double y = r.origin.y;
    const double w = r.size.width;
    const double h = r.size.height;
    switch (from) {
      case RectEdge::minX:
        return {Rect(x, y, amount, h), Rect(x + amount, y, rest, h)};
      case RectEdge::maxX:
        return {Rect(x + rest, y, amount, h), Rect(x, y, rest, h)};
      case RectEdge::minY:
        return {Rect(x, y, w, amount), Rect(x, y + amount, w, rest)};
      case RectEdge::maxY:
        return {Rect(x, y + rest, w, amount), Rect(x, y, w, rest)};
    }
    return {null(), null()};
  }
};

/// Equal when both are null, or both are not null and their standardised forms match.
[[nodiscard]] constexpr bool operator==(const Rect& a, const Rect& b) noexcept {
  if (a.isNull() || b.isNull()) return a.isNull() && b.isNull();
  const Rect x = a.standardized();
  const Rect y = b.standardized();
  return x.origin == y.origin && x.size == y.size;
}

/// A change between coordinate spaces that share their x axis and their unit: the top-left-origin
/// screen space of the window list, the platform's bottom-left-origin screen space, and
/// window-relative space. A point maps to (x + dx, y + dy), or with the y axis mirrored to
/// (x + dx, dy - y); a rectangle maps as the area it covers, so under the mirror its new top
/// edge is its old bottom edge (y becomes dy - maxY). The null rectangle stays null.
class SpaceTransform {
 public:
  /// The identity.
  constexpr SpaceTransform() = default;

  /// Between top-left-origin and bottom-left-origin screen space, whose primary screen is
  /// `height` points high. Its own inverse.
  [[nodiscard]] static constexpr SpaceTransform flipped(double height) noexcept {
    return SpaceTransform(0, height, true);
  }
  /// Into the space whose origin lies at `origin` (window-relative space, for a window there).
  [[nodiscard]] static constexpr SpaceTransform relativeTo(Point origin) noexcept {
    return SpaceTransform(-origin.x, -origin.y, false);
  }

  [[nodiscard]] constexpr Point map(Point p) const noexcept {
    return {p.x + dx_, (mirrorsY_ ? -p.y : p.y) + dy_};
  }
  [[nodiscard]] constexpr Rect map(const Rect& r) const noexcept {
    if (r.isNull()) return Rect::null();
    const double top = mirrorsY_ ? dy_ - r.maxY() : r.minY() + dy_;
    return Rect(r.minX() + dx_, top, r.width(), r.height());
  }
  [[nodiscard]] constexpr SpaceTransform inverted() const noexcept {
    return SpaceTransform(-dx_, mirrorsY_ ? dy_ : -dy_, mirrorsY_);
  }
  /// This transform, then `next`.
  [[nodiscard]] constexpr SpaceTransform then(const SpaceTransform& next) const noexcept {
    return SpaceTransform(dx_ + next.dx_, (next.mirrorsY_ ? -dy_ : dy_) + next.dy_,
                          mirrorsY_ != next.mirrorsY_);
  }

  friend constexpr bool operator==(const SpaceTransform&, const SpaceTransform&) = default;

 private:
  constexpr SpaceTransform(double dx, double dy, bool mirrorsY) noexcept
      : dx_(dx), dy_(dy), mirrorsY_(mirrorsY) {}
  double dx_ = 0;
  double dy_ = 0;
  bool mirrorsY_ = false;
};

// Readable forms for logs and test failures: "(220, 100, 80, 700)", "null", "(3, 4)".
std::ostream& operator<<(std::ostream& os, const Point& p);
std::ostream& operator<<(std::ostream& os, const Size& s);
std::ostream& operator<<(std::ostream& os, const Rect& r);

}  // namespace velvix
