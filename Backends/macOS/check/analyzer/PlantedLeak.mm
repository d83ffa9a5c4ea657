// A leak the static analyzer must report: proof that the analysis of the backend finds what it
// looks for. Never built.

#include <CoreFoundation/CoreFoundation.h>

CFIndex plantedLeak(const char* text) {
  CFStringRef string = CFStringCreateWithCString(kCFAllocatorDefault, text, kCFStringEncodingUTF8);
  return CFStringGetLength(string);  // created, never released
}
