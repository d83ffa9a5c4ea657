// The display link calls the macOS backend makes, declared from Apple's public documentation
// for type-checking on Linux.

#pragma once

#include <CoreFoundation/CoreFoundation.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef int32_t CVReturn;
enum { kCVReturnSuccess = 0 };
typedef uint64_t CVOptionFlags;
typedef struct __CVDisplayLink* CVDisplayLinkRef;

typedef struct {
  int16_t subframes;
  int16_t subframeDivisor;
  uint32_t counter;
  uint32_t type;
  uint32_t flags;
  int16_t hours;
  int16_t minutes;
  int16_t seconds;
  int16_t frames;
} CVSMPTETime;

typedef struct {
  uint32_t version;
  int32_t videoTimeScale;
  int64_t videoTime;
  uint64_t hostTime;
  double rateScalar;
  int64_t videoRefreshPeriod;
  CVSMPTETime smpteTime;
  uint64_t flags;
  uint64_t reserved;
} CVTimeStamp;

typedef CVReturn (*CVDisplayLinkOutputCallback)(CVDisplayLinkRef displayLink,
                                                const CVTimeStamp* inNow,
                                                const CVTimeStamp* inOutputTime,
                                                CVOptionFlags flagsIn, CVOptionFlags* flagsOut,
                                                void* displayLinkContext);

CVReturn CVDisplayLinkCreateWithActiveCGDisplays(CVDisplayLinkRef* displayLinkOut);
CVReturn CVDisplayLinkSetOutputCallback(CVDisplayLinkRef displayLink,
                                        CVDisplayLinkOutputCallback callback, void* userInfo);
CVReturn CVDisplayLinkStart(CVDisplayLinkRef displayLink);
CVReturn CVDisplayLinkStop(CVDisplayLinkRef displayLink);
void CVDisplayLinkRelease(CVDisplayLinkRef displayLink);

#ifdef __cplusplus
}
#endif
