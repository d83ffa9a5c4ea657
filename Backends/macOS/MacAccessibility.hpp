#pragma once

// The accessibility port over the macOS Accessibility API: the trust check and its prompt,
// application elements, the messaging timeout and attribute reads. Plain C++ over the C API,
// so it is tested on Linux against the test CoreFoundation as well. Any thread.

#include <Velvix/Platform/Accessibility.hpp>

namespace velvix::mac {

class MacAccessibility final : public platform::Accessibility {
 public:
  [[nodiscard]] bool isProcessTrusted() const override;
  void promptForTrust() override;
  [[nodiscard]] platform::Element applicationElement(platform::ProcessId pid) override;
  platform::Error setMessagingTimeout(const platform::Element& element, double seconds) override;
  [[nodiscard]] platform::AttributeResult copyAttributeValue(
      const platform::Element& element, platform::Attribute attribute) override;
  [[nodiscard]] platform::MultipleAttributeResult copyMultipleAttributeValues(
      const platform::Element& element, std::span<const platform::Attribute> attributes) override;
};

}  // namespace velvix::mac
