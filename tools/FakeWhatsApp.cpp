// velvix-fake-whatsapp: a stand-in for WhatsApp's desktop client, for tests and demos. An X
// window of class "WhatsApp" showing the Simulator's WhatsApp model, painted by its renderer
// (built with VELVIX_BUILD_PIXELS): the rail, the chat list, the open conversation and the
// composer, with real text. The wheel scrolls the list under the pointer.
//
// --plain draws a simpler picture instead, in which every area is full of sharp text and
// pictures, so that a blur over any of it shows (the end-to-end tests use it). Either way each
// left click is counted in the window's _VELVIX_CLICKS property, so a test can tell that a
// click reached it.
//
//   velvix-fake-whatsapp [--geometry WxH+X+Y] [--class NAME] [--title TITLE] [--no-pid] [--plain]
//                        [--dark] [--rail WIDTH] [--list WIDTH] [--loading] [--scale S] [--alpha]
//
// --dark, --rail and --list give the model WhatsApp's dark theme and other column widths, as
// its users may choose, so that measuring the layout from the pixels is tried on them.
// --loading shows WhatsApp's start-up screen and nothing else: a window with no layout to find.
// --scale draws the model at S device pixels per point, as a client on a scaled screen does.
// --alpha makes the window with a 32-bit visual that has an alpha channel, painted opaque, as
// Chromium-based clients often do.
//
// The same program makes the other windows tests need (--class Other --title Cover).

#if VELVIX_FAKE_WITH_MODEL
// Qt before Xlib: Xlib's macros (Bool, Status) break Qt's headers.
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <Simulator/Pixels/DesktopFrame.hpp>
#include <Simulator/WhatsAppModel.hpp>
#endif

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <poll.h>
#include <unistd.h>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

volatile std::sig_atomic_t stopRequested = 0;

// The rail and the chat list's width, as WhatsApp lays them out by default.
constexpr int kRail = 64;
constexpr int kChatList = 360;
constexpr int kHeader = 60;
constexpr int kComposer = 62;
constexpr int kRow = 72;

const char* const kNames[] = {"Alice Martin", "Bob's Garage", "Carla Diaz", "Dev Team",
                              "Eve Chen",     "Family",       "Gus Novak",  "Hanna Berg"};
const char* const kPreviews[] = {"See you at 7 tomorrow?",
                                 "Your car is ready for pickup",
                                 "Photo",
                                 "Deploy went fine, thanks!",
                                 "Call me when you can",
                                 "Mum: dinner on Sunday",
                                 "The invoice is attached",
                                 "Haha that's great"};
const char* const kMessages[] = {"Did you get the documents I sent this morning?",
                                 "Yes, signing them now, will send back in an hour",
                                 "Great. The bank needs the PIN 4471 before Friday",
                                 "Noted. Also the address is 12 Harbour Street",
                                 "Perfect, see you there at noon"};

struct App {
  Display* display = nullptr;
  Window window = None;
  int width = 1000, height = 700;
  Pixmap buffer = None;
  GC gc = nullptr;
  XFontStruct* font = nullptr;
  int chatScroll = 0, messageScroll = 0;
  bool loading = false;  // shows WhatsApp's start-up screen, forever
  unsigned long clicks = 0;
  Atom clicksAtom = None;
  Atom deleteAtom = None;

  Visual* visual = nullptr;
  int depth = 24;
  bool hasAlpha = false;  // a 32-bit visual, as Chromium-based clients often choose

  // True colour; opaque where the visual has an alpha channel, as such a client paints.
  unsigned long colour(unsigned rgb) const { return rgb | (hasAlpha ? 0xFF000000UL : 0); }

  void fill(unsigned rgb, int x, int y, int w, int h) {
    XSetForeground(display, gc, colour(rgb));
    XFillRectangle(display, buffer, gc, x, y, static_cast<unsigned>(std::max(w, 0)),
                   static_cast<unsigned>(std::max(h, 0)));
  }
  void text(unsigned rgb, int x, int y, const char* s) {
    XSetForeground(display, gc, colour(rgb));
    if (font) {
      XDrawString(display, buffer, gc, x, y, s, static_cast<int>(std::strlen(s)));
    } else {
      // Without a font, a barcode of the text stands in for its glyphs.
      for (int i = 0; s[i]; ++i)
        if (s[i] != ' ') XFillRectangle(display, buffer, gc, x + 6 * i, y - 8, 4, 9 - (s[i] % 4));
    }
  }
  // A "photo": a checkered disc or square, the sharpest thing a blur can hide.
  void picture(int x, int y, int size, bool round, unsigned seed) {
    XSetForeground(display, gc, colour(0x000000));
    for (int cy = 0; cy < size; cy += 6) {
      for (int cx = 0; cx < size; cx += 6) {
        const bool dark = ((cx + cy) / 6 + seed) % 2;
        const double dx = cx + 3 - size / 2.0, dy = cy + 3 - size / 2.0;
        if (round && dx * dx + dy * dy > size * size / 4.0) continue;
        XSetForeground(display, gc, colour(dark ? 0x1F5F8B : 0xF2C14E));
        XFillRectangle(display, buffer, gc, x + cx, y + cy, 6, 6);
      }
    }
  }

  void draw() {
#if VELVIX_FAKE_WITH_MODEL
    if (model) {
      drawModel();
      XCopyArea(display, buffer, window, gc, 0, 0, static_cast<unsigned>(width),
                static_cast<unsigned>(height), 0, 0);
      XFlush(display);
      return;
    }
#endif
    if (loading) {
      // WhatsApp starting up: its mark on a plain background, no columns yet.
      fill(0xF0F2F5, 0, 0, width, height);
      fill(0x00A884, width / 2 - 40, height / 2 - 60, 80, 80);
      text(0x667781, width / 2 - 30, height / 2 + 50, "WhatsApp");
      XCopyArea(display, buffer, window, gc, 0, 0, static_cast<unsigned>(width),
                static_cast<unsigned>(height), 0, 0);
      XFlush(display);
      return;
    }
    fill(0xFFFFFF, 0, 0, width, height);
    // Rail.
    fill(0xF0F2F5, 0, 0, kRail, height);
    for (int i = 0; i < 6; ++i)
      picture(16, 20 + i * 56, 32, true, static_cast<unsigned>(i));
    // Chat list, scrolled by chatScroll.
    const int listRight = std::min(kRail + kChatList, width);
    for (int i = 0; i < 40; ++i) {
      const int y = 84 + i * kRow - chatScroll;
      if (y + kRow < 84 || y > height) continue;
      picture(kRail + 12, y + 10, 50, true, static_cast<unsigned>(i));
      text(0x111B21, kRail + 74, y + 28, kNames[i % 8]);
      text(0x667781, kRail + 74, y + 50, kPreviews[(i + 3) % 8]);
      const std::string time = std::string("12:4") + char('0' + i % 10);
      text(0x667781, listRight - 56, y + 28, time.c_str());
      fill(0xE9EDEF, kRail + 74, y + kRow - 1, kChatList - 86, 1);
    }
    fill(0xFFFFFF, kRail, 0, kChatList, 80 - 4);  // the list scrolls under the title
    text(0x111B21, kRail + 16, 30, "Chats");
    fill(0xF0F2F5, kRail + 12, 44, kChatList - 24, 30);
    text(0x54656F, kRail + 24, 64, "Search or start a new chat");
    fill(0xD1D7DB, listRight, 0, 1, height);

    // Conversation.
    const int left = listRight + 1;
    fill(0xEFEAE2, left, 0, width - left, height);
    for (int i = 0; i < 60; ++i) {
      const int y = height - kComposer - 60 - i * 58 + messageScroll;
      if (y < kHeader - 58 || y > height) continue;
      const bool mine = i % 3 == 1;
      const int w = std::min(420, std::max(width - left - 80, 60));
      const int x = mine ? width - w - 30 : left + 30;
      fill(mine ? 0xD9FDD3 : 0xFFFFFF, x, y, w, 48);
      if (i % 7 == 4) {
        picture(x + 6, y + 4, 40, false, static_cast<unsigned>(i));
        text(0x111B21, x + 56, y + 28, "IMG_2044.jpg");
      } else {
        text(0x111B21, x + 10, y + 20, kMessages[i % 5]);
        text(0x667781, x + 10, y + 38, kMessages[(i + 2) % 5]);
      }
    }
    // Header and composer lie over the messages.
    fill(0xF0F2F5, left, 0, width - left, kHeader);
    picture(left + 16, 8, 44, true, 3);
    text(0x111B21, left + 72, 26, "Alice Martin");
    text(0x667781, left + 72, 46, "online");
    fill(0xF0F2F5, left, height - kComposer, width - left, kComposer);
    fill(0xFFFFFF, left + 60, height - kComposer + 12, width - left - 120, 38);
    text(0x3B4A54, left + 74, height - kComposer + 36, "I'll bring the contract and the keys");
    picture(left + 16, height - kComposer + 16, 30, true, 5);
    // The click counter, for the eye.
    char counter[48];
    std::snprintf(counter, sizeof counter, "clicks %lu", clicks);
    text(0x111B21, width - 120, height - 8, counter);
    XCopyArea(display, buffer, window, gc, 0, 0, static_cast<unsigned>(width),
              static_cast<unsigned>(height), 0, 0);
    XFlush(display);
  }

#if VELVIX_FAKE_WITH_MODEL
  // The model, when shown: it lays itself out in a window at the origin of its own desktop.
  std::unique_ptr<velvix::sim::Desktop> desktop;
  std::unique_ptr<velvix::sim::WhatsAppModel> model;

  void startModel() {
    desktop = std::make_unique<velvix::sim::Desktop>();
    desktop->windowServer().setScreens({velvix::Rect(0, 0, 8192, 8192)});
    velvix::sim::WhatsAppModelOptions options;
    options.measureText = velvix::pixels::measureText;
    model =
        std::make_unique<velvix::sim::WhatsAppModel>(*desktop, stateFor(width, height), options);
  }
  velvix::sim::WhatsAppState::Look look;
  double scale = 1;  // device pixels per point, as a client on a scaled screen draws
  velvix::sim::WhatsAppState stateFor(int w, int h) const {
    velvix::sim::WhatsAppState state = velvix::sim::WhatsAppState::sample();
    state.windowFrame = velvix::Rect(0, 0, w / scale, h / scale);
    state.look = look;
    return state;
  }
  void drawModel() {
    QImage image(width, height, QImage::Format_RGB32);  // 0xffRRGGBB: X's 24-bit true colour
    image.fill(Qt::white);
    {
      QPainter painter(&image);
      painter.setRenderHint(QPainter::Antialiasing);
      painter.scale(scale, scale);
      velvix::pixels::paintScene(painter, model->scene());
    }
    XImage* x =
        XCreateImage(display, visual, static_cast<unsigned>(depth), ZPixmap, 0,
                     reinterpret_cast<char*>(image.bits()), static_cast<unsigned>(width),
                     static_cast<unsigned>(height), 32, static_cast<int>(image.bytesPerLine()));
    XPutImage(display, buffer, gc, x, 0, 0, 0, 0, static_cast<unsigned>(width),
              static_cast<unsigned>(height));
    x->data = nullptr;  // the QImage owns the pixels
    XDestroyImage(x);
  }
#endif

  void resize(int w, int h) {
    if (buffer != None && w == width && h == height) return;
    width = std::max(w, 1), height = std::max(h, 1);
    if (buffer != None) XFreePixmap(display, buffer);
    buffer = XCreatePixmap(display, window, static_cast<unsigned>(width),
                           static_cast<unsigned>(height), static_cast<unsigned>(depth));
  }
};

bool parseGeometry(const char* s, int& w, int& h, int& x, int& y) {
  return std::sscanf(s, "%dx%d+%d+%d", &w, &h, &x, &y) == 4 && w > 0 && h > 0;
}

}  // namespace

int main(int argc, char** argv) {
  int x = 100, y = 80, w = 1000, h = 700;
  std::string cls = "WhatsApp", title = "WhatsApp";
  bool setsPid = true;
  bool plain = false, alpha = false;
  bool dark = false, loading = false;
  double rail = -1, list = -1, scale = 1;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--geometry" && i + 1 < argc) {
      if (!parseGeometry(argv[++i], w, h, x, y)) {
        std::fprintf(stderr, "velvix-fake-whatsapp: bad geometry %s\n", argv[i]);
        return 2;
      }
    } else if (arg == "--class" && i + 1 < argc) {
      cls = argv[++i];
    } else if (arg == "--title" && i + 1 < argc) {
      title = argv[++i];
    } else if (arg == "--no-pid") {
      setsPid = false;
    } else if (arg == "--plain") {
      plain = true;
    } else if (arg == "--alpha") {
      alpha = true;
    } else if (arg == "--loading") {
      loading = true;
    } else if (arg == "--dark") {
      dark = true;
    } else if (arg == "--scale" && i + 1 < argc) {
      scale = std::atof(argv[++i]);
      if (!(scale >= 1 && scale <= 4)) {
        std::fprintf(stderr, "velvix-fake-whatsapp: bad scale %s\n", argv[i]);
        return 2;
      }
    } else if ((arg == "--rail" || arg == "--list") && i + 1 < argc) {
      const double value = std::atof(argv[++i]);
      if (!(value >= 0 && value <= 2000)) {
        std::fprintf(stderr, "velvix-fake-whatsapp: bad width %s\n", argv[i]);
        return 2;
      }
      (arg == "--rail" ? rail : list) = value;
    } else {
      std::fprintf(stderr,
                   "usage: velvix-fake-whatsapp [--geometry WxH+X+Y] [--class NAME] "
                   "[--title TITLE] [--no-pid] [--plain] [--dark] [--rail WIDTH] "
                   "[--list WIDTH] [--loading] [--scale S] [--alpha]\n");
      return 2;
    }
  }

#if VELVIX_FAKE_WITH_MODEL
  // Qt only paints into images here; the window is ours, so Qt needs no display of its own.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  int qtArgc = 1;
  QGuiApplication qt(qtArgc, argv);
#else
  // Without the renderer the plain picture is all there is.
  (void)plain, (void)dark, (void)rail, (void)list, (void)scale;
#endif
  App app;
  app.display = XOpenDisplay(nullptr);
  if (!app.display) {
    std::fprintf(stderr, "velvix-fake-whatsapp: no X display\n");
    return 1;
  }
  Display* display = app.display;
  const int screen = DefaultScreen(display);
  app.visual = DefaultVisual(display, screen);
  app.depth = DefaultDepth(display, screen);
  XVisualInfo argb{};
  if (alpha && XMatchVisualInfo(display, screen, 32, TrueColor, &argb)) {
    app.visual = argb.visual, app.depth = 32, app.hasAlpha = true;
  }
  XSetWindowAttributes attributes{};
  attributes.colormap =
      XCreateColormap(display, RootWindow(display, screen), app.visual, AllocNone);
  attributes.background_pixel = app.colour(0xFFFFFF);
  attributes.border_pixel = 0;
  app.window = XCreateWindow(display, RootWindow(display, screen), x, y, static_cast<unsigned>(w),
                             static_cast<unsigned>(h), 0, app.depth, InputOutput, app.visual,
                             CWColormap | CWBackPixel | CWBorderPixel, &attributes);
  XSelectInput(display, app.window,
               ExposureMask | StructureNotifyMask | ButtonPressMask | KeyPressMask);
  std::string instance = cls;
  std::transform(instance.begin(), instance.end(), instance.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  XClassHint hint{instance.data(), cls.data()};
  XSetClassHint(display, app.window, &hint);
  XStoreName(display, app.window, title.c_str());
  const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
  XChangeProperty(display, app.window, XInternAtom(display, "_NET_WM_NAME", False), utf8, 8,
                  PropModeReplace, reinterpret_cast<const unsigned char*>(title.data()),
                  static_cast<int>(title.size()));
  if (setsPid) {
    const unsigned long pid = static_cast<unsigned long>(getpid());
    XChangeProperty(display, app.window, XInternAtom(display, "_NET_WM_PID", False), XA_CARDINAL,
                    32, PropModeReplace, reinterpret_cast<const unsigned char*>(&pid), 1);
  }
  XSizeHints size{};
  size.flags = USPosition | USSize;
  size.x = x, size.y = y, size.width = w, size.height = h;
  XSetWMNormalHints(display, app.window, &size);
  app.deleteAtom = XInternAtom(display, "WM_DELETE_WINDOW", False);
  XSetWMProtocols(display, app.window, &app.deleteAtom, 1);
  app.clicksAtom = XInternAtom(display, "_VELVIX_CLICKS", False);
  XChangeProperty(display, app.window, app.clicksAtom, XA_CARDINAL, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(&app.clicks), 1);
  app.gc = XCreateGC(display, app.window, 0, nullptr);
  app.font = XLoadQueryFont(display, "fixed");
  if (app.font) XSetFont(display, app.gc, app.font->fid);
  app.resize(w, h);
  app.loading = loading;
#if VELVIX_FAKE_WITH_MODEL
  if (rail >= 0) app.look.railWidth = rail;
  if (list >= 0) app.look.listWidth = list;
  app.look.dark = dark;
  app.scale = scale;
  if (!plain && !loading) app.startModel();
#endif
  XMapWindow(display, app.window);
  XFlush(display);

  std::signal(SIGTERM, [](int) { stopRequested = 1; });
  std::signal(SIGINT, [](int) { stopRequested = 1; });
  // The window id on standard output tells a test which window is ours.
  std::printf("0x%lx\n", app.window);
  std::fflush(stdout);

  pollfd fd{ConnectionNumber(display), POLLIN, 0};
  while (!stopRequested) {
    if (XPending(display) == 0) {
      poll(&fd, 1, 200);
      continue;
    }
    XEvent event;
    XNextEvent(display, &event);
    switch (event.type) {
      case Expose:
        if (event.xexpose.count == 0) app.draw();
        break;
      case ConfigureNotify:
        if (event.xconfigure.width != app.width || event.xconfigure.height != app.height) {
          app.resize(event.xconfigure.width, event.xconfigure.height);
#if VELVIX_FAKE_WITH_MODEL
          if (app.model) app.model->setState(app.stateFor(app.width, app.height));
#endif
          app.draw();
        }
        break;
      case ButtonPress: {
        const unsigned button = event.xbutton.button;
        if (button == Button1) {
          ++app.clicks;
          XChangeProperty(display, app.window, app.clicksAtom, XA_CARDINAL, 32, PropModeReplace,
                          reinterpret_cast<const unsigned char*>(&app.clicks), 1);
        } else if (button == Button4 || button == Button5) {
          const int step = button == Button4 ? -36 : 36;
#if VELVIX_FAKE_WITH_MODEL
          if (app.model) {
            app.desktop->windowServer().setMouseTopLeft(
                {event.xbutton.x / app.scale, event.xbutton.y / app.scale});
            (void)app.model->scrollWheel(step * 2);
          }
#endif
          if (event.xbutton.x < kRail + kChatList) {
            app.chatScroll = std::clamp(app.chatScroll + step, 0, 40 * kRow);
          } else {
            app.messageScroll = std::clamp(app.messageScroll - step, 0, 60 * 58);
          }
        }
        app.draw();
        break;
      }
      case ClientMessage:
        if (static_cast<Atom>(event.xclient.data.l[0]) == app.deleteAtom) stopRequested = 1;
        break;
      default:
        break;
    }
  }
  if (app.font) XFreeFont(display, app.font);
  XFreePixmap(display, app.buffer);
  XFreeGC(display, app.gc);
  XDestroyWindow(display, app.window);
  XCloseDisplay(display);
  return 0;
}
