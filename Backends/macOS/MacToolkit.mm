#include "MacToolkit.hpp"

#import <AppKit/AppKit.h>
#include <ApplicationServices/ApplicationServices.h>

#include <optional>
#include <vector>

namespace {

NSRect nsRect(const velvix::Rect& r) {
  return NSMakeRect(r.minX(), r.minY(), r.width(), r.height());
}

velvix::Rect portRect(NSRect r) {
  return velvix::Rect(r.origin.x, r.origin.y, r.size.width, r.size.height);
}

// Every rounded patch has the same round corners whatever its size: the corners are kept and
// only the middle stretches.
constexpr double kRadius = velvix::kPatchCornerRadius;

NSImage* roundedMask() {
  static NSImage* const image = [] {
    NSImage* mask = [NSImage imageWithSize:NSMakeSize(2 * kRadius + 1, 2 * kRadius + 1)
                                   flipped:NO
                            drawingHandler:^BOOL(NSRect rect) {
                              [NSColor.blackColor setFill];
                              [[NSBezierPath bezierPathWithRoundedRect:rect
                                                               xRadius:kRadius
                                                               yRadius:kRadius] fill];
                              return YES;
                            }];
    mask.capInsets = NSEdgeInsetsMake(kRadius, kRadius, kRadius, kRadius);
    mask.resizingMode = NSImageResizingModeStretch;
    return mask;
  }();
  return image;
}

// Scaled whole, so that a patch becomes the ellipse inscribed in its frame.
NSImage* circleMask() {
  static NSImage* const image = [NSImage imageWithSize:NSMakeSize(64, 64)
                                               flipped:NO
                                        drawingHandler:^BOOL(NSRect rect) {
                                          [NSColor.blackColor setFill];
                                          [[NSBezierPath bezierPathWithOvalInRect:rect] fill];
                                          return YES;
                                        }];
  return image;
}

}  // namespace

// The panel's content view: top-left origin, so that blur frames are window-relative as they
// come.
@interface VelvixFlippedView : NSView
@end

@implementation VelvixFlippedView
- (BOOL)isFlipped {
  return YES;
}
@end

// Dashed green column lines and pink region outlines, over every blur view.
@interface VelvixGuidesView : NSView {
 @public
  std::vector<velvix::Rect> regions;
  std::vector<double> columns;
}
@end

@implementation VelvixGuidesView
- (BOOL)isFlipped {
  return YES;
}

- (void)drawRect:(NSRect)dirtyRect {
  (void)dirtyRect;
  [NSColor.systemGreenColor setStroke];
  const CGFloat dash[] = {6, 4};
  for (const double x : columns) {
    NSBezierPath* line = [NSBezierPath bezierPath];
    [line moveToPoint:NSMakePoint(x, 0)];
    [line lineToPoint:NSMakePoint(x, self.bounds.size.height)];
    [line setLineDash:dash count:2 phase:0];
    line.lineWidth = 1.5;
    [line stroke];
  }
  [NSColor.systemPinkColor setStroke];
  for (const velvix::Rect& r : regions) {
    NSBezierPath* outline = [NSBezierPath bezierPathWithRect:NSInsetRect(nsRect(r), 0.5, 0.5)];
    outline.lineWidth = 1.0;
    [outline stroke];
  }
}
@end

namespace velvix::mac {

namespace {

class MacBlurView final : public platform::BlurView {
 public:
  explicit MacBlurView(NSVisualEffectView* view) : view_(view) {}
  ~MacBlurView() override { [view_ removeFromSuperview]; }

  [[nodiscard]] Rect frame() const override { return portRect(view_.frame); }
  void setFrame(const Rect& frame) override { view_.frame = nsRect(frame); }
  [[nodiscard]] std::optional<Shape> mask() const override { return mask_; }
  void setMask(Shape shape) override {
    view_.maskImage = shape == Shape::circle ? circleMask() : roundedMask();
    mask_ = shape;
  }
  [[nodiscard]] bool isHidden() const override { return [view_ isHidden]; }
  void setHidden(bool hidden) override { [view_ setHidden:hidden]; }

 private:
  NSVisualEffectView* view_;
  std::optional<Shape> mask_;
};

class MacPanel final : public platform::Panel {
 public:
  MacPanel() {
    panel_ = [[NSPanel alloc] initWithContentRect:NSZeroRect
                                        styleMask:NSWindowStyleMaskNonactivatingPanel
                                          backing:NSBackingStoreBuffered
                                            defer:NO];
    panel_.opaque = NO;
    panel_.backgroundColor = NSColor.clearColor;
    panel_.hasShadow = NO;
    panel_.ignoresMouseEvents = YES;  // every click and scroll reaches WhatsApp
    panel_.hidesOnDeactivate = NO;
    panel_.releasedWhenClosed = NO;
    panel_.level = NSNormalWindowLevel;
    panel_.collectionBehavior = NSWindowCollectionBehaviorMoveToActiveSpace |
                                NSWindowCollectionBehaviorIgnoresCycle |
                                NSWindowCollectionBehaviorFullScreenAuxiliary;
    canvas_ = [[VelvixFlippedView alloc] initWithFrame:NSZeroRect];
    panel_.contentView = canvas_;
    guides_ = [[VelvixGuidesView alloc] initWithFrame:canvas_.bounds];
    guides_.autoresizingMask = NSViewWidthSizable | NSViewHeightSizable;
    [canvas_ addSubview:guides_];
  }
  ~MacPanel() override { [panel_ orderOut:nil]; }

  [[nodiscard]] Rect frame() const override { return portRect(panel_.frame); }
  void setFrame(const Rect& frame) override { [panel_ setFrame:nsRect(frame) display:NO]; }
  [[nodiscard]] std::int64_t level() const override { return panel_.level; }
  void setLevel(std::int64_t level) override { panel_.level = static_cast<NSWindowLevel>(level); }
  [[nodiscard]] bool isVisible() const override { return [panel_ isVisible]; }
  [[nodiscard]] bool isOnActiveSpace() const override { return [panel_ isOnActiveSpace]; }
  [[nodiscard]] std::int64_t windowNumber() const override { return panel_.windowNumber; }
  void orderOut() override { [panel_ orderOut:nil]; }
  void orderFrontRegardless() override { [panel_ orderFrontRegardless]; }
  void orderAbove(std::uint32_t windowNumber) override {
    [panel_ orderWindow:NSWindowAbove relativeTo:static_cast<NSInteger>(windowNumber)];
  }
  void displayNow() override { [panel_ display]; }

  [[nodiscard]] bool isOcclusionVisible() const override {
    return (panel_.occlusionState & NSWindowOcclusionStateVisible) != 0;
  }
  [[nodiscard]] platform::Subscription observeOcclusion(std::function<void()> handler) override {
    NSNotificationCenter* center = NSNotificationCenter.defaultCenter;
    id token = [center addObserverForName:NSWindowDidChangeOcclusionStateNotification
                                   object:panel_
                                    queue:NSOperationQueue.mainQueue
                               usingBlock:^(NSNotification*) {
                                 handler();
                               }];
    return platform::Subscription([center, token] { [center removeObserver:token]; });
  }

  [[nodiscard]] std::unique_ptr<platform::BlurView> addBlurView() override {
    NSVisualEffectView* view = [[NSVisualEffectView alloc] initWithFrame:NSZeroRect];
    view.blendingMode = NSVisualEffectBlendingModeBehindWindow;
    view.material = NSVisualEffectMaterialPopover;
    view.state = NSVisualEffectStateActive;
    [canvas_ addSubview:view positioned:NSWindowBelow relativeTo:guides_];
    return std::make_unique<MacBlurView>(view);
  }

  [[nodiscard]] bool areGuidesHidden() const override { return [guides_ isHidden]; }
  void setGuidesHidden(bool hidden) override { [guides_ setHidden:hidden]; }
  void setGuides(std::span<const Rect> regions, std::span<const double> columns) override {
    guides_->regions.assign(regions.begin(), regions.end());
    guides_->columns.assign(columns.begin(), columns.end());
    guides_.needsDisplay = YES;
  }

 private:
  NSPanel* panel_;
  VelvixFlippedView* canvas_;
  VelvixGuidesView* guides_;
};

}  // namespace

std::unique_ptr<platform::Panel> MacToolkit::makeOverlayPanel() {
  return std::make_unique<MacPanel>();
}

platform::Subscription MacToolkit::observeWorkspace(
    platform::WorkspaceEvent event, std::function<void(platform::WorkspaceEvent)> handler) {
  NSNotificationCenter* center = NSWorkspace.sharedWorkspace.notificationCenter;
  NSNotificationName name = event == platform::WorkspaceEvent::didActivateApplication
                                ? NSWorkspaceDidActivateApplicationNotification
                                : NSWorkspaceActiveSpaceDidChangeNotification;
  id token = [center addObserverForName:name
                                 object:nil
                                  queue:NSOperationQueue.mainQueue
                             usingBlock:^(NSNotification*) {
                               handler(event);
                             }];
  return platform::Subscription([center, token] { [center removeObserver:token]; });
}

platform::Subscription MacToolkit::addGlobalScrollWheelMonitor(
    std::function<void(const platform::ScrollWheelEvent&)> handler) {
  // Global monitors are called on the main thread, for events sent to other applications.
  // scrollingDeltaY is what a scroll view moves its content by: positive shows what lies above.
  id monitor = [NSEvent addGlobalMonitorForEventsMatchingMask:NSEventMaskScrollWheel
                                                      handler:^(NSEvent* event) {
                                                        handler({event.scrollingDeltaY});
                                                      }];
  if (!monitor) return {};
  return platform::Subscription([monitor] { [NSEvent removeMonitor:monitor]; });
}

platform::Subscription MacToolkit::addGlobalClickMonitor(std::function<void()> handler) {
  id monitor = [NSEvent addGlobalMonitorForEventsMatchingMask:NSEventMaskLeftMouseDown
                                                      handler:^(NSEvent*) {
                                                        handler();
                                                      }];
  if (!monitor) return {};
  return platform::Subscription([monitor] { [NSEvent removeMonitor:monitor]; });
}

platform::Subscription MacToolkit::addGlobalPointerMonitor(std::function<void()> handler) {
  // Dragging moves the pointer too, and hovering WhatsApp while a button is held opens it.
  id monitor = [NSEvent
      addGlobalMonitorForEventsMatchingMask:NSEventMaskMouseMoved | NSEventMaskLeftMouseDragged
                                    handler:^(NSEvent*) {
                                      handler();
                                    }];
  if (!monitor) return {};
  return platform::Subscription([monitor] { [NSEvent removeMonitor:monitor]; });
}

std::optional<double> MacToolkit::secondsSinceInput() const {
  const double seconds = CGEventSourceSecondsSinceLastEventType(
      kCGEventSourceStateCombinedSessionState, kCGAnyInputEventType);
  if (!(seconds >= 0)) return std::nullopt;  // NaN or a negative answer tells nothing
  return seconds;
}

}  // namespace velvix::mac
