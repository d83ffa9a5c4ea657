#pragma once

// How strongly the frosted glass blurs: Velvix's own choice beyond the one look the glass had,
// which is `medium`.

#include <optional>
#include <string_view>

namespace velvix {

enum class BlurStrength { light, medium, strong };

/// "light", "medium" or "strong": the stored and the displayed name.
[[nodiscard]] constexpr std::string_view name(BlurStrength strength) {
  switch (strength) {
    case BlurStrength::light:
      return "light";
    case BlurStrength::medium:
      return "medium";
    case BlurStrength::strong:
      return "strong";
  }
  return "medium";
}

[[nodiscard]] constexpr std::optional<BlurStrength> blurStrengthNamed(std::string_view text) {
  for (const auto strength : {BlurStrength::light, BlurStrength::medium, BlurStrength::strong})
    if (name(strength) == text) return strength;
  return std::nullopt;
}

}  // namespace velvix
