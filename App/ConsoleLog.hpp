#pragma once

// Log lines to standard error, "category: text", one per line; debug lines only when asked.
// Lines may come from any thread; each is written whole.

#include <Velvix/Platform/Log.hpp>

#include <cstdio>
#include <mutex>

namespace velvix {

class ConsoleLog final : public platform::LogSink {
 public:
  explicit ConsoleLog(bool includesDebug = false) : includesDebug_(includesDebug) {}

  void write(const platform::LogRecord& record) override {
    if (record.level == platform::LogLevel::debug && !includesDebug_) return;
    const std::lock_guard lock(mutex_);
    std::fprintf(stderr, "%.*s: %s\n", static_cast<int>(record.category.size()),
                 record.category.data(), record.text.c_str());
  }

 private:
  bool includesDebug_;
  std::mutex mutex_;
};

}  // namespace velvix
