#include <BlurLayout/Snapshot.hpp>

#include <ostream>

namespace velvix {

bool DetectedElements::lostContent(const DetectedElements& comparedTo) const {
  const DetectedElements& previous = comparedTo;
  // A read that sees only a sheet loses nothing: what lies behind it is kept from before.
  const bool onlySheet = sheet && !chatList && !messageArea;
  const bool rowsLost = !onlySheet && !previous.chatRows.empty() && chatRows.empty() &&
                        contactRows.empty() && !isChatListCovered;
  const bool allLost =
      (previous.chatList || previous.messageArea) && !chatList && !messageArea && !sheet;
  return rowsLost || allLost;
}

DetectedElements DetectedElements::withContentBehindSheet(
    const std::optional<DetectedElements>& from) const {
  if (!sheet || chatList || messageArea || !from) return *this;
  DetectedElements merged = *from;
  merged.sheet = sheet;
  merged.sheetPicture = sheetPicture;
  merged.sheetNames = sheetNames;
  merged.sheetThumbnails = sheetThumbnails;
  return merged;
}

namespace {

template <typename T>
void printOptional(std::ostream& os, const char* name, const std::optional<T>& value) {
  if (value) os << ' ' << name << ' ' << *value;
}

void printRects(std::ostream& os, const char* name, const std::vector<Rect>& rects) {
  if (rects.empty()) return;
  os << ' ' << name << " [";
  const char* separator = "";
  for (const Rect& r : rects) {
    os << separator << r;
    separator = ", ";
  }
  os << ']';
}

}  // namespace

std::ostream& operator<<(std::ostream& os, const AccessibilityNode& node) {
  os << '{' << node.role << " \"" << node.label << "\" " << node.frame;
  if (node.parent) os << " parent " << *node.parent;
  return os << '}';
}

std::ostream& operator<<(std::ostream& os, const DetectedElements::Message& message) {
  return os << '{' << message.frame << (message.isMedia ? " media" : "") << " key \"" << message.key
            << '"' << (message.isLatest ? " latest" : "") << '}';
}

std::ostream& operator<<(std::ostream& os, const DetectedElements& e) {
  os << '{' << (e.isRead ? "read" : "layout");
  printOptional(os, "conversation", e.conversationKey);
  printOptional(os, "chatList", e.chatList);
  printRects(os, "chatRows", e.chatRows);
  printRects(os, "contactRows", e.contactRows);
  if (e.isChatListCovered) os << " covered";
  printOptional(os, "header", e.conversationHeader);
  printOptional(os, "title", e.conversationTitle);
  printOptional(os, "messageArea", e.messageArea);
  if (!e.messages.empty()) {
    os << " messages [";
    const char* separator = "";
    for (const auto& m : e.messages) {
      os << separator << m;
      separator = ", ";
    }
    os << ']';
  }
  if (!e.isShowingLatestMessages) os << " scrolled-up";
  printOptional(os, "composer", e.composer);
  printRects(os, "images", e.images);
  printOptional(os, "sheet", e.sheet);
  printOptional(os, "sheetPicture", e.sheetPicture);
  printRects(os, "sheetNames", e.sheetNames);
  printRects(os, "mediaThumbnails", e.mediaThumbnails);
  printRects(os, "sheetThumbnails", e.sheetThumbnails);
  return os << '}';
}

}  // namespace velvix
