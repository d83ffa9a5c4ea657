#include <Simulator/Desktop.hpp>
#include <Simulator/OverlayCoverage.hpp>
#include <Simulator/Pixels/DesktopFrame.hpp>
#include <Simulator/WhatsAppModel.hpp>

#include <QGuiApplication>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <vector>

namespace velvix::pixels {
namespace {

using sim::WhatsAppModel;

struct World {
  sim::Desktop desktop;
  std::unique_ptr<WhatsAppModel> whatsApp;
  explicit World(sim::WhatsAppState state = sim::WhatsAppState::sample()) {
    desktop.windowServer().setScreens({Rect(0, 0, 1600, 1000)});
    WhatsAppModel::Options options;
    options.measureText = &measureText;
    whatsApp = std::make_unique<WhatsAppModel>(desktop, std::move(state), std::move(options));
  }
  // The overlay panel over WhatsApp's window, ordered in.
  std::unique_ptr<platform::Panel> panel() {
    const Rect frame = whatsApp->state().windowFrame;
    auto panel = desktop.toolkit().makeOverlayPanel();
    panel->setFrame(Rect(frame.minX(), 1000 - frame.maxY(), frame.width(), frame.height()));
    panel->orderFrontRegardless();
    return panel;
  }
  QImage render(bool showsOverlay = true) {
    return renderer.render(desktop, *whatsApp, {.showsOverlay = showsOverlay});
  }
  DesktopRenderer renderer;
};

double luma(const QImage& image, int x, int y) {
  const QRgb p = image.pixel(x, y);
  return 0.299 * qRed(p) + 0.587 * qGreen(p) + 0.114 * qBlue(p);
}

// Fine detail: the mean difference between neighbouring pixels. Text is all fine detail; the
// shapes of bubbles and backgrounds hardly count.
double detail(const QImage& image, const QRect& area) {
  double sum = 0;
  int n = 0;
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x < area.right(); ++x) {
      sum += std::abs(luma(image, x + 1, y) - luma(image, x, y));
      ++n;
    }
  return sum / n;
}

TEST(DesktopFrame, TextInkStaysInsideItsPrivateArea) {
  // Every private line of the sample account, painted alone: its ink lies in the area the
  // model declares for it (the privacy-leak measure counts that area).
  World world;
  const sim::Scene scene = world.whatsApp->scene();
  BlurOptions all;
  all.isEnabled = all.blurNames = all.blurPreviews = all.blurMessages = all.blurTextInput = true;
  all.unblurLastMessages = false;
  int checked = 0;
  for (const sim::PaintItem& item : scene.items) {
    if (item.kind != sim::PaintItem::Kind::text || !item.sensitive) continue;
    if (!(item.rect.intersection(item.clip) == item.rect)) continue;  // cut at a list edge
    sim::Scene alone{.windowSize = scene.windowSize, .items = {item}};
    const auto areas = sim::sensitiveAreas(alone, all);
    ASSERT_EQ(areas.size(), 1u) << item.text;
    const Rect ink = areas[0].rect;
    QImage image(static_cast<int>(scene.windowSize.width),
                 static_cast<int>(scene.windowSize.height), QImage::Format_RGBA8888_Premultiplied);
    {
      QPainter painter(&image);
      paintScene(painter, alone);
    }
    const QRect box = QRectF(item.rect.minX() - 4, item.rect.minY() - 4, item.rect.width() + 8,
                             item.rect.height() + 8)
                          .toAlignedRect()
                          .intersected(image.rect());
    int outside = 0, inside = 0;
    for (int y = box.top(); y <= box.bottom(); ++y)
      for (int x = box.left(); x <= box.right(); ++x) {
        if (luma(image, x, y) > 200) continue;  // background or the faintest anti-aliasing
        const bool within = ink.insetBy(-0.5, -0.5).contains(Point{x + 0.5, y + 0.5});
        (within ? inside : outside) += 1;
      }
    EXPECT_GT(inside, 0) << item.text;
    EXPECT_EQ(outside, 0) << "'" << item.text << "' size " << item.fontSize << " ink area " << ink;
    ++checked;
  }
  EXPECT_GT(checked, 25);
}

TEST(DesktopFrame, BlurViewsBecomeFrostedGlassWherePanelShowsThem) {
  World world;
  auto panel = world.panel();
  // The whole message area, rounded.
  const Rect area = world.whatsApp->viewport(WhatsAppModel::List::messages);
  auto view = panel->addBlurView();
  view->setFrame(area);
  view->setMask(Shape::rounded);

  const QImage bare = world.render(false);
  const QImage glass = world.render();
  ASSERT_EQ(bare.size(), glass.size());
  const QRect inner =
      QRectF(area.minX() + 20, area.minY() + 20, area.width() - 40, area.height() - 40)
          .toAlignedRect();
  EXPECT_LT(detail(glass, inner), detail(bare, inner) * 0.1);
  // Outside the patch nothing changes: the chat list, the composer bar, the patch's corner.
  for (QPoint p : {QPoint(200, 300), QPoint(600, 780),
                   QPoint(static_cast<int>(area.minX()), static_cast<int>(area.minY()))})
    EXPECT_EQ(bare.pixel(p), glass.pixel(p)) << p.x() << "," << p.y();

  // A hidden view shows nothing; an ordered-out panel neither.
  view->setHidden(true);
  EXPECT_EQ(world.render(), bare);
  view->setHidden(false);
  panel->orderOut();
  EXPECT_EQ(world.render(), bare);
}

TEST(DesktopFrame, GuidesShowOnlyWhenTheyAreOn) {
  World world;
  auto panel = world.panel();
  const Rect region(500, 200, 300, 100);
  const double columns[] = {68, 444};
  panel->setGuides({&region, 1}, columns);
  const QImage bare = world.render(false);
  panel->setGuidesHidden(true);
  EXPECT_EQ(world.render(), bare);
  panel->setGuidesHidden(false);
  const QImage guides = world.render();
  // The outline's left edge and a dash of the first column line changed colour.
  const QRgb outline = guides.pixel(500, 250);
  EXPECT_GT(qRed(outline), qGreen(outline) + 60) << "pink outline";
  const QRgb column = guides.pixel(68, 2);
  EXPECT_GT(qGreen(column), qRed(column) + 40) << "green column";
  EXPECT_EQ(guides.pixel(650, 250), bare.pixel(650, 250)) << "inside the outline: untouched";
}

TEST(DesktopFrame, FramesWriteAsPng) {
  World world;
  const QImage image =
      world.renderer.render(world.desktop, *world.whatsApp, {.scale = 0.5, .margin = 20});
  EXPECT_EQ(image.size(), QSize(620, 420));
  const auto path = std::filesystem::temp_directory_path() / "velvix-desktop-frame-test.png";
  ASSERT_TRUE(writePng(image, path.string()));
  const QImage back(QString::fromStdString(path.string()));
  EXPECT_EQ(back.size(), image.size());
  std::filesystem::remove(path);
  EXPECT_FALSE(writePng(image, "/nonexistent-directory/frame.png"));
}

}  // namespace
}  // namespace velvix::pixels

int main(int argc, char** argv) {
  // Fonts need a GUI application; the offscreen platform needs no display.
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QGuiApplication app(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
