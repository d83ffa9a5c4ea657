// The display link calls back with exactly its documented signature.
// expected-error: CVDisplayLinkOutputCallback

#include <CoreVideo/CoreVideo.h>

#ifdef MISUSE
CVReturn refresh(CVDisplayLinkRef, const CVTimeStamp*, const CVTimeStamp*, uint32_t, uint32_t*,
                 void*) {
  return kCVReturnSuccess;
}
#else
CVReturn refresh(CVDisplayLinkRef, const CVTimeStamp*, const CVTimeStamp*, CVOptionFlags,
                 CVOptionFlags*, void*) {
  return kCVReturnSuccess;
}
#endif

void follow(CVDisplayLinkRef link) {
  CVDisplayLinkSetOutputCallback(link, &refresh, nullptr);
}
