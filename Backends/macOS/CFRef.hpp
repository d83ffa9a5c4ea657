#pragma once

// One owned reference to a CoreFoundation object, released when the holder goes (the Create
// and Copy rule, written once). Move-only.
//
//   CFRef<CFArrayRef> list = CFRef<CFArrayRef>::adopt(CGWindowListCopyWindowInfo(...));
//   CFRef<CFTypeRef> value;
//   AXUIElementCopyAttributeValue(element, name, value.out());

#include <CoreFoundation/CoreFoundation.h>

#include <utility>

namespace velvix::mac {

template <typename Ref>
class CFRef {
 public:
  CFRef() = default;
  /// Takes over a reference the caller owns (a Create or Copy function's result).
  [[nodiscard]] static CFRef adopt(Ref ref) noexcept {
    CFRef owned;
    owned.ref_ = ref;
    return owned;
  }
  /// A new reference to an object the caller does not own (a Get function's result).
  [[nodiscard]] static CFRef retain(Ref ref) noexcept {
    if (ref) CFRetain(ref);
    return adopt(ref);
  }

  CFRef(CFRef&& other) noexcept : ref_(std::exchange(other.ref_, nullptr)) {}
  CFRef& operator=(CFRef&& other) noexcept {
    if (this != &other) {
      reset();
      ref_ = std::exchange(other.ref_, nullptr);
    }
    return *this;
  }
  CFRef(const CFRef&) = delete;
  CFRef& operator=(const CFRef&) = delete;
  ~CFRef() { reset(); }

  [[nodiscard]] Ref get() const noexcept { return ref_; }
  explicit operator bool() const noexcept { return ref_ != nullptr; }

  /// Where a Copy function writes the reference it hands over; whatever was held is released.
  [[nodiscard]] Ref* out() noexcept {
    reset();
    return &ref_;
  }

  void reset() noexcept {
    if (ref_) CFRelease(ref_);
    ref_ = nullptr;
  }

 private:
  Ref ref_ = nullptr;
};

}  // namespace velvix::mac
