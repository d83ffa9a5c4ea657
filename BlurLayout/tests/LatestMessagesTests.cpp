#include <BlurLayout/LatestMessages.hpp>

#include <gtest/gtest.h>

#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace velvix {
namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();

struct Row {
  std::string key;
  double top;  // rows are 40 high
};

// One accepted read of the conversation as the memory sees it.
struct Read {
  std::optional<std::string> conversation;
  bool canRemember;
  bool showingLatest;
  std::vector<Row> rows;            // in list order
  std::vector<std::string> chain;   // remembered afterwards for `conversation`
  std::vector<std::string> latest;  // keys marked afterwards, in list order
};

DetectedElements elementsFor(const Read& read) {
  DetectedElements e;
  e.isRead = true;
  e.conversationKey = read.conversation;
  e.isShowingLatestMessages = read.showingLatest;
  for (const Row& r : read.rows) {
    e.messages.push_back({Rect(400, r.top, 600, 40), false, r.key, false});
  }
  return e;
}

// The bottom of the conversation: k1 newest at the bottom, then k2, k3 and k4 upwards, each 10
// points above the one below it.
const std::vector<Row> bottom = {{"k4", 550}, {"k3", 600}, {"k2", 650}, {"k1", 700}};

TEST(LatestMessages, RemembersAcrossReads) {
  const std::string A = "Alice";
  const std::string B = "Bob";
  const struct {
    const char* name;
    std::vector<Read> reads;
  } cases[] = {
      {"first read at the bottom marks the three lowest",
       {{A, true, true, bottom, {"k1", "k2", "k3"}, {"k3", "k2", "k1"}}}},
      {"fresh keys that begin the chain keep its older entry",
       {{A, true, true, bottom, {"k1", "k2", "k3"}, {"k3", "k2", "k1"}},
        {A,
         true,
         true,
         {{"k3", 500}, {"k2", 650}, {"k1", 700}},
         {"k1", "k2", "k3"},
         {"k3", "k2", "k1"}}}},
      {"scrolled up: no refresh, only what is remembered is marked",
       {{A, true, true, bottom, {"k1", "k2", "k3"}, {"k3", "k2", "k1"}},
        {A, true, false, {{"k4", 300}, {"k3", 350}}, {"k1", "k2", "k3"}, {"k3"}}}},
      {"a gap of more than 60 ends the chain",
       {{A, true, true, {{"k2", 600}, {"k1", 701}}, {"k1"}, {"k1"}}}},
      {"a gap of exactly 60 does not",
       {{A, true, true, {{"k2", 600}, {"k1", 700}}, {"k1", "k2"}, {"k2", "k1"}}}},
      {"a new message at the bottom replaces the chain",
       {{A, true, true, bottom, {"k1", "k2", "k3"}, {"k3", "k2", "k1"}},
        {A,
         true,
         true,
         {{"k3", 550}, {"k2", 600}, {"k1", 650}, {"k0", 700}},
         {"k0", "k1", "k2"},
         {"k2", "k1", "k0"}}}},
      {"while scrolling even the bottom teaches nothing",
       {{A, true, true, bottom, {"k1", "k2", "k3"}, {"k3", "k2", "k1"}},
        {A,
         false,
         true,
         {{"k2", 600}, {"k1", 650}, {"k0", 700}},
         {"k1", "k2", "k3"},
         {"k2", "k1"}}}},
      {"a bottom message without key leaves the chain as it was",
       {{A, true, true, bottom, {"k1", "k2", "k3"}, {"k3", "k2", "k1"}},
        {A, true, true, {{"k1", 600}, {"", 650}, {"", 700}}, {"k1", "k2", "k3"}, {"k1"}}}},
      {"a message without key stops the chain above it",
       {{A, true, true, {{"k3", 600}, {"", 650}, {"k1", 700}}, {"k1"}, {"k1"}}}},
      {"a short chain grows upwards once the older message shows",
       {{A, true, true, {{"k2", 500}, {"k1", 700}}, {"k1"}, {"k1"}},
        {A,
         true,
         false,
         {{"k3", 250}, {"k2", 300}, {"k1", 350}},
         {"k1", "k2", "k3"},
         {"k3", "k2", "k1"}}}},
      {"growing stops at a key already remembered",
       {{A, true, true, {{"k1", 700}}, {"k1"}, {"k1"}},
        {A, false, false, {{"k1", 350}, {"k1", 300}}, {"k1"}, {"k1", "k1"}}}},
      {"a read scrolled up before anything was learnt stores an empty chain",
       {{A, true, false, bottom, {}, {}}}},
      {"conversations are remembered apart",
       {{A, true, true, bottom, {"k1", "k2", "k3"}, {"k3", "k2", "k1"}},
        {B, true, true, {{"b2", 650}, {"b1", 700}}, {"b1", "b2"}, {"b2", "b1"}},
        {A, true, false, {{"k4", 300}, {"k3", 350}}, {"k1", "k2", "k3"}, {"k3"}}}},
      {"no messages at all keeps the chain",
       {{A, true, true, bottom, {"k1", "k2", "k3"}, {"k3", "k2", "k1"}},
        {A, true, true, {}, {"k1", "k2", "k3"}, {}}}},
      {"a frame without a usable position sorts last and has no neighbour",
       {{A, true, true, {{"k1", 700}, {"k2", nan}}, {"k1"}, {"k1"}}}},
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
      EXPECT_EQ(memory.chains.at(*read.conversation), read.chain);
      std::vector<std::string> latest;
      for (const auto& m : e.messages) {
        if (m.isLatest) latest.push_back(m.key);
      }
      EXPECT_EQ(latest, read.latest);
    }
  }
}

TEST(LatestMessages, RewritesTheAnalysisMarks) {
  LatestMessages memory;
  DetectedElements e = elementsFor({"Alice", true, true, bottom, {}, {}});
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
  DetectedElements e = elementsFor({std::nullopt, true, true, bottom, {}, {}});
  e.messages[0].isLatest = true;
  const DetectedElements original = e;
  memory.apply(e, true);
  EXPECT_EQ(e, original);
  EXPECT_EQ(memory, before);
}

}  // namespace
}  // namespace velvix
