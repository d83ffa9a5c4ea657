#include <BlurLayout/LatestMessages.hpp>
#include <BlurLayout/WhatsAppStructure.hpp>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <optional>

namespace velvix {

namespace {

constexpr std::size_t kChainLength = WhatsAppStructure::latestMessageCount;

// Messages further apart than this are not taken for neighbours in the conversation.
constexpr double kMaxGap = 60;

// maxY as a sort key: a NaN sorts as the lowest, which keeps the ordering a strict weak one.
double sortableMaxY(const Rect& r) noexcept {
  const double y = r.maxY();
  return std::isnan(y) ? -std::numeric_limits<double>::infinity() : y;
}

bool contains(const std::vector<std::string>& chain, const std::string& key) {
  return std::find(chain.begin(), chain.end(), key) != chain.end();
}

}  // namespace

void LatestMessages::apply(DetectedElements& elements, bool canRemember) {
  if (!elements.conversationKey) return;
  auto& messages = elements.messages;
  const std::size_t n = messages.size();

  // Bottom-most first; position[i] is message i's place in that order.
  std::vector<std::size_t> order(n);
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    return sortableMaxY(messages[a].frame) > sortableMaxY(messages[b].frame);
  });
  std::vector<std::size_t> position(n);
  for (std::size_t p = 0; p < n; ++p) {
    position[order[p]] = p;
  }

  // The message directly above message i, when it is close enough to be its neighbour and has a
  // key to remember it by.
  const auto above = [&](std::size_t i) -> std::optional<std::size_t> {
    const std::size_t p = position[i];
    if (p + 1 >= n) return std::nullopt;
    const std::size_t j = order[p + 1];
    const double gap = messages[i].frame.minY() - messages[j].frame.maxY();
    if (!(gap <= kMaxGap) || messages[j].key.empty()) return std::nullopt;  // also NaN
    return j;
  };

  std::vector<std::string> chain;
  if (const auto it = chains.find(*elements.conversationKey); it != chains.end()) {
    chain = it->second;
  }

  // Refresh: the list shows its bottom, so its bottom-most messages are the latest. A chain that
  // starts with the same messages keeps the older ones it remembered.
  if (canRemember && elements.isShowingLatestMessages && n > 0 && !messages[order[0]].key.empty()) {
    std::vector<std::string> keys{messages[order[0]].key};
    std::size_t last = order[0];
    while (keys.size() < kChainLength) {
      const auto next = above(last);
      if (!next) break;
      keys.push_back(messages[*next].key);
      last = *next;
    }
    const bool isPrefix =
        keys.size() <= chain.size() && std::equal(keys.begin(), keys.end(), chain.begin());
    if (!isPrefix) chain = std::move(keys);
  }

  // Extend: a short chain grows upwards from its oldest message when that is on screen.
  while (!chain.empty() && chain.size() < kChainLength && n > 0) {
    const auto it = std::find_if(messages.begin(), messages.end(),
                                 [&](const auto& m) { return m.key == chain.back(); });
    if (it == messages.end()) break;
    const auto a = above(static_cast<std::size_t>(it - messages.begin()));
    if (!a || contains(chain, messages[*a].key)) break;
    chain.push_back(messages[*a].key);
  }

  for (auto& m : messages) {
    m.isLatest = !m.key.empty() && contains(chain, m.key);
  }
  chains[*elements.conversationKey] = std::move(chain);
}

}  // namespace velvix
