#include <Simulator/Desktop.hpp>
#include <Simulator/OverlayCoverage.hpp>

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace velvix::sim {
namespace {

SensitiveArea box(Rect r, Sensitive category = Sensitive::name) {
  return {.rect = r, .bounds = r, .category = category, .unit = r, .isWhole = true};
}
SensitiveArea disc(Rect r) {
  SensitiveArea a = box(r, Sensitive::picture);
  a.isEllipse = true;
  return a;
}
SensitiveArea rounded(Rect r, double radius) {
  SensitiveArea a = box(r, Sensitive::thumbnail);
  a.cornerRadius = radius;
  return a;
}
CoverPatch square(Rect r) {
  return {r, std::nullopt};
}

TEST(OverlayCoverage, CountsPrivatePointsLeftInSight) {
  const double pi = 3.14159265358979;
  // Corner cut of a 10-point rounded corner: about (1 - pi/4) * 100 points each.
  const double corner = (1 - pi / 4) * 100;
  const Rect name(0, 0, 20, 10), card(0, 0, 100, 60), face(10, 10, 48, 48), photo(0, 0, 32, 32);
  SensitiveArea halfFace = disc(face);  // a disc clipped to its upper half
  halfFace.rect = {10, 10, 48, 24};
  const struct {
    const char* name;
    std::vector<SensitiveArea> areas;
    std::vector<CoverPatch> patches;
    double expected;
    double tolerance = 0;
    std::vector<Rect> revealed = {};
  } cases[] = {
      {"nothing over a 20 x 10 name", {box(name)}, {}, 200},
      {"a square patch over it", {box(name)}, {square(name)}, 0},
      {"a patch over its left half", {box(name)}, {square({0, 0, 10, 10})}, 100},
      {"fractional edges count whole sample points", {box({0.3, 0, 10, 1})}, {}, 10},
      {"a rounded patch exactly over a box leaves its four corners",
       {box(card)},
       {{card, Shape::rounded}},
       4 * corner,
       6},
      {"a rounded patch 4 points larger all round hides it",
       {box(card)},
       {{card.insetBy(-4, -4), Shape::rounded}},
       0},
      {"a circle patch over the same disc", {disc(face)}, {{face, Shape::circle}}, 0},
      {"a disc left open", {disc(face)}, {}, pi * 24 * 24, 8},
      {"a disc under its square patch's rounded corners",
       {disc(face)},
       {{face, Shape::rounded}},
       0},
      {"a photo with 4-point corners under a patch of its size keeps slivers of its corners",
       {rounded(photo, 4)},
       {{photo, Shape::rounded}},
       4 * (corner - (1 - pi / 4) * 16),
       8},
      {"the same photo under a patch 4 points larger",
       {rounded(photo, 4)},
       {{photo.insetBy(-4, -4), Shape::rounded}},
       0},
      {"a clipped part of a disc", {halfFace}, {}, pi * 24 * 24 / 2, 8},
      {"what the pointer reveals is allowed", {box(name)}, {}, 100, 0, {{0, 0, 20, 5}}},
      {"overlapping patches count once",
       {box({0, 0, 30, 10})},
       {square({0, 0, 20, 10}), square({10, 0, 15, 10})},
       50},
      {"a patch clipped by the panel",
       {box(name)},
       {{name, std::nullopt, Rect(0, 0, 15, 100)}},
       50},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_NEAR(uncovered(c.areas, c.patches, c.revealed).uncovered, c.expected, c.tolerance);
  }
}

TEST(OverlayCoverage, CountsOnlyWhatAReferenceOverlayWouldHaveCovered) {
  const std::vector<SensitiveArea> areas = {box({0, 0, 30, 10})};
  const std::vector<CoverPatch> actual = {{{0, 0, 10, 10}, std::nullopt}};
  const std::vector<CoverPatch> reference = {{{0, 0, 25, 10}, std::nullopt}};
  EXPECT_EQ(uncovered(areas, actual, {}).uncovered, 200);
  // Of the 20 x 10 left open, the reference would have covered 15 x 10.
  EXPECT_EQ(uncovered(areas, actual, {}, std::span(reference)).uncovered, 150);
  // What the pointer reveals is not counted either way.
  const std::vector<Rect> revealed = {{10, 0, 5, 10}};
  EXPECT_EQ(uncovered(areas, actual, revealed, std::span(reference)).uncovered, 100);
  // A reference that covers nothing more than the overlay: nothing counts.
  EXPECT_EQ(uncovered(areas, actual, {}, std::span(actual)).uncovered, 0);
}

TEST(OverlayCoverage, SplitsByCategory) {
  const std::vector<SensitiveArea> areas = {box({0, 0, 10, 10}, Sensitive::message),
                                            box({0, 20, 5, 10}, Sensitive::composer)};
  const Coverage result = uncovered(areas, {}, {});
  EXPECT_EQ(result.byCategory[static_cast<std::size_t>(Sensitive::message)], 100);
  EXPECT_EQ(result.byCategory[static_cast<std::size_t>(Sensitive::composer)], 50);
  EXPECT_EQ(result.uncovered, 150);
}

TEST(OverlayCoverage, PatchesAreThePanelsVisibleViewsWhereThePanelIs) {
  Desktop desktop;
  desktop.windowServer().setScreens({Rect(0, 0, 1600, 1000)});
  auto panel = desktop.toolkit().makeOverlayPanel();
  const Rect window(100, 80, 800, 600);  // global, top-left origin
  // The panel 5 points right of the window, in bottom-left coordinates.
  panel->setFrame(Rect(105, 1000 - 80 - 600, 800, 600));
  auto shown = panel->addBlurView();
  shown->setFrame(Rect(10, 20, 30, 40));
  shown->setMask(Shape::circle);
  auto hidden = panel->addBlurView();
  hidden->setFrame(Rect(50, 50, 10, 10));
  hidden->setHidden(true);

  EXPECT_TRUE(overlayPatches(desktop.toolkit(), desktop.windowServer(), window).empty())
      << "an ordered-out panel shows nothing";
  panel->orderFrontRegardless();
  const auto patches = overlayPatches(desktop.toolkit(), desktop.windowServer(), window);
  ASSERT_EQ(patches.size(), 1u);
  EXPECT_EQ(patches[0].rect, Rect(15, 20, 30, 40));
  EXPECT_EQ(patches[0].shape, Shape::circle);
  EXPECT_EQ(patches[0].clip, Rect(5, 0, 800, 600));

  desktop.windowServer().setActiveSpace(2);
  EXPECT_TRUE(overlayPatches(desktop.toolkit(), desktop.windowServer(), window).empty())
      << "a panel on another Space shows nothing here";
}

}  // namespace
}  // namespace velvix::sim
