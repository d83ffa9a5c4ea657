#include <BlurLayout/BlurLayout.hpp>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace velvix {
namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();

BlurRegion bandRegion(Rect r, double height = 90) {
  return BlurRegion(r, std::nullopt, Reveal::band(height), Shape::rounded);
}

TEST(VisibleBlurs, HoverReveal) {
  const Rect row(0, 100, 400, 72);
  const BlurRegion picture(Rect(20, 110, 52, 52), row, Reveal::whole(), Shape::circle);
  BlurRegion behindSheet(Rect(0, 0, 300, 600), std::nullopt, Reveal::whole(), Shape::rounded);
  behindSheet.hoverExclusion = Rect(0, 0, 1000, 800);
  BlurRegion besideExclusion = behindSheet;
  besideExclusion.hoverExclusion = Rect(200, 0, 100, 600);

  const struct {
    const char* name;
    std::vector<BlurRegion> regions;
    std::optional<Point> mouse;
    std::vector<VisibleBlur> expected;
  } cases[] = {
      {"no pointer: every region as it is, hover areas ignored",
       {picture, bandRegion(Rect(0, 0, 300, 600))},
       std::nullopt,
       {{Rect(20, 110, 52, 52), Shape::circle}, {Rect(0, 0, 300, 600), Shape::rounded}}},
      {"a whole region under the pointer disappears, even a circle", {picture}, Point{40, 130}, {}},
      {"the hover area reveals even outside the rect", {picture}, Point{300, 101}, {}},
      {"the hover area's minimum edges are inside", {picture}, Point{0, 100}, {}},
      {"its maximum x edge is outside",
       {picture},
       Point{400, 130},
       {{Rect(20, 110, 52, 52), Shape::circle}}},
      {"its maximum y edge is outside",
       {picture},
       Point{40, 172},
       {{Rect(20, 110, 52, 52), Shape::circle}}},
      {"a band opens around the pointer",
       {bandRegion(Rect(0, 0, 300, 600))},
       Point{10, 300},
       {{Rect(0, 0, 300, 255), Shape::rounded}, {Rect(0, 345, 300, 255), Shape::rounded}}},
      {"no upper piece under one point",
       {bandRegion(Rect(0, 0, 300, 600))},
       Point{10, 45.4},
       {{Rect(0, 90.4, 300, 509.6), Shape::rounded}}},
      {"no lower piece under one point",
       {bandRegion(Rect(0, 0, 300, 600))},
       Point{10, 555.5},
       {{Rect(0, 0, 300, 510.5), Shape::rounded}}},
      {"a band taller than the region reveals all of it",
       {bandRegion(Rect(0, 0, 300, 60))},
       Point{10, 30},
       {}},
      {"band pieces are rounded even for a circle region",
       {BlurRegion(Rect(0, 0, 300, 600), std::nullopt, Reveal::band(90), Shape::circle)},
       Point{10, 300},
       {{Rect(0, 0, 300, 255), Shape::rounded}, {Rect(0, 345, 300, 255), Shape::rounded}}},
      {"an exclusion containing the pointer keeps the region blurred",
       {behindSheet},
       Point{10, 10},
       {{Rect(0, 0, 300, 600), Shape::rounded}}},
      {"an exclusion elsewhere does not", {besideExclusion}, Point{10, 10}, {}},
      {"order is kept and only hovered regions change",
       {bandRegion(Rect(0, 0, 300, 600)), picture, bandRegion(Rect(500, 0, 300, 600))},
       Point{10, 300},
       {{Rect(0, 0, 300, 255), Shape::rounded},
        {Rect(0, 345, 300, 255), Shape::rounded},
        {Rect(20, 110, 52, 52), Shape::circle},
        {Rect(500, 0, 300, 600), Shape::rounded}}},
      {"a NaN pointer hovers nothing",
       {picture},
       Point{nan, nan},
       {{Rect(20, 110, 52, 52), Shape::circle}}},
      // Stored measurements can hold anything; a band never reveals more than its region, and
      // a band without a usable height reveals nothing.
      {"a NaN band height opens no band",
       {bandRegion(Rect(0, 0, 300, 600), nan)},
       Point{10, 300},
       {{Rect(0, 0, 300, 300), Shape::rounded}, {Rect(0, 300, 300, 300), Shape::rounded}}},
      {"a negative band height opens no band",
       {bandRegion(Rect(0, 0, 300, 600), -160)},
       Point{10, 300},
       {{Rect(0, 0, 300, 300), Shape::rounded}, {Rect(0, 300, 300, 300), Shape::rounded}}},
      {"a pointer in the hover area below the rect leaves no piece beyond the rect",
       {BlurRegion(Rect(0, 0, 300, 100), Rect(0, 0, 300, 600), Reveal::band(90), Shape::rounded)},
       Point{10, 400},
       {{Rect(0, 0, 300, 100), Shape::rounded}}},
      {"a pointer in the hover area above the rect leaves no piece beyond the rect",
       {BlurRegion(Rect(0, 300, 300, 100), Rect(0, 0, 300, 600), Reveal::band(90), Shape::rounded)},
       Point{10, 50},
       {{Rect(0, 300, 300, 100), Shape::rounded}}},
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
