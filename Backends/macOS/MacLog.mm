#include "MacLog.hpp"

#include <os/log.h>

#include <map>
#include <mutex>
#include <string>
#include <utility>

namespace velvix::mac {

struct MacLog::Logs {
  std::mutex mutex;
  std::map<std::pair<std::string, std::string>, os_log_t> byCategory;

  os_log_t get(std::string_view subsystem, std::string_view category) {
    std::lock_guard lock(mutex);
    auto& log = byCategory[{std::string(subsystem), std::string(category)}];
    if (!log) log = os_log_create(std::string(subsystem).c_str(), std::string(category).c_str());
    return log;
  }
};

MacLog::MacLog() : logs_(std::make_unique<Logs>()) {}
MacLog::~MacLog() = default;

void MacLog::write(const platform::LogRecord& record) {
  os_log_t log = logs_->get(record.subsystem, record.category);
  os_log_type_t type = OS_LOG_TYPE_DEFAULT;
  if (record.level == platform::LogLevel::debug) type = OS_LOG_TYPE_DEBUG;
  if (record.level == platform::LogLevel::error) type = OS_LOG_TYPE_ERROR;
  os_log_with_type(log, type, "%{public}s", record.text.c_str());
}

}  // namespace velvix::mac
