// Under ARC a Copy function's result must cross to an Objective-C type through a bridging cast
// that says who releases it.
// expected-error: NSArray \*.*CFArrayRef|CFArrayRef.*NSArray \*

#include <ApplicationServices/ApplicationServices.h>
#import <Foundation/Foundation.h>

NSUInteger windowCount() {
#ifdef MISUSE
  NSArray* windows = CGWindowListCopyWindowInfo(kCGWindowListOptionOnScreenOnly, kCGNullWindowID);
#else
  NSArray* windows = (__bridge_transfer NSArray*)CGWindowListCopyWindowInfo(
      kCGWindowListOptionOnScreenOnly, kCGNullWindowID);
#endif
  return windows.count;
}
