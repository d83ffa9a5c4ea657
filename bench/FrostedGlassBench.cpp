// What frosted glass costs per frame, against the floor any compositing pays: a plain copy of
// the same 1200 x 800 RGBA frame, measured in the same run. The budget is five copies for a busy
// precise-mode frame; the run ends with the ratios and fails when that one is over budget.

#include <Glass/FrostedGlass.hpp>

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

using namespace velvix::glass;

constexpr int kWidth = 1200;
constexpr int kHeight = 800;
constexpr double kBudget = 5.0;

std::vector<std::uint8_t> sourceFrame() {
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(kWidth) * kHeight * 4);
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      std::uint8_t* p = &bytes[(static_cast<std::size_t>(y) * kWidth + x) * 4];
      const bool ink = (x % 7 < 2 && y % 11 < 8) || (y % 23 == 4);
      p[0] = static_cast<std::uint8_t>(ink ? 30 : 240 - (x * 40) / kWidth);
      p[1] = static_cast<std::uint8_t>(ink ? 30 : 235);
      p[2] = static_cast<std::uint8_t>(ink ? 40 : 220 + (y * 30) / kHeight);
      p[3] = 255;
    }
  return bytes;
}

// The floor: the compositor has to copy WhatsApp's frame before drawing over it.
void BM_CopyFrame(benchmark::State& state) {
  const std::vector<std::uint8_t> source = sourceFrame();
  std::vector<std::uint8_t> frame(source.size());
  for (auto _ : state) {
    std::memcpy(frame.data(), source.data(), source.size());
    benchmark::DoNotOptimize(frame.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(source.size()));
}
BENCHMARK(BM_CopyFrame);

// Glass alone (the frame is restored outside the timing).
void runGlass(benchmark::State& state, const std::vector<GlassPatch>& patches) {
  const std::vector<std::uint8_t> source = sourceFrame();
  std::vector<std::uint8_t> frame = source;
  FrostedGlass glass;
  const Rgba8Image image{frame.data(), kWidth, kHeight, kWidth * 4};
  for (auto _ : state) {
    glass.apply(image, patches);
    benchmark::DoNotOptimize(frame.data());
    benchmark::ClobberMemory();
    state.PauseTiming();
    std::memcpy(frame.data(), source.data(), source.size());
    state.ResumeTiming();
  }
}

void BM_GlassFullyCovered(benchmark::State& state) {
  runGlass(state, {{0, 0, kWidth, kHeight}});
}
BENCHMARK(BM_GlassFullyCovered);

// A busy precise-mode frame: a rounded name and preview and a round picture per chat row, a
// patch per message, header, composer. Scrolled, the lists move by fractions of a pixel, so that
// the first and last row of every patch are partly covered.
std::vector<GlassPatch> busyFrame(double scrolled) {
  std::vector<GlassPatch> patches;
  for (int row = 0; row < 10; ++row) {
    const double y = 100 + 72.0 * row + scrolled;
    patches.push_back({90, y + 10, 52, 52, PatchShape::ellipse});
    patches.push_back({150, y + 12, 276, 22.5});
    patches.push_back({150, y + 36, 276, 26});
  }
  for (int m = 0; m < 14; ++m)
    patches.push_back({470, 70 + 46.0 * m + scrolled, 420, 40});
  patches.push_back({460, 10, 36, 36, PatchShape::ellipse});
  patches.push_back({500, 8, 280, 44});
  patches.push_back({456, 740, 732, 50});
  return patches;
}

void BM_GlassBusyFrame(benchmark::State& state) {
  runGlass(state, busyFrame(0));
}
BENCHMARK(BM_GlassBusyFrame);

void BM_GlassBusyFrameScrolling(benchmark::State& state) {
  runGlass(state, busyFrame(0.37));
}
BENCHMARK(BM_GlassBusyFrameScrolling);

// Keeps each benchmark's time per iteration, by name, besides printing as usual: the median
// when it is repeated (--benchmark_repetitions; shared machines are noisy), else its one run.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      const std::string& name = run.run_name.function_name;
      if (run.error_occurred) continue;
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median")
        seconds[name] = run.GetAdjustedCPUTime(), medians.insert(name);
      else if (run.run_type == Run::RT_Iteration && !medians.contains(name))
        seconds[name] = run.GetAdjustedCPUTime();
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> seconds;
  std::set<std::string> medians;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  const auto copy = reporter.seconds.find("BM_CopyFrame");
  if (copy == reporter.seconds.end()) return 0;  // filtered
  const auto ratio = [&](const char* name) {
    const auto found = reporter.seconds.find(name);
    return found == reporter.seconds.end() ? -1.0 : found->second / copy->second;
  };
  std::printf("\n");
  if (const double full = ratio("BM_GlassFullyCovered"); full >= 0)
    std::printf("fully covered %dx%d frame: %.1f x a plain copy\n", kWidth, kHeight, full);
  if (const double scrolling = ratio("BM_GlassBusyFrameScrolling"); scrolling >= 0)
    std::printf("busy frame while scrolling: %.1f x a plain copy\n", scrolling);
  const double busy = ratio("BM_GlassBusyFrame");
  if (busy < 0) return 0;
  std::printf("busy precise-mode frame: %.1f x a plain copy (budget %.0f x)\n", busy, kBudget);
  return busy <= kBudget ? 0 : 1;
}
