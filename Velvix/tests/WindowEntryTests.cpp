#include <Velvix/Platform/WindowServer.hpp>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace velvix::platform {
namespace {

// Window-list numbers convert the way the platform bridges numbers: only when the target type
// holds the value exactly. Out-of-range and NaN values must give nothing rather than reach an
// undefined float-to-integer conversion.
TEST(EntryField, NumbersConvertOnlyWhenTheTargetHoldsThemExactly) {
  const double nan = std::nan("");
  constexpr std::uint32_t kUInt32Max = std::numeric_limits<std::uint32_t>::max();
  constexpr std::int32_t kInt32Max = std::numeric_limits<std::int32_t>::max();
  constexpr std::int32_t kInt32Min = std::numeric_limits<std::int32_t>::min();
  const struct {
    const char* name;
    EntryField field;
    std::optional<std::uint32_t> uint32;
    std::optional<std::int32_t> int32;
    std::optional<std::int64_t> integer;
    std::optional<double> real;
  } cases[] = {
      {"a small integer", EntryField(7), 7u, 7, 7, 7.0},
      {"zero", EntryField(0), 0u, 0, 0, 0.0},
      {"zero as a double", EntryField(0.0), 0u, 0, 0, 0.0},
      {"a negative integer", EntryField(-1), std::nullopt, -1, -1, -1.0},
      {"2^32 is no UInt32", EntryField(std::int64_t{1} << 32), std::nullopt, std::nullopt,
       std::int64_t{1} << 32, 4294967296.0},
      {"2^31 is no Int32", EntryField(std::int64_t{1} << 31), 2147483648u, std::nullopt,
       std::int64_t{1} << 31, 2147483648.0},
      {"2^32 - 1 is the largest UInt32", EntryField(std::int64_t{kUInt32Max}), kUInt32Max,
       std::nullopt, kUInt32Max, 4294967295.0},
      {"2^31 - 1 is the largest Int32", EntryField(std::int64_t{kInt32Max}), 2147483647u, kInt32Max,
       kInt32Max, 2147483647.0},
      {"-2^31 is the least Int32", EntryField(std::int64_t{kInt32Min}), std::nullopt, kInt32Min,
       kInt32Min, -2147483648.0},
      {"-2^31 - 1 is no Int32", EntryField(std::int64_t{kInt32Min} - 1), std::nullopt, std::nullopt,
       std::int64_t{kInt32Min} - 1, -2147483649.0},
      {"2^32 - 1 as a double", EntryField(4294967295.0), kUInt32Max, std::nullopt, kUInt32Max,
       4294967295.0},
      {"-2^31 as a double", EntryField(-2147483648.0), std::nullopt, kInt32Min, kInt32Min,
       -2147483648.0},
      {"2^31 as a double is no Int32", EntryField(2147483648.0), 2147483648u, std::nullopt,
       std::int64_t{1} << 31, 2147483648.0},
      {"a whole double", EntryField(3.0), 3u, 3, 3, 3.0},
      {"a fractional double", EntryField(1.5), std::nullopt, std::nullopt, std::nullopt, 1.5},
      {"NaN", EntryField(nan), std::nullopt, std::nullopt, std::nullopt, nan},
      {"infinity", EntryField(std::numeric_limits<double>::infinity()), std::nullopt, std::nullopt,
       std::nullopt, std::numeric_limits<double>::infinity()},
      {"1e19 is beyond every integer", EntryField(1e19), std::nullopt, std::nullopt, std::nullopt,
       1e19},
      {"2^53 + 1 has no exact double", EntryField((std::int64_t{1} << 53) + 1), std::nullopt,
       std::nullopt, (std::int64_t{1} << 53) + 1, std::nullopt},
      {"2^63 as a double is no Int64", EntryField(9223372036854775808.0), std::nullopt,
       std::nullopt, std::nullopt, 9223372036854775808.0},
      {"int64 max has no exact double", EntryField(std::numeric_limits<std::int64_t>::max()),
       std::nullopt, std::nullopt, std::numeric_limits<std::int64_t>::max(), std::nullopt},
      {"a string", EntryField("7"), std::nullopt, std::nullopt, std::nullopt, std::nullopt},
      {"missing", EntryField::missing(), std::nullopt, std::nullopt, std::nullopt, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.field.asUInt32(), c.uint32);
    EXPECT_EQ(c.field.asInt32(), c.int32);
    EXPECT_EQ(c.field.asInteger(), c.integer);
    if (c.real && std::isnan(*c.real)) continue;
    EXPECT_EQ(c.field.asDouble(), c.real);
  }
  EXPECT_TRUE(std::isnan(*EntryField(nan).asDouble()));
}

}  // namespace
}  // namespace velvix::platform
