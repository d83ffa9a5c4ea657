#pragma once

// Frosted glass over a frame of pixels: every patch shows a blurred, lightly tinted copy of the
// pixels around it, shaped as a rectangle with round corners or as the ellipse inscribed in it.
// This is what a bystander sees through the overlay's blur views; the Simulator's compositor
// and the X11 backend both draw their patches with it.
//
// Pixels are 8-bit RGBA, four bytes per pixel, rows `stride` bytes apart. The four channels are
// filtered alike, so the data may be straight (opaque) or premultiplied.
//
// Coordinates are pixels with the origin at the top left; a patch may be fractional and may lie
// partly or wholly outside the image. Its edges are anti-aliased: a pixel half inside a patch
// becomes half glass. Pixels outside every patch are never written.
//
// Every patch blurs the frame as it was before this call, never another patch's glass, as the
// platform's behind-window material does. The work is: one box-filtered downscale of the area
// the patches need (plus a margin of three blur radii), three box-blur passes per axis at the
// low resolution (close to a gaussian), a tint, and a bilinear upscale into the patches only.

#include <Velvix/Platform/BlurStrength.hpp>

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace velvix::glass {

/// A writable view of RGBA8 pixels. Not owning.
struct Rgba8Image {
  std::uint8_t* pixels = nullptr;
  int width = 0;
  int height = 0;
  std::ptrdiff_t stride = 0;  ///< bytes from one row to the next; at least 4 × width

  /// Whether the view can be drawn into: pixels present, positive size, rows wide enough.
  [[nodiscard]] bool isValid() const noexcept;
};

enum class PatchShape { roundedRect, ellipse };

/// One patch of glass, in pixels. Patches with a non-positive or non-finite extent or position
/// draw nothing.
struct GlassPatch {
  double x = 0;
  double y = 0;
  double width = 0;
  double height = 0;
  PatchShape shape = PatchShape::roundedRect;
  /// For rounded rectangles: the corner radius in pixels, at most half the shorter side; 0 gives
  /// square corners.
  double cornerRadius = 10;
};

struct FrostedGlassStyle {
  /// The blur's standard deviation in pixels.
  double blurRadius = 12;
  /// The blur works at 1/downscale of the frame's resolution, 1 to 8; 0 chooses from the
  /// radius (a 12-pixel blur works at 1/8, at about a sixtieth of the full-resolution cost).
  int downscale = 0;
  /// The frosted tint, mixed into the blur by `tintAmount` (0 to 1).
  std::array<std::uint8_t, 4> tint = {248, 248, 250, 255};
  double tintAmount = 0.35;

  /// The look of each strength the user can choose; `medium` is the default style above.
  /// Strong blurs a 12-point line past reading, even by OCR.
  [[nodiscard]] static FrostedGlassStyle of(BlurStrength strength);
};

class FrostedGlass {
 public:
  explicit FrostedGlass(FrostedGlassStyle style = {});

  [[nodiscard]] const FrostedGlassStyle& style() const { return style_; }

  /// Draws the patches into `image`. An invalid image, or no patch with an area, leaves it
  /// untouched. Keeps its scratch buffers between calls, so one instance per thread.
  void apply(Rgba8Image image, std::span<const GlassPatch> patches);

  /// The factor, 1 to 8, by which apply() scales a frame down before blurring it.
  [[nodiscard]] int downscale() const;
  /// Frosts, in place, a frame already box-filtered down by downscale(): the blur and tint that
  /// apply() works at that resolution. Scaled back up bilinearly (pixel centres aligned), it is
  /// the glass apply() draws, for a window server that scales pixels itself.
  void frostDownscaled(Rgba8Image low);

 private:
  [[nodiscard]] double blurRadius() const;
  // Blurs the lowW x lowH image of 4-float pixels in `low_`.
  void blurLow(int lowW, int lowH);
  // Writes `low_`, tinted, as bytes into rows `stride` bytes apart.
  void tintLow(int lowW, int lowH, std::uint8_t* out, std::ptrdiff_t stride) const;

  FrostedGlassStyle style_;
  // Scratch, reused across calls.
  std::vector<std::uint16_t> accumulator_;
  std::vector<float> low_;
  std::vector<float> lowScratch_;
  std::vector<std::uint8_t> lowTinted_;
  std::vector<std::uint8_t> phase_;
  std::vector<std::uint32_t> upscaledRows_;  // two low rows widened to full width
  std::vector<std::uint8_t> partialRow_;     // glass for a row a patch covers only in part
};

}  // namespace velvix::glass
