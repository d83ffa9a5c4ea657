#include "MacWindowServer.hpp"

#include "CFConversions.hpp"

#import <AppKit/AppKit.h>
#include <ApplicationServices/ApplicationServices.h>

#include <unistd.h>

namespace velvix::mac {

namespace {

platform::RunningApplication runningApplicationOf(NSRunningApplication* app) {
  return {
      .pid = static_cast<std::int32_t>(app.processIdentifier),
      .bundleIdentifier = utf8((__bridge CFTypeRef)app.bundleIdentifier),
      .isHidden = app.hidden != NO,
      .isTerminated = app.terminated != NO,
  };
}

}  // namespace

std::optional<std::vector<platform::WindowEntry>> MacWindowServer::onScreenWindows() const {
  const auto list = CFRef<CFArrayRef>::adopt(CGWindowListCopyWindowInfo(
      kCGWindowListOptionOnScreenOnly | kCGWindowListExcludeDesktopElements, kCGNullWindowID));
  return windowEntries(list.get());
}

std::int32_t MacWindowServer::windowLevel(platform::WindowLevelKey key) const {
  switch (key) {
    case platform::WindowLevelKey::normal:
      return CGWindowLevelForKey(kCGNormalWindowLevelKey);
    case platform::WindowLevelKey::floating:
      return CGWindowLevelForKey(kCGFloatingWindowLevelKey);
    case platform::WindowLevelKey::dock:
      return CGWindowLevelForKey(kCGDockWindowLevelKey);
  }
  return CGWindowLevelForKey(kCGNormalWindowLevelKey);
}

std::optional<platform::RunningApplication> MacWindowServer::runningApplication(
    std::int32_t pid) const {
  NSRunningApplication* app =
      [NSRunningApplication runningApplicationWithProcessIdentifier:static_cast<pid_t>(pid)];
  if (!app) return std::nullopt;
  return runningApplicationOf(app);
}

std::vector<platform::RunningApplication> MacWindowServer::runningApplications(
    std::string_view bundleIdentifier) const {
  std::vector<platform::RunningApplication> out;
  const auto identifier = makeString(bundleIdentifier);
  if (!identifier) return out;
  for (NSRunningApplication* app in [NSRunningApplication
           runningApplicationsWithBundleIdentifier:(__bridge NSString*)identifier.get()]) {
    out.push_back(runningApplicationOf(app));
  }
  return out;
}

std::optional<platform::RunningApplication> MacWindowServer::frontmostApplication() const {
  NSRunningApplication* app = [NSWorkspace sharedWorkspace].frontmostApplication;
  if (!app) return std::nullopt;
  return runningApplicationOf(app);
}

std::int32_t MacWindowServer::ownProcessId() const {
  return static_cast<std::int32_t>(getpid());
}

std::vector<Rect> MacWindowServer::screens() const {
  std::vector<Rect> frames;
  for (NSScreen* screen in [NSScreen screens]) {
    const NSRect f = screen.frame;
    frames.emplace_back(f.origin.x, f.origin.y, f.size.width, f.size.height);
  }
  return frames;
}

Point MacWindowServer::mouseLocation() const {
  const NSPoint p = [NSEvent mouseLocation];
  return {p.x, p.y};
}

}  // namespace velvix::mac
