#include "StandardErrorLog.hpp"

#include <cstdio>

namespace velvix::support {

void StandardErrorLog::write(const platform::LogRecord& record) {
  if (record.level == platform::LogLevel::debug && !includesDebug_) return;
  const std::lock_guard lock(mutex_);
  std::fprintf(stderr, "%.*s: %.*s\n", static_cast<int>(record.category.size()),
               record.category.data(), static_cast<int>(record.text.size()), record.text.data());
}

}  // namespace velvix::support
