#include <BlurLayout/LatestMessages.hpp>

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace velvix {
namespace {

std::vector<std::string> words(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> out;
  for (std::string w; in >> w;) {
    out.push_back(w);
  }
  return out;
}

// One accepted read of the conversation as the memory sees it.
struct Read {
  std::optional<std::string> conversation;
  bool canRemember;
  bool showingLatest;
  std::string rows;    // "key:top" in list order; rows are 40 high, the key may be empty
  std::string chain;   // remembered afterwards for `conversation`
  std::string latest;  // keys marked afterwards, in list order
};

DetectedElements elementsFor(const Read& read) {
  DetectedElements e;
  e.isRead = true;
  e.conversationKey = read.conversation;
  e.isShowingLatestMessages = read.showingLatest;
  for (const std::string& row : words(read.rows)) {
    const auto colon = row.find(':');
    const double top = std::strtod(row.c_str() + colon + 1, nullptr);
    e.messages.push_back({Rect(400, top, 600, 40), false, row.substr(0, colon), false});
  }
  return e;
}

// The bottom of the conversation: k1 newest at the bottom, then k2, k3 and k4 upwards, each 10
// points above the one below it.
const std::string bottom = "k4:550 k3:600 k2:650 k1:700";

TEST(LatestMessages, RemembersAcrossReads) {
  const std::string A = "Alice";
  const std::string B = "Bob";
  const Read first{A, true, true, bottom, "k1 k2 k3", "k3 k2 k1"};
  const struct {
    const char* name;
    std::vector<Read> reads;
  } cases[] = {
      {"first read at the bottom marks the three lowest", {first}},
      {"fresh keys that begin the chain keep its older entry",
       {first, {A, true, true, "k3:500 k2:650 k1:700", "k1 k2 k3", "k3 k2 k1"}}},
      {"scrolled up: no refresh, only what is remembered is marked",
       {first, {A, true, false, "k4:300 k3:350", "k1 k2 k3", "k3"}}},
      {"a gap of more than 60 ends the chain", {{A, true, true, "k2:600 k1:701", "k1", "k1"}}},
      {"a gap of exactly 60 does not", {{A, true, true, "k2:600 k1:700", "k1 k2", "k2 k1"}}},
      {"a new message at the bottom replaces the chain",
       {first, {A, true, true, "k3:550 k2:600 k1:650 k0:700", "k0 k1 k2", "k2 k1 k0"}}},
      {"while scrolling even the bottom teaches nothing",
       {first, {A, false, true, "k2:600 k1:650 k0:700", "k1 k2 k3", "k2 k1"}}},
      {"a bottom message without key leaves the chain as it was",
       {first, {A, true, true, "k1:600 :650 :700", "k1 k2 k3", "k1"}}},
      {"a message without key stops the chain above it",
       {{A, true, true, "k3:600 :650 k1:700", "k1", "k1"}}},
      {"a short chain grows upwards once the older message shows",
       {{A, true, true, "k2:500 k1:700", "k1", "k1"},
        {A, true, false, "k3:250 k2:300 k1:350", "k1 k2 k3", "k3 k2 k1"}}},
      {"growing stops at a key already remembered",
       {{A, true, true, "k1:700", "k1", "k1"}, {A, false, false, "k1:350 k1:300", "k1", "k1 k1"}}},
      {"a read scrolled up before anything was learnt stores an empty chain",
       {{A, true, false, bottom, "", ""}}},
      {"conversations are remembered apart",
       {first,
        {B, true, true, "b2:650 b1:700", "b1 b2", "b2 b1"},
        {A, true, false, "k4:300 k3:350", "k1 k2 k3", "k3"}}},
      {"no messages at all keeps the chain", {first, {A, true, true, "", "k1 k2 k3", ""}}},
      {"a frame without a usable position sorts last and has no neighbour",
       {{A, true, true, "k1:700 k2:nan", "k1", "k1"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    LatestMessages memory;
    for (std::size_t r = 0; r < c.reads.size(); ++r) {
      SCOPED_TRACE("read " + std::to_string(r + 1));
      const Read& read = c.reads[r];
      DetectedElements e = elementsFor(read);
      memory.apply(e, read.canRemember);
      ASSERT_TRUE(memory.chains.count(*read.conversation));
      EXPECT_EQ(memory.chains.at(*read.conversation), words(read.chain));
      std::vector<std::string> latest;
      for (const auto& m : e.messages) {
        if (m.isLatest) latest.push_back(m.key);
      }
      EXPECT_EQ(latest, words(read.latest));
    }
  }
}

TEST(LatestMessages, RewritesTheAnalysisMarks) {
  LatestMessages memory;
  DetectedElements e = elementsFor({"Alice", true, true, bottom, "", ""});
  for (auto& m : e.messages) {
    m.isLatest = true;
  }
  e.messages.push_back({Rect(400, 800, 600, 40), false, "", true});
  e.isShowingLatestMessages = false;  // nothing to learn, nothing remembered
  memory.apply(e, true);
  for (const auto& m : e.messages) {
    EXPECT_FALSE(m.isLatest) << m;
  }
}

TEST(LatestMessages, LeavesAReadWithoutConversationAlone) {
  LatestMessages memory;
  memory.chains["Alice"] = {"k1"};
  const LatestMessages before = memory;
  DetectedElements e = elementsFor({std::nullopt, true, true, bottom, "", ""});
  e.messages[0].isLatest = true;
  const DetectedElements original = e;
  memory.apply(e, true);
  EXPECT_EQ(e, original);
  EXPECT_EQ(memory, before);
}

}  // namespace
}  // namespace velvix
