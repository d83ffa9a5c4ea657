// Cost of one structure analysis on snapshots shaped like WhatsApp's window, next to the cost of
// merely copying a snapshot of the reader's maximum size (3,000 nodes). Goals: analysing 3,000
// nodes costs at most twice that copy, and 30,000 nodes at most twelve times 3,000 (linear).

#include <BlurLayout/Snapshot.hpp>
#include <BlurLayout/WhatsAppStructure.hpp>

#include <benchmark/benchmark.h>

#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

using velvix::AccessibilityNode;
using velvix::Rect;

constexpr velvix::Size kWindow{1400, 900};

// A tree built depth first, then flattened breadth first as the reader walks it.
class Tree {
 public:
  int add(int parent, std::string role, Rect frame, std::string label = "") {
    nodes_.push_back({std::move(role), std::move(label), frame, {}});
    const int id = static_cast<int>(nodes_.size()) - 1;
    if (parent >= 0) nodes_[static_cast<std::size_t>(parent)].children.push_back(id);
    return id;
  }
  [[nodiscard]] std::size_t size() const { return nodes_.size(); }

  [[nodiscard]] std::vector<AccessibilityNode> breadthFirst() const {
    std::vector<AccessibilityNode> out;
    out.reserve(nodes_.size());
    std::deque<std::pair<int, std::optional<std::size_t>>> queue{{0, std::nullopt}};
    while (!queue.empty()) {
      const auto [id, parent] = queue.front();
      queue.pop_front();
      const Node& n = nodes_[static_cast<std::size_t>(id)];
      out.push_back({n.role, n.label, n.frame, parent});
      for (const int child : n.children) {
        queue.emplace_back(child, out.size() - 1);
      }
    }
    return out;
  }

 private:
  struct Node {
    std::string role;
    std::string label;
    Rect frame;
    std::vector<int> children;
  };
  std::vector<Node> nodes_;
};

const char* const kNames[] = {
    "Alice Martin", "Bob",          "Café Lumière", "Dana ✈️", "Family 👨‍👩‍👧",
    "Grace Hopper", "Hiroshi 田中", "Irina Петрова"};
const char* const kTexts[] = {
    "Are we still on for Friday? I can bring the snacks",
    "Sure, see you there!",
    "Did you see the new schedule? It changes everything for next week's trip",
    "👍",
    "Je suis en retard, désolé — j'arrive dans dix minutes",
    "Can you send me the document before the meeting tomorrow morning?",
    "Haha that's great 😂",
    "Okay",
};
const char* const kStatus[] = {"Read", "Delivered", "Sent"};

// Rows and messages grow with `target`; the frame of the window stays the same, so long lists
// run far below its bottom as they would in a list that keeps its loaded rows.
std::vector<AccessibilityNode> syntheticWindow(std::size_t target) {
  Tree t;
  const int window = t.add(-1, "AXWindow", Rect(0, 0, kWindow.width, kWindow.height), "WhatsApp");
  const int rail = t.add(window, "AXGroup", Rect(0, 0, 68, 900));
  for (int k = 0; k < 6; ++k) {
    t.add(rail, "AXButton", Rect(14, 20 + 50.0 * k, 40, 40), "Chats");
  }
  const int side = t.add(window, "AXGroup", Rect(0, 0, 440, 900));
  const int pane = t.add(window, "AXGroup", Rect(440, 0, 960, 900));

  const int header = t.add(side, "AXGroup", Rect(0, 0, 440, 110));
  t.add(header, "AXHeading", Rect(84, 16, 100, 30), "Chats");
  t.add(header, "AXButton", Rect(380, 16, 30, 30), "New chat");
  const int search = t.add(header, "AXGroup", Rect(84, 60, 340, 36));
  t.add(search, "AXTextField", Rect(110, 64, 300, 28), "Search or start a new chat");
  const int list = t.add(side, "AXGroup", Rect(0, 0, 440, 900));

  const int top = t.add(pane, "AXGroup", Rect(440, 0, 960, 60));
  t.add(top, "AXImage", Rect(452, 10, 40, 40), "Alice Martin");
  t.add(top, "AXButton", Rect(500, 10, 300, 40), "Alice Martin");
  t.add(top, "AXButton", Rect(1300, 15, 30, 30), "Video call");
  t.add(top, "AXButton", Rect(1350, 15, 30, 30), "Search");
  const int conversation = t.add(pane, "AXGroup", Rect(440, 60, 960, 770), "Alice Martin");
  t.add(pane, "AXTextArea", Rect(500, 850, 820, 36), "Type a message");
  t.add(pane, "AXButton", Rect(456, 853, 30, 30), "Emoji");
  t.add(pane, "AXButton", Rect(1340, 853, 30, 30), "Voice message");

  // About a third of the nodes in chat rows, the rest in messages.
  const std::size_t rows = target / 18;
  for (std::size_t k = 0; k < rows; ++k) {
    const double y = 110 + 72.0 * static_cast<double>(k);
    const char* name = kNames[k % 8];
    const int row = t.add(list, "AXGroup", Rect(68, y, 372, 72));
    t.add(row, "AXImage", Rect(80, y + 12, 48, 48), name);
    t.add(row, "AXStaticText", Rect(140, y + 12, 200, 22), name);
    t.add(row, "AXStaticText", Rect(140, y + 38, 220, 20), kTexts[(k + 3) % 8]);
    t.add(row, "AXStaticText", Rect(380, y + 12, 50, 16), "9:41");
    if (k % 5 == 2) t.add(row, "AXStaticText", Rect(392, y + 16, 36, 36), "Photo");
  }

  double y = 70;
  for (std::size_t k = 0; t.size() < target; ++k) {
    if (k % 20 == 0) {
      t.add(conversation, "AXHeading", Rect(860, y, 120, 24), "TODAY");
      y += 34;
    }
    const std::string time = std::to_string(9 + k % 12) + ":" + std::to_string(10 + k % 50);
    if (k % 9 == 4) {
      const std::string label = "Photo, " + time + ", " + kStatus[k % 3];
      const int message = t.add(conversation, "AXGroup", Rect(900, y, 480, 300), label);
      t.add(message, "AXImage", Rect(910, y + 10, 460, 260), "Photo");
      t.add(message, "AXStaticText", Rect(1320, y + 276, 40, 16), time);
      y += 310;
      continue;
    }
    const char* text = kTexts[k % 8];
    const std::string label =
        std::string(kNames[k % 3]) + ", " + text + ", " + time + ", " + kStatus[k % 3];
    const double x = k % 2 == 0 ? 460 : 900;
    const int message = t.add(conversation, "AXStaticText", Rect(x, y, 480, 56), label);
    t.add(message, "AXStaticText", Rect(x + 10, y + 6, 400, 22), text);
    t.add(message, "AXStaticText", Rect(x + 400, y + 34, 40, 16), time);
    t.add(message, "AXImage", Rect(x + 444, y + 34, 16, 16), kStatus[k % 3]);
    if (k % 7 == 3) t.add(message, "AXButton", Rect(x + 10, y + 40, 30, 20), "❤️ 2");
    y += 66;
  }
  return t.breadthFirst();
}

void analyze(benchmark::State& state) {
  const auto nodes = syntheticWindow(static_cast<std::size_t>(state.range(0)));
  // Measure the real work only: the window must be recognised in full.
  const auto e = velvix::WhatsAppStructure::parse(nodes, kWindow);
  if (!e.chatList || e.chatRows.size() < 3 || e.messages.size() < 3 || !e.composer ||
      e.mediaThumbnails.empty()) {
    state.SkipWithError("the synthetic window was not recognised");
    return;
  }
  for (auto _ : state) {
    auto analysis = velvix::WhatsAppStructure::analyze(nodes, kWindow);
    benchmark::DoNotOptimize(analysis);
  }
  state.counters["nodes"] = static_cast<double>(nodes.size());
}
BENCHMARK(analyze)->Name("Analyze")->Arg(300)->Arg(3000)->Arg(30000)->Unit(benchmark::kMicrosecond);

void copySnapshot(benchmark::State& state) {
  const auto nodes = syntheticWindow(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    std::vector<AccessibilityNode> copy = nodes;
    benchmark::DoNotOptimize(copy.data());
    benchmark::ClobberMemory();
  }
  state.counters["nodes"] = static_cast<double>(nodes.size());
}
BENCHMARK(copySnapshot)->Name("CopySnapshot")->Arg(3000)->Unit(benchmark::kMicrosecond);

}  // namespace
