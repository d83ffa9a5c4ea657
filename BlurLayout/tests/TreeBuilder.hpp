#pragma once

// Builds accessibility snapshots for tests in a few readable lines.

#include <BlurLayout/Snapshot.hpp>

#include <cstddef>
#include <optional>
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

}  // namespace velvix::testing
