// The velvix executable on a private X server with Openbox, a system tray and the stand-in
// WhatsApp client, driven the way a user drives it: clicks and keys through xdotool. What only
// a real desktop has (focus, clicks anywhere, the tray) is tested here; screenshots of each
// state go to the build folder.

#include <XvfbSession.hpp>

#include <gtest/gtest.h>
// After gtest: Xlib's macros (None) break its headers.
#include <X11/Xlib.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cctype>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace velvix::testing {
namespace {

using namespace std::chrono_literals;

// Where trayer puts its first icon: a tray along the bottom edge of the 1280 x 800 screen.
constexpr int kIconX = 1268;
constexpr int kIconY = 786;

struct Geometry {
  int x = 0, y = 0, width = 0, height = 0;
};

class Desktop : public ::testing::Test {
 protected:
  void SetUp() override { start(); }
  // A private X server of `screen` with Openbox, a tray when asked, and the stand-in run with
  // `standIn`, shown.
  void start(const std::string& screen = "1280x800x24",
             std::vector<std::string> standIn = {"--geometry", "900x600+40+40"},
             bool withTray = true) {
    std::string whyNot;
    session_ = XvfbSession::start(true, whyNot, screen);
    if (!session_) GTEST_SKIP() << whyNot;
    if (withTray && run("command -v trayer >/dev/null") != 0)
      GTEST_SKIP() << "trayer is not installed";
    // Its own runtime folder too: one Velvix per session is told by a lock in there.
    config_ =
        std::filesystem::temp_directory_path() /
        ("velvix-desktop-" + std::to_string(::getpid()) + "-" + session_->display().substr(1));
    std::filesystem::remove_all(config_);
    std::filesystem::create_directories(config_);
    std::filesystem::permissions(config_, std::filesystem::perms::owner_all);
    if (withTray) {
      tray_ =
          ChildProcess::spawn({"trayer", "--edge", "bottom", "--align", "right", "--height", "28"},
                              session_->display());
    }
    standIn.insert(standIn.begin(), VELVIX_FAKE_WHATSAPP);
    standIn_ = ChildProcess::spawn(standIn, session_->display());
    // Polled rather than one `--sync` search: a search can fail at once under load.
    ASSERT_TRUE(pollUntil([&] { return !windows("--class WhatsApp").empty(); }, [] {}, 10s))
        << "the stand-in did not come up";
  }
  void TearDown() override {
    velvix_.reset();
    standIn_.reset();
    tray_.reset();
    session_.reset();
    if (!config_.empty()) std::filesystem::remove_all(config_);
  }

  // With `readsLog`, its log comes through the child's output, which the test then drains.
  std::unique_ptr<ChildProcess> launch(bool readsLog = false) {
    return ChildProcess::spawn(
        {"sh", "-c",
         "XDG_CONFIG_HOME=" + config_.string() + " XDG_RUNTIME_DIR=" + config_.string() +
             " exec " VELVIX_EXECUTABLE + (readsLog ? " 2>&1" : "")},
        session_->display());
  }

  // The first line of Velvix's log (launched with `readsLog`) holding one of `what`, within
  // 15 s; empty when none came. Every line read is kept in `said_`.
  std::string awaitLog(std::initializer_list<std::string_view> what) {
    for (const auto deadline = std::chrono::steady_clock::now() + 15s;
         std::chrono::steady_clock::now() < deadline;) {
      const auto line = velvix_->readLine(1s);
      if (!line) continue;
      said_ += *line + "\n";
      for (const std::string_view w : what)
        if (line->find(w) != std::string::npos) return *line;
    }
    return {};
  }

  int run(const std::string& command) {
    const std::string display = session_ ? "DISPLAY=" + session_->display() + " " : "";
    return std::system((display + command).c_str());
  }
  std::string output(const std::string& command) {
    std::string out;
    const std::string full = "DISPLAY=" + session_->display() + " " + command + " 2>/dev/null";
    if (FILE* pipe = ::popen(full.c_str(), "r")) {
      std::array<char, 256> buffer{};
      while (std::fgets(buffer.data(), buffer.size(), pipe))
        out += buffer.data();
      ::pclose(pipe);
    }
    return out;
  }
  // Visible windows matching xdotool's search arguments.
  std::vector<std::string> windows(const std::string& search) {
    std::vector<std::string> ids;
    std::istringstream lines(output("xdotool search --onlyvisible " + search));
    for (std::string line; std::getline(lines, line);)
      if (!line.empty()) ids.push_back(line);
    return ids;
  }
  bool panelShown() { return !windows("--name '^Velvix$'").empty(); }
  std::optional<Geometry> panelGeometry() {
    const auto ids = windows("--name '^Velvix$'");
    if (ids.empty()) return std::nullopt;
    Geometry g;
    std::istringstream lines(output("xdotool getwindowgeometry --shell " + ids.front()));
    for (std::string line; std::getline(lines, line);) {
      const auto eq = line.find('=');
      if (eq == std::string::npos) continue;
      const std::string key = line.substr(0, eq);
      const int value = std::atoi(line.c_str() + eq + 1);
      if (key == "X") g.x = value;
      if (key == "Y") g.y = value;
      if (key == "WIDTH") g.width = value;
      if (key == "HEIGHT") g.height = value;
    }
    return g;
  }
  bool waitFor(const std::function<bool()>& done) {
    return pollUntil(
        done, [] {}, 5s);
  }
  void clickAt(int x, int y) {
    run("xdotool mousemove " + std::to_string(x) + " " + std::to_string(y) + " click 1");
  }
  // The panel holds the keyboard focus, so Escape reaches it and a click elsewhere takes
  // the focus away from it.
  bool panelFocused() {
    const auto ids = windows("--name '^Velvix$'");
    if (ids.empty()) return false;
    std::string focus = output("xdotool getwindowfocus");
    while (!focus.empty() && std::isspace(static_cast<unsigned char>(focus.back())))
      focus.pop_back();
    return std::find(ids.begin(), ids.end(), focus) != ids.end();
  }
  // Clicks the tray icon until the panel shows and has the focus: the tray takes a moment to
  // embed the icon, and a loaded window manager a moment to hand the focus over.
  bool dropPanel() {
    for (int attempt = 0; attempt < 10; ++attempt) {
      if (!panelShown()) clickAt(kIconX, kIconY);
      if (pollUntil([&] { return panelFocused(); }, [] {}, 2s)) return true;
    }
    return false;
  }
  void screenshot(const std::string& name) {
    std::filesystem::create_directories(VELVIX_SCREENSHOT_DIR);
    run("import -window root " + std::string(VELVIX_SCREENSHOT_DIR) + "/" + name + ".png");
  }

  std::unique_ptr<XvfbSession> session_;
  std::filesystem::path config_;
  std::unique_ptr<ChildProcess> tray_;
  std::unique_ptr<ChildProcess> standIn_;
  std::unique_ptr<ChildProcess> velvix_;
  std::string said_;
};

TEST_F(Desktop, TheTrayPanelGoesAwayAsAPopupDoes) {
  velvix_ = launch();
  ASSERT_TRUE(dropPanel()) << "no panel from the tray icon";
  screenshot("panel-dropped");

  run("xdotool key Escape");
  EXPECT_TRUE(waitFor([&] { return !panelShown(); })) << "Escape";

  ASSERT_TRUE(dropPanel());
  clickAt(640, 700);  // the desktop below the stand-in: no window takes the focus
  EXPECT_TRUE(waitFor([&] { return !panelShown(); })) << "a click on the desktop";

  ASSERT_TRUE(dropPanel());
  run("xdotool search --class WhatsApp windowactivate --sync");
  EXPECT_TRUE(waitFor([&] { return !panelShown(); })) << "another window took the focus";

  ASSERT_TRUE(dropPanel());
  clickAt(kIconX, kIconY);
  EXPECT_TRUE(waitFor([&] { return !panelShown(); })) << "the icon again";

  ASSERT_TRUE(dropPanel());
  const auto panel = panelGeometry();
  ASSERT_TRUE(panel);
  clickAt(panel->x + 30, panel->y + panel->height - 20);  // "Layout…", bottom left
  EXPECT_TRUE(waitFor([&] { return !windows("--name '^Velvix Layout$'").empty(); }))
      << "no calibration window";
  EXPECT_TRUE(waitFor([&] { return !panelShown(); })) << "the panel stayed over the calibration";
  screenshot("panel-after-layout");
}

// Autostart and then a click on the menu entry: the second launch shows the running Velvix's
// options and exits, leaving one overlay and one tray icon.
TEST_F(Desktop, ASecondLaunchShowsTheRunningOnesOptionsAndGoes) {
  velvix_ = launch();
  ASSERT_TRUE(waitFor([&] { return !windows("--name '^Velvix overlay$'").empty(); }));
  ASSERT_FALSE(panelShown());
  EXPECT_EQ(run("env XDG_CONFIG_HOME=" + config_.string() + " XDG_RUNTIME_DIR=" + config_.string() +
                " timeout 10 " VELVIX_EXECUTABLE " 2>/dev/null"),
            0);
  EXPECT_TRUE(waitFor([&] { return panelShown(); })) << "the running one showed no options";
  EXPECT_EQ(windows("--name '^Velvix overlay$'").size(), 1U);
  screenshot("second-launch");
}

// WhatsApp crashes and is started again: its new window is covered within a second of showing.
TEST_F(Desktop, AfterWhatsAppRestartsProtectionIsBackWithinASecond) {
  velvix_ = launch();
  const auto overlayOverWhatsApp = [&] {
    const auto overlay = windows("--name '^Velvix overlay$'");
    const auto client = windows("--class WhatsApp");
    if (overlay.empty() || client.empty()) return false;
    const auto origin = [&](const std::string& id) {
      return output("xwininfo -id " + id + " | grep -E 'Absolute|Width|Height'");
    };
    return origin(overlay.front()) == origin(client.front());
  };
  ASSERT_TRUE(waitFor(overlayOverWhatsApp));
  ::kill(standIn_->pid(), SIGKILL);
  standIn_.reset();
  EXPECT_TRUE(waitFor([&] { return windows("--name '^Velvix overlay$'").empty(); }))
      << "the overlay outlived WhatsApp";
  standIn_ = ChildProcess::spawn({VELVIX_FAKE_WHATSAPP, "--geometry", "900x600+40+40"},
                                 session_->display());
  ASSERT_TRUE(waitFor([&] { return !windows("--class WhatsApp").empty(); }));
  EXPECT_TRUE(pollUntil(
      overlayOverWhatsApp, [] {}, 1s))
      << "not covered within a second";
}

// The X server goes (a crash, a logout): Velvix ends within seconds, saying why, with an exit
// status of its own rather than a crash's.
TEST_F(Desktop, WhenTheXServerGoesVelvixEndsSayingWhy) {
  velvix_ = ChildProcess::spawn(
      {"sh", "-c",
       "XDG_CONFIG_HOME=" + config_.string() + " XDG_RUNTIME_DIR=" + config_.string() + " " +
           VELVIX_EXECUTABLE + " 2>&1; echo \"exit status $?\""},
      session_->display());
  ASSERT_TRUE(waitFor([&] { return !windows("--name '^Velvix overlay$'").empty(); }));
  standIn_.reset();
  tray_.reset();
  session_->killServer();
  const std::string status = awaitLog({"exit status "});
  ASSERT_FALSE(status.empty()) << "still running:\n" << said_;
  const int code = std::atoi(status.c_str() + status.find("status ") + 7);
  EXPECT_TRUE(code > 0 && code < 128) << "ended by a signal, or with success: " << status;
  // Whichever connection notices first, Velvix's own or Qt's, says so.
  EXPECT_TRUE(said_.find("velvix: the X server has gone away; Velvix ends.\n") !=
                  std::string::npos ||
              said_.find("The X11 connection broke") != std::string::npos)
      << said_;
}

// Watches from a connection of its own, every 10 ms, whether WhatsApp's client window shows
// and whether the overlay lies exactly over it, stacked above its frame; keeps the longest run
// of looks with WhatsApp bare, and with the overlay shown while WhatsApp is not. A command per
// look would take longer than what is measured.
class Watch {
 public:
  Watch(const std::string& display, Window client, Window overlay)
      : thread_([this, display, client, overlay](std::stop_token stop) {
          Display* x = XOpenDisplay(display.c_str());
          if (!x) return;
          // Frames come and go under a restarting window manager: a look at one gone fails.
          XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
          Clock::time_point bareSince{}, straySince{};  // the epoch: not now
          while (!stop.stop_requested()) {
            const auto [shown, covered, overlaid] = look(x, client, overlay);
            const auto now = Clock::now();
            const auto track = [&](bool bad, Clock::time_point& since,
                                   std::atomic<double>& longest) {
              if (!bad) {
                since = {};
                return;
              }
              if (since == Clock::time_point{}) since = now;
              longest =
                  std::max(longest.load(), std::chrono::duration<double>(now - since).count());
            };
            track(shown && !covered, bareSince, bare);
            track(!shown && overlaid, straySince, stray);
            wentAway = wentAway || !shown;
            coveredNow = covered;
            std::this_thread::sleep_for(10ms);
          }
          XCloseDisplay(x);
        }) {}

  void stop() {
    thread_.request_stop();
    thread_.join();
  }

  std::atomic<double> bare = 0, stray = 0;  // seconds
  std::atomic<bool> wentAway = false, coveredNow = false;

 private:
  using Clock = std::chrono::steady_clock;
  struct Look {
    bool shown = false, covered = false, overlaid = false;
  };
  static Look look(Display* x, Window client, Window overlay) {
    Look seen;
    Window root = None, parent = None, frame = client, child = None;
    Window* children = nullptr;
    unsigned count = 0;
    for (Window w = client; XQueryTree(x, w, &root, &parent, &children, &count); w = parent) {
      if (children) XFree(children);
      if (parent == root || parent == None) break;
      frame = parent;
    }
    XWindowAttributes c{}, f{}, o{};
    int cx = 0, cy = 0;
    if (!XGetWindowAttributes(x, client, &c) || !XGetWindowAttributes(x, frame, &f) ||
        !XGetWindowAttributes(x, overlay, &o) ||
        !XTranslateCoordinates(x, client, root, 0, 0, &cx, &cy, &child))
      return seen;
    // Viewable, and not clipped away by its frame (as while Openbox animates a minimising).
    seen.shown = c.map_state == IsViewable && cx < f.x + f.width && cy < f.y + f.height;
    seen.overlaid = o.map_state == IsViewable;
    if (!seen.overlaid || o.x != cx || o.y != cy || o.width != c.width || o.height != c.height ||
        !XQueryTree(x, root, &root, &parent, &children, &count))
      return seen;
    const std::vector<Window> order(children, children + count);  // bottom to top
    if (children) XFree(children);
    const auto below = std::find(order.begin(), order.end(), frame);
    seen.covered = below < std::find(order.begin(), order.end(), overlay);
    return seen;
  }
  std::jthread thread_;
};

// How long WhatsApp may be seen bare, or the overlay without it: the grace a missing window gets
// (0.3 s), ended at a tick of the 30 Hz frame timer, a tick to notice, and two looks.
constexpr double kLongestBare = 0.3 + 2.0 / 30 + 0.02;

// What is done to WhatsApp's window (%w in the commands) and, after a while, undone.
struct Disturbance {
  const char* name;
  const char* action;
  const char* undo;     // nullptr: nothing
  bool hidesWhatsApp;   // between the two
  int endsManager = 0;  // instead of an action: the window manager ends so and starts again
};

class Follows : public Desktop, public ::testing::WithParamInterface<Disturbance> {};

// The overlay follows WhatsApp through what its user and the desktop do to its window.
TEST_P(Follows, NeverLeavesWhatsAppBareNorShowsWithoutIt) {
  const Disturbance& d = GetParam();
  if (run("command -v wmctrl >/dev/null") != 0) GTEST_SKIP() << "wmctrl is not installed";
  const std::string client = windows("--class WhatsApp").front();
  velvix_ = launch();
  ASSERT_TRUE(waitFor([&] { return !windows("--name '^Velvix overlay$'").empty(); }));
  const std::string overlay = windows("--name '^Velvix overlay$'").front();
  Watch watch(session_->display(), std::stoul(client), std::stoul(overlay));
  std::this_thread::sleep_for(500ms);
  ASSERT_EQ(watch.bare, 0) << "not covered to begin with";
  const auto command = [&](std::string c) {
    for (auto at = c.find("%w"); at != std::string::npos; at = c.find("%w"))
      c.replace(at, 2, client);
    return c;
  };
  if (d.endsManager) {
    ASSERT_TRUE(session_->restartWindowManager(d.endsManager));
  } else {
    ASSERT_EQ(run(command(d.action)), 0);
  }
  std::this_thread::sleep_for(1s);
  screenshot(std::string("follows-") + d.name);
  if (d.undo) {
    ASSERT_EQ(run(command(d.undo)), 0);
    std::this_thread::sleep_for(1s);
    screenshot(std::string("follows-") + d.name + "-undone");
  }
  watch.stop();
  std::printf("%s: WhatsApp bare for %.3f s at most, the overlay without it for %.3f s\n", d.name,
              watch.bare.load(), watch.stray.load());
  EXPECT_LE(watch.bare, kLongestBare) << "WhatsApp was left bare";
  EXPECT_LE(watch.stray, kLongestBare) << "the overlay stayed where WhatsApp was not";
  EXPECT_TRUE(watch.coveredNow) << "not covered at the end";
  EXPECT_TRUE(watch.wentAway || !d.hidesWhatsApp) << "WhatsApp never went away";
}

INSTANTIATE_TEST_SUITE_P(
    MovesStatesDesktopsAndWindowManagers, Follows,
    ::testing::Values(Disturbance{"moved", "xdotool windowmove %w 300 150", nullptr, false},
                      Disturbance{"resized", "xdotool windowsize %w 1100 720",
                                  "xdotool windowsize %w 700 450", false},
                      Disturbance{"minimised", "xdotool windowminimize --sync %w",
                                  "xdotool windowactivate --sync %w", true},
                      Disturbance{"fullscreen", "wmctrl -i -r %w -b add,fullscreen",
                                  "wmctrl -i -r %w -b remove,fullscreen", false},
                      Disturbance{"sent-to-desktop-2", "xdotool set_desktop_for_window %w 1",
                                  "xdotool set_desktop_for_window %w 0", true},
                      Disturbance{"desktop-2-shown", "xdotool set_desktop 1",
                                  "xdotool set_desktop 0", true},
                      Disturbance{"manager-restarts", "openbox --restart", nullptr, false},
                      Disturbance{"manager-quits-and-starts", "", nullptr, false, SIGTERM},
                      Disturbance{"manager-crashes-and-starts", "", nullptr, false, SIGKILL}),
    [](const auto& info) {
      std::string name = info.param.name;
      std::erase(name, '-');
      return name;
    });

class XvfbSoak : public Desktop {};

// Seeded random input over WhatsApp for VELVIX_SOAK_SECONDS of real time (30 by default): after
// a warm-up of a third, Velvix's resident memory stays within 1 MB of where it was, its log
// holds no X error, and WhatsApp is never bare for longer than when it is left alone. Memory is
// sampled with WhatsApp back at its first size, since the glass's buffers are as large as the
// window.
TEST_F(XvfbSoak, RandomInputKeepsMemoryFlatAndTheLogClean) {
  const char* asked = std::getenv("VELVIX_SOAK_SECONDS");
  const int seconds = asked && std::atoi(asked) > 0 ? std::atoi(asked) : 30;
  const std::string w = windows("--class WhatsApp").front();
  velvix_ = launch(true);
  ASSERT_TRUE(waitFor([&] { return !windows("--name '^Velvix overlay$'").empty(); }));
  Watch watch(session_->display(), std::stoul(w),
              std::stoul(windows("--name '^Velvix overlay$'").front()));
  std::string errors;
  int lines = 0;
  const auto drain = [&] {
    while (const auto line = velvix_->readLine(2ms)) {
      ++lines;
      // As Xlib's default handler and Qt's connection report one.
      if (line->find("X Error") != std::string::npos ||
          line->find("XCB error") != std::string::npos)
        errors += *line + "\n";
    }
  };
  const auto residentKB = [&] {  // 0 once Velvix has ended
    std::ifstream status("/proc/" + std::to_string(velvix_->pid()) + "/status");
    for (std::string line; std::getline(status, line);)
      if (line.starts_with("VmRSS:")) return std::atol(line.c_str() + 6);
    return 0L;
  };
  std::mt19937 random(20240611);
  const auto pick = [&](int from, int to) {
    return std::uniform_int_distribution<int>(from, to)(random);
  };
  Geometry g{40, 40, 900, 600};
  const auto at = [&](int x, int y) {
    return " mousemove " + std::to_string(g.x + x) + " " + std::to_string(g.y + y);
  };
  int events = 0;
  long atWarmUp = 0, peak = 0, last = 0;
  const auto start = std::chrono::steady_clock::now();
  auto nextSample = start + 3s;
  for (auto now = start; now - start < std::chrono::seconds(seconds);
       now = std::chrono::steady_clock::now()) {
    drain();
    if (now >= nextSample) {
      g = {40, 40, 900, 600};
      run("xdotool windowactivate --sync " + w + " windowsize " + w + " 900 600 windowmove " + w +
          " 40 40 2>/dev/null");
      std::this_thread::sleep_for(500ms);
      last = residentKB();
      ASSERT_GT(last, 0) << "Velvix ended";
      if (now - start >= std::chrono::seconds(seconds) / 3 && !atWarmUp) atWarmUp = last;
      if (atWarmUp) peak = std::max(peak, last);
      nextSample = now + 3s;
      continue;
    }
    const int dice = pick(0, 99), n = pick(1, 5);
    std::string c = "xdotool";
    if (dice < 30) {
      c += at(pick(10, g.width - 10), pick(10, g.height - 10)), events += 1;
    } else if (dice < 55) {  // the wheel over the chat list or the conversation
      c += dice < 42 ? at(pick(80, 430), pick(120, g.height - 20))
                     : at(pick(460, g.width - 20), pick(80, g.height - 90));
      for (int i = 0; i < n; ++i)
        c += pick(0, 1) ? " click 4" : " click 5";
      events += 1 + n;
    } else if (dice < 70) {  // a chat
      c += at(pick(80, 430), pick(120, g.height - 20)) + " click 1", events += 2;
    } else if (dice < 85) {
      c += " key --delay 5";
      for (int i = 0; i < n; ++i)
        c += std::string(" ") +
             std::array{"a", "e", "space", "Return", "Page_Down", "Up"}[pick(0, 5)];
      events += n;
    } else if (dice < 93) {
      g.x = pick(0, 1270 - g.width), g.y = pick(0, 740 - g.height);
      c += " windowmove " + w + " " + std::to_string(g.x) + " " + std::to_string(g.y), events += 1;
    } else if (dice < 98) {
      g.width = pick(800, 1100), g.height = pick(500, 700);
      g.x = std::min(g.x, 1270 - g.width), g.y = std::min(g.y, 740 - g.height);
      c += " windowsize " + w + " " + std::to_string(g.width) + " " + std::to_string(g.height) +
           " windowmove " + w + " " + std::to_string(g.x) + " " + std::to_string(g.y);
      events += 2;
    } else {  // minimised for a moment (xdotool sends a chain's requests only as it ends)
      run("xdotool windowminimize " + w + " 2>/dev/null");
      std::this_thread::sleep_for(400ms);
      c += " windowactivate --sync " + w, events += 2;
    }
    run(c + " 2>/dev/null");
    std::this_thread::sleep_for(std::chrono::milliseconds(pick(10, 60)));
  }
  drain();
  watch.stop();
  std::printf(
      "soak: %d s, %d input events, resident %ld kB after the warm-up, %ld kB at the end "
      "(peak %ld kB), WhatsApp bare for %.3f s at most, %d log lines\n",
      seconds, events, atWarmUp, last, peak, watch.bare.load(), lines);
  EXPECT_LE(peak - atWarmUp, 1024) << "memory grew";
  EXPECT_EQ(errors, "");
  EXPECT_LE(watch.bare, kLongestBare);
}

// The stand-in as its user may have set it up, and what a measurement of it must find.
struct StandIn {
  const char* name;
  std::vector<std::string> arguments;
  std::optional<std::array<double, 5>> truth;  // rail, list, list header, header, field
};

// No tray: the options window opens beside WhatsApp, as on a first launch without one.
class FirstLaunch : public Desktop, public ::testing::WithParamInterface<StandIn> {
  void SetUp() override { start("1280x800x24", GetParam().arguments, false); }
};

// A first launch measures the window in front of it, or covers all of it: never a guess that
// leaves names readable. The values are the log's, printed with no decimals.
TEST_P(FirstLaunch, MeasuresWhatsAppWithinTwoPointsOrCoversItAll) {
  velvix_ = launch(true);
  const std::string verdict =
      awaitLog({"Measured WhatsApp's layout", "Couldn't measure WhatsApp's layout"});
  screenshot(std::string("first-launch-") + GetParam().name);
  ASSERT_FALSE(verdict.empty()) << "no measurement was logged:\n" << said_;
  std::printf("%s: %s\n", GetParam().name, verdict.c_str());  // the table, for the record
  if (!GetParam().truth) {
    EXPECT_NE(verdict.find("Couldn't measure WhatsApp's layout"), std::string::npos) << verdict;
    return;
  }
  std::array<double, 5> measured{};
  ASSERT_EQ(std::sscanf(verdict.c_str() + verdict.find("rail"),
                        "rail %lf, chat list %lf, list header %lf, conversation header %lf, "
                        "message field %lf",
                        &measured[0], &measured[1], &measured[2], &measured[3], &measured[4]),
            5)
      << verdict;
  for (std::size_t i = 0; i < measured.size(); ++i)
    EXPECT_NEAR(measured[i], (*GetParam().truth)[i], 2) << verdict;
}

INSTANTIATE_TEST_SUITE_P(
    SizesThemesAndWidths, FirstLaunch,
    ::testing::Values(
        StandIn{"light", {"--geometry", "900x600+40+40"}, {{68, 376, 100, 60, 74}}},
        StandIn{"dark-large", {"--geometry", "1260x780+0+0", "--dark"}, {{68, 376, 100, 60, 74}}},
        StandIn{"narrow-list",
                {"--geometry", "1000x700+100+50", "--rail", "64", "--list", "300"},
                {{64, 300, 100, 60, 74}}},
        StandIn{"dark-wide-list",
                {"--geometry", "1200x760+20+20", "--dark", "--rail", "80", "--list", "480"},
                {{80, 480, 100, 60, 74}}},
        StandIn{"smallest", {"--geometry", "800x500+200+200"}, {{68, 376, 100, 60, 74}}},
        // The plain picture's columns are WhatsApp's, narrower and with a lower message bar.
        StandIn{"plain", {"--geometry", "900x600+40+40", "--plain"}, {{64, 360, 84, 60, 62}}},
        // WhatsApp still starting: no layout to measure, so everything stays covered.
        StandIn{"loading", {"--geometry", "900x600+40+40", "--loading"}, std::nullopt}),
    [](const auto& info) {
      std::string name = info.param.name;
      std::erase(name, '-');
      return name;
    });

// A screen as a scaled desktop sets it up, or WhatsApp on a second screen: the overlay lies
// exactly over WhatsApp's window and its patches over WhatsApp's names, in device pixels.
struct Placement {
  const char* name;
  const char* screen;                 // the X screen, "WxHxDEPTH"
  std::vector<std::string> monitors;  // side by side on it, as xrandr --setmonitor takes them
  int x, y, width, height;            // the stand-in's window, in device pixels
  int scale;
};

class Placed : public Desktop, public ::testing::WithParamInterface<Placement> {
  void SetUp() override {
    const Placement& p = GetParam();
    start(p.screen, {"--geometry",
                     std::to_string(p.width) + "x" + std::to_string(p.height) + "+" +
                         std::to_string(p.x) + "+" + std::to_string(p.y),
                     "--scale", std::to_string(p.scale)});
  }
};

TEST_P(Placed, TheOverlayAndItsPatchesLieExactlyOverWhatsApp) {
  const Placement& p = GetParam();
  for (std::size_t i = 0; i < p.monitors.size(); ++i) {
    ASSERT_EQ(run("xrandr --setmonitor m" + std::to_string(i) + " " + p.monitors[i] +
                  (i == 0 ? " screen" : " none") + " >/dev/null"),
              0);
  }
  // The desktop's scale, as its settings write it for the clients to follow (Qt's included).
  const auto resources = config_ / "resources";
  std::ofstream(resources) << "Xft.dpi: " << 96 * p.scale << "\n";
  ASSERT_EQ(run("xrdb -merge " + resources.string()), 0);
  run("xdotool mousemove 2 2");  // away from WhatsApp: nothing is revealed
  // Where a window is on the root, in device pixels (xdotool's geometry of a reparented
  // window is its frame's origin).
  const auto where = [&](const std::string& search) {
    std::array<int, 4> g{-1, -1, -1, -1};
    const std::string id = output("xdotool search --onlyvisible " + search + " | head -1");
    std::istringstream lines(output("xwininfo -id " + id));
    for (std::string line; std::getline(lines, line);) {
      const auto colon = line.find(':');
      if (colon == std::string::npos) continue;
      const std::string key = line.substr(0, colon);
      const int value = std::atoi(line.c_str() + colon + 1);
      if (key.ends_with("Absolute upper-left X")) g[0] = value;
      if (key.ends_with("Absolute upper-left Y")) g[1] = value;
      if (key.ends_with("Width")) g[2] = value;
      if (key.ends_with("Height")) g[3] = value;
    }
    return g;
  };
  const auto whatsApp = where("--class WhatsApp");
  // The darkest point of a box of the screen, in points of WhatsApp's window.
  const auto darkest = [&](const std::string& shot, double x, double y, double w, double h) {
    const int s = p.scale;
    const std::string crop = std::to_string(static_cast<int>(w * s)) + "x" +
                             std::to_string(static_cast<int>(h * s)) + "+" +
                             std::to_string(whatsApp[0] + static_cast<int>(x * s)) + "+" +
                             std::to_string(whatsApp[1] + static_cast<int>(y * s));
    return std::atof(
        output("convert " + shot + " -crop " + crop + " -format '%[fx:minima.intensity]' info:")
            .c_str());
  };
  // The name drawn sharp once the stand-in has painted.
  const std::string bare = (config_ / "bare.png").string();
  ASSERT_TRUE(pollUntil(
      [&] {
        run("import -window root " + bare);
        return darkest(bare, 68 + 86, 100 + 14, 80, 16) < 0.2;
      },
      [] {}, 5s));

  velvix_ = launch(true);
  const std::string measured = awaitLog({"Measured WhatsApp's layout"});
  ASSERT_FALSE(measured.empty()) << "WhatsApp's layout was not measured:\n" << said_;
  EXPECT_NE(measured.find("rail 68, chat list 376"), std::string::npos) << measured;
  ASSERT_TRUE(pollUntil([&] { return where("--name '^Velvix overlay$'") == whatsApp; }, [] {}, 5s))
      << "the overlay is not where WhatsApp's window is: " << ::testing::PrintToString(whatsApp)
      << " vs " << ::testing::PrintToString(where("--name '^Velvix overlay$'"));

  const std::string shot = std::string(VELVIX_SCREENSHOT_DIR) + "/placed-" + p.name + ".png";
  std::filesystem::create_directories(VELVIX_SCREENSHOT_DIR);
  // The first chat's name (86 points into its row, 14 below its top) is frosted under the
  // overlay; the rail's first icon is left as it was.
  EXPECT_TRUE(pollUntil(
      [&] {
        run("import -window root " + shot);
        return darkest(shot, 68 + 86, 100 + 14, 80, 16) > 0.35;
      },
      [] {}, 5s))
      << "the first chat's name is not frosted";
  EXPECT_NEAR(darkest(shot, 14, 16, 40, 40), darkest(bare, 14, 16, 40, 40), 0.01)
      << "the rail was touched";
}

INSTANTIATE_TEST_SUITE_P(
    ScreensAndScales, Placed,
    ::testing::Values(Placement{"second-screen",
                                "2560x800x24",
                                {"1280/338x800/211+0+0", "1280/338x800/211+1280+0"},
                                1400,
                                60,
                                1000,
                                680,
                                1},
                      // Right of the options window, which shows where there is no tray.
                      Placement{"scale-2", "2560x1600x24", {}, 540, 120, 2000, 1360, 2},
                      Placement{"scale-2-second-screen",
                                "4096x1600x24",
                                {"1536/406x960/254+0+0", "2560/677x1600/423+1536+0"},
                                1800,
                                100,
                                1800,
                                1300,
                                2}),
    [](const auto& info) {
      std::string name = info.param.name;
      std::erase(name, '-');
      return name;
    });

// Velvix's covers of all of WhatsApp (the panic key, idle protection) and its glass at each
// strength, as a bystander sees them: the screen's pixels, read over a connection of the
// test's own, and what OCR reads there.
class Bystander : public Desktop {
 protected:
  static constexpr int kColumns = 6, kRows = 5;

  void SetUp() override {
    Desktop::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    x_ = XOpenDisplay(session_->display().c_str());
    ASSERT_TRUE(x_);
    run("xdotool mousemove 1200 100");  // off WhatsApp: nothing is revealed under the pointer
    const Window client = std::stoul(windows("--class WhatsApp").front());
    XWindowAttributes attributes{};
    Window child = 0;
    ASSERT_TRUE(XGetWindowAttributes(x_, client, &attributes));
    XTranslateCoordinates(x_, client, DefaultRootWindow(x_), 0, 0, &area_.x, &area_.y, &child);
    area_.width = attributes.width, area_.height = attributes.height;
    ASSERT_TRUE(pollUntil([&] { return sharpness(area_) > 3; }, [] {}, 5s))
        << "the stand-in never painted";
    bare_ = cells();
  }
  void TearDown() override {
    if (x_) XCloseDisplay(x_);
    Desktop::TearDown();
  }

  void storeSettings(const std::string& json) {
    std::filesystem::create_directories(config_ / "velvix");
    std::ofstream(config_ / "velvix" / "app.velvix.Velvix.json") << json;
  }
  // A rectangle of WhatsApp's client area on the screen.
  Geometry inWhatsApp(int x, int y, int width, int height) const {
    return {area_.x + x, area_.y + y, width, height};
  }

  // The mean difference of neighbouring pixels' grey levels: high over text and pictures, near
  // zero under glass.
  double sharpness(const Geometry& g) {
    XImage* image = XGetImage(x_, DefaultRootWindow(x_), g.x, g.y, static_cast<unsigned>(g.width),
                              static_cast<unsigned>(g.height), AllPlanes, ZPixmap);
    if (!image) return 0;
    const auto grey = [&](int x, int y) {
      const unsigned long p = image->f.get_pixel(image, x, y);
      return static_cast<double>(((p >> 16) & 0xFF) + ((p >> 8) & 0xFF) + (p & 0xFF)) / 3;
    };
    double sum = 0;
    for (int y = 0; y + 1 < g.height; ++y)
      for (int x = 0; x + 1 < g.width; ++x)
        sum += std::abs(grey(x, y) - grey(x + 1, y)) + std::abs(grey(x, y) - grey(x, y + 1));
    image->f.destroy_image(image);
    return sum / std::max(1, (g.width - 1) * (g.height - 1));
  }
  std::vector<double> cells() {
    std::vector<double> out;
    const int w = area_.width / kColumns, h = area_.height / kRows;
    for (int row = 0; row < kRows; ++row)
      for (int column = 0; column < kColumns; ++column)
        out.push_back(sharpness(inWhatsApp(column * w, row * h, w, h)));
    return out;
  }
  // Every cell is frosted (text and pictures have a sharpness of 3 and more): all of WhatsApp
  // is covered.
  bool allCovered() {
    const auto now = cells();
    return std::all_of(now.begin(), now.end(), [](double s) { return s < 1.5; });
  }
  // Some cell shows what it shows bare: the usual patches, which leave names and pictures.
  bool someBare() {
    const auto now = cells();
    for (std::size_t i = 0; i < now.size(); ++i)
      if (bare_[i] > 3 && now[i] * 2 > bare_[i]) return true;
    return false;
  }
  std::string describe() {
    std::ostringstream out;
    out << "sharpness of each cell, bare -> now:";
    const auto now = cells();
    for (std::size_t i = 0; i < now.size(); ++i) {
      std::array<char, 32> cell{};
      std::snprintf(cell.data(), cell.size(), "%s%.1f->%.1f", i % kColumns ? "  " : "\n", bare_[i],
                    now[i]);
      out << cell.data();
    }
    return out.str();
  }
  bool overlayShown() { return !windows("--name '^Velvix overlay$'").empty(); }
  // Whether Velvix, launched with its log read, logs `what` in time.
  ::testing::AssertionResult logs(const std::string& what) {
    if (!awaitLog({what}).empty()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "not logged: " << what << "\n" << said_;
  }

  Display* x_ = nullptr;
  Geometry area_;
  std::vector<double> bare_;
};

// While WhatsApp has the focus, Ctrl+Alt+B covers all of it with one patch that the pointer
// does not open, whether or not Num Lock is on; pressed again, the usual patches come back.
TEST_F(Bystander, ThePanicKeyCoversAllOfWhatsAppUntilPressedAgain) {
  velvix_ = launch();
  ASSERT_TRUE(waitFor([&] { return overlayShown(); }));
  run("xdotool search --class WhatsApp windowactivate --sync");
  run("xdotool mousemove 1200 100");
  ASSERT_TRUE(waitFor([&] { return someBare(); })) << describe();
  for (const std::string locks : {"", "Num_Lock"}) {
    SCOPED_TRACE(locks.empty() ? "no lock" : locks);
    if (!locks.empty()) run("xdotool key " + locks);
    run("xdotool key ctrl+alt+b");
    EXPECT_TRUE(waitFor([&] { return allCovered(); })) << describe();
    run("xdotool mousemove " + std::to_string(area_.x + 650) + " " + std::to_string(area_.y + 400));
    std::this_thread::sleep_for(300ms);
    EXPECT_TRUE(allCovered()) << "the pointer opened the cover; " << describe();
    screenshot("panic-on" + std::string(locks.empty() ? "" : "-num-lock"));
    run("xdotool mousemove 1200 100 key ctrl+alt+b");
    EXPECT_TRUE(waitFor([&] { return someBare(); })) << "still covered; " << describe();
  }
}

TEST_F(Bystander, APanicKeyAnotherProgramHoldsIsNamedInTheLog) {
  const KeyCode b = XKeysymToKeycode(x_, XStringToKeysym("b"));
  XGrabKey(x_, b, ControlMask | Mod1Mask, DefaultRootWindow(x_), False, GrabModeAsync,
           GrabModeAsync);
  XSync(x_, False);
  velvix_ = launch(true);
  EXPECT_TRUE(logs("Another program already uses Ctrl+Alt+B"));
}

// With idle protection at 3 s, all of WhatsApp is covered after 3 s without input, not before,
// and the next input brings the usual patches back.
TEST_F(Bystander, AfterTheChosenTimeWithoutInputAllIsCoveredUntilTheNextInput) {
  storeSettings(R"({"idleMinutes": 0.05})");
  velvix_ = launch(true);
  ASSERT_TRUE(logs("Measured WhatsApp's layout"));  // everything is covered until then
  run("xdotool mousemove 1200 110");
  const auto input = std::chrono::steady_clock::now();
  EXPECT_TRUE(waitFor([&] { return someBare(); })) << "covered right after input; " << describe();
  EXPECT_TRUE(pollUntil([&] { return allCovered(); }, [] {}, 8s)) << describe();
  EXPECT_GE(std::chrono::steady_clock::now() - input, 2900ms) << "covered early";
  screenshot("idle-on");
  run("xdotool mousemove 1200 130");
  EXPECT_TRUE(waitFor([&] { return someBare(); })) << "input did not uncover; " << describe();
}

// With the conversation's title, every message and the message field under glass, OCR reads
// them on WhatsApp bare, and not one of their words through the glass at any strength; each
// strength leaves less of the text's edges than the one before.
TEST_F(Bystander, OcrReadsNoWordThroughTheGlassAtAnyStrength) {
  if (run("command -v tesseract >/dev/null") != 0) GTEST_SKIP() << "tesseract is not installed";
  // The stand-in's conversation title (16-pixel bold: 12 points), its members, its last
  // messages and its typed text (14 pixels), in DejaVu Sans.
  const std::vector<std::string> known = {"family", "lena",  "fresh",   "market",    "salad",
                                          "dinner", "bring", "minutes", "delivered", "wine"};
  const Geometry conversation = inWhatsApp(460, 0, 440, 590);
  const auto wordsRead = [&](const std::string& name) {
    const std::string png = (config_ / (name + ".png")).string();
    run("import -window root -crop " + std::to_string(conversation.width) + "x" +
        std::to_string(conversation.height) + "+" + std::to_string(conversation.x) + "+" +
        std::to_string(conversation.y) + " +repage " + png);
    std::string text = output("tesseract " + png + " -"), found;
    for (char& c : text)
      c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c >= 'a' && c <= 'z' ? c : ' ';
    std::istringstream words(text);
    for (std::string word; words >> word;)
      if (std::find(known.begin(), known.end(), word) != known.end()) found += word + " ";
    return found;
  };
  ASSERT_NE(wordsRead("bare"), "") << "OCR cannot read the bare conversation";

  const double bare = sharpness(conversation);
  double before = bare;
  for (const std::string strength : {"light", "medium", "strong"}) {
    SCOPED_TRACE(strength);
    storeSettings(R"({"blurStrength": ")" + strength +
                  R"(", "unblurLast3Messages": false, "blurTextInput": true, )"
                  R"("blurGroupUsersNames": true})");
    velvix_ = launch(true);
    ASSERT_TRUE(logs("Measured WhatsApp's layout"));  // everything is covered until then
    // Light glass, settled, leaves about a sixth of the edges (0.9 of 5.1); a fifth or less
    // says the glass is up, rather than a passing state (plain patches, a repainting client).
    EXPECT_TRUE(waitFor([&] { return sharpness(conversation) * 5 < bare; }));
    std::this_thread::sleep_for(300ms);  // the glass settles
    screenshot("strength-" + strength);
    EXPECT_EQ(wordsRead(strength), "");
    const double left = sharpness(conversation);
    std::printf("%s: %.2f of %.2f sharpness left\n", strength.c_str(), left, bare);
    EXPECT_LT(left, before);
    before = left;
    velvix_.reset();
    ASSERT_TRUE(waitFor([&] { return !overlayShown(); }));
  }
}

}  // namespace
}  // namespace velvix::testing
