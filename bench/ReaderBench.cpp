// A full read of a 3,000-node tree in the Simulator. The Simulator's own attribute answers are
// timed separately (the same calls made directly) and subtracted, as is the structure analysis,
// so the counters show what the reader itself adds per node: the walk, the queue, building the
// nodes and the bookkeeping.
//
//   per_node         the whole read (walk + analysis + Simulator answers) per node
//   overhead_node    the read minus the Simulator's answers, per node
//   walk_node        the read minus the Simulator's answers and the analysis, per node

#include <Velvix/AccessibilityReader.hpp>

#include <Simulator/Desktop.hpp>

#include <benchmark/benchmark.h>

#include <array>
#include <chrono>
#include <string>

namespace velvix {
namespace {

using Clock = std::chrono::steady_clock;
using platform::Attribute;

constexpr int kPid = 42;
const Rect kFrame(100, 80, 1000, 700);

// A window of 30 groups with 100 rows each: 3,031 elements, so the read stops at 3,000.
void buildTree(sim::SimAccessibility& ax) {
  const auto app = ax.addApplication(kPid);
  const auto window = ax.addChild(app, {.role = "AXWindow", .frame = kFrame});
  for (int g = 0; g < 30; ++g) {
    const auto group =
        ax.addChild(window, {.role = "AXGroup", .frame = Rect(170, 80 + 20.0 * g, 300, 20)});
    for (int r = 0; r < 100; ++r)
      ax.addChild(group, {.role = "AXStaticText",
                          .description = platform::Value("Row " + std::to_string(r) + ", 9:41"),
                          .frame = Rect(170, 80 + 20.0 * g, 300, 1)});
  }
}

double seconds(Clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

void BM_FullRead(benchmark::State& state) {
  sim::Desktop desktop;
  buildTree(desktop.accessibility());
  auto& ax = desktop.accessibility();
  AccessibilityReader reader(ax, desktop.scheduler(), desktop.log());

  // One read to learn the elements it walks, for timing the Simulator's answers alone.
  bool done = false;
  reader.executor().post([&] {
    (void)reader.read(kPid, kFrame, false);
    done = true;
  });
  desktop.runUntil([&] { return done; });
  const std::vector<platform::Element> elements = reader.elements();
  const std::vector<AccessibilityNode> nodes = reader.nodes();
  constexpr std::array attributes = {Attribute::role, Attribute::description, Attribute::position,
                                     Attribute::size, Attribute::children,    Attribute::title,
                                     Attribute::value};

  double total = 0, simulator = 0, analysis = 0;
  for (auto _ : state) {
    Clock::duration readTime{};
    done = false;
    reader.executor().post([&] {
      const auto start = Clock::now();
      auto result = reader.read(kPid, kFrame, false);
      readTime = Clock::now() - start;
      benchmark::DoNotOptimize(result);
      done = true;
    });
    desktop.runUntil([&] { return done; });

    const auto simulatorStart = Clock::now();
    auto app = ax.applicationElement(kPid);
    ax.setMessagingTimeout(app, 0.25);
    benchmark::DoNotOptimize(ax.copyAttributeValue(app, Attribute::windows));
    for (const auto& element : elements)
      benchmark::DoNotOptimize(ax.copyMultipleAttributeValues(element, attributes));
    const auto simulatorTime = Clock::now() - simulatorStart;

    const auto analysisStart = Clock::now();
    benchmark::DoNotOptimize(WhatsAppStructure::analyze(nodes, kFrame.size));
    const auto analysisTime = Clock::now() - analysisStart;

    state.SetIterationTime(seconds(readTime));
    total += seconds(readTime);
    simulator += seconds(simulatorTime);
    analysis += seconds(analysisTime);
  }
  const double reads = static_cast<double>(state.iterations());
  const double count = static_cast<double>(nodes.size());
  state.counters["nodes"] = count;
  state.counters["per_node_ns"] = total / reads / count * 1e9;
  state.counters["overhead_node_ns"] = (total - simulator) / reads / count * 1e9;
  state.counters["walk_node_ns"] = (total - simulator - analysis) / reads / count * 1e9;
}
BENCHMARK(BM_FullRead)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace velvix
