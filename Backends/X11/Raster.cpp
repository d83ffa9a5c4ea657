#include "Raster.hpp"

#include <algorithm>
#include <bit>
#include <cmath>

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
  for (std::size_t i = 0; i < bits_.size(); ++i)
    bits_[i] |= other.bits_[i];
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
  const double radius = std::min({kPatchCornerRadius, r.width() / 2, r.height() / 2});
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

Bitmap rasterizeMask(int width, int height, std::span<const MaskShape> shapes) {
  Bitmap mask(width, height);
  for (const MaskShape& shape : shapes) {
    const Rect r = shape.rect.standardized();
    if (r.isNull() || !std::isfinite(r.minX()) || !std::isfinite(r.maxX()) ||
        !std::isfinite(r.minY()) || !std::isfinite(r.maxY()))
      continue;
    const auto [x0, x1] = pixelSpan(r.minX(), r.maxX(), mask.width());
    const auto [y0, y1] = pixelSpan(r.minY(), r.maxY(), mask.height());
    for (int y = y0; y < y1; ++y) {
      for (int x = x0; x < x1; ++x) {
        if (shapeContains(shape, {x + 0.5, y + 0.5})) mask.set(x, y);
      }
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

Image downscaled(const Image& image, int factor) {
  factor = std::max(factor, 1);
  Image small((image.width + factor - 1) / factor, (image.height + factor - 1) / factor);
  for (int sy = 0; sy < small.height; ++sy) {
    for (int sx = 0; sx < small.width; ++sx) {
      unsigned r = 0, g = 0, b = 0, n = 0;
      for (int y = sy * factor; y < std::min((sy + 1) * factor, image.height); ++y) {
        for (int x = sx * factor; x < std::min((sx + 1) * factor, image.width); ++x) {
          const std::uint32_t p = image.at(x, y);
          r += (p >> 16) & 0xFF, g += (p >> 8) & 0xFF, b += p & 0xFF, ++n;
        }
      }
      small.at(sx, sy) = ((r / n) << 16) | ((g / n) << 8) | (b / n);
    }
  }
  return small;
}

namespace {

// One box pass along a line of `count` pixels `stride` apart, edges repeated.
void boxLine(std::uint32_t* line, int count, int stride, int radius,
             std::vector<std::uint32_t>& tmp) {
  tmp.resize(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i)
    tmp[i] = line[static_cast<std::ptrdiff_t>(i) * stride];
  const auto pixel = [&](int i) { return tmp[std::clamp(i, 0, count - 1)]; };
  const unsigned window = 2 * static_cast<unsigned>(radius) + 1;
  unsigned r = 0, g = 0, b = 0;
  for (int i = -radius; i <= radius; ++i) {
    const std::uint32_t p = pixel(i);
    r += (p >> 16) & 0xFF, g += (p >> 8) & 0xFF, b += p & 0xFF;
  }
  for (int i = 0; i < count; ++i) {
    line[static_cast<std::ptrdiff_t>(i) * stride] =
        ((r / window) << 16) | ((g / window) << 8) | (b / window);
    const std::uint32_t in = pixel(i + radius + 1), out = pixel(i - radius);
    r += ((in >> 16) & 0xFF) - ((out >> 16) & 0xFF);
    g += ((in >> 8) & 0xFF) - ((out >> 8) & 0xFF);
    b += (in & 0xFF) - (out & 0xFF);
  }
}

}  // namespace

void boxBlur(Image& image, int radius) {
  if (radius <= 0 || image.width == 0 || image.height == 0) return;
  std::vector<std::uint32_t> tmp;
  for (int pass = 0; pass < 3; ++pass) {
    for (int y = 0; y < image.height; ++y)
      boxLine(&image.at(0, y), image.width, 1, radius, tmp);
    for (int x = 0; x < image.width; ++x)
      boxLine(&image.at(x, 0), image.height, image.width, radius, tmp);
  }
}

namespace {

std::uint32_t sampleBilinear(const Image& image, double x, double y) {
  x = std::clamp(x, 0.0, image.width - 1.0);
  y = std::clamp(y, 0.0, image.height - 1.0);
  const int x0 = static_cast<int>(x), y0 = static_cast<int>(y);
  const int x1 = std::min(x0 + 1, image.width - 1), y1 = std::min(y0 + 1, image.height - 1);
  const double fx = x - x0, fy = y - y0;
  std::uint32_t out = 0;
  for (int shift = 16; shift >= 0; shift -= 8) {
    const auto c = [&](int px, int py) { return double((image.at(px, py) >> shift) & 0xFF); };
    const double top = c(x0, y0) * (1 - fx) + c(x1, y0) * fx;
    const double bottom = c(x0, y1) * (1 - fx) + c(x1, y1) * fx;
    out |= static_cast<std::uint32_t>(std::lround(top * (1 - fy) + bottom * fy)) << shift;
  }
  return out;
}

std::uint32_t lightened(std::uint32_t p, double share) {
  std::uint32_t out = 0;
  for (int shift = 16; shift >= 0; shift -= 8) {
    const double c = (p >> shift) & 0xFF;
    out |= static_cast<std::uint32_t>(std::lround(c + (255 - c) * share)) << shift;
  }
  return out;
}

}  // namespace

void frost(const Image& source, const Bitmap& mask, const GlassStyle& style,
           const GlassFilter& filter, Image& target) {
  if (source.width != mask.width() || source.height != mask.height() ||
      target.width != mask.width() || target.height != mask.height() || mask.isEmpty())
    return;
  const int factor = std::max(style.downscale, 1);
  Image small = downscaled(source, factor);
  if (filter) {
    filter(small, style.radius);
  } else {
    boxBlur(small, style.radius);
  }
  for (int y = 0; y < mask.height(); ++y) {
    for (int x = 0; x < mask.width(); ++x) {
      if (!mask.at(x, y)) continue;
      // Pixel centres: full-size (x + 0.5) lies at (x + 0.5) / factor - 0.5 in the copy.
      const double sx = (x + 0.5) / factor - 0.5, sy = (y + 0.5) / factor - 0.5;
      target.at(x, y) = lightened(sampleBilinear(small, sx, sy), style.lighten);
    }
  }
}

}  // namespace velvix::x11
