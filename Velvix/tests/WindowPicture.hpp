#pragma once

// A picture of a WhatsApp-like window, for measuring its layout from pixels.

#include <Velvix/Platform/Toolkit.hpp>

#include <algorithm>
#include <cstdint>

namespace velvix::testing {

using Colour = std::uint32_t;

struct Look {
  Colour rail, list, search, divider, wallpaper, bar, field, bubble, ink;
};
inline constexpr Look kLight{0xF0F2F5, 0xFFFFFF, 0xF0F2F5, 0xD1D7DB, 0xEFEAE2,
                             0xF0F2F5, 0xFFFFFF, 0xD9FDD3, 0x111B21};
inline constexpr Look kDark{0x202C33, 0x111B21, 0x202C33, 0x313D45, 0x0B141A,
                            0x202C33, 0x2A3942, 0x005C4B, 0xE9EDEF};

// Where WhatsApp's parts end, in points.
struct Truth {
  int rail = 64, list = 360, listHeader = 100, header = 60, composer = 62;
};

// A WhatsApp-like window: the rail with icons, the chat list with its title, search field and
// rows, a divider, and the conversation with header, bubbles and message field bar.
inline platform::WindowImage window(int width, int height, double scale, const Look& c,
                                    const Truth& t) {
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
  fill(pane - 1, 0, 1, height, c.divider);  // the list's last point
  fill(pane, 0, width - pane, height, c.wallpaper);
  for (int y = t.header + 20, i = 0; y < height - t.composer - 50; y += 70, ++i) {
    const int x = i % 2 ? std::max(pane + 40, width - 360) : pane + 40;
    fill(x, y, 300, 50, i % 2 ? c.bubble : c.list);
    fill(x + 10, y + 14, 240, 12, c.ink);
  }
  fill(pane, 0, width - pane, t.header, c.bar);
  fill(pane + 12, 12, 36, 36, 0x7E57C2);
  fill(pane + 60, 18, std::min(140, width - pane - 80), 16, c.ink);  // the name, clear of the edge
  fill(pane, height - t.composer, width - pane, t.composer, c.bar);
  fill(pane + 56, height - t.composer + 12, width - pane - 112, t.composer - 24, c.field);
  return image;
}

}  // namespace velvix::testing
