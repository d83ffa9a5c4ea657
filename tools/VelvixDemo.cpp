// The main job, headless: the whole application against the simulated WhatsApp client, in
// virtual time — layout mode with its guides, precise mode, hover reveal, a fast scroll, a
// contact sheet and a panel over the chat list — written as PNG frames of what a bystander sees,
// a one-page contact sheet of them, and the application's log lines.
//
//   velvix-demo [output folder]        (default: ./velvix-demo)

#include <Simulator/AppSession.hpp>
#include <Simulator/Pixels/DesktopFrame.hpp>

#include <QGuiApplication>
#include <QPainter>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace {

using namespace velvix;
using namespace std::chrono_literals;
using List = sim::WhatsAppModel::List;

struct Frame {
  std::string file;
  std::string caption;
  QImage image;
};

class Demo {
 public:
  explicit Demo(std::filesystem::path folder)
      : folder_(std::move(folder)), session_(sessionOptions()) {}

  int run();

 private:
  static sim::AppSessionOptions sessionOptions() {
    sim::AppSessionOptions options;
    options.model.measureText = &pixels::measureText;  // lay text out as it is painted
    options.isTrusted = false;                         // permission not granted yet
    return options;
  }

  void capture(const std::string& caption, bool overlay = true) {
    const std::string file = std::to_string(frames_.size() + 1);
    Frame frame{
        (file.size() < 2 ? "0" : "") + file + ".png", caption,
        renderer_.render(session_.desktop(), session_.whatsApp(), {.showsOverlay = overlay})};
    if (!pixels::writePng(frame.image, (folder_ / frame.file).string()))
      std::fprintf(stderr, "velvix-demo: could not write %s\n", (folder_ / frame.file).c_str());
    std::printf("  %s  %s\n", frame.file.c_str(), caption.c_str());
    frames_.push_back(std::move(frame));
  }

  // Wheel events at the pointer, 60 a second, `pointsPerSecond` in total (negative: back in
  // time), each a few milliseconds after a screen refresh; the frames at the given ticks are
  // captured when the next refresh shows them, as a bystander would see them.
  void scroll(double pointsPerSecond, int ticks, const std::vector<int>& captureAt,
              const std::string& what) {
    std::string pending;
    session_.onDisplayFrame([&] {
      if (pending.empty()) return;
      capture(pending);
      pending.clear();
    });
    for (int k = 1; k <= ticks; ++k) {
      session_.runFor(4ms);
      (void)session_.whatsApp().scrollWheel(pointsPerSecond / 60);
      for (int at : captureAt)
        if (at == k)
          pending = what + ", " + std::to_string(k * 1000 / 60) + " ms into a " +
                    std::to_string(static_cast<int>(std::abs(pointsPerSecond))) + " pt/s scroll";
      session_.runFor(std::chrono::microseconds(16667) - 4ms);
    }
    session_.onDisplayFrame(nullptr);
  }

  void changeState(const std::function<void(sim::WhatsAppState&)>& change) {
    sim::WhatsAppState state = session_.whatsApp().state();
    change(state);
    session_.whatsApp().setState(std::move(state));
  }

  bool writeContactSheet() const;
  void writeLog();

  std::filesystem::path folder_;
  sim::AppSession session_;
  pixels::DesktopRenderer renderer_;
  std::vector<Frame> frames_;
};

int Demo::run() {
  sim::AppSession& s = session_;
  std::printf("velvix-demo: frames in %s\n", folder_.c_str());
  capture("WhatsApp as a bystander sees it without Velvix", false);

  // Layout mode: no Accessibility permission yet. The guides show the calibration.
  s.settings().setShowsGuides(true);
  s.start();
  s.runFor(500ms);
  capture("Layout mode (no Accessibility access), with the calibration guides");
  s.settings().setShowsGuides(false);
  s.moveMouse({250, 420});
  s.runFor(200ms);
  capture("Layout mode: hovering the chat list opens a band around the pointer");
  s.moveMouseAway();

  // Precise mode: the user grants access; the next reads recognise every element.
  s.desktop().accessibility().setTrusted(true);
  s.runFor(1s);
  capture("Precise mode: every name, preview, picture and message blurred on its own");
  s.moveMouse({250, 100 + 72 * 3 + 36});
  s.runFor(200ms);
  capture("Precise mode: hovering a chat row reveals that row");
  s.moveMouse({800, 560});
  s.runFor(200ms);
  capture("Precise mode: hovering a message reveals it; the latest three stay readable");

  // A fast scroll back through the conversation, then the chat list.
  s.moveMouse({800, 300});
  scroll(-1500, 45, {12, 30}, "Scrolling the messages");
  s.runFor(600ms);
  capture("After the scroll: patches back on every message");
  s.moveMouse({250, 420});
  scroll(1500, 45, {12, 30}, "Scrolling the chat list");
  s.runFor(600ms);
  s.moveMouseAway();
  s.runFor(200ms);
  capture("After the chat list scroll");

  // A contact sheet, then one whose tree shows only the sheet.
  changeState([](sim::WhatsAppState& state) {
    state.sheet = sim::WhatsAppSheet{
        .name = "Ana Souza", .about = "Out climbing, back on Monday", .phone = "+55 11 98765 4321"};
  });
  s.runFor(1s);
  capture("A contact-info sheet: its picture, name, about text, number and media blurred");
  changeState([](sim::WhatsAppState& state) { state.sheet->treeShowsOnlySheet = true; });
  s.runFor(1s);
  capture("A sheet whose tree hides the window: the content behind keeps its last patches");
  changeState([](sim::WhatsAppState& state) {
    state.sheet.reset();
    sim::WhatsAppPanel panel;
    panel.rows.push_back({.name = "New group", .detail = "Add members", .isShort = false});
    panel.rows.push_back({.name = "New contact", .detail = "Save a number", .isShort = false});
    const char* contacts[] = {"Ana Souza",   "Ben Carter",  "Chloé Dubois",   "Dr. Okafor",
                              "Elif Yılmaz", "Grandma",     "Hugo Silva",     "Ines García",
                              "Ivan Petrov", "Jonas Weber", "Kenji Watanabe", "Léa Martin"};
    for (int i = 0; i < 12; ++i)
      panel.rows.push_back(
          {.name = contacts[i], .isShort = true, .heading = i == 0 ? "CONTACTS ON WHATSAPP" : ""});
    state.panel = panel;
  });
  s.runFor(1s);
  capture("A panel over the chat list: its tall and short rows blurred");

  changeState([](sim::WhatsAppState& state) { state.panel.reset(); });
  s.runFor(1s);
  s.settings().setBlurStrength(BlurStrength::light);
  s.runFor(200ms);
  capture("Blur strength light: shapes and colours stay, words do not");
  s.settings().setBlurStrength(BlurStrength::strong);
  s.runFor(200ms);
  capture("Blur strength strong");
  s.settings().setBlurStrength(BlurStrength::medium);
  s.desktop().toolkit().pressKeys(s.settings().panicShortcut());
  s.runFor(200ms);
  capture("The panic key: all of WhatsApp covered until it is pressed again");
  s.desktop().toolkit().pressKeys(s.settings().panicShortcut());
  s.runFor(200ms);

  s.settings().setIsEnabled(false);
  s.runFor(200ms);
  capture("Protection switched off");

  const bool sheetWritten = writeContactSheet();
  writeLog();
  std::printf("velvix-demo: %zu frames, contact sheet %s, log %s\n", frames_.size(),
              (folder_ / "contact-sheet.png").c_str(), (folder_ / "velvix.log").c_str());
  return sheetWritten ? 0 : 1;
}

bool Demo::writeContactSheet() const {
  constexpr int columns = 4;
  constexpr double tileScale = 0.25;
  const int tileWidth = static_cast<int>(frames_.front().image.width() * tileScale);
  const int tileHeight = static_cast<int>(frames_.front().image.height() * tileScale);
  constexpr int caption = 34;
  constexpr int gap = 12;
  const int rows = static_cast<int>((frames_.size() + columns - 1) / columns);
  QImage sheet(gap + columns * (tileWidth + gap), 56 + rows * (tileHeight + caption + gap),
               QImage::Format_RGB32);
  sheet.fill(QColor(245, 245, 247));
  QPainter p(&sheet);
  p.setRenderHint(QPainter::SmoothPixmapTransform);
  p.setRenderHint(QPainter::TextAntialiasing);
  p.setPen(QColor(17, 27, 33));
  p.setFont(pixels::whatsAppFont(20, true));
  p.drawText(QRect(gap, 10, sheet.width() - 2 * gap, 36), Qt::AlignLeft | Qt::AlignVCenter,
             QStringLiteral("Velvix demo — what a bystander sees"));
  p.setFont(pixels::whatsAppFont(11, false));
  for (std::size_t i = 0; i < frames_.size(); ++i) {
    const int x = gap + static_cast<int>(i % columns) * (tileWidth + gap);
    const int y = 56 + static_cast<int>(i / columns) * (tileHeight + caption + gap);
    p.drawImage(QRect(x, y, tileWidth, tileHeight), frames_[i].image);
    p.drawText(QRect(x, y + tileHeight + 2, tileWidth, caption),
               Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
               QString::fromStdString(frames_[i].file + "  " + frames_[i].caption));
  }
  p.end();
  return pixels::writePng(sheet, (folder_ / "contact-sheet.png").string());
}

void Demo::writeLog() {
  std::ofstream file(folder_ / "velvix.log");
  std::printf("velvix-demo: log lines\n");
  for (const sim::LogLine& line : session_.desktop().log().lines()) {
    const char* level = line.level == platform::LogLevel::debug ? "debug" : "default";
    file << "[" << line.category << "] " << level << ": " << line.text << "\n";
    std::printf("  [%s] %s: %s\n", line.category.c_str(), level, line.text.c_str());
  }
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QGuiApplication app(argc, argv);
  const std::filesystem::path folder =
      std::filesystem::absolute(argc > 1 ? argv[1] : "velvix-demo");
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error) {
    std::fprintf(stderr, "velvix-demo: cannot create %s: %s\n", folder.c_str(),
                 error.message().c_str());
    return 1;
  }
  return Demo(folder).run();
}
