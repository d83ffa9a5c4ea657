#include "CFConversions.hpp"

#include <ApplicationServices/ApplicationServices.h>

#include <cstdint>

namespace velvix::mac {

std::optional<std::string> utf8(CFTypeRef value) {
  if (!value || CFGetTypeID(value) != CFStringGetTypeID()) return std::nullopt;
  const auto string = static_cast<CFStringRef>(value);
  // The length counts UTF-16 units; a character outside the Basic Multilingual Plane is two of
  // them and four UTF-8 bytes, so the size is asked for first rather than guessed.
  const CFRange all{0, CFStringGetLength(string)};
  CFIndex size = 0;
  const CFIndex converted =
      CFStringGetBytes(string, all, kCFStringEncodingUTF8, 0, false, nullptr, 0, &size);
  if (converted != all.length) return std::nullopt;  // a lone surrogate has no UTF-8 form
  std::string text(static_cast<std::size_t>(size), '\0');
  CFStringGetBytes(string, all, kCFStringEncodingUTF8, 0, false,
                   reinterpret_cast<UInt8*>(text.data()), size, &size);
  text.resize(static_cast<std::size_t>(size));
  return text;
}

CFRef<CFStringRef> makeString(std::string_view text) {
  return CFRef<CFStringRef>::adopt(
      CFStringCreateWithBytes(kCFAllocatorDefault, reinterpret_cast<const UInt8*>(text.data()),
                              static_cast<CFIndex>(text.size()), kCFStringEncodingUTF8, false));
}

platform::EntryField numberField(CFNumberRef number) {
  if (!CFNumberIsFloatType(number)) {
    long long integer = 0;
    if (CFNumberGetValue(number, kCFNumberLongLongType, &integer)) {
      return platform::EntryField(static_cast<std::int64_t>(integer));
    }
  }
  double real = 0;
  CFNumberGetValue(number, kCFNumberDoubleType, &real);
  return platform::EntryField(real);
}

namespace {

std::optional<double> number(CFDictionaryRef dictionary, const char* key) {
  const auto name = makeString(key);
  const void* value = CFDictionaryGetValue(dictionary, name.get());
  if (!value || CFGetTypeID(value) != CFNumberGetTypeID()) return std::nullopt;
  double real = 0;
  CFNumberGetValue(static_cast<CFNumberRef>(value), kCFNumberDoubleType, &real);
  return real;
}

}  // namespace

platform::EntryField entryField(CFTypeRef value) {
  if (!value) return platform::EntryField::missing();
  const CFTypeID type = CFGetTypeID(value);
  if (type == CFNumberGetTypeID()) return numberField(static_cast<CFNumberRef>(value));
  if (type == CFStringGetTypeID()) {
    if (auto text = utf8(value)) return platform::EntryField(std::move(*text));
    return platform::EntryField(platform::EntryField::Other{});
  }
  if (type == CFDictionaryGetTypeID()) {
    const auto dictionary = static_cast<CFDictionaryRef>(value);
    const auto x = number(dictionary, "X");
    const auto y = number(dictionary, "Y");
    const auto width = number(dictionary, "Width");
    const auto height = number(dictionary, "Height");
    if (x && y && width && height) return platform::EntryField(Rect(*x, *y, *width, *height));
  }
  return platform::EntryField(platform::EntryField::Other{});
}

platform::WindowEntry windowEntry(CFDictionaryRef entry) {
  const auto field = [entry](CFStringRef key) {
    return entryField(CFDictionaryGetValue(entry, key));
  };
  return {
      .number = field(kCGWindowNumber),
      .ownerPID = field(kCGWindowOwnerPID),
      .ownerName = field(kCGWindowOwnerName),
      .bounds = field(kCGWindowBounds),
      .layer = field(kCGWindowLayer),
      .alpha = field(kCGWindowAlpha),
  };
}

std::optional<std::vector<platform::WindowEntry>> windowEntries(CFTypeRef list) {
  if (!list || CFGetTypeID(list) != CFArrayGetTypeID()) return std::nullopt;
  const auto array = static_cast<CFArrayRef>(list);
  std::vector<platform::WindowEntry> entries;
  const CFIndex count = CFArrayGetCount(array);
  entries.reserve(static_cast<std::size_t>(count));
  for (CFIndex i = 0; i < count; ++i) {
    const void* entry = CFArrayGetValueAtIndex(array, i);
    if (!entry || CFGetTypeID(entry) != CFDictionaryGetTypeID()) return std::nullopt;
    entries.push_back(windowEntry(static_cast<CFDictionaryRef>(entry)));
  }
  return entries;
}

platform::Defaults::Value defaultsValue(CFTypeRef value) {
  if (!value) return std::monostate{};
  const CFTypeID type = CFGetTypeID(value);
  if (type == CFBooleanGetTypeID()) return CFBooleanGetValue(static_cast<CFBooleanRef>(value)) != 0;
  if (type == CFDataGetTypeID()) {
    const auto data = static_cast<CFDataRef>(value);
    return platform::Defaults::Bytes{
        std::string(reinterpret_cast<const char*>(CFDataGetBytePtr(data)),
                    static_cast<std::size_t>(CFDataGetLength(data)))};
  }
  if (type == CFNumberGetTypeID()) {
    double real = 0;
    CFNumberGetValue(static_cast<CFNumberRef>(value), kCFNumberDoubleType, &real);
    return real;
  }
  if (type == CFStringGetTypeID()) {
    if (auto text = utf8(value)) return std::move(*text);
  }
  return platform::Defaults::Other{describe(value)};
}

std::string describe(CFTypeRef value) {
  if (!value) return "nothing";
  const CFTypeID type = CFGetTypeID(value);
  if (type == CFStringGetTypeID()) return "a string";
  if (type == CFNumberGetTypeID()) return "a number";
  if (type == CFBooleanGetTypeID()) return "a boolean";
  if (type == CFArrayGetTypeID()) return "an array";
  if (type == CFDictionaryGetTypeID()) return "a dictionary";
  if (type == CFDataGetTypeID()) return "data";
  return "a value of another kind";
}

}  // namespace velvix::mac
