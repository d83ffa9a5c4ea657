#pragma once

// The pixel work of the overlay, free of X calls so that it is tested on its own:
//  - the 1-bit mask of the overlay's bounding shape, from the visible blur views (10-point
//    rounded corners, or the ellipse inscribed in the frame) and the calibration guides;
//  - frosted glass: a downscaled copy of the window's pixels, blurred, sampled back up and
//    lightened.
// One point is one pixel on X11. A pixel belongs to a shape when its centre does.

#include <BlurLayout/Geometry.hpp>
#include <BlurLayout/LayoutTypes.hpp>

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace velvix::x11 {

/// A 1-bit image in the X bitmap layout: rows padded to whole bytes, least significant bit
/// first, so it goes to XCreateBitmapFromData unchanged.
class Bitmap {
 public:
  Bitmap() = default;
  Bitmap(int width, int height);

  [[nodiscard]] int width() const { return width_; }
  [[nodiscard]] int height() const { return height_; }
  [[nodiscard]] int bytesPerRow() const { return (width_ + 7) / 8; }
  [[nodiscard]] const std::vector<std::uint8_t>& bytes() const { return bits_; }

  [[nodiscard]] bool at(int x, int y) const;
  /// Sets the pixel; coordinates outside the bitmap are ignored.
  void set(int x, int y);
  [[nodiscard]] bool isEmpty() const;
  [[nodiscard]] long count() const;
  /// Adds every pixel set in `other`, which has the same size (else nothing happens).
  void unite(const Bitmap& other);

  friend bool operator==(const Bitmap&, const Bitmap&) = default;

 private:
  int width_ = 0;
  int height_ = 0;
  std::vector<std::uint8_t> bits_;
};

/// Corner radius of rounded patches, in points.
inline constexpr double kPatchCornerRadius = 10;

struct MaskShape {
  Rect rect;
  Shape shape = Shape::rounded;
};

/// Whether the point lies in the shape: a rectangle with corners rounded by 10 points (less
/// when the rectangle is thinner than 20), or the ellipse inscribed in the rectangle.
[[nodiscard]] bool shapeContains(const MaskShape& shape, Point p);

/// The bitmap of the given shapes over a width x height area.
[[nodiscard]] Bitmap rasterizeMask(int width, int height, std::span<const MaskShape> shapes);

/// Adds the calibration guides: dashed column lines (6 on, 4 off, 1.5 points wide, centred on
/// each x) and the outlines of the regions inset by half a point (1 point wide).
void addGuides(Bitmap& mask, std::span<const Rect> regions, std::span<const double> columns);

/// An opaque image, 0x00RRGGBB per pixel, rows without padding.
struct Image {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;

  Image() = default;
  Image(int w, int h, std::uint32_t fill = 0)
      : width(w), height(h), pixels(static_cast<std::size_t>(w) * h, fill) {}
  [[nodiscard]] std::uint32_t at(int x, int y) const {
    return pixels[static_cast<std::size_t>(y) * width + x];
  }
  [[nodiscard]] std::uint32_t& at(int x, int y) {
    return pixels[static_cast<std::size_t>(y) * width + x];
  }
};

/// The image shrunk by an integer factor, each pixel the average of its factor x factor block
/// (blocks cut by the right and bottom edges average what they hold).
[[nodiscard]] Image downscaled(const Image& image, int factor);

/// Blurs in place with three passes of a box of the given radius in each direction, which is
/// close to a Gaussian; the edges repeat their outermost pixels.
void boxBlur(Image& image, int radius);

/// The blur the glass applies to its downscaled copy; replaceable by a better filter.
using GlassFilter = std::function<void(Image& image, int radius)>;

/// How the glass looks.
struct GlassStyle {
  int downscale = 4;      ///< the blur runs on a copy this many times smaller
  int radius = 6;         ///< blur radius in downscaled pixels (24 points at full size)
  double lighten = 0.25;  ///< share of white mixed in, like a light popover material
};

/// Frosted glass over `source`: downscale, filter, then for every pixel set in `mask` the
/// blurred colour sampled back up (bilinear) and lightened, written to `target` (same size as
/// the mask; pixels outside the mask are left alone). `source` has the mask's size too.
void frost(const Image& source, const Bitmap& mask, const GlassStyle& style,
           const GlassFilter& filter, Image& target);

}  // namespace velvix::x11
