#pragma once

// The window levels of a platform whose normal and floating levels are the usual 0 and 3 and
// whose Dock level is its own.

#include <Velvix/Platform/Toolkit.hpp>
#include <Velvix/Platform/WindowServer.hpp>

#include <cstdint>

namespace velvix::support {

[[nodiscard]] constexpr std::int32_t windowLevel(platform::WindowLevelKey key,
                                                 std::int32_t dockLevel) noexcept {
  switch (key) {
    case platform::WindowLevelKey::normal:
      return platform::kNormalWindowLevel;
    case platform::WindowLevelKey::floating:
      return platform::kFloatingWindowLevel;
    case platform::WindowLevelKey::dock:
      return dockLevel;
  }
  return platform::kNormalWindowLevel;
}

}  // namespace velvix::support
