// How much private content a bystander could see while the user scrolls WhatsApp.
//
// The whole application runs against the simulated client in virtual time. For each list (the
// messages, scrolled back in time; the chat list, scrolled down) and each speed, wheel events
// arrive 60 times a second for 2 s, a few milliseconds after each screen refresh. They are
// events of the world: they happen at their time even while the reader is in the middle of a
// read, and every element read takes virtual time, so reads go stale the way real ones do. At
// every refresh the overlay draws, the model's private pixels — the ink of names, previews and
// messages, pictures, media, the composer's text, thumbnails — are compared with the frosted
// glass the overlay shows: whatever lies under no patch counts as uncovered, except what the
// options leave readable on purpose (the latest three messages; the unit under the pointer,
// which hover reveals). Sampled one point apart, at pixel centres.
//
// Two kinds of leak are told apart. The reference is an ideal overlay: the patches the blur
// layout gives for what the tree holds at that very instant, hover included. Whatever even it
// leaves in sight is the layout's own; the rest is the motion leak — patches lagging behind or
// running ahead of the content. Before the wheel turns, the layout's own leak at rest is
// measured too, with the largest amount in any one place.
//
// Reported per run: the share of frames with anything uncovered, the share with a motion leak
// (and with one over 20 square points, about one character), the largest motion leak in a
// frame, and everything left in sight, the motion leak and the layout's own leak, integrated
// over time. Each run is made in precise mode with the follow
// loop (the product), in precise mode without it (the baseline: patches move only with each
// read), and in layout mode; with "Cover lists while scrolling" on (the default) and off.
//
//   velvix-privacy-leak [--frames] [--json] [--element-cost MICROSECONDS] [--speeds LIST]
//     --frames        one line per frame that left something uncovered, and what the layout
//                     leaves uncovered at rest
//     --json          one JSON object per run, every column of the table, instead of the table
//     --element-cost  virtual time one element read takes (default 100)
//     --speeds        scrolling speeds in points per second (default 500,1500,3000)

#include <Simulator/AppSession.hpp>
#include <Simulator/OverlayCoverage.hpp>

#include <BlurLayout/BlurLayout.hpp>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace velvix;
using namespace std::chrono_literals;
using List = sim::WhatsAppModel::List;

constexpr double kRefresh = 60;
constexpr double kScrollSeconds = 2;
constexpr double kSettleSeconds = 1.5;
constexpr double kGlyphArea = 20;  // square points: about one small character
constexpr auto kWheelPhase = 4ms;  // wheel events arrive this long after a refresh

// The sample account with a long history in both lists, so that 2 s at 3,000 pt/s stay within
// the content.
sim::WhatsAppState longAccount() {
  sim::WhatsAppState s = sim::WhatsAppState::sample();
  const char* first[] = {"Alex", "Bea", "Carl", "Dana", "Eli", "Fay", "Gus", "Hana", "Ilse", "Joe"};
  const char* last[] = {"Moreau", "Novak", "Ortiz", "Park", "Quinn", "Reyes", "Stone", "Tanaka"};
  const char* words[] = {"see you there", "thanks a lot", "the file is attached", "call me back",
                         "running late",  "sounds good",  "what time works",      "on my way"};
  for (int i = 0; i < 110; ++i)
    s.chats.push_back({.name = std::string(first[i % 10]) + " " + last[(i / 10) % 8],
                       .preview = words[i % 8],
                       .time = "Monday",
                       .previewIsPhoto = i % 13 == 5});
  std::vector<sim::WhatsAppMessage> history;
  for (int i = 0; i < 160; ++i) {
    sim::WhatsAppMessage m;
    m.kind = i % 11 == 4 ? sim::WhatsAppMessage::Kind::photo : sim::WhatsAppMessage::Kind::text;
    m.isOutgoing = i % 3 == 0;
    m.sender = m.isOutgoing ? "" : first[i % 10];
    m.text =
        std::string(words[i % 8]) + (i % 4 == 0 ? ", and then we can talk about the rest" : "");
    m.time = std::to_string(8 + i % 12) + ":" + std::to_string(10 + i % 50);
    if (m.isOutgoing) m.status = "Read";
    if (i % 25 == 0) m.daySeparator = "Last week";
    history.push_back(m);
  }
  auto& messages = s.conversation->messages;
  messages.insert(messages.begin(), history.begin(), history.end());
  return s;
}

enum class Mode { precise, withoutFollowing, layout };

const char* name(Mode mode) {
  switch (mode) {
    case Mode::precise:
      return "precise";
    case Mode::withoutFollowing:
      return "precise, no follow loop";
    case Mode::layout:
      return "layout";
  }
  return "?";
}

struct Run {
  Mode mode;
  List list;
  double speed;  // points per second
  bool coversMovingLists = true;
  int frames = 0;
  int framesUncovered = 0;             // anything at all
  int framesMoving = 0;                // a motion leak
  int framesOverGlyph = 0;             // a motion leak over kGlyphArea
  double largest = 0;                  // largest motion leak, square points
  double uncoveredSeconds = 0;         // everything left in sight × time
  double motionSeconds = 0;            // motion leak × time, square points × seconds
  double designSeconds = 0;            // the layout's own leak × time
  double restLargestPlace = 0;         // the layout's own leak at rest, most in one place
  double restTotal = 0;                // the layout's own leak at rest, in all
  std::array<double, 7> byCategory{};  // motion leak × time
};

Run measure(Mode mode, List list, double speed, bool coversMovingLists, bool printFrames,
            sim::Duration elementCost) {
  sim::AppSessionOptions options;
  options.coversMovingLists = coversMovingLists;
  options.model.elementReadCost = elementCost;
  options.state = longAccount();
  options.followsScrolling = mode != Mode::withoutFollowing;
  options.isTrusted = mode != Mode::layout;
  sim::AppSession session(options);
  sim::WhatsAppModel& whatsApp = session.whatsApp();
  const BlurOptions blur = options.options;
  const LayoutMetrics metrics = options.metrics;

  // The pointer over the list that scrolls, as it must be for the wheel to reach it.
  const Rect viewport = whatsApp.viewport(list);
  const Point pointer{viewport.midX(), viewport.minY() + viewport.height() * 0.45};
  session.moveMouse(pointer);

  Run run{mode, list, speed, coversMovingLists};
  bool measuring = false;
  bool atRest = false;
  const double frameSeconds = 1 / kRefresh;
  double measureUntil = 0;  // media time: a read under way may run the session past the scroll
  session.onDisplayFrame([&] {
    if (!measuring && !atRest) return;
    if (measuring && session.desktop().scheduler().mediaTime() > measureUntil) return;
    const sim::Scene scene = whatsApp.scene();
    const auto areas = sim::sensitiveAreas(scene, blur);
    // What the options leave readable on purpose: the unit under the pointer (whole reveal),
    // or in layout mode the band the pointer opens in the list's column.
    std::vector<Rect> revealed;
    for (const sim::SensitiveArea& a : areas)
      if (a.unit.contains(pointer)) revealed.push_back(a.unit);
    if (mode == Mode::layout)
      revealed.emplace_back(viewport.minX(), pointer.y - metrics.revealBandHeight / 2,
                            viewport.width(), metrics.revealBandHeight);
    const auto patches =
        sim::overlayPatches(session.desktop().toolkit(), session.desktop().windowServer(),
                            whatsApp.state().windowFrame);
    // The ideal overlay: the layout of what the tree holds right now.
    const DetectedElements now =
        mode == Mode::layout ? DetectedElements() : whatsApp.recognisable();
    const auto regions =
        BlurLayout::regions(whatsApp.state().windowFrame.size, metrics, blur, now, {});
    std::vector<sim::CoverPatch> ideal;
    for (const VisibleBlur& b : BlurLayout::visibleBlurs(regions, pointer))
      ideal.push_back({b.rect, b.shape});
    const sim::Coverage all = sim::uncovered(areas, patches, revealed);
    const sim::Coverage design = sim::uncovered(areas, ideal, revealed);
    if (atRest) {
      if (printFrames && run.restTotal == 0 && design.uncovered > 0) {
        for (const sim::SensitiveArea& a : areas) {
          const double left = sim::uncovered(std::span(&a, 1), ideal, revealed).uncovered;
          if (left > 0)
            std::printf("    at rest: %6.0f pt2 of %s at (%.0f, %.0f, %.0f x %.0f)\n", left,
                        sim::name(a.category), a.rect.minX(), a.rect.minY(), a.rect.width(),
                        a.rect.height());
        }
      }
      run.restLargestPlace = std::max(run.restLargestPlace, design.largestArea);
      run.restTotal = std::max(run.restTotal, design.uncovered);
      return;
    }
    const sim::Coverage motion = sim::uncovered(areas, patches, revealed, std::span(ideal));
    ++run.frames;
    if (all.uncovered > 0) ++run.framesUncovered;
    if (motion.uncovered > 0) ++run.framesMoving;
    if (motion.uncovered > kGlyphArea) ++run.framesOverGlyph;
    run.largest = std::max(run.largest, motion.uncovered);
    run.motionSeconds += motion.uncovered * frameSeconds;
    run.uncoveredSeconds += all.uncovered * frameSeconds;
    run.designSeconds += design.uncovered * frameSeconds;
    for (std::size_t k = 0; k < motion.byCategory.size(); ++k)
      run.byCategory[k] += motion.byCategory[k] * frameSeconds;
    if (printFrames && all.uncovered > 0) {
      std::printf("    frame %3d: %6.0f pt2 uncovered, %6.0f from motion (", run.frames,
                  all.uncovered, motion.uncovered);
      for (std::size_t k = 0; k < motion.byCategory.size(); ++k)
        if (motion.byCategory[k] > 0)
          std::printf(" %s %.0f", sim::name(static_cast<sim::Sensitive>(k)), motion.byCategory[k]);
      std::printf(" ), list at %.0f\n", whatsApp.scrollPosition(list));
    }
  });

  // Start where a user would: the conversation at its newest message, the chat list at its top.
  session.start();
  const auto seconds = [](double s) {
    return std::chrono::duration_cast<sim::Duration>(std::chrono::duration<double>(s));
  };
  session.runFor(seconds(kSettleSeconds - 0.5));
  atRest = true;
  session.runFor(seconds(0.5));
  atRest = false;

  // Back in time through the messages; down through the chat list: wheel steps at the world's
  // own times, a few milliseconds after each refresh.
  const double step = (list == List::messages ? -speed : speed) / kRefresh;
  const int steps = static_cast<int>(kScrollSeconds * kRefresh);
  for (int k = 0; k < steps; ++k) {
    session.desktop().scheduler().scheduleWorld(
        seconds(k * frameSeconds) + kWheelPhase,
        [&whatsApp, step] { (void)whatsApp.scrollWheel(step); });
  }
  measuring = true;
  measureUntil = session.desktop().scheduler().mediaTime() + steps * frameSeconds;
  session.runFor(seconds(steps * frameSeconds));
  measuring = false;
  return run;
}

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

void printJson(const Run& r, double elementCost) {
  std::printf(
      "{\"mode\": \"%s\", \"list\": \"%s\", \"speed\": %.0f, \"coversMovingLists\": %s, "
      "\"elementCostMicroseconds\": %g, \"frames\": %d, \"framesUncovered\": %d, "
      "\"framesWithMotionLeak\": %d, \"framesWithMotionLeakOverGlyph\": %d, "
      "\"largestMotionLeak\": %.1f, \"uncoveredSeconds\": %.2f, \"motionLeakSeconds\": %.2f, "
      "\"layoutLeakSeconds\": %.2f, "
      "\"layoutLeakAtRest\": %.1f, \"layoutLeakAtRestLargestPlace\": %.1f, \"byCategory\": {",
      name(r.mode), listName(r.list), r.speed, r.coversMovingLists ? "true" : "false", elementCost,
      r.frames, r.framesUncovered, r.framesMoving, r.framesOverGlyph, r.largest, r.uncoveredSeconds,
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
  const auto usage = [] { return 2; };
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
        kGlyphArea);
    std::printf("|---|---|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---|\n");
  }
  for (Mode mode : {Mode::precise, Mode::withoutFollowing, Mode::layout}) {
    for (bool covers : {true, false}) {
      for (List list : {List::messages, List::chatList}) {
        for (double speed : speeds) {
          if (printFrames)
            std::printf("  %s, %s, %s, %.0f pt/s:\n", name(mode),
                        covers ? "covering moving lists" : "not covering", listName(list), speed);
          const Run r = measure(mode, list, speed, covers, printFrames, elementCost);
          if (json) {
            printJson(r, costMicroseconds);
            continue;
          }
          std::size_t worst = 0;
          for (std::size_t k = 1; k < r.byCategory.size(); ++k)
            if (r.byCategory[k] > r.byCategory[worst]) worst = k;
          const auto share = [&](int n) { return 100.0 * n / std::max(r.frames, 1); };
          std::printf(
              "| %s | %s | %s | %.0f | %d | %.1f%% | %.1f%% | %.1f%% | %.0f | %.1f | %.1f | %.1f | "
              "%.1f | %s |\n",
              name(mode), covers ? "on" : "off", listName(list), speed, r.frames,
              share(r.framesUncovered), share(r.framesMoving), share(r.framesOverGlyph), r.largest,
              r.uncoveredSeconds, r.motionSeconds, r.designSeconds, r.restLargestPlace,
              r.motionSeconds > 0 ? sim::name(static_cast<sim::Sensitive>(worst)) : "-");
        }
      }
    }
  }
  return 0;
}
