// The backend against a real X server: Xvfb started by each test, with Openbox, and without a
// window manager or shared memory.
// The stand-in WhatsApp client (velvix-fake-whatsapp) plays WhatsApp. Screenshots of each case
// go to the build folder (VELVIX_X11_SCREENSHOTS).

// Qt and gtest first: Xlib's headers define macros (None, Bool, Status) that theirs refuse.
#include <gtest/gtest.h>
#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include "XvfbSession.hpp"

#include <BlurLayout/BlurLayout.hpp>
#include <Simulator/LogCapture.hpp>
#include <Simulator/MemoryDefaults.hpp>
#include <Velvix/AppSettings.hpp>
#include <Velvix/OverlayController.hpp>
#include <Velvix/WhatsAppWindow.hpp>

namespace velvix::x11 {
namespace {
using ControllerStatus = OverlayController::Status;  // Xlib makes "Status" a macro
}  // namespace
}  // namespace velvix::x11

// Xlib last of all, for the same reason.
#include <Backends/X11/Raster.hpp>
#include <Backends/X11/X11Connection.hpp>
#include <Backends/X11/X11Desktop.hpp>

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/shape.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace velvix::x11 {
namespace {

using namespace std::chrono_literals;
using testing::ChildProcess;
using testing::XvfbSession;

constexpr Rect kClientGeometry(100, 80, 1000, 700);

// Mean absolute difference of neighbouring pixels (right and down), summed over the three
// channels: high over text and pictures, near zero over a blur.
// The whole pixels of `area` that lie in the image.
Rect clipped(const Image& image, const Rect& area) {
  return area.intersection(Rect(0, 0, image.width, image.height));
}

double localContrast(const Image& image, const Rect& wanted) {
  const Rect area = clipped(image, wanted);
  if (area.isNull()) return 0;
  double sum = 0;
  long n = 0;
  for (int y = static_cast<int>(area.minY()); y + 1 < static_cast<int>(area.maxY()); ++y) {
    for (int x = static_cast<int>(area.minX()); x + 1 < static_cast<int>(area.maxX()); ++x) {
      const std::uint32_t p = image.at(x, y), r = image.at(x + 1, y), d = image.at(x, y + 1);
      for (int shift = 0; shift <= 16; shift += 8) {
        const int c = (p >> shift) & 0xFF;
        sum += std::abs(c - int((r >> shift) & 0xFF)) + std::abs(c - int((d >> shift) & 0xFF));
      }
      ++n;
    }
  }
  return n ? sum / n : 0;
}

std::array<double, 3> meanColour(const Image& image, const Rect& wanted) {
  const Rect area = clipped(image, wanted);
  std::array<double, 3> sum{};
  if (area.isNull()) return sum;
  long n = 0;
  for (int y = static_cast<int>(area.minY()); y < static_cast<int>(area.maxY()); ++y) {
    for (int x = static_cast<int>(area.minX()); x < static_cast<int>(area.maxX()); ++x) {
      for (int c = 0; c < 3; ++c)
        sum[c] += (image.at(x, y) >> (16 - 8 * c)) & 0xFF;
      ++n;
    }
  }
  for (double& s : sum)
    s /= std::max(n, 1L);
  return sum;
}

// Whether the glass over `area` is made of what lies beneath: its mean colour is that of the
// client around the area (the blur's reach, about 12 points), lightened by the frosted tint (a
// third of the way to white).
bool glassComesFrom(const Image& client, const Image& overlay, const Rect& area) {
  const auto below = meanColour(client, area.insetBy(-12, -12)), glass = meanColour(overlay, area);
  for (int c = 0; c < 3; ++c) {
    const double expected = below[c] + (249 - below[c]) * 0.35;
    if (std::abs(glass[c] - expected) > 6) return false;
  }
  return true;
}

void savePng(const Image& image, const std::string& name) {
  std::filesystem::create_directories(VELVIX_X11_SCREENSHOTS);
  const std::string base = std::string(VELVIX_X11_SCREENSHOTS) + "/" + name;
  {
    std::ofstream out(base + ".ppm", std::ios::binary);
    out << "P6\n" << image.width << ' ' << image.height << "\n255\n";
    for (std::uint32_t p : image.pixels) {
      const char rgb[3] = {char((p >> 16) & 0xFF), char((p >> 8) & 0xFF), char(p & 0xFF)};
      out.write(rgb, 3);
    }
  }
  // PNG when ImageMagick is there; the PPM stays otherwise.
  const std::string command = "convert '" + base + ".ppm' '" + base + ".png' 2>/dev/null";
  if (std::system(command.c_str()) == 0) std::filesystem::remove(base + ".ppm");
}

class EndToEnd : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    std::string whyNot;
    // The server without a window manager offers no shared memory either, as one reached over
    // the network does: the pixels then travel in the requests themselves.
    session_ = XvfbSession::start(GetParam(), whyNot, "1280x800x24",
                                  GetParam() ? std::vector<std::string>{}
                                             : std::vector<std::string>{"-extension", "MIT-SHM"});
    if (!session_) GTEST_SKIP() << "no X server for this test: " << whyNot;
    desktop_ = X11Desktop::connect(session_->display().c_str());
    ASSERT_TRUE(desktop_) << "cannot connect to " << session_->display();
    ASSERT_EQ(desktop_->connection().extensions().shm, GetParam());
    startWhatsApp();
  }

  void startWhatsApp(const std::vector<std::string>& options = {},
                     const std::string& cls = "WhatsApp", const std::string& title = "WhatsApp") {
    client_ = startClient(cls, title, kClientGeometry, clientWindow_, options);
    ASSERT_TRUE(client_);
    // Drawn once its rail shows on screen.
    ASSERT_TRUE(waitFor([&] {
      const auto found = whatsApp();
      if (!found) return false;
      const Image shot = screenshot();
      return shot.at(static_cast<int>(found->frame.minX()) + 4,
                     static_cast<int>(found->frame.minY()) + 4) == 0xF0F2F5;
    })) << "the stand-in client never showed; "
        << describeWindows();
  }

  // Ends the stand-in WhatsApp and, once its window is gone, starts another (the server may give
  // the new window the same number).
  void restartWhatsApp(const std::vector<std::string>& options, const std::string& cls = "WhatsApp",
                       const std::string& title = "WhatsApp") {
    client_.reset();
    ASSERT_TRUE(waitFor([&] { return !whatsApp(); })) << describeWindows();
    startWhatsApp(options, cls, title);
  }

  void TearDown() override {
    panel_.reset();
    desktop_.reset();
    client_.reset();
    session_.reset();
  }

  std::unique_ptr<ChildProcess> startClient(const std::string& cls, const std::string& title,
                                            const Rect& geometry, Window& window,
                                            const std::vector<std::string>& options = {}) {
    std::ostringstream g;
    g << geometry.width() << 'x' << geometry.height() << '+' << geometry.minX() << '+'
      << geometry.minY();
    std::vector<std::string> argv = {
        VELVIX_FAKE_WHATSAPP, "--geometry", g.str(), "--class", cls, "--title", title};
    // The plain picture: sharp text and pictures in every area, so that every blur shows.
    argv.push_back("--plain");
    argv.insert(argv.end(), options.begin(), options.end());
    auto child = ChildProcess::spawn(argv, session_->display());
    if (!child) return nullptr;
    const auto line = child->readLine(10s);
    if (!line) return nullptr;
    window = std::stoul(*line, nullptr, 16);
    return child;
  }

  Display* display() { return desktop_->connection().display(); }

  std::string describeWindows() {
    std::ostringstream out;
    out << "windows:";
    if (const auto entries = desktop_->windowServer().onScreenWindows()) {
      for (const auto& e : *entries) {
        const std::string* owner = e.ownerName.asString();
        out << " [" << e.number.asUInt32().value_or(0) << ' ' << (owner ? *owner : "?") << ' '
            << e.bounds.asRect().value_or(Rect::null()) << ']';
      }
    }
    return out.str();
  }

  void pump() {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    desktop_->connection().dispatchPending();
  }

  bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout = 10s) {
    return testing::pollUntil(
        done, [&] { pump(); }, timeout);
  }

  std::optional<WhatsAppWindow> whatsApp(Point mouse = {-1, -1}) {
    return WhatsAppWindow::current(desktop_->windowServer(), mouse);
  }

  Image screenshot() {
    XSync(display(), False);
    const int w = DisplayWidth(display(), DefaultScreen(display()));
    const int h = DisplayHeight(display(), DefaultScreen(display()));
    XImage* shot =
        XGetImage(display(), DefaultRootWindow(display()), 0, 0, static_cast<unsigned>(w),
                  static_cast<unsigned>(h), AllPlanes, ZPixmap);
    Image image(w, h);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        image.at(x, y) = XGetPixel(shot, x, y) & 0xFFFFFF;
    XDestroyImage(shot);
    return image;
  }

  // The stacking of the root's children, bottom to top, as the server has it.
  std::vector<Window> stacking() {
    Window root = None, parent = None;
    Window* children = nullptr;
    unsigned int count = 0;
    std::vector<Window> out;
    if (XQueryTree(display(), DefaultRootWindow(display()), &root, &parent, &children, &count)) {
      out.assign(children, children + count);
      if (children) XFree(children);
    }
    return out;
  }

  Window topLevelOf(Window window) {
    while (true) {
      Window root = None, parent = None;
      Window* children = nullptr;
      unsigned int count = 0;
      if (!XQueryTree(display(), window, &root, &parent, &children, &count)) return None;
      if (children) XFree(children);
      if (parent == root) return window;
      window = parent;
    }
  }

  // Where the server has put a window, in root coordinates, asked through xwininfo so the
  // answer does not come from the code under test.
  Rect serverGeometry(Window window) {
    const std::string command = "DISPLAY=" + session_->display() + " xwininfo -id " +
                                std::to_string(window) + " 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return Rect::null();
    int x = 0, y = 0, w = 0, h = 0;
    char line[256];
    while (fgets(line, sizeof line, pipe)) {
      std::sscanf(line, " Absolute upper-left X: %d", &x);
      std::sscanf(line, " Absolute upper-left Y: %d", &y);
      std::sscanf(line, " Width: %d", &w);
      std::sscanf(line, " Height: %d", &h);
    }
    pclose(pipe);
    return Rect(x, y, w, h);
  }

  int xdotool(const std::string& arguments) {
    const std::string command = "DISPLAY=" + session_->display() + " xdotool " + arguments;
    return std::system(command.c_str());
  }

  unsigned long clicksOf(Window window) {
    const auto values = desktop_->connection().cardinals(
        window, XInternAtom(display(), "_VELVIX_CLICKS", False), XA_CARDINAL);
    return values && !values->empty() ? values->front() : 0;
  }

  // Places the overlay over WhatsApp with the given patches (window-relative) and draws it.
  void showOverlay(const WhatsAppWindow& window, std::span<const MaskShape> patches) {
    panel_ = desktop_->toolkit().makeOverlayPanel();
    panel_->setFrame(flippedForScreen(window.frame, desktop_->windowServer()));
    panel_->orderAbove(window.id);
    views_.clear();
    for (const MaskShape& patch : patches)
      addPatch(patch);
    panel_->displayNow();
    XSync(display(), False);
  }

  void addPatch(const MaskShape& patch) {
    views_.push_back(panel_->addBlurView());
    views_.back()->setFrame(patch.rect);
    views_.back()->setMask(patch.shape);
  }

  // The part of a patch every shape covers, on screen: the rectangle inset past the round
  // corners, or the middle half of an ellipse.
  static Rect interior(const WhatsAppWindow& window, const MaskShape& patch) {
    const Rect r = patch.shape == Shape::circle
                       ? patch.rect.insetBy(patch.rect.width() / 4, patch.rect.height() / 4)
                       : patch.rect.insetBy(kPatchCornerRadius, kPatchCornerRadius / 2);
    return r.offsetBy(window.frame.minX(), window.frame.minY());
  }

  // Shows the overlay with `patches` over the client shot in `before`, and waits until the glass
  // over each is made of the client's pixels (it settles once the client has painted into its
  // redirected pixmap). The screen is left in `after`.
  void expectGlassOf(const WhatsAppWindow& window, std::span<const MaskShape> patches,
                     const Image& before, Image& after) {
    showOverlay(window, patches);
    EXPECT_TRUE(waitFor([&] {
      after = screenshot();
      return std::all_of(patches.begin(), patches.end(), [&](const MaskShape& patch) {
        return glassComesFrom(before, after, interior(window, patch));
      });
    })) << "the glass is not made of the client's pixels; "
        << [&] {
             std::ostringstream out;
             for (const MaskShape& patch : patches) {
               const auto b = meanColour(before, interior(window, patch).insetBy(-12, -12)),
                          a = meanColour(after, interior(window, patch));
               out << "[" << b[0] << ' ' << b[1] << ' ' << b[2] << " -> " << a[0] << ' ' << a[1]
                   << ' ' << a[2] << "] ";
             }
             return out.str();
           }();
  }

  std::string name(const std::string& what) const {
    return what + (GetParam() ? "-openbox" : "-bare");
  }

  std::unique_ptr<XvfbSession> session_;
  std::unique_ptr<X11Desktop> desktop_;
  std::unique_ptr<ChildProcess> client_;
  Window clientWindow_ = None;
  std::unique_ptr<platform::Panel> panel_;
  std::vector<std::unique_ptr<platform::BlurView>> views_;
};

const MaskShape kPatches[] = {
    {Rect(64 + 74, 84, 280, 72 * 5), Shape::rounded},     // names and previews of five chats
    {Rect(64 + 12, 84 + 10, 50, 50), Shape::circle},      // a chat's picture
    {Rect(425 + 30, 140, 420, 300), Shape::rounded},      // messages
    {Rect(425 + 60, 700 - 50, 400, 38), Shape::rounded},  // the composer
};

TEST_P(EndToEnd, ListsTheClientAsWhatsAppWithItsClientArea) {
  const auto found = whatsApp();
  ASSERT_TRUE(found);
  EXPECT_EQ(found->id, clientWindow_);
  EXPECT_EQ(found->pid, client_->pid());
  EXPECT_EQ(found->frame, serverGeometry(clientWindow_));
  if (!session_->hasWindowManager()) {
    EXPECT_EQ(found->frame, kClientGeometry);
  }
  EXPECT_FALSE(found->windowAbove) << describeWindows();  // nothing in front of it yet

  Window cover = None;
  auto other = startClient("Other", "Cover", Rect(400, 300, 300, 300), cover, {"--no-pid"});
  ASSERT_TRUE(other);
  ASSERT_TRUE(waitFor([&] { return whatsApp() && whatsApp()->windowAbove == cover; }))
      << "the new window never came directly in front of WhatsApp; " << describeWindows();
  const auto entries = desktop_->windowServer().onScreenWindows();
  const auto entry = std::find_if(entries->begin(), entries->end(),
                                  [&](const auto& e) { return e.number.asUInt32() == cover; });
  ASSERT_NE(entry, entries->end());
  EXPECT_EQ(entry->ownerName, platform::EntryField("Other"));
  EXPECT_EQ(entry->ownerPID.asInt32(), 0);  // says no pid: someone else's
  // A client's class changed later is seen without any other change to its window.
  ASSERT_EQ(xdotool("set_window --class Renamed " + std::to_string(cover)), 0);
  EXPECT_TRUE(waitFor([&] {
    const auto now = desktop_->windowServer().onScreenWindows();
    return std::any_of(now->begin(), now->end(), [&](const auto& e) {
      return e.number.asUInt32() == cover && e.ownerName == platform::EntryField("Renamed");
    });
  })) << describeWindows();

  const Rect coverFrame = serverGeometry(cover);
  const auto behind = whatsApp(Point{coverFrame.midX(), coverFrame.midY()});
  ASSERT_TRUE(behind);
  EXPECT_FALSE(behind->isUnderMouse);  // the pointer is on the window in front
  EXPECT_TRUE(whatsApp(Point{150, 500})->isUnderMouse);

  // A window made wholly transparent hides nothing; the faintest opacity hides it again.
  for (const unsigned long opacity : {0UL, 1UL}) {
    XChangeProperty(display(), cover, XInternAtom(display(), "_NET_WM_WINDOW_OPACITY", False),
                    XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&opacity), 1);
    XSync(display(), False);
    EXPECT_TRUE(waitFor([&] {
      const auto now = whatsApp(Point{coverFrame.midX(), coverFrame.midY()});
      return now && now->isUnderMouse == (opacity == 0);
    })) << "opacity "
        << opacity;
  }

  // A pop-up (a menu, a tooltip) lies above the windows and hides nothing from the pointer.
  XSetWindowAttributes popUp{};
  popUp.override_redirect = True;
  const Window menu =
      XCreateWindow(display(), DefaultRootWindow(display()), 150, 450, 120, 100, 0, CopyFromParent,
                    InputOutput, CopyFromParent, CWOverrideRedirect, &popUp);
  XMapRaised(display(), menu);
  XSync(display(), False);
  ASSERT_TRUE(waitFor([&] {
    const auto now = desktop_->windowServer().onScreenWindows();
    return std::any_of(now->begin(), now->end(),
                       [&](const auto& e) { return e.number.asUInt32() == menu; });
  })) << describeWindows();
  EXPECT_TRUE(whatsApp(Point{200, 500})->isUnderMouse);
  XDestroyWindow(display(), menu);

  // Under a Wayland session only XWayland's windows are listed: WhatsApp may be missing.
  const struct {
    const char *waylandDisplay, *sessionType;
    bool misses;
  } sessions[] = {{nullptr, nullptr, false},
                  {"", "x11", false},
                  {"wayland-0", nullptr, true},
                  {nullptr, "wayland", true}};
  for (const auto& c : sessions) {
    SCOPED_TRACE(::testing::Message() << (c.waylandDisplay ? c.waylandDisplay : "unset") << ", "
                                      << (c.sessionType ? c.sessionType : "unset"));
    for (const auto& [name, value] : {std::pair{"WAYLAND_DISPLAY", c.waylandDisplay},
                                      std::pair{"XDG_SESSION_TYPE", c.sessionType}})
      value ? setenv(name, value, 1) : unsetenv(name);
    EXPECT_EQ(desktop_->windowServer().missesNativeWindows(), c.misses);
  }
  unsetenv("WAYLAND_DISPLAY");
  unsetenv("XDG_SESSION_TYPE");
}

// A browser window's class says nothing; WhatsApp's title makes it WhatsApp, and its process
// counts as WhatsApp running until it ends.
TEST_P(EndToEnd, AClientTitledAsWhatsAppIsWhatsAppWhateverItsClass) {
  ASSERT_NO_FATAL_FAILURE(restartWhatsApp({}, "Chromium", "(3) WhatsApp"));
  const pid_t pid = client_->pid();
  const auto found = whatsApp();
  ASSERT_TRUE(found);
  EXPECT_EQ(found->id, clientWindow_);
  EXPECT_EQ(found->pid, pid);
  const auto running = [&] {
    const auto apps = desktop_->windowServer().runningApplications("net.whatsapp.WhatsApp");
    return std::any_of(apps.begin(), apps.end(), [&](const auto& a) { return a.pid == pid; });
  };
  EXPECT_TRUE(running());
  client_.reset();
  EXPECT_TRUE(waitFor([&] { return !running(); })) << "an ended process still runs WhatsApp";
}

// While nothing happens, Qt's loop sleeps: the connection wakes it only for what X sends.
TEST_P(EndToEnd, TheLoopSleepsWhileNothingHappens) {
  ASSERT_TRUE(whatsApp());
  int sleeps = 0;
  const auto counted = QObject::connect(QAbstractEventDispatcher::instance(),
                                        &QAbstractEventDispatcher::aboutToBlock, [&] { ++sleeps; });
  QEventLoop loop;
  QTimer::singleShot(500, &loop, &QEventLoop::quit);
  loop.exec();
  QObject::disconnect(counted);
  EXPECT_LT(sleeps, 50) << "the loop kept waking";
}

TEST_P(EndToEnd, OverlayBlursEveryPatchLeavesTheRestAndLetsClicksThrough) {
  const auto found = whatsApp();
  ASSERT_TRUE(found);
  const Image before = screenshot();
  Image after;
  expectGlassOf(*found, kPatches, before, after);
  savePng(before, name("client"));
  savePng(after, name("overlay"));

  EXPECT_EQ(serverGeometry(static_cast<Window>(panel_->windowNumber())), found->frame);
  const Bitmap mask = rasterizeMask(static_cast<int>(found->frame.width()),
                                    static_cast<int>(found->frame.height()), kPatches);
  long changedOutside = 0, outside = 0;
  for (int y = 0; y < before.height; ++y) {
    for (int x = 0; x < before.width; ++x) {
      const int wx = x - static_cast<int>(found->frame.minX());
      const int wy = y - static_cast<int>(found->frame.minY());
      if (mask.at(wx, wy)) continue;
      ++outside;
      if (before.at(x, y) != after.at(x, y)) ++changedOutside;
    }
  }
  EXPECT_GT(outside, 0);
  EXPECT_EQ(changedOutside, 0) << "pixels outside the patches differ from the client's";

  for (const MaskShape& patch : kPatches) {
    const Rect onScreen = interior(*found, patch);
    const double sharp = localContrast(before, onScreen), blurred = localContrast(after, onScreen);
    SCOPED_TRACE(::testing::Message()
                 << "patch " << patch.rect << ": " << sharp << " -> " << blurred);
    EXPECT_GT(sharp, 5.0) << "the client shows too little here to tell a blur";
    EXPECT_LE(blurred * 10, sharp);
  }

  // A click on a patch reaches the client beneath.
  const Point onPatch{found->frame.minX() + kPatches[2].rect.midX(),
                      found->frame.minY() + kPatches[2].rect.midY()};
  ASSERT_EQ(xdotool("mousemove " + std::to_string(int(onPatch.x)) + " " +
                    std::to_string(int(onPatch.y)) + " click 1"),
            0);
  EXPECT_TRUE(waitFor([&] { return clicksOf(clientWindow_) == 1; }))
      << "the click did not reach the client";
}

// On a desktop scaled by two, frames and patches are in points and the panel works in device
// pixels: its shape is each patch at twice the size, its corners twice as round, and no more.
TEST_P(EndToEnd, OnADesktopScaledByTwoThePanelCoversThePatchesInDevicePixels) {
  ASSERT_EQ(std::system(
                ("echo 'Xft.dpi: 192' | DISPLAY=" + session_->display() + " xrdb -merge").c_str()),
            0);
  desktop_ = X11Desktop::connect(session_->display().c_str());
  ASSERT_TRUE(desktop_);
  ASSERT_EQ(desktop_->connection().scale(), 2);
  const auto halved = [](const Rect& r) {
    return Rect(r.minX() / 2, r.minY() / 2, r.width() / 2, r.height() / 2);
  };
  const auto found = whatsApp();
  ASSERT_TRUE(found);
  const Rect client = serverGeometry(clientWindow_);
  EXPECT_EQ(found->frame, halved(client));

  std::vector<MaskShape> inPoints, inPixels;
  for (const MaskShape& p : kPatches) {
    inPoints.push_back({halved(p.rect), p.shape});
    inPixels.push_back({p.rect, p.shape, kPatchCornerRadius * 2});
  }
  showOverlay(*found, inPoints);
  const Window panel = static_cast<Window>(panel_->windowNumber());
  EXPECT_EQ(serverGeometry(panel), client);
  int count = 0, ordering = 0;
  XRectangle* rects = XShapeGetRectangles(display(), panel, ShapeBounding, &count, &ordering);
  Bitmap shape(static_cast<int>(client.width()), static_cast<int>(client.height()));
  for (int i = 0; i < count; ++i) {
    for (int y = rects[i].y; y < rects[i].y + rects[i].height; ++y)
      shape.setRun(y, rects[i].x, rects[i].x + rects[i].width);
  }
  if (rects) XFree(rects);
  const Bitmap expected = rasterizeMask(shape.width(), shape.height(), inPixels);
  EXPECT_TRUE(shape == expected) << "the panel's shape is not the patches in device pixels";
}

// Chromium-based clients often take a 32-bit visual with an alpha channel, and paint it opaque:
// the glass is made of their pixels all the same.
TEST_P(EndToEnd, GlassIsMadeOfAClientWithAnAlphaChannelToo) {
  ASSERT_NO_FATAL_FAILURE(restartWhatsApp({"--alpha"}));
  XWindowAttributes attributes{};
  ASSERT_TRUE(XGetWindowAttributes(display(), clientWindow_, &attributes));
  ASSERT_EQ(attributes.depth, 32) << "the server offers no 32-bit visual";
  const auto found = whatsApp();
  ASSERT_TRUE(found);
  const Image before = screenshot();
  Image after;
  expectGlassOf(*found, kPatches, before, after);
  savePng(after, name("overlay-alpha"));
}

// A window not recognised as WhatsApp may lie exactly under the panel too (the app then blurs
// it as the layout says): the glass is made of its pixels all the same.
TEST_P(EndToEnd, GlassIsMadeOfAnUnrecognisedWindowToo) {
  WhatsAppWindow other;
  Window id = None;
  auto client = startClient("Other", "Other", Rect(200, 60, 1000, 700), id);
  ASSERT_TRUE(client);
  other.id = static_cast<std::uint32_t>(id);
  ASSERT_TRUE(waitFor([&] {
    other.frame = serverGeometry(id);
    return screenshot().at(static_cast<int>(other.frame.minX()) + 4,
                           static_cast<int>(other.frame.minY()) + 4) == 0xF0F2F5;
  })) << describeWindows();
  const Image before = screenshot();
  Image after;
  expectGlassOf(other, kPatches, before, after);
}

// WhatsApp made taller, or wider, under the panel that already frosts it: once the panel is
// moved over it again, the glass over the new rows or columns is made of what they show, not
// of the edge of the smaller window.
TEST_P(EndToEnd, GlassOverWhatsAppMadeTallerOrWiderIsMadeOfWhatItShowsThere) {
  const std::string client = std::to_string(clientWindow_);
  const struct {
    const char *name, *smaller;
    MaskShape added;  // in the rows or columns the window gains
  } cases[] = {
      {"taller", "1000 600", {Rect(64 + 12, 610, 50, 80), Shape::rounded}},  // chats' pictures
      {"wider", "880 700", {Rect(890, 150, 90, 300), Shape::rounded}},       // messages
  };
  const auto sized = [&](const std::string& size) {
    EXPECT_EQ(xdotool("windowsize --sync " + client + " " + size), 0);
    std::optional<WhatsAppWindow> found;
    const double w = std::stod(size), h = std::stod(size.substr(size.find(' ')));
    EXPECT_TRUE(waitFor([&] {
      found = whatsApp();
      return found && found->frame.width() == w && found->frame.height() == h;
    })) << describeWindows();
    return found;
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    views_.clear();
    panel_.reset();
    const auto small = sized(c.smaller);
    ASSERT_TRUE(small);
    // Shown, and painted, from a picture of the smaller window.
    const Rect chats = interior(*small, kPatches[0]);
    Image smallShot, shown;
    ASSERT_TRUE(waitFor([&] {
      smallShot = screenshot();
      return localContrast(smallShot, chats) > 5.0;
    }));
    expectGlassOf(*small, std::span(kPatches).first(1), smallShot, shown);

    panel_->orderOut();
    const Rect added = c.added.rect.offsetBy(small->frame.minX(), small->frame.minY());
    const auto outside = meanColour(screenshot(), added);
    const auto large = sized("1000 700");
    ASSERT_TRUE(large);
    Image before;
    ASSERT_TRUE(waitFor([&] {
      const Image last = std::exchange(before, screenshot());
      return before.pixels == last.pixels && meanColour(before, added) != outside;
    })) << "the client did not paint what it gained";
    panel_->setFrame(flippedForScreen(large->frame, desktop_->windowServer()));
    addPatch(c.added);
    panel_->orderAbove(large->id);
    panel_->displayNow();
    Image after;
    EXPECT_TRUE(waitFor([&] {
      after = screenshot();
      return glassComesFrom(before, after, interior(*large, c.added));
    })) << "the glass over what the window gained is not made of it";
    savePng(after, name(std::string("grown-") + c.name));
  }
}

// Where no window lies exactly under the panel (WhatsApp moved on before the panel followed),
// there are no pixels to make glass of: every pixel of the patches is plain.
TEST_P(EndToEnd, PatchesOverNoWindowArePlainInEveryPixel) {
  const auto found = whatsApp();
  ASSERT_TRUE(found);
  Image before = screenshot(), after;
  expectGlassOf(*found, kPatches, before, after);
  const Rect moved = found->frame.offsetBy(40, -20);
  panel_->setFrame(flippedForScreen(moved, desktop_->windowServer()));
  // And one from the panel's top edge, as the conversation's header may be.
  std::vector<MaskShape> patches(std::begin(kPatches), std::end(kPatches));
  patches.push_back({Rect(425 + 100, 0, 300, 60), Shape::rounded});
  addPatch(patches.back());
  panel_->displayNow();
  const Bitmap mask =
      rasterizeMask(static_cast<int>(moved.width()), static_cast<int>(moved.height()), patches);
  long notPlain = 0;
  EXPECT_TRUE(waitFor([&] {
    const Image shot = screenshot();
    notPlain = 0;
    for (int y = 0; y < mask.height(); ++y) {
      for (int x = 0; x < mask.width(); ++x) {
        const int sx = x + static_cast<int>(moved.minX()), sy = y + static_cast<int>(moved.minY());
        // 0xE4E4E4: the plain glass's grey.
        if (mask.at(x, y) && sx < shot.width && sy < shot.height && shot.at(sx, sy) != 0xE4E4E4)
          ++notPlain;
      }
    }
    return notPlain == 0;
  })) << notPlain
      << " pixels of the patches are not plain";
  savePng(screenshot(), name("over-no-window"));
}

TEST_P(EndToEnd, GlassFollowsTheClientsRepaints) {
  const auto found = whatsApp();
  ASSERT_TRUE(found);
  showOverlay(*found, kPatches);
  const Rect messages = kPatches[2].rect.offsetBy(found->frame.minX(), found->frame.minY());
  const Image first = screenshot();
  // The client scrolls its messages; the glass over them must change without being asked.
  ASSERT_EQ(xdotool("mousemove " + std::to_string(int(messages.midX())) + " " +
                    std::to_string(int(messages.midY())) + " click 4 click 4"),
            0);
  EXPECT_TRUE(waitFor([&] {
    const Image now = screenshot();
    for (int y = int(messages.minY()) + 10; y < int(messages.maxY()) - 10; ++y)
      for (int x = int(messages.minX()) + 10; x < int(messages.maxX()) - 10; ++x)
        if (now.at(x, y) != first.at(x, y)) return true;
    return false;
  })) << "the glass did not follow the client's repaint";
  savePng(screenshot(), name("after-scroll"));
}

// The options offer the blur strength because this panel draws it: each strength is glass of
// its own, the stronger smoother.
TEST_P(EndToEnd, EachOfferedStrengthIsAGlassOfItsOwn) {
  const auto found = whatsApp();
  ASSERT_TRUE(found);
  const Image client = screenshot();
  Image shown;
  expectGlassOf(*found, kPatches, client, shown);
  ASSERT_TRUE(panel_->offersBlurStrength());
  const Rect messages = interior(*found, kPatches[2]);
  double before = localContrast(shown, messages);
  for (const BlurStrength strength : {BlurStrength::light, BlurStrength::strong}) {
    panel_->setBlurStrength(strength);
    const Image previous = shown;
    EXPECT_TRUE(waitFor([&] {
      shown = screenshot();
      return localContrast(shown, messages) != localContrast(previous, messages);
    })) << "the glass stayed as it was at "
        << velvix::name(strength);
    const double now = localContrast(shown, messages);
    EXPECT_EQ(now < before, strength == BlurStrength::strong)
        << velvix::name(strength) << ": " << before << " -> " << now;
    before = now;
  }
}

TEST_P(EndToEnd, StaysDirectlyAboveWhatsAppWhenAWindowComesBetween) {
  const auto found = whatsApp();
  ASSERT_TRUE(found);
  showOverlay(*found, kPatches);
  const Window frame = topLevelOf(clientWindow_);
  const Window panel = static_cast<Window>(panel_->windowNumber());
  const auto directlyAbove = [&] {
    const auto order = stacking();
    const auto f = std::find(order.begin(), order.end(), frame);
    return f != order.end() && f + 1 != order.end() && *(f + 1) == panel;
  };
  ASSERT_TRUE(waitFor(directlyAbove));
  EXPECT_EQ(whatsApp()->windowAbove, static_cast<std::uint32_t>(panel));

  // Another client's popup slips in between WhatsApp and the overlay.
  Display* other = XOpenDisplay(session_->display().c_str());
  ASSERT_TRUE(other);
  XSetWindowAttributes attributes{};
  attributes.override_redirect = True;
  const Window popup =
      XCreateWindow(other, DefaultRootWindow(other), 300, 300, 200, 200, 0, CopyFromParent,
                    InputOutput, CopyFromParent, CWOverrideRedirect, &attributes);
  XMapWindow(other, popup);
  XWindowChanges changes{};
  changes.sibling = frame;
  changes.stack_mode = Above;
  XConfigureWindow(other, popup, CWSibling | CWStackMode, &changes);
  XSync(other, False);

  EXPECT_TRUE(waitFor([&] {
    const auto order = stacking();
    return directlyAbove() && std::find(order.begin(), order.end(), popup) != order.end();
  })) << "the overlay did not return directly above WhatsApp";
  XCloseDisplay(other);
}

TEST_P(EndToEnd, OrderingOutHidesAndOrderingFrontRaises) {
  const auto found = whatsApp();
  ASSERT_TRUE(found);
  showOverlay(*found, kPatches);
  const Window panel = static_cast<Window>(panel_->windowNumber());
  panel_->orderOut();
  EXPECT_FALSE(panel_->isVisible());
  EXPECT_TRUE(waitFor([&] {
    XWindowAttributes a;
    return XGetWindowAttributes(display(), panel, &a) && a.map_state == IsUnmapped;
  }));
  // The server repaints the client's redirected pixels into the uncovered area on its own
  // time, a moment after the unmap.
  const Rect chats = kPatches[0].rect.offsetBy(found->frame.minX(), found->frame.minY());
  EXPECT_TRUE(waitFor([&] { return localContrast(screenshot(), chats.insetBy(10, 5)) > 5.0; }))
      << "the client is not plain to see";

  panel_->orderFrontRegardless();
  EXPECT_TRUE(waitFor([&] { return !stacking().empty() && stacking().back() == panel; }));
}

TEST_P(EndToEnd, GuidesShowColumnsAndOutlinesOverTheClient) {
  const auto found = whatsApp();
  ASSERT_TRUE(found);
  const Image before = screenshot();
  showOverlay(*found, {});
  const Rect outline(200, 100, 300, 200);
  const double column = 424;
  panel_->setGuidesHidden(false);
  // Shown and hidden without being asked to draw: the panel redraws for its guides.
  panel_->setGuides(std::span(&outline, 1), std::span(&column, 1));
  const int ox = static_cast<int>(found->frame.minX()), oy = static_cast<int>(found->frame.minY());
  const struct {
    int x, y;
    std::uint32_t colour;  // 0: the client's own
  } expected[] = {
      {424, 2, 0x34C759u},    // a dash of the column line
      {424, 7, 0},            // its gap
      {200, 150, 0xFF2D55u},  // the outline's left edge
      {499, 299, 0xFF2D55u},  // its far corner
      {350, 200, 0},          // inside: untouched
  };
  // Starting the capture has the client repaint (see X11Glass.hpp), on its own time.
  const auto shows = [&](const Image& image, bool guides) {
    return std::all_of(std::begin(expected), std::end(expected), [&](const auto& e) {
      const std::uint32_t own = before.at(ox + e.x, oy + e.y);
      return image.at(ox + e.x, oy + e.y) == (guides && e.colour ? e.colour : own);
    });
  };
  Image after;
  EXPECT_TRUE(waitFor([&] { return shows(after = screenshot(), true); }));
  savePng(after, name("guides"));

  panel_->setGuidesHidden(true);
  EXPECT_TRUE(waitFor([&] { return shows(screenshot(), false); }));
}

TEST_P(EndToEnd, HearsEveryWheelNotchAndClickOnceAndThePointersMoves) {
  std::vector<double> notches;
  int clicks = 0, moves = 0;
  auto monitor = desktop_->toolkit().addGlobalScrollWheelMonitor(
      [&](const platform::ScrollWheelEvent& e) { notches.push_back(e.deltaY); });
  auto clickMonitor = desktop_->toolkit().addGlobalClickMonitor([&] { ++clicks; });
  auto pointerMonitor = desktop_->toolkit().addGlobalPointerMonitor([&] { ++moves; });
  ASSERT_TRUE(monitor) << "XInput2 refused the monitor";
  ASSERT_TRUE(clickMonitor && pointerMonitor);
  // A relative move comes through the input devices, as a mouse's does; a warp would not.
  ASSERT_EQ(xdotool("mousemove 300 400 mousemove_relative 5 5"), 0);
  EXPECT_TRUE(waitFor([&] { return moves > 0; })) << "a move went unheard";
  // Moves that come at once are told once: whoever listens looks at the pointer once anyway.
  XSync(display(), False);
  pump();
  pump();
  const int heard = moves;
  std::string twenty;
  for (int i = 0; i < 20; ++i)
    twenty += " mousemove_relative 1 0";
  ASSERT_EQ(xdotool(twenty), 0);
  XSync(display(), False);
  pump();
  pump();
  EXPECT_GE(moves - heard, 1);
  EXPECT_LE(moves - heard, 3) << "every move was told on its own";
  // The pointer's place is kept between moves, and asked again after one.
  const Point before = desktop_->windowServer().mouseLocation();
  ASSERT_EQ(xdotool("mousemove_relative 7 0"), 0);
  XSync(display(), False);
  EXPECT_EQ(desktop_->windowServer().mouseLocation().x, before.x + 7) << "a stale place";
  XSync(display(), False);
  pump();
  pump();
  const int movedBefore = moves;
  // Down, down, up: the content moves up twice, then down.
  ASSERT_EQ(xdotool("mousemove 300 400 click 5 click 5 click 4"), 0);
  EXPECT_TRUE(waitFor([&] { return notches.size() >= 3; }));
  // Everything the server sent before this round trip has arrived: no notch counted twice.
  XSync(display(), False);
  pump();
  pump();
  EXPECT_EQ(notches, (std::vector<double>{-1, -1, 1}));
  EXPECT_EQ(clicks, 0) << "a notch is no click";
  ASSERT_EQ(xdotool("click 1 click 3 click 8"), 0);
  EXPECT_TRUE(waitFor([&] { return clicks >= 1; }));
  XSync(display(), False);
  pump();
  pump();
  EXPECT_EQ(notches.size(), 3u) << "a click is no notch";
  EXPECT_EQ(clicks, 1) << "only the primary button counts";
  EXPECT_EQ(moves, movedBefore) << "notches and clicks are no moves";
}

// The shortcut works while WhatsApp has the focus, whatever locks are on; a key held down is
// one press; another program's combination is refused in words; a cancelled one is let go.
TEST_P(EndToEnd, AShortcutIsHeardOncePerPressWhateverTheLocks) {
  int presses = 0;
  auto shortcut = desktop_->toolkit().addGlobalShortcut("Ctrl+Alt+B", [&] { ++presses; });
  ASSERT_TRUE(shortcut.subscription) << shortcut.problem;
  ASSERT_EQ(xdotool("windowfocus --sync " + std::to_string(clientWindow_)), 0);
  const auto settled = [&] {  // every event the server sent has been handled
    XSync(display(), False);
    pump();
    pump();
  };
  const struct {
    const char* locks;
    const char* presses;
  } steps[] = {
      {"", "key ctrl+alt+b"},
      {"key Num_Lock", "key ctrl+alt+b"},
      {"key Caps_Lock", "key ctrl+alt+b"},
      {"key Num_Lock", "key ctrl+alt+b"},
      {"key Caps_Lock", "keydown ctrl+alt+b sleep 1 keyup ctrl+alt+b"},  // held: it repeats
  };
  for (int i = 0; i < static_cast<int>(std::size(steps)); ++i) {
    SCOPED_TRACE(::testing::Message() << steps[i].locks << ", " << steps[i].presses);
    if (*steps[i].locks) {
      ASSERT_EQ(xdotool(steps[i].locks), 0);
    }
    ASSERT_EQ(xdotool(steps[i].presses), 0);
    EXPECT_TRUE(waitFor([&] { return presses > i; }, 3s)) << "not heard";
    settled();
    EXPECT_EQ(presses, i + 1);
    presses = i + 1;
  }

  Display* other = XOpenDisplay(session_->display().c_str());
  ASSERT_TRUE(other);
  const auto grabbedByOther = [&](const char* key, unsigned modifiers) {
    static bool refused;
    refused = false;
    const XErrorHandler before = XSetErrorHandler([](Display*, XErrorEvent*) {
      refused = true;
      return 0;
    });
    XGrabKey(other, XKeysymToKeycode(other, XStringToKeysym(key)), modifiers,
             DefaultRootWindow(other), False, GrabModeAsync, GrabModeAsync);
    XSync(other, False);
    XSetErrorHandler(before);
    return !refused;
  };
  ASSERT_TRUE(grabbedByOther("x", ControlMask | ShiftMask));
  const auto taken = desktop_->toolkit().addGlobalShortcut("ctrl+shift+X", [] {});
  EXPECT_FALSE(taken.subscription);
  EXPECT_EQ(taken.problem, "Another program already uses ctrl+shift+X");
  EXPECT_FALSE(grabbedByOther("b", ControlMask | Mod1Mask)) << "Velvix's grab was not held";
  // Cancelled, a shortcut lets its keys go unless another shortcut holds the same ones; one of
  // the same key with other modifiers does not keep them.
  auto twin = desktop_->toolkit().addGlobalShortcut("Ctrl+Alt+B", [] {});
  auto sibling = desktop_->toolkit().addGlobalShortcut("Ctrl+Shift+B", [] {});
  ASSERT_TRUE(twin.subscription && sibling.subscription);
  shortcut.subscription.reset();
  XSync(display(), False);
  EXPECT_FALSE(grabbedByOther("b", ControlMask | Mod1Mask)) << "let go while another holds it";
  twin.subscription.reset();
  XSync(display(), False);
  EXPECT_TRUE(grabbedByOther("b", ControlMask | Mod1Mask)) << "cancelled but still held";
  XCloseDisplay(other);
}

TEST_P(EndToEnd, ActivationAndDesktopChangesAreWorkspaceNotifications) {
  if (!session_->hasWindowManager()) GTEST_SKIP() << "needs a window manager";
  int activations = 0, spaces = 0;
  auto a = desktop_->toolkit().observeWorkspace(platform::WorkspaceEvent::didActivateApplication,
                                                [&](platform::WorkspaceEvent) { ++activations; });
  auto s = desktop_->toolkit().observeWorkspace(platform::WorkspaceEvent::activeSpaceDidChange,
                                                [&](platform::WorkspaceEvent) { ++spaces; });
  Window cover = None;
  auto other = startClient("Other", "Cover", Rect(400, 300, 300, 300), cover);
  ASSERT_TRUE(other);
  ASSERT_EQ(xdotool("windowactivate --sync " + std::to_string(cover)), 0);
  EXPECT_TRUE(waitFor([&] { return activations >= 1; }));
  EXPECT_EQ(
      desktop_->windowServer().frontmostApplication().value_or(platform::RunningApplication{}).pid,
      other->pid());
  XSync(display(), False);
  pump();
  pump();
  EXPECT_EQ(spaces, 0) << "a new window or an activation is no change of desktop";
  // Rewritten with the value it has had since before Velvix started, it is no change either.
  const Atom current = XInternAtom(display(), "_NET_CURRENT_DESKTOP", False);
  const auto desktop =
      desktop_->connection().cardinals(DefaultRootWindow(display()), current, XA_CARDINAL);
  ASSERT_TRUE(desktop && desktop->size() == 1);
  XChangeProperty(display(), DefaultRootWindow(display()), current, XA_CARDINAL, 32,
                  PropModeReplace, reinterpret_cast<const unsigned char*>(desktop->data()), 1);
  XSync(display(), False);
  pump();
  pump();
  EXPECT_EQ(spaces, 0) << "the same desktop told as a change";

  ASSERT_EQ(xdotool("set_desktop 1"), 0);
  EXPECT_TRUE(waitFor([&] { return spaces == 1; }));
  // WhatsApp's window is on the other desktop now: not on screen.
  EXPECT_TRUE(waitFor([&] { return !whatsApp(); }));
}

// The whole overlay: the app's controller over this backend, following the stand-in client
// through the visibility rules.
TEST_P(EndToEnd, TheOverlayFollowsWhatsAppThroughMovesCoversMinimisingAndClosing) {
  ASSERT_EQ(xdotool("mousemove 5 5"), 0);  // off WhatsApp: nothing is revealed yet
  const Image client = screenshot();
  sim::MemoryDefaults defaults;
  AppSettings settings(defaults);
  sim::LogCapture log;
  OverlayController controller(settings,
                               OverlayPorts{desktop_->accessibility(), desktop_->windowServer(),
                                            desktop_->toolkit(), desktop_->scheduler(), log});
  controller.start();
  const Window panel = static_cast<Window>(controller.panel().windowNumber());
  const auto isMapped = [&] {
    XWindowAttributes a;
    return XGetWindowAttributes(display(), panel, &a) && a.map_state == IsViewable;
  };
  const auto liesOnClient = [&] {
    return isMapped() && serverGeometry(panel) == serverGeometry(clientWindow_);
  };
  const auto directlyAbove = [&] {
    const auto order = stacking();
    const auto f = std::find(order.begin(), order.end(), topLevelOf(clientWindow_));
    return f != order.end() && f + 1 != order.end() && *(f + 1) == panel;
  };

  // Shown over WhatsApp, in layout mode (no accessibility on Linux yet), every patch blurred.
  ASSERT_TRUE(waitFor(liesOnClient)) << describeWindows();
  EXPECT_EQ(controller.status(), ControllerStatus::protecting(false));
  const auto found = whatsApp();
  ASSERT_TRUE(found);
  const auto regions = BlurLayout::regions(found->frame.size, settings.metrics(),
                                           settings.options(), DetectedElements(), {});
  const auto blurs = BlurLayout::visibleBlurs(regions, std::nullopt);
  ASSERT_FALSE(blurs.empty());
  const auto onScreen = [&](const Rect& r) {
    return r.offsetBy(found->frame.minX(), found->frame.minY());
  };
  const VisibleBlur target =
      *std::max_element(blurs.begin(), blurs.end(), [](const auto& a, const auto& b) {
        return a.rect.width() * a.rect.height() < b.rect.width() * b.rect.height();
      });
  Image shown;
  int checked = 0;
  EXPECT_TRUE(waitFor([&] {
    shown = screenshot();
    const Rect largest = onScreen(target.rect.insetBy(kPatchCornerRadius, kPatchCornerRadius));
    if (!glassComesFrom(client, shown, largest)) return false;  // still plain, not yet glass
    checked = 0;
    for (const VisibleBlur& blur : blurs) {
      const Rect inner = onScreen(blur.rect.insetBy(kPatchCornerRadius, kPatchCornerRadius / 2));
      if (inner.isNull() || localContrast(client, inner) < 5) continue;
      if (localContrast(shown, inner) * 10 > localContrast(client, inner)) return false;
      ++checked;
    }
    return checked > 0;
  })) << "not every patch is blurred: "
      << [&] {
           std::ostringstream out;
           for (const VisibleBlur& blur : blurs) {
             const Rect inner =
                 onScreen(blur.rect.insetBy(kPatchCornerRadius, kPatchCornerRadius / 2));
             out << blur.rect << ' ' << localContrast(client, inner) << " -> "
                 << localContrast(shown, inner) << "; ";
           }
           return out.str();
         }();
  savePng(shown, name("controller-shown"));

  // Hovering reveals what lies beneath the pointer.
  const Point hover = {target.rect.midX(), target.rect.midY()};
  const auto revealed = BlurLayout::visibleBlurs(regions, hover);
  ASSERT_TRUE(std::none_of(revealed.begin(), revealed.end(),
                           [&](const VisibleBlur& b) { return b.rect.contains(hover); }));
  const Point hoverOnScreen{found->frame.minX() + hover.x, found->frame.minY() + hover.y};
  ASSERT_EQ(xdotool("mousemove " + std::to_string(int(hoverOnScreen.x)) + " " +
                    std::to_string(int(hoverOnScreen.y))),
            0);
  const Rect around(hoverOnScreen.x - 20, hoverOnScreen.y - 10, 40, 20);
  const auto matchesClient = [&](const Image& image) {
    for (int y = int(around.minY()); y < int(around.maxY()); ++y)
      for (int x = int(around.minX()); x < int(around.maxX()); ++x)
        if (image.at(x, y) != client.at(x, y)) return false;
    return true;
  };
  EXPECT_TRUE(waitFor([&] { return matchesClient(screenshot()); }))
      << "hovering did not reveal the content";
  savePng(screenshot(), name("controller-hover"));
  ASSERT_EQ(xdotool("mousemove 5 5"), 0);
  EXPECT_TRUE(waitFor([&] { return !matchesClient(screenshot()); }))
      << "leaving did not blur again";

  // Moves, resizes, desktops and window managers are the Desktop tests' `Follows` table, with
  // the real app.
  // Covered by another window: the overlay stays directly above WhatsApp, beneath the cover.
  Window cover = None;
  auto other = startClient("Other", "Cover", Rect(500, 300, 400, 300), cover);
  ASSERT_TRUE(other);
  EXPECT_TRUE(waitFor([&] {
    const auto order = stacking();
    const auto p = std::find(order.begin(), order.end(), panel);
    const auto c = std::find(order.begin(), order.end(), topLevelOf(cover));
    return directlyAbove() && p < c && c != order.end();
  })) << "the overlay is not between WhatsApp and the window covering it";
  savePng(screenshot(), name("controller-covered"));
  other.reset();

  // Minimised (with a window manager) or unmapped: the overlay goes, and comes back with it.
  if (session_->hasWindowManager()) {
    ASSERT_EQ(xdotool("windowminimize --sync " + std::to_string(clientWindow_)), 0);
  } else {
    ASSERT_EQ(xdotool("windowunmap --sync " + std::to_string(clientWindow_)), 0);
  }
  EXPECT_TRUE(waitFor([&] { return !isMapped(); }, 3s)) << "the overlay outstayed WhatsApp";
  EXPECT_EQ(controller.status(), ControllerStatus::waitingForWhatsApp());
  if (session_->hasWindowManager()) {
    ASSERT_EQ(xdotool("windowactivate --sync " + std::to_string(clientWindow_)), 0);
  } else {
    ASSERT_EQ(xdotool("windowmap --sync " + std::to_string(clientWindow_)), 0);
  }
  EXPECT_TRUE(waitFor(liesOnClient)) << "the overlay did not come back with WhatsApp";

  // Closed: the overlay goes for good.
  client_.reset();
  EXPECT_TRUE(waitFor([&] { return !isMapped(); }, 3s)) << "the overlay outstayed WhatsApp";
  EXPECT_EQ(controller.status(), ControllerStatus::waitingForWhatsApp());
  savePng(screenshot(), name("controller-closed"));
}

INSTANTIATE_TEST_SUITE_P(X11, EndToEnd, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? "Openbox" : "NoWindowManagerNorSharedMemory";
                         });

}  // namespace
}  // namespace velvix::x11

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);  // the loop the backend's scheduler runs on
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
