#include "NoAccessibility.hpp"

namespace velvix::support {

namespace {
class NoElement final : public platform::ElementHandle {};
}  // namespace

platform::Element NoAccessibility::applicationElement(platform::ProcessId) {
  return std::make_shared<const NoElement>();
}

}  // namespace velvix::support
