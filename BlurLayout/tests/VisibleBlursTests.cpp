#include <BlurLayout/BlurLayout.hpp>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace velvix {
namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();

using R = Rect;

BlurRegion bandRegion(Rect r, double height = 90) {
  return BlurRegion(r, std::nullopt, Reveal::band(height), Shape::rounded);
}

template <typename T, typename... More>
std::vector<T> list(T first, More... more) {
  return {first, more...};
}
VisibleBlur rounded(Rect r) {
  return {r, Shape::rounded};
}

TEST(VisibleBlurs, HoverReveal) {
  const Rect row(0, 100, 400, 72);
  const BlurRegion picture(R(20, 110, 52, 52), row, Reveal::whole(), Shape::circle);
  const VisibleBlur pictureBlur{R(20, 110, 52, 52), Shape::circle};
  const BlurRegion tall = bandRegion(R(0, 0, 300, 600));
  BlurRegion behindSheet(R(0, 0, 300, 600), std::nullopt, Reveal::whole(), Shape::rounded);
  behindSheet.hoverExclusion = R(0, 0, 1000, 800);
  BlurRegion besideExclusion = behindSheet;
  besideExclusion.hoverExclusion = R(200, 0, 100, 600);
  const auto opened = list(rounded(R(0, 0, 300, 255)), rounded(R(0, 345, 300, 255)));
  const auto halves = list(rounded(R(0, 0, 300, 300)), rounded(R(0, 300, 300, 300)));
  const std::vector<VisibleBlur> none;
  const std::optional<Point> noPointer;

  const struct {
    const char* name;
    std::vector<BlurRegion> regions;
    std::optional<Point> mouse;
    std::vector<VisibleBlur> expected;
  } cases[] = {
      {"no pointer: every region as it is, hover areas ignored", list(picture, tall), noPointer,
       list(pictureBlur, rounded(R(0, 0, 300, 600)))},
      {"a whole region under the pointer disappears, even a circle", list(picture), Point{40, 130},
       none},
      {"the hover area reveals even outside the rect", list(picture), Point{300, 101}, none},
      {"the hover area's minimum edges are inside", list(picture), Point{0, 100}, none},
      {"its maximum x edge is outside", list(picture), Point{400, 130}, list(pictureBlur)},
      {"its maximum y edge is outside", list(picture), Point{40, 172}, list(pictureBlur)},
      {"a band opens around the pointer", list(tall), Point{10, 300}, opened},
      {"no upper piece under one point", list(tall), Point{10, 45.4},
       list(rounded(R(0, 90.4, 300, 509.6)))},
      {"no lower piece under one point", list(tall), Point{10, 555.5},
       list(rounded(R(0, 0, 300, 510.5)))},
      {"a lower piece of one point is kept, one of 0.75 is not",
       list(tall, bandRegion(R(0, 0, 300, 599.75))), Point{10, 554},
       list(rounded(R(0, 0, 300, 509)), rounded(R(0, 599, 300, 1)), rounded(R(0, 0, 300, 509)))},
      {"a band taller than the region reveals all of it", list(bandRegion(R(0, 0, 300, 60))),
       Point{10, 30}, none},
      {"band pieces are rounded even for a circle region",
       list(BlurRegion(R(0, 0, 300, 600), std::nullopt, Reveal::band(90), Shape::circle)),
       Point{10, 300}, opened},
      {"an exclusion containing the pointer keeps the region blurred", list(behindSheet),
       Point{10, 10}, list(rounded(R(0, 0, 300, 600)))},
      {"an exclusion elsewhere does not", list(besideExclusion), Point{10, 10}, none},
      {"order is kept and only hovered regions change",
       list(tall, picture, bandRegion(R(500, 0, 300, 600))), Point{10, 300},
       list(opened[0], opened[1], pictureBlur, rounded(R(500, 0, 300, 600)))},
      {"a NaN pointer hovers nothing", list(picture), Point{nan, nan}, list(pictureBlur)},
      // Stored measurements can hold anything; a band never reveals more than its region, and
      // a band without a usable height reveals nothing.
      {"a NaN band height opens no band", list(bandRegion(R(0, 0, 300, 600), nan)), Point{10, 300},
       halves},
      {"a negative band height opens no band", list(bandRegion(R(0, 0, 300, 600), -160)),
       Point{10, 300}, halves},
      {"a pointer in the hover area below the rect leaves no piece beyond the rect",
       list(BlurRegion(R(0, 0, 300, 100), R(0, 0, 300, 600), Reveal::band(90), Shape::rounded)),
       Point{10, 400}, list(rounded(R(0, 0, 300, 100)))},
      {"a pointer in the hover area above the rect leaves no piece beyond the rect",
       list(BlurRegion(R(0, 300, 300, 100), R(0, 0, 300, 600), Reveal::band(90), Shape::rounded)),
       Point{10, 50}, list(rounded(R(0, 300, 300, 100)))},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(BlurLayout::visibleBlurs(c.regions, c.mouse), c.expected);
  }
}

// Every patch lies within its region, whatever the pointer: the overlay never blurs more than
// the layout asked for.
TEST(VisibleBlurs, PiecesStayInsideTheirRegion) {
  const std::vector<BlurRegion> regions = {bandRegion(Rect(0, 0, 300, 600)),
                                           bandRegion(Rect(10, 50, 100, 3), 1),
                                           bandRegion(Rect(10, 650, 100, 30), -144)};
  for (double y = -100; y <= 700; y += 0.7) {
    SCOPED_TRACE(y);
    for (const VisibleBlur& blur : BlurLayout::visibleBlurs(regions, Point{50, y})) {
      const bool inside = std::any_of(regions.begin(), regions.end(), [&](const BlurRegion& r) {
        return r.rect.contains(blur.rect);
      });
      EXPECT_TRUE(inside) << testing::PrintToString(blur);
      EXPECT_GE(blur.rect.height(), 1);
    }
  }
}

}  // namespace
}  // namespace velvix
