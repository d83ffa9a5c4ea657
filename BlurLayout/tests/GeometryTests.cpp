#include <BlurLayout/Geometry.hpp>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace velvix {
namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();

TEST(Rect, StandardizingAndTheDerivedEdges) {
  const struct {
    const char* name;
    Rect rect;
    double minX, minY, maxX, maxY, midX, midY, width, height;
  } cases[] = {
      {"positive", Rect(10, 20, 30, 40), 10, 20, 40, 60, 25, 40, 30, 40},
      {"negative width", Rect(10, 20, -30, 40), -20, 20, 10, 60, -5, 40, 30, 40},
      {"negative height", Rect(10, 20, 30, -40), 10, -20, 40, 20, 25, 0, 30, 40},
      {"zero size", Rect(5, 6, 0, 0), 5, 6, 5, 6, 5, 6, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Rect& r = c.rect;
    EXPECT_EQ((std::vector{r.minX(), r.minY(), r.maxX(), r.maxY(), r.midX(), r.midY(), r.width(),
                           r.height()}),
              (std::vector{c.minX, c.minY, c.maxX, c.maxY, c.midX, c.midY, c.width, c.height}));
  }
  EXPECT_EQ(Rect(10, 20, -30, -40).standardized(), Rect(-20, -20, 30, 40));
  EXPECT_TRUE(Rect::null().standardized().isNull());
}

TEST(Rect, Equality) {
  const struct {
    const char* name;
    Rect a, b;
    bool equal;
  } cases[] = {
      {"same", Rect(1, 2, 3, 4), Rect(1, 2, 3, 4), true},
      {"standardised forms match", Rect(4, 2, -3, 4), Rect(1, 2, 3, 4), true},
      {"different size", Rect(1, 2, 3, 4), Rect(1, 2, 3, 5), false},
      {"both null", Rect::null(), Rect::null(), true},
      {"null and a rect", Rect::null(), Rect(), false},
      {"NaN equals nothing, not even itself", Rect(nan, 0, 1, 1), Rect(nan, 0, 1, 1), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.a == c.b, c.equal);
    EXPECT_EQ(c.b == c.a, c.equal);
  }
}

TEST(Rect, Intersection) {
  const struct {
    const char* name;
    Rect a, b, expected;
  } cases[] = {
      {"overlap", Rect(0, 0, 100, 100), Rect(50, 60, 100, 100), Rect(50, 60, 50, 40)},
      {"contained", Rect(0, 0, 100, 100), Rect(10, 10, 5, 5), Rect(10, 10, 5, 5)},
      {"disjoint", Rect(0, 0, 10, 10), Rect(20, 20, 10, 10), Rect::null()},
      {"sharing an edge", Rect(0, 0, 10, 10), Rect(10, 0, 10, 10), Rect::null()},
      {"sharing a corner", Rect(0, 0, 10, 10), Rect(10, 10, 10, 10), Rect::null()},
      {"zero-width inside", Rect(0, 0, 10, 10), Rect(5, 0, 0, 10), Rect::null()},
      {"negative sizes are standardised", Rect(100, 100, -100, -100), Rect(50, 50, 10, 10),
       Rect(50, 50, 10, 10)},
      {"null on the left", Rect::null(), Rect(0, 0, 10, 10), Rect::null()},
      {"null on the right", Rect(0, 0, 10, 10), Rect::null(), Rect::null()},
      {"NaN origin", Rect(nan, 0, 10, 10), Rect(0, 0, 10, 10), Rect::null()},
      {"NaN size", Rect(0, 0, 10, nan), Rect(0, 0, 10, 10), Rect::null()},
      {"infinite extent", Rect(0, 0, INFINITY, 10), Rect(5, 5, 10, 10), Rect(5, 5, 10, 5)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.a.intersection(c.b), c.expected);
    EXPECT_EQ(c.b.intersection(c.a), c.expected);
    EXPECT_EQ(c.a.intersects(c.b), !c.expected.isNull());
  }
}

TEST(Rect, ContainsPointIsHalfOpen) {
  const Rect r(10, 20, 30, 40);
  const struct {
    const char* name;
    Rect rect;
    Point p;
    bool inside;
  } cases[] = {
      {"min corner", r, {10, 20}, true},
      {"interior", r, {25, 40}, true},
      {"max x edge", r, {40, 30}, false},
      {"max y edge", r, {20, 60}, false},
      {"just inside max edges", r, {39.999, 59.999}, true},
      {"left of it", r, {9.999, 30}, false},
      {"standardised first", Rect(40, 60, -30, -40), {10, 20}, true},
      {"null contains nothing", Rect::null(), {INFINITY, INFINITY}, false},
      {"NaN point", r, {nan, 30}, false},
      {"zero-size rect", Rect(5, 5, 0, 0), {5, 5}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.rect.contains(c.p), c.inside);
  }
}

TEST(Rect, ContainsRectIncludesEdges) {
  const Rect outer(0, 0, 100, 100);
  const struct {
    const char* name;
    Rect inner;
    bool contained;
  } cases[] = {
      {"itself", outer, true},
      {"touching the max edges from inside", Rect(50, 50, 50, 50), true},
      {"one point out", Rect(50, 50, 51, 50), false},
      {"standardised first", Rect(100, 100, -10, -10), true},
      {"null", Rect::null(), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(outer.contains(c.inner), c.contained);
  }
  EXPECT_FALSE(Rect::null().contains(outer));
}

TEST(Rect, InsetAndOffset) {
  const struct {
    const char* name;
    Rect rect;
    double dx, dy;
    Rect inset, offset;
  } cases[] = {
      {"shrink", Rect(0, 0, 100, 50), 10, 5, Rect(10, 5, 80, 40), Rect(10, 5, 100, 50)},
      {"grow", Rect(10, 10, 20, 20), -2, -2, Rect(8, 8, 24, 24), Rect(8, 8, 20, 20)},
      {"exactly to zero", Rect(0, 0, 20, 20), 10, 10, Rect(10, 10, 0, 0), Rect(10, 10, 20, 20)},
      {"past zero is null", Rect(0, 0, 20, 20), 10.5, 0, Rect::null(), Rect(10.5, 0, 20, 20)},
      {"standardised first", Rect(20, 20, -20, -20), 1, 1, Rect(1, 1, 18, 18), Rect(1, 1, 20, 20)},
      {"null stays null", Rect::null(), -5, -5, Rect::null(), Rect::null()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.rect.insetBy(c.dx, c.dy), c.inset);
    EXPECT_EQ(c.rect.offsetBy(c.dx, c.dy), c.offset);
  }
}

TEST(Rect, Divide) {
  const Rect r(10, 100, 300, 600);
  const struct {
    const char* name;
    double amount;
    RectEdge edge;
    Rect slice, remainder;
  } cases[] = {
      {"from the left", 80, RectEdge::minX, Rect(10, 100, 80, 600), Rect(90, 100, 220, 600)},
      {"from the right", 80, RectEdge::maxX, Rect(230, 100, 80, 600), Rect(10, 100, 220, 600)},
      {"from the top", 40, RectEdge::minY, Rect(10, 100, 300, 40), Rect(10, 140, 300, 560)},
      {"from the bottom", 40, RectEdge::maxY, Rect(10, 660, 300, 40), Rect(10, 100, 300, 560)},
      {"clamped to the extent", 1000, RectEdge::minY, r, Rect(10, 700, 300, 0)},
      {"negative amount is 0", -5, RectEdge::minX, Rect(10, 100, 0, 600), r},
      {"NaN amount is 0", nan, RectEdge::maxY, Rect(10, 700, 300, 0), r},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto [slice, remainder] = r.divided(c.amount, c.edge);
    EXPECT_EQ(slice, c.slice);
    EXPECT_EQ(remainder, c.remainder);
  }
  const auto [slice, remainder] = Rect::null().divided(10, RectEdge::minX);
  EXPECT_TRUE(slice.isNull());
  EXPECT_TRUE(remainder.isNull());
}

TEST(Rect, PrintsReadably) {
  EXPECT_EQ(testing::PrintToString(Rect(220, 100, 80, 700)), "(220, 100, 80, 700)");
  EXPECT_EQ(testing::PrintToString(Rect(0.5, -12.7, 1, 2)), "(0.5, -12.7, 1, 2)");
  EXPECT_EQ(testing::PrintToString(Rect::null()), "null");
}

TEST(Geometry, TolerancesAndDistances) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const Point origin;
  EXPECT_TRUE((Point{1.9, -1.9}.isWithin(2, origin)));
  EXPECT_FALSE((Point{2, 0}.isWithin(2, origin)));
  EXPECT_FALSE((Point{0, -2}.isWithin(2, origin)));
  EXPECT_FALSE((Point{nan, 0}.isWithin(2, origin)));
  EXPECT_TRUE(Rect(1, 2, 3, 4).isFinite());
  EXPECT_FALSE(Rect(1, 2, inf, 4).isFinite());
  EXPECT_FALSE(Rect(1, nan, 3, 4).isFinite());
  EXPECT_FALSE(Rect::null().isFinite());
  EXPECT_EQ(Rect(100, 80, 1000, 700).distance(Rect(98, 83, 1001, 690)), 2 + 3 + 1 + 10);
  EXPECT_EQ(Rect(10, 10, -5, 5).distance(Rect(5, 10, 5, 5)), 0);  // standardised first
}

TEST(SpaceTransform, MapsPointsAndRectanglesBetweenSpaces) {
  const SpaceTransform flip = SpaceTransform::flipped(900);
  const SpaceTransform intoWindow = SpaceTransform::relativeTo({100, 80});
  using P = Point;
  const struct {
    const char* name;
    SpaceTransform transform;
    Point point, mappedPoint;
    Rect rect, mappedRect;
  } cases[] = {
      {"the identity", SpaceTransform(), P{3, 4}, P{3, 4}, Rect(1, 2, 3, 4), Rect(1, 2, 3, 4)},
      {"top-left to bottom-left screen space", flip, P{10, 850}, P{10, 50},
       Rect(100, 80, 1000, 700), Rect(100, 120, 1000, 700)},
      {"into a window at (100, 80)", intoWindow, P{700, 400}, P{600, 320}, Rect(420, 160, 400, 40),
       Rect(320, 80, 400, 40)},
      {"the platform's mouse into the window", flip.then(intoWindow), P{700, 500}, P{600, 320},
       Rect(100, 120, 1000, 700), Rect(0, 0, 1000, 700)},
      {"a screen of height 0", SpaceTransform::flipped(0), P{5, 5}, P{5, -5}, Rect(0, 0, 10, 10),
       Rect(0, -10, 10, 10)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.transform.map(c.point), c.mappedPoint);
    EXPECT_EQ(c.transform.map(c.rect), c.mappedRect);
    EXPECT_EQ(c.transform.inverted().map(c.mappedPoint), c.point);
    EXPECT_EQ(c.transform.inverted().map(c.mappedRect), c.rect);
    EXPECT_EQ(c.transform.then(c.transform.inverted()), SpaceTransform());
    EXPECT_TRUE(c.transform.map(Rect::null()).isNull());
  }
  EXPECT_EQ(flip.inverted(), flip);  // its own inverse
}

}  // namespace
}  // namespace velvix
