#include <Backends/X11/Raster.hpp>

#include <gtest/gtest.h>

#include <cmath>

namespace velvix::x11 {
namespace {

TEST(Bitmap, XBitmapLayout) {
  Bitmap b(10, 2);
  EXPECT_EQ(b.bytesPerRow(), 2);
  b.set(0, 0);
  b.set(9, 1);
  b.set(10, 0);  // outside: ignored
  b.set(-1, 1);  // outside: ignored
  EXPECT_EQ(b.bytes(), (std::vector<std::uint8_t>{0x01, 0x00, 0x00, 0x02}));
  EXPECT_TRUE(b.at(9, 1));
  EXPECT_FALSE(b.at(10, 0));
  EXPECT_EQ(b.count(), 2);
}

TEST(ShapeContains, RoundedCornersAndEllipse) {
  const struct {
    const char* name;
    MaskShape shape;
    Point p;
    bool inside;
  } cases[] = {
      {"rect centre", {Rect(0, 0, 100, 50), Shape::rounded}, {50, 25}, true},
      {"rect corner cut", {Rect(0, 0, 100, 50), Shape::rounded}, {1, 1}, false},
      {"corner arc inside",
       {Rect(0, 0, 100, 50), Shape::rounded},
       {3, 3},
       true},  // 9.9 from (10,10)
      {"corner arc outside", {Rect(0, 0, 100, 50), Shape::rounded}, {2.5, 2.5}, false},
      {"edge midpoint", {Rect(0, 0, 100, 50), Shape::rounded}, {0, 25}, true},
      {"max edge excluded", {Rect(0, 0, 100, 50), Shape::rounded}, {100, 25}, false},
      {"thin rect keeps radius within half", {Rect(0, 0, 100, 6), Shape::rounded}, {3, 3}, true},
      {"ellipse centre", {Rect(0, 0, 100, 50), Shape::circle}, {50, 25}, true},
      {"ellipse rect corner", {Rect(0, 0, 100, 50), Shape::circle}, {5, 5}, false},
      {"ellipse axis end", {Rect(0, 0, 100, 50), Shape::circle}, {0.5, 25}, true},
      {"null rect", {Rect::null(), Shape::rounded}, {0, 0}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(shapeContains(c.shape, c.p), c.inside);
  }
}

TEST(RasterizeMask, CountsMatchTheShapesArea) {
  // A rounded rectangle misses (4 - pi) r^2 in its corners; an ellipse covers pi a b.
  const MaskShape rounded[] = {{Rect(10, 10, 200, 100), Shape::rounded}};
  const double roundedArea = 200 * 100 - (4 - M_PI) * 100;
  EXPECT_NEAR(rasterizeMask(300, 200, rounded).count(), roundedArea, 0.01 * roundedArea);

  const MaskShape ellipse[] = {{Rect(0, 0, 120, 60), Shape::circle}};
  EXPECT_NEAR(rasterizeMask(300, 200, ellipse).count(), M_PI * 60 * 30, 0.01 * M_PI * 60 * 30);
}

TEST(RasterizeMask, ClipsToTheAreaAndSkipsDegenerateShapes) {
  const MaskShape shapes[] = {{Rect(-50, -50, 100, 100), Shape::rounded},
                              {Rect(90, 90, 1e9, 1e9), Shape::rounded},
                              {Rect(10, 10, NAN, 5), Shape::rounded},
                              {Rect(10, 10, 0, 5), Shape::circle}};
  const Bitmap mask = rasterizeMask(100, 100, shapes);
  EXPECT_TRUE(mask.at(0, 0));     // the clipped rectangle's own corner lies outside the area
  EXPECT_FALSE(mask.at(49, 49));  // its rounded corner inside the area
  EXPECT_TRUE(mask.at(99, 99));
  // Two visible squares, each missing one rounded corner's (1 - pi/4) r^2; nothing else.
  EXPECT_NEAR(mask.count(), 50 * 50 + 10 * 10 - 2 * (1 - M_PI / 4) * 100, 2);
}

TEST(AddGuides, DashedColumnsAndOutlines) {
  Bitmap mask(40, 30);
  const double columns[] = {10};
  addGuides(mask, {}, columns);
  // 1.5 points centred on x = 10 cover the pixels whose centres lie in [9.25, 10.75): 9 and 10.
  EXPECT_TRUE(mask.at(9, 0) && mask.at(10, 5) && !mask.at(8, 0) && !mask.at(11, 0));
  EXPECT_FALSE(mask.at(10, 6));  // a gap of the dash
  EXPECT_TRUE(mask.at(10, 10));

  Bitmap outline(40, 30);
  const Rect regions[] = {Rect(20, 5, 10, 8)};
  addGuides(outline, regions, {});
  EXPECT_EQ(outline.count(), 2 * 10 + 2 * 6);
  EXPECT_TRUE(outline.at(20, 5) && outline.at(29, 12));
  EXPECT_FALSE(outline.at(25, 8));
}

// Mean absolute difference of horizontally neighbouring pixels' green channel: what text and
// edges have and a blur takes away.
double localContrast(const Image& image) {
  double sum = 0;
  long n = 0;
  for (int y = 0; y < image.height; ++y) {
    for (int x = 1; x < image.width; ++x) {
      sum += std::abs(int((image.at(x, y) >> 8) & 0xFF) - int((image.at(x - 1, y) >> 8) & 0xFF));
      ++n;
    }
  }
  return n ? sum / n : 0;
}

TEST(Frost, BlursInsideTheMaskOnlyAndKeepsTheMeanColour) {
  Image stripes(120, 80);
  for (int y = 0; y < stripes.height; ++y) {
    for (int x = 0; x < stripes.width; ++x)
      stripes.at(x, y) = (x / 2) % 2 ? 0xFFFFFF : 0x000000;
  }
  const MaskShape shapes[] = {{Rect(20, 20, 80, 40), Shape::rounded}};
  const Bitmap mask = rasterizeMask(120, 80, shapes);
  Image target(120, 80, 0x123456);
  frost(stripes, mask, GlassStyle{.lighten = 0}, {}, target);

  EXPECT_EQ(target.at(0, 0), 0x123456u);  // outside the mask: untouched
  Image inside(60, 20);
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 60; ++x)
      inside.at(x, y) = target.at(30 + x, 30 + y);
  EXPECT_LT(localContrast(inside) * 10, localContrast(stripes));
  EXPECT_NEAR(double((inside.at(30, 10) >> 8) & 0xFF), 127.5, 4);
}

TEST(Frost, LightensTowardsWhite) {
  Image black(16, 16, 0x000000);
  const MaskShape shapes[] = {{Rect(0, 0, 16, 16), Shape::rounded}};
  const Bitmap mask = rasterizeMask(16, 16, shapes);
  Image target(16, 16);
  frost(black, mask, GlassStyle{.lighten = 0.25}, {}, target);
  EXPECT_EQ(target.at(8, 8), 0x404040u);  // 255 * 0.25 rounded
}

TEST(Frost, UsesTheGivenFilter) {
  Image source(8, 8, 0x000000);
  const MaskShape shapes[] = {{Rect(0, 0, 8, 8), Shape::rounded}};
  const Bitmap mask = rasterizeMask(8, 8, shapes);
  Image target(8, 8);
  int calls = 0;
  frost(
      source, mask, GlassStyle{.downscale = 2, .radius = 3, .lighten = 0},
      [&](Image& small, int radius) {
        ++calls;
        EXPECT_EQ(small.width, 4);
        EXPECT_EQ(radius, 3);
        for (auto& p : small.pixels)
          p = 0x0000FF;
      },
      target);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(target.at(4, 4), 0x0000FFu);
}

TEST(Downscaled, AveragesBlocksAndPartialEdges) {
  Image image(3, 1);
  image.at(0, 0) = 0x000000;
  image.at(1, 0) = 0x0000FE;
  image.at(2, 0) = 0x00FF00;
  const Image small = downscaled(image, 2);
  ASSERT_EQ(small.width, 2);
  EXPECT_EQ(small.at(0, 0), 0x00007Fu);
  EXPECT_EQ(small.at(1, 0), 0x00FF00u);
}

}  // namespace
}  // namespace velvix::x11
