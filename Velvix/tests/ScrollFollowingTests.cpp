#include <Velvix/ScrollFollowing.hpp>

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace velvix
