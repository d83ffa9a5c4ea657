#pragma once

// The Simulator's accessibility service: a trust flag and a prompt counter, and per-process
// trees of elements with the attributes the app reads, whose replies can be made to fail in
// every way the app tells apart. Thread-safe: the reader and the follow loop call it at once.
//
//   auto app = ax.addApplication(42);
//   auto window = ax.addChild(app, {.role = "AXWindow", .frame = {100, 80, 1000, 700}});
//   auto list = ax.addChild(window, {.role = "AXList", .frame = ...});
//   ax.inject(list, Attribute::children, Fault::timeout);
//
// Frames are global top-left-origin points. An element's position moves up by the scroll offset
// of every list above it (setScrollOffset / setScrollVelocity), as content does when its list
// scrolls. A call may cost virtual time (setCallCost, setElementCost); its reply shows the state
// at the moment the call completes.

#include "SimScheduler.hpp"

#include <Velvix/Platform/Accessibility.hpp>

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace velvix::sim {

using platform::Attribute;
using platform::Value;

using ElementId = int;

struct ElementSpec {
  std::string role = "AXGroup";
  std::optional<Value> description = {};  ///< empty: the element has no such attribute
  std::optional<Value> title = {};
  std::optional<Value> value = {};
  Rect frame = {};  ///< where the element is with every list above it unscrolled
};

enum class Fault {
  callFails,    ///< the call fails (a multiple read asking for the attribute fails whole)
  errorSlot,    ///< a multiple read leaves an error in the attribute's slot; a single read fails
  wrongKind,    ///< the attribute holds a value of another kind (a size for a position...)
  timeout,      ///< no answer: the call waits out the messaging timeout, then cannotComplete
  nullValue,    ///< a single read succeeds without a value; a multiple read returns no array
  shortResult,  ///< a multiple read returns one value fewer than asked for
};

class SimAccessibility final : public platform::Accessibility {
 public:
  explicit SimAccessibility(SimScheduler& scheduler);

  // --- configuration -------------------------------------------------------------------------
  void setTrusted(bool trusted);
  /// The application element's id for a process, created on first use.
  ElementId addApplication(platform::ProcessId pid);
  /// Adds a child after the parent's existing children. The children of an application element
  /// are its windows.
  ElementId addChild(ElementId parent, ElementSpec definition);
  /// Replaces one attribute's value (empty: the attribute is absent). Role, position and size
  /// set here override the element's definition.
  void setAttribute(ElementId element, Attribute attribute, std::optional<Value> value);
  void setFrame(ElementId element, Rect frame);
  /// Makes `fault` happen on the element; with no attribute, on every call to the element.
  void inject(ElementId element, std::optional<Attribute> attribute, Fault fault);
  void clearFaults(ElementId element);
  /// The element and everything below it disappear: calls on them fail with invalidElement.
  void remove(ElementId element);
  /// Content below the list moves up by `offset` points (it scrolled down).
  void setScrollOffset(ElementId list, double offset);
  /// From now on the list's offset grows by `pointsPerSecond` (negative: scrolls back up).
  void setScrollVelocity(ElementId list, double pointsPerSecond);
  /// Virtual time every call takes, and extra time for calls on one element.
  void setCallCost(Duration cost);
  void setElementCost(ElementId element, Duration cost);

  // --- observation ---------------------------------------------------------------------------
  [[nodiscard]] int promptCount() const;
  /// The element's global frame now, with scrolling.
  [[nodiscard]] Rect frameNow(ElementId element) const;
  /// The id behind a handle the app holds (empty for another backend's handle).
  [[nodiscard]] std::optional<ElementId> idOf(const platform::Element& element) const;
  /// The children of an element, in order.
  [[nodiscard]] std::vector<ElementId> children(ElementId element) const;
  [[nodiscard]] long calls() const;
  /// Calls made on one element so far.
  [[nodiscard]] long callsTo(ElementId element) const;
  [[nodiscard]] long multipleCalls() const;
  /// The messaging timeout last set on an application element of the process; empty if none.
  [[nodiscard]] std::optional<double> messagingTimeout(platform::ProcessId pid) const;

  // --- the port ------------------------------------------------------------------------------
  [[nodiscard]] bool isProcessTrusted() const override;
  void promptForTrust() override;
  [[nodiscard]] platform::Element applicationElement(platform::ProcessId pid) override;
  platform::Error setMessagingTimeout(const platform::Element& element, double seconds) override;
  [[nodiscard]] platform::AttributeResult copyAttributeValue(const platform::Element& element,
                                                             Attribute attribute) override;
  [[nodiscard]] platform::MultipleAttributeResult copyMultipleAttributeValues(
      const platform::Element& element, std::span<const Attribute> attributes) override;

  /// How long a request waits without a messaging timeout set.
  static constexpr double kDefaultMessagingTimeout = 6.0;

 private:
  struct Node {
    ElementSpec definition;
    std::optional<ElementId> parent;
    std::vector<ElementId> children;
    bool isApplication = false;
    bool removed = false;
    Duration cost{0};
    long calls = 0;
    std::map<Attribute, std::optional<Value>> overrides;
    std::map<std::optional<Attribute>, Fault> faults;
  };
  struct Motion {
    double offset = 0;
    double velocity = 0;
    double since = 0;  // media time
  };
  // The outcome of one attribute on one element, before faults of the call as a whole.
  struct Slot {
    platform::Error error = platform::Error::success;
    std::optional<Value> value;
  };

  Node* find(ElementId id);
  const Node* find(ElementId id) const;
  bool isGone(const Node* node) const;
  double scrollAbove(const Node& node, double time) const;
  Slot read(const Node& node, Attribute attribute, const platform::Element& via, double time);
  platform::Element handle(ElementId id, const platform::Element& via) const;
  std::optional<Fault> faultFor(const Node& node, std::optional<Attribute> attribute) const;
  /// Takes the call's time, and tells whether it times out; empty when the element is gone.
  std::optional<bool> beginCall(const platform::Element& element, std::span<const Attribute> asked,
                                ElementId& id);

  SimScheduler& scheduler_;
  mutable std::mutex mutex_;
  bool trusted_ = true;
  int prompts_ = 0;
  ElementId nextId_ = 1;
  std::map<ElementId, Node> nodes_;
  std::map<platform::ProcessId, ElementId> applications_;
  std::map<platform::ProcessId, double> timeouts_;
  std::map<ElementId, Motion> motions_;
  Duration callCost_{0};
  long calls_ = 0;
  long multipleCalls_ = 0;
};

}  // namespace velvix::sim
