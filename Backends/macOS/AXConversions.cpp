#include "AXConversions.hpp"

#include "CFConversions.hpp"

#include <array>
#include <cmath>

namespace velvix::mac {

platform::Element makeElement(AXUIElementRef element) {
  return std::make_shared<const AXElementHandle>(CFRef<AXUIElementRef>::retain(element));
}

AXUIElementRef axElement(const platform::Element& element) {
  const auto* handle = dynamic_cast<const AXElementHandle*>(element.get());
  return handle ? handle->get() : nullptr;
}

platform::Error portError(AXError error) {
  switch (error) {
    case kAXErrorSuccess:
      return platform::Error::success;
    case kAXErrorInvalidUIElement:
      return platform::Error::invalidElement;
    case kAXErrorCannotComplete:
      return platform::Error::cannotComplete;
    case kAXErrorAttributeUnsupported:
      return platform::Error::attributeUnsupported;
    case kAXErrorNoValue:
      return platform::Error::noValue;
    case kAXErrorAPIDisabled:
      return platform::Error::apiDisabled;
    default:
      return platform::Error::failure;
  }
}

platform::Value portValue(CFTypeRef value) {
  if (!value) return platform::Value::Other{"nothing"};
  const CFTypeID type = CFGetTypeID(value);
  if (type == CFStringGetTypeID()) {
    if (auto text = utf8(value)) return platform::Value(std::move(*text));
    return platform::Value::Other{"a string without a UTF-8 form"};
  }
  if (type == AXValueGetTypeID()) {
    const auto ax = static_cast<AXValueRef>(value);
    switch (AXValueGetType(ax)) {
      case kAXValueTypeCGPoint:
        if (const auto p = axValue<CGPoint>(value)) return platform::Value(Point{p->x, p->y});
        break;
      case kAXValueTypeCGSize:
        if (const auto s = axValue<CGSize>(value)) {
          return platform::Value(Size{s->width, s->height});
        }
        break;
      case kAXValueTypeAXError: {
        AXError error = kAXErrorFailure;
        AXValueGetValue(ax, kAXValueTypeAXError, &error);
        return platform::Value::SlotError{portError(error)};
      }
      default:
        break;
    }
    return platform::Value::Other{"an accessibility value of another kind"};
  }
  if (type == CFArrayGetTypeID()) {
    const auto array = static_cast<CFArrayRef>(value);
    platform::Value::Elements elements;
    const CFIndex count = CFArrayGetCount(array);
    elements.reserve(static_cast<std::size_t>(count));
    for (CFIndex i = 0; i < count; ++i) {
      const void* item = CFArrayGetValueAtIndex(array, i);
      if (!item || CFGetTypeID(item) != AXUIElementGetTypeID()) {
        return platform::Value::Other{"an array that holds more than elements"};
      }
      elements.push_back(makeElement(static_cast<AXUIElementRef>(item)));
    }
    return platform::Value(std::move(elements));
  }
  return platform::Value::Other{describe(value)};
}

CFStringRef axAttribute(platform::Attribute attribute) {
  switch (attribute) {
    case platform::Attribute::role:
      return CFSTR("AXRole");
    case platform::Attribute::description:
      return CFSTR("AXDescription");
    case platform::Attribute::title:
      return CFSTR("AXTitle");
    case platform::Attribute::value:
      return CFSTR("AXValue");
    case platform::Attribute::position:
      return CFSTR("AXPosition");
    case platform::Attribute::size:
      return CFSTR("AXSize");
    case platform::Attribute::children:
      return CFSTR("AXChildren");
    case platform::Attribute::windows:
      return CFSTR("AXWindows");
  }
  return CFSTR("AXRole");
}

}  // namespace velvix::mac
