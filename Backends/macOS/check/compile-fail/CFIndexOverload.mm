// CFIndex is not std::int64_t on the Mac (long against long long), so a count passed to a port
// type that takes 64-bit integers and ints is ambiguous there; the declarations make it so here.
// expected-error: ambiguous

#include <Velvix/Platform/WindowServer.hpp>

#include <CoreFoundation/CoreFoundation.h>

velvix::platform::EntryField countField(CFArrayRef list) {
#ifdef MISUSE
  return velvix::platform::EntryField(CFArrayGetCount(list));
#else
  return velvix::platform::EntryField(static_cast<std::int64_t>(CFArrayGetCount(list)));
#endif
}
