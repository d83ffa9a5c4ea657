#pragma once

// A log sink that keeps every line, for tests to query. Thread-safe.

#include <Velvix/Platform/Log.hpp>

#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace velvix::sim {

struct LogLine {
  std::string subsystem;
  std::string category;
  platform::LogLevel level = platform::LogLevel::standard;
  std::string format;
  std::string text;
  friend bool operator==(const LogLine&, const LogLine&) = default;
};

class LogCapture final : public platform::LogSink {
 public:
  void write(const platform::LogRecord& record) override;

  [[nodiscard]] std::vector<LogLine> lines() const;
  /// The rendered texts of one category, in order.
  [[nodiscard]] std::vector<std::string> texts(std::string_view category) const;
  /// How many lines of the category read exactly `text`.
  [[nodiscard]] int count(std::string_view category, std::string_view text) const;
  void clear();

 private:
  mutable std::mutex mutex_;
  std::vector<LogLine> lines_;
};

}  // namespace velvix::sim
