// What the macOS backend makes of the values CoreFoundation, the window list and the
// Accessibility API hand it. Built against the test CoreFoundation on Linux (where leaking or
// over-releasing fails the test) and unchanged against the real frameworks on a Mac.

#include <Backends/macOS/AXConversions.hpp>
#include <Backends/macOS/CFConversions.hpp>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace velvix::mac {
namespace {

using platform::EntryField;

CFRef<CFNumberRef> number(long long value) {
  return CFRef<CFNumberRef>::adopt(
      CFNumberCreate(kCFAllocatorDefault, kCFNumberLongLongType, &value));
}
CFRef<CFNumberRef> real(double value) {
  return CFRef<CFNumberRef>::adopt(
      CFNumberCreate(kCFAllocatorDefault, kCFNumberDoubleType, &value));
}
CFRef<CFArrayRef> array(std::vector<CFTypeRef> values) {
  return CFRef<CFArrayRef>::adopt(CFArrayCreate(kCFAllocatorDefault, values.data(),
                                                static_cast<CFIndex>(values.size()),
                                                &kCFTypeArrayCallBacks));
}
CFRef<CFDictionaryRef> dictionary(std::vector<std::pair<CFStringRef, CFTypeRef>> entries) {
  std::vector<const void*> keys, values;
  for (const auto& [k, v] : entries) {
    keys.push_back(k);
    values.push_back(v);
  }
  return CFRef<CFDictionaryRef>::adopt(CFDictionaryCreate(
      kCFAllocatorDefault, keys.data(), values.data(), static_cast<CFIndex>(keys.size()),
      &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
}
CFRef<CFDictionaryRef> bounds(double x, double y, double w, double h) {
  const auto X = real(x), Y = real(y), W = real(w), H = real(h);
  return dictionary({{CFSTR("X"), X.get()},
                     {CFSTR("Y"), Y.get()},
                     {CFSTR("Width"), W.get()},
                     {CFSTR("Height"), H.get()}});
}
template <typename T>
CFRef<AXValueRef> axValueOf(AXValueType type, T value) {
  return CFRef<AXValueRef>::adopt(AXValueCreate(type, &value));
}

TEST(MacConversions, StringsAsUtf8) {
  const UniChar loneSurrogate[] = {0x0041, 0xD83D, 0x0042};
  const auto lone = CFRef<CFStringRef>::adopt(
      CFStringCreateWithCharacters(kCFAllocatorDefault, loneSurrogate, 3));
  const auto seven = number(7);
  const struct {
    const char* name;
    CFTypeRef value;
    std::optional<std::string> expected;
  } cases[] = {
      {"ASCII", CFSTR("WhatsApp"), "WhatsApp"},
      {"the empty string", CFSTR(""), ""},
      {"two-byte and three-byte characters", CFSTR("Léa → Zoë"), "Léa → Zoë"},
      {"characters outside the Basic Multilingual Plane", CFSTR("👋 Family 👨‍👩‍👧"),
       "👋 Family 👨‍👩‍👧"},
      {"a lone surrogate has no UTF-8 form", lone.get(), std::nullopt},
      {"not a string", seven.get(), std::nullopt},
      {"nothing", nullptr, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(utf8(c.value), c.expected);
  }
  EXPECT_EQ(utf8(makeString("Grüße 🌍").get()), "Grüße 🌍");
  EXPECT_FALSE(makeString("\xC3\x28"));  // not UTF-8
}

TEST(MacConversions, WindowListFields) {
  const auto whole = real(3.0), half = real(0.5), seven = number(7), huge = number(1LL << 40);
  const auto frame = bounds(100, 80, 1000, 700);
  const auto noHeight = dictionary({{CFSTR("X"), seven.get()}});
  const auto list = array({seven.get()});
  const struct {
    const char* name;
    CFTypeRef value;
    EntryField expected;
  } cases[] = {
      {"missing", nullptr, EntryField::missing()},
      {"an integer", seven.get(), EntryField(std::int64_t{7})},
      {"a float", half.get(), EntryField(0.5)},
      {"a float holding a whole number stays a float", whole.get(), EntryField(3.0)},
      {"an integer beyond 32 bits", huge.get(), EntryField(std::int64_t{1} << 40)},
      {"a string", CFSTR("WhatsApp"), EntryField("WhatsApp")},
      {"a bounds dictionary", frame.get(), EntryField(Rect(100, 80, 1000, 700))},
      {"a dictionary without all four numbers", noHeight.get(), EntryField(EntryField::Other{})},
      {"an array", list.get(), EntryField(EntryField::Other{})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(entryField(c.value), c.expected);
  }
  EXPECT_EQ(entryField(whole.get()).asInt32(), 3);  // bridging converts it exactly
  EXPECT_FALSE(entryField(huge.get()).asInt32());
}

TEST(MacConversions, TheWindowListIsAnArrayOfDictionaries) {
  const auto pid = number(42), layer = number(0), alpha = real(1);
  const auto frame = bounds(0, 25, 1200, 800);
  const auto entry = dictionary({{kCGWindowNumber, layer.get()},
                                 {kCGWindowOwnerPID, pid.get()},
                                 {kCGWindowOwnerName, CFSTR("WhatsApp")},
                                 {kCGWindowBounds, frame.get()},
                                 {kCGWindowLayer, layer.get()},
                                 {kCGWindowAlpha, alpha.get()}});
  const auto good = array({entry.get(), entry.get()});
  const auto mixed = array({entry.get(), CFSTR("not an entry")});
  ASSERT_TRUE(windowEntries(good.get()));
  const auto entries = *windowEntries(good.get());
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].ownerPID.asInt32(), 42);
  EXPECT_EQ(entries[0].ownerName, EntryField("WhatsApp"));
  EXPECT_EQ(entries[0].bounds.asRect(), Rect(0, 25, 1200, 800));
  EXPECT_EQ(entries[0].alpha.asDouble(), 1.0);
  EXPECT_FALSE(windowEntries(mixed.get()));
  EXPECT_FALSE(windowEntries(entry.get()));
  EXPECT_FALSE(windowEntries(nullptr));
  const auto empty = dictionary({});
  EXPECT_TRUE(windowEntry(empty.get()).number.isMissing());
}

TEST(MacConversions, DefaultsKeepTheKindsApart) {
  const UInt8 bytes[] = {'{', '}'};
  const auto data = CFRef<CFDataRef>::adopt(CFDataCreate(kCFAllocatorDefault, bytes, 2));
  const auto one = number(1);
  using Value = platform::Defaults::Value;
  EXPECT_EQ(defaultsValue(nullptr), Value(std::monostate{}));
  EXPECT_EQ(defaultsValue(kCFBooleanTrue), Value(true));
  EXPECT_EQ(defaultsValue(kCFBooleanFalse), Value(false));
  EXPECT_EQ(defaultsValue(data.get()), Value(platform::Defaults::Bytes{"{}"}));
  EXPECT_EQ(defaultsValue(one.get()), Value(1.0));
  EXPECT_EQ(defaultsValue(CFSTR("true")), Value(std::string("true")));
}

TEST(MacConversions, AccessibilityValues) {
  const auto point = axValueOf(kAXValueTypeCGPoint, CGPoint{12.5, -3});
  const auto size = axValueOf(kAXValueTypeCGSize, CGSize{400, 60});
  const auto rect = axValueOf(kAXValueTypeCGRect, CGRect{{1, 2}, {3, 4}});
  const auto slot = axValueOf(kAXValueTypeAXError, AXError{kAXErrorCannotComplete});
  const auto seven = number(7);
  const auto notElements = array({CFSTR("AXButton")});
  const auto none = array({});
  using platform::Value;
  EXPECT_EQ(*portValue(CFSTR("AXGroup")).string(), "AXGroup");
  EXPECT_EQ(portValue(point.get()).point(), (Point{12.5, -3}));
  EXPECT_FALSE(portValue(point.get()).size());
  EXPECT_EQ(portValue(size.get()).size(), (Size{400, 60}));
  EXPECT_FALSE(portValue(size.get()).point());
  EXPECT_TRUE(portValue(slot.get()).isSlotError());
  for (CFTypeRef other : {CFTypeRef(rect.get()), CFTypeRef(seven.get()),
                          CFTypeRef(notElements.get()), CFTypeRef(nullptr)}) {
    const Value v = portValue(other);
    EXPECT_FALSE(v.string() || v.point() || v.size() || v.elements() || v.isSlotError());
  }
  ASSERT_TRUE(portValue(none.get()).elements());
  EXPECT_TRUE(portValue(none.get()).elements()->empty());
  // The typed accessor unpacks only its own kind.
  EXPECT_TRUE(axValue<CGPoint>(point.get()));
  EXPECT_FALSE(axValue<CGSize>(point.get()));
  EXPECT_FALSE(axValue<CGPoint>(seven.get()));
}

TEST(MacConversions, ErrorCodes) {
  const struct {
    AXError error;
    platform::Error expected;
  } cases[] = {
      {kAXErrorSuccess, platform::Error::success},
      {kAXErrorInvalidUIElement, platform::Error::invalidElement},
      {kAXErrorCannotComplete, platform::Error::cannotComplete},
      {kAXErrorAttributeUnsupported, platform::Error::attributeUnsupported},
      {kAXErrorNoValue, platform::Error::noValue},
      {kAXErrorAPIDisabled, platform::Error::apiDisabled},
      {kAXErrorIllegalArgument, platform::Error::failure},
      {kAXErrorNotImplemented, platform::Error::failure},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.error);
    EXPECT_EQ(portError(c.error), c.expected);
  }
}

TEST(MacConversions, ElementHandlesHoldOneReferenceEach) {
  const auto app = CFRef<AXUIElementRef>::adopt(AXUIElementCreateApplication(1));
  const CFIndex before = CFGetRetainCount(app.get());
  {
    const platform::Element handle = makeElement(app.get());
    const platform::Element copy = handle;  // copies share the one reference
    EXPECT_EQ(CFGetRetainCount(app.get()), before + 1);
    EXPECT_EQ(axElement(copy), app.get());
    const auto children = array({app.get(), app.get()});
    const auto value = portValue(children.get());
    ASSERT_TRUE(value.elements());
    EXPECT_EQ(CFGetRetainCount(app.get()), before + 1 + 2 + 2);  // the array's and the handles'
  }
  EXPECT_EQ(CFGetRetainCount(app.get()), before);
  class Foreign final : public platform::ElementHandle {};
  EXPECT_EQ(axElement(std::make_shared<const Foreign>()), nullptr);
}

}  // namespace
}  // namespace velvix::mac
