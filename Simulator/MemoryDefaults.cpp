#include "MemoryDefaults.hpp"

#include <algorithm>
#include <utility>

namespace velvix::sim {

platform::Defaults::Value MemoryDefaults::object(std::string_view key) const {
  const auto it = values_.find(key);
  return it == values_.end() ? Value{} : it->second;
}

void MemoryDefaults::setBool(std::string_view key, bool value) {
  store(key, value);
}

void MemoryDefaults::setBytes(std::string_view key, std::string_view data) {
  store(key, Bytes{std::string(data)});
}

void MemoryDefaults::setNumber(std::string_view key, double value) {
  store(key, value);
}

void MemoryDefaults::setString(std::string_view key, std::string_view value) {
  store(key, std::string(value));
}

void MemoryDefaults::remove(std::string_view key) {
  store(key, std::monostate{});
}

void MemoryDefaults::setOther(std::string_view key, std::string description) {
  values_.insert_or_assign(std::string(key), Other{std::move(description)});
}

std::size_t MemoryDefaults::writeCount(std::string_view key) const {
  return static_cast<std::size_t>(std::count_if(
      writes_.begin(), writes_.end(), [key](const Write& write) { return write.key == key; }));
}

void MemoryDefaults::store(std::string_view key, Value value) {
  writes_.push_back({std::string(key), value});
  if (std::holds_alternative<std::monostate>(value)) {
    if (const auto it = values_.find(key); it != values_.end()) values_.erase(it);
  } else {
    values_.insert_or_assign(std::string(key), std::move(value));
  }
}

}  // namespace velvix::sim
