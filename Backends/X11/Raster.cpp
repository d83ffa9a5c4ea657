#include "Raster.hpp"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <string_view>
#include <system_error>

namespace velvix::x11 {

Bitmap::Bitmap(int width, int height)
    : width_(std::max(width, 0)),
      height_(std::max(height, 0)),
      bits_(static_cast<std::size_t>(bytesPerRow()) * height_, 0) {}

bool Bitmap::at(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return false;
  return (bits_[static_cast<std::size_t>(y) * bytesPerRow() + x / 8] >> (x % 8)) & 1U;
}

void Bitmap::set(int x, int y) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
  bits_[static_cast<std::size_t>(y) * bytesPerRow() + x / 8] |=
      static_cast<std::uint8_t>(1U << (x % 8));
}

void Bitmap::setRun(int y, int x0, int x1) {
  if (y < 0 || y >= height_) return;
  x0 = std::max(x0, 0), x1 = std::min(x1, width_);
  std::uint8_t* row = bits_.data() + static_cast<std::size_t>(y) * bytesPerRow();
  for (int x = x0; x < x1;) {
    if (x % 8 == 0 && x + 8 <= x1) {  // whole bytes at once
      const int end = x1 - x1 % 8;
      std::fill(row + x / 8, row + end / 8, std::uint8_t{0xFF});
      x = end;
    } else {
      row[x / 8] |= static_cast<std::uint8_t>(1U << (x % 8));
      ++x;
    }
  }
}

Bitmap::Bounds Bitmap::bounds() const {
  Bounds b{width_, height_, 0, 0};
  const int perRow = bytesPerRow();
  for (int y = 0; y < height_; ++y) {
    const std::uint8_t* row = bits_.data() + static_cast<std::size_t>(y) * perRow;
    int first = 0;
    while (first < perRow && row[first] == 0)
      ++first;
    if (first == perRow) continue;
    int last = perRow - 1;
    while (row[last] == 0)
      --last;
    b.minX = std::min(b.minX, first * 8 + std::countr_zero(row[first]));
    b.maxX = std::max(b.maxX, last * 8 + 8 - std::countl_zero(row[last]));
    b.minY = std::min(b.minY, y);
    b.maxY = y + 1;
  }
  if (b.minX >= b.maxX) return {};
  return b;
}

bool Bitmap::isEmpty() const {
  return std::all_of(bits_.begin(), bits_.end(), [](std::uint8_t b) { return b == 0; });
}

long Bitmap::count() const {
  long n = 0;
  for (std::uint8_t b : bits_)
    n += std::popcount(b);
  return n;
}

void Bitmap::unite(const Bitmap& other) {
  if (other.width_ != width_ || other.height_ != height_) return;
  // Through plain pointers: bytes written through the vector's own may alias its bookkeeping,
  // which kept the loop from vectorising.
  std::uint8_t* bits = bits_.data();
  const std::uint8_t* others = other.bits_.data();
  for (std::size_t i = 0, n = bits_.size(); i < n; ++i)
    bits[i] |= others[i];
}

bool shapeContains(const MaskShape& shape, Point p) {
  const Rect r = shape.rect.standardized();
  if (r.isNull() || !r.contains(p)) return false;
  if (shape.shape == Shape::circle) {
    const double rx = r.width() / 2, ry = r.height() / 2;
    if (rx <= 0 || ry <= 0) return false;
    const double dx = (p.x - r.midX()) / rx, dy = (p.y - r.midY()) / ry;
    return dx * dx + dy * dy <= 1;
  }
  const double radius = std::min({shape.cornerRadius, r.width() / 2, r.height() / 2});
  // Outside the four corner squares the rectangle is all there is.
  const double cx = std::clamp(p.x, r.minX() + radius, r.maxX() - radius);
  const double cy = std::clamp(p.y, r.minY() + radius, r.maxY() - radius);
  const double dx = p.x - cx, dy = p.y - cy;
  return dx * dx + dy * dy <= radius * radius;
}

namespace {

// The pixel range whose centres can lie in [min, max).
std::pair<int, int> pixelSpan(double min, double max, int limit) {
  const double lo = std::clamp(std::floor(min), 0.0, static_cast<double>(limit));
  const double hi = std::clamp(std::ceil(max), 0.0, static_cast<double>(limit));
  return {static_cast<int>(lo), static_cast<int>(hi)};
}

}  // namespace

namespace {

// The pixels of row y whose centres lie in the shape, within [x0, x1). Convex shapes make them
// one run: estimated from the shape's extent at the row's centre, then settled at both ends by
// shapeContains itself, so that the bitmap agrees with it pixel for pixel at a handful of tests
// per row rather than one per pixel.
std::pair<int, int> rowRun(const MaskShape& shape, const Rect& r, int y, int x0, int x1) {
  const double cy = y + 0.5;
  double left = r.midX(), right = r.midX();  // an empty estimate still starts the search here
  if (shape.shape == Shape::circle) {
    const double t = (cy - r.midY()) / (r.height() / 2);
    if (std::abs(t) <= 1) {
      const double half = r.width() / 2 * std::sqrt(1 - t * t);
      left = r.midX() - half, right = r.midX() + half;
    }
  } else {
    const double radius = std::min({shape.cornerRadius, r.width() / 2, r.height() / 2});
    const double dy = std::max({r.minY() + radius - cy, cy - (r.maxY() - radius), 0.0});
    if (dy <= radius) {
      const double dx = std::sqrt(radius * radius - dy * dy);
      left = r.minX() + radius - dx, right = r.maxX() - radius + dx;
    }
  }
  // Pixels whose centres x + 0.5 lie in [left, right].
  const auto clampTo = [&](double v) {  // a NaN (from a NaN corner radius) to the left end
    return v >= x1 ? x1 : v >= x0 ? static_cast<int>(v) : x0;
  };
  int lo = clampTo(std::ceil(left - 0.5));
  int hi = std::max(lo, clampTo(std::floor(right - 0.5) + 1));
  const auto inside = [&](int x) { return shapeContains(shape, {x + 0.5, cy}); };
  while (lo < hi && !inside(lo))
    ++lo;
  while (hi > lo && !inside(hi - 1))
    --hi;
  if (lo == hi) {  // nothing found at the estimate: the run, if any, is beside it
    if (lo > x0 && inside(lo - 1))
      hi = lo;
    else if (hi < x1 && inside(hi))
      lo = hi;
    else
      return {lo, lo};
  }
  while (lo > x0 && inside(lo - 1))
    --lo;
  while (hi < x1 && inside(hi))
    ++hi;
  return {lo, hi};
}

}  // namespace

Bitmap rasterizeMask(int width, int height, std::span<const MaskShape> shapes) {
  Bitmap mask(width, height);
  for (const MaskShape& shape : shapes) {
    const Rect r = shape.rect.standardized();
    if (r.isNull() || !std::isfinite(r.minX()) || !std::isfinite(r.maxX()) ||
        !std::isfinite(r.minY()) || !std::isfinite(r.maxY()))
      continue;
    const auto [x0, x1] = pixelSpan(r.minX(), r.maxX(), mask.width());
    const auto [y0, y1] = pixelSpan(r.minY(), r.maxY(), mask.height());
    if (x0 >= x1) continue;
    for (int y = y0; y < y1; ++y) {
      const auto [lo, hi] = rowRun(shape, r, y, x0, x1);
      mask.setRun(y, lo, hi);
    }
  }
  return mask;
}

void addGuides(Bitmap& mask, std::span<const Rect> regions, std::span<const double> columns) {
  for (double column : columns) {
    if (!std::isfinite(column)) continue;
    const auto [x0, x1] = pixelSpan(column - 0.75, column + 0.75, mask.width());
    for (int y = 0; y < mask.height(); ++y) {
      if (y % 10 >= 6) continue;  // the gaps of the dash pattern
      for (int x = x0; x < x1; ++x)
        mask.set(x, y);
    }
  }
  for (const Rect& region : regions) {
    const Rect r = region.standardized().insetBy(0.5, 0.5);
    if (r.isNull() || !std::isfinite(r.minX()) || !std::isfinite(r.maxX()) ||
        !std::isfinite(r.minY()) || !std::isfinite(r.maxY()))
      continue;
    // A 1-point stroke centred on the inset outline covers the rectangle's outermost pixels.
    const auto [x0, x1] = pixelSpan(r.minX() - 0.5, r.maxX() + 0.5, mask.width());
    const auto [y0, y1] = pixelSpan(r.minY() - 0.5, r.maxY() + 0.5, mask.height());
    if (x0 >= x1 || y0 >= y1) continue;
    for (int x = x0; x < x1; ++x)
      mask.set(x, y0), mask.set(x, y1 - 1);
    for (int y = y0; y < y1; ++y)
      mask.set(x0, y), mask.set(x1 - 1, y);
  }
}

double scaleFromResources(const char* resources) {
  if (!resources) return 1;
  const std::string_view all(resources);
  for (std::size_t start = 0; start < all.size();) {
    const std::size_t end = std::min(all.find('\n', start), all.size());
    std::string_view line = all.substr(start, end - start);
    start = end + 1;
    constexpr std::string_view kKey = "Xft.dpi:";
    if (!line.starts_with(kKey)) continue;
    line.remove_prefix(kKey.size());
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
      line.remove_prefix(1);
    double dpi = 0;
    const auto [rest, error] = std::from_chars(line.data(), line.data() + line.size(), dpi);
    (void)rest;
    if (error != std::errc() || !(dpi >= 96 && dpi <= 4 * 96)) return 1;
    // Desktops scale by quarters; a dpi a little off one (e.g. 97) is a font tweak, not a scale.
    return std::round(dpi / 96 * 4) / 4;
  }
  return 1;
}

}  // namespace velvix::x11
