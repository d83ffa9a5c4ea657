// The display link the macOS backend uses from macOS 14 on, declared from Apple's public
// documentation for type-checking on Linux.

#pragma once

#import <Foundation/Foundation.h>

typedef double CFTimeInterval;

@interface CADisplayLink : NSObject
- (void)addToRunLoop:(NSRunLoop*)runloop forMode:(NSRunLoopMode)mode;
- (void)invalidate;
@property(readonly) CFTimeInterval duration;
@end

@interface NSScreen (VelvixDeclaredDisplayLink)
- (CADisplayLink*)displayLinkWithTarget:(id)target selector:(SEL)selector;
@property(readonly) NSInteger maximumFramesPerSecond;
@end
