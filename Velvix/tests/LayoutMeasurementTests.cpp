#include <Velvix/LayoutMeasurement.hpp>

#include "WindowPicture.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>

namespace velvix {
namespace {

using namespace testing;

// A layout that fits a window of 500 by 300 points, the smallest measured.
constexpr Truth kSmall{60, 200, 100, 60, 62};

TEST(LayoutMeasurement, FindsTheColumnsAndBarsOfLightAndDarkWindowsAtAnyScale) {
  const struct {
    const char* name;
    int width, height;
    double scale;
    Look look;
    Truth truth;
  } cases[] = {
      {"light, 1000 x 700", 1000, 700, 1, kLight, {}},
      {"dark, 1000 x 700", 1000, 700, 1, kDark, {}},
      {"light, wide rail and list", 1400, 900, 1, kLight, {72, 420, 110, 64, 74}},
      {"dark, narrow list, small window", 820, 560, 1, kDark, {60, 300, 96, 56, 58}},
      {"light, scale 2", 1000, 700, 2, kLight, {68, 376, 100, 60, 74}},
      {"dark, scale 1.5", 1100, 720, 1.5, kDark, {64, 360, 84, 60, 62}},
      {"light, the widest rail taken", 1200, 700, 1, kLight, {200, 376, 100, 60, 74}},
      {"light, the smallest window taken", 500, 300, 1, kLight, kSmall},
      {"the narrowest rail", 1000, 700, 1, kLight, {20, 360, 100, 60, 62}},
      {"the narrowest list", 1000, 700, 1, kLight, {64, 150, 100, 60, 62}},
      {"the widest list", 1400, 700, 1, kDark, {64, 900, 100, 60, 62}},
      {"the narrowest conversation", 624, 700, 1, kLight, {64, 360, 100, 60, 62}},
      {"the lowest bars", 1000, 700, 1, kDark, {64, 360, 100, 30, 30}},
      {"the highest bars", 1000, 700, 1, kLight, {64, 360, 100, 150, 200}},
      {"the highest list header", 1000, 700, 1, kDark, {64, 360, 249, 60, 62}},
  };
  LayoutMetrics base;
  base.avatarSize = 40;
  base.lastMessagesHeight = 150;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto m = measureLayout(window(c.width, c.height, c.scale, c.look, c.truth), base);
    ASSERT_TRUE(m);
    // Exact to the pixel; the list header lies half way between the search field and the rows.
    EXPECT_EQ(m->railWidth, c.truth.rail);
    EXPECT_EQ(m->chatListWidth, c.truth.list);
    EXPECT_NEAR(m->chatListHeaderHeight, c.truth.listHeader, 2);
    EXPECT_EQ(m->conversationHeaderHeight, c.truth.header);
    EXPECT_EQ(m->composerHeight, c.truth.composer);
    // What is not measured stays as it was.
    EXPECT_EQ(m->avatarSize, 40);
    EXPECT_EQ(m->lastMessagesHeight, 150);
    EXPECT_EQ(m->composerSideInset, base.composerSideInset);
  }
}

TEST(LayoutMeasurement, MeasuresNothingWhereTheLayoutIsNotFound) {
  const auto blank = [](int w, int h, Colour colour) {
    platform::WindowImage image{w, h, 1, {}};
    image.pixels.assign(static_cast<std::size_t>(w) * h, 0xFF000000 | colour);
    return image;
  };
  platform::WindowImage noise = blank(1000, 700, 0);
  std::mt19937 random(7);
  for (auto& p : noise.pixels)
    p = 0xFF000000 | (random() & 0xFFFFFF);
  platform::WindowImage noSearch = window(1000, 700, 1, kLight, {});
  // Paint the search field over with the list's colour.
  for (int y = 58; y < 90; ++y)
    for (int x = 76; x < 412; ++x)
      noSearch.pixels[static_cast<std::size_t>(y) * 1000 + x] = 0xFF000000 | kLight.list;
  // No chats yet: nothing below the search field to end the list's header.
  platform::WindowImage noChats = window(1000, 700, 1, kLight, {});
  for (int y = 90; y < 700; ++y)
    for (int x = 64; x < 423; ++x)
      noChats.pixels[static_cast<std::size_t>(y) * 1000 + x] = 0xFF000000 | kLight.list;
  Truth listTooNarrow;
  listTooNarrow.list = 120;
  Truth railTooWide;
  railTooWide.rail = 201;
  platform::WindowImage missingPixels = window(1000, 700, 1, kLight, {});
  missingPixels.pixels.pop_back();
  const struct {
    const char* name;
    platform::WindowImage image;
  } cases[] = {
      {"a blank window (WhatsApp starting)", blank(1000, 700, 0xFFFFFF)},
      {"noise", noise},
      {"a window a point too narrow", window(499, 300, 1, kLight, kSmall)},
      {"a window a point too low", window(500, 299, 1, kLight, kSmall)},
      {"no search field in the list", noSearch},
      {"no chats in the list", noChats},
      {"a list narrower than WhatsApp draws one", window(1000, 700, 1, kLight, listTooNarrow)},
      {"a rail wider than WhatsApp draws one", window(1200, 700, 1, kLight, railTooWide)},
      {"a rail too narrow", window(1000, 700, 1, kLight, {19, 360, 100, 60, 62})},
      {"a list too narrow", window(1000, 700, 1, kLight, {64, 149, 100, 60, 62})},
      {"a list too wide", window(1400, 700, 1, kDark, {64, 901, 100, 60, 62})},
      {"a conversation too narrow", window(623, 700, 1, kLight, {64, 360, 100, 60, 62})},
      {"a header too low", window(1000, 700, 1, kDark, {64, 360, 100, 29, 62})},
      {"a header too high", window(1000, 700, 1, kLight, {64, 360, 100, 151, 62})},
      {"a message bar too low", window(1000, 700, 1, kDark, {64, 360, 100, 60, 29})},
      {"a message bar too high", window(1000, 700, 1, kLight, {64, 360, 100, 60, 201})},
      {"a list header too high", window(1000, 700, 1, kDark, {64, 360, 250, 60, 62})},
      {"pixels missing", missingPixels},
      {"no pixels", platform::WindowImage{}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_FALSE(measureLayout(c.image, LayoutMetrics::defaults));
  }
}

// A window's frame of two points at the left edge is not taken for a column; the rail must start
// within it.
TEST(LayoutMeasurement, TheRailStartsWithinTwoPointsOfTheLeftEdge) {
  platform::WindowImage image = window(1000, 700, 1, kLight, {});
  const auto paint = [&](int fromX, Colour colour) {
    for (int y = 0; y < 700; ++y)
      for (int x = fromX; x < fromX + 2; ++x)
        image.pixels[static_cast<std::size_t>(y) * 1000 + x] = 0xFF000000 | colour;
  };
  paint(0, 0x000000);
  const auto m = measureLayout(image, LayoutMetrics::defaults);
  ASSERT_TRUE(m);
  EXPECT_EQ(m->railWidth, 64);
  paint(2, 0x808080);
  EXPECT_FALSE(measureLayout(image, LayoutMetrics::defaults));
}

}  // namespace
}  // namespace velvix
