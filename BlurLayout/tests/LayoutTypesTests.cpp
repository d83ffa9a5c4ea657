#include <BlurLayout/LayoutTypes.hpp>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <limits>
#include <string>

namespace velvix {
namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();

TEST(LayoutMetrics, DefaultsEncodeToExactlyTheTenKeys) {
  EXPECT_EQ(LayoutMetrics::defaults, LayoutMetrics{});
  const auto json = LayoutMetrics::defaults.encoded();
  ASSERT_TRUE(json.has_value());
  const auto record = nlohmann::json::parse(*json);
  const nlohmann::json expected = {
      {"railWidth", 220},       {"chatListWidth", 376},    {"chatListHeaderHeight", 100},
      {"avatarSize", 48},       {"avatarInset", 24},       {"conversationHeaderHeight", 56},
      {"composerHeight", 74},   {"composerSideInset", 44}, {"lastMessagesHeight", 170},
      {"revealBandHeight", 90},
  };
  EXPECT_EQ(record, expected);
}

TEST(LayoutMetrics, RoundTripsEveryFieldExactly) {
  LayoutMetrics m;
  double v = 0.1;
  for (double* field : {&m.railWidth, &m.chatListWidth, &m.chatListHeaderHeight, &m.avatarSize,
                        &m.avatarInset, &m.conversationHeaderHeight, &m.composerHeight,
                        &m.composerSideInset, &m.lastMessagesHeight, &m.revealBandHeight}) {
    *field = v;
    v = v * 3.7 + 1.0 / 3;  // distinct, not representable in few digits
  }
  const auto json = m.encoded();
  ASSERT_TRUE(json.has_value());
  EXPECT_EQ(LayoutMetrics::decoded(*json), m);
}

TEST(LayoutMetrics, NonFiniteValuesCannotBeEncoded) {
  const struct {
    const char* name;
    double value;
  } cases[] = {{"NaN", nan}, {"infinity", INFINITY}, {"minus infinity", -INFINITY}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    LayoutMetrics m;
    m.lastMessagesHeight = c.value;
    EXPECT_FALSE(m.encoded().has_value());
  }
}

TEST(LayoutMetrics, DecodingNeedsAllTenNumbers) {
  nlohmann::json full = nlohmann::json::parse(*LayoutMetrics::defaults.encoded());
  const auto without = [&](const char* key) {
    auto j = full;
    j.erase(key);
    return j.dump();
  };
  const auto with = [&](const char* key, nlohmann::json value) {
    auto j = full;
    j[key] = std::move(value);
    return j.dump();
  };
  LayoutMetrics changed;
  changed.avatarSize = 71.6;

  const struct {
    const char* name;
    std::string json;
    std::optional<LayoutMetrics> expected;
  } cases[] = {
      {"complete record", full.dump(), LayoutMetrics::defaults},
      {"unknown keys are ignored", with("theme", "dark"), LayoutMetrics::defaults},
      {"a changed field", with("avatarSize", 71.6), changed},
      {"missing revealBandHeight does not fall back to 90", without("revealBandHeight"),
       std::nullopt},
      {"missing railWidth", without("railWidth"), std::nullopt},
      {"a string instead of a number", with("avatarInset", "24"), std::nullopt},
      {"a boolean instead of a number", with("avatarInset", true), std::nullopt},
      {"null", with("avatarInset", nullptr), std::nullopt},
      {"a number too large for a double", R"({"railWidth":1e999})", std::nullopt},
      {"not an object", "[220, 376]", std::nullopt},
      {"truncated", full.dump().substr(0, 40), std::nullopt},
      {"empty", "", std::nullopt},
      {"invalid UTF-8 in a key", "{\"\xff\":1}", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(LayoutMetrics::decoded(c.json), c.expected);
  }
}

TEST(Reveal, EqualityComparesCaseAndHeight) {
  EXPECT_EQ(Reveal::whole(), Reveal::whole());
  EXPECT_EQ(Reveal::band(90), Reveal::band(90));
  EXPECT_NE(Reveal::band(90), Reveal::band(91));
  EXPECT_NE(Reveal::band(0), Reveal::whole());
  EXPECT_TRUE(Reveal::whole().isWhole());
  EXPECT_EQ(Reveal::band(42).bandHeight(), 42);
  EXPECT_FALSE(Reveal::whole().bandHeight().has_value());
}

TEST(BlurRegion, WithoutHoverAreaHoversOverItsRect) {
  const BlurRegion r(Rect(1, 2, 3, 4), std::nullopt, Reveal::whole(), Shape::circle);
  EXPECT_EQ(r.hoverArea, r.rect);
  EXPECT_FALSE(r.hoverExclusion.has_value());
  // As a failing test or the fuzzer reports it.
  EXPECT_EQ(testing::PrintToString(r), "{rect (1, 2, 3, 4) hover (1, 2, 3, 4) whole circle}");
  const BlurRegion withHover(Rect(1, 2, 3, 4), Rect(0, 0, 10, 10), Reveal::whole(), Shape::circle);
  EXPECT_EQ(withHover.hoverArea, Rect(0, 0, 10, 10));
  EXPECT_NE(r, withHover);
}

TEST(BlurRegion, Subtracting) {
  const Rect hover(-5, -5, 200, 200);
  const auto rounded = [&](Rect r) {
    return BlurRegion(r, hover, Reveal::band(90), Shape::rounded);
  };
  const BlurRegion region(Rect(0, 0, 100, 100), hover, Reveal::band(90), Shape::circle);
  BlurRegion elsewhere(Rect(0, 0, 50, 50), std::nullopt, Reveal::whole(), Shape::circle);
  elsewhere.hoverExclusion = Rect(0, 0, 1000, 1000);
  using Regions = std::vector<BlurRegion>;
  const struct {
    const char* name;
    BlurRegion region;
    Rect hole;
    std::vector<BlurRegion> expected;
  } cases[] = {
      {"hole over the lower half", region, Rect(0, 50, 100, 100),
       Regions{rounded(Rect(0, 0, 100, 50))}},
      {"hole containing it entirely", region, Rect(-10, -10, 200, 200), Regions()},
      {"hole inside: four pieces, sides only beside the hole", region, Rect(40, 40, 20, 20),
       Regions{rounded(Rect(0, 0, 100, 40)), rounded(Rect(0, 60, 100, 40)),
               rounded(Rect(0, 40, 40, 20)), rounded(Rect(60, 40, 40, 20))}},
      {"a 0.9-point piece is dropped", region, Rect(-10, 0.9, 200, 200), Regions()},
      {"a piece of exactly one point is kept", region, Rect(-10, 1, 200, 200),
       Regions{rounded(Rect(0, 0, 100, 1))}},
      {"so is one a point wide, and one 0.9 wide is dropped", region, Rect(1, -10, 98.1, 200),
       Regions{rounded(Rect(0, 0, 1, 100))}},
      {"the hole's right edge beyond the rect leaves no right piece", region,
       Rect(50, -10, 100, 200), Regions{rounded(Rect(0, 0, 50, 100))}},
      // A hole that does not meet the region keeps it as it is, exclusion and all.
      {"a hole far away", elsewhere, Rect(200, 200, 10, 10), Regions{elsewhere}},
      {"a hole touching an edge", elsewhere, Rect(50, 0, 10, 50), Regions{elsewhere}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.region.subtracting(c.hole), c.expected);
  }
}

}  // namespace
}  // namespace velvix
