#pragma once

// Log lines to standard error, one per line, "category: text", each written whole; debug lines
// only when asked for. Where a platform has no system log of its own (or a tool wants to see
// the lines). Lines may come from any thread.

#include <Velvix/Platform/Log.hpp>

#include <mutex>

namespace velvix::support {

class StandardErrorLog final : public platform::LogSink {
 public:
  explicit StandardErrorLog(bool includesDebug = false) : includesDebug_(includesDebug) {}
  void write(const platform::LogRecord& record) override;

 private:
  bool includesDebug_;
  std::mutex mutex_;
};

}  // namespace velvix::support
