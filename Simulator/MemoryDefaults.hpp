#pragma once

// A user-defaults store held in memory, for tests and the simulated desktop. It keeps the kind
// of every value (a boolean, byte data, or a value of another kind put there by a test to stand
// for what a user or another version may have written) and records every write, so a test can
// tell "written again with the same value" from "not written".

#include <Velvix/Platform/Defaults.hpp>

#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace velvix::sim {

class MemoryDefaults final : public platform::Defaults {
 public:
  /// One write through the port. `value` is std::monostate for a removal.
  struct Write {
    std::string key;
    Value value;
    friend bool operator==(const Write&, const Write&) = default;
  };

  MemoryDefaults() = default;

  [[nodiscard]] Value object(std::string_view key) const override;
  void setBool(std::string_view key, bool value) override;
  void setBytes(std::string_view key, std::string_view data) override;
  void setNumber(std::string_view key, double value) override;
  void setString(std::string_view key, std::string_view value) override;
  void remove(std::string_view key) override;

  /// Puts a value of a kind the app never writes (for instance a list) under `key`, as a user
  /// or another version might have. Not recorded as a write.
  void setOther(std::string_view key, std::string description);

  /// Every write through the port, oldest first.
  [[nodiscard]] const std::vector<Write>& writes() const { return writes_; }
  /// How many writes (removals included) went to `key`.
  [[nodiscard]] std::size_t writeCount(std::string_view key) const;
  void clearWrites() { writes_.clear(); }

  /// Everything stored, by key.
  [[nodiscard]] const std::map<std::string, Value, std::less<>>& contents() const {
    return values_;
  }

 private:
  void store(std::string_view key, Value value);

  std::map<std::string, Value, std::less<>> values_;
  std::vector<Write> writes_;
};

}  // namespace velvix::sim
