#pragma once

// Accessibility values as the port's values, in plain C++ over the Accessibility C API:
// elements as reference-counted handles, attribute values (strings, point and size values,
// arrays of elements, the error a multiple-attribute read leaves in a slot), and error codes.

#include "CFRef.hpp"

#include <Velvix/Platform/Accessibility.hpp>

#include <ApplicationServices/ApplicationServices.h>

#include <optional>

namespace velvix::mac {

/// A port element holding one reference to an accessibility element.
class AXElementHandle final : public platform::ElementHandle {
 public:
  explicit AXElementHandle(CFRef<AXUIElementRef> element) : element_(std::move(element)) {}
  [[nodiscard]] AXUIElementRef get() const { return element_.get(); }

 private:
  CFRef<AXUIElementRef> element_;
};

/// A handle holding a new reference to `element`.
[[nodiscard]] platform::Element makeElement(AXUIElementRef element);
/// The accessibility element behind a handle; NULL for a handle of another backend.
[[nodiscard]] AXUIElementRef axElement(const platform::Element& element);

[[nodiscard]] platform::Error portError(AXError error);

/// The AXValue kind that holds a T.
template <typename T>
struct AXValueKind;
template <>
struct AXValueKind<CGPoint> {
  static constexpr AXValueType type = kAXValueTypeCGPoint;
};
template <>
struct AXValueKind<CGSize> {
  static constexpr AXValueType type = kAXValueTypeCGSize;
};

/// The T an accessibility value holds: only when `value` is an AXValue of T's kind and unpacks.
template <typename T>
[[nodiscard]] std::optional<T> axValue(CFTypeRef value) {
  if (!value || CFGetTypeID(value) != AXValueGetTypeID()) return std::nullopt;
  const auto ax = static_cast<AXValueRef>(value);
  T out{};
  if (AXValueGetType(ax) != AXValueKind<T>::type ||
      !AXValueGetValue(ax, AXValueKind<T>::type, &out))
    return std::nullopt;
  return out;
}

/// An attribute value as the port has it: a string, a point or a size value, an array of
/// elements, an error left in a slot, or another kind (never absent: NULL is another kind).
[[nodiscard]] platform::Value portValue(CFTypeRef value);

/// The platform's name of an attribute, as a string that lives for the whole program.
[[nodiscard]] CFStringRef axAttribute(platform::Attribute attribute);

}  // namespace velvix::mac
