#include <Backends/X11/Raster.hpp>

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <tuple>

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

  Bitmap whole(8, 2);  // rows of whole bytes: the next row's first pixel is not this row's
  whole.set(0, 1);
  EXPECT_FALSE(whole.at(8, 0));
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
      {"ellipse edge itself", {Rect(0, 0, 100, 50), Shape::circle}, {0, 25}, true},
      {"corner arc itself", {Rect(0, 0, 100, 50), Shape::rounded}, {10, 0}, true},
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

// The mask is filled a run per row; each pixel must still be exactly what shapeContains says of
// its centre, at fractional positions, thin and tiny shapes and shapes past the edges alike.
TEST(RasterizeMask, EveryPixelIsWhatShapeContainsSaysOfItsCentre) {
  std::mt19937 random(11);
  std::uniform_real_distribution<double> position(-30, 130), size(0, 90), radius(0, 14);
  for (int i = 0; i < 400; ++i) {
    const double w = i % 7 == 0 ? size(random) / 40 : size(random);  // some under two pixels
    const MaskShape shape{Rect(position(random), position(random), w, size(random)),
                          i % 3 == 0 ? Shape::circle : Shape::rounded,
                          i % 50 == 1 ? NAN : radius(random)};
    const Bitmap mask = rasterizeMask(100, 90, std::span(&shape, 1));
    for (int y = 0; y < 90; ++y)
      for (int x = 0; x < 100; ++x)
        ASSERT_EQ(mask.at(x, y), shapeContains(shape, {x + 0.5, y + 0.5}))
            << "shape " << i << " at " << x << ", " << y;
  }
}

TEST(Bitmap, RunsAndBounds) {
  Bitmap b(37, 5);
  EXPECT_EQ(b.bounds().maxX, 0);  // none set
  b.setRun(1, 3, 30);             // crosses whole bytes and partial ones
  b.setRun(3, -4, 2);             // clipped on the left
  b.setRun(4, 35, 50);            // and on the right
  b.setRun(7, 0, 10);             // a row outside: ignored
  EXPECT_EQ(b.count(), 27 + 2 + 2);
  EXPECT_TRUE(b.at(3, 1) && b.at(29, 1) && !b.at(2, 1) && !b.at(30, 1));
  EXPECT_TRUE(b.at(36, 4) && !b.at(34, 4));
  const Bitmap::Bounds bounds = b.bounds();
  EXPECT_EQ(std::tie(bounds.minX, bounds.minY, bounds.maxX, bounds.maxY),
            std::make_tuple(0, 1, 37, 5));
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
  EXPECT_TRUE(outline.at(20, 5) && outline.at(29, 12) && outline.at(29, 8));
  EXPECT_FALSE(outline.at(25, 8) || outline.at(28, 8));

  Bitmap above(40, 30);
  const Rect outside[] = {Rect(5, -20, 10, 8)};
  addGuides(above, outside, {});
  EXPECT_TRUE(above.isEmpty()) << "a region above the mask draws nothing";
}

}  // namespace
}  // namespace velvix::x11
