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
// First, what the overlay leaves in sight at rest with the pointer away (Simulator/RestLeak.hpp):
// in precise mode with "cover unrecognised" on and off, and in layout mode.
//
//   velvix-privacy-leak [--frames] [--json] [--element-cost MICROSECONDS] [--speeds LIST]
//                       [--tree-change CHANGE]
//     --frames        one line per frame that left something uncovered, and what the layout
//                     leaves uncovered at rest
//     --json          one JSON object per run, every column of the table, instead of the table
//     --element-cost  virtual time one element read takes (default 100)
//     --speeds        scrolling speeds in points per second (default 500,1500,3000)
//     --tree-change   the tree WhatsApp publishes, as an update might change it: none (default),
//                     roles-renamed, extra-level or labels-empty

#include <Simulator/RestLeak.hpp>
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

constexpr sim::TreeChange kTreeChanges[] = {sim::TreeChange::none, sim::TreeChange::rolesRenamed,
                                            sim::TreeChange::extraLevel,
                                            sim::TreeChange::labelsEmpty};

// The change's name on the command line: its name with dashes for spaces.
std::string optionName(sim::TreeChange change) {
  std::string name = sim::name(change);
  std::replace(name.begin(), name.end(), ' ', '-');
  return name;
}

const char* statusName(const OverlayController::Status& status) {
  if (status.kind == OverlayController::Status::Kind::unrecognised) return "not recognised";
  if (status.kind != OverlayController::Status::Kind::protecting) return "other";
  return status.precise ? "precise" : "layout";
}

// What is left in sight at rest: precise mode with the switch on and off, and layout mode.
void printRest(sim::TreeChange change, bool json, bool printFrames, sim::Duration elementCost) {
  if (!json) {
    std::printf(
        "At rest, the pointer away, tree change \"%s\":\n\n| mode | cover unrecognised | status | "
        "private content in sight, pt2 | most in one place, pt2 |\n|---|---|---|---:|---:|\n",
        sim::name(change));
  }
  const struct {
    LeakMode mode;
    bool covers;
  } runs[] = {{LeakMode::precise, true}, {LeakMode::precise, false}, {LeakMode::layout, true}};
  for (const auto& r : runs) {
    sim::RestLeakRun run{.mode = r.mode,
                         .treeChange = change,
                         .coversUnrecognised = r.covers,
                         .elementCost = elementCost};
    if (printFrames) {
      std::printf("  %s, %s:\n", sim::name(r.mode), r.covers ? "covering unrecognised" : "not");
      run.report = [](std::string_view line) {
        std::printf("    %.*s\n", static_cast<int>(line.size()), line.data());
      };
    }
    const sim::RestLeak leak = sim::measureRestLeak(run);
    if (json) {
      std::printf(
          "{\"atRest\": true, \"treeChange\": \"%s\", \"mode\": \"%s\", "
          "\"coversUnrecognised\": %s, \"status\": \"%s\", \"uncovered\": %.1f, "
          "\"largestPlace\": %.1f}\n",
          optionName(change).c_str(), sim::name(r.mode), r.covers ? "true" : "false",
          statusName(leak.status), leak.uncovered, leak.largestPlace);
    } else {
      std::printf("| %s | %s | %s | %.0f | %.0f |\n", sim::name(r.mode),
                  r.mode == LeakMode::layout ? "-"
                  : r.covers                 ? "on"
                                             : "off",
                  statusName(leak.status), leak.uncovered, leak.largestPlace);
    }
  }
  if (!json) std::printf("\n");
}

void printJson(const sim::ScrollLeakRun& run, const sim::ScrollLeak& r, double elementCost) {
  std::printf(
      "{\"mode\": \"%s\", \"treeChange\": \"%s\", \"list\": \"%s\", \"speed\": %.0f, "
      "\"coversMovingLists\": %s, "
      "\"elementCostMicroseconds\": %g, \"frames\": %d, \"framesUncovered\": %d, "
      "\"framesWithMotionLeak\": %d, \"framesWithMotionLeakOverGlyph\": %d, "
      "\"largestMotionLeak\": %.1f, \"largestUncovered\": %.1f, \"uncoveredSeconds\": %.2f, "
      "\"motionLeakSeconds\": %.2f, "
      "\"layoutLeakSeconds\": %.2f, "
      "\"layoutLeakAtRest\": %.1f, \"layoutLeakAtRestLargestPlace\": %.1f, \"byCategory\": {",
      sim::name(run.mode), optionName(run.treeChange).c_str(), listName(run.list), run.speed,
      run.coversMovingLists ? "true" : "false", elementCost, r.frames, r.framesUncovered,
      r.framesMoving, r.framesOverGlyph, r.largest, r.largestUncovered, r.uncoveredSeconds,
      r.motionSeconds, r.designSeconds, r.restTotal, r.restLargestPlace);
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
  sim::TreeChange treeChange = sim::TreeChange::none;
  const auto usage = [] {
    std::fprintf(stderr,
                 "usage: velvix-privacy-leak [--frames] [--json] [--element-cost MICROSECONDS] "
                 "[--speeds LIST] [--tree-change none|roles-renamed|extra-level|labels-empty]\n");
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
    } else if (arg == "--tree-change" && i + 1 < argc) {
      const std::string wanted = argv[++i];
      const auto* found = std::find_if(std::begin(kTreeChanges), std::end(kTreeChanges),
                                       [&](sim::TreeChange c) { return optionName(c) == wanted; });
      if (found == std::end(kTreeChanges)) return usage();
      treeChange = *found;
    } else {
      return usage();
    }
  }
  const auto elementCost = std::chrono::duration_cast<sim::Duration>(
      std::chrono::duration<double, std::micro>(costMicroseconds));
  printRest(treeChange, json, printFrames, elementCost);
  if (!json) {
    std::printf(
        "Privacy leak while scrolling: %g s of wheel events at %g Hz per run, the sample "
        "account with a long history, every option on (latest three messages readable), %g us "
        "per element read, tree change \"%s\".\n\n",
        kScrollSeconds, kRefresh, costMicroseconds, sim::name(treeChange));
    std::printf(
        "| mode | cover moving lists | list | pt/s | frames | anything uncovered | motion leak | "
        "motion leak > %g pt2 | largest motion leak, pt2 | most uncovered in a frame, pt2 | "
        "uncovered x time, pt2 s | motion leak x "
        "time, pt2 s | layout's "
        "own leak x time, pt2 s | layout's own leak at rest, most in one place, pt2 | motion "
        "leak mostly |\n",
        sim::kGlyphArea);
    std::printf("|---|---|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---|\n");
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
                                 .treeChange = treeChange,
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
              "| %s | %s | %s | %.0f | %d | %.1f%% | %.1f%% | %.1f%% | %.0f | %.0f | %.1f | %.1f | "
              "%.1f | %.1f | %s |\n",
              sim::name(mode), covers ? "on" : "off", listName(list), speed, r.frames,
              share(r.framesUncovered), share(r.framesMoving), share(r.framesOverGlyph), r.largest,
              r.largestUncovered, r.uncoveredSeconds, r.motionSeconds, r.designSeconds,
              r.restLargestPlace,
              r.motionSeconds > 0 ? sim::name(static_cast<sim::Sensitive>(worst)) : "-");
        }
      }
    }
  }
  return 0;
}
