#include <Glass/FrostedGlass.hpp>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

namespace velvix::glass {
namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();

// An opaque image that owns its pixels, with a stride wider than its rows so that writes past a
// row's end would show in the padding. `ink` colours each pixel grey.
struct Frame {
  int width, height;
  std::ptrdiff_t stride;
  std::vector<std::uint8_t> bytes;

  template <typename Ink>
  Frame(int w, int h, Ink ink) : width(w), height(h), stride(w * 4 + 12), bytes(stride * h, 0) {
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        std::uint8_t* p = at(x, y);
        p[0] = p[1] = p[2] = ink(x, y);
        p[3] = 255;
      }
  }
  Rgba8Image view() { return {bytes.data(), width, height, stride}; }
  std::uint8_t* at(int x, int y) { return bytes.data() + y * stride + x * 4; }
  const std::uint8_t* at(int x, int y) const { return bytes.data() + y * stride + x * 4; }
  double luma(int x, int y) const {
    return 0.299 * at(x, y)[0] + 0.587 * at(x, y)[1] + 0.114 * at(x, y)[2];
  }
  bool same(const Frame& o, int x, int y) const {
    return std::equal(at(x, y), at(x, y) + 4, o.at(x, y));
  }
  int changed(const Frame& o) const {
    int n = 0;
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x)
        n += same(o, x, y) ? 0 : 1;
    return n;
  }
  double stddevOfLuma(int x0, int y0, int x1, int y1) const {
    double sum = 0, sum2 = 0;
    int n = 0;
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x, ++n) {
        sum += luma(x, y);
        sum2 += luma(x, y) * luma(x, y);
      }
    return std::sqrt(std::max(0.0, sum2 / n - (sum / n) * (sum / n)));
  }
};

// Black-on-white strokes one and two pixels wide, the texture of small text: the hardest
// content to hide.
Frame textLike(int w, int h) {
  return Frame(w, h, [](int x, int y) {
    return (x % 5 < 2 && y % 9 < 7) || (y % 9 == 3 && x % 17 < 11) ? 20 : 250;
  });
}
Frame black(int w, int h) {
  return Frame(w, h, [](int, int) { return 0; });
}

// Glass drawn over a copy of `original`.
Frame glazed(const Frame& original, const std::vector<GlassPatch>& patches, FrostedGlass& glass) {
  Frame f = original;
  glass.apply(f.view(), patches);
  return f;
}
Frame glazed(const Frame& original, const std::vector<GlassPatch>& patches,
             FrostedGlassStyle style = {}) {
  FrostedGlass glass(style);
  return glazed(original, patches, glass);
}

TEST(FrostedGlass, BlurredPatchesFlattenSmallTextWhateverTheShape) {
  for (const PatchShape shape : {PatchShape::roundedRect, PatchShape::ellipse}) {
    SCOPED_TRACE(static_cast<int>(shape));
    const Frame text = textLike(400, 300);
    const double before = text.stddevOfLuma(150, 120, 250, 180);
    const double after =
        glazed(text, {{100, 80, 200, 140, shape}}).stddevOfLuma(150, 120, 250, 180);
    EXPECT_GT(before, 80);
    EXPECT_LT(after, before * 0.05) << "before " << before << ", after " << after;
  }
}

TEST(FrostedGlass, AnEllipseCoversAboutItsAreaWithGlassLighterThanTheInk) {
  const Frame original = black(300, 300);
  const Frame f = glazed(original, {{50, 50, 200, 100, PatchShape::ellipse}});
  const double area = 3.14159265 * 100 * 50;
  EXPECT_NEAR(f.changed(original), area, area * 0.02);
  EXPECT_GT(f.luma(150, 100), 40);  // the frosted tint lifts black towards the material's colour
  EXPECT_EQ(f.at(150, 100)[3], 255);
}

TEST(FrostedGlass, PixelsOutsideEveryPatchAndTheRowPaddingAreUntouched) {
  const Frame original = textLike(300, 200);
  const Frame f =
      glazed(original, {{20.5, 30.25, 80, 40}, {150, 100, 60, 60, PatchShape::ellipse}});
  int changedOutside = 0, changedInside = 0;
  for (int y = 0; y < f.height; ++y)
    for (int x = 0; x < f.width; ++x) {
      // The pixels the patches' bounding boxes touch.
      const bool near =
          (x >= 20 && x < 101 && y >= 30 && y < 71) || (x >= 150 && x < 210 && y >= 100 && y < 160);
      (near ? changedInside : changedOutside) += f.same(original, x, y) ? 0 : 1;
    }
  EXPECT_EQ(changedOutside, 0);
  EXPECT_GT(changedInside, 2500);
  for (int y = 0; y < f.height; ++y)
    for (int k = f.width * 4; k < f.stride; ++k)
      ASSERT_EQ(f.bytes[y * f.stride + k], 0) << "padding of row " << y;
}

TEST(FrostedGlass, MasksShapeThePatch) {
  // Pixel (dx, dy) from the patch's top-left corner, patch 100 x 60 at (50, 40), 10-pixel corners.
  const struct {
    const char* name;
    PatchShape shape;
    int dx, dy;
    bool changed;
  } cases[] = {
      {"rounded: the corner pixel stays", PatchShape::roundedRect, 0, 0, false},
      {"rounded: two pixels in along the diagonal stays", PatchShape::roundedRect, 2, 2, false},
      {"rounded: the bottom-right corner pixel stays", PatchShape::roundedRect, 99, 59, false},
      {"rounded: the top edge beyond the corner is glass", PatchShape::roundedRect, 12, 0, true},
      {"rounded: the left edge beyond the corner is glass", PatchShape::roundedRect, 0, 12, true},
      {"rounded: inside the corner's arc is glass", PatchShape::roundedRect, 4, 4, true},
      {"ellipse: the corner pixel stays", PatchShape::ellipse, 0, 0, false},
      {"ellipse: inside the box, outside the oval stays", PatchShape::ellipse, 10, 6, false},
      {"ellipse: top centre is glass", PatchShape::ellipse, 50, 1, true},
      {"ellipse: left centre is glass", PatchShape::ellipse, 1, 30, true},
      {"ellipse: the middle is glass", PatchShape::ellipse, 50, 30, true},
  };
  const Frame original = textLike(200, 140);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Frame f = glazed(original, {{50, 40, 100, 60, c.shape, 10}});
    EXPECT_EQ(!f.same(original, 50 + c.dx, 40 + c.dy), c.changed);
  }
}

TEST(FrostedGlass, DegeneratePatchesAndImagesAreSafe) {
  const struct {
    const char* name;
    GlassPatch patch;
    bool changes;
  } cases[] = {
      {"zero width", {10, 10, 0, 20}, false},
      {"zero height", {10, 10, 20, 0}, false},
      {"negative width", {50, 10, -20, 20}, false},
      {"NaN x", {nan, 10, 20, 20}, false},
      {"NaN height", {10, 10, 20, nan}, false},
      {"infinite width", {10, 10, inf, 20}, false},
      {"width that overflows to infinity", {1e308, 10, 1.7e308, 20}, false},
      {"wholly left of the image", {-500, 10, 100, 20}, false},
      {"wholly below the image", {10, 5000, 20, 20}, false},
      {"huge, covering everything", {-1e12, -1e12, 3e12, 3e12}, true},
      {"partly outside on the top left", {-30, -30, 60, 60}, true},
      {"partly outside on the bottom right", {70, 50, 100, 100}, true},
      {"NaN corner radius counts as square", {10, 10, 30, 30, PatchShape::roundedRect, nan}, true},
      {"negative corner radius counts as square",
       {10, 10, 30, 30, PatchShape::roundedRect, -5},
       true},
      {"corner radius beyond half the side", {10, 10, 30, 12, PatchShape::roundedRect, 1e9}, true},
      {"thinner than a pixel", {10.2, 10.2, 0.3, 0.3}, true},
  };
  const Frame original = textLike(100, 80);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(glazed(original, {c.patch}).changed(original) > 0, c.changes);
  }

  std::uint8_t pixels[4 * 4 * 4] = {};
  const struct {
    const char* name;
    Rgba8Image image;
  } images[] = {
      {"no pixels", {nullptr, 4, 4, 16}},       {"zero width", {pixels, 0, 4, 16}},
      {"negative height", {pixels, 4, -4, 16}}, {"stride shorter than a row", {pixels, 4, 4, 15}},
      {"negative stride", {pixels, 4, 4, -16}},
  };
  for (const auto& c : images) {
    SCOPED_TRACE(c.name);
    const GlassPatch patch{0, 0, 10, 10};
    FrostedGlass().apply(c.image, {&patch, 1});
    for (std::uint8_t p : pixels)
      ASSERT_EQ(p, 0);
  }
}

TEST(FrostedGlass, InvalidStylesDegradeToUsableOnes) {
  const struct {
    const char* name;
    FrostedGlassStyle style;
  } styles[] = {
      {"NaN radius", {nan, 4, {255, 255, 255, 255}, 0.3}},
      {"negative radius", {-3, 4, {255, 255, 255, 255}, 0.3}},
      {"enormous radius", {1e9, 4, {255, 255, 255, 255}, 0.3}},
      {"negative downscale", {12, -3, {255, 255, 255, 255}, 0.3}},
      {"downscale 1000", {12, 1000, {255, 255, 255, 255}, 0.3}},
      {"NaN tint amount", {12, 4, {255, 255, 255, 255}, nan}},
  };
  const Frame original = textLike(64, 48);
  for (const auto& c : styles) {
    SCOPED_TRACE(c.name);
    const Frame f = glazed(original, {{0, 0, 64, 48}}, c.style);
    // Glass is drawn and stays opaque.
    EXPECT_GT(f.changed(original), 64 * 48 / 2);
    EXPECT_EQ(f.at(30, 20)[3], 255);
  }
}

// With no blur and no downscale, glass is the frame under its tint, pixel for pixel: nothing is
// shifted, in either direction, nor read from a neighbour.
TEST(FrostedGlass, UnblurredGlassIsTheFrameUnderItsTint) {
  const Frame original(37, 23, [](int x, int y) { return (x * 7 + y * 13) % 256; });
  const Frame f = glazed(original, {{0, 0, 37, 23, PatchShape::roundedRect, 0}},
                         {0, 1, {255, 255, 255, 255}, 0.25});
  for (int y = 0; y < 23; ++y)
    for (int x = 0; x < 37; ++x)
      ASSERT_NEAR(f.at(x, y)[0], original.at(x, y)[0] * 0.75 + 255 * 0.25, 1) << x << ", " << y;
}

// Stripes across the frame: whatever the downscale, every column of the glass is alike, the
// last, narrower blocks of a width no vector divides included.
TEST(FrostedGlass, GlassOverRowsOfOneColourIsTheSameAlongEachRow) {
  const Frame original(37, 40, [](int, int y) { return y % 3 == 0 ? 0 : 250; });
  for (const int downscale : {2, 4, 8}) {
    const Frame f = glazed(original, {{0, 0, 37, 40, PatchShape::roundedRect, 0}},
                           {6, downscale, {248, 248, 250, 255}, 0.35});
    for (int y = 0; y < 40; ++y)
      for (int x = 1; x < 37; ++x)
        ASSERT_NEAR(f.at(x, y)[0], f.at(0, y)[0], 1) << x << ", " << y << " at 1/" << downscale;
  }
}

// A window server that scales the frame down and the glass back up gets, from the frame it
// scaled, the glass apply() draws.
TEST(FrostedGlass, GlassOfAFrameScaledDownThenUpIsTheGlassApplyDraws) {
  const Frame original = textLike(96, 64);
  for (const BlurStrength strength : {BlurStrength::light, BlurStrength::strong}) {
    FrostedGlass glass(FrostedGlassStyle::of(strength));
    const int d = glass.downscale(), w = 96 / d, h = 64 / d;
    std::vector<std::uint8_t> low(static_cast<std::size_t>(w) * h * 4);
    for (int j = 0; j < h; ++j)
      for (int i = 0; i < w; ++i)
        for (int c = 0; c < 4; ++c) {
          int sum = 0;
          for (int y = j * d; y < (j + 1) * d; ++y)
            for (int x = i * d; x < (i + 1) * d; ++x)
              sum += original.at(x, y)[c];
          low[(j * w + i) * 4 + c] = static_cast<std::uint8_t>((sum + d * d / 2) / (d * d));
        }
    glass.frostDownscaled({low.data(), w, h, w * 4});
    const Frame applied = glazed(original, {{0, 0, 96, 64, PatchShape::roundedRect, 0}}, glass);
    const auto lowAt = [&](double u, int max) { return std::clamp(u, 0.0, max - 1.0); };
    for (int y = 0; y < 64; ++y)
      for (int x = 0; x < 96; ++x) {
        const double u = lowAt((x + 0.5) / d - 0.5, w), v = lowAt((y + 0.5) / d - 0.5, h);
        const int i = std::min(static_cast<int>(u), w - 2),
                  j = std::min(static_cast<int>(v), h - 2);
        const auto px = [&](int a, int b) { return low[(b * w + a) * 4]; };
        const double top = px(i, j) + (u - i) * (px(i + 1, j) - px(i, j));
        const double bottom = px(i, j + 1) + (u - i) * (px(i + 1, j + 1) - px(i, j + 1));
        ASSERT_NEAR(applied.at(x, y)[0], top + (v - j) * (bottom - top), 3)
            << x << ", " << y << " at 1/" << d;
      }
  }
}

TEST(FrostedGlass, EveryPatchBlursTheFrameNotAnotherPatchsGlass) {
  // The same patch drawn alone or after an overlapping one gives the same glass where they
  // overlap: glass is computed from the frame as it was before the call.
  const Frame original = textLike(300, 200);
  const GlassPatch second{120, 60, 100, 80};
  FrostedGlass glass;  // one instance: its scratch from the first call must not leak into the next
  const Frame alone = glazed(original, {second}, glass);
  const Frame both = glazed(original, {{40, 40, 140, 100}, second}, glass);
  int differing = 0;
  for (int y = 70; y < 130; ++y)
    for (int x = 130; x < 170; ++x)
      for (int c = 0; c < 4; ++c)
        differing += std::abs(alone.at(x, y)[c] - both.at(x, y)[c]) > 2 ? 1 : 0;
  EXPECT_EQ(differing, 0);
}

TEST(FrostedGlass, FractionalEdgesAreAntiAliased) {
  FrostedGlassStyle style;
  style.blurRadius = 0;  // plain tint, so the mix is easy to read
  style.tintAmount = 1;
  style.tint = {200, 200, 200, 255};
  // Rows 0 and 10 are three quarters covered, like every patch that follows a scroll.
  const Frame f =
      glazed(black(60, 20), {{10.5, 0.25, 20, 10.5, PatchShape::roundedRect, 0}}, style);
  const struct {
    int x, y;
    double red;
  } cases[] = {{9, 5, 0},    {10, 5, 100},  {11, 5, 200}, {29, 5, 200}, {30, 5, 100}, {31, 5, 0},
               {20, 0, 150}, {20, 10, 150}, {20, 11, 0},  {10, 0, 75},  {30, 10, 75}, {31, 10, 0}};
  for (const auto& c : cases)
    EXPECT_NEAR(f.at(c.x, c.y)[0], c.red, c.red == 0 || c.red == 200 ? 0 : 2)
        << "x " << c.x << ", y " << c.y;
}

// Coarse shapes (bars 32 pixels wide: a picture, a large heading) are where the strengths differ:
// each stronger one leaves less of them, and medium is the one look the glass always had.
TEST(FrostedGlass, EachStrongerStrengthLeavesLessOfTheShapes) {
  const Frame bars(400, 300, [](int x, int) { return x % 64 < 32 ? 20 : 250; });
  const auto glass = [&](const FrostedGlassStyle& style) {
    return glazed(bars, {{40, 40, 320, 220}}, style);
  };
  const Frame light = glass(FrostedGlassStyle::of(BlurStrength::light));
  const Frame medium = glass(FrostedGlassStyle::of(BlurStrength::medium));
  const Frame strong = glass(FrostedGlassStyle::of(BlurStrength::strong));
  EXPECT_GT(light.stddevOfLuma(120, 100, 280, 200), medium.stddevOfLuma(120, 100, 280, 200) * 1.5);
  EXPECT_GT(medium.stddevOfLuma(120, 100, 280, 200), strong.stddevOfLuma(120, 100, 280, 200) * 1.5);
  EXPECT_EQ(medium.bytes, glass(FrostedGlassStyle{}).bytes);
}

}  // namespace
}  // namespace velvix::glass
