#pragma once

// The accessibility service of a desktop that has none Velvix can read: the process is never
// trusted, the prompt does nothing, and every request fails as for an untrusted process. The
// app then runs in layout mode.

#include <Velvix/Platform/Accessibility.hpp>

namespace velvix::support {

class NoAccessibility final : public platform::Accessibility {
 public:
  [[nodiscard]] bool isAvailable() const override { return false; }
  [[nodiscard]] bool isProcessTrusted() const override { return false; }
  void promptForTrust() override {}
  [[nodiscard]] platform::Element applicationElement(platform::ProcessId pid) override;
  platform::Error setMessagingTimeout(const platform::Element&, double) override {
    return platform::Error::apiDisabled;
  }
  [[nodiscard]] platform::AttributeResult copyAttributeValue(const platform::Element&,
                                                             platform::Attribute) override {
    return {platform::Error::apiDisabled, std::nullopt};
  }
  [[nodiscard]] platform::MultipleAttributeResult copyMultipleAttributeValues(
      const platform::Element&, std::span<const platform::Attribute>) override {
    return {platform::Error::apiDisabled, std::nullopt};
  }
};

}  // namespace velvix::support
