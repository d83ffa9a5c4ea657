#include <BlurLayout/WhatsAppStructure.hpp>

#include "AnalysisHelpers.hpp"
#include "Text.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

namespace velvix::WhatsAppStructure {

namespace {

using analysis::ChatRowFinder;
using analysis::NodeList;
using analysis::Role;

// max(value, 0) that also turns NaN into 0.
constexpr double atLeastZero(double value) noexcept {
  return value > 0 ? value : 0;
}

double area(const Rect& r) noexcept {
  return r.isNull() ? 0 : r.width() * r.height();
}

bool nearlyEqual(double a, double b, double tolerance) noexcept {
  return std::fabs(a - b) < tolerance;
}

// Frames are compared within a point: each, grown by a point on every side, holds the other.
bool sameFrameWithinOnePoint(const Rect& a, const Rect& b) noexcept {
  return a.insetBy(-1, -1).contains(b) && b.insetBy(-1, -1).contains(a);
}

// Roughly square and of thumbnail size.
bool isThumbnailSized(const Rect& r) noexcept {
  const Size size = r.standardized().size;
  return size.width >= 30 && size.width <= 300 && std::fabs(size.width - size.height) <= 2;
}

// maxY as a sort key; a NaN (only possible in values built by hand) sorts as the lowest, so the
// ordering stays a strict weak one.
double sortableMaxY(const Rect& r) noexcept {
  const double y = r.maxY();
  return std::isnan(y) ? -std::numeric_limits<double>::infinity() : y;
}

// One run of the analysis. Each step is a method, in the order they run; the working values
// shared between steps are members.
class Analyzer {
 public:
  Analyzer(std::span<const AccessibilityNode> nodes, Size windowSize)
      : nodes_(nodes), rows_(nodes_), W_(windowSize.width), H_(windowSize.height) {
    result_.elements.isRead = true;
  }

  Analysis run() && {
    findComposer();
    findChatList();
    if (!G_) findConversationByLayout();
    if (G_) {
      findHeader();
      findMessageArea();
      readMessages();
    }
    findImages();
    readSheet();
    findMediaThumbnails();
    return std::move(result_);
  }

 private:
  DetectedElements& out() { return result_.elements; }

  // The input field gives the composer and, through its siblings, the conversation.
  void findComposer() {
    const auto T = nodes_.firstTextArea();
    if (!T || !nodes_.parent(*T)) return;
    out().composer = nodes_.frame(*T).insetBy(-12, -10);
    const std::size_t parent = *nodes_.parent(*T);
    double largest = -1;
    for (const std::size_t child : nodes_.children(parent)) {
      if (nodes_.role(child) != Role::group) continue;
      const double a = area(nodes_.frame(child));
      if (a > largest) {
        largest = a;
        G_ = child;
      }
    }
    if (G_) {
      PP_ = parent;
      R_ = nodes_.frame(*T);
    }
  }

  // The left-quarter group with the most rows of one size is the chat list.
  void findChatList() {
    std::size_t mostRows = 0;
    for (std::size_t i = 0; i < nodes_.size(); ++i) {
      if (nodes_.role(i) != Role::group || i == G_ || !(nodes_.frame(i).minX() < 0.25 * W_)) {
        continue;
      }
      const std::size_t count = rows_.rowsIn(i).size();
      if (count >= 3 && count > mostRows) {
        mostRows = count;
        C_ = i;
      }
    }
    if (!C_) return;

    const Rect CF = nodes_.frame(*C_);
    Rect L = CF;

    // The navigation rail at the window's left edge is not part of the list. A group reaching
    // as far right as the list (the list itself, when it is no wider than a rail, or a panel of
    // its frame) is no rail of it: taking it for one would leave a list of zero width, and so
    // nothing of the chat list blurred.
    std::optional<double> railRight;
    for (std::size_t i = 0; i < nodes_.size(); ++i) {
      const Rect& f = nodes_.frame(i);
      if (nodes_.role(i) == Role::group && f.minX() < 30 && f.width() >= 40 && f.width() <= 400 &&
          f.height() > 0.6 * H_ && f.minX() >= CF.minX() - 1 && f.maxX() < CF.maxX()) {
        if (!railRight || f.maxX() > *railRight) railRight = f.maxX();
      }
    }
    if (railRight && CF.minX() < *railRight) {
      L = Rect(*railRight, CF.minY(), atLeastZero(CF.maxX() - *railRight), CF.height());
    }

    // Nor is the list header above it, a flat group of the list's width (not one of its rows).
    for (std::size_t i = 0; i < nodes_.size(); ++i) {
      const Rect& f = nodes_.frame(i);
      if (i == *C_ || nodes_.parent(i) == C_ || nodes_.role(i) != Role::group) continue;
      if (f.minY() < CF.minY() + 30 && nearlyEqual(f.minX(), CF.minX(), 2) &&
          nearlyEqual(f.width(), CF.width(), 2) && f.height() < 150) {
        if (L.minY() < f.maxY()) {
          L = Rect(L.minX(), f.maxY(), L.width(), atLeastZero(L.maxY() - f.maxY()));
        }
        break;
      }
    }

    const auto rows = rows_.rowsIn(*C_);
    out().chatList = L;
    out().chatRows.assign(rows.begin(), rows.end());
    result_.scroll.chatList = C_;

    // A panel (new chat, archived chats...) can lie exactly over the list as a sibling of it.
    const auto parent = nodes_.parent(*C_);
    if (!parent) return;
    std::optional<std::size_t> firstPanel;
    std::size_t panels = 0;
    for (const std::size_t sibling : nodes_.children(*parent)) {
      if (nodes_.role(sibling) != Role::group || nodes_.children(sibling).empty() ||
          !sameFrameWithinOnePoint(nodes_.frame(sibling), CF)) {
        continue;
      }
      if (!firstPanel) firstPanel = sibling;
      ++panels;
    }
    if (panels < 2) return;

    out().chatRows.clear();
    out().contactRows.clear();
    for (const std::size_t child : nodes_.children(*firstPanel)) {
      const Rect& f = nodes_.frame(child);
      if (nodes_.role(child) == Role::heading || !(f.width() >= 150)) continue;
      if (f.height() >= 60 && f.height() <= 150) out().chatRows.push_back(f);
      if (f.height() >= 50 && f.height() < 60) out().contactRows.push_back(f);
    }
    out().isChatListCovered = true;
    result_.scroll.chatList = firstPanel;
  }

  // Without an input field, the conversation is the tall group right of the chat list
  // with the most message-like children.
  void findConversationByLayout() {
    const double leftLimit = C_ ? nodes_.frame(*C_).maxX() - 2 : 0.25 * W_;
    std::optional<std::size_t> M;
    std::size_t bestCount = 0;
    double bestArea = 0;
    for (std::size_t i = 0; i < nodes_.size(); ++i) {
      const Rect& f = nodes_.frame(i);
      // A null frame's minX is +infinity, which would pass the left limit.
      if (nodes_.role(i) != Role::group || f.isNull() || !(f.minX() >= leftLimit) ||
          !(f.height() >= 0.5 * H_) || nodes_.isInSheet(i)) {
        continue;
      }
      const std::size_t count = analysis::messageCount(nodes_, i);
      if (count == 0) continue;
      const double a = area(f);
      if (!M || count > bestCount || (count == bestCount && a < bestArea)) {
        M = i;
        bestCount = count;
        bestArea = a;
      }
    }
    if (!M || !nodes_.parent(*M)) return;

    G_ = M;
    PP_ = nodes_.parent(*M);
    // The composer reference is the pane's lowest other child.
    for (const std::size_t child : nodes_.children(*PP_)) {
      const Rect& f = nodes_.frame(child);
      if (child == *M || f.isNull()) continue;
      if (!R_ || f.maxY() > R_->maxY()) R_ = f;
    }
  }

  // The header is a short group of the pane's width at the pane's top.
  void findHeader() {
    const Rect PF = nodes_.frame(*PP_);
    for (std::size_t i = 0; i < nodes_.size(); ++i) {
      const Rect& f = nodes_.frame(i);
      if (nodes_.role(i) == Role::group && nearlyEqual(f.minX(), PF.minX(), 2) &&
          nearlyEqual(f.width(), PF.width(), 2) && f.minY() < PF.minY() + 30 && f.height() >= 20 &&
          f.height() <= 120) {
        header_ = i;
        break;
      }
    }
    if (!header_) return;
    out().conversationHeader = nodes_.frame(*header_);
    for (const std::size_t child : nodes_.children(*header_)) {
      if (nodes_.role(child) == Role::button) {
        out().conversationTitle = nodes_.frame(child);
        break;
      }
    }
  }

  // The visible part of the conversation, between header and composer.
  void findMessageArea() {
    const Rect PF = nodes_.frame(*PP_);
    Rect A = nodes_.frame(*G_).intersection(PF);
    if (header_) {
      const double top = nodes_.frame(*header_).maxY();
      if (A.minY() < top) A = Rect(A.minX(), top, A.width(), atLeastZero(A.maxY() - top));
    }
    if (R_) {
      const double limit = R_->minY() - atLeastZero(PF.maxY() - R_->maxY());
      if (limit < A.maxY()) A = Rect(A.minX(), A.minY(), A.width(), atLeastZero(limit - A.minY()));
    }
    out().messageArea = A;
    result_.scroll.messages = G_;
  }

  // The message rows, and whether the newest of them are on screen.
  void readMessages() {
    auto& messages = out().messages;
    messages.reserve(nodes_.children(*G_).size());
    for (const std::size_t child : nodes_.children(*G_)) {
      const Rect& f = nodes_.frame(child);
      if (nodes_.role(child) == Role::heading || !(f.height() >= 24)) continue;
      analysis::MessageLabel label = analysis::readMessageLabel(nodes_.label(child));
      messages.push_back({f, label.isMedia, std::move(label.key), false});
    }

    const Rect area = *out().messageArea;
    bool hasJumpButton = false;
    for (const std::size_t child : nodes_.children(*PP_)) {
      const Rect& f = nodes_.frame(child);
      if (child != *G_ && f.width() <= 80 && f.height() <= 80 &&
          area.contains(Point{f.midX(), f.midY()})) {
        hasJumpButton = true;
        break;
      }
    }

    double bottom = area.maxY();
    if (!messages.empty()) {
      bottom = messages.front().frame.maxY();
      for (const auto& m : messages) {
        if (m.frame.maxY() > bottom) bottom = m.frame.maxY();
      }
    }
    out().isShowingLatestMessages = !hasJumpButton && bottom <= area.maxY() + 20;

    if (out().isShowingLatestMessages) {
      std::vector<std::size_t> order(messages.size());
      std::iota(order.begin(), order.end(), std::size_t{0});
      std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return sortableMaxY(messages[a].frame) > sortableMaxY(messages[b].frame);
      });
      const std::size_t marked =
          std::min(order.size(), static_cast<std::size_t>(latestMessageCount));
      for (std::size_t k = 0; k < marked; ++k) {
        messages[order[k]].isLatest = true;
      }
    }

    const std::string_view key = nodes_.label(*G_);
    if (!key.empty()) {
      out().conversationKey =
          text::scan(key).isWellFormed ? std::string(key) : text::wellFormed(key);
    }
  }

  // Images big enough to show something.
  void findImages() {
    for (std::size_t i = 0; i < nodes_.size(); ++i) {
      const Rect& f = nodes_.frame(i);
      if (nodes_.role(i) == Role::image && f.width() >= 56 && f.height() >= 56) {
        out().images.push_back(f);
      }
    }
  }

  // A contact or group sheet: its picture, names and media.
  void readSheet() {
    const auto S = nodes_.firstSheet();
    if (!S) return;
    const Rect SF = nodes_.frame(*S);
    out().sheet = SF;
    const std::vector<std::size_t> D = nodes_.descendantsOf(*S);

    double widest = 0;
    for (const std::size_t i : D) {
      const Rect& f = nodes_.frame(i);
      if (nodes_.role(i) == Role::button && f.width() >= 80 &&
          std::fabs(f.width() - f.height()) < 2 && (!out().sheetPicture || f.width() > widest)) {
        out().sheetPicture = f;
        widest = f.width();
      }
    }

    auto& names = out().sheetNames;
    for (const std::size_t i : D) {
      const Rect& f = nodes_.frame(i);
      if (nodes_.role(i) != Role::heading || !(f.width() > 4 && f.height() > 4)) continue;
      names.push_back(f);
      const auto parent = nodes_.parent(i);
      const auto grandparent = parent ? nodes_.parent(*parent) : std::nullopt;
      if (grandparent) {
        for (const std::size_t text : nodes_.children(*grandparent)) {
          if (nodes_.role(text) == Role::staticText) names.push_back(nodes_.frame(text));
        }
      }
      break;
    }
    for (const std::size_t i : D) {
      if (nodes_.label(i) == "Phone number") {
        names.push_back(nodes_.frame(i));
        break;
      }
    }

    const double bodyTop = SF.minY() + 56;
    const Rect body(SF.minX(), bodyTop, SF.width(), atLeastZero(SF.maxY() - bodyTop));
    for (const std::size_t i : D) {
      const Rect& f = nodes_.frame(i);
      if (nodes_.role(i) != Role::staticText || !isThumbnailSized(f)) continue;
      const Rect clipped = f.intersection(body);
      if (!clipped.isNull() && clipped.height() >= 1) out().sheetThumbnails.push_back(clipped);
    }
  }

  // Media thumbnails elsewhere: not the message rows, not inside a sheet. Those in the chat
  // list's rows are kept whole wherever they are, for the layout to move them with the list and
  // clip them: one out of sight now may scroll into it before the next read. Any other must be
  // at least a point into the chat list (or the window), and is kept whole too.
  void findMediaThumbnails() {
    const Rect clip = out().chatList.value_or(Rect(0, 0, W_, H_));
    std::vector<bool> inList(nodes_.size(), false);
    if (const auto list = result_.scroll.chatList) {
      for (const std::size_t i : nodes_.descendantsOf(*list))
        inList[i] = true;
    }
    for (std::size_t i = 0; i < nodes_.size(); ++i) {
      const Rect& f = nodes_.frame(i);
      if (!isThumbnailSized(f) || nodes_.isInSheet(i)) continue;
      if (G_ && nodes_.parent(i) == G_) continue;
      // In the chat list's rows, one without a label may still be a photo (a WhatsApp that no
      // longer labels its elements): it is blurred rather than left in sight.
      const std::string_view label = nodes_.label(i);
      if (label.empty() ? !inList[i] : !analysis::isMediaLabel(label)) continue;
      const Rect clipped = f.intersection(clip);
      if (inList[i] || (!clipped.isNull() && clipped.height() >= 1))
        out().mediaThumbnails.push_back(f);
    }
  }

  const NodeList nodes_;
  ChatRowFinder rows_;
  const double W_;
  const double H_;
  Analysis result_;

  std::optional<std::size_t> G_;   // conversation group
  std::optional<std::size_t> PP_;  // conversation pane, G's parent
  std::optional<std::size_t> C_;   // chat list container
  std::optional<std::size_t> header_;
  std::optional<Rect> R_;  // composer reference: its top bounds the message area
};

}  // namespace

Analysis analyze(std::span<const AccessibilityNode> nodes, Size windowSize) {
  return Analyzer(nodes, windowSize).run();
}

DetectedElements parse(std::span<const AccessibilityNode> nodes, Size windowSize) {
  return analyze(nodes, windowSize).elements;
}

std::string messageKey(std::string_view label) {
  return analysis::messageKey(label);
}

bool isMediaLabel(std::string_view label) {
  return analysis::isMediaLabel(label);
}

}  // namespace velvix::WhatsAppStructure
