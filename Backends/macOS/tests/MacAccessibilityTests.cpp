// The accessibility port over the Accessibility API, against the test CoreFoundation's fake
// accessibility: what the reader gets for each way a request can go.

#include <Backends/macOS/AXConversions.hpp>
#include <Backends/macOS/CFConversions.hpp>
#include <Backends/macOS/MacAccessibility.hpp>
#include <Simulator/Desktop.hpp>
#include <Velvix/AccessibilityReader.hpp>

#include <TestCoreFoundation.hpp>

#include <gtest/gtest.h>

#include <array>

namespace velvix::mac {
namespace {

using platform::Attribute;

constexpr pid_t kPid = 4242;

template <typename T>
CFRef<AXValueRef> axValueOf(AXValueType type, T value) {
  return CFRef<AXValueRef>::adopt(AXValueCreate(type, &value));
}

// An element with a role and a frame, global top-left points.
CFRef<AXUIElementRef> element(const char* role, CGRect frame, bool isApplication = false) {
  auto e = CFRef<AXUIElementRef>::adopt(testcf::makeElement(kPid, isApplication));
  testcf::setAttribute(e.get(), "AXRole", makeString(role).get());
  testcf::setAttribute(e.get(), "AXPosition", axValueOf(kAXValueTypeCGPoint, frame.origin).get());
  testcf::setAttribute(e.get(), "AXSize", axValueOf(kAXValueTypeCGSize, frame.size).get());
  return e;
}

void setChildren(AXUIElementRef parent, const std::string& attribute,
                 std::initializer_list<AXUIElementRef> children) {
  std::vector<const void*> values(children.begin(), children.end());
  const auto array = CFRef<CFArrayRef>::adopt(CFArrayCreate(kCFAllocatorDefault, values.data(),
                                                            static_cast<CFIndex>(values.size()),
                                                            &kCFTypeArrayCallBacks));
  testcf::setAttribute(parent, attribute, array.get());
}

TEST(MacAccessibility, TrustAndThePrompt) {
  MacAccessibility ax;
  testcf::setTrusted(false);
  EXPECT_FALSE(ax.isProcessTrusted());
  const int prompts = testcf::promptCount();
  ax.promptForTrust();
  EXPECT_EQ(testcf::promptCount(), prompts + 1);
  testcf::setTrusted(true);
  EXPECT_TRUE(ax.isProcessTrusted());
}

TEST(MacAccessibility, ReadsAndTheirFailures) {
  testcf::setTrusted(true);
  MacAccessibility ax;
  const auto app = element("AXApplication", {}, true);
  const auto window = element("AXWindow", {{100, 80}, {1000, 700}});
  setChildren(app.get(), "AXWindows", {window.get()});
  testcf::setAttributeError(window.get(), "AXTitle", kAXErrorCannotComplete);

  const platform::Element application = ax.applicationElement(kPid);
  EXPECT_EQ(ax.setMessagingTimeout(application, 0.25), platform::Error::success);
  EXPECT_FLOAT_EQ(testcf::messagingTimeout(app.get()), 0.25f);

  const auto windows = ax.copyAttributeValue(application, Attribute::windows);
  ASSERT_TRUE(windows.get() && windows.get()->elements());
  ASSERT_EQ(windows.get()->elements()->size(), 1u);
  const platform::Element w = windows.get()->elements()->front();

  const std::array asked = {Attribute::role, Attribute::title, Attribute::position,
                            Attribute::children};
  const auto multiple = ax.copyMultipleAttributeValues(w, asked);
  ASSERT_EQ(multiple.error, platform::Error::success);
  ASSERT_TRUE(multiple.values);
  ASSERT_EQ(multiple.values->size(), 4u);
  EXPECT_EQ(*(*multiple.values)[0].string(), "AXWindow");
  EXPECT_TRUE((*multiple.values)[1].isSlotError());  // the title could not be read
  EXPECT_EQ((*multiple.values)[2].point(), (Point{100, 80}));
  EXPECT_TRUE((*multiple.values)[3].isSlotError());  // no children: no value

  EXPECT_EQ(ax.copyAttributeValue(w, Attribute::title).error, platform::Error::cannotComplete);
  EXPECT_EQ(ax.copyAttributeValue(w, Attribute::description).error,
            platform::Error::attributeUnsupported);
  testcf::setElementError(window.get(), kAXErrorInvalidUIElement);
  EXPECT_EQ(ax.copyAttributeValue(w, Attribute::role).error, platform::Error::invalidElement);
  EXPECT_EQ(ax.copyMultipleAttributeValues(w, asked).error, platform::Error::invalidElement);
  testcf::setTrusted(false);
  EXPECT_EQ(ax.copyAttributeValue(application, Attribute::windows).error,
            platform::Error::apiDisabled);
}

// The reader walks a window through this port as it walks the Simulator's.
TEST(MacAccessibility, TheReaderReadsAWindowThroughIt) {
  testcf::setTrusted(true);
  MacAccessibility ax;
  const auto app = element("AXApplication", {}, true);
  const auto window = element("AXWindow", {{100, 80}, {1000, 700}});
  const auto button = element("AXButton", {{110, 90}, {40, 40}});
  testcf::setAttribute(button.get(), "AXDescription", CFSTR("Chats"));
  const auto title = element("AXStaticText", {{300, 90}, {200, 20}});
  testcf::setAttribute(title.get(), "AXValue", CFSTR("Léa 👋"));
  setChildren(app.get(), "AXWindows", {window.get()});
  setChildren(window.get(), "AXChildren", {button.get(), title.get()});

  sim::Desktop desktop;
  AccessibilityReader reader(ax, desktop.scheduler(), desktop.log());
  std::optional<AccessibilityReader::Result> result;
  reader.executor().post([&] { result = reader.read(kPid, Rect(100, 80, 1000, 700), false); });
  ASSERT_TRUE(desktop.runUntil([&] { return result.has_value(); }));
  ASSERT_EQ(reader.nodes().size(), 3u);
  EXPECT_EQ(reader.nodes()[0].frame, Rect(0, 0, 1000, 700));
  EXPECT_EQ(reader.nodes()[1].label, "Chats");
  EXPECT_EQ(reader.nodes()[1].frame, Rect(10, 10, 40, 40));
  EXPECT_EQ(reader.nodes()[2].label, "Léa 👋");
  EXPECT_EQ(reader.nodes()[2].parent, 0u);
}

}  // namespace
}  // namespace velvix::mac
