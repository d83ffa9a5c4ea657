#pragma once

// The user-defaults store over NSUserDefaults' standard store, keeping the kinds apart: a
// boolean is only what was stored as one, byte data is NSData, and anything else (a number, a
// string a user wrote with `defaults write`) is another kind. Main thread only.

#include <Velvix/Platform/Defaults.hpp>

namespace velvix::mac {

class MacDefaults final : public platform::Defaults {
 public:
  [[nodiscard]] Value object(std::string_view key) const override;
  void setBool(std::string_view key, bool value) override;
  void setBytes(std::string_view key, std::string_view data) override;
  void remove(std::string_view key) override;
};

}  // namespace velvix::mac
