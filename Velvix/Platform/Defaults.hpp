#pragma once

// The user-defaults store: a persistent dictionary of small values under string keys. The app
// stores booleans, numbers, strings and byte data; other kinds may be found there (written by a
// user or another version) and must be told apart from all of them, and from an absent key.

#include <string>
#include <string_view>
#include <variant>

namespace velvix::platform {

class Defaults {
 public:
  /// Byte data (for instance an encoded JSON record).
  struct Bytes {
    std::string data;
    friend bool operator==(const Bytes&, const Bytes&) = default;
  };
  /// A value of a kind the app does not write (a list, a dictionary...). `description` is for
  /// diagnostics only.
  struct Other {
    std::string description;
    friend bool operator==(const Other&, const Other&) = default;
  };
  /// What is stored under a key; std::monostate when the key is absent.
  using Value = std::variant<std::monostate, bool, Bytes, Other, double, std::string>;

  Defaults() = default;
  Defaults(const Defaults&) = delete;
  Defaults& operator=(const Defaults&) = delete;
  virtual ~Defaults() = default;

  [[nodiscard]] virtual Value object(std::string_view key) const = 0;
  virtual void setBool(std::string_view key, bool value) = 0;
  virtual void setBytes(std::string_view key, std::string_view data) = 0;
  /// A finite number (the store may not hold others).
  virtual void setNumber(std::string_view key, double value) = 0;
  virtual void setString(std::string_view key, std::string_view value) = 0;
  /// Removes the key (writing an absent value).
  virtual void remove(std::string_view key) = 0;
};

}  // namespace velvix::platform
