// Reads raw bytes as the WM_CLASS and title properties any X client may set, whole or cut off by
// the read's length limit, and checks what must hold for any input: no crash or sanitizer
// report; a value cut off is never taken for WhatsApp's, whatever it starts with; and the class
// decides alone, as the identity rule says.

#include "FuzzCheck.hpp"

#include <Backends/X11/WhatsAppIdentity.hpp>

#include <cstddef>
#include <cstdint>
#include <string_view>

using velvix::fuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Reads stop at 4 KB; more only slows the search down.
  if (size < 1 || size > 16 * 1024) return -1;
  using namespace velvix::x11;
  // The first byte: whether the read was cut off, and where the class ends and the title starts.
  const bool complete = (data[0] & 1) != 0;
  const std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::size_t split = rest.empty() ? 0 : (data[0] >> 1) * rest.size() / 128;
  const std::string_view classBytes = rest.substr(0, split), titleBytes = rest.substr(split);

  const auto [instance, cls] = classHint(classBytes, complete);
  check(instance.find('\0') == std::string::npos && cls.find('\0') == std::string::npos,
        "neither part of WM_CLASS holds its separator");
  const std::string title = propertyText(titleBytes, complete);
  if (!complete) check(!isWhatsAppTitle(title), "a title cut off is no WhatsApp title");
  const WindowIdentity identity{.wmClass = cls, .wmInstance = instance, .title = title};
  const bool whole = isWhatsApp(identity);
  if (cls == kWhatsAppOwnerName) check(whole, "the class decides alone");
  if (!complete) {
    check(whole == isWhatsApp({.wmClass = cls, .wmInstance = instance}),
          "a title cut off adds nothing");
  }
  return 0;
}
