#include <BlurLayout/BlurLayout.hpp>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <utility>
#include <vector>

// The cases name only the fields of the detected elements they set; the rest keep their defaults.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace velvix {
namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
using Message = DetectedElements::Message;
using R = Rect;

// Protection on with only the named categories: "latest" (leave the latest messages clear),
// "messages", "previews", "input", "names", "pictures", "media", "gallery"; or "all" of them.
BlurOptions only(const std::string& names) {
  BlurOptions o;
  o.isEnabled = true;
  const std::pair<const char*, bool BlurOptions::*> flags[] = {
      {"latest", &BlurOptions::unblurLastMessages}, {"messages", &BlurOptions::blurMessages},
      {"previews", &BlurOptions::blurPreviews},     {"input", &BlurOptions::blurTextInput},
      {"names", &BlurOptions::blurNames},           {"pictures", &BlurOptions::blurProfilePictures},
      {"media", &BlurOptions::blurMediaPreview},    {"gallery", &BlurOptions::blurMediaGallery}};
  const std::string padded = std::string(" ").append(names).append(" ");
  for (const auto& [word, flag] : flags) {
    o.*flag =
        names == "all" || padded.find(std::string(" ").append(word).append(" ")) != names.npos;
  }
  return o;
}

BlurRegion whole(Rect r, std::optional<Rect> hover = std::nullopt, Shape shape = Shape::rounded) {
  return BlurRegion(r, hover, Reveal::whole(), shape);
}
BlurRegion circle(Rect r, std::optional<Rect> hover) {
  return whole(r, hover, Shape::circle);
}
BlurRegion band(Rect r) {
  return BlurRegion(r, std::nullopt, Reveal::band(90), Shape::rounded);
}

template <typename... Region>
std::vector<BlurRegion> blurs(Region... r) {
  return {r...};
}

TEST(Regions, ForTheDetectedElements) {
  const Rect header(596, 0, 604, 56);
  const DetectedElements layoutMode;
  const DetectedElements precise{.isRead = true};
  const DetectedElements rows{.isRead = true, .chatList = R(64, 60, 400, 700)};
  DetectedElements chatRow = rows;
  chatRow.chatRows = {R(64, 100, 400, 72)};
  const Rect row = chatRow.chatRows[0];
  DetectedElements contactRow = rows;
  contactRow.contactRows = {R(64, 100, 400, 56)};
  DetectedElements chatAndContactRow = chatRow;
  chatAndContactRow.contactRows = {R(64, 300, 400, 56)};
  const DetectedElements listOnly{.isRead = true, .chatList = R(0, 0, 400, 800)};
  DetectedElements coveredList = listOnly;
  coveredList.isChatListCovered = true;
  const Rect top(400, 0, 600, 60);
  const DetectedElements titled{
      .isRead = true, .conversationHeader = top, .conversationTitle = R(460, 10, 200, 40)};
  const DetectedElements untitled{.isRead = true, .conversationHeader = top};
  const DetectedElements convo{
      .isRead = true,
      .messageArea = R(400, 60, 600, 600),
      .messages = {Message{R(420, 300, 300, 50), true, "media", true},    // latest media
                   Message{R(420, 100, 300, 50), false, "old", false},    // listed out of order
                   Message{R(420, 200, 300, 50), false, "latest", true},  // latest text
                   Message{R(420, 659.5, 300, 50), false, "sliver", false}}};  // 0.5 points in
  const DetectedElements sameBottoms{.isRead = true,
                                     .messageArea = R(0, 0, 1000, 800),
                                     .messages = {Message{R(500, 100, 100, 50), false, "b", false},
                                                  Message{R(10, 120, 100, 30), false, "a", false},
                                                  Message{R(10, 10, 100, 30), false, "c", false}}};
  const DetectedElements area{.isRead = true, .messageArea = R(400, 60, 600, 600)};
  const DetectedElements shortArea{.isRead = true, .messageArea = R(400, 60, 600, 100)};
  const DetectedElements scrolling{
      .isRead = true, .chatList = R(50, 100, 400, 600), .chatRows = {R(0, 90, 500, 60)}};
  DetectedElements oneAbove = scrolling;
  oneAbove.chatRows.push_back(R(0, -100, 500, 60));
  const DetectedElements scrollingConvo{
      .isRead = true,
      .messageArea = R(400, 100, 600, 600),
      .messages = {Message{R(420, 500, 300, 100), false, "m", false}}};
  const DetectedElements gallery{.isRead = true,
                                 .messageArea = R(400, 60, 600, 600),
                                 .images = {R(500, 100, 100, 100), R(10, 10, 100, 100)},
                                 .mediaThumbnails = {R(500, 300, 48, 48)},
                                 .sheetThumbnails = {R(30, 400, 50, 50)}};
  const DetectedElements thumbInList{
      .isRead = true, .chatList = R(64, 60, 400, 740), .mediaThumbnails = {R(400, 100, 32, 32)}};
  DetectedElements thumbCovered = thumbInList;
  thumbCovered.isChatListCovered = true;
  const auto rowAt = [](Rect r) {
    return DetectedElements{.isRead = true, .chatList = R(64, 60, 400, 740), .chatRows = {r}};
  };
  const auto sheetPicture = [](Rect r) {
    return DetectedElements{.isRead = true, .sheet = R(0, 0, 200, 800), .sheetPicture = r};
  };
  const DetectedElements composer{.isRead = true, .composer = R(-10, 700, 200, 150)};
  const R window(0, 0, 1000, 800);
  const DetectedElements sheet{.isRead = true,
                               .messageArea = window,
                               .sheet = R(300, 200, 400, 400),
                               .sheetPicture = R(450, 250, 100, 100),
                               .sheetNames = {R(400, 360, 200, 30)}};
  const DetectedElements rowBesideSheet{.isRead = true,
                                        .chatList = R(0, 0, 300, 800),
                                        .chatRows = {R(0, 10, 300, 72)},
                                        .sheet = R(500, 100, 300, 300)};
  const auto excluded = [&](BlurRegion region) {
    region.hoverExclusion = window;
    return region;
  };
  const auto behindSheet = [&](Rect r) {
    return excluded(BlurRegion(r, window, Reveal::band(90), Shape::rounded));
  };
  LayoutMetrics pictureLeftOfTheList;
  pictureLeftOfTheList.avatarInset = -60;
  using S = ScrollOffset;

  const struct {
    const char* name;
    double width;  // of a window 800 high
    const char* options;
    DetectedElements elements;
    std::vector<BlurRegion> expected;
    ScrollOffset scroll = {};
    LayoutMetrics metrics = LayoutMetrics::defaults;
  } cases[] = {
      {"layout mode with the default measurements", 1200,
       "latest messages previews input names pictures", layoutMode,
       blurs(band(R(220, 100, 80, 700)), band(R(300, 100, 296, 700)),
             circle(R(605, 10, 36, 36), header), whole(R(647, 6, 280, 44), header),
             band(R(596, 56, 604, 500)), whole(R(640, 736, 516, 54), R(632, 728, 532, 70)))},
      {"layout mode narrower than the chat list: only its columns", 500, "all", layoutMode,
       blurs(band(R(220, 100, 80, 700)), band(R(300, 100, 200, 700)))},
      {"one chat row: picture, name, preview, no strip without scrolling", 1200,
       "names previews pictures", chatRow,
       blurs(circle(R(86, 110, 52, 52), row), whole(R(146, 112, 300, 22.5), row),
             whole(R(146, 136, 300, 26), row))},
      {"contact rows: a smaller picture and a centred name, no preview", 1200,
       "names previews pictures", contactRow,
       blurs(circle(R(88, 110, 36, 36), R(64, 100, 400, 56)),
             whole(R(132, 117, 314, 22), R(64, 100, 400, 56)))},
      {"chat rows come before contact rows", 1200, "names previews pictures", chatAndContactRow,
       blurs(circle(R(86, 110, 52, 52), row), whole(R(146, 112, 300, 22.5), row),
             whole(R(146, 136, 300, 26), row), circle(R(88, 310, 36, 36), R(64, 300, 400, 56)),
             whole(R(132, 317, 314, 22), R(64, 300, 400, 56)))},
      {"a picture whose centre is outside the list: name and preview only", 1200,
       "names previews pictures", chatRow,
       blurs(whole(R(64, 112, 382, 22.5), row), whole(R(64, 136, 382, 26), row)), S(),
       pictureLeftOfTheList},
      {"precise mode with nothing detected blurs nothing", 1200, "all", precise, blurs()},
      {"a covered chat list without rows blurs no columns", 1200, "all", coveredList, blurs()},
      {"a detected list without rows falls back to the two columns", 1200, "all", listOnly,
       blurs(band(R(0, 0, 80, 800)), band(R(80, 0, 320, 800)))},
      {"header: picture left of the title, title as the name", 1000, "names pictures", titled,
       blurs(circle(R(424, 12, 36, 36), top), whole(R(460, 10, 200, 40), top))},
      // The fallback name is at most half the pane wide (the pane as the measurements have it).
      {"header without a title: the picture 45 points in", 1000, "names pictures", untitled,
       blurs(circle(R(409, 12, 36, 36), top), whole(R(451, 6, 202, 48), top))},
      {"latest messages stay clear, sorted by bottom edge", 1000, "messages latest", convo,
       blurs(whole(R(420, 100, 300, 50)))},
      {"every message when the latest are not left clear", 1000, "messages", convo,
       blurs(whole(R(420, 100, 300, 50)), whole(R(420, 200, 300, 50)),
             whole(R(420, 300, 300, 50)))},
      {"media preview alone blurs media messages, latest or not", 1000, "media latest", convo,
       blurs(whole(R(420, 300, 300, 50)))},
      {"a latest media message stays clear under blurMessages", 1000, "messages latest media",
       convo, blurs(whole(R(420, 100, 300, 50)))},
      {"messages with the same bottom keep their order", 1000, "messages", sameBottoms,
       blurs(whole(R(10, 10, 100, 30)), whole(R(500, 100, 100, 50)), whole(R(10, 120, 100, 30)))},
      {"a message area without messages", 1000, "messages", area,
       blurs(band(R(400, 60, 600, 600)))},
      {"the latest messages' height stays clear", 1000, "messages latest", area,
       blurs(band(R(400, 60, 600, 430)))},
      {"an area lower than that height blurs nothing", 1000, "messages latest", shortArea, blurs()},
      {"rows move with the list, clipped sideways; a strip covers what entered at the top", 1200,
       "names", scrolling,
       blurs(whole(R(132, 132, 300, 22.5), R(50, 120, 400, 60)), whole(R(50, 100, 400, 20))),
       S{30, 0}},
      {"a known row scrolled out above the list leaves no strip, and is not drawn", 1200, "names",
       oneAbove, blurs(whole(R(132, 132, 300, 22.5), R(50, 120, 400, 60))), S{30, 0}},
      {"half a point of movement uncovers no strip", 1200, "names", scrolling,
       blurs(whole(R(132, 102.5, 300, 22.5), R(50, 100, 400, 50.5))), S{0.5, 0}},
      {"messages moved up uncover a strip at the bottom", 1200, "messages", scrollingConvo,
       blurs(whole(R(420, 460, 300, 100)), whole(R(400, 660, 600, 40))), S{0, -40}},
      {"messages moved down uncover a strip at the top", 1200, "messages", scrollingConvo,
       blurs(whole(R(420, 650, 300, 50)), whole(R(400, 100, 600, 150))), S{0, 150}},
      {"images outside the message area, thumbnails, sheet thumbnails: 3 points larger", 1000,
       "gallery", gallery,
       blurs(whole(R(7, 7, 106, 106)), whole(R(497, 297, 54, 54)), whole(R(27, 397, 56, 56)))},
      {"a thumbnail in the chat list moves with it", 1000, "gallery", thumbInList,
       blurs(whole(R(397, 77, 38, 38))), S{-20, 0}},
      {"clipped 3 points beyond the list's edge", 1000, "gallery", thumbInList,
       blurs(whole(R(397, 57, 38, 18))), S{-60, 0}},
      {"half a point of it in the list: covered", 1000, "gallery", thumbInList,
       blurs(whole(R(397, 57, 38, 6.5))), S{-71.5, 0}},
      {"well past the edge: gone", 1000, "gallery", thumbInList, blurs(), S{-78, 0}},
      {"behind a panel over the list: still, for the scroll is the panel's", 1000, "gallery",
       thumbCovered, blurs(whole(R(397, 97, 38, 38))), S{-20, 0}},
      {"past the window's bottom: the whole circle, for the panel's edge to clip", 1200, "pictures",
       rowAt(R(64, 760, 400, 72)), blurs(circle(R(86, 770, 52, 52), R(64, 760, 400, 40)))},
      {"its centre under the list's header: still a circle", 1200, "pictures",
       rowAt(R(64, 20, 400, 72)), blurs(circle(R(86, 30, 52, 52), R(64, 60, 400, 32)))},
      {"all of it under the header: none", 1200, "pictures", rowAt(R(64, -20, 400, 90)), blurs()},
      {"no larger than the window: whole", 200, "pictures", sheetPicture(R(-50, 100, 196, 196)),
       blurs(circle(R(-52, 98, 200, 200), std::nullopt))},
      {"larger than the window: clipped like the rest", 200, "pictures",
       sheetPicture(R(-50, 100, 197, 197)),
       blurs(circle(R(0, 98, 149, 201), R(-52, 98, 201, 201)))},
      {"composer clipped to the window, hover area grown and not clipped", 1000, "input", composer,
       blurs(whole(R(0, 700, 190, 100), R(-18, 692, 216, 166)))},
      {"layout mode falls back to the measured composer", 1000, "input", layoutMode,
       blurs(whole(R(640, 736, 316, 54), R(632, 728, 332, 70)))},
      {"a sheet cuts out what lies behind it", 1000, "messages pictures names", sheet,
       blurs(behindSheet(R(0, 0, 1000, 200)), behindSheet(R(0, 600, 1000, 200)),
             behindSheet(R(0, 200, 300, 400)), behindSheet(R(700, 200, 300, 400)),
             circle(R(448, 248, 104, 104), std::nullopt), whole(R(396, 358, 208, 34)))},
      {"away from the sheet regions keep their shape but gain the exclusion", 1000, "pictures",
       rowBesideSheet, blurs(excluded(circle(R(22, 20, 52, 52), R(0, 10, 300, 72))))},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(
        BlurLayout::regions(Size{c.width, 800}, c.metrics, only(c.options), c.elements, c.scroll),
        c.expected);
  }
}

TEST(Regions, NothingForADisabledOrDegenerateWindow) {
  BlurOptions off = only("all");
  off.isEnabled = false;
  EXPECT_TRUE(BlurLayout::regions({1200, 800}, LayoutMetrics::defaults, off, {}, {}).empty());
  for (const Size window :
       {Size{0, 800}, Size{1200, -1}, Size{1200, nan}, Size{nan, 800}, Size{INFINITY, 800}}) {
    SCOPED_TRACE(testing::PrintToString(window));
    EXPECT_TRUE(BlurLayout::regions(window, LayoutMetrics::defaults, only("all"), {}, {}).empty());
  }
}

// Whatever the input, a region is inside the window (a circle at least overlaps it) and at least
// one point in both directions.
TEST(Regions, DegenerateInputNeverGivesARegionOutsideTheWindowOrUnderOnePoint) {
  LayoutMetrics nanMetrics;
  nanMetrics.railWidth = nanMetrics.avatarSize = nanMetrics.composerHeight = nan;
  LayoutMetrics allNan;
  allNan.railWidth = allNan.chatListWidth = allNan.chatListHeaderHeight = allNan.avatarSize =
      allNan.avatarInset = allNan.conversationHeaderHeight = allNan.composerHeight =
          allNan.composerSideInset = allNan.lastMessagesHeight = allNan.revealBandHeight = nan;
  LayoutMetrics negative;
  negative.railWidth = -500;
  negative.chatListWidth = -100;
  negative.conversationHeaderHeight = -50;
  LayoutMetrics huge;
  huge.railWidth = huge.chatListWidth = 1e300;
  const DetectedElements odd{.isRead = true,
                             .chatList = R(10, 10, -300, 500),
                             .chatRows = {R(nan, 20, 300, 72), R(0, 20, -300, -72), R(0, 0, 0, 0)},
                             .contactRows = {R(0, nan, 300, 56)},
                             .conversationHeader = R(400, 0, nan, 60),
                             .conversationTitle = R(nan, nan, nan, nan),
                             .messageArea = R(400, 60, 600, -600),
                             .messages = {Message{R(420, nan, 300, 50), false, "", true},
                                          Message{R(420, 1e308, 300, 1e308), true, "k", false}},
                             .composer = R(0, 0, 1e308, 1e308),
                             .images = {R(nan, 0, 100, 100)},
                             .sheet = R(100, 100, nan, 100),
                             .sheetPicture = R(-1e308, 0, 1, 1),
                             .sheetNames = {R(0, 0, -3, -1)},
                             .mediaThumbnails = {Rect::null()}};
  const LayoutMetrics& normal = LayoutMetrics::defaults;
  const struct {
    const char* name;
    Size window;
    LayoutMetrics metrics;
    DetectedElements elements;
    ScrollOffset scroll;
  } cases[] = {
      {"some NaN measurements", {1200, 800}, nanMetrics, {}, {}},
      {"all NaN measurements", {1200, 800}, allNan, {}, {}},
      {"negative measurements", {1200, 800}, negative, {}, {}},
      {"huge measurements", {1200, 800}, huge, {}, {}},
      {"a tiny window", {0.5, 0.5}, normal, {}, {}},
      {"NaN scroll offsets", {1200, 800}, normal, odd, {nan, nan}},
      {"huge scroll offsets", {1200, 800}, normal, odd, {1e308, -1e308}},
      {"odd detected frames", {1200, 800}, normal, odd, {12, -7}},
      {"odd frames and NaN measurements", {1200, 800}, allNan, odd, {3, 3}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Rect window(0, 0, c.window.width, c.window.height);
    for (const BlurRegion& r :
         BlurLayout::regions(c.window, c.metrics, only("all"), c.elements, c.scroll)) {
      SCOPED_TRACE(testing::PrintToString(r));
      // A circle may reach past the window's edge, by less than the window's size.
      if (r.shape == Shape::circle) {
        EXPECT_TRUE(r.rect.intersects(window));
        EXPECT_TRUE(window.insetBy(-c.window.width, -c.window.height).contains(r.rect));
      } else {
        EXPECT_TRUE(window.contains(r.rect));
      }
      EXPECT_GE(r.rect.width(), 1);
      EXPECT_GE(r.rect.height(), 1);
    }
  }
}

TEST(EnteringStrip, CoversWhatScrolledIntoViewUpToTheKnownElements) {
  const Rect area(0, 100, 300, 600);
  const struct {
    const char* name;
    double offset;
    std::vector<Rect> known;
    std::optional<Rect> expected;
  } cases[] = {
      {"0.9 is no movement", 0.9, {}, std::nullopt},
      {"-0.9 is no movement", -0.9, {}, std::nullopt},
      {"NaN is no movement", nan, {}, std::nullopt},
      {"1.0 is", 1.0, {}, R(0, 100, 300, 1)},
      {"down, nothing known", 40, {}, R(0, 100, 300, 40)},
      {"down, stops at the first known element", 40, {R(0, 120, 300, 50)}, R(0, 100, 300, 20)},
      {"down, known element half a point in", 40, {R(0, 100.5, 300, 50)}, std::nullopt},
      {"down, the smallest top of several counts",
       40,
       {R(0, 130, 10, 10), R(0, 110, 10, 10)},
       R(0, 100, 300, 10)},
      {"up, known rows ending at 650", -40, {R(0, 600, 300, 50)}, R(0, 660, 300, 40)},
      {"up, known rows ending at 690", -40, {R(0, 640, 300, 50)}, R(0, 690, 300, 10)},
      {"up, known rows ending at 700", -40, {R(0, 650, 300, 50)}, std::nullopt},
      {"up, known rows ending below the area", -40, {R(0, 700, 300, 50)}, std::nullopt},
      {"further than the area is high", 1000, {}, area},
      {"further than the area is high, trimmed", -1000, {R(0, 100, 300, 100)}, R(0, 200, 300, 500)},
      {"null and NaN known frames are passed over",
       40,
       {Rect::null(), R(0, nan, 1, 1)},
       R(0, 100, 300, 40)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(BlurLayout::enteringStrip(area, c.offset, c.known), c.expected);
  }
}

}  // namespace
}  // namespace velvix

#pragma GCC diagnostic pop
