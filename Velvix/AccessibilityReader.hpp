#pragma once

// Reads WhatsApp's accessibility tree into the flat node list the structure analysis works on,
// runs the analysis, and publishes into the scroll tracker which elements to watch.
//
// Two kinds of read: a full read that walks the whole window breadth first, and a quick refresh,
// used while the user scrolls, that re-reads only the children of the chat list and the message
// list and splices them into the last full snapshot.
//
// The reader lives on its own serial executor: read() and everything else here run there, one
// at a time, and never on the main thread. Only the tracker is shared, behind its own lock.

#include <BlurLayout/Geometry.hpp>
#include <BlurLayout/Snapshot.hpp>
#include <BlurLayout/WhatsAppStructure.hpp>
#include <Velvix/Platform/Accessibility.hpp>
#include <Velvix/Platform/Log.hpp>
#include <Velvix/Platform/Scheduler.hpp>
#include <Velvix/ScrollTracker.hpp>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace velvix {

class AccessibilityReader {
 public:
  /// Lists that moved during a read kept nonetheless (after kSmearedReadsGivenUp given up), and
  /// whose items could not all be put where they are: read before and after a step, they lie
  /// off their content by up to what the list moved meanwhile.
  struct Smeared {
    bool chatList = false;
    bool messages = false;
  };

  struct Result {
    DetectedElements elements;
    std::int64_t generation = 0;  ///< the tracker's generation after this read
    double finishedAt = 0;        ///< media time when the last element had been read
    Smeared smeared;
  };

  /// One element read: its node and its child elements.
  struct ElementRead {
    AccessibilityNode node;
    std::vector<platform::Element> children;
    /// The children attribute held an array (possibly empty), not an error or another kind.
    bool childrenRead = false;
  };

  static constexpr std::size_t kMaximumNodes = 3000;
  static constexpr int kMaximumDepth = 40;  ///< nodes this deep are read, their children not
  static constexpr double kMessagingTimeout = 0.25;
  static constexpr double kOriginTolerance = 2;  ///< points between the tree and the window list
  static constexpr double kTallChild = 150;      ///< list children taller are read one level deeper
  /// Reads given up in a row because a list moved during them, before one is kept.
  static constexpr int kSmearedReadsGivenUp = 3;

  AccessibilityReader(platform::Accessibility& accessibility, platform::Scheduler& scheduler,
                      platform::LogSink& log);
  AccessibilityReader(const AccessibilityReader&) = delete;
  AccessibilityReader& operator=(const AccessibilityReader&) = delete;

  /// The executor every call below must run on.
  [[nodiscard]] platform::Executor& executor() { return *executor_; }
  /// Shared with the overlay controller, which measures scrolling through it.
  [[nodiscard]] const std::shared_ptr<ScrollTracker>& tracker() const { return tracker_; }

  /// Reads WhatsApp's window: with `quick`, when the process and frame are those of the last
  /// successful full read, first the quick refresh of the two lists; otherwise, or when that
  /// yields nothing, a full read. Empty when the read failed; the caller keeps what it had.
  [[nodiscard]] std::optional<Result> read(platform::ProcessId pid, const Rect& windowFrame,
                                           bool quick);

  /// Whether the window recorded by the last read is still within 2 points of the recorded
  /// frame's origin.
  [[nodiscard]] bool isWindowSettled();

  /// The element to watch for scrolling in a container: its child nearest the window's
  /// vertical middle.
  [[nodiscard]] std::optional<ScrollTracker::Reference> reference(
      std::optional<std::size_t> container) const;

  /// Reads one element's seven attributes in one request. Needs no reader state.
  [[nodiscard]] static std::optional<ElementRead> readElement(
      platform::Accessibility& accessibility, const platform::Element& element,
      std::optional<std::size_t> parent, const Rect& windowFrame);

  // The last successful read, for diagnostics and tests (on the executor).
  [[nodiscard]] std::optional<platform::ProcessId> pid() const { return pid_; }
  [[nodiscard]] const Rect& windowFrame() const { return windowFrame_; }
  [[nodiscard]] const std::vector<AccessibilityNode>& nodes() const { return nodes_; }
  [[nodiscard]] const std::vector<platform::Element>& elements() const { return elements_; }
  [[nodiscard]] const WhatsAppStructure::ScrollContainers& containers() const {
    return containers_;
  }

 private:
  std::optional<Result> readWindow(platform::ProcessId pid, const Rect& windowFrame);
  /// The quick refresh; `moved` tells that it was given up because a list moved during it.
  std::optional<Result> readScrollingLists(bool& movedDuring);
  std::optional<platform::Element> chooseWindow(const std::vector<platform::Element>& windows,
                                                const Rect& windowFrame);
  Result finish(std::vector<AccessibilityNode> nodes, std::vector<platform::Element> elements);
  Result finish(std::vector<AccessibilityNode> nodes, std::vector<platform::Element> elements,
                WhatsAppStructure::Analysis analysis);
  /// The indices of the recorded nodes whose parent is `parent`.
  [[nodiscard]] std::vector<std::size_t> childrenOf(std::size_t parent) const;
  /// Of the recorded nodes `candidates`, the one `fresh` was read from again, if any.
  [[nodiscard]] std::optional<std::size_t> counterpart(std::span<const std::size_t> candidates,
                                                       const AccessibilityNode& fresh) const;

  platform::Accessibility& accessibility_;
  platform::Scheduler& scheduler_;
  platform::Logger logger_;
  std::shared_ptr<platform::Executor> executor_;

  std::optional<platform::ProcessId> pid_;
  Rect windowFrame_ = Rect::null();
  std::vector<AccessibilityNode> nodes_;
  std::vector<platform::Element> elements_;  // parallel to nodes_
  WhatsAppStructure::ScrollContainers containers_;
  std::shared_ptr<ScrollTracker> tracker_;
  int smearedReads_ = 0;  ///< reads given up in a row since the last one kept
};

/// A point as the platform's debug description prints it: "(2.0, -0.5)".
[[nodiscard]] std::string debugDescription(Point point);

}  // namespace velvix
