#include <BlurLayout/BlurLayout.hpp>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace velvix {
namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
using Message = DetectedElements::Message;

BlurOptions enabled(void (*configure)(BlurOptions&)) {
  BlurOptions o;
  o.isEnabled = true;
  o.unblurLastMessages = false;
  o.blurMessages = false;
  o.blurPreviews = false;
  configure(o);
  return o;
}

BlurOptions everything() {
  return enabled([](BlurOptions& o) {
    o.unblurLastMessages = o.blurMessages = o.blurPreviews = o.blurTextInput = o.blurNames =
        o.blurProfilePictures = o.blurMediaPreview = o.blurMediaGallery = true;
  });
}

DetectedElements precise() {
  DetectedElements e;
  e.isRead = true;
  return e;
}

BlurRegion whole(Rect r, std::optional<Rect> hover = std::nullopt, Shape shape = Shape::rounded) {
  return BlurRegion(r, hover, Reveal::whole(), shape);
}
BlurRegion band(Rect r, double height = 90) {
  return BlurRegion(r, std::nullopt, Reveal::band(height), Shape::rounded);
}

std::vector<BlurRegion> layout(Size window, const BlurOptions& o, const DetectedElements& e = {},
                               ScrollOffset s = {},
                               const LayoutMetrics& m = LayoutMetrics::defaults) {
  return BlurLayout::regions(window, m, o, e, s);
}

TEST(Regions, LayoutModeWithTheDefaultMeasurements) {
  const BlurOptions o = enabled([](BlurOptions& o) {
    o.unblurLastMessages = o.blurMessages = o.blurPreviews = o.blurTextInput = o.blurNames =
        o.blurProfilePictures = true;
  });
  const Rect header(596, 0, 604, 56);
  EXPECT_EQ(layout({1200, 800}, o), (std::vector<BlurRegion>{
                                        band(Rect(220, 100, 80, 700)),
                                        band(Rect(300, 100, 296, 700)),
                                        whole(Rect(605, 10, 36, 36), header, Shape::circle),
                                        whole(Rect(647, 6, 280, 44), header),
                                        band(Rect(596, 56, 604, 500)),
                                        whole(Rect(640, 736, 516, 54), Rect(632, 728, 532, 70)),
                                    }));
}

TEST(Regions, NothingForADisabledOrDegenerateWindow) {
  const struct {
    const char* name;
    BlurOptions options;
    Size window;
  } cases[] = {
      {"protection off",
       [] {
         auto o = everything();
         o.isEnabled = false;
         return o;
       }(),
       {1200, 800}},
      {"zero width", everything(), {0, 800}},
      {"negative height", everything(), {1200, -1}},
      {"NaN height", everything(), {1200, nan}},
      {"NaN width", everything(), {nan, 800}},
      {"infinite width", everything(), {INFINITY, 800}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_TRUE(layout(c.window, c.options).empty());
  }
}

TEST(Regions, LayoutModeInAWindowNarrowerThanTheChatList) {
  // The conversation pane has no width, so only the chat list columns remain.
  EXPECT_EQ(layout({500, 800}, everything()), (std::vector<BlurRegion>{
                                                  band(Rect(220, 100, 80, 700)),
                                                  band(Rect(300, 100, 200, 700)),
                                              }));
}

TEST(Regions, ChatRows) {
  const Rect list(64, 60, 400, 700);
  const BlurOptions rowsOptions =
      enabled([](BlurOptions& o) { o.blurNames = o.blurPreviews = o.blurProfilePictures = true; });
  const struct {
    const char* name;
    std::vector<Rect> rows;
    std::vector<Rect> contacts;
    std::vector<BlurRegion> expected;
  } cases[] = {
      {"one chat row: picture, name, preview, no strip without scrolling",
       {Rect(64, 100, 400, 72)},
       {},
       {whole(Rect(86, 110, 52, 52), Rect(64, 100, 400, 72), Shape::circle),
        whole(Rect(146, 112, 300, 22.5), Rect(64, 100, 400, 72)),
        whole(Rect(146, 136, 300, 26), Rect(64, 100, 400, 72))}},
      {"contact rows: a smaller picture and a centred name, no preview",
       {},
       {Rect(64, 100, 400, 56)},
       {whole(Rect(88, 110, 36, 36), Rect(64, 100, 400, 56), Shape::circle),
        whole(Rect(132, 117, 314, 22), Rect(64, 100, 400, 56))}},
      {"chat rows come before contact rows",
       {Rect(64, 100, 400, 72)},
       {Rect(64, 300, 400, 56)},
       {whole(Rect(86, 110, 52, 52), Rect(64, 100, 400, 72), Shape::circle),
        whole(Rect(146, 112, 300, 22.5), Rect(64, 100, 400, 72)),
        whole(Rect(146, 136, 300, 26), Rect(64, 100, 400, 72)),
        whole(Rect(88, 310, 36, 36), Rect(64, 300, 400, 56), Shape::circle),
        whole(Rect(132, 317, 314, 22), Rect(64, 300, 400, 56))}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    DetectedElements e = precise();
    e.chatList = list;
    e.chatRows = c.rows;
    e.contactRows = c.contacts;
    EXPECT_EQ(layout({1200, 800}, rowsOptions, e), c.expected);
  }
}

TEST(Regions, ARowWhosePictureCentreLiesOutsideTheListKeepsNameAndPreview) {
  LayoutMetrics m;
  m.avatarInset = -60;
  DetectedElements e = precise();
  e.chatList = Rect(64, 60, 400, 700);
  e.chatRows = {Rect(64, 100, 400, 72)};
  const auto o =
      enabled([](BlurOptions& o) { o.blurNames = o.blurPreviews = o.blurProfilePictures = true; });
  const Rect hover(64, 100, 400, 72);
  EXPECT_EQ(layout({1200, 800}, o, e, {}, m),
            (std::vector<BlurRegion>{whole(Rect(64, 112, 382, 22.5), hover),
                                     whole(Rect(64, 136, 382, 26), hover)}));
}

TEST(Regions, ChatListWithoutRows) {
  const BlurOptions o = everything();
  DetectedElements covered = precise();
  covered.chatList = Rect(0, 0, 400, 800);
  covered.isChatListCovered = true;
  DetectedElements uncovered = covered;
  uncovered.isChatListCovered = false;

  const struct {
    const char* name;
    DetectedElements elements;
    std::vector<BlurRegion> expected;
  } cases[] = {
      {"precise mode without a chat list blurs no columns", precise(), {}},
      {"a covered chat list without rows blurs no columns", covered, {}},
      {"a detected list without rows falls back to the two columns",
       uncovered,
       {band(Rect(0, 0, 80, 800)), band(Rect(80, 0, 320, 800))}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(layout({1200, 800}, o, c.elements), c.expected);
  }
}

TEST(Regions, PreciseModeWithNothingDetectedBlursNothing) {
  EXPECT_TRUE(layout({1200, 800}, everything(), precise()).empty());
}

TEST(Regions, ConversationHeader) {
  const Rect header(400, 0, 600, 60);
  const BlurOptions o = enabled([](BlurOptions& o) { o.blurNames = o.blurProfilePictures = true; });
  DetectedElements withTitle = precise();
  withTitle.conversationHeader = header;
  withTitle.conversationTitle = Rect(460, 10, 200, 40);
  DetectedElements withoutTitle = precise();
  withoutTitle.conversationHeader = header;
  const struct {
    const char* name;
    DetectedElements elements;
    std::vector<BlurRegion> expected;
  } cases[] = {
      {"picture left of the title, title as the name",
       withTitle,
       {whole(Rect(424, 12, 36, 36), header, Shape::circle),
        whole(Rect(460, 10, 200, 40), header)}},
      {"without a title the picture sits 45 points in",
       withoutTitle,
       // The fallback name is at most half the pane wide (the pane as the measurements have it).
       {whole(Rect(409, 12, 36, 36), header, Shape::circle), whole(Rect(451, 6, 202, 48), header)}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(layout({1000, 800}, o, c.elements), c.expected);
  }
}

TEST(Regions, Messages) {
  const Rect area(400, 60, 600, 600);
  DetectedElements e = precise();
  e.messageArea = area;
  e.messages = {
      Message{Rect(420, 300, 300, 50), true, "media", true},       // latest media
      Message{Rect(420, 100, 300, 50), false, "old", false},       // listed out of order
      Message{Rect(420, 200, 300, 50), false, "latest", true},     // latest text
      Message{Rect(420, 659.5, 300, 50), false, "sliver", false},  // 0.5 points inside
  };
  const struct {
    const char* name;
    BlurOptions options;
    std::vector<BlurRegion> expected;
  } cases[] = {
      {"latest messages stay clear, sorted by bottom edge",
       enabled([](BlurOptions& o) { o.blurMessages = o.unblurLastMessages = true; }),
       {whole(Rect(420, 100, 300, 50))}},
      {"every message when the latest are not left clear",
       enabled([](BlurOptions& o) { o.blurMessages = true; }),
       {whole(Rect(420, 100, 300, 50)), whole(Rect(420, 200, 300, 50)),
        whole(Rect(420, 300, 300, 50))}},
      {"media preview alone blurs media messages, latest or not",
       enabled([](BlurOptions& o) { o.blurMediaPreview = o.unblurLastMessages = true; }),
       {whole(Rect(420, 300, 300, 50))}},
      {"a latest media message stays clear under blurMessages",
       enabled([](BlurOptions& o) {
         o.blurMessages = o.unblurLastMessages = o.blurMediaPreview = true;
       }),
       {whole(Rect(420, 100, 300, 50))}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(layout({1000, 800}, c.options, e), c.expected);
  }
}

TEST(Regions, MessagesWithTheSameBottomKeepTheirOrder) {
  DetectedElements e = precise();
  e.messageArea = Rect(0, 0, 1000, 800);
  e.messages = {Message{Rect(500, 100, 100, 50), false, "b", false},
                Message{Rect(10, 120, 100, 30), false, "a", false},
                Message{Rect(10, 10, 100, 30), false, "c", false}};
  const auto o = enabled([](BlurOptions& o) { o.blurMessages = true; });
  EXPECT_EQ(layout({1000, 800}, o, e),
            (std::vector<BlurRegion>{whole(Rect(10, 10, 100, 30)), whole(Rect(500, 100, 100, 50)),
                                     whole(Rect(10, 120, 100, 30))}));
}

TEST(Regions, MessageAreaWithoutMessages) {
  const auto o = enabled([](BlurOptions& o) { o.blurMessages = true; });
  const auto keepLast =
      enabled([](BlurOptions& o) { o.blurMessages = o.unblurLastMessages = true; });
  DetectedElements area = precise();
  area.messageArea = Rect(400, 60, 600, 600);
  DetectedElements shortArea = precise();
  shortArea.messageArea = Rect(400, 60, 600, 100);
  const struct {
    const char* name;
    BlurOptions options;
    DetectedElements elements;
    std::vector<BlurRegion> expected;
  } cases[] = {
      {"the whole area", o, area, {band(Rect(400, 60, 600, 600))}},
      {"the latest messages' height stays clear", keepLast, area, {band(Rect(400, 60, 600, 430))}},
      {"an area lower than that height blurs nothing", keepLast, shortArea, {}},
      {"precise mode without an area blurs nothing", o, precise(), {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(layout({1000, 800}, c.options, c.elements), c.expected);
  }
}

TEST(Regions, ScrollCompensation) {
  const auto names = enabled([](BlurOptions& o) { o.blurNames = true; });
  const auto messages = enabled([](BlurOptions& o) { o.blurMessages = true; });

  DetectedElements rows = precise();
  rows.chatList = Rect(50, 100, 400, 600);
  rows.chatRows = {Rect(0, 90, 500, 60)};
  DetectedElements rowsWithOneAbove = rows;
  rowsWithOneAbove.chatRows.push_back(Rect(0, -100, 500, 60));

  DetectedElements convo = precise();
  convo.messageArea = Rect(400, 100, 600, 600);
  convo.messages = {Message{Rect(420, 500, 300, 100), false, "m", false}};

  const struct {
    const char* name;
    BlurOptions options;
    DetectedElements elements;
    ScrollOffset scroll;
    std::vector<BlurRegion> expected;
  } cases[] = {
      {"rows move with the list, clipped sideways, and a strip covers what entered at the top",
       names,
       rows,
       {30, 0},
       {whole(Rect(132, 132, 300, 22.5), Rect(50, 120, 400, 60)), whole(Rect(50, 100, 400, 20))}},
      {"a known row scrolled out above the list leaves no strip, and is not drawn",
       names,
       rowsWithOneAbove,
       {30, 0},
       {whole(Rect(132, 132, 300, 22.5), Rect(50, 120, 400, 60))}},
      {"half a point of movement uncovers no strip",
       names,
       rows,
       {0.5, 0},
       {whole(Rect(132, 102.5, 300, 22.5), Rect(50, 100, 400, 50.5))}},
      {"messages moved up uncover a strip at the bottom",
       messages,
       convo,
       {0, -40},
       {whole(Rect(420, 460, 300, 100)), whole(Rect(400, 660, 600, 40))}},
      {"messages moved down uncover a strip at the top",
       messages,
       convo,
       {0, 150},
       {whole(Rect(420, 650, 300, 50)), whole(Rect(400, 100, 600, 150))}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(layout({1200, 800}, c.options, c.elements, c.scroll), c.expected);
  }
}

TEST(Regions, SquarePicturesGetPatchesLargeEnoughForTheirCorners) {
  const auto o = enabled([](BlurOptions& o) { o.blurMediaGallery = true; });
  DetectedElements gallery = precise();
  gallery.messageArea = Rect(400, 60, 600, 600);
  gallery.images = {Rect(500, 100, 100, 100), Rect(10, 10, 100, 100)};
  gallery.mediaThumbnails = {Rect(500, 300, 48, 48)};
  gallery.sheetThumbnails = {Rect(30, 400, 50, 50)};
  DetectedElements inList = precise();
  inList.chatList = Rect(64, 60, 400, 740);
  inList.mediaThumbnails = {Rect(400, 100, 32, 32)};
  DetectedElements covered = inList;
  covered.isChatListCovered = true;
  const struct {
    const char* name;
    DetectedElements elements;
    ScrollOffset scroll;
    std::vector<BlurRegion> expected;
  } cases[] = {
      {"images outside the message area, thumbnails, sheet thumbnails: 3 points larger",
       gallery,
       {},
       {whole(Rect(7, 7, 106, 106)), whole(Rect(497, 297, 54, 54)), whole(Rect(27, 397, 56, 56))}},
      {"a thumbnail in the chat list moves with it",
       inList,
       {-20, 0},
       {whole(Rect(397, 77, 38, 38))}},
      {"clipped 3 points beyond the list's edge", inList, {-60, 0}, {whole(Rect(397, 57, 38, 18))}},
      {"half a point of it in the list: covered",
       inList,
       {-71.5, 0},
       {whole(Rect(397, 57, 38, 6.5))}},
      {"well past the edge: gone", inList, {-78, 0}, {}},
      {"behind a panel over the list: still, for the scroll is the panel's",
       covered,
       {-20, 0},
       {whole(Rect(397, 97, 38, 38))}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(layout({1000, 800}, o, c.elements, c.scroll), c.expected);
  }
}

TEST(Regions, PicturesStayWholeCirclesAtTheListsAndTheWindowsEdges) {
  const auto o = enabled([](BlurOptions& o) { o.blurProfilePictures = true; });
  const auto rows = [](Rect row) {
    DetectedElements e = precise();
    e.chatList = Rect(64, 60, 400, 740);
    e.chatRows = {row};
    return e;
  };
  const auto sheet = [](Rect picture) {
    DetectedElements e = precise();
    e.sheet = Rect(0, 0, 200, 800);
    e.sheetPicture = picture;
    return e;
  };
  const struct {
    const char* name;
    Size window;
    DetectedElements elements;
    std::vector<BlurRegion> expected;
  } cases[] = {
      {"past the window's bottom: the whole circle, for the panel's edge to clip",
       {1200, 800},
       rows(Rect(64, 760, 400, 72)),
       {whole(Rect(86, 770, 52, 52), Rect(64, 760, 400, 40), Shape::circle)}},
      {"its centre under the list's header: still a circle",
       {1200, 800},
       rows(Rect(64, 20, 400, 72)),
       {whole(Rect(86, 30, 52, 52), Rect(64, 60, 400, 32), Shape::circle)}},
      {"all of it under the header: none", {1200, 800}, rows(Rect(64, -20, 400, 90)), {}},
      {"no larger than the window: whole",
       {200, 800},
       sheet(Rect(-50, 100, 196, 196)),
       {whole(Rect(-52, 98, 200, 200), std::nullopt, Shape::circle)}},
      {"larger than the window: clipped like the rest",
       {200, 800},
       sheet(Rect(-50, 100, 197, 197)),
       {whole(Rect(0, 98, 149, 201), Rect(-52, 98, 201, 201), Shape::circle)}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(layout(c.window, o, c.elements), c.expected);
  }
}

TEST(Regions, Composer) {
  const auto o = enabled([](BlurOptions& o) { o.blurTextInput = true; });
  DetectedElements detected = precise();
  detected.composer = Rect(-10, 700, 200, 150);
  const struct {
    const char* name;
    DetectedElements elements;
    std::vector<BlurRegion> expected;
  } cases[] = {
      {"clipped to the window, hover area grown and not clipped",
       detected,
       {whole(Rect(0, 700, 190, 100), Rect(-18, 692, 216, 166))}},
      {"precise mode without a composer blurs none", precise(), {}},
      {"layout mode falls back to the measurements",
       {},
       {whole(Rect(640, 736, 316, 54), Rect(632, 728, 332, 70))}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(layout({1000, 800}, o, c.elements), c.expected);
  }
}

TEST(Regions, SheetCutsOutWhatLiesBehindIt) {
  const Rect window(0, 0, 1000, 800);
  DetectedElements e = precise();
  e.messageArea = window;
  e.sheet = Rect(300, 200, 400, 400);
  e.sheetPicture = Rect(450, 250, 100, 100);
  e.sheetNames = {Rect(400, 360, 200, 30)};
  const auto o =
      enabled([](BlurOptions& o) { o.blurMessages = o.blurProfilePictures = o.blurNames = true; });
  const auto behind = [&](Rect r) {
    BlurRegion region(r, window, Reveal::band(90), Shape::rounded);
    region.hoverExclusion = window;
    return region;
  };
  EXPECT_EQ(layout({1000, 800}, o, e),
            (std::vector<BlurRegion>{
                behind(Rect(0, 0, 1000, 200)),
                behind(Rect(0, 600, 1000, 200)),
                behind(Rect(0, 200, 300, 400)),
                behind(Rect(700, 200, 300, 400)),
                whole(Rect(448, 248, 104, 104), std::nullopt, Shape::circle),
                whole(Rect(396, 358, 208, 34)),
            }));
}

TEST(Regions, RegionsAwayFromTheSheetKeepTheirShapeButGainTheExclusion) {
  DetectedElements e = precise();
  e.chatList = Rect(0, 0, 300, 800);
  e.chatRows = {Rect(0, 10, 300, 72)};
  e.sheet = Rect(500, 100, 300, 300);
  const auto o = enabled([](BlurOptions& o) { o.blurProfilePictures = true; });
  const auto regions = layout({1000, 800}, o, e);
  ASSERT_EQ(regions.size(), 1u);
  EXPECT_EQ(regions[0].shape, Shape::circle);
  EXPECT_EQ(regions[0].hoverExclusion, Rect(0, 0, 1000, 800));
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

  DetectedElements odd = precise();
  odd.chatList = Rect(10, 10, -300, 500);
  odd.chatRows = {Rect(nan, 20, 300, 72), Rect(0, 20, -300, -72), Rect(0, 0, 0, 0)};
  odd.contactRows = {Rect(0, nan, 300, 56)};
  odd.conversationHeader = Rect(400, 0, nan, 60);
  odd.conversationTitle = Rect(nan, nan, nan, nan);
  odd.messageArea = Rect(400, 60, 600, -600);
  odd.messages = {Message{Rect(420, nan, 300, 50), false, "", true},
                  Message{Rect(420, 1e308, 300, 1e308), true, "k", false}};
  odd.composer = Rect(0, 0, 1e308, 1e308);
  odd.images = {Rect(nan, 0, 100, 100)};
  odd.sheet = Rect(100, 100, nan, 100);
  odd.sheetPicture = Rect(-1e308, 0, 1, 1);
  odd.sheetNames = {Rect(0, 0, -3, -1)};
  odd.mediaThumbnails = {Rect::null()};

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
      {"a tiny window", {0.5, 0.5}, LayoutMetrics::defaults, {}, {}},
      {"NaN scroll offsets", {1200, 800}, LayoutMetrics::defaults, odd, {nan, nan}},
      {"huge scroll offsets", {1200, 800}, LayoutMetrics::defaults, odd, {1e308, -1e308}},
      {"odd detected frames", {1200, 800}, LayoutMetrics::defaults, odd, {12, -7}},
      {"odd frames and NaN measurements", {1200, 800}, allNan, odd, {3, 3}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Rect window(0, 0, c.window.width, c.window.height);
    for (const BlurRegion& r : layout(c.window, everything(), c.elements, c.scroll, c.metrics)) {
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
      {"1.0 is", 1.0, {}, Rect(0, 100, 300, 1)},
      {"down, nothing known", 40, {}, Rect(0, 100, 300, 40)},
      {"down, stops at the first known element",
       40,
       {Rect(0, 120, 300, 50)},
       Rect(0, 100, 300, 20)},
      {"down, known element half a point in", 40, {Rect(0, 100.5, 300, 50)}, std::nullopt},
      {"down, the smallest top of several counts",
       40,
       {Rect(0, 130, 10, 10), Rect(0, 110, 10, 10)},
       Rect(0, 100, 300, 10)},
      {"up, known rows ending at 650", -40, {Rect(0, 600, 300, 50)}, Rect(0, 660, 300, 40)},
      {"up, known rows ending at 690", -40, {Rect(0, 640, 300, 50)}, Rect(0, 690, 300, 10)},
      {"up, known rows ending at 700", -40, {Rect(0, 650, 300, 50)}, std::nullopt},
      {"up, known rows ending below the area", -40, {Rect(0, 700, 300, 50)}, std::nullopt},
      {"further than the area is high", 1000, {}, area},
      {"further than the area is high, trimmed",
       -1000,
       {Rect(0, 100, 300, 100)},
       Rect(0, 200, 300, 500)},
      {"null and NaN known frames are passed over",
       40,
       {Rect::null(), Rect(0, nan, 1, 1)},
       Rect(0, 100, 300, 40)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(BlurLayout::enteringStrip(area, c.offset, c.known), c.expected);
  }
}

}  // namespace
}  // namespace velvix
