// Nothing private in sight while the lists scroll: the whole application against the simulated
// WhatsApp in virtual time, every element read taking time while the lists go on moving.

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

}  // namespace
}  // namespace velvix
