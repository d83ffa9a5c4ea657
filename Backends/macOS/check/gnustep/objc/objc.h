// GCC's Objective-C types, with YES and NO as clang's boolean literals so that @YES and @NO
// box them as on the Mac.
#pragma once
#include_next <objc/objc.h>
#undef YES
#undef NO
#define YES __objc_yes
#define NO __objc_no
