#include "WhatsAppModel.hpp"

#include "WhatsAppLayout.hpp"

#include <algorithm>
#include <cmath>
#include <utility>

namespace velvix::sim {

namespace {

using List = WhatsAppModel::List;

constexpr std::size_t index(List list) {
  return static_cast<std::size_t>(list);
}

}  // namespace

const char* name(TreeChange change) {
  switch (change) {
    case TreeChange::none:
      return "none";
    case TreeChange::rolesRenamed:
      return "roles renamed";
    case TreeChange::extraLevel:
      return "extra level";
    case TreeChange::labelsEmpty:
      return "labels empty";
  }
  return "?";
}

double WhatsAppModel::estimateTextWidth(std::string_view text, double fontSize, bool bold) {
  double em = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if ((c & 0xC0) == 0x80) continue;  // a continuation byte of a UTF-8 sequence
    if (c == ' ')
      em += 0.32;
    else if (std::string_view(".,:;'|!il").find(static_cast<char>(c)) != std::string_view::npos)
      em += 0.3;
    else if (c >= 0xE0)
      em += 1.0;  // CJK and emoji are about square
    else if ((c >= 'A' && c <= 'Z') || c == 'm' || c == 'w' || c == 'M' || c == 'W')
      em += 0.75;
    else
      em += 0.62;
  }
  return em * fontSize * (bold ? 1.08 : 1.0);
}

WhatsAppModel::WhatsAppModel(Desktop& desktop, WhatsAppState state, Options options)
    : desktop_(desktop), options_(std::move(options)) {
  if (!options_.measureText) options_.measureText = &WhatsAppModel::estimateTextWidth;
  desktop_.windowServer().addApplication(
      {.pid = options_.pid, .bundleIdentifier = options_.bundleIdentifier});
  windowNumber_ = desktop_.windowServer().addWindow(
      {.pid = options_.pid, .ownerName = "WhatsApp", .bounds = state.windowFrame});
  app_ = desktop_.accessibility().addApplication(options_.pid);
  setState(std::move(state));
}

WhatsAppModel::~WhatsAppModel() {
  if (windowElement_) desktop_.accessibility().remove(windowElement_);
  desktop_.windowServer().removeWindow(windowNumber_);
}

void WhatsAppModel::setState(WhatsAppState state) {
  Rect frame = state.windowFrame.standardized();
  if (!(frame.width() >= Geometry::minimumWidth)) frame.size.width = Geometry::minimumWidth;
  if (!(frame.height() >= Geometry::minimumHeight)) frame.size.height = Geometry::minimumHeight;
  state.windowFrame = frame;
  state_ = std::move(state);
  layout_ = layOut(state_, options_.measureText);
  desktop_.windowServer().window(windowNumber_).bounds = state_.windowFrame;
  // Clamp the positions to what the content allows.
  state_.scroll.chatList = std::clamp(state_.scroll.chatList, 0.0, scrollRange(List::chatList));
  state_.scroll.messagesFromBottom =
      std::clamp(state_.scroll.messagesFromBottom, 0.0, scrollRange(List::messages));
  if (state_.panel)
    state_.panel->scroll = std::clamp(state_.panel->scroll, 0.0, scrollRange(List::panel));
  publish();
}

double WhatsAppModel::scrollRange(List list) const {
  const auto& l = layout_->lists[index(list)];
  if (!l.isShown) return 0;
  return std::max(0.0, l.contentBottom - l.viewport.maxY());
}

Rect WhatsAppModel::viewport(List list) const {
  const auto& l = layout_->lists[index(list)];
  return l.isShown ? l.viewport : Rect::null();
}

double WhatsAppModel::scrollPosition(List list) const {
  switch (list) {
    case List::chatList:
      return state_.scroll.chatList;
    case List::panel:
      return state_.panel ? state_.panel->scroll : 0;
    case List::messages:
      return state_.scroll.messagesFromBottom;
  }
  return 0;
}

// How far the content has moved up from where it was laid out.
double WhatsAppModel::offset(List list) const {
  if (list == List::messages) return scrollRange(List::messages) - state_.scroll.messagesFromBottom;
  return scrollPosition(list);
}

ElementId WhatsAppModel::container(List list) const {
  return lists_[index(list)].container;
}

std::vector<ElementId> WhatsAppModel::publishedItems(List list) const {
  std::vector<ElementId> ids = {};
  for (const auto& p : lists_[index(list)].items)
    ids.push_back(p.roots.back());
  return ids;
}

std::vector<int> WhatsAppModel::publishedIndices(List list) const {
  std::vector<int> indices = {};
  for (const auto& p : lists_[index(list)].items)
    indices.push_back(p.index);
  return indices;
}

void WhatsAppModel::publish() {
  SimAccessibility& ax = desktop_.accessibility();
  if (windowElement_) ax.remove(windowElement_);
  lists_ = {};
  jumpButton_.reset();
  pane_ = 0;
  if (options_.treeChange == TreeChange::extraLevel) {
    AxNode window = layout_->window;
    AxNode level{.role = "AXGroup", .frame = window.frame, .children = std::move(window.children)};
    window.children = {std::move(level)};
    windowElement_ = publish(app_, window);
  } else {
    windowElement_ = publish(app_, layout_->window);
  }
  for (List list : {List::chatList, List::panel, List::messages}) {
    if (!lists_[index(list)].container) continue;
    applyOffset(list);
    syncList(list);
  }
  syncJumpButton();
}

ElementSpec WhatsAppModel::published(const AxNode& node) const {
  const Point o = origin();
  ElementSpec definition{.role = node.role, .frame = node.frame.offsetBy(o.x, o.y)};
  if (options_.treeChange == TreeChange::rolesRenamed) {
    if (node.role == "AXGroup") definition.role = "AXLayoutArea";
    if (node.role == "AXStaticText") definition.role = "AXCell";
  }
  if (options_.treeChange == TreeChange::labelsEmpty) return definition;
  if (!node.description.empty()) definition.description = Value(node.description);
  if (!node.title.empty()) definition.title = Value(node.title);
  if (!node.value.empty()) definition.value = Value(node.value);
  return definition;
}

ElementId WhatsAppModel::publish(ElementId parent, const AxNode& node) {
  SimAccessibility& ax = desktop_.accessibility();
  const ElementId id = ax.addChild(parent, published(node));
  ax.setElementCost(id, options_.elementReadCost);
  ++elementsCreated_;
  if (node.list >= 0) lists_[static_cast<std::size_t>(node.list)].container = id;
  // The pane holding the message list is where the jump button goes.
  if (node.list == static_cast<int>(index(List::messages))) pane_ = parent;
  for (const AxNode& child : node.children)
    publish(id, child);
  return id;
}

void WhatsAppModel::applyOffset(List list) {
  if (const ElementId c = container(list))
    desktop_.accessibility().setScrollOffset(c, offset(list));
}

// Keeps the items near the visible area in the tree: removes those that went far, appends
// those that came near (after the others, as a recycling list view adds its new rows).
void WhatsAppModel::syncList(List list) {
  ListState& published = lists_[index(list)];
  if (!published.container) return;
  SimAccessibility& ax = desktop_.accessibility();
  const auto& l = layout_->lists[index(list)];
  const double margin = std::max(0.0, options_.prefetch) * l.viewport.height();
  const double o = offset(list);
  const double top = l.viewport.minY() + o - margin;
  const double bottom = l.viewport.maxY() + o + margin;
  auto wanted = [&](const Layout::Item& item) { return item.bottom > top && item.top < bottom; };

  std::erase_if(published.items, [&](const Published& p) {
    if (wanted(l.items[static_cast<std::size_t>(p.index)])) return false;
    for (ElementId id : p.roots)
      ax.remove(id);
    return true;
  });
  for (const auto& item : l.items) {
    if (!wanted(item)) continue;
    const bool present = std::any_of(published.items.begin(), published.items.end(),
                                     [&](const Published& p) { return p.index == item.index; });
    if (present) continue;
    Published p{.index = item.index};
    for (const AxNode& node : item.nodes)
      p.roots.push_back(publish(published.container, node));
    published.items.push_back(std::move(p));
  }
}

// WhatsApp offers a button to jump back to the newest message as soon as the list is scrolled
// up from its end.
void WhatsAppModel::syncJumpButton() {
  SimAccessibility& ax = desktop_.accessibility();
  const bool wanted = pane_ && state_.scroll.messagesFromBottom >= 1;
  if (wanted && !jumpButton_) {
    const AxNode button{
        .role = "AXButton", .description = "Scroll to bottom", .frame = layout_->jumpButton};
    jumpButton_ = ax.addChild(pane_, published(button));
    ax.setElementCost(*jumpButton_, options_.elementReadCost);
    ++elementsCreated_;
  } else if (!wanted && jumpButton_) {
    ax.remove(*jumpButton_);
    jumpButton_.reset();
  }
}

void WhatsAppModel::scrollTo(List list, double position) {
  if (!layout_->lists[index(list)].isShown) return;
  const double clamped =
      std::isfinite(position) ? std::clamp(position, 0.0, scrollRange(list)) : scrollPosition(list);
  switch (list) {
    case List::chatList:
      state_.scroll.chatList = clamped;
      break;
    case List::panel:
      state_.panel->scroll = clamped;
      break;
    case List::messages:
      state_.scroll.messagesFromBottom = clamped;
      break;
  }
  applyOffset(list);
  syncList(list);
  if (list == List::messages) syncJumpButton();
}

Point WhatsAppModel::localMouse() const {
  return platform::screenFlip(desktop_.windowServer())
      .then(SpaceTransform::relativeTo(origin()))
      .map(desktop_.windowServer().mouseLocation());
}

bool WhatsAppModel::click() {
  desktop_.toolkit().click();
  const Point local = localMouse();
  if (state_.sheet) return false;
  if (jumpButton_ && layout_->jumpButton.contains(local)) {
    scrollTo(List::messages, 0);
    return true;
  }
  if (state_.panel || !viewport(List::chatList).contains(local)) return false;
  const double y = local.y - Geometry::listHeaderHeight + scrollPosition(List::chatList);
  const auto row = static_cast<std::size_t>(std::floor(y / Geometry::chatRowHeight));
  if (row >= state_.chats.size()) return false;
  WhatsAppState opened = state_;
  if (!opened.conversation) opened.conversation = WhatsAppConversation{};
  opened.conversation->title = state_.chats[row].name;
  opened.scroll.messagesFromBottom = 0;
  setState(std::move(opened));
  return true;
}

std::optional<WhatsAppModel::List> WhatsAppModel::scrollWheel(double points) {
  desktop_.toolkit().scrollWheel({-points});
  const Point local = localMouse();
  // A sheet is modal: the window behind it does not scroll.
  if (state_.sheet || !std::isfinite(points)) return std::nullopt;
  std::optional<List> target = {};
  if (viewport(List::chatList).contains(local))
    target = state_.panel ? List::panel : List::chatList;
  else if (viewport(List::messages).contains(local))
    target = List::messages;
  if (!target) return std::nullopt;
  // Positive points scroll towards later content; the message list counts from its end.
  const double position = scrollPosition(*target);
  scrollTo(*target, *target == List::messages ? position - points : position + points);
  return target;
}

Scene WhatsAppModel::scene() const {
  Scene scene{.windowSize = layout_->size, .sheet = layout_->sheet};
  for (const auto& [item, list] : layout_->paint) {
    PaintItem p = item;
    if (list) {
      // Content of a list on screen: moved with the list. The hidden chat list behind a panel
      // is not painted (the layout leaves it out).
      const double dy = -offset(*list);
      p.rect = p.rect.offsetBy(0, dy);
      p.unit = p.unit.offsetBy(0, dy).intersection(p.clip);
      if (!p.rect.intersects(p.clip)) continue;
    }
    scene.items.push_back(std::move(p));
  }
  return scene;
}

}  // namespace velvix::sim
