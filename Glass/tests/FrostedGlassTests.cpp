#include <Glass/FrostedGlass.hpp>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

namespace velvix::glass {
namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();

// An image that owns its pixels, with a stride wider than its rows so that writes past a row's
// end would show in the padding.
struct Frame {
  int width, height;
  std::ptrdiff_t stride;
  std::vector<std::uint8_t> bytes;

  Frame(int w, int h) : width(w), height(h), stride(w * 4 + 12), bytes(stride * h, 0) {}

  Rgba8Image view() { return {bytes.data(), width, height, stride}; }
  std::uint8_t* at(int x, int y) { return bytes.data() + y * stride + x * 4; }
  const std::uint8_t* at(int x, int y) const { return bytes.data() + y * stride + x * 4; }
  double luma(int x, int y) const {
    const std::uint8_t* p = at(x, y);
    return 0.299 * p[0] + 0.587 * p[1] + 0.114 * p[2];
  }
};

// Black-on-white strokes one and two pixels wide, the texture of small text: the hardest
// content to hide.
Frame textLike(int w, int h) {
  Frame f(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const bool ink = (x % 5 < 2 && y % 9 < 7) || (y % 9 == 3 && x % 17 < 11);
      std::uint8_t* p = f.at(x, y);
      p[0] = p[1] = p[2] = ink ? 20 : 250;
      p[3] = 255;
    }
  return f;
}

double stddevOfLuma(const Frame& f, int x0, int y0, int x1, int y1) {
  double sum = 0, sum2 = 0;
  int n = 0;
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x) {
      const double l = f.luma(x, y);
      sum += l;
      sum2 += l * l;
      ++n;
    }
  const double mean = sum / n;
  return std::sqrt(std::max(0.0, sum2 / n - mean * mean));
}

bool samePixel(const Frame& a, const Frame& b, int x, int y) {
  for (int c = 0; c < 4; ++c)
    if (a.at(x, y)[c] != b.at(x, y)[c]) return false;
  return true;
}

int changedPixels(const Frame& a, const Frame& b) {
  int n = 0;
  for (int y = 0; y < a.height; ++y)
    for (int x = 0; x < a.width; ++x)
      n += samePixel(a, b, x, y) ? 0 : 1;
  return n;
}

TEST(FrostedGlass, BlurredPatchesFlattenSmallTextWhateverTheShape) {
  const struct {
    const char* name;
    PatchShape shape;
  } cases[] = {{"rounded", PatchShape::roundedRect}, {"ellipse", PatchShape::ellipse}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Frame f = textLike(400, 300);
    const double before = stddevOfLuma(f, 150, 120, 250, 180);
    FrostedGlass glass;
    const GlassPatch patch{100, 80, 200, 140, c.shape};
    glass.apply(f.view(), {&patch, 1});
    const double after = stddevOfLuma(f, 150, 120, 250, 180);
    EXPECT_GT(before, 80);
    EXPECT_LT(after, before * 0.05) << "before " << before << ", after " << after;
  }
}

TEST(FrostedGlass, GlassIsLighterThanTheInkItHides) {
  Frame f(200, 200);
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 200; ++x) {
      std::uint8_t* p = f.at(x, y);
      p[0] = p[1] = p[2] = 0;
      p[3] = 255;
    }
  FrostedGlass glass;
  const GlassPatch patch{50, 50, 100, 100};
  glass.apply(f.view(), {&patch, 1});
  // The frosted tint lifts black towards the material's colour.
  EXPECT_GT(f.luma(100, 100), 40);
  EXPECT_EQ(f.at(100, 100)[3], 255);
}

TEST(FrostedGlass, PixelsOutsideEveryPatchAndTheRowPaddingAreUntouched) {
  const Frame original = textLike(300, 200);
  Frame f = original;
  FrostedGlass glass;
  const GlassPatch patches[] = {{20.5, 30.25, 80, 40}, {150, 100, 60, 60, PatchShape::ellipse}};
  glass.apply(f.view(), patches);
  int changedOutside = 0, changedInside = 0;
  for (int y = 0; y < f.height; ++y)
    for (int x = 0; x < f.width; ++x) {
      // Any pixel that the patches' bounding boxes do not touch.
      const bool nearFirst = x >= 20 && x < 101 && y >= 30 && y < 71;
      const bool nearSecond = x >= 150 && x < 210 && y >= 100 && y < 160;
      const bool same = samePixel(original, f, x, y);
      if (!nearFirst && !nearSecond && !same) ++changedOutside;
      if ((nearFirst || nearSecond) && !same) ++changedInside;
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
      {"ellipse: well inside the box but outside the oval stays", PatchShape::ellipse, 10, 6,
       false},
      {"ellipse: top centre is glass", PatchShape::ellipse, 50, 1, true},
      {"ellipse: left centre is glass", PatchShape::ellipse, 1, 30, true},
      {"ellipse: the middle is glass", PatchShape::ellipse, 50, 30, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Frame original = textLike(200, 140);
    Frame f = original;
    FrostedGlass glass;
    const GlassPatch patch{50, 40, 100, 60, c.shape, 10};
    glass.apply(f.view(), {&patch, 1});
    EXPECT_EQ(!samePixel(original, f, 50 + c.dx, 40 + c.dy), c.changed);
  }
}

TEST(FrostedGlass, EllipseCoversAboutItsArea) {
  Frame f(300, 300);
  Frame original = f;
  for (auto* frame : {&f, &original})
    for (int y = 0; y < 300; ++y)
      for (int x = 0; x < 300; ++x)
        frame->at(x, y)[3] = 255;  // black, opaque
  FrostedGlass glass;
  const GlassPatch patch{50, 50, 200, 100, PatchShape::ellipse};
  glass.apply(f.view(), {&patch, 1});
  const double area = 3.14159265 * 100 * 50;
  const int changed = changedPixels(original, f);
  EXPECT_NEAR(changed, area, area * 0.02);
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
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Frame original = textLike(100, 80);
    Frame f = original;
    FrostedGlass glass;
    glass.apply(f.view(), {&c.patch, 1});
    EXPECT_EQ(changedPixels(original, f) > 0, c.changes);
  }
}

TEST(FrostedGlass, InvalidImagesAndStylesAreSafe) {
  FrostedGlass glass;
  const GlassPatch patch{0, 0, 10, 10};
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
    glass.apply(c.image, {&patch, 1});
    for (std::uint8_t p : pixels)
      ASSERT_EQ(p, 0);
  }

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
  for (const auto& c : styles) {
    SCOPED_TRACE(c.name);
    const Frame original = textLike(64, 48);
    Frame f = original;
    FrostedGlass styled(c.style);
    const GlassPatch whole{0, 0, 64, 48};
    styled.apply(f.view(), {&whole, 1});
    // The style degrades to a usable one: glass is drawn and stays opaque.
    EXPECT_GT(changedPixels(original, f), 64 * 48 / 2);
    EXPECT_EQ(f.at(30, 20)[3], 255);
  }
}

TEST(FrostedGlass, EveryPatchBlursTheFrameNotAnotherPatchsGlass) {
  // The same patch drawn alone or after an overlapping one gives the same glass where they
  // overlap: glass is computed from the frame as it was before the call.
  const Frame original = textLike(300, 200);
  Frame alone = original;
  Frame both = original;
  FrostedGlass glass;
  const GlassPatch second{120, 60, 100, 80};
  const GlassPatch patches[] = {{40, 40, 140, 100}, second};
  glass.apply(alone.view(), {&second, 1});
  glass.apply(both.view(), patches);
  int differing = 0;
  for (int y = 70; y < 130; ++y)
    for (int x = 130; x < 170; ++x) {
      for (int c = 0; c < 4; ++c)
        differing += std::abs(alone.at(x, y)[c] - both.at(x, y)[c]) > 2 ? 1 : 0;
    }
  EXPECT_EQ(differing, 0);
}

TEST(FrostedGlass, FractionalEdgesAreAntiAliased) {
  Frame f(60, 20);
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 60; ++x) {
      std::uint8_t* p = f.at(x, y);
      p[0] = p[1] = p[2] = 0;
      p[3] = 255;
    }
  FrostedGlassStyle style;
  style.blurRadius = 0;  // plain tint, so the mix is easy to read
  style.tintAmount = 1;
  style.tint = {200, 200, 200, 255};
  FrostedGlass glass(style);
  const GlassPatch patch{10.5, 0, 20, 20, PatchShape::roundedRect, 0};
  glass.apply(f.view(), {&patch, 1});
  EXPECT_EQ(f.at(9, 10)[0], 0);
  EXPECT_NEAR(f.at(10, 10)[0], 100, 2);  // half covered
  EXPECT_EQ(f.at(11, 10)[0], 200);
  EXPECT_EQ(f.at(29, 10)[0], 200);
  EXPECT_NEAR(f.at(30, 10)[0], 100, 2);
  EXPECT_EQ(f.at(31, 10)[0], 0);
}

}  // namespace
}  // namespace velvix::glass

namespace velvix::glass {
namespace {

// Coarse shapes (bars 32 pixels wide: a picture, a large heading) are where the strengths differ:
// each stronger one leaves less of them, and medium is the one look the glass always had.
TEST(FrostedGlass, EachStrongerStrengthLeavesLessOfTheShapes) {
  const auto remaining = [](const FrostedGlassStyle& style, Frame& f) {
    for (int y = 0; y < f.height; ++y)
      for (int x = 0; x < f.width; ++x) {
        std::uint8_t* p = f.at(x, y);
        p[0] = p[1] = p[2] = x % 64 < 32 ? 20 : 250;
        p[3] = 255;
      }
    FrostedGlass glass(style);
    const GlassPatch patch{40, 40, 320, 220};
    glass.apply(f.view(), {&patch, 1});
    return stddevOfLuma(f, 120, 100, 280, 200);
  };
  Frame light(400, 300), medium(400, 300), strong(400, 300), plain(400, 300);
  const double lightLeft = remaining(FrostedGlassStyle::of(BlurStrength::light), light);
  const double mediumLeft = remaining(FrostedGlassStyle::of(BlurStrength::medium), medium);
  const double strongLeft = remaining(FrostedGlassStyle::of(BlurStrength::strong), strong);
  remaining(FrostedGlassStyle{}, plain);
  EXPECT_GT(lightLeft, mediumLeft * 1.5);
  EXPECT_GT(mediumLeft, strongLeft * 1.5);
  EXPECT_EQ(medium.bytes, plain.bytes);
}

}  // namespace
}  // namespace velvix::glass
