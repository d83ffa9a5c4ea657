#include "WhatsAppModel.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <utility>

namespace velvix::sim {

namespace {

using G = WhatsAppModel::Geometry;
using List = WhatsAppModel::List;

constexpr std::size_t index(List list) {
  return static_cast<std::size_t>(list);
}

// WhatsApp's light palette, ARGB.
constexpr std::uint32_t kRail = 0xFFF0F2F5;
constexpr std::uint32_t kWhite = 0xFFFFFFFF;
constexpr std::uint32_t kBar = 0xFFF0F2F5;
constexpr std::uint32_t kWallpaper = 0xFFEFEAE2;
constexpr std::uint32_t kOutgoing = 0xFFD9FDD3;
constexpr std::uint32_t kInk = 0xFF111B21;
constexpr std::uint32_t kSecondary = 0xFF667781;
constexpr std::uint32_t kGreen = 0xFF00A884;
constexpr std::uint32_t kDivider = 0xFFE9EDEF;
constexpr std::uint32_t kShadow = 0x40000000;

std::uint32_t hashOf(std::string_view text) {
  std::uint32_t h = 2166136261u;
  for (unsigned char c : text)
    h = (h ^ c) * 16777619u;
  return h;
}

// A profile picture's colour: one of WhatsApp's avatar hues, fixed per name.
std::uint32_t avatarColour(std::string_view name) {
  static constexpr std::uint32_t hues[] = {0xFF53BDEB, 0xFFFC9775, 0xFF06CF9C, 0xFFA5B337,
                                           0xFFFA6533, 0xFF7F66FF, 0xFFDFA7F6, 0xFF42C7B8};
  return hues[hashOf(name) % std::size(hues)];
}

std::string initials(std::string_view name) {
  std::string out = {};
  bool start = true;
  for (std::size_t i = 0; i < name.size() && out.size() < 2; ++i) {
    const unsigned char c = static_cast<unsigned char>(name[i]);
    if (c == ' ') {
      start = true;
    } else if (start) {
      if (c < 0x80) out.push_back(static_cast<char>(std::toupper(c)));
      start = false;
    }
  }
  return out;
}

// One element as WhatsApp exposes it; an empty string is an absent attribute.
struct AxNode {
  std::string role = {};
  std::string description = {};
  std::string title = {};
  std::string value = {};
  Rect frame = {};  // window-relative, with every list above it unscrolled
  std::vector<AxNode> children = {};
  int list = -1;  // >= 0: the container of that list; its children are published by the list
};

}  // namespace

// Everything the model derives from its state: the elements to publish, what to paint, and
// what each list holds. Content of a list is laid out unscrolled; scrolling moves it up by the
// list's offset.
struct WhatsAppModel::Layout {
  struct Item {
    enum class Kind { chatRow, tallRow, contactRow, message } kind = Kind::chatRow;
    int index = 0;  // into the state's chats, panel rows or messages
    double top = 0;
    double bottom = 0;
    std::vector<AxNode> nodes = {};  // children of the container, in order
    Rect frame = {};                 // the row element
    std::string label = {};
    bool isMedia = false;
    std::string key = {};
    std::optional<Rect> image = {};      // a message's photo or video element
    std::optional<Rect> thumbnail = {};  // a chat row's photo thumbnail element
  };
  struct ListLayout {
    bool isShown = false;
    Rect viewport = {};
    double contentBottom = 0;  // unscrolled
    std::vector<Item> items = {};
  };
  struct Painted {
    PaintItem item;
    std::optional<List> list = {};
  };

  Size size = {};
  AxNode window;
  std::array<ListLayout, 3> lists = {};
  std::vector<Painted> paint = {};

  Rect chatListArea = {};
  std::optional<Rect> header, title, textArea = {};
  Rect messageArea = {};
  Rect jumpButton = {};
  std::optional<Rect> sheet, sheetPicture = {};
  std::vector<Rect> sheetNames, sheetThumbnails = {};
};

namespace {

class LayoutBuilder {
 public:
  using Layout = WhatsAppModel::Layout;
  using Item = Layout::Item;

  LayoutBuilder(const WhatsAppState& state,
                const std::function<double(std::string_view, double, bool)>& measure)
      : s_(state), measure_(measure) {}

  std::unique_ptr<Layout> build() {
    auto layout = std::make_unique<Layout>();
    L_ = layout.get();
    W_ = state().windowFrame.width();
    H_ = state().windowFrame.height();
    L_->size = {W_, H_};
    L_->window = {.role = "AXWindow", .title = "WhatsApp", .frame = {0, 0, W_, H_}};
    whole_ = Rect(0, 0, W_, H_);

    rail();
    sidebar();
    pane();
    if (s_.sheet) sheet(*s_.sheet);
    if (s_.sheet && s_.sheet->treeShowsOnlySheet) {
      AxNode sheetNode = std::move(L_->window.children.back());
      L_->window.children.clear();
      L_->window.children.push_back(std::move(sheetNode));
    }
    return layout;
  }

 private:
  const WhatsAppState& state() const { return s_; }
  double width(std::string_view text, double size, bool bold = false) const {
    return measure_(text, size, bold);
  }

  PaintItem& paint(PaintItem item, std::optional<List> list = std::nullopt) {
    item.isInSheet = inSheet_;
    if (item.clip.isNull() || item.clip == Rect()) item.clip = whole_;
    if (item.unit == Rect()) item.unit = item.rect;
    L_->paint.push_back({std::move(item), list});
    return L_->paint.back().item;
  }
  void fill(Rect r, std::uint32_t colour, double radius = 0, std::optional<List> list = {},
            Rect clip = {}) {
    paint(
        {.kind = PaintItem::Kind::fill, .rect = r, .color = colour, .radius = radius, .clip = clip},
        list);
  }
  // A line of text whose box is as wide as the text (at most `maxWidth`).
  Rect text(double x, double y, double maxWidth, std::string_view content, double size,
            std::uint32_t colour, bool bold, std::optional<Sensitive> sensitive, Rect unit,
            std::optional<List> list = {}, Rect clip = {}, bool isLatest = false,
            PaintItem::Align align = PaintItem::Align::left) {
    const double w = std::min(maxWidth, std::ceil(width(content, size, bold)));
    const double h = std::round(size * 1.25);
    Rect box(x, y, std::max(w, 1.0), h);
    if (align == PaintItem::Align::centre)
      box = Rect(x + (maxWidth - box.width()) / 2, y, box.width(), h);
    if (align == PaintItem::Align::right) box = Rect(x + maxWidth - box.width(), y, box.width(), h);
    paint({.kind = PaintItem::Kind::text,
           .rect = box,
           .color = colour,
           .text = std::string(content),
           .fontSize = size,
           .bold = bold,
           .clip = clip,
           .sensitive = sensitive,
           .isLatest = isLatest,
           .unit = unit},
          list);
    return box;
  }
  void avatar(Rect r, std::string_view name, std::optional<List> list, Rect clip, Rect unit,
              bool isSensitive = true) {
    paint({.kind = PaintItem::Kind::ellipse,
           .rect = r,
           .color = avatarColour(name),
           .text = initials(name),
           .fontSize = std::round(r.height() * 0.38),
           .bold = true,
           .clip = clip,
           .sensitive = isSensitive ? std::optional(Sensitive::picture) : std::nullopt,
           .unit = unit},
          list);
  }

  // --- the navigation rail ---------------------------------------------------------------------
  void rail() {
    AxNode node{.role = "AXGroup", .description = "Navigation", .frame = {0, 0, G::railWidth, H_}};
    fill(Rect(0, 0, G::railWidth, H_), kRail);
    const char* top[] = {"Chats", "Status", "Channels", "Communities"};
    for (int k = 0; k < 4; ++k) {
      const Rect b(14, 16 + 52.0 * k, 40, 40);
      node.children.push_back({.role = "AXButton", .description = top[k], .frame = b});
      fill(b.insetBy(8, 8), k == 0 ? kGreen : 0xFF8696A0, 6);
    }
    const Rect settings(14, H_ - 112, 40, 40), profile(14, H_ - 60, 40, 40);
    node.children.push_back({.role = "AXButton", .description = "Settings", .frame = settings});
    node.children.push_back({.role = "AXButton", .description = "Profile", .frame = profile});
    fill(settings.insetBy(8, 8), 0xFF8696A0, 12);
    paint({.kind = PaintItem::Kind::ellipse, .rect = profile.insetBy(4, 4), .color = 0xFFB0BEC5});
    paint({.kind = PaintItem::Kind::line,
           .rect = Rect(G::railWidth - 0.5, 0, 0, H_),
           .color = kDivider});
    L_->window.children.push_back(std::move(node));
  }

  // --- the chat list and a panel over it ---------------------------------------------------------
  void sidebar() {
    const double right = G::railWidth + G::listWidth;
    const Rect column(0, 0, right, H_);
    const Rect viewport(G::railWidth, G::listHeaderHeight, G::listWidth, H_ - G::listHeaderHeight);
    L_->chatListArea = viewport;
    AxNode node{.role = "AXGroup", .frame = column};
    fill(Rect(G::railWidth, 0, G::listWidth, H_), kWhite);

    // The panel lies over the chat list with exactly its frame and comes first among the two.
    auto& chat = L_->lists[index(List::chatList)];
    chat.isShown = true;
    chat.viewport = viewport;
    if (s_.panel) {
      auto& panelList = L_->lists[index(List::panel)];
      panelList.isShown = true;
      panelList.viewport = viewport;
      node.children.push_back({.role = "AXGroup",
                               .description = s_.panel->title,
                               .frame = column,
                               .list = static_cast<int>(List::panel)});
      panelRows(*s_.panel, panelList);
    }
    node.children.push_back({.role = "AXGroup",
                             .description = "Chat list",
                             .frame = column,
                             .list = static_cast<int>(List::chatList)});
    chatRows(chat, /*isPainted=*/!s_.panel);

    // The header lies over the list's top, drawn after it.
    AxNode header{.role = "AXGroup", .frame = {0, 0, right, G::listHeaderHeight}};
    const std::string title = s_.panel ? s_.panel->title : std::string("Chats");
    header.children.push_back({.role = "AXStaticText", .value = title, .frame = {84, 18, 260, 28}});
    header.children.push_back({.role = "AXTextField",
                               .description = "Search or start a new chat",
                               .frame = {80, 58, 352, 32}});
    L_->window.children.push_back(std::move(node));
    L_->window.children.back().children.push_back(std::move(header));
    fill(Rect(G::railWidth, 0, G::listWidth, G::listHeaderHeight), kWhite);
    text(84, 16, 260, title, 22, kInk, true, std::nullopt, {});
    fill(Rect(80, 58, 352, 32), kBar, 8);
    text(112, 64, 300, "Search or start a new chat", 14, kSecondary, false, std::nullopt, {});
    paint({.kind = PaintItem::Kind::line, .rect = Rect(right - 0.5, 0, 0, H_), .color = kDivider});
  }

  void chatRows(Layout::ListLayout& list, bool isPainted) {
    double y = G::listHeaderHeight;
    for (std::size_t i = 0; i < s_.chats.size(); ++i) {
      const WhatsAppChat& chat = s_.chats[i];
      const Rect r(G::railWidth, y, G::listWidth, G::chatRowHeight);
      Item item{.kind = Item::Kind::chatRow,
                .index = static_cast<int>(i),
                .top = r.minY(),
                .bottom = r.maxY(),
                .frame = r};
      item.label = chat.name + ", " + chat.preview + ", " + chat.time;
      AxNode row{.role = "AXGroup", .description = item.label, .frame = r};
      const Rect picture(r.minX() + 24, r.minY() + 12, 48, 48);
      row.children.push_back({.role = "AXImage", .description = "Profile photo", .frame = picture});
      const double textLeft = r.minX() + 86;
      const bool hasThumbnail = chat.previewIsPhoto;
      const Rect time(r.maxX() - 70, r.minY() + 15, 48, 16);
      if (isPainted) {
        avatar(picture, chat.name, List::chatList, list.viewport, r);
      }
      const Rect nameBox =
          rowText(textLeft, r.minY() + 14, r.maxX() - 76 - textLeft, chat.name, 15, kInk, false,
                  Sensitive::name, r, isPainted, List::chatList, list.viewport, 18);
      const double previewRight = hasThumbnail || chat.unread ? r.maxX() - 56 : r.maxX() - 24;
      const Rect previewBox =
          rowText(textLeft, r.minY() + 40, previewRight - textLeft, chat.preview, 13, kSecondary,
                  false, Sensitive::preview, r, isPainted, List::chatList, list.viewport, 17);
      row.children.push_back({.role = "AXStaticText", .value = chat.name, .frame = nameBox});
      row.children.push_back({.role = "AXStaticText", .value = chat.preview, .frame = previewBox});
      row.children.push_back({.role = "AXStaticText", .value = chat.time, .frame = time});
      if (isPainted) {
        text(time.minX(), time.minY(), time.width(), chat.time, 12,
             chat.unread ? kGreen : kSecondary, false, std::nullopt, r, List::chatList,
             list.viewport, false, PaintItem::Align::right);
      }
      if (hasThumbnail) {
        const Rect thumb(r.maxX() - 50, r.minY() + 34, 32, 32);
        item.thumbnail = thumb;
        row.children.push_back({.role = "AXImage", .description = "Photo", .frame = thumb});
        if (isPainted)
          paint({.kind = PaintItem::Kind::photo,
                 .rect = thumb,
                 .radius = 4,
                 .seed = hashOf(chat.name) ^ 0x9E3779B9u,
                 .clip = list.viewport,
                 .sensitive = Sensitive::thumbnail,
                 .unit = r},
                List::chatList);
      } else if (chat.unread && isPainted) {
        const Rect badge(r.maxX() - 44, r.minY() + 40, 20, 20);
        paint({.kind = PaintItem::Kind::ellipse,
               .rect = badge,
               .color = kGreen,
               .text = std::to_string(chat.unread),
               .fontSize = 11,
               .bold = true,
               .clip = list.viewport,
               .unit = r},
              List::chatList);
      }
      if (isPainted)
        paint({.kind = PaintItem::Kind::line,
               .rect = Rect(textLeft, r.maxY() - 0.5, r.maxX() - textLeft, 0),
               .color = kDivider,
               .clip = list.viewport,
               .unit = r},
              List::chatList);
      item.nodes.push_back(std::move(row));
      list.items.push_back(std::move(item));
      y += G::chatRowHeight;
    }
    list.contentBottom = y;
  }

  // A line of text in a list row; painted only when the list is the one on screen.
  Rect rowText(double x, double y, double maxWidth, std::string_view content, double size,
               std::uint32_t colour, bool bold, Sensitive sensitive, Rect unit, bool isPainted,
               List list, Rect clip, double height) {
    const double w = std::max(1.0, std::min(maxWidth, std::ceil(width(content, size, bold))));
    const Rect box(x, y, w, height);
    if (isPainted)
      paint({.kind = PaintItem::Kind::text,
             .rect = box,
             .color = colour,
             .text = std::string(content),
             .fontSize = size,
             .bold = bold,
             .clip = clip,
             .sensitive = sensitive,
             .unit = unit},
            list);
    return box;
  }

  void panelRows(const WhatsAppPanel& panel, Layout::ListLayout& list) {
    fill(list.viewport, kWhite, 0, std::nullopt);
    double y = G::listHeaderHeight;
    for (std::size_t i = 0; i < panel.rows.size(); ++i) {
      const WhatsAppPanelRow& row = panel.rows[i];
      Item item{.kind = row.isShort ? Item::Kind::contactRow : Item::Kind::tallRow,
                .index = static_cast<int>(i),
                .top = y};
      if (!row.heading.empty()) {
        const Rect h(G::railWidth, y, G::listWidth, G::panelHeadingHeight);
        item.nodes.push_back({.role = "AXHeading", .description = row.heading, .frame = h});
        text(h.minX() + 24, h.minY() + 10, 300, row.heading, 12, kGreen, true, std::nullopt, h,
             List::panel, list.viewport);
        y += G::panelHeadingHeight;
      }
      const double height = row.isShort ? G::contactRowHeight : G::chatRowHeight;
      const Rect r(G::railWidth, y, G::listWidth, height);
      item.frame = r;
      item.label = row.isShort ? row.name : row.name + ", " + row.detail;
      AxNode node{.role = "AXGroup", .description = item.label, .frame = r};
      if (row.isShort) {
        const Rect picture(r.minX() + 26, r.midY() - 16, 32, 32);
        node.children.push_back(
            {.role = "AXImage", .description = "Profile photo", .frame = picture});
        avatar(picture, row.name, List::panel, list.viewport, r);
        const Rect nameBox =
            rowText(r.minX() + 72, r.midY() - 9, r.maxX() - 24 - (r.minX() + 72), row.name, 15,
                    kInk, false, Sensitive::name, r, true, List::panel, list.viewport, 18);
        node.children.push_back({.role = "AXStaticText", .value = row.name, .frame = nameBox});
      } else {
        const Rect picture(r.minX() + 24, r.minY() + 12, 48, 48);
        node.children.push_back(
            {.role = "AXImage", .description = "Profile photo", .frame = picture});
        avatar(picture, row.name, List::panel, list.viewport, r);
        const double textLeft = r.minX() + 86;
        const Rect nameBox =
            rowText(textLeft, r.minY() + 14, r.maxX() - 24 - textLeft, row.name, 15, kInk, false,
                    Sensitive::name, r, true, List::panel, list.viewport, 18);
        const Rect detailBox =
            rowText(textLeft, r.minY() + 40, r.maxX() - 24 - textLeft, row.detail, 13, kSecondary,
                    false, Sensitive::preview, r, true, List::panel, list.viewport, 17);
        node.children.push_back({.role = "AXStaticText", .value = row.name, .frame = nameBox});
        node.children.push_back({.role = "AXStaticText", .value = row.detail, .frame = detailBox});
      }
      item.nodes.push_back(std::move(node));
      y += height;
      item.bottom = y;
      list.items.push_back(std::move(item));
    }
    list.contentBottom = y;
  }

  // --- the conversation pane ---------------------------------------------------------------------
  void pane() {
    const double x = G::railWidth + G::listWidth;
    const double w = W_ - x;
    const Rect frame(x, 0, w, H_);
    AxNode node{.role = "AXGroup", .frame = frame};
    const Rect area(x, G::conversationHeaderHeight, w,
                    H_ - G::conversationHeaderHeight - G::composerHeight);
    L_->messageArea = area;
    L_->jumpButton = Rect(W_ - 64, area.maxY() - 56, 40, 40);
    if (!s_.conversation) {
      fill(frame, kBar);
      const Rect heading(x + w / 2 - 150, H_ / 2 - 20, 300, 34);
      node.children.push_back(
          {.role = "AXHeading", .description = "WhatsApp for Mac", .frame = heading});
      text(heading.minX(), heading.minY(), heading.width(), "WhatsApp for Mac", 26, kInk, false,
           std::nullopt, {}, std::nullopt, {}, false, PaintItem::Align::centre);
      const Rect line(x + w / 2 - 170, H_ / 2 + 24, 340, 20);
      node.children.push_back({.role = "AXStaticText",
                               .value = "Send and receive messages without your phone.",
                               .frame = line});
      text(line.minX(), line.minY(), line.width(), "Send and receive messages without your phone.",
           13, kSecondary, false, std::nullopt, {}, std::nullopt, {}, false,
           PaintItem::Align::centre);
      L_->window.children.push_back(std::move(node));
      return;
    }
    const WhatsAppConversation& c = *s_.conversation;

    // Message list first: the header and composer bar are drawn over its ends.
    fill(area, kWallpaper);
    auto& list = L_->lists[index(List::messages)];
    list.isShown = true;
    list.viewport = area;
    AxNode group{.role = "AXGroup",
                 .description = c.title,
                 .frame = area,
                 .list = static_cast<int>(List::messages)};
    messages(c, list);

    // Header: picture, then the title button, then the call and search buttons.
    const Rect header(x, 0, w, G::conversationHeaderHeight);
    fill(header, kBar);
    AxNode headerNode{.role = "AXGroup", .frame = header};
    const Rect picture(x + 16, 14, 32, 32);
    headerNode.children.push_back(
        {.role = "AXImage", .description = "Profile photo", .frame = picture});
    avatar(picture, c.title, std::nullopt, {}, header);
    const double maxTitle = std::max(40.0, w - 200);
    const double titleWidth =
        std::min(maxTitle, std::max(width(c.title, 16, true), width(c.subtitle, 12)) + 8);
    const Rect title(x + 50, 8, std::ceil(titleWidth), 44);
    headerNode.children.push_back({.role = "AXButton", .description = c.title, .frame = title});
    text(title.minX() + 4, 13, title.width() - 8, c.title, 16, kInk, true, Sensitive::name, header);
    text(title.minX() + 4, 34, title.width() - 8, c.subtitle, 12, kSecondary, false, std::nullopt,
         header);
    const char* buttons[] = {"Video call", "Voice call", "Search"};
    for (int k = 0; k < 3; ++k) {
      const Rect b(W_ - 48 - 44.0 * (2 - k), 16, 28, 28);
      headerNode.children.push_back({.role = "AXButton", .description = buttons[k], .frame = b});
      fill(b.insetBy(5, 5), 0xFF54656F, 4);
    }
    L_->header = header;
    L_->title = title;

    // Composer bar: tools either side of the text area, which is a child of the pane itself.
    const Rect bar(x, H_ - G::composerHeight, w, G::composerHeight);
    fill(bar, kBar);
    const Rect textArea(x + 56, H_ - 55, w - 112, 36);
    L_->textArea = textArea;
    fill(textArea, kWhite, 8);
    const Rect composerUnit = textArea.insetBy(-12, -10).insetBy(-8, -8);
    if (s_.composerText.empty())
      text(textArea.minX() + 12, textArea.minY() + 9, textArea.width() - 24, "Type a message", 14,
           kSecondary, false, std::nullopt, composerUnit);
    else
      text(textArea.minX() + 12, textArea.minY() + 9, textArea.width() - 24, s_.composerText, 14,
           kInk, false, Sensitive::composer, composerUnit);
    AxNode leftTools{.role = "AXGroup", .frame = {x, bar.minY(), 56, G::composerHeight}};
    leftTools.children.push_back(
        {.role = "AXButton", .description = "Attach", .frame = {x + 14, H_ - 51, 28, 28}});
    fill(Rect(x + 19, H_ - 46, 18, 18), 0xFF54656F, 9);
    AxNode rightTools{.role = "AXGroup", .frame = {W_ - 56, bar.minY(), 56, G::composerHeight}};
    rightTools.children.push_back(
        {.role = "AXButton", .description = "Voice message", .frame = {W_ - 42, H_ - 51, 28, 28}});
    fill(Rect(W_ - 37, H_ - 46, 18, 18), 0xFF54656F, 9);

    node.children.push_back(std::move(headerNode));
    node.children.push_back(std::move(group));
    node.children.push_back(std::move(leftTools));
    node.children.push_back({.role = "AXTextArea",
                             .description = "Type a message",
                             .value = s_.composerText,
                             .frame = textArea});
    node.children.push_back(std::move(rightTools));
    L_->window.children.push_back(std::move(node));
  }

  // Greedy line breaking at blanks, by the measured width.
  std::vector<std::string> wrap(std::string_view content, double size, bool bold,
                                double maxWidth) const {
    std::vector<std::string> lines = {};
    std::string line = {};
    std::size_t at = 0;
    while (at <= content.size()) {
      std::size_t end = content.find(' ', at);
      if (end == std::string_view::npos) end = content.size();
      const std::string_view word = content.substr(at, end - at);
      const std::string candidate =
          line.empty() ? std::string(word) : line + " " + std::string(word);
      if (!line.empty() && width(candidate, size, bold) > maxWidth) {
        lines.push_back(line);
        line = std::string(word);
      } else {
        line = candidate;
      }
      at = end + 1;
    }
    if (!line.empty() || lines.empty()) lines.push_back(line);
    return lines;
  }

  void messages(const WhatsAppConversation& c, Layout::ListLayout& list) {
    const Rect area = list.viewport;
    const double bubbleMax = std::min(area.width() * 0.7, 460.0);
    const double textMax = bubbleMax - 20;
    const std::size_t n = c.messages.size();
    double y = area.minY() + 16;
    for (std::size_t i = 0; i < n; ++i) {
      const WhatsAppMessage& m = c.messages[i];
      const bool isLatest = i + 3 >= n;
      Item item{.kind = Item::Kind::message, .index = static_cast<int>(i), .top = y};
      if (!m.daySeparator.empty()) {
        const double pw = std::ceil(width(m.daySeparator, 12, false)) + 24;
        const Rect pill(area.midX() - pw / 2, y, pw, 28);
        item.nodes.push_back({.role = "AXHeading", .description = m.daySeparator, .frame = pill});
        fill(pill, 0xFFFFFFFF, 8, List::messages, area);
        text(pill.minX(), pill.minY() + 6, pill.width(), m.daySeparator, 12, kSecondary, false,
             std::nullopt, pill, List::messages, area, false, PaintItem::Align::centre);
        y += 28 + 10;
      }
      const bool isMedia = m.kind != WhatsAppMessage::Kind::text;
      const bool showsSender = !m.isOutgoing && !m.sender.empty();
      const std::vector<std::string> lines =
          m.text.empty() && isMedia ? std::vector<std::string>{} : wrap(m.text, 14, false, textMax);
      const std::string meta =
          m.isOutgoing && !m.status.empty() ? m.time + " · " + m.status : m.time;
      const Size media = m.kind == WhatsAppMessage::Kind::photo   ? Size{240, 180}
                         : m.kind == WhatsAppMessage::Kind::video ? Size{240, 135}
                                                                  : Size{0, 0};
      double contentWidth = std::max(width(meta, 11, false), media.width);
      for (const auto& line : lines)
        contentWidth = std::max(contentWidth, width(line, 14, false));
      if (showsSender) contentWidth = std::max(contentWidth, width(m.sender, 13, true));
      const double bubbleW = std::min(bubbleMax, std::ceil(contentWidth) + 20);
      const double bubbleH = 6 + (showsSender ? 18 : 0) + (isMedia ? media.height + 4 : 0) +
                             19.0 * static_cast<double>(lines.size()) + 16 + 6;
      const double bx = m.isOutgoing ? area.maxX() - 24 - bubbleW : area.minX() + 24;
      const Rect bubble(bx, y + 2, bubbleW, bubbleH);
      const Rect row(area.minX() + 16, y, area.width() - 32, bubbleH + 4);
      item.frame = row;

      fill(bubble, m.isOutgoing ? kOutgoing : kWhite, 8, List::messages, area);
      double cy = bubble.minY() + 6;
      if (showsSender) {
        text(bx + 10, cy, bubbleW - 20, m.sender, 13, avatarColour(m.sender), true,
             Sensitive::message, row, List::messages, area, isLatest);
        cy += 18;
      }
      const char* mediaWord = m.kind == WhatsAppMessage::Kind::video ? "Video" : "Photo";
      AxNode node;
      if (isMedia) {
        const Rect image(bx + (bubbleW - media.width) / 2, cy, media.width, media.height);
        item.image = image;
        paint({.kind = PaintItem::Kind::photo,
               .rect = image,
               .radius = 6,
               .seed = hashOf(m.text + m.time) + static_cast<std::uint32_t>(i),
               .clip = area,
               .sensitive = Sensitive::media,
               .isLatest = isLatest,
               .unit = row},
              List::messages);
        node = {.role = "AXGroup", .frame = row};
        node.children.push_back({.role = "AXImage", .description = mediaWord, .frame = image});
        cy += media.height + 4;
      } else {
        node = {.role = "AXStaticText", .frame = row};
      }
      for (const auto& line : lines) {
        text(bx + 10, cy, bubbleW - 20, line, 14, kInk, false, Sensitive::message, row,
             List::messages, area, isLatest);
        cy += 19;
      }
      text(bx + 10, cy, bubbleW - 20, meta, 11, kSecondary, false, std::nullopt, row,
           List::messages, area, false, PaintItem::Align::right);

      // WhatsApp's label: sender, text (or the media word and caption), time, delivery status.
      std::string label = {};
      auto add = [&label](std::string_view part) {
        if (part.empty()) return;
        if (!label.empty() && label.back() != '\n') label += ", ";
        label += part;
      };
      // In groups the sender has a line of its own, so a media message's second line still
      // starts with the media word.
      if (showsSender) label = m.sender + "\n";
      if (isMedia) add(mediaWord);
      add(m.text);
      add(m.time);
      item.key = label;
      if (m.isOutgoing) add(m.status);
      item.label = label;
      item.isMedia = isMedia;
      node.description = label;
      item.nodes.push_back(std::move(node));
      y += bubbleH + 4 + 6;
      item.bottom = y;
      list.items.push_back(std::move(item));
    }
    list.contentBottom = y + 10;
  }

  // --- the contact-info sheet --------------------------------------------------------------------
  void sheet(const WhatsAppSheet& sheet) {
    const double sx = std::max(0.0, std::round((W_ - G::sheetWidth) / 2));
    const double sy = 40;
    const Rect frame(sx, sy, std::min(G::sheetWidth, W_), H_ - 80);
    L_->sheet = frame;
    inSheet_ = true;
    paint({.kind = PaintItem::Kind::fill,
           .rect = frame.insetBy(-6, -6),
           .color = kShadow,
           .radius = 16});
    fill(frame, kWhite);
    AxNode node{.role = "AXSheet", .description = "Contact info", .frame = frame};
    node.children.push_back(
        {.role = "AXButton", .description = "Close", .frame = {sx + 16, sy + 16, 28, 28}});
    fill(Rect(sx + 22, sy + 22, 16, 16), 0xFF54656F, 8);
    node.children.push_back(
        {.role = "AXStaticText", .value = "Contact info", .frame = {sx + 56, sy + 18, 200, 24}});
    text(sx + 56, sy + 18, 200, "Contact info", 16, kInk, true, std::nullopt, {});

    const Rect picture(sx + frame.width() / 2 - 80, sy + 64, 160, 160);
    node.children.push_back({.role = "AXButton", .description = "Profile photo", .frame = picture});
    avatar(picture, sheet.name, std::nullopt, {}, picture);
    L_->sheetPicture = picture;

    // The heading sits in a group in a group whose static texts belong to the name.
    const double centre = sx + frame.width() / 2;
    const double nameWidth = std::min(380.0, std::ceil(width(sheet.name, 20, true)));
    const Rect name(centre - nameWidth / 2, sy + 240, nameWidth, 26);
    const double aboutWidth = std::min(380.0, std::ceil(width(sheet.about, 14, false)));
    const Rect about(centre - aboutWidth / 2, sy + 276, std::max(aboutWidth, 1.0), 18);
    AxNode info{.role = "AXGroup", .frame = {sx + 20, sy + 236, frame.width() - 40, 62}};
    AxNode nameGroup{.role = "AXGroup", .frame = {sx + 20, sy + 236, frame.width() - 40, 32}};
    nameGroup.children.push_back({.role = "AXHeading", .value = sheet.name, .frame = name});
    info.children.push_back(std::move(nameGroup));
    info.children.push_back({.role = "AXStaticText", .value = sheet.about, .frame = about});
    text(name.minX(), name.minY(), name.width(), sheet.name, 20, kInk, true, Sensitive::name, name);
    text(about.minX(), about.minY(), about.width(), sheet.about, 14, kSecondary, false,
         Sensitive::name, about);
    node.children.push_back(std::move(info));
    L_->sheetNames = {name, about};

    // The phone number's row is labelled "Phone number" and holds the number itself.
    const Rect phoneRow(sx + 20, sy + 324, frame.width() - 40, 44);
    AxNode phone{.role = "AXGroup", .description = "Phone number", .frame = phoneRow};
    phone.children.push_back(
        {.role = "AXStaticText", .value = "Phone number", .frame = {sx + 36, sy + 328, 200, 15}});
    text(sx + 36, sy + 328, 200, "Phone number", 11, kSecondary, false, std::nullopt, {});
    const double numberWidth = std::min(300.0, std::ceil(width(sheet.phone, 15, false)));
    const Rect number(sx + 36, sy + 346, std::max(numberWidth, 1.0), 18);
    phone.children.push_back({.role = "AXStaticText", .value = sheet.phone, .frame = number});
    text(number.minX(), number.minY(), number.width(), sheet.phone, 15, kInk, false,
         Sensitive::name, phoneRow);
    node.children.push_back(std::move(phone));
    L_->sheetNames.push_back(phoneRow);

    node.children.push_back({.role = "AXStaticText",
                             .value = "Media, links and docs",
                             .frame = {sx + 20, sy + 392, 250, 18}});
    text(sx + 20, sy + 392, 250, "Media, links and docs", 13, kSecondary, false, std::nullopt, {});
    const Rect body(frame.minX(), frame.minY() + 56, frame.width(),
                    std::max(frame.height() - 56, 0.0));
    for (int k = 0; k < std::clamp(sheet.thumbnails, 0, 4); ++k) {
      const Rect thumb(sx + 20 + 88.0 * k, sy + 418, 80, 80);
      node.children.push_back({.role = "AXStaticText", .description = "Photo", .frame = thumb});
      paint({.kind = PaintItem::Kind::photo,
             .rect = thumb,
             .radius = 6,
             .seed = hashOf(sheet.name) + static_cast<std::uint32_t>(k) * 7919u,
             .clip = frame,
             .sensitive = Sensitive::thumbnail,
             .unit = thumb});
      const Rect visible = thumb.intersection(body);
      if (!visible.isNull() && visible.height() >= 1) L_->sheetThumbnails.push_back(visible);
    }
    L_->window.children.push_back(std::move(node));
  }

  const WhatsAppState& s_;
  const std::function<double(std::string_view, double, bool)>& measure_;
  Layout* L_ = nullptr;
  double W_ = 0, H_ = 0;
  Rect whole_ = {};
  bool inSheet_ = false;
};

}  // namespace

// --- the sample account ------------------------------------------------------------------------

WhatsAppState WhatsAppState::sample() {
  WhatsAppState s;
  const char* names[] = {
      "Family",           "Ana Souza",     "Tom Becker",     "Book club",    "Priya Nair",
      "Lukas Meyer",      "Climbing crew", "Mia Rossi",      "Dr. Okafor",   "Jonas Weber",
      "Sofia Lindqvist",  "Flat 3B",       "Kenji Watanabe", "Grandma",      "Léa Martin",
      "Omar Haddad",      "Work: launch",  "Elif Yılmaz",    "Noah Fischer", "Chloé Dubois",
      "Running Sundays",  "Ivan Petrov",   "Zoe Clarke",     "Hugo Silva",   "Amira Saleh",
      "Parents' evening", "Ben Carter",    "Ines García",    "Yuki Sato",    "Garden swap"};
  const char* previews[] = {"Mum: Dinner at 7, bring the salad",
                            "See you at the station!",
                            "Can you send me the contract draft?",
                            "Chapter 12 was wild",
                            "The scan results came back fine",
                            "I'll transfer the rent tomorrow",
                            "Saturday 9:00 at the wall?",
                            "Photo",
                            "Please confirm your appointment",
                            "haha yes exactly",
                            "Tack för igår!",
                            "Who took my oat milk",
                            "Meeting moved to Thursday",
                            "Call me when you can, love",
                            "Merci pour le cadeau",
                            "The keys are under the mat",
                            "Release notes are in the doc",
                            "Yarın görüşürüz",
                            "Did you see the game?",
                            "On arrive dans 10 min",
                            "Route for Sunday: 12 km",
                            "Password is on the fridge",
                            "Happy birthday!!",
                            "Voice message",
                            "I miss you",
                            "Permission slip due Friday",
                            "Lunch?",
                            "¿Vienes mañana?",
                            "Arigato, see you soon",
                            "Tomatoes for basil?"};
  for (int i = 0; i < 30; ++i) {
    WhatsAppChat chat{.name = names[i], .preview = previews[i]};
    chat.time = i < 4 ? "1" + std::to_string(i) + ":2" + std::to_string(i) : "Yesterday";
    chat.previewIsPhoto = i == 7 || i == 16;
    chat.unread = i % 5 == 1 ? i % 4 + 1 : 0;
    s.chats.push_back(chat);
  }
  WhatsAppConversation c{.title = "Family", .subtitle = "Mum, Dad, Lena, You"};
  using K = WhatsAppMessage::Kind;
  const struct {
    K kind;
    const char* text;
    bool out;
    const char* sender;
    const char* time;
    const char* day;
  } script[] = {
      {K::text, "Has anyone booked the restaurant for Sunday?", false, "Dad", "18:02", "Friday"},
      {K::text, "Not yet, I can call them tomorrow morning", true, "", "18:05", ""},
      {K::text, "Ask for the table by the window, Grandma likes it", false, "Mum", "18:06", ""},
      {K::photo, "The view from the hotel", false, "Lena", "19:40", ""},
      {K::text, "Wow! Is that the lake?", true, "", "19:42", ""},
      {K::text, "Yes, we walked around it this afternoon. 14 km!", false, "Lena", "19:45", ""},
      {K::text, "Booked for 12:30, table for six", true, "", "09:12", "Yesterday"},
      {K::text, "Perfect, thank you", false, "Dad", "09:20", ""},
      {K::video, "Leo's first steps", false, "Lena", "11:03", ""},
      {K::text, "I'm crying, he's so big already", false, "Mum", "11:05", ""},
      {K::text, "Can't wait to see him on Sunday", true, "", "11:07", ""},
      {K::text, "Who brings dessert?", false, "Mum", "20:15", ""},
      {K::text, "I'll make the apple cake", true, "", "20:16", ""},
      {K::photo, "", false, "Dad", "08:31", "Today"},
      {K::text, "Fresh from the market, for the salad", false, "Dad", "08:31", ""},
      {K::text, "Dinner at 7, bring the salad", false, "Mum", "17:58", ""},
      {K::text, "On my way, 20 minutes", true, "", "18:40", ""},
  };
  for (const auto& line : script) {
    WhatsAppMessage m{.kind = line.kind,
                      .text = line.text,
                      .isOutgoing = line.out,
                      .sender = line.sender,
                      .time = line.time,
                      .daySeparator = line.day};
    if (m.isOutgoing) m.status = "Read";
    c.messages.push_back(m);
  }
  c.messages.back().status = "Delivered";
  s.conversation = c;
  s.composerText = "I'll bring the wine too";
  return s;
}

// --- the model -----------------------------------------------------------------------------------

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
  layout_ = LayoutBuilder(state_, options_.measureText).build();
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
  const Point o = origin();
  // Adds `node` under `parent`, and everything below it, at global positions.
  std::function<ElementId(ElementId, const AxNode&)> add = [&](ElementId parent,
                                                               const AxNode& node) {
    ElementSpec definition{.role = node.role, .frame = node.frame.offsetBy(o.x, o.y)};
    if (!node.description.empty()) definition.description = Value(node.description);
    if (!node.title.empty()) definition.title = Value(node.title);
    if (!node.value.empty()) definition.value = Value(node.value);
    const ElementId id = ax.addChild(parent, std::move(definition));
    ax.setElementCost(id, options_.elementReadCost);
    ++elementsCreated_;
    if (node.list >= 0) lists_[static_cast<std::size_t>(node.list)].container = id;
    for (const AxNode& child : node.children)
      add(id, child);
    return id;
  };
  windowElement_ = add(app_, layout_->window);
  // The pane is the parent of the jump button: the window's child holding the message list.
  if (lists_[index(List::messages)].container)
    for (ElementId child : ax.children(windowElement_))
      for (ElementId grandchild : ax.children(child))
        if (grandchild == lists_[index(List::messages)].container) pane_ = child;
  for (List list : {List::chatList, List::panel, List::messages}) {
    if (!lists_[index(list)].container) continue;
    applyOffset(list);
    syncList(list);
  }
  syncJumpButton();
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
  const Point origin = this->origin();
  for (const auto& item : l.items) {
    if (!wanted(item)) continue;
    const bool present = std::any_of(published.items.begin(), published.items.end(),
                                     [&](const Published& p) { return p.index == item.index; });
    if (present) continue;
    Published p{.index = item.index};
    std::function<ElementId(ElementId, const AxNode&)> add = [&](ElementId parent,
                                                                 const AxNode& node) {
      ElementSpec definition{.role = node.role, .frame = node.frame.offsetBy(origin.x, origin.y)};
      if (!node.description.empty()) definition.description = Value(node.description);
      if (!node.title.empty()) definition.title = Value(node.title);
      if (!node.value.empty()) definition.value = Value(node.value);
      const ElementId id = ax.addChild(parent, std::move(definition));
      ax.setElementCost(id, options_.elementReadCost);
      ++elementsCreated_;
      for (const AxNode& child : node.children)
        add(id, child);
      return id;
    };
    for (const AxNode& node : item.nodes)
      p.roots.push_back(add(published.container, node));
    published.items.push_back(std::move(p));
  }
}

// WhatsApp offers a button to jump back to the newest message as soon as the list is scrolled
// up from its end.
void WhatsAppModel::syncJumpButton() {
  SimAccessibility& ax = desktop_.accessibility();
  const bool wanted = pane_ && state_.scroll.messagesFromBottom >= 1;
  if (wanted && !jumpButton_) {
    ElementSpec definition{.role = "AXButton",
                           .description = Value("Scroll to bottom"),
                           .frame = layout_->jumpButton.offsetBy(origin().x, origin().y)};
    jumpButton_ = ax.addChild(pane_, std::move(definition));
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

std::optional<WhatsAppModel::List> WhatsAppModel::scrollWheel(double points) {
  desktop_.toolkit().scrollWheel();
  const auto screens = desktop_.windowServer().screens();
  const double screenHeight = screens.empty() ? 0 : screens.front().height();
  const Point mouse = desktop_.windowServer().mouseLocation();
  const Point local{mouse.x - origin().x, screenHeight - mouse.y - origin().y};
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

  // Photo thumbnails of chat rows, clipped to the chat list (also behind a panel: the rows stay
  // in the tree).
  const Rect clip = e.chatList.value_or(Rect(0, 0, L.size.width, L.size.height));
  for (const auto* item : chatItems)
    if (item->thumbnail) {
      const Rect visible = frameNow(List::chatList, *item->thumbnail).intersection(clip);
      if (!visible.isNull() && visible.height() >= 1) e.mediaThumbnails.push_back(visible);
    }
  return e;
}

// --- the scene's private areas -------------------------------------------------------------------

const char* name(Sensitive category) {
  switch (category) {
    case Sensitive::name:
      return "names";
    case Sensitive::preview:
      return "previews";
    case Sensitive::picture:
      return "pictures";
    case Sensitive::message:
      return "messages";
    case Sensitive::media:
      return "media";
    case Sensitive::composer:
      return "composer";
    case Sensitive::thumbnail:
      return "thumbnails";
  }
  return "?";
}

std::vector<SensitiveArea> sensitiveAreas(const Scene& scene, const BlurOptions& options) {
  std::vector<SensitiveArea> areas = {};
  if (!options.isEnabled) return areas;
  for (const PaintItem& item : scene.items) {
    if (!item.sensitive) continue;
    bool promised = false;
    switch (*item.sensitive) {
      case Sensitive::name:
        promised = options.blurNames;
        break;
      case Sensitive::preview:
        promised = options.blurPreviews;
        break;
      case Sensitive::picture:
        promised = options.blurProfilePictures;
        break;
      case Sensitive::composer:
        promised = options.blurTextInput;
        break;
      case Sensitive::thumbnail:
        promised = options.blurMediaGallery;
        break;
      case Sensitive::message:
      case Sensitive::media: {
        const bool isMedia = *item.sensitive == Sensitive::media;
        const bool leftReadable =
            options.blurMessages && options.unblurLastMessages && item.isLatest;
        promised = !leftReadable && (options.blurMessages || (options.blurMediaPreview && isMedia));
        break;
      }
    }
    if (!promised) continue;
    // A line of text is drawn centred in its box. Its ink reaches from the accents of small
    // letters, 0.46 of the font size above the box's middle, to the descenders, 0.58 below
    // (a sans-serif's line is 1.16 high with its baseline 0.35 below the middle).
    Rect bounds = item.rect;
    if (item.kind == PaintItem::Kind::text) {
      const double h = bounds.height();
      const double top = std::max(0.0, h / 2 - 0.46 * item.fontSize);
      const double bottom = std::min(h, h / 2 + 0.58 * item.fontSize);
      bounds =
          Rect(bounds.minX(), bounds.minY() + top, bounds.width(), std::max(0.0, bottom - top));
    }
    const Rect shown = bounds.intersection(item.clip);
    if (shown.isNull()) continue;
    SensitiveArea area{.rect = shown,
                       .bounds = bounds,
                       .isEllipse = item.kind == PaintItem::Kind::ellipse,
                       .cornerRadius = item.kind == PaintItem::Kind::photo ? item.radius : 0,
                       .category = *item.sensitive,
                       .unit = item.unit,
                       .isWhole = shown == bounds};
    // What lies under the sheet does not show: keep the pieces beside it.
    const Rect hidden =
        scene.sheet && !item.isInSheet ? shown.intersection(*scene.sheet) : Rect::null();
    if (hidden.isNull()) {
      areas.push_back(area);
      continue;
    }
    area.isWhole = false;
    const Rect pieces[] = {
        Rect(shown.minX(), shown.minY(), shown.width(), hidden.minY() - shown.minY()),
        Rect(shown.minX(), hidden.maxY(), shown.width(), shown.maxY() - hidden.maxY()),
        Rect(shown.minX(), hidden.minY(), hidden.minX() - shown.minX(), hidden.height()),
        Rect(hidden.maxX(), hidden.minY(), shown.maxX() - hidden.maxX(), hidden.height())};
    for (const Rect& piece : pieces)
      if (piece.width() > 0 && piece.height() > 0) {
        area.rect = piece;
        areas.push_back(area);
      }
  }
  return areas;
}

}  // namespace velvix::sim
