#pragma once

// Builds accessibility snapshots for tests in a few readable lines, and prints analyses as
// indented text for golden comparisons.

#include <BlurLayout/Snapshot.hpp>
#include <BlurLayout/WhatsAppStructure.hpp>

#include <cstddef>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace velvix::testing {

/// Nodes are appended in call order, so parents always come before their children; each call
/// returns the new node's index for use as a parent.
class TreeBuilder {
 public:
  std::size_t root(const std::string& role, Rect frame, const std::string& label = "") {
    return append(role, frame, label, std::nullopt);
  }
  std::size_t add(std::size_t parent, const std::string& role, Rect frame,
                  const std::string& label = "") {
    return append(role, frame, label, parent);
  }

  std::size_t group(std::size_t parent, Rect frame, const std::string& label = "") {
    return add(parent, "AXGroup", frame, label);
  }
  std::size_t text(std::size_t parent, Rect frame, const std::string& label = "") {
    return add(parent, "AXStaticText", frame, label);
  }
  std::size_t button(std::size_t parent, Rect frame, const std::string& label = "") {
    return add(parent, "AXButton", frame, label);
  }
  std::size_t image(std::size_t parent, Rect frame, const std::string& label = "") {
    return add(parent, "AXImage", frame, label);
  }
  std::size_t heading(std::size_t parent, Rect frame, const std::string& label = "") {
    return add(parent, "AXHeading", frame, label);
  }

  [[nodiscard]] const std::vector<AccessibilityNode>& nodes() const { return nodes_; }
  [[nodiscard]] std::vector<AccessibilityNode>& nodes() { return nodes_; }

 private:
  std::size_t append(const std::string& role, Rect frame, const std::string& label,
                     std::optional<std::size_t> parent) {
    nodes_.push_back({role, label, frame, parent});
    return nodes_.size() - 1;
  }
  std::vector<AccessibilityNode> nodes_;
};

/// One field per line, lists indented below their name; absent and empty fields are left out,
/// so a dump shows what the analysis found.
inline std::string dump(const WhatsAppStructure::Analysis& analysis) {
  const DetectedElements& e = analysis.elements;
  std::ostringstream os;
  const auto rect = [&](const char* name, const std::optional<Rect>& r) {
    if (r) os << name << ' ' << *r << '\n';
  };
  const auto rects = [&](const char* name, const std::vector<Rect>& list) {
    if (list.empty()) return;
    os << name << '\n';
    for (const Rect& r : list) {
      os << "  " << r << '\n';
    }
  };
  os << (e.isRead ? "read" : "layout") << '\n';
  if (e.conversationKey) os << "conversation \"" << *e.conversationKey << "\"\n";
  rect("chatList", e.chatList);
  rects("chatRows", e.chatRows);
  rects("contactRows", e.contactRows);
  if (e.isChatListCovered) os << "chatList covered\n";
  rect("header", e.conversationHeader);
  rect("title", e.conversationTitle);
  rect("messageArea", e.messageArea);
  if (!e.messages.empty()) {
    os << "messages\n";
    for (const auto& m : e.messages) {
      os << "  " << m.frame << " \"" << m.key << '"' << (m.isMedia ? " media" : "")
         << (m.isLatest ? " latest" : "") << '\n';
    }
  }
  os << (e.isShowingLatestMessages ? "showing latest\n" : "scrolled up\n");
  rect("composer", e.composer);
  rects("images", e.images);
  rect("sheet", e.sheet);
  rect("sheetPicture", e.sheetPicture);
  rects("sheetNames", e.sheetNames);
  rects("mediaThumbnails", e.mediaThumbnails);
  rects("sheetThumbnails", e.sheetThumbnails);
  const auto index = [](const std::optional<std::size_t>& i) {
    return i ? std::to_string(*i) : std::string("-");
  };
  os << "scroll chatList " << index(analysis.scroll.chatList) << " messages "
     << index(analysis.scroll.messages) << '\n';
  return os.str();
}

}  // namespace velvix::testing
