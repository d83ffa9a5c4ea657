#include "WhatsAppLayout.hpp"

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

// The dark theme's colour for each colour of the light one; pictures keep theirs.
std::uint32_t darkened(std::uint32_t colour) {
  switch (colour) {
    case kRail:  // also kBar
      return 0xFF202C33;
    case kWhite:
      return 0xFF111B21;
    case kWallpaper:
      return 0xFF0B141A;
    case kOutgoing:
      return 0xFF005C4B;
    case kInk:
      return 0xFFE9EDEF;
    case kSecondary:
      return 0xFF8696A0;
    case kDivider:
      return 0xFF222D34;
    case 0xFF54656F:  // icons
      return 0xFFAEBAC1;
    default:
      return colour;
  }
}

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

// How a line of text looks.
struct TextStyle {
  double size = 14;
  std::uint32_t colour = kInk;
  bool bold = false;
  PaintItem::Align align = PaintItem::Align::left;
  std::optional<double> lineHeight = {};  ///< the box's height; 1.25 × the size, rounded, if empty
};

// What painted content belongs to: its interface unit, the list it scrolls with (and is
// clipped to), and whether it is private.
struct Belonging {
  Rect unit = {};
  std::optional<List> list = {};
  Rect clip = {};
  std::optional<Sensitive> sensitive = {};
  bool isLatest = false;  ///< one of the conversation's three newest messages
};

class LayoutBuilder {
 public:
  using Layout = WhatsAppModel::Layout;
  using Item = Layout::Item;

  LayoutBuilder(const WhatsAppState& state,
                const std::function<double(std::string_view, double, bool)>& measure)
      : s_(state), measure_(measure), rail_(state.look.railWidth), list_(state.look.listWidth) {}

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
    if (s_.look.dark) item.color = darkened(item.color);
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
  // The box of a line of text: as wide as the text (at most `maxWidth`), aligned in that width.
  Rect textBox(Point at, double maxWidth, std::string_view content, const TextStyle& style) const {
    const double w =
        std::max(1.0, std::min(maxWidth, std::ceil(width(content, style.size, style.bold))));
    const double h = style.lineHeight.value_or(std::round(style.size * 1.25));
    double x = at.x;
    if (style.align == PaintItem::Align::centre) x += (maxWidth - w) / 2;
    if (style.align == PaintItem::Align::right) x += maxWidth - w;
    return Rect(x, at.y, w, h);
  }
  // Paints a line of text; returns its box.
  Rect text(Point at, double maxWidth, std::string_view content, const TextStyle& style,
            const Belonging& where = {}) {
    const Rect box = textBox(at, maxWidth, content, style);
    paint({.kind = PaintItem::Kind::text,
           .rect = box,
           .color = style.colour,
           .text = std::string(content),
           .fontSize = style.size,
           .bold = style.bold,
           .clip = where.clip,
           .sensitive = where.sensitive,
           .isLatest = where.isLatest,
           .unit = where.unit},
          where.list);
    return box;
  }
  // A profile picture: the initials on the name's colour.
  void avatar(Rect r, std::string_view name, const Belonging& where) {
    paint({.kind = PaintItem::Kind::ellipse,
           .rect = r,
           .color = avatarColour(name),
           .text = initials(name),
           .fontSize = std::round(r.height() * 0.38),
           .bold = true,
           .clip = where.clip,
           .sensitive = Sensitive::picture,
           .unit = where.unit},
          where.list);
  }

  // --- the navigation rail ---------------------------------------------------------------------
  void rail() {
    AxNode node{.role = "AXGroup", .description = "Navigation", .frame = {0, 0, rail_, H_}};
    fill(Rect(0, 0, rail_, H_), kRail);
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
    paint({.kind = PaintItem::Kind::line, .rect = Rect(rail_ - 0.5, 0, 0, H_), .color = kDivider});
    L_->window.children.push_back(std::move(node));
  }

  // --- the chat list and a panel over it ---------------------------------------------------------
  void sidebar() {
    const double right = rail_ + list_;
    const Rect column(0, 0, right, H_);
    const Rect viewport(rail_, G::listHeaderHeight, list_, H_ - G::listHeaderHeight);
    L_->chatListArea = viewport;
    AxNode node{.role = "AXGroup", .frame = column};
    fill(Rect(rail_, 0, list_, H_), kWhite);

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
    const Rect search(rail_ + 12, 58, list_ - 24, 32);
    header.children.push_back(
        {.role = "AXStaticText", .value = title, .frame = {rail_ + 16, 18, 260, 28}});
    header.children.push_back(
        {.role = "AXTextField", .description = "Search or start a new chat", .frame = search});
    L_->window.children.push_back(std::move(node));
    L_->window.children.back().children.push_back(std::move(header));
    fill(Rect(rail_, 0, list_, G::listHeaderHeight), kWhite);
    text({rail_ + 16, 16}, 260, title, {.size = 22, .bold = true});
    fill(search, kBar, 8);
    text({rail_ + 44, 64}, list_ - 76, "Search or start a new chat", {.colour = kSecondary});
    paint({.kind = PaintItem::Kind::line, .rect = Rect(right - 0.5, 0, 0, H_), .color = kDivider});
  }

  void chatRows(Layout::ListLayout& list, bool isPainted) {
    double y = G::listHeaderHeight;
    for (std::size_t i = 0; i < s_.chats.size(); ++i) {
      const WhatsAppChat& chat = s_.chats[i];
      const Rect r(rail_, y, list_, G::chatRowHeight);
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
      const Belonging inRow{.unit = r, .list = List::chatList, .clip = list.viewport};
      // Behind a panel the rows are in the tree but not on screen.
      const auto line = [&](Point at, double maxWidth, std::string_view content,
                            const TextStyle& style, Sensitive sensitive) {
        Belonging where = inRow;
        where.sensitive = sensitive;
        return isPainted ? text(at, maxWidth, content, style, where)
                         : textBox(at, maxWidth, content, style);
      };
      if (isPainted) avatar(picture, chat.name, inRow);
      const Rect nameBox = line({textLeft, r.minY() + 14}, r.maxX() - 76 - textLeft, chat.name,
                                {.size = 15, .lineHeight = 18}, Sensitive::name);
      const double previewRight = hasThumbnail || chat.unread ? r.maxX() - 56 : r.maxX() - 24;
      const Rect previewBox =
          line({textLeft, r.minY() + 40}, previewRight - textLeft, chat.preview,
               {.size = 13, .colour = kSecondary, .lineHeight = 17}, Sensitive::preview);
      row.children.push_back({.role = "AXStaticText", .value = chat.name, .frame = nameBox});
      row.children.push_back({.role = "AXStaticText", .value = chat.preview, .frame = previewBox});
      row.children.push_back({.role = "AXStaticText", .value = chat.time, .frame = time});
      if (isPainted) {
        text(time.origin, time.width(), chat.time,
             {.size = 12,
              .colour = chat.unread ? kGreen : kSecondary,
              .align = PaintItem::Align::right},
             inRow);
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

  void panelRows(const WhatsAppPanel& panel, Layout::ListLayout& list) {
    fill(list.viewport, kWhite, 0, std::nullopt);
    double y = G::listHeaderHeight;
    for (std::size_t i = 0; i < panel.rows.size(); ++i) {
      const WhatsAppPanelRow& row = panel.rows[i];
      Item item{.kind = row.isShort ? Item::Kind::contactRow : Item::Kind::tallRow,
                .index = static_cast<int>(i),
                .top = y};
      if (!row.heading.empty()) {
        const Rect h(rail_, y, list_, G::panelHeadingHeight);
        item.nodes.push_back({.role = "AXHeading", .description = row.heading, .frame = h});
        text({h.minX() + 24, h.minY() + 10}, 300, row.heading,
             {.size = 12, .colour = kGreen, .bold = true},
             {.unit = h, .list = List::panel, .clip = list.viewport});
        y += G::panelHeadingHeight;
      }
      const double height = row.isShort ? G::contactRowHeight : G::chatRowHeight;
      const Rect r(rail_, y, list_, height);
      item.frame = r;
      item.label = row.isShort ? row.name : row.name + ", " + row.detail;
      AxNode node{.role = "AXGroup", .description = item.label, .frame = r};
      const Belonging inRow{.unit = r, .list = List::panel, .clip = list.viewport};
      Belonging name = inRow;
      name.sensitive = Sensitive::name;
      if (row.isShort) {
        const Rect picture(r.minX() + 26, r.midY() - 16, 32, 32);
        node.children.push_back(
            {.role = "AXImage", .description = "Profile photo", .frame = picture});
        avatar(picture, row.name, inRow);
        const Rect nameBox = text({r.minX() + 72, r.midY() - 9}, r.maxX() - 24 - (r.minX() + 72),
                                  row.name, {.size = 15, .lineHeight = 18}, name);
        node.children.push_back({.role = "AXStaticText", .value = row.name, .frame = nameBox});
      } else {
        const Rect picture(r.minX() + 24, r.minY() + 12, 48, 48);
        node.children.push_back(
            {.role = "AXImage", .description = "Profile photo", .frame = picture});
        avatar(picture, row.name, inRow);
        const double textLeft = r.minX() + 86;
        const Rect nameBox = text({textLeft, r.minY() + 14}, r.maxX() - 24 - textLeft, row.name,
                                  {.size = 15, .lineHeight = 18}, name);
        Belonging detail = inRow;
        detail.sensitive = Sensitive::preview;
        const Rect detailBox = text({textLeft, r.minY() + 40}, r.maxX() - 24 - textLeft, row.detail,
                                    {.size = 13, .colour = kSecondary, .lineHeight = 17}, detail);
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
    const double x = rail_ + list_;
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
      text(heading.origin, heading.width(), "WhatsApp for Mac",
           {.size = 26, .align = PaintItem::Align::centre});
      const Rect line(x + w / 2 - 170, H_ / 2 + 24, 340, 20);
      node.children.push_back({.role = "AXStaticText",
                               .value = "Send and receive messages without your phone.",
                               .frame = line});
      text(line.origin, line.width(), "Send and receive messages without your phone.",
           {.size = 13, .colour = kSecondary, .align = PaintItem::Align::centre});
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

    // Header: picture, then the title button 45 points in with its text 6 further (where the
    // blur layout expects them when it knows no title), then the call and search buttons.
    const Rect header(x, 0, w, G::conversationHeaderHeight);
    fill(header, kBar);
    AxNode headerNode{.role = "AXGroup", .frame = header};
    const Rect picture(x + 11, 14, 32, 32);
    headerNode.children.push_back(
        {.role = "AXImage", .description = "Profile photo", .frame = picture});
    avatar(picture, c.title, {.unit = header});
    const double maxTitle = std::max(40.0, w - 200);
    const double titleWidth =
        std::min(maxTitle, std::max(width(c.title, 16, true), width(c.subtitle, 12)) + 8);
    const Rect title(x + 45, 8, std::ceil(titleWidth), 44);
    headerNode.children.push_back({.role = "AXButton", .description = c.title, .frame = title});
    text({title.minX() + 6, 13}, title.width() - 10, c.title, {.size = 16, .bold = true},
         {.unit = header, .sensitive = Sensitive::name});
    text({title.minX() + 6, 34}, title.width() - 10, c.subtitle, {.size = 12, .colour = kSecondary},
         {.unit = header});
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
    const Point typed{textArea.minX() + 12, textArea.minY() + 9};
    if (s_.composerText.empty())
      text(typed, textArea.width() - 24, "Type a message", {.colour = kSecondary},
           {.unit = composerUnit});
    else
      text(typed, textArea.width() - 24, s_.composerText, {},
           {.unit = composerUnit, .sensitive = Sensitive::composer});
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
        text({pill.minX(), pill.minY() + 6}, pill.width(), m.daySeparator,
             {.size = 12, .colour = kSecondary, .align = PaintItem::Align::centre},
             {.unit = pill, .list = List::messages, .clip = area});
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
      const Belonging content{.unit = row,
                              .list = List::messages,
                              .clip = area,
                              .sensitive = Sensitive::message,
                              .isLatest = isLatest};
      double cy = bubble.minY() + 6;
      if (showsSender) {
        text({bx + 10, cy}, bubbleW - 20, m.sender,
             {.size = 13, .colour = avatarColour(m.sender), .bold = true}, content);
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
        text({bx + 10, cy}, bubbleW - 20, line, {}, content);
        cy += 19;
      }
      text({bx + 10, cy}, bubbleW - 20, meta,
           {.size = 11, .colour = kSecondary, .align = PaintItem::Align::right},
           {.unit = row, .list = List::messages, .clip = area});

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
    text({sx + 56, sy + 18}, 200, "Contact info", {.size = 16, .bold = true});

    const Rect picture(sx + frame.width() / 2 - 80, sy + 64, 160, 160);
    node.children.push_back({.role = "AXButton", .description = "Profile photo", .frame = picture});
    avatar(picture, sheet.name, {.unit = picture});
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
    text(name.origin, name.width(), sheet.name, {.size = 20, .bold = true},
         {.unit = name, .sensitive = Sensitive::name});
    text(about.origin, about.width(), sheet.about, {.colour = kSecondary},
         {.unit = about, .sensitive = Sensitive::name});
    node.children.push_back(std::move(info));
    L_->sheetNames = {name, about};

    // The phone number's row is labelled "Phone number" and holds the number itself.
    const Rect phoneRow(sx + 20, sy + 324, frame.width() - 40, 44);
    AxNode phone{.role = "AXGroup", .description = "Phone number", .frame = phoneRow};
    phone.children.push_back(
        {.role = "AXStaticText", .value = "Phone number", .frame = {sx + 36, sy + 328, 200, 15}});
    text({sx + 36, sy + 328}, 200, "Phone number", {.size = 11, .colour = kSecondary});
    const double numberWidth = std::min(300.0, std::ceil(width(sheet.phone, 15, false)));
    const Rect number(sx + 36, sy + 346, std::max(numberWidth, 1.0), 18);
    phone.children.push_back({.role = "AXStaticText", .value = sheet.phone, .frame = number});
    text(number.origin, number.width(), sheet.phone, {.size = 15},
         {.unit = phoneRow, .sensitive = Sensitive::name});
    node.children.push_back(std::move(phone));
    L_->sheetNames.push_back(phoneRow);

    node.children.push_back({.role = "AXStaticText",
                             .value = "Media, links and docs",
                             .frame = {sx + 20, sy + 392, 250, 18}});
    text({sx + 20, sy + 392}, 250, "Media, links and docs", {.size = 13, .colour = kSecondary});
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
  const double rail_, list_;  // the rail's and the chat list's widths
  Layout* L_ = nullptr;
  double W_ = 0, H_ = 0;
  Rect whole_ = {};
  bool inSheet_ = false;
};

}  // namespace

std::unique_ptr<WhatsAppModel::Layout> layOut(
    const WhatsAppState& state,
    const std::function<double(std::string_view, double, bool)>& measure) {
  return LayoutBuilder(state, measure).build();
}

}  // namespace velvix::sim
