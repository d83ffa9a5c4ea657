// Decodes raw bytes as a stored measurements record, as a settings file edited by hand or
// written by another version may hold, and checks what must hold for any input: no crash or
// sanitizer report, a decoded record holds finite numbers only, and it is stored and read back
// exactly.

#include "FuzzCheck.hpp"

#include <BlurLayout/LayoutTypes.hpp>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string_view>

using velvix::fuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Settings records are small; a huge input only slows the search down.
  if (size > 64 * 1024) return -1;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto metrics = velvix::LayoutMetrics::decoded(text);
  if (!metrics) return 0;
  const double fields[] = {
      metrics->railWidth,       metrics->chatListWidth,     metrics->chatListHeaderHeight,
      metrics->avatarSize,      metrics->avatarInset,       metrics->conversationHeaderHeight,
      metrics->composerHeight,  metrics->composerSideInset, metrics->lastMessagesHeight,
      metrics->revealBandHeight};
  for (const double field : fields)
    check(std::isfinite(field), "a decoded record holds finite numbers");
  const auto stored = metrics->encoded();
  check(stored.has_value(), "a decoded record can be stored");
  check(velvix::LayoutMetrics::decoded(*stored) == metrics, "a stored record reads back exactly");
  return 0;
}
