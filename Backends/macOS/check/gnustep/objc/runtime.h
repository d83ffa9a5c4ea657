// GCC's Objective-C runtime header, for checking our Objective-C++ against GNUstep's headers
// under ARC. Its one inline function reads an object's class through the object pointer, which
// ARC forbids: it is compiled here on a plain C pointer, and object_getClass() casts to it.
#pragma once
#define object_getClass(parameter) velvix_gnuObjectClass(struct objc_object* object)
#include_next <objc/runtime.h>
#undef object_getClass
static inline Class object_getClass(id object) {
  return velvix_gnuObjectClass((__bridge struct objc_object*)object);
}
