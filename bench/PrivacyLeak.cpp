// velvix-privacy-leak: how much private content a bystander could see while the user scrolls
// WhatsApp (Simulator/ScrollLeak.hpp tells how it is measured), for every mode, list and speed.
//
// Reported per run: the share of frames with anything uncovered, the share with a motion leak
// (and with one over 20 square points, about one character), the largest motion leak in a
// frame, and everything left in sight, the motion leak and the layout's own leak, integrated
// over time. Each run is made in precise mode with the follow loop (the product), in precise
// mode without it (the baseline: patches move only with each read), and in layout mode; with
// "Cover lists while scrolling" on (the default) and off.
//
//   velvix-privacy-leak [--frames] [--json] [--element-cost MICROSECONDS] [--speeds LIST]
//     --frames        one line per frame that left something uncovered, and what the layout
//                     leaves uncovered at rest
//     --json          one JSON object per run, every column of the table, instead of the table
//     --element-cost  virtual time one element read takes (default 100)
//     --speeds        scrolling speeds in points per second (default 500,1500,3000)

#include <Simulator/ScrollLeak.hpp>
#include <Simulator/WhatsAppScene.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace velvix;
using List = sim::WhatsAppModel::List;
using sim::LeakMode;

constexpr double kScrollSeconds = 2;
constexpr double kRefresh = 60;

std::vector<double> parseSpeeds(const char* list) {
  std::vector<double> speeds;
  for (const char* at = list; *at;) {
    char* end = nullptr;
    const double speed = std::strtod(at, &end);
    if (end == at || !(speed > 0 && speed < 1e6)) return {};
    speeds.push_back(speed);
    at = *end == ',' ? end + 1 : end;
    if (*end && *end != ',') return {};
  }
  return speeds;
}

const char* listName(List list) {
  return list == List::messages ? "messages" : "chat list";
}

void printJson(const sim::ScrollLeakRun& run, const sim::ScrollLeak& r, double elementCost) {
  std::printf(
      "{\"mode\": \"%s\", \"list\": \"%s\", \"speed\": %.0f, \"coversMovingLists\": %s, "
      "\"elementCostMicroseconds\": %g, \"frames\": %d, \"framesUncovered\": %d, "
      "\"framesWithMotionLeak\": %d, \"framesWithMotionLeakOverGlyph\": %d, "
      "\"largestMotionLeak\": %.1f, \"uncoveredSeconds\": %.2f, \"motionLeakSeconds\": %.2f, "
      "\"layoutLeakSeconds\": %.2f, "
      "\"layoutLeakAtRest\": %.1f, \"layoutLeakAtRestLargestPlace\": %.1f, \"byCategory\": {",
      sim::name(run.mode), listName(run.list), run.speed, run.coversMovingLists ? "true" : "false",
      elementCost, r.frames, r.framesUncovered, r.framesMoving, r.framesOverGlyph, r.largest,
      r.uncoveredSeconds, r.motionSeconds, r.designSeconds, r.restTotal, r.restLargestPlace);
  for (std::size_t k = 0; k < r.byCategory.size(); ++k)
    std::printf("%s\"%s\": %.2f", k ? ", " : "", sim::name(static_cast<sim::Sensitive>(k)),
                r.byCategory[k]);
  std::printf("}}\n");
}

}  // namespace

int main(int argc, char** argv) {
  bool printFrames = false;
  bool json = false;
  double costMicroseconds = 100;
  std::vector<double> speeds = {500, 1500, 3000};
  const auto usage = [] {
    std::fprintf(stderr,
                 "usage: velvix-privacy-leak [--frames] [--json] [--element-cost MICROSECONDS] "
                 "[--speeds LIST]\n");
    return 2;
  };
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--frames") {
      printFrames = true;
    } else if (arg == "--json") {
      json = true;
    } else if (arg == "--element-cost" && i + 1 < argc) {
      costMicroseconds = std::atof(argv[++i]);
      if (!(costMicroseconds >= 0 && costMicroseconds < 1e6)) return usage();
    } else if (arg == "--speeds" && i + 1 < argc) {
      speeds = parseSpeeds(argv[++i]);
      if (speeds.empty()) return usage();
    } else {
      return usage();
    }
  }
  const auto elementCost = std::chrono::duration_cast<sim::Duration>(
      std::chrono::duration<double, std::micro>(costMicroseconds));
  if (!json) {
    std::printf(
        "Privacy leak while scrolling: %g s of wheel events at %g Hz per run, the sample "
        "account with a long history, every option on (latest three messages readable), %g us "
        "per element read.\n\n",
        kScrollSeconds, kRefresh, costMicroseconds);
    std::printf(
        "| mode | cover moving lists | list | pt/s | frames | anything uncovered | motion leak | "
        "motion leak > %g pt2 | largest motion leak, pt2 | uncovered x time, pt2 s | motion leak x "
        "time, pt2 s | layout's "
        "own leak x time, pt2 s | layout's own leak at rest, most in one place, pt2 | motion "
        "leak mostly |\n",
        sim::kGlyphArea);
    std::printf("|---|---|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---|\n");
  }
  for (LeakMode mode : {LeakMode::precise, LeakMode::withoutFollowing, LeakMode::layout}) {
    for (bool covers : {true, false}) {
      for (List list : {List::messages, List::chatList}) {
        for (double speed : speeds) {
          if (printFrames)
            std::printf("  %s, %s, %s, %.0f pt/s:\n", sim::name(mode),
                        covers ? "covering moving lists" : "not covering", listName(list), speed);
          sim::ScrollLeakRun run{.mode = mode,
                                 .list = list,
                                 .speed = speed,
                                 .coversMovingLists = covers,
                                 .elementCost = elementCost,
                                 .seconds = kScrollSeconds};
          if (printFrames)
            run.report = [](std::string_view line) {
              std::printf("    %.*s\n", static_cast<int>(line.size()), line.data());
            };
          const sim::ScrollLeak r = sim::measureScrollLeak(run);
          if (json) {
            printJson(run, r, costMicroseconds);
            continue;
          }
          std::size_t worst = 0;
          for (std::size_t k = 1; k < r.byCategory.size(); ++k)
            if (r.byCategory[k] > r.byCategory[worst]) worst = k;
          const auto share = [&](int n) { return 100.0 * n / std::max(r.frames, 1); };
          std::printf(
              "| %s | %s | %s | %.0f | %d | %.1f%% | %.1f%% | %.1f%% | %.0f | %.1f | %.1f | %.1f | "
              "%.1f | %s |\n",
              sim::name(mode), covers ? "on" : "off", listName(list), speed, r.frames,
              share(r.framesUncovered), share(r.framesMoving), share(r.framesOverGlyph), r.largest,
              r.uncoveredSeconds, r.motionSeconds, r.designSeconds, r.restLargestPlace,
              r.motionSeconds > 0 ? sim::name(static_cast<sim::Sensitive>(worst)) : "-");
        }
      }
    }
  }
  return 0;
}
