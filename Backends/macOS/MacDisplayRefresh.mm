#include "MacDisplayRefresh.hpp"

#import <AppKit/AppKit.h>
#include <CoreVideo/CoreVideo.h>
#import <QuartzCore/QuartzCore.h>

#include <atomic>

// The screen display link's target: it can only call an Objective-C method.
@interface VelvixRefreshTarget : NSObject {
 @public
  std::function<void()> action;
}
- (void)step:(CADisplayLink*)link;
@end

@implementation VelvixRefreshTarget
- (void)step:(CADisplayLink*)link {
  (void)link;
  if (action) action();
}
@end

namespace velvix::mac {

namespace {

// What the CVDisplayLink thread shares with the main thread.
struct Relay {
  std::function<void()> action;  // main thread only
  std::atomic<bool> pending = false;
};

CVReturn relayRefresh(CVDisplayLinkRef, const CVTimeStamp*, const CVTimeStamp*, CVOptionFlags,
                      CVOptionFlags*, void* context) {
  const auto relay = *static_cast<std::shared_ptr<Relay>*>(context);
  // A refresh the main thread has not taken yet makes this one redundant.
  if (relay->pending.exchange(true)) return kCVReturnSuccess;
  [NSOperationQueue.mainQueue addOperationWithBlock:^{
    relay->pending = false;
    if (relay->action) relay->action();
  }];
  return kCVReturnSuccess;
}

}  // namespace

struct MacDisplayRefresh::Link {
  VelvixRefreshTarget* target = [[VelvixRefreshTarget alloc] init];
  CADisplayLink* screenLink = nil;
  CVDisplayLinkRef videoLink = nullptr;
  std::shared_ptr<Relay> relay = std::make_shared<Relay>();
};

MacDisplayRefresh::MacDisplayRefresh() : link_(std::make_unique<Link>()) {}

MacDisplayRefresh::~MacDisplayRefresh() {
  stop();
  if (link_->videoLink) CVDisplayLinkRelease(link_->videoLink);
}

std::chrono::nanoseconds MacDisplayRefresh::period() const {
  const NSInteger rate = NSScreen.mainScreen.maximumFramesPerSecond;
  return std::chrono::nanoseconds(1'000'000'000 / (rate > 0 ? rate : 60));
}

void MacDisplayRefresh::start(std::function<void()> onRefresh) {
  if (@available(macOS 14.0, *)) {
    link_->target->action = std::move(onRefresh);
    link_->screenLink = [NSScreen.mainScreen displayLinkWithTarget:link_->target
                                                          selector:@selector(step:)];
    [link_->screenLink addToRunLoop:NSRunLoop.mainRunLoop forMode:NSRunLoopCommonModes];
    return;
  }
  // CVDisplayLink is deprecated from macOS 15, which always takes the branch above.
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wdeprecated-declarations"
  link_->relay->action = std::move(onRefresh);
  if (!link_->videoLink) {
    CVDisplayLinkCreateWithActiveCGDisplays(&link_->videoLink);
    CVDisplayLinkSetOutputCallback(link_->videoLink, &relayRefresh, &link_->relay);
  }
  if (link_->videoLink) CVDisplayLinkStart(link_->videoLink);
#pragma clang diagnostic pop
}

void MacDisplayRefresh::stop() {
  if (link_->screenLink) {
    [link_->screenLink invalidate];
    link_->screenLink = nil;
  }
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wdeprecated-declarations"
  if (link_->videoLink) CVDisplayLinkStop(link_->videoLink);  // waits for a callback under way
#pragma clang diagnostic pop
  link_->relay->action = nullptr;
}

}  // namespace velvix::mac
