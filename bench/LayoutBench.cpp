// The per-frame cost of deciding what to blur: regions() and visibleBlurs() run on every display
// refresh plus every frame-timer tick. Compared against merely copying the result, the floor
// any per-frame work on that vector pays.

#include <BlurLayout/BlurLayout.hpp>

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace {

using namespace velvix;

BlurOptions allOptions() {
  BlurOptions o;
  o.isEnabled = o.unblurLastMessages = o.blurMessages = o.blurPreviews = o.blurTextInput =
      o.blurNames = o.blurProfilePictures = o.blurMediaPreview = o.blurMediaGallery = true;
  return o;
}

constexpr Size kWindow{1200, 800};

// 40 chat rows, 60 messages of which about 20 are visible after a scroll, a sheet open, and the
// thumbnails and images such a window shows.
DetectedElements busyScene() {
  DetectedElements e;
  e.isRead = true;
  e.conversationKey = "Family";
  e.chatList = Rect(68, 110, 376, 690);
  for (int i = 0; i < 40; ++i)
    e.chatRows.emplace_back(68, 110 + 72.0 * i, 376, 72);
  e.conversationHeader = Rect(444, 0, 756, 60);
  e.conversationTitle = Rect(500, 10, 240, 40);
  e.messageArea = Rect(444, 60, 756, 670);
  for (int i = 0; i < 60; ++i) {
    const bool media = i % 7 == 0;
    e.messages.push_back({Rect(470, -1400 + 34.0 * i, 420, media ? 32 : 30), media,
                          "message " + std::to_string(i), i >= 57});
  }
  e.composer = Rect(456, 740, 732, 50);
  for (int i = 0; i < 6; ++i)
    e.images.emplace_back(480 + 100.0 * i, 300, 80, 80);
  e.sheet = Rect(700, 0, 500, 800);
  e.sheetPicture = Rect(880, 80, 140, 140);
  e.sheetNames = {Rect(760, 240, 380, 30), Rect(760, 280, 380, 20), Rect(760, 320, 380, 20)};
  for (int i = 0; i < 8; ++i)
    e.mediaThumbnails.emplace_back(100 + 50.0 * i, 500, 48, 48);
  for (int i = 0; i < 6; ++i)
    e.sheetThumbnails.emplace_back(720 + 80.0 * i, 500, 70, 70);
  return e;
}

// The messages list scrolled so that about a third of the 60 messages lie in the area.
constexpr ScrollOffset kScroll{-12, 1380};

void BM_RegionsLayoutMode(benchmark::State& state) {
  const DetectedElements empty;
  const BlurOptions options = allOptions();
  for (auto _ : state) {
    auto regions = BlurLayout::regions(kWindow, LayoutMetrics::defaults, options, empty, {});
    benchmark::DoNotOptimize(regions.data());
  }
}
BENCHMARK(BM_RegionsLayoutMode);

void BM_RegionsBusyPreciseScene(benchmark::State& state) {
  const DetectedElements scene = busyScene();
  const BlurOptions options = allOptions();
  std::size_t count = 0;
  for (auto _ : state) {
    auto regions = BlurLayout::regions(kWindow, LayoutMetrics::defaults, options, scene, kScroll);
    count = regions.size();
    benchmark::DoNotOptimize(regions.data());
  }
  state.counters["regions"] = static_cast<double>(count);
}
BENCHMARK(BM_RegionsBusyPreciseScene);

void BM_VisibleBlursBusyPreciseScene(benchmark::State& state) {
  const auto regions =
      BlurLayout::regions(kWindow, LayoutMetrics::defaults, allOptions(), busyScene(), kScroll);
  const Point mouse{200, 300};  // over a chat row
  for (auto _ : state) {
    auto blurs = BlurLayout::visibleBlurs(regions, mouse);
    benchmark::DoNotOptimize(blurs.data());
  }
}
BENCHMARK(BM_VisibleBlursBusyPreciseScene);

// regions() + visibleBlurs(): what one frame pays, to compare with a 120 Hz frame (8.3 ms).
void BM_FrameBusyPreciseScene(benchmark::State& state) {
  const DetectedElements scene = busyScene();
  const BlurOptions options = allOptions();
  const Point mouse{200, 300};
  for (auto _ : state) {
    const auto regions =
        BlurLayout::regions(kWindow, LayoutMetrics::defaults, options, scene, kScroll);
    auto blurs = BlurLayout::visibleBlurs(regions, mouse);
    benchmark::DoNotOptimize(blurs.data());
  }
  // Seconds per iteration divided by this value: the percentage of a 1/120 s frame.
  state.counters["pct_of_120Hz_frame"] =
      benchmark::Counter(1.0 / (100 * 120), benchmark::Counter::kIsIterationInvariantRate |
                                                benchmark::Counter::kInvert);
}
BENCHMARK(BM_FrameBusyPreciseScene);

// The floor: copying the vector the busy scene produces.
void BM_CopyBusySceneRegions(benchmark::State& state) {
  const auto regions =
      BlurLayout::regions(kWindow, LayoutMetrics::defaults, allOptions(), busyScene(), kScroll);
  for (auto _ : state) {
    std::vector<BlurRegion> copy = regions;
    benchmark::DoNotOptimize(copy.data());
  }
}
BENCHMARK(BM_CopyBusySceneRegions);

}  // namespace
