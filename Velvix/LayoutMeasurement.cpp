#include "LayoutMeasurement.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace velvix {

namespace {

using Colour = std::uint32_t;

// Colours that differ in the lowest bits only are one: antialiasing and dithering stay apart
// from the flat areas, but a flat area's own noise does not split it.
Colour flat(Colour c) {
  return c & 0x00F8F8F8;
}

// The most frequent colour among `samples` (which it sorts).
Colour mostFrequent(std::vector<Colour>& samples) {
  std::sort(samples.begin(), samples.end());
  Colour best = 0;
  std::size_t bestCount = 0;
  for (std::size_t i = 0; i < samples.size();) {
    std::size_t j = i;
    while (j < samples.size() && samples[j] == samples[i])
      ++j;
    if (j - i > bestCount) {
      best = samples[i];
      bestCount = j - i;
    }
    i = j;
  }
  return best;
}

struct Run {
  int begin;
  int end;  // exclusive
  Colour colour;
};

class Measurer {
 public:
  explicit Measurer(const platform::WindowImage& image) : image_(image) {}

  std::optional<LayoutMetrics> measure(const LayoutMetrics& base) {
    const double s = image_.scale;
    const auto px = [s](double points) { return static_cast<int>(std::lround(points * s)); };
    const int W = image_.width;
    const int H = image_.height;
    if (W < px(500) || H < px(300)) return std::nullopt;

    // The columns: the rail, the list and the pane, each wider than the dividers of a pixel or
    // two that may stand between them.
    std::vector<Run> runs = columnRuns();
    std::erase_if(runs, [&](const Run& r) { return r.end - r.begin <= px(2); });
    if (runs.size() < 3 || runs[0].begin > px(2)) return std::nullopt;
    const Run& list = runs[1];
    const Run& pane = runs[2];
    const int railWidth = list.begin;
    const int listRight = pane.begin;  // the divider between them is the list's
    if (railWidth < px(20) || railWidth > px(200)) return std::nullopt;
    if (listRight - railWidth < px(150) || listRight - railWidth > px(900)) return std::nullopt;
    const int paneLeft = pane.begin;
    if (W - paneLeft < px(200)) return std::nullopt;

    // The conversation's header and message field bar, at both sides of the pane.
    const int left = paneLeft + px(3);
    const int right = W - 1 - px(3);
    const Colour top = flat(image_.at(left, 0));
    const Colour bottom = flat(image_.at(left, H - 1));
    int header = 0;
    while (header < H && flat(image_.at(left, header)) == top &&
           flat(image_.at(right, header)) == top)
      ++header;
    int composer = 0;
    while (composer < H && flat(image_.at(left, H - 1 - composer)) == bottom &&
           flat(image_.at(right, H - 1 - composer)) == bottom)
      ++composer;
    if (top == pane.colour || bottom == pane.colour) return std::nullopt;
    if (header < px(30) || header > px(150) || composer < px(30) || composer > px(200))
      return std::nullopt;
    if (header + composer > H - px(100)) return std::nullopt;

    // The chat list's header.
    const auto listHeader = listHeaderHeight(railWidth, listRight, list.colour);
    if (!listHeader || *listHeader < px(30) || *listHeader > px(250)) return std::nullopt;

    LayoutMetrics m = base;
    m.railWidth = railWidth / s;
    m.chatListWidth = (listRight - railWidth) / s;
    m.chatListHeaderHeight = *listHeader / s;
    m.conversationHeaderHeight = header / s;
    m.composerHeight = composer / s;
    return m;
  }

 private:
  // Each column's most frequent colour, run-length encoded.
  std::vector<Run> columnRuns() const {
    std::vector<Run> runs;
    std::vector<Colour> samples;
    const int step = std::max(1, image_.height / 400);
    for (int x = 0; x < image_.width; ++x) {
      samples.clear();
      for (int y = 0; y < image_.height; y += step)
        samples.push_back(flat(image_.at(x, y)));
      const Colour mode = mostFrequent(samples);
      if (!runs.empty() && runs.back().colour == mode) {
        runs.back().end = x + 1;
      } else {
        runs.push_back({x, x + 1, mode});
      }
    }
    return runs;
  }

  static double shareOf(const std::vector<Colour>& row, Colour colour) {
    return static_cast<double>(std::count(row.begin(), row.end(), colour)) /
           static_cast<double>(row.size());
  }

  // Half way between the search field's bottom and the first content below it.
  std::optional<int> listHeaderHeight(int listLeft, int listRight, Colour background) const {
    const int from = listLeft + 4;
    const int to = listRight - 4;
    if (to - from < 50) return std::nullopt;
    // The field starts where its colour fills most of a row; the placeholder text inside it
    // takes a good share of a narrow list's rows, so it goes on while its colour is common.
    std::vector<Colour> row;
    std::optional<Colour> field;
    std::optional<int> searchBottom;
    for (int y = 0; y < image_.height / 2; ++y) {
      row.clear();
      for (int x = from; x < to; ++x)
        row.push_back(flat(image_.at(x, y)));
      if (!field) {
        std::vector<Colour> sorted = row;
        const Colour mode = mostFrequent(sorted);
        if (mode != background && shareOf(row, mode) >= 0.6) field = mode;
      } else if (shareOf(row, *field) < 0.3) {
        searchBottom = y;
        break;
      }
    }
    if (!searchBottom) return std::nullopt;
    for (int y = *searchBottom; y < image_.height; ++y) {
      for (int x = from; x < to; ++x) {
        if (flat(image_.at(x, y)) != background) return (*searchBottom + y) / 2;
      }
    }
    return std::nullopt;
  }

  const platform::WindowImage& image_;
};

}  // namespace

std::optional<LayoutMetrics> measureLayout(const platform::WindowImage& image,
                                           const LayoutMetrics& base) {
  if (!image.isWhole() || !std::isfinite(image.scale)) return std::nullopt;
  return Measurer(image).measure(base);
}

}  // namespace velvix
