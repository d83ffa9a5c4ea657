// Builds an accessibility snapshot from raw bytes, analyses it, lays out the blur regions with
// random options, metrics and scroll, applies hover reveal at a random pointer, and checks what
// must hold for any input: no crash or sanitizer report, every region inside the window and at
// least one point wide and high, every visible blur inside the region it came from, and an
// analysis that only names indices of the list it was given.

#include <BlurLayout/BlurLayout.hpp>
#include <BlurLayout/LatestMessages.hpp>
#include <BlurLayout/WhatsAppStructure.hpp>

#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <optional>
#include <span>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace velvix;

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "property violated: %s\n", what);
  std::abort();
}

void check(bool holds, const char* what) {
  if (!holds) fail(what);
}

const char* const kRoles[] = {"AXGroup",    "AXStaticText", "AXButton", "AXImage", "AXHeading",
                              "AXTextArea", "AXSheet",      "AXWindow", "AXCell",  ""};

const char* const kLabels[] = {"",
                               "Alice",
                               "Photo",
                               "Your gif",
                               "Hi, 9:41, Read",
                               "7:15, moved to 8:30, 8:45, Read",
                               ", 10:30, Delivered",
                               "Phone number",
                               "\xF0\x9F\x93\xB7 Video\n",
                               "Alice\r\nSticker",
                               "x, \xD9\xA9:\xD9\xA4\xD9\xA1, y",
                               "e\xCC\x81, 1\xEF\xB8\x8F\xE2\x83\xA3:23"};

// Mostly values near WhatsApp's thresholds, sometimes anything, sometimes the awkward ones.
double coordinate(FuzzedDataProvider& in) {
  const auto mode = in.ConsumeIntegral<std::uint8_t>();
  if (mode < 200) return in.ConsumeIntegralInRange<int>(-40, 400) * 4.0;
  if (mode < 240) return in.ConsumeFloatingPointInRange<double>(-3000, 3000);
  constexpr double specials[] = {std::numeric_limits<double>::quiet_NaN(),
                                 std::numeric_limits<double>::infinity(),
                                 -std::numeric_limits<double>::infinity(),
                                 1e300,
                                 -1e300,
                                 2147483647.5,
                                 -0.0,
                                 0.5,
                                 std::numeric_limits<double>::max(),
                                 std::numeric_limits<double>::denorm_min()};
  return specials[in.ConsumeIntegralInRange<std::size_t>(0, std::size(specials) - 1)];
}

Rect rect(FuzzedDataProvider& in) {
  const double x = coordinate(in);
  const double y = coordinate(in);
  const double w = coordinate(in);
  const double h = coordinate(in);
  return Rect(x, y, w, h);
}

std::vector<AccessibilityNode> snapshot(FuzzedDataProvider& in) {
  std::vector<AccessibilityNode> nodes(in.ConsumeIntegralInRange<std::size_t>(0, 200));
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    AccessibilityNode& n = nodes[i];
    const auto role = in.ConsumeIntegralInRange<std::size_t>(0, std::size(kRoles));
    n.role = role < std::size(kRoles) ? kRoles[role] : in.ConsumeRandomLengthString(12);
    const auto label = in.ConsumeIntegralInRange<std::size_t>(0, std::size(kLabels));
    n.label = label < std::size(kLabels) ? kLabels[label] : in.ConsumeRandomLengthString(40);
    n.frame = rect(in);
    const auto parent = in.ConsumeIntegral<std::uint8_t>();
    if (parent < 200 && i > 0) {
      n.parent = in.ConsumeIntegralInRange<std::size_t>(0, i - 1);
    } else if (parent < 230) {
      n.parent = in.ConsumeIntegral<std::size_t>();  // anything, broken ones included
    }
  }
  return nodes;
}

bool isWellFormedUtf8(const std::string& s) {
  std::size_t i = 0;
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  while (i < s.size()) {
    const unsigned char b = byte(i);
    std::size_t trail = 0;
    char32_t c = 0;
    if (b < 0x80) {
      ++i;
      continue;
    } else if (b >= 0xC2 && b <= 0xDF) {
      trail = 1;
      c = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
      trail = 2;
      c = b & 0x0F;
    } else if (b >= 0xF0 && b <= 0xF4) {
      trail = 3;
      c = b & 0x07;
    } else {
      return false;
    }
    if (i + trail >= s.size()) return false;
    for (std::size_t k = 1; k <= trail; ++k) {
      if ((byte(i + k) & 0xC0) != 0x80) return false;
      c = (c << 6) | (byte(i + k) & 0x3F);
    }
    const char32_t smallest = trail == 1 ? 0x80 : trail == 2 ? 0x800 : 0x10000;
    if (c < smallest || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
    i += trail + 1;
  }
  return true;
}

void checkAnalysis(const WhatsAppStructure::Analysis& a, std::size_t count) {
  check(a.elements.isRead, "an analysis is a read");
  check(!a.scroll.chatList || *a.scroll.chatList < count, "chat list index in range");
  check(!a.scroll.messages || *a.scroll.messages < count, "message list index in range");
  check(a.elements.messages.size() <= count, "no more messages than nodes");
  if (a.elements.conversationKey) {
    check(!a.elements.conversationKey->empty(), "a conversation key is never empty");
    check(isWellFormedUtf8(*a.elements.conversationKey), "conversation key is UTF-8");
  }
  int latest = 0;
  for (const auto& m : a.elements.messages) {
    check(isWellFormedUtf8(m.key), "message key is UTF-8");
    latest += m.isLatest;
  }
  check(latest <= WhatsAppStructure::latestMessageCount, "at most three latest messages");
}

void checkLayout(const std::vector<BlurRegion>& regions, Size window, std::optional<Point> mouse) {
  const Rect bounds(0, 0, window.width, window.height);
  std::vector<VisibleBlur> onePerRegion;
  for (const BlurRegion& r : regions) {
    // A circle no larger than the window keeps its whole square (the panel's edge clips it);
    // everything else lies inside the window.
    const bool wholeCircle = r.shape == Shape::circle && r.rect.width() <= window.width &&
                             r.rect.height() <= window.height;
    const Rect inside = r.rect.intersection(bounds);
    check(wholeCircle ? inside.width() >= 1 && inside.height() >= 1 : bounds.contains(r.rect),
          "region inside the window");
    check(r.rect.width() >= 1 && r.rect.height() >= 1, "region at least 1 x 1");
    for (const VisibleBlur& b : BlurLayout::visibleBlurs(std::span(&r, 1), mouse)) {
      if (!r.rect.contains(b.rect)) {
        std::ostringstream os;
        os << "region " << r << " mouse ";
        if (mouse) os << *mouse;
        os << " gave " << b;
        std::fprintf(stderr, "%s\n", os.str().c_str());
        fail("visible blur inside its region");
      }
      onePerRegion.push_back(b);
    }
  }
  check(BlurLayout::visibleBlurs(regions, mouse) == onePerRegion,
        "visible blurs keep the order of their regions");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const Size window = in.ConsumeBool() ? Size{coordinate(in), coordinate(in)}
                                       : Size{in.ConsumeIntegralInRange<int>(0, 3000) * 1.0,
                                              in.ConsumeIntegralInRange<int>(0, 2000) * 1.0};
  const std::vector<AccessibilityNode> nodes = snapshot(in);

  const WhatsAppStructure::Analysis analysis = WhatsAppStructure::analyze(nodes, window);
  checkAnalysis(analysis, nodes.size());

  // The controller's handling of a read: memory of the latest messages, lost content, sheets.
  DetectedElements elements = analysis.elements;
  LatestMessages memory;
  memory.apply(elements, in.ConsumeBool());
  memory.apply(elements, in.ConsumeBool());
  for (const auto& [conversation, chain] : memory.chains) {
    check(chain.size() <= 3, "a chain holds at most three messages");
  }
  if (in.ConsumeBool()) elements = elements.withContentBehindSheet(DetectedElements{});
  (void)elements.lostContent(DetectedElements{});

  BlurOptions options;
  options.isEnabled = in.ConsumeIntegral<std::uint8_t>() < 230;
  options.unblurLastMessages = in.ConsumeBool();
  options.blurMessages = in.ConsumeBool();
  options.blurPreviews = in.ConsumeBool();
  options.blurTextInput = in.ConsumeBool();
  options.blurNames = in.ConsumeBool();
  options.blurProfilePictures = in.ConsumeBool();
  options.blurMediaPreview = in.ConsumeBool();
  options.blurMediaGallery = in.ConsumeBool();

  LayoutMetrics metrics;
  if (in.ConsumeBool()) {
    for (double* m : {&metrics.railWidth, &metrics.chatListWidth, &metrics.chatListHeaderHeight,
                      &metrics.avatarSize, &metrics.avatarInset, &metrics.conversationHeaderHeight,
                      &metrics.composerHeight, &metrics.composerSideInset,
                      &metrics.lastMessagesHeight, &metrics.revealBandHeight}) {
      *m = coordinate(in);
    }
  }
  const ScrollOffset scroll{coordinate(in), coordinate(in)};
  // The overlay passes the pointer only while it is over WhatsApp's window, so inside it.
  std::optional<Point> mouse;
  if (in.ConsumeBool()) {
    const Point p{in.ConsumeProbability<double>() * window.width,
                  in.ConsumeProbability<double>() * window.height};
    if (Rect(0, 0, window.width, window.height).contains(p)) mouse = p;
  }

  const auto regions = BlurLayout::regions(window, metrics, options, elements, scroll);
  checkLayout(regions, window, mouse);
  return 0;
}
