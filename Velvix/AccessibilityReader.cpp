#include "AccessibilityReader.hpp"
#include <cstdio>

#include <algorithm>
#include <array>
#include <cassert>
#include <charconv>
#include <cmath>
#include <limits>
#include <utility>

namespace velvix {

using platform::Attribute;

namespace {

// Fetched for every element, in one request, in this order.
constexpr std::array kAttributes = {Attribute::role, Attribute::description, Attribute::position,
                                    Attribute::size, Attribute::children,    Attribute::title,
                                    Attribute::value};
enum Slot : std::size_t { kRole, kDescription, kPosition, kSize, kChildren, kTitle, kValue };

constexpr std::string_view kCategory = "accessibility";

// A rectangle from a position value and a size value; empty unless the first holds a point and
// the second a size. Non-finite components count as unreadable, so snapshots only ever hold
// finite frames.
std::optional<Rect> rect(const platform::Value& position, const platform::Value& size) {
  const auto point = position.point();
  const auto extent = size.size();
  if (!point || !extent) return std::nullopt;
  const Rect r(point->x, point->y, extent->width, extent->height);
  if (!r.isFinite()) return std::nullopt;
  return r;
}

// Swift-style Double description: shortest round-trip digits, at least one decimal, exponent
// form for very large or very small magnitudes.
std::string swiftDescription(double value) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
  const double magnitude = std::abs(value);
  const bool exponential = magnitude >= 9007199254740992.0 || (magnitude != 0 && magnitude < 1e-4);
  std::array<char, 64> buffer{};
  const auto result =
      std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                    exponential ? std::chars_format::scientific : std::chars_format::fixed);
  std::string text(buffer.data(), result.ptr);
  if (!exponential && text.find('.') == std::string::npos) text += ".0";
  return text;
}

}  // namespace

std::string debugDescription(Point point) {
  // Appended piece by piece: GCC 12 at -O3 misreads chained operator+ here (-Wrestrict).
  std::string text = "(";
  text.append(swiftDescription(point.x)).append(", ").append(swiftDescription(point.y));
  text.push_back(')');
  return text;
}

AccessibilityReader::AccessibilityReader(platform::Accessibility& accessibility,
                                         platform::Scheduler& scheduler, platform::LogSink& log)
    : accessibility_(accessibility),
      scheduler_(scheduler),
      logger_(log, kCategory),
      executor_(scheduler.makeSerialExecutor("app.velvix.Velvix.reader")),
      tracker_(std::make_shared<ScrollTracker>(accessibility)) {}

std::optional<AccessibilityReader::Result> AccessibilityReader::read(platform::ProcessId pid,
                                                                     const Rect& windowFrame,
                                                                     bool quick) {
  assert(executor_->isCurrent() && "the reader runs on its own executor");
  if (quick && pid_ == pid && windowFrame_ == windowFrame) {
    bool moved = false;
    if (auto refreshed = readScrollingLists(moved)) return refreshed;
    // A list that moved during its refresh: what is known, followed by measurement, is truer
    // than either the refresh or a full read, which would take longer still.
    if (moved) return std::nullopt;
  }
  return readWindow(pid, windowFrame);
}

std::optional<AccessibilityReader::ElementRead> AccessibilityReader::readElement(
    platform::Accessibility& accessibility, const platform::Element& element,
    std::optional<std::size_t> parent, const Rect& windowFrame) {
  const auto result = accessibility.copyMultipleAttributeValues(element, kAttributes);
  if (result.error != platform::Error::success || !result.values ||
      result.values->size() != kAttributes.size())
    return std::nullopt;
  const std::vector<platform::Value>& values = *result.values;

  const std::string* role = values[kRole].string();
  if (!role) return std::nullopt;
  const auto frame = rect(values[kPosition], values[kSize]);
  if (!frame) return std::nullopt;

  std::string label;
  for (Slot slot : {kDescription, kTitle, kValue}) {
    if (const std::string* text = values[slot].string(); text && !text->empty()) {
      label = *text;
      break;
    }
  }

  ElementRead read;
  read.node.role = *role;
  read.node.label = std::move(label);
  read.node.frame = frame->offsetBy(-windowFrame.origin.x, -windowFrame.origin.y);
  read.node.parent = parent;
  if (const auto* children = values[kChildren].elements()) {
    read.children = *children;
    read.childrenRead = true;
  }
  return read;
}

std::optional<platform::Element> AccessibilityReader::chooseWindow(
    const std::vector<platform::Element>& windows, const Rect& windowFrame) {
  if (windows.size() == 1) return windows.front();
  std::optional<platform::Element> best;
  double bestDistance = 0;
  for (const platform::Element& window : windows) {
    double distance = std::numeric_limits<double>::max();
    const auto position = accessibility_.copyAttributeValue(window, Attribute::position);
    const auto size = accessibility_.copyAttributeValue(window, Attribute::size);
    if (position.get() && size.get()) {
      if (const auto r = rect(*position.get(), *size.get())) {
        const double d = r->distance(windowFrame);
        // A NaN (from a frame we were given) must not win or block every other window.
        if (d == d) distance = d;
      }
    }
    if (!best || distance < bestDistance) {  // strict: equal distances keep the earlier window
      best = window;
      bestDistance = distance;
    }
  }
  return best;
}

std::optional<AccessibilityReader::Result> AccessibilityReader::readWindow(
    platform::ProcessId pid, const Rect& windowFrame) {
  const auto previousPid = std::exchange(pid_, std::nullopt);

  const platform::Element app = accessibility_.applicationElement(pid);
  accessibility_.setMessagingTimeout(app, kMessagingTimeout);

  const auto windowsResult = accessibility_.copyAttributeValue(app, Attribute::windows);
  const auto* windows = windowsResult.get() ? windowsResult.get()->elements() : nullptr;
  if (!windows || windows->empty()) {
    logger_.log("Read failed: WhatsApp reports no windows");
    return std::nullopt;
  }
  const auto window = chooseWindow(*windows, windowFrame);

  struct Entry {
    platform::Element element;
    int depth;
    std::optional<std::size_t> parent;
  };
  std::vector<Entry> queue{{*window, 0, std::nullopt}};
  std::vector<AccessibilityNode> nodes;
  std::vector<platform::Element> elements;
  for (std::size_t next = 0; next < queue.size(); ++next) {
    if (nodes.size() >= kMaximumNodes) break;
    // Moved out: the queue may reallocate below, and the entry is not needed again.
    Entry entry = std::move(queue[next]);
    auto read = readElement(accessibility_, entry.element, entry.parent, windowFrame);
    if (!read) continue;  // left out with everything below it
    // Nothing of what the window shows was read: taken for a read, it would say there is
    // nothing to cover.
    if (next == 0 && !read->childrenRead) {
      logger_.log("Read failed: window's children unreadable");
      return std::nullopt;
    }
    nodes.push_back(std::move(read->node));
    elements.push_back(std::move(entry.element));
    if (entry.depth < kMaximumDepth) {
      for (auto& child : read->children)
        queue.push_back(Entry{std::move(child), entry.depth + 1, nodes.size() - 1});
    }
  }

  if (nodes.empty()) {
    logger_.log("Read failed: window unreadable");
    return std::nullopt;
  }
  const Point origin{nodes.front().frame.minX(), nodes.front().frame.minY()};
  if (!origin.isWithin(kOriginTolerance, Point{0, 0})) {
    logger_.log("Read discarded: window at %{public}s from where macOS has it",
                debugDescription(origin));
    return std::nullopt;
  }

  // A list that moved during the read leaves rows read before a step where they were and what
  // was read after it (the rows' children come later) where it is. Its first row is read before
  // anything else of it: read again, it tells. Such a read is given up, a few times in a row,
  // and what was known stays.
  auto analysis = WhatsAppStructure::analyze(nodes, windowFrame.size);
  const auto moved = [&](std::optional<std::size_t> container) {
    if (!container) return false;
    for (std::size_t i = *container + 1; i < nodes.size(); ++i) {
      if (nodes[i].parent != container) continue;
      const auto y = ScrollTracker::currentY(accessibility_, elements[i], windowFrame);
      return y && *y != nodes[i].frame.minY();
    }
    return false;
  };
  const Smeared smeared{moved(analysis.scroll.chatList), moved(analysis.scroll.messages)};
  if ((smeared.chatList || smeared.messages) && smearedReads_ < kSmearedReadsGivenUp) {
    ++smearedReads_;
    pid_ = previousPid;
    return std::nullopt;
  }

  pid_ = pid;
  windowFrame_ = windowFrame;
  smearedReads_ = 0;
  Result result = finish(std::move(nodes), std::move(elements), std::move(analysis));
  result.smeared = smeared;
  return result;
}

AccessibilityReader::Result AccessibilityReader::finish(std::vector<AccessibilityNode> nodes,
                                                        std::vector<platform::Element> elements) {
  auto analysis = WhatsAppStructure::analyze(nodes, windowFrame_.size);
  return finish(std::move(nodes), std::move(elements), std::move(analysis));
}

AccessibilityReader::Result AccessibilityReader::finish(std::vector<AccessibilityNode> nodes,
                                                        std::vector<platform::Element> elements,
                                                        WhatsAppStructure::Analysis analysis) {
  nodes_ = std::move(nodes);
  elements_ = std::move(elements);
  containers_ = analysis.scroll;
  auto generation = tracker_->publish(reference(containers_.chatList),
                                      reference(containers_.messages), windowFrame_);
  return Result{std::move(analysis.elements), generation, scheduler_.mediaTime(), {}};
}

std::optional<ScrollTracker::Reference> AccessibilityReader::reference(
    std::optional<std::size_t> container) const {
  if (!container) return std::nullopt;
  const double middle = windowFrame_.height() / 2;
  std::optional<std::size_t> best;
  double bestDistance = 0;
  for (std::size_t i = 0; i < nodes_.size(); ++i) {
    const AccessibilityNode& node = nodes_[i];
    if (node.parent != container || !(node.frame.height() > 0)) continue;
    const double distance = std::abs(node.frame.midY() - middle);
    if (!best || distance < bestDistance) {
      best = i;
      bestDistance = distance;
    }
  }
  if (!best) return std::nullopt;
  return ScrollTracker::Reference{elements_[*best], nodes_[*best].frame.minY()};
}

std::vector<std::size_t> AccessibilityReader::childrenOf(std::size_t parent) const {
  std::vector<std::size_t> children;
  for (std::size_t i = parent + 1; i < nodes_.size(); ++i) {
    if (nodes_[i].parent == parent) children.push_back(i);
  }
  return children;
}

std::optional<std::size_t> AccessibilityReader::counterpart(std::span<const std::size_t> candidates,
                                                            const AccessibilityNode& fresh) const {
  // The same row has the same role and label; of several, the one read nearest to it.
  std::optional<std::size_t> best;
  for (const std::size_t i : candidates) {
    const AccessibilityNode& old = nodes_[i];
    if (old.role != fresh.role || old.label != fresh.label || old.label.empty()) continue;
    const double distance = std::abs(old.frame.minY() - fresh.frame.minY());
    if (!best || distance < std::abs(nodes_[*best].frame.minY() - fresh.frame.minY())) best = i;
  }
  return best;
}

bool AccessibilityReader::isWindowSettled() {
  if (elements_.empty()) return false;
  const auto result = accessibility_.copyAttributeValue(elements_.front(), Attribute::position);
  const auto position = result.get() ? result.get()->point() : std::nullopt;
  if (!position) return false;
  return position->isWithin(kOriginTolerance, Point{windowFrame_.minX(), windowFrame_.minY()});
}

std::optional<AccessibilityReader::Result> AccessibilityReader::readScrollingLists(
    bool& movedDuring) {
  const ScrollTracker::State state = tracker_->state();
  struct Pair {
    std::size_t container;
    std::optional<ScrollTracker::Reference> reference;
    bool isChatList;
  };
  std::vector<Pair> pairs;
  if (containers_.chatList) pairs.push_back({*containers_.chatList, state.chatList, true});
  if (containers_.messages) pairs.push_back({*containers_.messages, state.messages, false});
  if (pairs.empty() || !isWindowSettled()) return std::nullopt;

  struct Item {
    AccessibilityNode node;
    platform::Element element;
    std::optional<std::size_t> parent;  // position in this container's items
    double readAt = 0;                  // media time
    std::optional<double> moved;        // how far the list had moved then, when known
  };
  // A moment when how far the list had moved since the last read is known.
  struct Anchor {
    double time;
    double moved;
  };
  std::vector<std::vector<Item>> fresh(pairs.size());
  Smeared smeared;
  const auto givenUp = [&]() -> std::optional<Result> {
    if (!isWindowSettled()) return std::nullopt;  // the window moved, not a list
    ++smearedReads_;
    movedDuring = true;
    return std::nullopt;
  };
  for (std::size_t p = 0; p < pairs.size(); ++p) {
    const Pair& pair = pairs[p];
    // A recorded container index always has its element; check anyway rather than trust it.
    if (pair.container >= elements_.size()) return std::nullopt;
    // How far the list has moved since the last read is known at the start and the end from
    // its reference element, and in between from every row seen at the last read. The
    // reference may have left the tree (a list keeps only rows near its visible ones); then the
    // last such row stands in for it at the end.
    std::vector<Anchor> anchors;
    const auto probe = [&](const platform::Element& element, double recordedY) {
      if (const auto y = ScrollTracker::currentY(accessibility_, element, windowFrame_))
        anchors.push_back({scheduler_.mediaTime(), *y - recordedY});
    };
    if (pair.reference) probe(pair.reference->element, pair.reference->y);

    const auto childrenResult =
        accessibility_.copyAttributeValue(elements_[pair.container], Attribute::children);
    const auto* children = childrenResult.get() ? childrenResult.get()->elements() : nullptr;
    if (!children) return std::nullopt;

    std::vector<Item>& items = fresh[p];
    const std::vector<std::size_t> before = childrenOf(pair.container);
    std::vector<std::optional<std::size_t>> positionOf(nodes_.size());  // of carried nodes
    std::optional<std::size_t> lastKnown;  // the recorded node of the last row matched
    for (const platform::Element& child : *children) {
      auto read = readElement(accessibility_, child, std::nullopt, windowFrame_);
      if (!read) continue;
      const double readAt = scheduler_.mediaTime();
      const std::size_t position = items.size();
      const auto known = counterpart(before, read->node);
      std::optional<double> shift;
      if (known) {
        shift = read->node.frame.minY() - nodes_[*known].frame.minY();
        anchors.push_back({readAt, *shift});
        lastKnown = known;
      }
      // A short child seen at the last read keeps what was under it then (a chat row's photo
      // thumbnail), moved with it; a tall one, or one new to the list, has its children read.
      const bool isCarried = known && read->node.frame.height() <= kTallChild;
      items.push_back(Item{std::move(read->node), child, std::nullopt, readAt, shift});
      if (isCarried) {
        // Parents come before their children, so one pass finds the whole subtree.
        std::vector<std::size_t> subtree = {*known};
        positionOf[*known] = position;
        for (std::size_t kept = *known + 1; kept < nodes_.size(); ++kept) {
          const auto parent = nodes_[kept].parent;
          if (!parent || *parent >= kept || !positionOf[*parent]) continue;
          positionOf[kept] = items.size();
          subtree.push_back(kept);
          AccessibilityNode node = nodes_[kept];
          node.frame = node.frame.offsetBy(0, *shift);
          items.push_back(
              Item{std::move(node), elements_[kept], positionOf[*parent], readAt, shift});
        }
        for (const std::size_t kept : subtree)
          positionOf[kept].reset();
        continue;
      }
      for (const platform::Element& grandchild : read->children) {
        auto inner = readElement(accessibility_, grandchild, std::nullopt, windowFrame_);
        if (!inner) continue;
        items.push_back(
            Item{std::move(inner->node), grandchild, position, scheduler_.mediaTime(), {}});
      }
    }
    const std::size_t anchorsBeforeEnd = anchors.size();
    if (pair.reference) probe(pair.reference->element, pair.reference->y);
    if (anchors.size() == anchorsBeforeEnd && lastKnown)
      probe(elements_[*lastKnown], nodes_[*lastKnown].frame.minY());

    if (anchors.empty()) {
      // Nothing seen at the last read is left to tell the motion by, only whether there was
      // any: the first row read, read again.
      const bool stood =
          items.empty() ||
          ScrollTracker::currentY(accessibility_, items.front().element, windowFrame_) ==
              std::optional<double>(items.front().node.frame.minY());
      if (stood) continue;
      if (smearedReads_ < kSmearedReadsGivenUp) return givenUp();
      (pair.isChatList ? smeared.chatList : smeared.messages) = true;  // kept, and said so
      continue;
    }
    const double movedAtEnd = anchors.back().moved;
    if (movedAtEnd != anchors.front().moved && smearedReads_ < kSmearedReadsGivenUp)
      return givenUp();

    // Every item where it is now, not where it was when it happened to be read: moved on by
    // what the list moved since. An item read between two moments that tell different things
    // (no row seen at the last read near it) gets what lies between them for its time, and the
    // list is said to be smeared. A row that moved on its own (it grew), or was matched to the
    // wrong one of two alike, is held within what the ends tell.
    const double low = std::min(anchors.front().moved, movedAtEnd);
    const double high = std::max(anchors.front().moved, movedAtEnd);
    std::size_t next = 0;  // the first anchor at or after the item's time
    for (Item& item : items) {
      while (next < anchors.size() && anchors[next].time < item.readAt)
        ++next;
      double movedThen = 0;
      if (item.moved) {
        movedThen = *item.moved;
      } else if (next == 0) {
        movedThen = anchors.front().moved;
      } else if (next == anchors.size()) {
        movedThen = anchors.back().moved;
      } else {
        const Anchor& a = anchors[next - 1];
        const Anchor& b = anchors[next];
        movedThen = a.moved;
        if (b.moved != a.moved) {
          movedThen += (b.moved - a.moved) * (item.readAt - a.time) / (b.time - a.time);
          (pair.isChatList ? smeared.chatList : smeared.messages) = true;
        }
      }
      item.node.frame.origin.y += movedAtEnd - std::clamp(movedThen, low, high);
    }
  }

  if (!isWindowSettled()) return std::nullopt;

  // Keep every recorded node that has no refreshed container above it. Parents come before
  // their children, so one pass decides each node from its parent.
  std::vector<bool> isRefreshed(nodes_.size(), false);
  for (const Pair& pair : pairs)
    isRefreshed[pair.container] = true;
  std::vector<bool> dropped(nodes_.size(), false);
  std::vector<std::optional<std::size_t>> newIndex(nodes_.size());
  std::vector<AccessibilityNode> merged;
  std::vector<platform::Element> mergedElements;
  merged.reserve(nodes_.size());
  mergedElements.reserve(nodes_.size());
  for (std::size_t i = 0; i < nodes_.size(); ++i) {
    const auto parent = nodes_[i].parent;
    const bool validParent = parent && *parent < i;
    if (validParent && (dropped[*parent] || isRefreshed[*parent])) {
      dropped[i] = true;
      continue;
    }
    newIndex[i] = merged.size();
    AccessibilityNode node = nodes_[i];
    node.parent = validParent ? newIndex[*parent] : std::nullopt;
    merged.push_back(std::move(node));
    mergedElements.push_back(elements_[i]);
  }

  for (std::size_t p = 0; p < pairs.size(); ++p) {
    const auto containerIndex = newIndex[pairs[p].container];
    if (!containerIndex) return std::nullopt;
    const std::size_t base = merged.size();
    for (Item& item : fresh[p]) {
      item.node.parent = item.parent ? base + *item.parent : *containerIndex;
      merged.push_back(std::move(item.node));
      mergedElements.push_back(std::move(item.element));
    }
  }

  smearedReads_ = 0;
  Result result = finish(std::move(merged), std::move(mergedElements));
  result.smeared = smeared;
  return result;
}

}  // namespace velvix
