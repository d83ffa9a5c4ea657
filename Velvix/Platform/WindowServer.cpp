#include "WindowServer.hpp"

#include <cmath>

namespace velvix::platform {

namespace {

// The range checks come before any conversion: casting an out-of-range or NaN double to an
// integer is undefined behaviour.
template <typename Int>
std::optional<Int> exactInteger(double value, double lowest, double pastHighest) {
  if (!(value >= lowest && value < pastHighest) || std::trunc(value) != value) return std::nullopt;
  return static_cast<Int>(value);
}

}  // namespace

std::optional<std::uint32_t> EntryField::asUInt32() const {
  if (const auto* i = std::get_if<std::int64_t>(&v_)) {
    if (*i < 0 || *i > std::int64_t{0xFFFFFFFF}) return std::nullopt;
    return static_cast<std::uint32_t>(*i);
  }
  if (const auto* d = std::get_if<double>(&v_))
    return exactInteger<std::uint32_t>(*d, 0, 4294967296.0);
  return std::nullopt;
}

std::optional<std::int32_t> EntryField::asInt32() const {
  if (const auto* i = std::get_if<std::int64_t>(&v_)) {
    if (*i < INT32_MIN || *i > INT32_MAX) return std::nullopt;
    return static_cast<std::int32_t>(*i);
  }
  if (const auto* d = std::get_if<double>(&v_))
    return exactInteger<std::int32_t>(*d, -2147483648.0, 2147483648.0);
  return std::nullopt;
}

std::optional<std::int64_t> EntryField::asInteger() const {
  if (const auto* i = std::get_if<std::int64_t>(&v_)) return *i;
  if (const auto* d = std::get_if<double>(&v_))
    return exactInteger<std::int64_t>(*d, -9223372036854775808.0, 9223372036854775808.0);
  return std::nullopt;
}

std::optional<double> EntryField::asDouble() const {
  if (const auto* d = std::get_if<double>(&v_)) return *d;
  if (const auto* i = std::get_if<std::int64_t>(&v_)) {
    const double d = static_cast<double>(*i);
    // Exact only when converting back gives the same integer; 2^63 itself has no int64.
    if (d >= 9223372036854775808.0 || static_cast<std::int64_t>(d) != *i) return std::nullopt;
    return d;
  }
  return std::nullopt;
}

std::optional<Rect> EntryField::asRect() const {
  if (const auto* r = std::get_if<Rect>(&v_)) return *r;
  return std::nullopt;
}

SpaceTransform screenFlip(const WindowServer& server) {
  const auto screens = server.screens();
  return SpaceTransform::flipped(screens.empty() ? 0 : screens.front().height());
}

}  // namespace velvix::platform
