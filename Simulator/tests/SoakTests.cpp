// A long run of the whole application against the simulated desktop, in virtual time, under
// seeded random use: WhatsApp's window moves, resizes, leaves for a moment, hides, quits and
// starts again; Spaces switch; another window comes in front; sheets and the "New chat" panel
// open and close; both lists scroll; access is granted and revoked; reads fail and time out;
// protection and precise mode are switched. At every display frame the overlay must lie over
// WhatsApp's window while it is on screen and protection is on, after no more than the delays
// the app takes on purpose, and no step may flood the log; what the app holds (blur views,
// pending work, registrations, heap) must not grow from the warm-up to the end.
//
// VELVIX_SOAK_VIRTUAL_MINUTES (default 2: a few seconds under AddressSanitizer; scripts/velvix
// soak runs 120) and VELVIX_SOAK_SEED choose the run; a failure names the seed and the step,
// which replay it exactly.

#include <Simulator/AppSession.hpp>
#include <Simulator/OverlayCoverage.hpp>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <new>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Heap bytes still held that were allocated while the app ran (inside runFor). The whole heap
// would not do: the Simulator's accessibility keeps every element WhatsApp ever published, so
// it grows with every move of the window whatever the app does. The world's events in the run
// are counted out too (Counting below).
std::atomic<bool> gCounting{false};
std::atomic<long long> gAppBytes{0};

struct alignas(std::max_align_t) Header {
  std::size_t size;
  bool counted;
};

void* allocate(std::size_t size) {
  void* block = std::malloc(sizeof(Header) + size);
  if (!block) throw std::bad_alloc();
  auto* header = new (block) Header{size, gCounting.load(std::memory_order_relaxed)};
  if (header->counted) gAppBytes += static_cast<long long>(size);
  return header + 1;
}

void release(void* pointer) noexcept {
  if (!pointer) return;
  auto* header = static_cast<Header*>(pointer) - 1;
  if (header->counted) gAppBytes -= static_cast<long long>(header->size);
  std::free(header);
}

}  // namespace

// Every form, the nothrow ones too: a sanitizer's runtime defines its own, which would not know
// our header.
// clang-format off
void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try { return allocate(size); } catch (const std::bad_alloc&) { return nullptr; }
}
void* operator new[](std::size_t size, const std::nothrow_t& n) noexcept { return operator new(size, n); }
void operator delete(void* pointer, const std::nothrow_t&) noexcept { release(pointer); }
void operator delete[](void* pointer, const std::nothrow_t&) noexcept { release(pointer); }
void operator delete(void* pointer) noexcept { release(pointer); }
void operator delete[](void* pointer) noexcept { release(pointer); }
void operator delete(void* pointer, std::size_t) noexcept { release(pointer); }
void operator delete[](void* pointer, std::size_t) noexcept { release(pointer); }
// clang-format on

namespace velvix::sim {
namespace {

using List = WhatsAppModel::List;

constexpr double kTick = 0.1;            // the frame timer (30 Hz) places the overlay within this
constexpr double kMissingGrace = 0.3;    // a missing window keeps the overlay this long
constexpr double kOtherSpaceHold = 0.6;  // patches stay on the Space WhatsApp left this long
constexpr std::size_t kMostLogLinesPerStep = 100;  // a step lasts 1.5 s at most
constexpr std::int32_t kNotesPid = 77;

// While set, allocations are the app's.
class Counting {
 public:
  explicit Counting(bool on) : was_(gCounting.exchange(on)) {}
  ~Counting() { gCounting = was_; }
  Counting(const Counting&) = delete;
  Counting& operator=(const Counting&) = delete;

 private:
  bool was_;
};

Duration seconds(double s) {
  return std::chrono::duration_cast<Duration>(std::chrono::duration<double>(s));
}

double fromEnvironment(const char* name, double fallback) {
  const char* text = std::getenv(name);
  if (!text || !*text) return fallback;
  char* end = nullptr;
  const double value = std::strtod(text, &end);
  return end && *end == '\0' && value >= 0 ? value : fallback;
}

// What the app holds, at one moment.
struct Holdings {
  long long heap = 0;
  std::size_t pending = 0;
  std::size_t views = 0;
  int registrations = 0;
};

class Soak {
 public:
  explicit Soak(std::uint64_t seed) : seed_(seed), random_(seed) {
    auto& server = desktop().windowServer();
    server.addApplication({.pid = kNotesPid, .bundleIdentifier = "com.apple.Notes"});
    notes_ =
        server.addWindow({.pid = kNotesPid, .ownerName = "Notes", .bounds = {300, 200, 640, 480}});
    session_.onDisplayFrame([this] { check(); });
    Counting counting(true);
    session_.start();
  }

  // Runs steps until `minutes` of virtual time have passed or a check fails.
  void runFor(double minutes) {
    const double end = now() + minutes * 60;
    while (failure_.empty() && now() < end)
      step();
  }

  // The desktop as at the start, settled; then what the app holds.
  Holdings atRest() {
    for (const ElementId element : faults_)
      ax().clearFaults(element);
    faults_.clear();
    ax().setTrusted(true);
    session_.settings().setIsEnabled(true);
    session_.settings().setUsesAccessibility(true);
    desktop().toolkit().setPanelOcclusionVisible(true);
    if (!whatsApp()) launch();
    auto& server = desktop().windowServer();
    server.setActiveSpace(1);
    WindowSpec& window = server.window(whatsApp()->windowNumber());
    window.space = 1;
    window.isOnScreen = true;
    server.application(pid()).isHidden = false;
    whatsApp()->setState(WhatsAppState::sample());
    server.bringToFront(whatsApp()->windowNumber());
    server.setFrontmostApplication(pid());
    session_.moveMouseAway();
    desktop().log().clear();
    run(3);
    return holdings();
  }

  [[nodiscard]] const std::string& failure() const { return failure_; }
  [[nodiscard]] std::string figures() {
    std::ostringstream out;
    out << "seed " << seed_ << ", " << steps_ << " steps, " << (now() - start_) / 60
        << " virtual minutes, " << checks_ << " checks, " << launches_ << " launches, "
        << "max patches " << maxPatches_ << ", max views " << maxViews_
        << ", max pending callbacks " << maxPending_ << ", max log lines in a step "
        << maxLogLines_;
    return out.str();
  }
  [[nodiscard]] Holdings holdings() {
    const SimToolkit& toolkit = desktop().toolkit();
    const SimPanel* panel = toolkit.panel();
    return {gAppBytes.load(), desktop().scheduler().pendingCallbacks().value_or(0),
            toolkit.blurViews().size(),
            toolkit.workspaceObservers() + toolkit.scrollMonitors() + toolkit.clickMonitors() +
                (panel ? panel->occlusionObservers() : 0)};
  }

 private:
  Desktop& desktop() { return session_.desktop(); }
  SimAccessibility& ax() { return desktop().accessibility(); }
  double now() { return desktop().scheduler().mediaTime(); }

  // The running WhatsApp: the session's first one until it quits, then the last launched.
  WhatsAppModel* whatsApp() {
    if (launched_) return launched_.get();
    return firstQuit_ ? nullptr : &session_.whatsApp();
  }
  std::int32_t pid() { return whatsApp()->options().pid; }

  std::uint64_t next() { return random_(); }
  bool chance(double p) { return unit() < p; }
  double unit() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }
  double between(double a, double b) { return a + (b - a) * unit(); }
  std::size_t pick(std::size_t n) { return static_cast<std::size_t>(next() % n); }

  void run(double s) {
    Counting counting(true);
    session_.runFor(seconds(s));
  }
  // An event of the world at `delay` from now (the user's wheel, WhatsApp itself).
  void world(double delay, std::function<void()> event) {
    desktop().scheduler().scheduleWorld(seconds(delay), [event = std::move(event)] {
      Counting counting(false);
      event();
    });
  }
  // The overlay may take `s` to catch up with what just changed.
  void allow(double s) { settleAt_ = std::max(settleAt_, now() + s); }
  template <typename Change>
  static void edit(WhatsAppModel& w, Change change) {
    WhatsAppState s = w.state();
    change(s);
    w.setState(std::move(s));
  }

  void step() {
    ++steps_;
    desktop().log().clear();
    const double dwell = between(0.03, 1.5);
    action_ = act(dwell);
    recent_[static_cast<std::size_t>(steps_) % recent_.size()] =
        std::to_string(steps_) + ": " + action_;
    run(dwell);
    check();
    // However the desktop behaves, the log stays readable: a flood is a loop gone wrong.
    const auto lines = desktop().log().lines();
    maxLogLines_ = std::max(maxLogLines_, lines.size());
    if (lines.size() > kMostLogLinesPerStep)
      fail(std::to_string(lines.size()) + " log lines in one step, the last: " + lines.back().text);
  }

  // One random thing the user, WhatsApp or the system does; returns what, for the report.
  std::string act(double dwell) {
    auto& server = desktop().windowServer();
    AppSettings& settings = session_.settings();
    WhatsAppModel* w = whatsApp();
    switch (pick(w ? 16 : 5)) {
      case 0:
        settings.setIsEnabled(!settings.isEnabled());
        allow(kTick);
        return settings.isEnabled() ? "protection on" : "protection off";
      case 1:
        settings.setUsesAccessibility(!settings.usesAccessibility());
        return settings.usesAccessibility() ? "precise mode" : "layout mode";
      case 2:
        ax().setTrusted(chance(0.7));
        return "access " + std::string(ax().isProcessTrusted() ? "granted" : "revoked");
      case 3: {
        const int space = 1 + static_cast<int>(pick(3));
        server.setActiveSpace(space);
        allow(kOtherSpaceHold + kTick);
        return "Space " + std::to_string(space);
      }
      case 4:
        if (!w) {
          launch();
          return "WhatsApp started";
        }
        if (chance(0.5)) {
          server.application(pid()).isTerminated = true;
          quit();
          return "WhatsApp quit";
        }
        server.setFrontmostApplication(chance(0.5) ? kNotesPid : pid());
        server.bringToFront(chance(0.5) ? notes_ : w->windowNumber());
        allow(kTick);
        return "another window to the front";
      case 5:
      case 6: {
        const Rect f = w->state().windowFrame;
        edit(*w, [&](WhatsAppState& s) {
          s.windowFrame = chance(0.5)
                              ? Rect{between(0, 700), between(0, 400), f.width(), f.height()}
                              : Rect{f.minX(), f.minY(), between(700, 1500), between(450, 1000)};
        });
        allow(kTick);
        return "window to " + describe(w->state().windowFrame);
      }
      case 7: {
        const bool opens = !w->state().sheet;
        edit(*w, [&](WhatsAppState& s) {
          s.sheet.reset();
          if (opens)
            s.sheet = WhatsAppSheet{.name = "Ana Souza",
                                    .about = "Hey there",
                                    .phone = "+55 11 91234 5678",
                                    .treeShowsOnlySheet = chance(0.5)};
        });
        return opens ? "sheet opened" : "sheet closed";
      }
      case 8:
        edit(*w, [](WhatsAppState& s) {
          s.panel = s.panel ? std::nullopt
                            : std::optional(WhatsAppPanel{
                                  .rows = {{.name = "Mia Rossi", .detail = "Hey there"},
                                           {.name = "Tom Becker", .isShort = true}}});
        });
        return "New chat panel toggled";
      case 9:
      case 10:
        return scroll(*w, dwell);
      case 11: {
        const Rect f = w->state().windowFrame;
        server.setMouseTopLeft(
            {between(f.minX() - 100, f.maxX() + 100), between(f.minY() - 100, f.maxY() + 100)});
        return "pointer moved";
      }
      case 12:
        return fault(*w);
      case 13: {
        // A short gap in the window list, or WhatsApp hidden and shown again.
        const std::uint32_t number = w->windowNumber();
        const std::int32_t p = pid();
        const bool hides = chance(0.3);
        const double gap = between(0.05, 0.6);
        auto shown = [this, number, p, hides](bool on) {
          if (!whatsApp() || pid() != p) return;
          desktop().windowServer().window(number).isOnScreen = on;
          if (hides) desktop().windowServer().application(p).isHidden = !on;
        };
        shown(false);
        world(std::min(gap, dwell * 0.9), [shown] { shown(true); });
        return std::string(hides ? "WhatsApp hidden" : "window missing") + " for a moment";
      }
      case 14: {
        // The user brings WhatsApp's window to this Space.
        server.window(w->windowNumber()).space = server.activeSpace();
        allow(kOtherSpaceHold + kTick);
        return "WhatsApp to this Space";
      }
      default:
        desktop().toolkit().setPanelOcclusionVisible(false);
        world(dwell / 2, [this] { desktop().toolkit().setPanelOcclusionVisible(true); });
        return "overlay occluded for a moment";
    }
  }

  // Wheel steps over one of the lists, sixty a second, for a flick of up to 0.6 s.
  std::string scroll(WhatsAppModel& w, double dwell) {
    const List list = chance(0.5) ? List::chatList : List::messages;
    const Rect viewport = w.viewport(list);
    if (viewport.isNull()) return "no list to scroll";
    const Point origin = w.state().windowFrame.origin;
    desktop().windowServer().setMouseTopLeft(
        {origin.x + viewport.midX(), origin.y + between(viewport.minY(), viewport.maxY())});
    const double direction = chance(0.5) ? 1 : -1;
    const double step = direction * between(100, 3000) / 60;
    const int steps = static_cast<int>(std::min(between(0.05, 0.6), dwell * 0.8) * 60);
    const std::int32_t p = pid();
    for (int k = 0; k < steps; ++k)
      world(k / 60.0, [this, p, step] {
        if (whatsApp() && pid() == p) (void)whatsApp()->scrollWheel(step);
      });
    return std::string(list == List::chatList ? "chat list" : "messages") + " scrolled";
  }

  // A fault on one of the elements the reader asks; faults last until a later step clears them.
  std::string fault(WhatsAppModel& w) {
    if (!faults_.empty() && chance(0.5)) {
      for (const ElementId element : faults_)
        ax().clearFaults(element);
      faults_.clear();
      return "faults cleared";
    }
    const std::pair<ElementId, const char*> elements[] = {
        {w.windowElement(), "the window"},
        {w.container(List::chatList), "the chat list"},
        {w.container(List::messages), "the message list"}};
    const auto [element, owner] = elements[pick(3)];
    if (!element) return "no element to fail";
    const std::size_t kind = pick(6);  // Fault's six kinds, in order
    const char* names[] = {"call fails", "error slot", "wrong kind",
                           "timeout",    "null value", "short result"};
    const Attribute attributes[] = {Attribute::children, Attribute::position, Attribute::size,
                                    Attribute::role};
    const std::optional<Attribute> attribute =
        chance(0.3) ? std::nullopt : std::optional(attributes[pick(4)]);
    ax().inject(element, attribute, static_cast<Fault>(kind));
    faults_.push_back(element);
    return std::string(names[kind]) + " on " + owner + "'s " +
           (attribute ? std::string(platform::attributeName(*attribute)) : "every attribute");
  }

  void launch() {
    auto& server = desktop().windowServer();
    WhatsAppState s = WhatsAppState::sample();
    // Braces: the draws are made in order, so that a seed replays on every compiler.
    s.windowFrame = Rect{between(0, 500), between(0, 250), between(800, 1200), between(500, 800)};
    WhatsAppModelOptions options;
    options.pid = 5000 + launches_++;
    launched_ = std::make_unique<WhatsAppModel>(desktop(), std::move(s), std::move(options));
    server.setFrontmostApplication(pid());
    allow(kTick);
  }

  void quit() {
    auto& server = desktop().windowServer();
    if (launched_) {
      launched_.reset();
    } else {
      // The session's WhatsApp is the session's to destroy: take it off the desktop.
      server.window(session_.whatsApp().windowNumber()).isOnScreen = false;
      ax().remove(session_.whatsApp().windowElement());
      firstQuit_ = true;
    }
    server.setFrontmostApplication(kNotesPid);
    faults_.clear();
  }

  static std::string describe(const Rect& r) {
    std::ostringstream out;
    out << r;
    return out.str();
  }

  // What must hold now; the first thing that does not ends the run.
  void check() {
    if (!failure_.empty()) return;
    ++checks_;
    const Holdings held = holdings();
    maxViews_ = std::max(maxViews_, held.views);
    maxPending_ = std::max(maxPending_, held.pending);
    if (const std::string wrong = violation(); !wrong.empty()) fail(wrong);
  }

  // Records the first failure with what replays it and what led to it.
  void fail(const std::string& wrong) {
    if (!failure_.empty()) return;
    std::ostringstream out;
    out << "seed " << seed_ << ", step " << steps_ << " (" << action_ << "), at " << now() - start_
        << " s: " << wrong << "\nthe steps before:";
    for (std::size_t k = 1; k <= recent_.size(); ++k)
      if (const auto& r = recent_[static_cast<std::size_t>(steps_ + k) % recent_.size()];
          !r.empty())
        out << "\n  " << r;
    failure_ = out.str();
  }

  std::string violation() {
    auto& server = desktop().windowServer();
    const SimPanel* panel = desktop().toolkit().panel();
    const bool shown = panel && panel->isVisible() && panel->isOnActiveSpace();
    WhatsAppModel* w = whatsApp();
    const WindowSpec* window = w ? &server.window(w->windowNumber()) : nullptr;
    const bool onScreen =
        window && window->isOnScreen && (!window->space || *window->space == server.activeSpace());
    const double t = now();
    if (onScreen != wasOnScreen_) {
      wasOnScreen_ = onScreen;
      // Back on this Space while the patches still show on the other one, they stay there a
      // while on purpose; gone, the overlay stays through a short gap.
      const bool held = onScreen && panel && panel->isVisible() && !panel->isOnActiveSpace();
      allow(onScreen ? (held ? kOtherSpaceHold : 0) + kTick : kMissingGrace + kTick);
    }
    if (t < settleAt_) return {};
    if (!session_.settings().isEnabled())
      return shown ? "protection is off, yet the overlay shows" : "";
    if (!onScreen) return shown ? "WhatsApp is not on screen, yet the overlay shows" : "";
    if (!shown) return "WhatsApp is on screen and protection on, yet the overlay is not shown";
    const Rect expected = platform::screenFlip(server).map(window->bounds);
    if (!(panel->frame() == expected))
      return "the overlay is at " + describe(panel->frame()) + ", WhatsApp's window at " +
             describe(expected);
    const auto front = server.frontmostApplication();
    if (front && front->pid == pid()) {
      if (panel->level() != platform::kFloatingWindowLevel)
        return "WhatsApp is frontmost, yet the overlay does not float";
    } else {
      const auto numbers = server.onScreenNumbers();
      const auto at = std::find(numbers.begin(), numbers.end(), window->number);
      if (at == numbers.begin() || *(at - 1) != static_cast<std::uint32_t>(panel->windowNumber()))
        return "another window lies between the overlay and WhatsApp";
    }
    const auto patches = overlayPatches(desktop().toolkit(), server, window->bounds);
    maxPatches_ = std::max(maxPatches_, patches.size());
    if (patches.empty()) return "the overlay over WhatsApp shows no patch";
    return {};
  }

  std::uint64_t seed_;
  std::mt19937_64 random_;
  AppSession session_;
  std::unique_ptr<WhatsAppModel> launched_;
  bool firstQuit_ = false;
  std::uint32_t notes_ = 0;
  std::vector<ElementId> faults_;
  double start_ = now();
  double settleAt_ = 0;
  bool wasOnScreen_ = false;
  std::string action_ = "start";
  std::array<std::string, 12> recent_;
  std::string failure_;
  long steps_ = 0;
  long checks_ = 0;
  int launches_ = 0;
  std::size_t maxPatches_ = 0;
  std::size_t maxViews_ = 0;
  std::size_t maxPending_ = 0;
  std::size_t maxLogLines_ = 0;
};

TEST(Soak, TheOverlayStaysOverWhatsAppAndWhatTheAppHoldsStaysBounded) {
  const double minutes = fromEnvironment("VELVIX_SOAK_VIRTUAL_MINUTES", 2);
  const char* seedText = std::getenv("VELVIX_SOAK_SEED");
  const std::uint64_t seed =
      seedText && *seedText ? std::strtoull(seedText, nullptr, 10) : 20240611;
  const auto wallStart = std::chrono::steady_clock::now();
  Soak soak(seed);
  // What the app holds is compared between two moments of the same desktop at rest: after the
  // warm-up and at the end. A failed check ends the run.
  const double warmUp = std::min(1.0, minutes / 10);
  soak.runFor(warmUp);
  const Holdings before = soak.failure().empty() ? soak.atRest() : Holdings{};
  soak.runFor(minutes - warmUp);
  const Holdings after = soak.failure().empty() ? soak.atRest() : Holdings{};
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
  std::ostringstream summary;
  summary << "soak: " << soak.figures() << ", at rest: views " << before.views << " -> "
          << after.views << ", pending callbacks " << before.pending << " -> " << after.pending
          << ", registrations " << before.registrations << " -> " << after.registrations
          << ", app heap " << before.heap / 1024 << " KiB -> " << after.heap / 1024 << " KiB; "
          << wall << " s wall";
  std::cout << summary.str() << std::endl;
  ASSERT_EQ(soak.failure(), "") << "replay: VELVIX_SOAK_SEED=" << seed
                                << " VELVIX_SOAK_VIRTUAL_MINUTES=" << minutes;
  EXPECT_EQ(after.registrations, before.registrations) << summary.str();
  // The pool of views keeps, hidden, what a busier frame since the last refresh needed.
  EXPECT_LE(after.views, before.views + 4) << summary.str();
  EXPECT_LE(after.pending, before.pending + 2) << summary.str();
  EXPECT_LE(after.heap, before.heap + 64 * 1024) << summary.str();
}

}  // namespace
}  // namespace velvix::sim
