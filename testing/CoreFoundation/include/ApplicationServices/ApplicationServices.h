// The part of ApplicationServices that Velvix's macOS backend uses — CoreGraphics geometry, the
// window list and window levels, and the Accessibility API (HIServices) — declared for builds
// that have no Apple SDK, like CoreFoundation.h beside it. Written from Apple's public
// documentation of these functions and types.

#ifndef VELVIX_TEST_APPLICATIONSERVICES_H
#define VELVIX_TEST_APPLICATIONSERVICES_H

#include <CoreFoundation/CoreFoundation.h>
#include <sys/types.h>

#if defined(__OBJC__) && defined(GNUSTEP)
// On the Mac the Foundation geometry types are the CoreGraphics ones; with GNUstep they are
// made the same here.
#include <Foundation/NSGeometry.h>
typedef NSPoint CGPoint;
typedef NSSize CGSize;
typedef NSRect CGRect;
#else
struct CGPoint {
  CGFloat x;
  CGFloat y;
};
typedef struct CGPoint CGPoint;
struct CGSize {
  CGFloat width;
  CGFloat height;
};
typedef struct CGSize CGSize;
struct CGRect {
  CGPoint origin;
  CGSize size;
};
typedef struct CGRect CGRect;
#endif

#ifdef __cplusplus
extern "C" {
#endif

// The window list.
typedef uint32_t CGWindowID;
enum { kCGNullWindowID = 0 };
typedef uint32_t CGWindowListOption;
enum {
  kCGWindowListOptionAll = 0,
  kCGWindowListOptionOnScreenOnly = 1 << 0,
  kCGWindowListOptionOnScreenAboveWindow = 1 << 1,
  kCGWindowListOptionOnScreenBelowWindow = 1 << 2,
  kCGWindowListOptionIncludingWindow = 1 << 3,
  kCGWindowListExcludeDesktopElements = 1 << 4,
};
/// An array of dictionaries, one per window, front to back; NULL when the list is unavailable.
CFArrayRef CGWindowListCopyWindowInfo(CGWindowListOption option,
                                      CGWindowID relativeToWindow) CF_RETURNS_RETAINED;
extern const CFStringRef kCGWindowNumber;
extern const CFStringRef kCGWindowOwnerPID;
extern const CFStringRef kCGWindowOwnerName;
extern const CFStringRef kCGWindowBounds;
extern const CFStringRef kCGWindowLayer;
extern const CFStringRef kCGWindowAlpha;
/// The current login session, or NULL outside one (over ssh, for instance).
CFDictionaryRef CGSessionCopyCurrentDictionary(void) CF_RETURNS_RETAINED;

// Input events: how long since the last one.
typedef int32_t CGEventSourceStateID;
enum { kCGEventSourceStateCombinedSessionState = 0 };
typedef uint32_t CGEventType;
#define kCGAnyInputEventType ((CGEventType)(~0))
/// Seconds since the last event of `eventType` in the state's event stream; needs no permission.
double CGEventSourceSecondsSinceLastEventType(CGEventSourceStateID stateID, CGEventType eventType);

typedef int32_t CGWindowLevel;
typedef int32_t CGWindowLevelKey;
enum {
  kCGBaseWindowLevelKey = 0,
  kCGMinimumWindowLevelKey = 1,
  kCGDesktopWindowLevelKey = 2,
  kCGBackstopMenuLevelKey = 3,
  kCGNormalWindowLevelKey = 4,
  kCGFloatingWindowLevelKey = 5,
  kCGTornOffMenuWindowLevelKey = 6,
  kCGDockWindowLevelKey = 7,
  kCGMainMenuWindowLevelKey = 8,
};
CGWindowLevel CGWindowLevelForKey(CGWindowLevelKey key);

// The Accessibility API.
typedef const struct CF_BRIDGED_TYPE(id) __AXUIElement* AXUIElementRef;
typedef const struct CF_BRIDGED_TYPE(id) __AXValue* AXValueRef;

typedef int32_t AXError;
enum {
  kAXErrorSuccess = 0,
  kAXErrorFailure = -25200,
  kAXErrorIllegalArgument = -25201,
  kAXErrorInvalidUIElement = -25202,
  kAXErrorInvalidUIElementObserver = -25203,
  kAXErrorCannotComplete = -25204,
  kAXErrorAttributeUnsupported = -25205,
  kAXErrorActionUnsupported = -25206,
  kAXErrorNotificationUnsupported = -25207,
  kAXErrorNotImplemented = -25208,
  kAXErrorNotificationAlreadyRegistered = -25209,
  kAXErrorNotificationNotRegistered = -25210,
  kAXErrorAPIDisabled = -25211,
  kAXErrorNoValue = -25212,
  kAXErrorParameterizedAttributeUnsupported = -25213,
  kAXErrorNotEnoughPrecision = -25214,
};

typedef uint32_t AXValueType;
enum {
  kAXValueTypeIllegal = 0,
  kAXValueTypeCGPoint = 1,
  kAXValueTypeCGSize = 2,
  kAXValueTypeCGRect = 3,
  kAXValueTypeCFRange = 4,
  kAXValueTypeAXError = 5,
};
CFTypeID AXValueGetTypeID(void);
AXValueRef AXValueCreate(AXValueType theType, const void* valuePtr) CF_RETURNS_RETAINED;
AXValueType AXValueGetType(AXValueRef value);
/// Copies the value into *valuePtr when it holds `theType`.
Boolean AXValueGetValue(AXValueRef value, AXValueType theType, void* valuePtr);

typedef UInt32 AXCopyMultipleAttributeOptions;
enum { kAXCopyMultipleAttributeOptionStopOnError = 0x1 };

CFTypeID AXUIElementGetTypeID(void);
AXUIElementRef AXUIElementCreateApplication(pid_t pid) CF_RETURNS_RETAINED;
AXError AXUIElementSetMessagingTimeout(AXUIElementRef element, float timeoutInSeconds);
AXError AXUIElementCopyAttributeValue(AXUIElementRef element, CFStringRef attribute,
                                      CF_RETURNS_RETAINED CFTypeRef* value);
AXError AXUIElementCopyMultipleAttributeValues(AXUIElementRef element, CFArrayRef attributes,
                                               AXCopyMultipleAttributeOptions options,
                                               CF_RETURNS_RETAINED CFArrayRef* values);

Boolean AXIsProcessTrusted(void);
Boolean AXIsProcessTrustedWithOptions(CFDictionaryRef options);
extern const CFStringRef kAXTrustedCheckOptionPrompt;

#ifdef __cplusplus
}
#endif

#endif
