#include <Velvix/Platform/Log.hpp>

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

namespace velvix::platform {
namespace {

struct CapturingSink final : LogSink {
  std::vector<LogRecord> records;
  std::vector<std::string> formats;
  void write(const LogRecord& record) override {
    records.push_back(record);
    formats.emplace_back(record.format);
  }
};

TEST(Log, RendersEveryPlaceholderKind) {
  CapturingSink sink;
  const Logger logger(sink, "window");
  logger.log("WhatsApp window back after %.*f s, blurs visible %{bool}d, on this Space %{bool}d",
             Fixed{2, 0.2}, true, false);
  logger.log("Summary: window %u %ld,%ld read %{public}s 100%%", std::uint32_t{42}, -12L, 7L,
             std::string("used"));
  logger.debug("%{public}s", "NSWorkspaceActiveSpaceDidChangeNotification");

  ASSERT_EQ(sink.records.size(), 3u);
  EXPECT_EQ(sink.records[0].text,
            "WhatsApp window back after 0.20 s, blurs visible true, on this Space false");
  EXPECT_EQ(sink.records[1].text, "Summary: window 42 -12,7 read used 100%");
  EXPECT_EQ(sink.records[2].text, "NSWorkspaceActiveSpaceDidChangeNotification");
  EXPECT_EQ(sink.records[0].subsystem, "app.velvix.Velvix");
  EXPECT_EQ(sink.records[0].category, "window");
  EXPECT_EQ(sink.records[0].level, LogLevel::standard);
  EXPECT_EQ(sink.records[2].level, LogLevel::debug);
  EXPECT_EQ(sink.formats[1], "Summary: window %u %ld,%ld read %{public}s 100%%");
}

TEST(Log, FixedPrecisionRoundsAndSurvivesNonFiniteValues) {
  const struct {
    const char* name;
    Fixed value;
    const char* expected;
  } cases[] = {
      {"precision 0 rounds to nearest", {0, 119.6}, "120"},
      {"precision 2", {2, 0.204999}, "0.20"},
      {"negative precision counts as 0", {-3, 2.5}, "2"},
      {"precision 17 is the most", {17, 0.5}, "0.50000000000000000"},
      {"more counts as 17", {18, 0.5}, "0.50000000000000000"},
      {"64 characters are cut to 63",
       {17, 1e46},
       "9999999999999999931398190359470212947659194368.0000000000000000"},
      {"and so is anything longer",
       {17, 1e300},
       "100000000000000005250476025520442024870446858110815915491585411"},
      {"NaN", {2, std::nan("")}, "nan"},
      {"infinity", {1, INFINITY}, "inf"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(renderLogLine("%.*f", {detail::toLogArg(c.value)}), c.expected);
  }
}

// Compile-time contract: these would not compile, which is the point of LogFormat.
static_assert(detail::formatTakes("%ld", std::array{detail::LogArgKind::signedInt}.data(), 1));
static_assert(!detail::formatTakes("%ld", std::array{detail::LogArgKind::unsignedInt}.data(), 1));
static_assert(!detail::formatTakes("%u", std::array{detail::LogArgKind::wideUnsigned}.data(), 1));
static_assert(!detail::formatTakes("%{public}s %ld", std::array{detail::LogArgKind::string}.data(),
                                   1));
static_assert(!detail::formatTakes("%d", std::array{detail::LogArgKind::signedInt}.data(), 1));
static_assert(detail::formatTakes("100%% done", nullptr, 0));

}  // namespace
}  // namespace velvix::platform
