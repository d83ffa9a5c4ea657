#pragma once

// The test CoreFoundation: the functions declared in CoreFoundation/CoreFoundation.h and
// ApplicationServices/ApplicationServices.h, implemented for tests on machines without the
// framework. Reference counts are real, and stricter than the framework's: an object released
// more often than retained aborts the test at once, and released objects are kept (marked
// dead) so that any later use of one aborts too. liveObjects() counts what was created and not
// yet released, so that a test can prove it leaks nothing.
//
// The accessibility part serves elements made here, with attributes set by the test. What only
// the Objective-C++ layer calls (the window list, window levels, the session) is declared for
// its type check but not implemented: no test here reaches it.

#include <ApplicationServices/ApplicationServices.h>

#include <string>

namespace velvix::testcf {

/// Objects created and not yet released, constants excluded.
[[nodiscard]] long liveObjects();

/// Makes AXIsProcessTrusted() answer `trusted`; AXIsProcessTrustedWithOptions with the prompt
/// option counts a prompt.
void setTrusted(bool trusted);
[[nodiscard]] int promptCount();

/// A new element of a fake accessibility tree (returned retained: the test releases it).
/// `pid` is the process it belongs to; AXUIElementCreateApplication(pid) returns a new
/// reference to the element made with `isApplication`.
[[nodiscard]] AXUIElementRef makeElement(pid_t pid, bool isApplication = false);
/// Sets an attribute's value (retained by the element; NULL removes the attribute).
void setAttribute(AXUIElementRef element, const std::string& name, CFTypeRef value);
/// Makes every request to the element fail with `error` (kAXErrorSuccess: answer again).
void setElementError(AXUIElementRef element, AXError error);
/// Makes one attribute fail with `error`: a single read returns it, a multiple read leaves it
/// in the attribute's slot.
void setAttributeError(AXUIElementRef element, const std::string& name, AXError error);
/// The messaging timeout last set on the element, or 0.
[[nodiscard]] float messagingTimeout(AXUIElementRef element);
/// Drops every element the fake accessibility holds.
void resetAccessibility();

}  // namespace velvix::testcf
