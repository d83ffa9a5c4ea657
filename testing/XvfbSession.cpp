#include "XvfbSession.hpp"

#include <X11/Xlib.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <thread>

extern char** environ;

namespace velvix::testing {

namespace {

using Clock = std::chrono::steady_clock;

bool waitForExit(pid_t pid, std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (Clock::now() < deadline) {
    const pid_t r = waitpid(pid, nullptr, WNOHANG);
    if (r == pid || (r < 0 && errno == ECHILD)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return false;
}

std::vector<std::string> environmentWith(const std::string& display) {
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) {
    if (std::strncmp(*e, "DISPLAY=", 8) != 0) env.emplace_back(*e);
  }
  if (!display.empty()) env.push_back("DISPLAY=" + display);
  return env;
}

// Starts `argv` with `env`, its standard output on `output` (-1: ours). The child is ended
// with SIGTERM when this process dies, so that a crashed test leaves no X server behind.
// -1 when it could not be started.
pid_t spawnWith(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                int output) {
  std::vector<char*> args, envp;
  for (const auto& a : argv)
    args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  for (const auto& e : env)
    envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);
  // A failed exec reports its errno through this pipe; a successful one closes it.
  int status[2];
  if (pipe2(status, O_CLOEXEC) != 0) return -1;
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid == 0) {
    // Only async-signal-safe calls from here on: other threads of ours may hold locks.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(127);  // the parent went before we could watch it
    if (output >= 0) dup2(output, STDOUT_FILENO);
    execvpe(args[0], args.data(), envp.data());
    const int error = errno;
    (void)!write(status[1], &error, sizeof error);
    _exit(127);
  }
  close(status[1]);
  int error = 0;
  const bool failed = pid < 0 || read(status[0], &error, sizeof error) == sizeof error;
  close(status[0]);
  if (failed && pid > 0) waitpid(pid, nullptr, 0);
  return failed ? -1 : pid;
}

}  // namespace

std::unique_ptr<ChildProcess> ChildProcess::spawn(const std::vector<std::string>& argv,
                                                  const std::string& display) {
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) return nullptr;
  const pid_t pid = spawnWith(argv, environmentWith(display), out[1]);
  close(out[1]);
  if (pid < 0) {
    close(out[0]);
    return nullptr;
  }
  return std::unique_ptr<ChildProcess>(new ChildProcess(pid, out[0]));
}

ChildProcess::~ChildProcess() {
  stop();
  close(output_);
}

bool ChildProcess::stop() {
  if (exited_) return true;
  kill(pid_, SIGTERM);
  if (!waitForExit(pid_, std::chrono::seconds(3))) {
    kill(pid_, SIGKILL);
    waitForExit(pid_, std::chrono::seconds(3));
  }
  exited_ = true;
  return true;
}

std::optional<std::string> ChildProcess::readLine(std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (true) {
    if (const auto newline = buffered_.find('\n'); newline != std::string::npos) {
      std::string line = buffered_.substr(0, newline);
      buffered_.erase(0, newline + 1);
      return line;
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return std::nullopt;
    pollfd fd{output_, POLLIN, 0};
    if (poll(&fd, 1, static_cast<int>(left.count())) <= 0) continue;
    char chunk[256];
    const ssize_t n = read(output_, chunk, sizeof chunk);
    if (n <= 0) return std::nullopt;  // the process closed its output
    buffered_.append(chunk, static_cast<std::size_t>(n));
  }
}

std::unique_ptr<XvfbSession> XvfbSession::start(bool withWindowManager, std::string& whyNot,
                                                const std::string& screen,
                                                const std::vector<std::string>& serverOptions) {
  int fds[2];
  if (pipe(fds) != 0) {
    whyNot = "no pipe";
    return nullptr;
  }
  fcntl(fds[0], F_SETFD, FD_CLOEXEC);  // the write end goes to Xvfb, which names its display there
  auto session = std::unique_ptr<XvfbSession>(new XvfbSession());
  std::vector<std::string> argv = {"Xvfb",      "-displayfd", std::to_string(fds[1]),
                                   "-screen",   "0",          screen,
                                   "-nolisten", "tcp",        "-noreset"};
  argv.insert(argv.end(), serverOptions.begin(), serverOptions.end());
  session->server_ = ChildProcess::spawn(argv, "");
  close(fds[1]);
  if (!session->server_) {
    close(fds[0]);
    whyNot = "Xvfb could not be started (is it installed?)";
    return nullptr;
  }
  std::string number;
  const auto deadline = Clock::now() + std::chrono::seconds(10);
  while (Clock::now() < deadline && number.find('\n') == std::string::npos) {
    pollfd fd{fds[0], POLLIN, 0};
    if (poll(&fd, 1, 100) <= 0) continue;
    char c[16];
    const ssize_t n = read(fds[0], c, sizeof c);
    if (n <= 0) break;
    number.append(c, static_cast<std::size_t>(n));
  }
  close(fds[0]);
  if (number.find('\n') == std::string::npos) {
    whyNot = "Xvfb did not name a display within 10 s";
    return nullptr;
  }
  // Appended rather than concatenated: GCC 12 at -O2 warns falsely (-Wrestrict) on ":" + s.
  session->display_.assign(1, ':');
  session->display_.append(number, 0, number.find('\n'));

  if (withWindowManager && !session->startWindowManager(whyNot)) return nullptr;
  return session;
}

bool XvfbSession::startWindowManager(std::string& whyNot) {
  windowManager_ = ChildProcess::spawn({"openbox", "--sm-disable"}, display_);
  if (!windowManager_) {
    whyNot = "openbox could not be started (is it installed?)";
    return false;
  }
  // The window manager is ready once it announces itself on the root window.
  Display* display = XOpenDisplay(display_.c_str());
  if (!display) {
    whyNot = "cannot connect to " + display_;
    return false;
  }
  const Atom check = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", False);
  const bool ready = pollUntil(
      [&] {
        Atom type = None;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        XGetWindowProperty(display, DefaultRootWindow(display), check, 0, 1, False, AnyPropertyType,
                           &type, &format, &count, &after, &data);
        if (data) XFree(data);
        return count == 1;
      },
      [] {}, std::chrono::seconds(10));
  // Announced is not yet managing: Openbox drops map requests that come while it starts up.
  // It is ready once it takes in a window of ours, asked again every 200 ms.
  const Window probe =
      XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 10, 10, 0, 0, 0);
  bool manages = false;
  const auto deadline = Clock::now() + std::chrono::seconds(10);
  while (ready && !manages && Clock::now() < deadline) {
    XMapWindow(display, probe);
    manages = pollUntil(
        [&] {
          Window root = None, parent = None;
          Window* children = nullptr;
          unsigned int count = 0;
          XQueryTree(display, probe, &root, &parent, &children, &count);
          if (children) XFree(children);
          return parent != root;
        },
        [] {}, std::chrono::milliseconds(200));
  }
  XDestroyWindow(display, probe);
  XCloseDisplay(display);
  if (!manages) {
    whyNot = "openbox did not come up within 10 s";
    return false;
  }
  return true;
}

bool XvfbSession::restartWindowManager(int signal) {
  if (windowManager_) ::kill(windowManager_->pid(), signal);
  windowManager_.reset();
  std::string whyNot;
  return startWindowManager(whyNot);
}

XvfbSession::~XvfbSession() {
  windowManager_.reset();
  server_.reset();
}

bool pollUntil(const std::function<bool()>& done, const std::function<void()>& step,
               std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (!done()) {
    if (Clock::now() >= deadline) return false;
    step();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

}  // namespace velvix::testing
