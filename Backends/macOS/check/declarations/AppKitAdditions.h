// AppKit and Foundation members the macOS backend uses that GNUstep's headers lack, declared
// from Apple's public documentation, for type-checking the backend's Objective-C++ on Linux.
// Included before every file checked; never part of a build.

#pragma once

#import <AppKit/AppKit.h>

typedef NSInteger NSWindowLevel;

typedef NS_OPTIONS(NSUInteger, NSWindowOcclusionState) {
  NSWindowOcclusionStateVisible = 1UL << 1,
};
extern NSNotificationName const NSWindowDidChangeOcclusionStateNotification;

@interface NSWindow (VelvixDeclared)
@property(readonly) NSWindowOcclusionState occlusionState;
- (BOOL)isOnActiveSpace;
@end

typedef NS_ENUM(NSInteger, NSImageResizingMode) {
  NSImageResizingModeTile = 0,
  NSImageResizingModeStretch = 1,
};

@interface NSImage (VelvixDeclared)
+ (NSImage*)imageWithSize:(NSSize)size
                  flipped:(BOOL)drawingHandlerShouldBeCalledWithFlippedContext
           drawingHandler:(BOOL (^)(NSRect dstRect))drawingHandler;
@property NSEdgeInsets capInsets;
@property NSImageResizingMode resizingMode;
@end

extern NSNotificationName const NSWorkspaceDidActivateApplicationNotification;
extern NSNotificationName const NSWorkspaceActiveSpaceDidChangeNotification;

static const NSEventMask NSEventMaskScrollWheel = 1ULL << 22;   // NSEventTypeScrollWheel
static const NSEventMask NSEventMaskLeftMouseDown = 1ULL << 1;  // NSEventTypeLeftMouseDown
static const NSEventMask NSEventMaskMouseMoved = 1ULL << 5;     // NSEventTypeMouseMoved
static const NSEventMask NSEventMaskLeftMouseDragged = 1ULL << 6;  // NSEventTypeLeftMouseDragged

@interface NSEvent (VelvixDeclared)
@property(readonly) CGFloat scrollingDeltaY;
+ (id)addGlobalMonitorForEventsMatchingMask:(NSEventMask)mask
                                    handler:(void (^)(NSEvent* event))block;
+ (void)removeMonitor:(id)eventMonitor;
@end
