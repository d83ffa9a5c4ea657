#include <Velvix/ScrollFollowing.hpp>

#include <gtest/gtest.h>

#include <cmath>

namespace velvix {
namespace {

TEST(ScrollFollowing, ExtrapolationIsCappedAtFiftyMilliseconds) {
  const ScrollSample sample{10.0, {5, -20}};
  const ScrollOffset velocity{100, -400};
  const struct {
    const char* name;
    double now;
    ScrollOffset expected;
  } cases[] = {
      {"at the sample", 10.0, {5, -20}},
      {"20 ms later", 10.02, {7, -28}},
      {"exactly 50 ms later", 10.05, {10, -40}},
      {"a measurement 0.2 s old moves 0.05 s of velocity only", 10.2, {10, -40}},
      {"a clock before the sample moves back no further than it says", 9.99, {4, -16}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const ScrollOffset s = extrapolatedScroll(sample, velocity, c.now);
    EXPECT_NEAR(s.chatList, c.expected.chatList, 1e-9);
    EXPECT_NEAR(s.messages, c.expected.messages, 1e-9);
  }
}

TEST(ScrollFollowing, VelocityIsSmoothedByHalves) {
  const ScrollSample sample{1.0, {0, 0}};
  const struct {
    const char* name;
    ScrollOffset velocity;
    ScrollOffset offset;
    double time;
    ScrollOffset expected;
  } cases[] = {
      {"from rest", {0, 0}, {10, -30}, 1.1, {50, -150}},
      {"half the old speed stays", {200, 200}, {10, -30}, 1.1, {150, -50}},
      {"samples 1 ms apart change nothing", {7, 8}, {10, -30}, 1.001, {7, 8}},
      {"a sample older than the last changes nothing", {7, 8}, {10, -30}, 0.5, {7, 8}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const ScrollOffset v = smoothedVelocity(c.velocity, sample, c.offset, c.time);
    EXPECT_NEAR(v.chatList, c.expected.chatList, 1e-9);
    EXPECT_NEAR(v.messages, c.expected.messages, 1e-9);
  }
}

TEST(ScrollFollowing, AMovingListIsTrustedOnlyWhenMeasuredSinceItsLastTurnWithinAFrame) {
  using List = MovingLists::List;
  constexpr double kTurn = 100.0;  // media time of the last turn over the messages
  constexpr double kFrame = MovingLists::kFreshMeasurement;
  const struct {
    const char* name;
    double measured;  // when the last measurement began
    double now;
    double moved = 0;
    bool smeared = false;
    bool untrusted;
  } cases[] = {
      {"measured since the turn", kTurn + 0.002, kTurn + 0.01, 0, false, false},
      {"measured at the very moment of the turn", kTurn, kTurn + 0.01, 0, false, true},
      {"measured before it", kTurn - 0.001, kTurn + 0.01, 0, false, true},
      {"a measurement exactly a frame old", kTurn + 0.002, kTurn + 0.002 + kFrame, 0, false, false},
      {"one older than a frame", kTurn + 0.002, kTurn + 0.003 + kFrame, 0, false, true},
      {"moved half its height since the read", kTurn + 0.002, kTurn + 0.01, -300, false, false},
      {"moved further", kTurn + 0.002, kTurn + 0.01, -300.5, false, true},
      {"a move that is no number", kTurn + 0.002, kTurn + 0.01, std::nan(""), false, true},
      {"its last read smeared", kTurn + 0.002, kTurn + 0.01, 0, true, true},
      {"at rest, unmeasured and smeared", kTurn - 1, kTurn + 0.4, -1000, true, false},
      {"just before rest", kTurn - 1, kTurn + 0.399, 0, false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    MovingLists lists;
    lists.read(kTurn - 2, false, c.smeared);
    lists.wheel(List::messages, kTurn);
    lists.measured(c.measured);
    EXPECT_EQ(lists.isUntrusted(List::messages, c.now, c.moved, 600), c.untrusted);
    EXPECT_FALSE(lists.isUntrusted(List::chatList, c.now, c.moved, 600))
        << "the other list was not turned";
  }
}

}  // namespace
}  // namespace velvix
