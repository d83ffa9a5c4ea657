#include "SimAccessibility.hpp"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <stdexcept>

namespace velvix::sim {

using platform::Error;

namespace {

// The app holds these; the id and process say which element, and the timeout cell is shared
// by every handle reached through the same application element, as the messaging timeout set
// on it governs the requests made through it.
struct SimHandle final : platform::ElementHandle {
  SimHandle(ElementId id, std::shared_ptr<std::atomic<double>> timeout)
      : id(id), timeout(std::move(timeout)) {}
  const ElementId id;
  const std::shared_ptr<std::atomic<double>> timeout;
};

const SimHandle* simHandle(const platform::Element& element) {
  return dynamic_cast<const SimHandle*>(element.get());
}

Duration fromSeconds(double seconds) {
  return std::chrono::duration_cast<Duration>(std::chrono::duration<double>(seconds));
}

}  // namespace

SimAccessibility::SimAccessibility(SimScheduler& scheduler) : scheduler_(scheduler) {}

SimAccessibility::Node* SimAccessibility::find(ElementId id) {
  auto it = nodes_.find(id);
  return it == nodes_.end() ? nullptr : &it->second;
}

const SimAccessibility::Node* SimAccessibility::find(ElementId id) const {
  auto it = nodes_.find(id);
  return it == nodes_.end() ? nullptr : &it->second;
}

// --- configuration ----------------------------------------------------------------------------

void SimAccessibility::setTrusted(bool trusted) {
  std::lock_guard lock(mutex_);
  trusted_ = trusted;
}

ElementId SimAccessibility::addApplication(platform::ProcessId pid) {
  std::lock_guard lock(mutex_);
  if (auto it = applications_.find(pid); it != applications_.end()) return it->second;
  const ElementId id = nextId_++;
  Node node;
  node.definition.role = "AXApplication";
  node.isApplication = true;
  nodes_.emplace(id, std::move(node));
  applications_.emplace(pid, id);
  return id;
}

ElementId SimAccessibility::addChild(ElementId parent, ElementSpec definition) {
  std::lock_guard lock(mutex_);
  Node* parentNode = find(parent);
  if (!parentNode) throw std::out_of_range("no simulated element " + std::to_string(parent));
  const ElementId id = nextId_++;
  parentNode->children.push_back(id);
  Node node;
  node.definition = std::move(definition);
  node.parent = parent;
  nodes_.emplace(id, std::move(node));
  return id;
}

void SimAccessibility::setAttribute(ElementId element, Attribute attribute,
                                    std::optional<Value> value) {
  std::lock_guard lock(mutex_);
  if (Node* node = find(element)) node->overrides[attribute] = std::move(value);
}

void SimAccessibility::setFrame(ElementId element, Rect frame) {
  std::lock_guard lock(mutex_);
  if (Node* node = find(element)) node->definition.frame = frame;
}

void SimAccessibility::inject(ElementId element, std::optional<Attribute> attribute, Fault fault) {
  std::lock_guard lock(mutex_);
  if (Node* node = find(element)) node->faults[attribute] = fault;
}

void SimAccessibility::clearFaults(ElementId element) {
  std::lock_guard lock(mutex_);
  if (Node* node = find(element)) node->faults.clear();
}

void SimAccessibility::remove(ElementId element) {
  std::lock_guard lock(mutex_);
  if (Node* node = find(element)) node->removed = true;
}

void SimAccessibility::setScrollOffset(ElementId list, double offset) {
  const double now = scheduler_.mediaTime();
  std::lock_guard lock(mutex_);
  Motion& motion = motions_[list];
  motion.offset = offset;
  motion.since = now;
}

void SimAccessibility::setScrollVelocity(ElementId list, double pointsPerSecond) {
  const double now = scheduler_.mediaTime();
  std::lock_guard lock(mutex_);
  Motion& motion = motions_[list];
  motion.offset += motion.velocity * (now - motion.since);
  motion.since = now;
  motion.velocity = pointsPerSecond;
}

void SimAccessibility::setCallCost(Duration cost) {
  std::lock_guard lock(mutex_);
  callCost_ = cost;
}

void SimAccessibility::setElementCost(ElementId element, Duration cost) {
  std::lock_guard lock(mutex_);
  if (Node* node = find(element)) node->cost = cost;
}

// --- observation ------------------------------------------------------------------------------

int SimAccessibility::promptCount() const {
  std::lock_guard lock(mutex_);
  return prompts_;
}

double SimAccessibility::scrollAbove(const Node& node, double time) const {
  double offset = 0;
  for (auto parent = node.parent; parent;) {
    if (auto it = motions_.find(*parent); it != motions_.end())
      offset += it->second.offset + it->second.velocity * (time - it->second.since);
    const Node* p = find(*parent);
    parent = p ? p->parent : std::nullopt;
  }
  return offset;
}

Rect SimAccessibility::frameNow(ElementId element) const {
  const double now = scheduler_.mediaTime();
  std::lock_guard lock(mutex_);
  const Node* node = find(element);
  if (!node) return Rect::null();
  return node->definition.frame.offsetBy(0, -scrollAbove(*node, now));
}

std::optional<ElementId> SimAccessibility::idOf(const platform::Element& element) const {
  if (const SimHandle* h = simHandle(element)) return h->id;
  return std::nullopt;
}

std::vector<ElementId> SimAccessibility::children(ElementId element) const {
  std::lock_guard lock(mutex_);
  const Node* node = find(element);
  return node ? node->children : std::vector<ElementId>{};
}

long SimAccessibility::callsTo(ElementId element) const {
  std::lock_guard lock(mutex_);
  const Node* node = find(element);
  return node ? node->calls : 0;
}

long SimAccessibility::calls() const {
  std::lock_guard lock(mutex_);
  return calls_;
}

long SimAccessibility::multipleCalls() const {
  std::lock_guard lock(mutex_);
  return multipleCalls_;
}

std::optional<double> SimAccessibility::messagingTimeout(platform::ProcessId pid) const {
  std::lock_guard lock(mutex_);
  if (auto it = timeouts_.find(pid); it != timeouts_.end()) return it->second;
  return std::nullopt;
}

// --- the port ---------------------------------------------------------------------------------

bool SimAccessibility::isProcessTrusted() const {
  std::lock_guard lock(mutex_);
  return trusted_;
}

void SimAccessibility::promptForTrust() {
  std::lock_guard lock(mutex_);
  ++prompts_;
}

platform::Element SimAccessibility::applicationElement(platform::ProcessId pid) {
  // Like the platform, any process id gives an element; reads through one of a process without
  // a tree fail.
  const ElementId id = addApplication(pid);
  return std::make_shared<SimHandle>(
      id, std::make_shared<std::atomic<double>>(kDefaultMessagingTimeout));
}

platform::Error SimAccessibility::setMessagingTimeout(const platform::Element& element,
                                                      double seconds) {
  const SimHandle* h = simHandle(element);
  if (!h || !(seconds >= 0)) return Error::failure;
  std::lock_guard lock(mutex_);
  const Node* node = find(h->id);
  if (!node || isGone(node)) return Error::invalidElement;
  h->timeout->store(seconds);
  if (node->isApplication)
    for (const auto& [pid, app] : applications_)
      if (app == h->id) timeouts_[pid] = seconds;
  return Error::success;
}

bool SimAccessibility::isGone(const Node* node) const {
  for (const Node* n = node; n;) {
    if (n->removed) return true;
    n = n->parent ? find(*n->parent) : nullptr;
  }
  return false;
}

std::optional<Fault> SimAccessibility::faultFor(const Node& node,
                                                std::optional<Attribute> attribute) const {
  if (auto it = node.faults.find(attribute); it != node.faults.end()) return it->second;
  return std::nullopt;
}

platform::Element SimAccessibility::handle(ElementId id, const platform::Element& via) const {
  return std::make_shared<SimHandle>(id, simHandle(via)->timeout);
}

std::optional<bool> SimAccessibility::beginCall(const platform::Element& element,
                                                std::span<const Attribute> asked, ElementId& id) {
  const SimHandle* h = simHandle(element);
  if (!h) return std::nullopt;
  id = h->id;
  Duration cost{0};
  bool timesOut = false;
  {
    std::lock_guard lock(mutex_);
    ++calls_;
    Node* node = find(id);
    if (!node || isGone(node)) return std::nullopt;
    ++node->calls;
    cost = callCost_ + node->cost;
    timesOut = faultFor(*node, std::nullopt) == Fault::timeout;
    for (Attribute a : asked)
      timesOut = timesOut || faultFor(*node, a) == Fault::timeout;
  }
  // The caller waits for the answer, or for the timeout when none comes.
  scheduler_.consume(timesOut ? fromSeconds(h->timeout->load()) : cost);
  return timesOut;
}

SimAccessibility::Slot SimAccessibility::read(const Node& node, Attribute attribute,
                                              const platform::Element& via, double time) {
  const auto fault = faultFor(node, attribute);
  if (fault == Fault::callFails || fault == Fault::errorSlot) return {Error::failure, {}};

  std::optional<Value> value;
  if (auto it = node.overrides.find(attribute); it != node.overrides.end()) {
    value = it->second;
  } else {
    const Rect frame = node.definition.frame.offsetBy(0, -scrollAbove(node, time));
    switch (attribute) {
      case Attribute::role:
        value = Value(node.definition.role);
        break;
      case Attribute::description:
        value = node.definition.description;
        break;
      case Attribute::title:
        value = node.definition.title;
        break;
      case Attribute::value:
        value = node.definition.value;
        break;
      case Attribute::position:
        if (!node.isApplication) value = Value(frame.origin);
        break;
      case Attribute::size:
        if (!node.isApplication) value = Value(frame.size);
        break;
      case Attribute::children:
      case Attribute::windows: {
        if (attribute == Attribute::windows && !node.isApplication) break;
        Value::Elements elements;
        for (ElementId child : node.children)
          if (const Node* c = find(child); c && !c->removed) elements.push_back(handle(child, via));
        value = Value(std::move(elements));
        break;
      }
    }
  }
  if (fault == Fault::wrongKind) {
    if (attribute == Attribute::position)
      value = Value(Size{1, 1});
    else if (attribute == Attribute::size)
      value = Value(Point{1, 1});
    else
      value = Value(Value::Other{"a number"});
  }
  if (!value) return {Error::noValue, {}};
  if (fault == Fault::nullValue) return {Error::success, {}};
  return {Error::success, std::move(value)};
}

platform::AttributeResult SimAccessibility::copyAttributeValue(const platform::Element& element,
                                                               Attribute attribute) {
  ElementId id = 0;
  const Attribute asked[] = {attribute};
  const auto timesOut = beginCall(element, asked, id);
  if (!timesOut) return {Error::invalidElement, {}};
  if (*timesOut) return {Error::cannotComplete, {}};
  const double now = scheduler_.mediaTime();
  std::lock_guard lock(mutex_);
  const Node* node = find(id);
  if (!node || isGone(node)) return {Error::invalidElement, {}};
  if (faultFor(*node, std::nullopt) == Fault::callFails) return {Error::failure, {}};
  Slot slot = read(*node, attribute, element, now);
  return {slot.error, std::move(slot.value)};
}

platform::MultipleAttributeResult SimAccessibility::copyMultipleAttributeValues(
    const platform::Element& element, std::span<const Attribute> attributes) {
  ElementId id = 0;
  const auto timesOut = beginCall(element, attributes, id);
  if (!timesOut) return {Error::invalidElement, {}};
  if (*timesOut) return {Error::cannotComplete, {}};
  const double now = scheduler_.mediaTime();
  std::lock_guard lock(mutex_);
  ++multipleCalls_;
  const Node* node = find(id);
  if (!node || isGone(node)) return {Error::invalidElement, {}};
  const auto callFault = faultFor(*node, std::nullopt);
  if (callFault == Fault::callFails) return {Error::failure, {}};
  if (callFault == Fault::nullValue) return {Error::success, {}};
  bool shortResult = callFault == Fault::shortResult;
  std::vector<Value> values;
  for (Attribute a : attributes) {
    const auto fault = faultFor(*node, a);
    if (fault == Fault::callFails) return {Error::failure, {}};
    if (fault == Fault::nullValue) return {Error::success, {}};
    shortResult = shortResult || fault == Fault::shortResult;
    Slot slot = read(*node, a, element, now);
    if (slot.value)
      values.push_back(std::move(*slot.value));
    else
      values.emplace_back(
          Value::SlotError{fault == Fault::errorSlot ? Error::cannotComplete : slot.error});
  }
  if (shortResult && !values.empty()) values.pop_back();
  return {Error::success, std::move(values)};
}

}  // namespace velvix::sim
