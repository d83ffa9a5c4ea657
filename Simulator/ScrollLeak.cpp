#include "ScrollLeak.hpp"

#include "AppSession.hpp"
#include "OverlayCoverage.hpp"

#include <BlurLayout/BlurLayout.hpp>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

namespace velvix::sim {

namespace {

using namespace std::chrono_literals;
using List = WhatsAppModel::List;

constexpr double kRefresh = 60;
constexpr double kSettleSeconds = 1.5;
constexpr auto kWheelPhase = 4ms;  // wheel events arrive this long after a refresh

[[gnu::format(printf, 1, 2)]] std::string format(const char* pattern, ...) {
  char buffer[256];
  va_list arguments;
  va_start(arguments, pattern);
  std::vsnprintf(buffer, sizeof buffer, pattern, arguments);
  va_end(arguments);
  return buffer;
}

}  // namespace

const char* name(LeakMode mode) {
  switch (mode) {
    case LeakMode::precise:
      return "precise";
    case LeakMode::withoutFollowing:
      return "precise, no follow loop";
    case LeakMode::layout:
      return "layout";
  }
  return "?";
}

WhatsAppState longAccount() {
  WhatsAppState s = WhatsAppState::sample();
  const char* first[] = {"Alex", "Bea", "Carl", "Dana", "Eli", "Fay", "Gus", "Hana", "Ilse", "Joe"};
  const char* last[] = {"Moreau", "Novak", "Ortiz", "Park", "Quinn", "Reyes", "Stone", "Tanaka"};
  const char* words[] = {"see you there", "thanks a lot", "the file is attached", "call me back",
                         "running late",  "sounds good",  "what time works",      "on my way"};
  for (int i = 0; i < 110; ++i)
    s.chats.push_back({.name = std::string(first[i % 10]) + " " + last[(i / 10) % 8],
                       .preview = words[i % 8],
                       .time = "Monday",
                       .previewIsPhoto = i % 13 == 5});
  std::vector<WhatsAppMessage> history;
  for (int i = 0; i < 160; ++i) {
    WhatsAppMessage m;
    m.kind = i % 11 == 4 ? WhatsAppMessage::Kind::photo : WhatsAppMessage::Kind::text;
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

ScrollLeak measureScrollLeak(const ScrollLeakRun& setup) {
  const LeakMode mode = setup.mode;
  const List list = setup.list;
  AppSessionOptions options;
  options.coversMovingLists = setup.coversMovingLists;
  options.coversUnrecognised = setup.coversUnrecognised;
  options.model.treeChange = setup.treeChange;
  options.model.elementReadCost = setup.elementCost;
  options.state = longAccount();
  options.followsScrolling = mode != LeakMode::withoutFollowing;
  options.isTrusted = mode != LeakMode::layout;
  AppSession session(options);
  WhatsAppModel& whatsApp = session.whatsApp();
  const BlurOptions blur = options.options;
  const LayoutMetrics metrics = options.metrics;

  // The pointer over the list that scrolls, as it must be for the wheel to reach it.
  const Rect viewport = whatsApp.viewport(list);
  const Point pointer{viewport.midX(), viewport.minY() + viewport.height() * 0.45};
  session.moveMouse(pointer);

  ScrollLeak run;
  bool measuring = false;
  bool atRest = false;
  const double frameSeconds = 1 / kRefresh;
  double measureUntil = 0;  // media time: a read under way may run the session past the scroll
  session.onDisplayFrame([&] {
    if (!measuring && !atRest) return;
    if (measuring && session.desktop().scheduler().mediaTime() > measureUntil) return;
    const Scene scene = whatsApp.scene();
    const auto areas = sensitiveAreas(scene, blur);
    // What the options leave readable on purpose: the unit under the pointer (whole reveal),
    // or in layout mode the band the pointer opens in the list's column. A precise overlay that
    // recognises nothing of the tree blurs as layout mode does, its band included.
    const bool asLayout =
        mode == LeakMode::layout ||
        session.controller().status().kind == OverlayController::Status::Kind::unrecognised;
    std::vector<Rect> revealed;
    for (const SensitiveArea& a : areas)
      if (a.unit.contains(pointer)) revealed.push_back(a.unit);
    if (asLayout)
      revealed.emplace_back(viewport.minX(), pointer.y - metrics.revealBandHeight / 2,
                            viewport.width(), metrics.revealBandHeight);
    const auto patches =
        overlayPatches(session.desktop().toolkit(), session.desktop().windowServer(),
                       whatsApp.state().windowFrame);
    // The ideal overlay: the layout of what the tree holds right now.
    const DetectedElements now = asLayout ? DetectedElements() : whatsApp.recognisable();
    const auto regions =
        BlurLayout::regions(whatsApp.state().windowFrame.size, metrics, blur, now, {});
    std::vector<CoverPatch> ideal;
    for (const VisibleBlur& b : BlurLayout::visibleBlurs(regions, pointer))
      ideal.push_back({b.rect, b.shape});
    const Coverage all = uncovered(areas, patches, revealed);
    const Coverage design = uncovered(areas, ideal, revealed);
    if (atRest) {
      if (setup.report && run.restTotal == 0 && design.uncovered > 0) {
        for (const SensitiveArea& a : areas) {
          const double left = uncovered(std::span(&a, 1), ideal, revealed).uncovered;
          if (left > 0)
            setup.report(format("at rest: %6.0f pt2 of %s at (%.0f, %.0f, %.0f x %.0f)", left,
                                name(a.category), a.rect.minX(), a.rect.minY(), a.rect.width(),
                                a.rect.height()));
        }
      }
      run.restLargestPlace = std::max(run.restLargestPlace, design.largestArea);
      run.restTotal = std::max(run.restTotal, design.uncovered);
      return;
    }
    const Coverage motion = uncovered(areas, patches, revealed, std::span(ideal));
    ++run.frames;
    if (all.uncovered > 0) ++run.framesUncovered;
    if (motion.uncovered > 0) ++run.framesMoving;
    if (motion.uncovered > kGlyphArea) ++run.framesOverGlyph;
    run.largest = std::max(run.largest, motion.uncovered);
    run.largestUncovered = std::max(run.largestUncovered, all.uncovered);
    run.motionSeconds += motion.uncovered * frameSeconds;
    run.uncoveredSeconds += all.uncovered * frameSeconds;
    run.designSeconds += design.uncovered * frameSeconds;
    for (std::size_t k = 0; k < motion.byCategory.size(); ++k)
      run.byCategory[k] += motion.byCategory[k] * frameSeconds;
    if (setup.report && all.uncovered > 0) {
      std::string line = format("frame %3d: %6.0f pt2 uncovered, %6.0f from motion (", run.frames,
                                all.uncovered, motion.uncovered);
      for (std::size_t k = 0; k < motion.byCategory.size(); ++k)
        if (motion.byCategory[k] > 0)
          line += format(" %s %.0f", name(static_cast<Sensitive>(k)), motion.byCategory[k]);
      setup.report(line + format(" ), list at %.0f", whatsApp.scrollPosition(list)));
    }
  });

  // Start where a user would: the conversation at its newest message, the chat list at its top.
  session.start();
  const auto seconds = [](double s) {
    return std::chrono::duration_cast<Duration>(std::chrono::duration<double>(s));
  };
  session.runFor(seconds(kSettleSeconds - 0.5));
  atRest = true;
  session.runFor(seconds(0.5));
  atRest = false;

  // Back in time through the messages; down through the chat list: wheel steps at the world's
  // own times, a few milliseconds after each refresh.
  const double step = (list == List::messages ? -setup.speed : setup.speed) / kRefresh;
  const int steps = static_cast<int>(setup.seconds * kRefresh);
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

}  // namespace velvix::sim
