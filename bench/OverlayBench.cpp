// One steady-state frame of the overlay: nothing changed since the last frame, so drawing must
// come down to computing the layout and finding that every view already shows it.

#include <Simulator/Desktop.hpp>
#include <Simulator/MemoryDefaults.hpp>
#include <Velvix/AppSettings.hpp>
#include <Velvix/OverlayController.hpp>

#include <benchmark/benchmark.h>

#include <chrono>

namespace {

using namespace velvix;
using namespace std::chrono_literals;

// 150 media thumbnails (15 × 10) in a 1200 × 800 window, as a shared-media page shows them.
void publishGallery(sim::SimAccessibility& ax, std::int32_t pid, const Rect& bounds) {
  const auto app = ax.addApplication(pid);
  const auto window = ax.addChild(app, {.role = "AXWindow", .frame = bounds});
  for (int row = 0; row < 10; ++row) {
    for (int column = 0; column < 15; ++column) {
      ax.addChild(window, {.role = "AXButton",
                           .description = platform::Value("Photo"),
                           .frame = {bounds.minX() + 20 + 78.0 * column,
                                     bounds.minY() + 20 + 76.0 * row, 56, 56}});
    }
  }
}

void BM_SteadyRenderWith150Blurs(benchmark::State& state) {
  sim::Desktop desktop;
  const Rect bounds(0, 0, 1200, 800);
  auto& server = desktop.windowServer();
  server.setScreens({Rect(0, 0, 1440, 900)});
  server.addApplication({.pid = 42, .bundleIdentifier = "net.whatsapp.WhatsApp"});
  server.addWindow({.number = 7, .pid = 42, .ownerName = "WhatsApp", .bounds = bounds});
  publishGallery(desktop.accessibility(), 42, bounds);

  sim::MemoryDefaults defaults;
  AppSettings settings(defaults);
  settings.setBlurMediaGallery(true);
  OverlayController controller(settings, {desktop.accessibility(), desktop.windowServer(),
                                          desktop.toolkit(), desktop.scheduler(), desktop.log()});
  controller.start();
  desktop.runFor(1s);  // found, read, drawn
  std::size_t shown = 0;
  for (const auto& view : desktop.toolkit().blurViews())
    shown += view.isHidden ? 0 : 1;
  if (shown < 150) state.SkipWithError("the gallery did not produce 150 blurs");

  desktop.toolkit().resetCounts();
  for (auto _ : state)
    controller.render();
  state.counters["blurs"] = static_cast<double>(shown);
  state.counters["writes"] = desktop.toolkit().counts().blurFrameWrites +
                             desktop.toolkit().counts().maskWrites +
                             desktop.toolkit().counts().hiddenWrites;
  desktop.stop();
}
BENCHMARK(BM_SteadyRenderWith150Blurs);

}  // namespace
