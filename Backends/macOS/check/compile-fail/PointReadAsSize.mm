// The typed accessor ties the value's kind to the type read: a point cannot be read as a size.
// expected-error: no viable conversion

#include <Backends/macOS/AXConversions.hpp>

std::optional<CGSize> sizeOf(CFTypeRef value) {
#ifdef MISUSE
  std::optional<CGSize> size = velvix::mac::axValue<CGPoint>(value);
#else
  std::optional<CGSize> size = velvix::mac::axValue<CGSize>(value);
#endif
  return size;
}
