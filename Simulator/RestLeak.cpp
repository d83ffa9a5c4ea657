#include "RestLeak.hpp"

#include "AppSession.hpp"
#include "OverlayCoverage.hpp"

#include <algorithm>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

namespace velvix::sim {

RestLeak measureRestLeak(const RestLeakRun& setup) {
  AppSessionOptions options;
  options.state = longAccount();
  options.model.treeChange = setup.treeChange;
  options.model.elementReadCost = setup.elementCost;
  options.usesAccessibility = setup.mode != LeakMode::layout;
  options.followsScrolling = setup.mode != LeakMode::withoutFollowing;
  options.coversUnrecognised = setup.coversUnrecognised;
  AppSession session(options);
  session.moveMouseAway();

  // Sampled at the display's rate: once nothing changes, the display ticker may rest.
  RestLeak leak;
  std::vector<std::string> worst;  // the report of the sample that left the most in sight
  const auto sample = [&] {
    WhatsAppModel& whatsApp = session.whatsApp();
    const auto areas = sensitiveAreas(whatsApp.scene(), options.options);
    const auto patches =
        overlayPatches(session.desktop().toolkit(), session.desktop().windowServer(),
                       whatsApp.state().windowFrame);
    const Coverage left = uncovered(areas, patches, {});
    if (setup.report && left.uncovered > leak.uncovered) {
      worst.clear();
      for (const SensitiveArea& a : areas) {
        const double inSight = uncovered(std::span(&a, 1), patches, {}).uncovered;
        if (inSight == 0) continue;
        char line[160];
        std::snprintf(line, sizeof line, "at rest: %6.0f pt2 of %s at (%.0f, %.0f, %.0f x %.0f)",
                      inSight, name(a.category), a.rect.minX(), a.rect.minY(), a.rect.width(),
                      a.rect.height());
        worst.emplace_back(line);
      }
    }
    leak.uncovered = std::max(leak.uncovered, left.uncovered);
    leak.largestPlace = std::max(leak.largestPlace, left.largestArea);
  };

  session.start();
  session.runFor(std::chrono::milliseconds(1500));
  for (int k = 0; k < 30; ++k) {
    session.runFor(std::chrono::duration_cast<Duration>(std::chrono::duration<double>(1.0 / 60)));
    sample();
  }
  leak.status = session.controller().status();
  for (const std::string& line : worst)
    setup.report(line);
  return leak;
}

}  // namespace velvix::sim
