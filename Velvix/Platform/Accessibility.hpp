#pragma once

// The accessibility service: the trust check and its prompt, application elements, the messaging
// timeout, and attribute reads. The outcomes the app tells apart stay apart here:
//  - a call that failed (an Error other than success),
//  - a call that succeeded without a value (an empty optional),
//  - one slot of a multiple-attribute read that holds an error while the call itself succeeded,
//  - a value of another kind than the one asked for (a number where a string was expected, a
//    size where a point was expected, an array that holds something besides elements).
// Positions are global screen points with the origin at the top left of the primary display.
//
// Thread safety: every call may be made from any thread, and from two threads at once (the
// reader's executor and the follow loop measure the same elements concurrently). Element
// handles are immutable, reference-counted and may be copied and released on any thread.

#include <BlurLayout/Geometry.hpp>

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace velvix::platform {

using ProcessId = std::int32_t;

/// A backend's element. The app never looks inside; it only holds, copies and passes handles.
class ElementHandle {
 public:
  ElementHandle() = default;
  ElementHandle(const ElementHandle&) = delete;
  ElementHandle& operator=(const ElementHandle&) = delete;
  virtual ~ElementHandle() = default;
};

/// An accessibility element. Holding one keeps the backend's element alive (it does not keep
/// the interface element it stands for from disappearing: reads of a vanished element fail).
using Element = std::shared_ptr<const ElementHandle>;

/// The attributes the app reads.
enum class Attribute : unsigned char {
  role,         // AXRole: a string
  description,  // AXDescription
  title,        // AXTitle
  value,        // AXValue: any kind
  position,     // AXPosition: a point value, top-left of the element
  size,         // AXSize: a size value
  children,     // AXChildren: an array of elements
  windows,      // AXWindows: an array of window elements (on an application element)
};

/// The platform's name of an attribute ("AXRole"...), for backends and diagnostics.
[[nodiscard]] std::string_view attributeName(Attribute attribute);

/// Result codes of accessibility calls; `success` is the only one that carries a value.
enum class Error : unsigned char {
  success,
  failure,               // a system error not covered below
  invalidElement,        // the element no longer exists
  cannotComplete,        // no answer in time (the messaging timeout), or the process is busy
  attributeUnsupported,  // the element has no such attribute
  noValue,               // the attribute has no value
  apiDisabled,           // the process is not trusted
};

/// An attribute value. Values of kinds the app never uses (numbers, booleans, rectangles,
/// ranges, arrays that are not all elements...) arrive as `Other`, so the app can tell "wrong
/// kind" from "absent".
class Value {
 public:
  /// The error a multiple-attribute read leaves in the slot of an attribute it could not read.
  struct SlotError {
    Error error = Error::failure;
    friend bool operator==(const SlotError&, const SlotError&) = default;
  };
  struct Other {
    std::string description;  ///< for diagnostics only
    friend bool operator==(const Other&, const Other&) = default;
  };
  using Elements = std::vector<Element>;

  Value(SlotError e) : v_(e) {}                 // NOLINT: implicit for brevity in backends
  Value(Other o) : v_(std::move(o)) {}          // NOLINT
  Value(std::string s) : v_(std::move(s)) {}    // NOLINT
  Value(const char* s) : v_(std::string(s)) {}  // NOLINT
  Value(Point p) : v_(p) {}                     // NOLINT: a point value (AXValue of kind point)
  Value(Size s) : v_(s) {}                      // NOLINT: a size value (AXValue of kind size)
  Value(Elements e) : v_(std::move(e)) {}       // NOLINT

  /// The string, when this is a string.
  [[nodiscard]] const std::string* string() const { return std::get_if<std::string>(&v_); }
  /// The point, only when this is a point value.
  [[nodiscard]] std::optional<Point> point() const;
  /// The size, only when this is a size value.
  [[nodiscard]] std::optional<Size> size() const;
  /// The elements, only when this is an array of elements (possibly empty).
  [[nodiscard]] const Elements* elements() const { return std::get_if<Elements>(&v_); }
  [[nodiscard]] bool isSlotError() const { return std::holds_alternative<SlotError>(v_); }

 private:
  std::variant<SlotError, Other, std::string, Point, Size, Elements> v_;
};

/// The outcome of a single-attribute read.
struct AttributeResult {
  Error error = Error::failure;
  std::optional<Value> value;  ///< empty when the call failed or returned no value

  /// The value, only when the call succeeded with one.
  [[nodiscard]] const Value* get() const {
    return error == Error::success && value ? &*value : nullptr;
  }
};

/// The outcome of a multiple-attribute read made with options 0: an unreadable attribute leaves
/// a SlotError in its slot rather than failing the whole call.
struct MultipleAttributeResult {
  Error error = Error::failure;
  /// One value per requested attribute when the backend kept its word; callers check the count.
  std::optional<std::vector<Value>> values;
};

class Accessibility {
 public:
  Accessibility() = default;
  Accessibility(const Accessibility&) = delete;
  Accessibility& operator=(const Accessibility&) = delete;
  virtual ~Accessibility() = default;

  /// Whether this desktop has an accessibility service the app can read at all. Where it has
  /// none, no grant can ever give access: the app runs in layout mode and says so once.
  [[nodiscard]] virtual bool isAvailable() const { return true; }
  /// Whether the user has granted this process accessibility access.
  [[nodiscard]] virtual bool isProcessTrusted() const = 0;
  /// Asks the system to show its permission prompt; whether access was granted shows later in
  /// isProcessTrusted().
  virtual void promptForTrust() = 0;

  /// The element of a whole process, made anew on every call.
  [[nodiscard]] virtual Element applicationElement(ProcessId pid) = 0;
  /// Limits how long any request to `element` (and to the elements reached through it, for an
  /// application element) may wait for an answer before failing with cannotComplete.
  virtual Error setMessagingTimeout(const Element& element, double seconds) = 0;

  [[nodiscard]] virtual AttributeResult copyAttributeValue(const Element& element,
                                                           Attribute attribute) = 0;
  [[nodiscard]] virtual MultipleAttributeResult copyMultipleAttributeValues(
      const Element& element, std::span<const Attribute> attributes) = 0;
};

}  // namespace velvix::platform
