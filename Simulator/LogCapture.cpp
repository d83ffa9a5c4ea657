#include "LogCapture.hpp"

namespace velvix::sim {

void LogCapture::write(const platform::LogRecord& record) {
  std::lock_guard lock(mutex_);
  lines_.push_back(LogLine{std::string(record.subsystem), std::string(record.category),
                           record.level, std::string(record.format), record.text});
}

std::vector<LogLine> LogCapture::lines() const {
  std::lock_guard lock(mutex_);
  return lines_;
}

std::vector<std::string> LogCapture::texts(std::string_view category) const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> texts;
  for (const auto& line : lines_)
    if (line.category == category) texts.push_back(line.text);
  return texts;
}

int LogCapture::count(std::string_view category, std::string_view text) const {
  std::lock_guard lock(mutex_);
  int n = 0;
  for (const auto& line : lines_)
    if (line.category == category && line.text == text) ++n;
  return n;
}

void LogCapture::clear() {
  std::lock_guard lock(mutex_);
  lines_.clear();
}

}  // namespace velvix::sim
