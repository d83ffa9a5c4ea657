// The test CoreFoundation (see TestCoreFoundation.hpp). Objects are never freed while the test
// runs: a released object stays, marked dead, so that a use after its last release is caught.

#include "TestCoreFoundation.hpp"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace {

enum TypeID : CFTypeID {
  kString = 7,
  kNumber,
  kBoolean,
  kArray,
  kDictionary,
  kData,
  kAXValue,
  kAXElement,
  kAllocator,
};

std::mutex& mutex() {
  static auto* m = new std::mutex;  // used by objects released during static destruction
  return *m;
}
long live = 0;

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "test CoreFoundation: %s\n", what);
  std::abort();
}

}  // namespace

// The objects behind the opaque types, all one kind of record.
struct CFObject {
  CFTypeID type;
  long refs = 1;
  bool immortal = false;
  // Strings (UTF-16, as CoreFoundation keeps them).
  std::u16string text;
  // Numbers.
  bool isFloat = false;
  double real = 0;
  long long integer = 0;
  // Booleans.
  bool boolean = false;
  // Arrays, and dictionaries (keys and values side by side).
  std::vector<CFTypeRef> values;
  std::vector<CFTypeRef> keys;
  bool retainsContents = false;
  // Data.
  std::string bytes;
  // AX values.
  AXValueType axType = kAXValueTypeIllegal;
  // Accessibility elements.
  pid_t pid = 0;
  bool isApplication = false;
  std::map<std::string, CFTypeRef> attributes;
  std::map<std::string, AXError> attributeErrors;
  AXError elementError = kAXErrorSuccess;
  float timeout = 0;

  explicit CFObject(CFTypeID t) : type(t) {}
};

namespace {

CFObject* object(CFTypeRef cf) {
  if (cf == nullptr) fail("NULL passed where an object is required");
  auto* o = static_cast<CFObject*>(const_cast<void*>(cf));
  if (o->refs <= 0 && !o->immortal) fail("use of an object after its last release");
  return o;
}

// Every object made, dead ones included: kept reachable, so that leak checkers see the dead as
// held, and the test CoreFoundation's own count is the one that tells leaks.
std::vector<CFObject*>& everything() {
  static auto* all = new std::vector<CFObject*>;  // never destroyed: reachable to the end
  return *all;
}

template <typename Ref>
Ref make(CFObject* o) {
  std::lock_guard lock(mutex());
  ++live;
  everything().push_back(o);
  return reinterpret_cast<Ref>(o);
}

CFObject* immortal(CFTypeID type) {
  auto* o = new CFObject(type);
  o->immortal = true;
  return o;
}

std::u16string utf16(const std::string& utf8, bool& valid) {
  std::u16string out;
  valid = true;
  for (std::size_t i = 0; i < utf8.size();) {
    const auto c = static_cast<unsigned char>(utf8[i]);
    std::size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + n > utf8.size()) {
      valid = false;
      return {};
    }
    char32_t cp = n == 1 ? c : n == 2 ? c & 0x1F : n == 3 ? c & 0x0F : c & 0x07;
    for (std::size_t k = 1; k < n; ++k) {
      const auto d = static_cast<unsigned char>(utf8[i + k]);
      if ((d >> 6) != 2) {
        valid = false;
        return {};
      }
      cp = (cp << 6) | (d & 0x3F);
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
    i += n;
  }
  return out;
}

bool equal(CFTypeRef a, CFTypeRef b) {
  if (a == b) return true;
  const CFObject* x = object(a);
  const CFObject* y = object(b);
  if (x->type != y->type) return false;
  if (x->type == kString) return x->text == y->text;
  if (x->type == kNumber) return x->isFloat ? x->real == y->real : x->integer == y->integer;
  return false;
}

CFObject* allocatorObject = immortal(kAllocator);
CFObject* trueObject = [] {
  CFObject* o = immortal(kBoolean);
  o->boolean = true;
  return o;
}();
CFObject* falseObject = immortal(kBoolean);

bool trusted = false;
int prompts = 0;
std::vector<CFObject*> elements;  // of the fake accessibility, retained

CFStringRef constant(const char* text) {
  static auto* strings = new std::map<std::string, CFObject*>;  // never destroyed, as above
  std::lock_guard lock(mutex());
  auto& o = (*strings)[text];
  if (!o) {
    o = immortal(kString);
    bool valid = false;
    o->text = utf16(text, valid);
  }
  return reinterpret_cast<CFStringRef>(o);
}

std::string utf8Name(CFStringRef name) {
  std::string out;
  for (char16_t c : object(name)->text)
    out.push_back(static_cast<char>(c));  // attribute names are ASCII
  return out;
}

}  // namespace

namespace velvix::testcf {

long liveObjects() {
  std::lock_guard lock(mutex());
  return live;
}

void setTrusted(bool value) {
  trusted = value;
}
int promptCount() {
  return prompts;
}

AXUIElementRef makeElement(pid_t pid, bool isApplication) {
  auto* o = new CFObject(kAXElement);
  o->pid = pid;
  o->isApplication = isApplication;
  o->refs = 2;  // one for the test, one for the fake accessibility
  elements.push_back(o);
  return make<AXUIElementRef>(o);
}

void setAttribute(AXUIElementRef element, const std::string& name, CFTypeRef value) {
  CFObject* o = object(element);
  if (auto it = o->attributes.find(name); it != o->attributes.end()) CFRelease(it->second);
  o->attributes.erase(name);
  if (value) o->attributes[name] = CFRetain(value);
}

void setElementError(AXUIElementRef element, AXError error) {
  object(element)->elementError = error;
}

void setAttributeError(AXUIElementRef element, const std::string& name, AXError error) {
  object(element)->attributeErrors[name] = error;
}

float messagingTimeout(AXUIElementRef element) {
  return object(element)->timeout;
}

void resetAccessibility() {
  for (CFObject* o : elements) {
    for (auto& [name, value] : o->attributes)
      CFRelease(value);
    o->attributes.clear();
    CFRelease(o);
  }
  elements.clear();
}

}  // namespace velvix::testcf

extern "C" {

const CFAllocatorRef kCFAllocatorDefault = reinterpret_cast<CFAllocatorRef>(allocatorObject);
const CFBooleanRef kCFBooleanTrue = reinterpret_cast<CFBooleanRef>(trueObject);
const CFBooleanRef kCFBooleanFalse = reinterpret_cast<CFBooleanRef>(falseObject);

CFTypeRef CFRetain(CFTypeRef cf) {
  CFObject* o = object(cf);
  std::lock_guard lock(mutex());
  if (!o->immortal) ++o->refs;
  return cf;
}

void CFRelease(CFTypeRef cf) {
  CFObject* o = object(cf);
  bool last = false;
  {
    std::lock_guard lock(mutex());
    if (o->immortal) return;
    last = --o->refs == 0;
    if (last) --live;
  }
  if (!last) return;
  // Dead from now on; what it held is released.
  if (o->retainsContents) {
    for (CFTypeRef v : o->values)
      CFRelease(v);
    for (CFTypeRef k : o->keys)
      CFRelease(k);
  }
  for (auto& [name, value] : o->attributes)
    CFRelease(value);
  o->values.clear();
  o->keys.clear();
  o->attributes.clear();
}

CFIndex CFGetRetainCount(CFTypeRef cf) {
  return object(cf)->refs;
}

CFTypeID CFGetTypeID(CFTypeRef cf) {
  return object(cf)->type;
}

CFTypeID CFStringGetTypeID(void) {
  return kString;
}

CFStringRef CFStringCreateWithBytes(CFAllocatorRef, const UInt8* bytes, CFIndex numBytes,
                                    CFStringEncoding encoding, Boolean) {
  if (encoding != kCFStringEncodingUTF8 || numBytes < 0) return nullptr;
  bool valid = false;
  auto text =
      utf16(std::string(reinterpret_cast<const char*>(bytes), std::size_t(numBytes)), valid);
  if (!valid) return nullptr;
  auto* o = new CFObject(kString);
  o->text = std::move(text);
  return make<CFStringRef>(o);
}

CFStringRef CFStringCreateWithCharacters(CFAllocatorRef, const UniChar* chars, CFIndex numChars) {
  auto* o = new CFObject(kString);
  o->text.assign(reinterpret_cast<const char16_t*>(chars), std::size_t(numChars));
  return make<CFStringRef>(o);
}

CFIndex CFStringGetLength(CFStringRef theString) {
  return static_cast<CFIndex>(object(theString)->text.size());
}

CFIndex CFStringGetBytes(CFStringRef theString, CFRange range, CFStringEncoding encoding, UInt8,
                         Boolean, UInt8* buffer, CFIndex maxBufLen, CFIndex* usedBufLen) {
  const std::u16string& text = object(theString)->text;
  if (encoding != kCFStringEncodingUTF8 || range.location < 0 || range.length < 0 ||
      std::size_t(range.location + range.length) > text.size())
    fail("CFStringGetBytes outside the string");
  CFIndex converted = 0;
  CFIndex used = 0;
  for (CFIndex i = range.location; i < range.location + range.length;) {
    char32_t cp = text[std::size_t(i)];
    CFIndex units = 1;
    if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < range.location + range.length &&
        text[std::size_t(i + 1)] >= 0xDC00 && text[std::size_t(i + 1)] < 0xE000) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[std::size_t(i + 1)] - 0xDC00);
      units = 2;
    } else if (cp >= 0xD800 && cp < 0xE000) {
      break;  // a lone surrogate has no UTF-8 form; conversion stops there
    }
    UInt8 out[4];
    const CFIndex n = cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
    if (n == 1) out[0] = static_cast<UInt8>(cp);
    if (n == 2) out[0] = static_cast<UInt8>(0xC0 | (cp >> 6));
    if (n == 3) out[0] = static_cast<UInt8>(0xE0 | (cp >> 12));
    if (n == 4) out[0] = static_cast<UInt8>(0xF0 | (cp >> 18));
    for (CFIndex k = 1; k < n; ++k)
      out[k] = static_cast<UInt8>(0x80 | ((cp >> (6 * (n - 1 - k))) & 0x3F));
    if (buffer) {
      if (used + n > maxBufLen) break;
      std::memcpy(buffer + used, out, std::size_t(n));
    }
    used += n;
    converted += units;
    i += units;
  }
  if (usedBufLen) *usedBufLen = used;
  return converted;
}

CFStringRef __CFStringMakeConstantString(const char* cStr) {
  return constant(cStr);
}

CFTypeID CFNumberGetTypeID(void) {
  return kNumber;
}

CFNumberRef CFNumberCreate(CFAllocatorRef, CFNumberType theType, const void* valuePtr) {
  auto* o = new CFObject(kNumber);
  if (theType == kCFNumberLongLongType) {
    o->integer = *static_cast<const long long*>(valuePtr);
  } else if (theType == kCFNumberDoubleType) {
    o->isFloat = true;
    o->real = *static_cast<const double*>(valuePtr);
  } else {
    fail("CFNumberCreate with a type the test CoreFoundation does not keep");
  }
  return make<CFNumberRef>(o);
}

Boolean CFNumberIsFloatType(CFNumberRef number) {
  return object(number)->isFloat;
}

Boolean CFNumberGetValue(CFNumberRef number, CFNumberType theType, void* valuePtr) {
  const CFObject* o = object(number);
  switch (theType) {
    case kCFNumberLongLongType: {
      if (!o->isFloat) {
        *static_cast<long long*>(valuePtr) = o->integer;
        return true;
      }
      const double v = o->real;
      const bool fits = v >= -9223372036854775808.0 && v < 9223372036854775808.0;
      const long long out = fits ? static_cast<long long>(v) : 0;
      *static_cast<long long*>(valuePtr) = out;
      return fits && double(out) == v;
    }
    case kCFNumberDoubleType: {
      const double out = o->isFloat ? o->real : double(o->integer);
      *static_cast<double*>(valuePtr) = out;
      return o->isFloat || static_cast<long long>(out) == o->integer;
    }
    default:
      fail("CFNumberGetValue with a type the test CoreFoundation does not convert to");
  }
}

CFTypeID CFBooleanGetTypeID(void) {
  return kBoolean;
}

Boolean CFBooleanGetValue(CFBooleanRef boolean) {
  return object(boolean)->boolean;
}

static const void* retainValue(CFAllocatorRef, const void* value) {
  return CFRetain(value);
}
static void releaseValue(CFAllocatorRef, const void* value) {
  CFRelease(value);
}
static Boolean equalValues(const void* a, const void* b) {
  return equal(a, b);
}
static CFHashCode hashValue(const void* value) {
  return reinterpret_cast<CFHashCode>(value);
}

const CFArrayCallBacks kCFTypeArrayCallBacks = {0, &retainValue, &releaseValue, nullptr,
                                                &equalValues};
const CFDictionaryKeyCallBacks kCFTypeDictionaryKeyCallBacks = {
    0, &retainValue, &releaseValue, nullptr, &equalValues, &hashValue};
const CFDictionaryValueCallBacks kCFTypeDictionaryValueCallBacks = {0, &retainValue, &releaseValue,
                                                                    nullptr, &equalValues};

CFTypeID CFArrayGetTypeID(void) {
  return kArray;
}

CFArrayRef CFArrayCreate(CFAllocatorRef, const void** values, CFIndex numValues,
                         const CFArrayCallBacks* callBacks) {
  auto* o = new CFObject(kArray);
  o->retainsContents = callBacks == &kCFTypeArrayCallBacks;
  for (CFIndex i = 0; i < numValues; ++i)
    o->values.push_back(o->retainsContents ? CFRetain(values[i]) : values[i]);
  return make<CFArrayRef>(o);
}

CFIndex CFArrayGetCount(CFArrayRef theArray) {
  return static_cast<CFIndex>(object(theArray)->values.size());
}

const void* CFArrayGetValueAtIndex(CFArrayRef theArray, CFIndex idx) {
  const CFObject* o = object(theArray);
  if (idx < 0 || std::size_t(idx) >= o->values.size()) fail("array index out of range");
  return o->values[std::size_t(idx)];
}

CFTypeID CFDictionaryGetTypeID(void) {
  return kDictionary;
}

CFDictionaryRef CFDictionaryCreate(CFAllocatorRef, const void** keys, const void** values,
                                   CFIndex numValues, const CFDictionaryKeyCallBacks* keyCallBacks,
                                   const CFDictionaryValueCallBacks*) {
  auto* o = new CFObject(kDictionary);
  o->retainsContents = keyCallBacks == &kCFTypeDictionaryKeyCallBacks;
  for (CFIndex i = 0; i < numValues; ++i) {
    o->keys.push_back(o->retainsContents ? CFRetain(keys[i]) : keys[i]);
    o->values.push_back(o->retainsContents ? CFRetain(values[i]) : values[i]);
  }
  return make<CFDictionaryRef>(o);
}

const void* CFDictionaryGetValue(CFDictionaryRef theDict, const void* key) {
  const CFObject* o = object(theDict);
  for (std::size_t i = 0; i < o->keys.size(); ++i) {
    if (equal(o->keys[i], key)) return o->values[i];
  }
  return nullptr;
}

CFTypeID CFDataGetTypeID(void) {
  return kData;
}

CFDataRef CFDataCreate(CFAllocatorRef, const UInt8* bytes, CFIndex length) {
  auto* o = new CFObject(kData);
  o->bytes.assign(reinterpret_cast<const char*>(bytes), std::size_t(length));
  return make<CFDataRef>(o);
}

CFIndex CFDataGetLength(CFDataRef theData) {
  return static_cast<CFIndex>(object(theData)->bytes.size());
}

const UInt8* CFDataGetBytePtr(CFDataRef theData) {
  return reinterpret_cast<const UInt8*>(object(theData)->bytes.data());
}

// --- CoreGraphics ------------------------------------------------------------------------------

const CFStringRef kCGWindowNumber = constant("kCGWindowNumber");
const CFStringRef kCGWindowOwnerPID = constant("kCGWindowOwnerPID");
const CFStringRef kCGWindowOwnerName = constant("kCGWindowOwnerName");
const CFStringRef kCGWindowBounds = constant("kCGWindowBounds");
const CFStringRef kCGWindowLayer = constant("kCGWindowLayer");
const CFStringRef kCGWindowAlpha = constant("kCGWindowAlpha");

// --- Accessibility -----------------------------------------------------------------------------

const CFStringRef kAXTrustedCheckOptionPrompt = constant("AXTrustedCheckOptionPrompt");

CFTypeID AXValueGetTypeID(void) {
  return kAXValue;
}

AXValueRef AXValueCreate(AXValueType theType, const void* valuePtr) {
  auto* o = new CFObject(kAXValue);
  o->axType = theType;
  const std::size_t size = theType == kAXValueTypeCGPoint  ? sizeof(CGPoint)
                           : theType == kAXValueTypeCGSize ? sizeof(CGSize)
                           : theType == kAXValueTypeCGRect ? sizeof(CGRect)
                                                           : sizeof(AXError);
  o->bytes.assign(static_cast<const char*>(valuePtr), size);
  return make<AXValueRef>(o);
}

AXValueType AXValueGetType(AXValueRef value) {
  return object(value)->axType;
}

Boolean AXValueGetValue(AXValueRef value, AXValueType theType, void* valuePtr) {
  const CFObject* o = object(value);
  if (o->axType != theType) return false;
  std::memcpy(valuePtr, o->bytes.data(), o->bytes.size());
  return true;
}

CFTypeID AXUIElementGetTypeID(void) {
  return kAXElement;
}

AXUIElementRef AXUIElementCreateApplication(pid_t pid) {
  for (CFObject* o : elements) {
    if (o->isApplication && o->pid == pid && o->refs > 0) {
      return static_cast<AXUIElementRef>(CFRetain(o));
    }
  }
  // A process the test did not describe: an element whose every request fails.
  auto* o = new CFObject(kAXElement);
  o->pid = pid;
  o->isApplication = true;
  o->elementError = kAXErrorCannotComplete;
  return make<AXUIElementRef>(o);
}

AXError AXUIElementSetMessagingTimeout(AXUIElementRef element, float timeoutInSeconds) {
  if (timeoutInSeconds < 0) return kAXErrorIllegalArgument;
  object(element)->timeout = timeoutInSeconds;
  return kAXErrorSuccess;
}

AXError AXUIElementCopyAttributeValue(AXUIElementRef element, CFStringRef attribute,
                                      CFTypeRef* value) {
  const CFObject* o = object(element);
  *value = nullptr;
  if (!trusted) return kAXErrorAPIDisabled;
  if (o->elementError != kAXErrorSuccess) return o->elementError;
  const std::string name = utf8Name(attribute);
  if (auto e = o->attributeErrors.find(name); e != o->attributeErrors.end()) return e->second;
  const auto it = o->attributes.find(name);
  if (it == o->attributes.end()) return kAXErrorAttributeUnsupported;
  *value = CFRetain(it->second);
  return kAXErrorSuccess;
}

AXError AXUIElementCopyMultipleAttributeValues(AXUIElementRef element, CFArrayRef attributes,
                                               AXCopyMultipleAttributeOptions options,
                                               CFArrayRef* values) {
  const CFObject* o = object(element);
  *values = nullptr;
  if (!trusted) return kAXErrorAPIDisabled;
  if (o->elementError != kAXErrorSuccess) return o->elementError;
  std::vector<const void*> slots;
  for (CFIndex i = 0; i < CFArrayGetCount(attributes); ++i) {
    const std::string name =
        utf8Name(static_cast<CFStringRef>(CFArrayGetValueAtIndex(attributes, i)));
    AXError error = kAXErrorSuccess;
    if (auto e = o->attributeErrors.find(name); e != o->attributeErrors.end()) {
      error = e->second;
    } else if (!o->attributes.count(name)) {
      error = kAXErrorNoValue;
    }
    if (error != kAXErrorSuccess && (options & kAXCopyMultipleAttributeOptionStopOnError)) {
      for (const void* s : slots)
        CFRelease(s);
      return error;
    }
    slots.push_back(error == kAXErrorSuccess ? CFRetain(o->attributes.at(name))
                                             : AXValueCreate(kAXValueTypeAXError, &error));
  }
  *values = CFArrayCreate(nullptr, slots.data(), static_cast<CFIndex>(slots.size()),
                          &kCFTypeArrayCallBacks);
  for (const void* s : slots)
    CFRelease(s);
  return kAXErrorSuccess;
}

Boolean AXIsProcessTrusted(void) {
  return trusted;
}

Boolean AXIsProcessTrustedWithOptions(CFDictionaryRef options) {
  if (options) {
    const void* prompt = CFDictionaryGetValue(options, kAXTrustedCheckOptionPrompt);
    if (prompt && CFGetTypeID(prompt) == kBoolean &&
        CFBooleanGetValue(static_cast<CFBooleanRef>(prompt)))
      ++prompts;
  }
  return trusted;
}

}  // extern "C"
