// What a correct structure analysis of the simulated WhatsApp's tree recognises: the model
// knows what it put there.

#include "WhatsAppLayout.hpp"

#include <algorithm>

namespace velvix::sim {

namespace {

using List = WhatsAppModel::List;

constexpr std::size_t index(List list) {
  return static_cast<std::size_t>(list);
}

}  // namespace

DetectedElements WhatsAppModel::recognisable() const {
  DetectedElements e;
  e.isRead = true;
  const Layout& L = *layout_;
  if (L.sheet) {
    e.sheet = L.sheet;
    e.sheetPicture = L.sheetPicture;
    e.sheetNames = L.sheetNames;
    e.sheetThumbnails = L.sheetThumbnails;
  }
  if (state_.sheet && state_.sheet->treeShowsOnlySheet) return e;

  // Where the tree has the element now, window-relative, computed as a reader gets it (global
  // position less the window's origin), so that the rounding agrees too.
  const Point o = origin();
  auto frameNow = [&](List list, Rect r) {
    return r.offsetBy(o.x, o.y).offsetBy(0, -offset(list)).offsetBy(-o.x, -o.y);
  };
  auto itemsOf = [&](List list) {
    std::vector<const Layout::Item*> items;
    for (const auto& p : lists_[index(list)].items)
      items.push_back(&L.lists[index(list)].items[static_cast<std::size_t>(p.index)]);
    return items;
  };

  // The chat list is recognised once it holds three rows of one size.
  const auto chatItems = itemsOf(List::chatList);
  const auto panelItems = itemsOf(List::panel);
  // The analysis groups a container's rows by size; panel rows come in two sizes.
  std::size_t panelGroup = 0;
  for (auto kind : {Layout::Item::Kind::tallRow, Layout::Item::Kind::contactRow})
    panelGroup = std::max<std::size_t>(
        panelGroup, std::count_if(panelItems.begin(), panelItems.end(),
                                  [kind](const Layout::Item* item) { return item->kind == kind; }));
  if (chatItems.size() >= 3 || panelGroup >= 3) {
    e.chatList = L.chatListArea;
    if (state_.panel && !panelItems.empty() && !chatItems.empty()) {
      e.isChatListCovered = true;
      for (const auto* item : panelItems) {
        const Rect r = frameNow(List::panel, item->frame);
        (item->kind == Layout::Item::Kind::contactRow ? e.contactRows : e.chatRows).push_back(r);
      }
    } else {
      for (const auto* item : chatItems)
        e.chatRows.push_back(frameNow(List::chatList, item->frame));
    }
  }

  if (state_.conversation) {
    e.composer = L.textArea->insetBy(-12, -10);
    e.conversationHeader = L.header;
    e.conversationTitle = L.title;
    e.messageArea = L.messageArea;
    if (!state_.conversation->title.empty()) e.conversationKey = state_.conversation->title;
    for (const auto* item : itemsOf(List::messages))
      e.messages.push_back(
          {frameNow(List::messages, item->frame), item->isMedia, item->key, false});
    double bottom = L.messageArea.maxY();
    if (!e.messages.empty()) {
      bottom = e.messages.front().frame.maxY();
      for (const auto& m : e.messages)
        bottom = std::max(bottom, m.frame.maxY());
    }
    e.isShowingLatestMessages = !jumpButton_ && bottom <= L.messageArea.maxY() + 20;
    if (e.isShowingLatestMessages) {
      std::vector<std::size_t> order(e.messages.size());
      for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
      std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return e.messages[a].frame.maxY() > e.messages[b].frame.maxY();
      });
      for (std::size_t k = 0; k < order.size() && k < 3; ++k)
        e.messages[order[k]].isLatest = true;
    }
    for (const auto* item : itemsOf(List::messages))
      if (item->image) {
        const Rect image = frameNow(List::messages, *item->image);
        if (image.width() >= 56 && image.height() >= 56) e.images.push_back(image);
      }
  }

  // Photo thumbnails of chat rows, whole, wherever the list has them; behind a panel (the rows
  // stay in the tree) only those at least a point into the list.
  const Rect clip = e.chatList.value_or(Rect(0, 0, L.size.width, L.size.height));
  for (const auto* item : chatItems) {
    if (!item->thumbnail) continue;
    const Rect frame = frameNow(List::chatList, *item->thumbnail);
    const Rect visible = frame.intersection(clip);
    if (!e.isChatListCovered || (!visible.isNull() && visible.height() >= 1))
      e.mediaThumbnails.push_back(frame);
  }
  return e;
}

}  // namespace velvix::sim
