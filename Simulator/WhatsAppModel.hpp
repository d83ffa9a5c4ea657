#pragma once

// A model of the WhatsApp desktop client inside the Simulator. Configured from a plain state —
// the window, the chats, the open conversation, the composer, a panel over the chat list, a
// sheet, how far both lists are scrolled — it
//  - registers WhatsApp's process and window with the window server,
//  - publishes the accessibility tree WhatsApp exposes (roles, sizes, labels and nesting as the
//    structure analysis expects them), every element read costing virtual time,
//  - scrolls its lists on scroll-wheel events from the Simulator's mouse, moving the elements
//    with the content and, like a list view that only keeps the rows near the screen, adding
//    rows as they come near and removing those that went far away,
//  - tells what it shows: a scene of paint items (for pixels) with its private content marked,
//    and the interface elements a correct analysis of its tree recognises.
//
//   sim::Desktop desktop;
//   sim::WhatsAppModel whatsApp(desktop, sim::WhatsAppState::sample());
//   desktop.windowServer().setMouseTopLeft({300, 400});
//   whatsApp.scrollWheel(120);  // the chat list scrolls down by 120 points
//
// Geometry: the window is laid out as WhatsApp for Mac is — a navigation rail, the chat list
// with its header, and the conversation pane with its header, message list and composer bar.
// All frames here are window-relative unless named global.

#include "Desktop.hpp"
#include "WhatsAppScene.hpp"

#include <BlurLayout/Snapshot.hpp>

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velvix::sim {

struct AxNode;

struct WhatsAppChat {
  std::string name = {};
  std::string preview = {};  ///< the last message
  std::string time = "9:41";
  bool previewIsPhoto = false;  ///< a photo thumbnail at the row's end, labelled "Photo"
  int unread = 0;
};

struct WhatsAppMessage {
  enum class Kind { text, photo, video };
  Kind kind = Kind::text;
  std::string text = {};  ///< the text, or a media message's caption (may be empty)
  bool isOutgoing = false;
  std::string sender = {};  ///< in group chats, who wrote an incoming message
  std::string time = "9:41";
  std::string status = {};        ///< outgoing: "Sent", "Delivered", "Read"
  std::string daySeparator = {};  ///< when set, a separator ("Today") precedes the message
};

struct WhatsAppConversation {
  std::string title = {};
  std::string subtitle = "online";
  std::vector<WhatsAppMessage> messages = {};
};

/// A row of a panel lying over the chat list ("New chat"): tall rows like chats, short rows for
/// contacts; a heading may precede a row.
struct WhatsAppPanelRow {
  std::string name = {};
  std::string detail = {};  ///< tall rows only
  bool isShort = false;
  std::string heading = {};
};

struct WhatsAppPanel {
  std::string title = "New chat";
  std::vector<WhatsAppPanelRow> rows = {};
  double scroll = 0;  ///< points scrolled down from the top
};

/// A contact-info sheet over the window.
struct WhatsAppSheet {
  std::string name = {};
  std::string about = {};
  std::string phone = {};
  int thumbnails = 4;
  /// While the sheet is up, WhatsApp exposes only the sheet (nothing of the window behind it).
  bool treeShowsOnlySheet = false;
};

struct WhatsAppState {
  Rect windowFrame = {100, 80, 1200, 800};  ///< global, top-left origin
  /// The theme and the column widths the user chose (WhatsApp's defaults unless set).
  struct Look {
    double railWidth = 68;
    double listWidth = 376;
    bool dark = false;
  } look;
  std::vector<WhatsAppChat> chats = {};
  std::optional<WhatsAppConversation> conversation = {};
  std::string composerText = {};
  std::optional<WhatsAppPanel> panel = {};
  std::optional<WhatsAppSheet> sheet = {};
  struct Scroll {
    double chatList = 0;            ///< points scrolled down from the top of the chat list
    double messagesFromBottom = 0;  ///< points scrolled up from the newest message
  } scroll;

  /// A believable account: 30 chats, a group conversation with text, photos, a video and day
  /// separators, no panel, no sheet.
  [[nodiscard]] static WhatsAppState sample();
};

/// How the published tree departs from the one the structure analysis knows, as a WhatsApp
/// update might change it. The window shows the same content either way.
enum class TreeChange {
  none,
  rolesRenamed,  ///< groups published as "AXLayoutArea", static text as "AXCell"
  extraLevel,    ///< a group of the window's size between the window and everything in it
  labelsEmpty,   ///< no element has a description, title or value
};
[[nodiscard]] const char* name(TreeChange change);

struct WhatsAppModelOptions {
  std::int32_t pid = 4242;
  std::string bundleIdentifier = "net.whatsapp.WhatsApp";
  /// Virtual time every request to one of the model's elements takes.
  Duration elementReadCost = std::chrono::microseconds(20);
  /// How far beyond a list's visible area rows stay in the tree, in visible heights.
  double prefetch = 0.5;
  /// The width of a line of text; the default estimates it, the pixel renderer measures it.
  std::function<double(std::string_view text, double fontSize, bool bold)> measureText;
  TreeChange treeChange = TreeChange::none;
};

class WhatsAppModel {
 public:
  /// Fixed measurements of WhatsApp's window, in points (the columns' by default).
  struct Geometry {
    static constexpr double railWidth = WhatsAppState::Look{}.railWidth;
    static constexpr double listWidth = WhatsAppState::Look{}.listWidth;
    static constexpr double listHeaderHeight = 100;
    static constexpr double chatRowHeight = 72;
    static constexpr double contactRowHeight = 56;
    static constexpr double panelHeadingHeight = 32;
    static constexpr double conversationHeaderHeight = 60;
    static constexpr double composerHeight = 74;
    static constexpr double sheetWidth = 420;
    static constexpr double minimumWidth = 800;
    static constexpr double minimumHeight = 500;
  };

  enum class List { chatList, panel, messages };

  using Options = WhatsAppModelOptions;

  /// Registers WhatsApp with the desktop's window server and publishes its tree. The window is
  /// at least Geometry::minimumWidth × minimumHeight.
  WhatsAppModel(Desktop& desktop, WhatsAppState state, Options options = {});
  WhatsAppModel(const WhatsAppModel&) = delete;
  WhatsAppModel& operator=(const WhatsAppModel&) = delete;
  ~WhatsAppModel();

  [[nodiscard]] const WhatsAppState& state() const { return state_; }
  [[nodiscard]] const Options& options() const { return options_; }
  /// Replaces the whole state: the window moves, and the tree is published anew.
  void setState(WhatsAppState state);

  /// A scroll-wheel event at the Simulator's mouse: every global scroll-wheel monitor hears of
  /// it, and when the pointer is over one of the window's lists, that list scrolls by `points`
  /// (positive: towards later content, which moves up). Returns the list that scrolled.
  std::optional<List> scrollWheel(double points);
  /// A press of the primary button at the Simulator's mouse: every global click monitor hears
  /// of it. On the jump-to-bottom button the conversation scrolls to its newest message; on a
  /// chat row (with no panel or sheet open) that chat opens, at its newest message. Returns
  /// whether it did either.
  bool click();
  /// Scrolls a list to a position: points from the top (chat list, panel) or from the bottom
  /// (messages), clamped to the content.
  void scrollTo(List list, double position);
  /// The list's position, as scrollTo() takes it.
  [[nodiscard]] double scrollPosition(List list) const;
  /// How far the list's content can move.
  [[nodiscard]] double scrollRange(List list) const;
  /// The list's visible area.
  [[nodiscard]] Rect viewport(List list) const;

  /// What the window shows now.
  [[nodiscard]] Scene scene() const;

  /// What a correct analysis of the tree as it is now recognises: the elements the model put
  /// there, in the analysis' terms.
  [[nodiscard]] DetectedElements recognisable() const;

  // --- for tests -------------------------------------------------------------------------------
  [[nodiscard]] std::uint32_t windowNumber() const { return windowNumber_; }
  [[nodiscard]] ElementId windowElement() const { return windowElement_; }
  /// The container element of a list; 0 when the list is not shown.
  [[nodiscard]] ElementId container(List list) const;
  /// The list's elements in the tree now, in the container's child order (a message with a
  /// day separator counts once).
  [[nodiscard]] std::vector<ElementId> publishedItems(List list) const;
  /// The index in the state of each published item, in the same order.
  [[nodiscard]] std::vector<int> publishedIndices(List list) const;
  [[nodiscard]] std::optional<ElementId> jumpButton() const { return jumpButton_; }
  /// Elements published since construction.
  [[nodiscard]] long elementsCreated() const { return elementsCreated_; }

  /// The default text width estimate: generous per-character widths of a sans-serif font.
  [[nodiscard]] static double estimateTextWidth(std::string_view text, double fontSize, bool bold);

  struct Layout;  // internal

 private:
  struct Published {
    int index = 0;
    std::vector<ElementId> roots = {};
  };
  struct ListState {
    ElementId container = 0;
    std::vector<Published> items = {};  // in child order
  };

  void publish();
  /// Adds `node` under `parent`, and everything below it, at global positions.
  ElementId publish(ElementId parent, const AxNode& node);
  /// The element `node` stands for, at its global position, as the tree change has it.
  [[nodiscard]] ElementSpec published(const AxNode& node) const;
  void syncList(List list);
  void syncJumpButton();
  void applyOffset(List list);
  [[nodiscard]] double offset(List list) const;
  [[nodiscard]] Point origin() const { return state_.windowFrame.origin; }
  /// The Simulator's mouse, relative to the window.
  [[nodiscard]] Point localMouse() const;

  Desktop& desktop_;
  WhatsAppState state_;
  Options options_;
  std::unique_ptr<Layout> layout_;
  std::uint32_t windowNumber_ = 0;
  ElementId app_ = 0;
  ElementId windowElement_ = 0;
  ElementId pane_ = 0;
  std::array<ListState, 3> lists_ = {};
  std::optional<ElementId> jumpButton_ = {};
  long elementsCreated_ = 0;
};

}  // namespace velvix::sim
