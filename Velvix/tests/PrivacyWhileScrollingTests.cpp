// Nothing private in sight while the lists scroll: the whole application against the simulated
// WhatsApp in virtual time, every element read taking time while the lists go on moving. And no
// more in sight than the layout mode leaves when a WhatsApp update changes its tree.

#include <Simulator/RestLeak.hpp>
#include <Simulator/ScrollLeak.hpp>

#include <gtest/gtest.h>

#include <chrono>

namespace velvix {
namespace {

using namespace std::chrono_literals;
using List = sim::WhatsAppModel::List;
using sim::LeakMode;

TEST(PrivacyWhileScrolling, NoFrameShowsACharactersWorthThatTheLayoutWouldCover) {
  const struct {
    const char* name;
    LeakMode mode;
    List list;
    bool covers;
    sim::Duration elementCost;
  } cases[] = {
      {"messages, patches alone", LeakMode::precise, List::messages, false, 100us},
      {"chat list, patches alone", LeakMode::precise, List::chatList, false, 100us},
      {"messages, slow reads, covered while untrusted", LeakMode::precise, List::messages, true,
       300us},
      {"chat list, slow reads, covered while untrusted", LeakMode::precise, List::chatList, true,
       300us},
      {"layout mode, the latest messages' band scrolled away", LeakMode::layout, List::messages,
       false, 100us},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const sim::ScrollLeak leak = sim::measureScrollLeak({.mode = c.mode,
                                                         .list = c.list,
                                                         .speed = 1500,
                                                         .coversMovingLists = c.covers,
                                                         .elementCost = c.elementCost,
                                                         .seconds = 1});
    ASSERT_EQ(leak.frames, 60);
    EXPECT_EQ(leak.framesOverGlyph, 0) << "largest motion leak " << leak.largest << " pt2";
    // Everything left in sight, the layout's own leak included: nowhere a character's worth.
    EXPECT_LE(leak.largestUncovered, sim::kGlyphArea);
    EXPECT_LE(leak.restLargestPlace, sim::kGlyphArea);
  }
}

TEST(PrivacyWhenWhatsAppChanges, NoMoreInSightThanTheLayoutModeWhileCoveringUnrecognised) {
  using Kind = OverlayController::Status::Kind;
  using sim::TreeChange;
  const double layout = sim::measureRestLeak({.mode = LeakMode::layout}).uncovered;
  const struct {
    TreeChange change;
    bool defeatsRecognition;
  } cases[] = {
      {TreeChange::none, false},
      {TreeChange::rolesRenamed, true},
      {TreeChange::extraLevel, false},
      {TreeChange::labelsEmpty, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(sim::name(c.change));
    const sim::RestLeak on = sim::measureRestLeak({.treeChange = c.change});
    EXPECT_EQ(on.status.kind == Kind::unrecognised, c.defeatsRecognition) << on.status;
    EXPECT_LE(on.uncovered, layout);
    if (!c.defeatsRecognition) continue;
    // Scrolled back through the messages, the band kept for the latest ones closes as in
    // layout mode.
    const sim::ScrollLeak scrolled =
        sim::measureScrollLeak({.list = List::messages, .treeChange = c.change, .seconds = 1});
    EXPECT_LE(scrolled.largestUncovered, sim::kGlyphArea);
    // The switch is what covers it.
    const auto off = sim::measureRestLeak({.treeChange = c.change, .coversUnrecognised = false});
    EXPECT_GT(off.uncovered, layout + sim::kGlyphArea);
  }
}

}  // namespace
}  // namespace velvix
