#pragma once

// Remembers, per conversation, which messages are the latest, so that they stay readable after
// the user scrolls away from the bottom of the conversation.

#include <BlurLayout/Snapshot.hpp>

#include <map>
#include <string>
#include <vector>

namespace velvix {

struct LatestMessages {
  /// Conversation key → message keys of its latest messages, newest first, at most three.
  std::map<std::string, std::vector<std::string>> chains;

  /// Learns from `elements` what it can and rewrites every message's `isLatest` from memory.
  /// `canRemember` is false while the user scrolls, when the list need not show its bottom.
  void apply(DetectedElements& elements, bool canRemember);

  friend bool operator==(const LatestMessages&, const LatestMessages&) = default;
};

}  // namespace velvix
