#pragma once

// Test harness: a private X server (Xvfb on a free display number it picks itself), optionally
// with the Openbox window manager, and child processes that talk to it. Everything started
// here is stopped by its destructor; every wait is bounded.

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <sys/types.h>

namespace velvix::testing {

/// A child process; destroying it ends it (SIGTERM, then SIGKILL after a grace period).
class ChildProcess {
 public:
  /// Starts `argv` with DISPLAY set; its standard output is readable through readLine().
  [[nodiscard]] static std::unique_ptr<ChildProcess> spawn(const std::vector<std::string>& argv,
                                                           const std::string& display);
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  ~ChildProcess();

  [[nodiscard]] pid_t pid() const { return pid_; }
  /// The next line of standard output, or empty after `timeout`.
  [[nodiscard]] std::optional<std::string> readLine(std::chrono::milliseconds timeout);
  /// Ends the process and waits for it (bounded); true when it has exited.
  bool stop();

 private:
  ChildProcess(pid_t pid, int output) : pid_(pid), output_(output) {}
  pid_t pid_;
  int output_;
  std::string buffered_;
  bool exited_ = false;
};

class XvfbSession {
 public:
  /// A fresh X server, 1280 x 800 at 24 bits, and Openbox on it when asked. Empty, with the
  /// reason in `whyNot`, when Xvfb (or Openbox) is missing or does not come up in time.
  /// `screen` gives another size ("WxHxDEPTH"); `serverOptions` go to Xvfb as they are.
  [[nodiscard]] static std::unique_ptr<XvfbSession> start(
      bool withWindowManager, std::string& whyNot, const std::string& screen = "1280x800x24",
      const std::vector<std::string>& serverOptions = {});
  XvfbSession(const XvfbSession&) = delete;
  XvfbSession& operator=(const XvfbSession&) = delete;
  ~XvfbSession();

  /// ":N".
  [[nodiscard]] const std::string& display() const { return display_; }
  [[nodiscard]] bool hasWindowManager() const { return windowManager_ != nullptr; }
  /// Ends the X server under its clients, as a crash or a logout does.
  void killServer() { server_.reset(); }
  /// Ends the window manager with `signal` (SIGTERM: it quits, SIGKILL: it crashes) and starts
  /// a new one; false when that one does not manage windows within 10 s.
  bool restartWindowManager(int signal);

 private:
  XvfbSession() = default;
  bool startWindowManager(std::string& whyNot);
  std::string display_;
  std::unique_ptr<ChildProcess> server_;
  std::unique_ptr<ChildProcess> windowManager_;
};

/// Polls `done` every few milliseconds, running `step` in between, until it holds or `timeout`
/// passes; returns done().
bool pollUntil(const std::function<bool()>& done, const std::function<void()>& step,
               std::chrono::milliseconds timeout);

}  // namespace velvix::testing
