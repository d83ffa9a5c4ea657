// A Copy function's out-parameter is a CFTypeRef*; passing the address of a CFArrayRef must not
// compile (the value may be of any kind until its type is checked).
// expected-error: CFArrayRef \*

#include <ApplicationServices/ApplicationServices.h>

CFArrayRef windowsOf(AXUIElementRef application) {
#ifdef MISUSE
  CFArrayRef windows = nullptr;
  AXUIElementCopyAttributeValue(application, CFSTR("AXWindows"), &windows);
  return windows;
#else
  CFTypeRef value = nullptr;
  AXUIElementCopyAttributeValue(application, CFSTR("AXWindows"), &value);
  if (value && CFGetTypeID(value) == CFArrayGetTypeID()) return static_cast<CFArrayRef>(value);
  if (value) CFRelease(value);
  return nullptr;
#endif
}
