// The Mac's CoreFoundation brings MacTypes' Point and Rect into the global namespace: a file
// that includes it must not bring Velvix's in beside them.
// expected-error: ambiguous

#include <BlurLayout/Geometry.hpp>

#include <CoreFoundation/CoreFoundation.h>

#ifdef MISUSE
using namespace velvix;
double width(const Rect& r) {
  return r.width();
}
#else
double width(const velvix::Rect& r) {
  return r.width();
}
#endif
