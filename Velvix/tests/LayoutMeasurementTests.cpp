#include <Velvix/LayoutMeasurement.hpp>

#include <gtest/gtest.h>

#include <cstdint>
#include <random>

namespace velvix {
namespace {

using Colour = std::uint32_t;

struct Look {
  Colour rail, list, search, divider, wallpaper, bar, field, bubble, ink;
};
constexpr Look kLight{0xF0F2F5, 0xFFFFFF, 0xF0F2F5, 0xD1D7DB, 0xEFEAE2,
                      0xF0F2F5, 0xFFFFFF, 0xD9FDD3, 0x111B21};
constexpr Look kDark{0x202C33, 0x111B21, 0x202C33, 0x313D45, 0x0B141A,
                     0x202C33, 0x2A3942, 0x005C4B, 0xE9EDEF};

// Where WhatsApp's parts end, in points.
struct Truth {
  int rail = 64, list = 360, listHeader = 100, header = 60, composer = 62;
};

// A WhatsApp-like window: the rail with icons, the chat list with its title, search field and
// rows, a divider, and the conversation with header, bubbles and message field bar.
platform::WindowImage window(int width, int height, double scale, const Look& c, const Truth& t) {
  platform::WindowImage image;
  image.scale = scale;
  image.width = static_cast<int>(width * scale);
  image.height = static_cast<int>(height * scale);
  image.pixels.assign(static_cast<std::size_t>(image.width) * image.height, 0);
  const auto fill = [&](double x, double y, double w, double h, Colour colour) {
    for (int py = static_cast<int>(y * scale); py < static_cast<int>((y + h) * scale); ++py)
      for (int px = static_cast<int>(x * scale); px < static_cast<int>((x + w) * scale); ++px)
        if (px >= 0 && py >= 0 && px < image.width && py < image.height)
          image.pixels[static_cast<std::size_t>(py) * image.width + px] = 0xFF000000 | colour;
  };
  fill(0, 0, t.rail, height, c.rail);
  for (int i = 0; i < 5; ++i)
    fill(t.rail / 2.0 - 12, 20 + 56 * i, 24, 24, 0x54656F);
  fill(t.rail, 0, t.list, height, c.list);
  fill(t.rail + 16, 16, 70, 18, c.ink);  // "Chats"
  fill(t.rail + 12, t.listHeader - 42, t.list - 24, 32, c.search);
  for (int i = 0; (t.listHeader + 72 * i) < height; ++i) {
    const int y = t.listHeader + 72 * i;
    fill(t.rail + 12, y + 12, 48, 48, 0xFF8A65 + 0x1020 * (i % 5));
    fill(t.rail + 72, y + 16, 120 + 15 * (i % 4), 14, c.ink);
    fill(t.rail + 72, y + 40, 180 - 10 * (i % 3), 12, 0x667781);
  }
  const int pane = t.rail + t.list;
  fill(pane, 0, 1, height, c.divider);
  fill(pane + 1, 0, width - pane - 1, height, c.wallpaper);
  for (int y = t.header + 20, i = 0; y < height - t.composer - 50; y += 70, ++i) {
    const int x = i % 2 ? width - 360 : pane + 40;
    fill(x, y, 300, 50, i % 2 ? c.bubble : c.list);
    fill(x + 10, y + 14, 240, 12, c.ink);
  }
  fill(pane + 1, 0, width - pane - 1, t.header, c.bar);
  fill(pane + 12, 12, 36, 36, 0x7E57C2);
  fill(pane + 60, 18, 140, 16, c.ink);
  fill(pane + 1, height - t.composer, width - pane - 1, t.composer, c.bar);
  fill(pane + 56, height - t.composer + 12, width - pane - 112, t.composer - 24, c.field);
  return image;
}

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
  };
  LayoutMetrics base;
  base.avatarSize = 40;
  base.lastMessagesHeight = 150;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto m = measureLayout(window(c.width, c.height, c.scale, c.look, c.truth), base);
    ASSERT_TRUE(m);
    const double tolerance = 1 / c.scale;
    EXPECT_NEAR(m->railWidth, c.truth.rail, tolerance);
    EXPECT_NEAR(m->chatListWidth, c.truth.list, tolerance);
    EXPECT_NEAR(m->chatListHeaderHeight, c.truth.listHeader, 2);
    EXPECT_NEAR(m->conversationHeaderHeight, c.truth.header, tolerance);
    EXPECT_NEAR(m->composerHeight, c.truth.composer, tolerance);
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
  Truth listTooNarrow;
  listTooNarrow.list = 120;
  platform::WindowImage missingPixels = window(1000, 700, 1, kLight, {});
  missingPixels.pixels.pop_back();
  const struct {
    const char* name;
    platform::WindowImage image;
  } cases[] = {
      {"a blank window (WhatsApp starting)", blank(1000, 700, 0xFFFFFF)},
      {"noise", noise},
      {"a window too small to hold the layout", window(480, 300, 1, kLight, {})},
      {"no search field in the list", noSearch},
      {"a list narrower than WhatsApp draws one", window(1000, 700, 1, kLight, listTooNarrow)},
      {"pixels missing", missingPixels},
      {"no pixels", platform::WindowImage{}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_FALSE(measureLayout(c.image, LayoutMetrics::defaults));
  }
}

}  // namespace
}  // namespace velvix
