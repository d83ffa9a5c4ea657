#include "Backend.hpp"

namespace velvix {

std::variant<const BackendEntry*, std::string> chooseBackend(
    std::span<const BackendEntry> entries, std::optional<std::string_view> requested) {
  if (requested) {
    for (const BackendEntry& entry : entries) {
      if (entry.name != *requested) continue;
      if (auto why = entry.whyNot()) {
        return "the " + std::string(entry.name) + " backend cannot run here: " + *why;
      }
      return &entry;
    }
    std::string names;
    for (const BackendEntry& entry : entries)
      names += (names.empty() ? "" : ", ") + std::string(entry.name);
    return "there is no backend named \"" + std::string(*requested) + "\" (this build has " +
           names + ")";
  }
  std::optional<std::string> firstReason;
  for (const BackendEntry& entry : entries) {
    if (entry.onlyWhenAsked) continue;
    auto why = entry.whyNot();
    if (!why) return &entry;
    if (!firstReason) firstReason = std::move(why);
  }
  return firstReason.value_or("this build has no backend for a real desktop");
}

}  // namespace velvix
