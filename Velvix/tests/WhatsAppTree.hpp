#pragma once

// Builds WhatsApp-shaped accessibility trees in the Simulator, in window-relative coordinates:
//
//   auto tree = WhatsAppTree::standard(desktop.accessibility(), 42, Rect(100, 80, 1000, 700));
//
// gives a window with a chat list of rows on the left and, on the right, a conversation pane
// holding the message list and the composer: the shape the structure analysis recognises, with
// the chat list and the message list as its two scroll containers.

#include <Simulator/SimAccessibility.hpp>

#include <string>
#include <vector>

namespace velvix::testing {

struct WhatsAppTree {
  sim::SimAccessibility& ax;
  Rect frame;  ///< the window, global
  sim::ElementId app = 0;
  sim::ElementId window = 0;
  sim::ElementId chatList = 0;
  sim::ElementId pane = 0;
  sim::ElementId messages = 0;
  sim::ElementId composer = 0;
  std::vector<sim::ElementId> rows;
  std::vector<sim::ElementId> messageRows;

  WhatsAppTree(sim::SimAccessibility& accessibility, int pid, Rect windowFrame)
      : ax(accessibility), frame(windowFrame), app(ax.addApplication(pid)) {}

  /// Adds an element at a window-relative frame.
  sim::ElementId add(sim::ElementId parent, std::string role, Rect relative,
                     std::string description = "") {
    sim::ElementSpec definition;
    definition.role = std::move(role);
    if (!description.empty()) definition.description = platform::Value(std::move(description));
    definition.frame = relative.offsetBy(frame.minX(), frame.minY());
    return ax.addChild(parent, std::move(definition));
  }

  /// A window at `frame` (offset by `shift` points, as a window that moved would be).
  sim::ElementId addWindow(Point shift = {0, 0}) {
    window = add(app, "AXWindow", Rect(shift.x, shift.y, frame.width(), frame.height()));
    return window;
  }

  static WhatsAppTree standard(sim::SimAccessibility& accessibility, int pid, Rect windowFrame,
                               int chatRows = 8, int messageCount = 6) {
    WhatsAppTree t(accessibility, pid, windowFrame);
    t.addWindow();
    t.chatList = t.add(t.window, "AXGroup", Rect(70, 100, 330, 600));
    for (int i = 0; i < chatRows; ++i)
      t.rows.push_back(t.add(t.chatList, "AXGroup", Rect(70, 100 + 72.0 * i, 300, 72),
                             "Chat " + std::to_string(i)));
    t.pane = t.add(t.window, "AXGroup", Rect(400, 0, 600, 700));
    t.messages = t.add(t.pane, "AXGroup", Rect(400, 60, 600, 560));
    for (int i = 0; i < messageCount; ++i)
      t.messageRows.push_back(t.add(t.messages, "AXStaticText", Rect(420, 70 + 90.0 * i, 560, 60),
                                    "Message " + std::to_string(i) + ", 9:4" + std::to_string(i)));
    t.composer = t.add(t.pane, "AXTextArea", Rect(440, 640, 520, 40));
    return t;
  }
};

}  // namespace velvix::testing
