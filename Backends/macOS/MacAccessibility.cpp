#include "MacAccessibility.hpp"

#include "AXConversions.hpp"

#include <vector>

namespace velvix::mac {

bool MacAccessibility::isProcessTrusted() const {
  return AXIsProcessTrusted();
}

void MacAccessibility::promptForTrust() {
  const void* keys[] = {kAXTrustedCheckOptionPrompt};
  const void* values[] = {kCFBooleanTrue};
  const auto options = CFRef<CFDictionaryRef>::adopt(
      CFDictionaryCreate(kCFAllocatorDefault, keys, values, 1, &kCFTypeDictionaryKeyCallBacks,
                         &kCFTypeDictionaryValueCallBacks));
  (void)AXIsProcessTrustedWithOptions(options.get());  // whether it was granted shows later
}

platform::Element MacAccessibility::applicationElement(platform::ProcessId pid) {
  return std::make_shared<const AXElementHandle>(
      CFRef<AXUIElementRef>::adopt(AXUIElementCreateApplication(pid)));
}

platform::Error MacAccessibility::setMessagingTimeout(const platform::Element& element,
                                                      double seconds) {
  const AXUIElementRef ax = axElement(element);
  if (!ax) return platform::Error::failure;
  return portError(AXUIElementSetMessagingTimeout(ax, static_cast<float>(seconds)));
}

platform::AttributeResult MacAccessibility::copyAttributeValue(const platform::Element& element,
                                                               platform::Attribute attribute) {
  const AXUIElementRef ax = axElement(element);
  if (!ax) return {platform::Error::failure, std::nullopt};
  CFRef<CFTypeRef> value;
  const AXError error = AXUIElementCopyAttributeValue(ax, axAttribute(attribute), value.out());
  if (error != kAXErrorSuccess || !value) return {portError(error), std::nullopt};
  return {platform::Error::success, portValue(value.get())};
}

platform::MultipleAttributeResult MacAccessibility::copyMultipleAttributeValues(
    const platform::Element& element, std::span<const platform::Attribute> attributes) {
  const AXUIElementRef ax = axElement(element);
  if (!ax) return {platform::Error::failure, std::nullopt};
  std::vector<const void*> names;
  names.reserve(attributes.size());
  for (const platform::Attribute attribute : attributes)
    names.push_back(axAttribute(attribute));
  const auto request = CFRef<CFArrayRef>::adopt(CFArrayCreate(kCFAllocatorDefault, names.data(),
                                                              static_cast<CFIndex>(names.size()),
                                                              &kCFTypeArrayCallBacks));
  // Options 0: an unreadable attribute leaves its error in its slot.
  CFRef<CFArrayRef> values;
  const AXError error = AXUIElementCopyMultipleAttributeValues(ax, request.get(), 0, values.out());
  if (error != kAXErrorSuccess) return {portError(error), std::nullopt};
  if (!values || CFGetTypeID(values.get()) != CFArrayGetTypeID()) {
    return {platform::Error::success, std::nullopt};
  }
  std::vector<platform::Value> out;
  const CFIndex count = CFArrayGetCount(values.get());
  out.reserve(static_cast<std::size_t>(count));
  for (CFIndex i = 0; i < count; ++i)
    out.push_back(portValue(CFArrayGetValueAtIndex(values.get(), i)));
  return {platform::Error::success, std::move(out)};
}

}  // namespace velvix::mac
