#pragma once

// The window server over the window list (CGWindowListCopyWindowInfo), the window levels, the
// running-application registry (NSRunningApplication, NSWorkspace), the screens (NSScreen) and
// the pointer (NSEvent). Main thread only.

#include <Velvix/Platform/WindowServer.hpp>

namespace velvix::mac {

class MacWindowServer final : public platform::WindowServer {
 public:
  [[nodiscard]] std::optional<std::vector<platform::WindowEntry>> onScreenWindows() const override;
  [[nodiscard]] std::int32_t windowLevel(platform::WindowLevelKey key) const override;
  [[nodiscard]] std::optional<platform::RunningApplication> runningApplication(
      std::int32_t pid) const override;
  [[nodiscard]] std::vector<platform::RunningApplication> runningApplications(
      std::string_view bundleIdentifier) const override;
  [[nodiscard]] std::optional<platform::RunningApplication> frontmostApplication() const override;
  [[nodiscard]] std::int32_t ownProcessId() const override;
  [[nodiscard]] std::vector<Rect> screens() const override;
  [[nodiscard]] Point mouseLocation() const override;
};

}  // namespace velvix::mac
