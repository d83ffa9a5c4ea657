#pragma once

// The user-defaults store over NSUserDefaults' standard store, keeping the kinds apart: a
// boolean is only what was stored as one (a number 1 stays a number), byte data is NSData, and
// anything else (a list a user wrote with `defaults write`) is another kind. Main thread only.

#include <Velvix/Platform/Defaults.hpp>

namespace velvix::mac {

class MacDefaults final : public platform::Defaults {
 public:
  [[nodiscard]] Value object(std::string_view key) const override;
  void setBool(std::string_view key, bool value) override;
  void setBytes(std::string_view key, std::string_view data) override;
  void setNumber(std::string_view key, double value) override;
  void setString(std::string_view key, std::string_view value) override;
  void remove(std::string_view key) override;
};

}  // namespace velvix::mac
