#pragma once

// Log lines into the unified log: subsystem "app.velvix.Velvix", one log object per category,
// debug, default and error types as the lines' levels. Every string placeholder the app's
// lines may hold is marked public (the log port accepts no other), and numbers are public in
// the unified log anyway, so each rendered line is logged whole as public text. Any thread.

#include <Velvix/Platform/Log.hpp>

#include <memory>

namespace velvix::mac {

class MacLog final : public platform::LogSink {
 public:
  MacLog();
  ~MacLog() override;
  void write(const platform::LogRecord& record) override;

 private:
  struct Logs;
  std::unique_ptr<Logs> logs_;
};

}  // namespace velvix::mac
