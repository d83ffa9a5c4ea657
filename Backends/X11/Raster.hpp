#pragma once

// The overlay's shape, free of X calls so that it is tested on its own: the 1-bit mask of its
// bounding shape, from the visible blur views (10-point rounded corners, or the ellipse
// inscribed in the frame) and the calibration guides; and a plain image type for screenshots.
// One point is one pixel on X11. A pixel belongs to a shape when its centre does.

#include <BlurLayout/Geometry.hpp>
#include <BlurLayout/LayoutTypes.hpp>

#include <cstdint>
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
  /// Sets pixels x0 to x1 - 1 of row y, those inside the bitmap.
  void setRun(int y, int x0, int x1);
  /// The smallest rectangle [minX, maxX) x [minY, maxY) holding every set pixel; all zero when
  /// none is set.
  struct Bounds {
    int minX = 0, minY = 0, maxX = 0, maxY = 0;
  };
  [[nodiscard]] Bounds bounds() const;
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

/// Device pixels per point from the X resources' "Xft.dpi" (96 per point's inch), as desktops
/// set it for a scaled screen and clients follow it; 1 without it, or outside 1 to 4.
[[nodiscard]] double scaleFromResources(const char* resources);

struct MaskShape {
  Rect rect;
  Shape shape = Shape::rounded;
  double cornerRadius = kPatchCornerRadius;  ///< in the rectangle's units
};

/// Whether the point lies in the shape: a rectangle with rounded corners (less round when the
/// rectangle is thinner than twice the radius), or the ellipse inscribed in the rectangle.
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

}  // namespace velvix::x11
