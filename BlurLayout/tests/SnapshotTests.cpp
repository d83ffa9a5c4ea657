#include <BlurLayout/Snapshot.hpp>

#include <gtest/gtest.h>

#include <string>

namespace velvix {
namespace {

DetectedElements withRows(int count) {
  DetectedElements e;
  e.isRead = true;
  e.chatList = Rect(68, 60, 332, 840);
  for (int i = 0; i < count; ++i) {
    e.chatRows.emplace_back(68, 60 + 72 * i, 332, 72);
  }
  return e;
}

TEST(DetectedElements, LostContent) {
  DetectedElements nothing;
  nothing.isRead = true;
  const auto with = [&](void (*change)(DetectedElements&)) {
    DetectedElements e = nothing;
    change(e);
    return e;
  };
  const Rect list(68, 60, 332, 840);
  const auto covered = with([](DetectedElements& e) { e.isChatListCovered = true; });
  const auto conversation = with([](DetectedElements& e) { e.messageArea = Rect(1, 2, 3, 4); });
  const auto sheetOnly = with([](DetectedElements& e) { e.sheet = Rect(1, 2, 3, 4); });
  DetectedElements emptyList = nothing;
  emptyList.chatList = list;
  DetectedElements emptyCoveredList = emptyList;
  emptyCoveredList.isChatListCovered = true;
  DetectedElements contactsInList = emptyList;
  contactsInList.contactRows = {Rect(68, 60, 332, 56)};
  DetectedElements emptyListAndSheet = emptyList;
  emptyListAndSheet.sheet = sheetOnly.sheet;
  const struct {
    const char* name;
    DetectedElements previous;
    DetectedElements next;
    bool expected;
  } cases[] = {
      {"rows gone", withRows(3), emptyList, true},
      {"rows gone while the list is covered", withRows(3), emptyCoveredList, false},
      {"covered but everything else gone too", withRows(3), covered, true},
      {"rows replaced by contact rows", withRows(3), contactsInList, false},
      {"rows still there", withRows(3), withRows(1), false},
      {"previous had nothing", nothing, nothing, false},
      {"previous had nothing, next has rows", nothing, withRows(3), false},
      {"conversation gone behind a sheet", conversation, sheetOnly, false},
      {"rows gone behind a sheet", withRows(3), sheetOnly, false},
      {"rows gone from a list read with a sheet", withRows(3), emptyListAndSheet, true},
      {"conversation gone without a sheet", conversation, nothing, true},
      {"conversation kept", conversation, conversation, false},
      {"chat list gone, conversation appears", emptyList, conversation, false},
      {"layout-mode previous", DetectedElements(), nothing, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.next.lostContent(c.previous), c.expected);
  }
}

TEST(DetectedElements, WithContentBehindSheet) {
  DetectedElements previous = withRows(3);
  previous.conversationKey = "Alice";
  previous.messageArea = Rect(400, 60, 800, 770);
  previous.messages = {{Rect(400, 100, 600, 40), false, "Hi, 9:41", true}};
  previous.isShowingLatestMessages = false;
  previous.composer = Rect(448, 835, 704, 56);
  previous.images = {Rect(500, 200, 200, 200)};
  previous.mediaThumbnails = {Rect(100, 100, 40, 40)};
  previous.sheet = Rect(1, 1, 1, 1);
  previous.sheetNames = {Rect(2, 2, 2, 2)};

  DetectedElements sheetOnly;
  sheetOnly.isRead = true;
  sheetOnly.sheet = Rect(300, 100, 600, 700);
  sheetOnly.sheetPicture = Rect(550, 150, 100, 100);
  sheetOnly.sheetNames = {Rect(500, 260, 200, 30)};
  sheetOnly.sheetThumbnails = {Rect(320, 500, 80, 80)};

  DetectedElements merged = previous;
  merged.sheet = sheetOnly.sheet;
  merged.sheetPicture = sheetOnly.sheetPicture;
  merged.sheetNames = sheetOnly.sheetNames;
  merged.sheetThumbnails = sheetOnly.sheetThumbnails;

  DetectedElements sheetWithList = sheetOnly;
  sheetWithList.chatList = Rect(68, 60, 332, 840);
  DetectedElements sheetWithConversation = sheetOnly;
  sheetWithConversation.messageArea = Rect(400, 60, 800, 770);
  DetectedElements noSheet = sheetOnly;
  noSheet.sheet.reset();

  const struct {
    const char* name;
    DetectedElements next;
    std::optional<DetectedElements> previous;
    DetectedElements expected;
  } cases[] = {
      {"only a sheet: content from before, sheet from now", sheetOnly, previous, merged},
      {"no previous read", sheetOnly, std::nullopt, sheetOnly},
      {"the read sees the chat list itself", sheetWithList, previous, sheetWithList},
      {"the read sees the conversation itself", sheetWithConversation, previous,
       sheetWithConversation},
      {"no sheet", noSheet, previous, noSheet},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.next.withContentBehindSheet(c.previous), c.expected);
  }
  // The merged value keeps the previous read's content and flags, not this read's.
  const DetectedElements result = sheetOnly.withContentBehindSheet(previous);
  EXPECT_EQ(result.messages, previous.messages);
  EXPECT_FALSE(result.isShowingLatestMessages);
  EXPECT_EQ(result.mediaThumbnails, previous.mediaThumbnails);
  EXPECT_EQ(result.sheetThumbnails, sheetOnly.sheetThumbnails);
}

}  // namespace
}  // namespace velvix
