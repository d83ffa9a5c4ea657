#include "MenuBarIcon.hpp"
#include "SymbolIcon.hpp"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QString>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace velvix {
namespace {

int opaquePixels(const QImage& image) {
  int count = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x)
      count += qAlpha(image.pixel(x, y)) > 0;
  }
  return count;
}

TEST(MenuBarIcon, IsAnEighteenPointTemplateOfOurOwnDrawing) {
  for (const qreal ratio : {1.0, 2.0}) {
    SCOPED_TRACE(ratio);
    const QImage icon = menuBarIcon(true, ratio);
    EXPECT_EQ(icon.width(), std::lround(18 * ratio));
    EXPECT_EQ(icon.height(), std::lround(18 * ratio));
    EXPECT_EQ(icon.devicePixelRatio(), ratio);
    // A shape, not a filled square: the corners stay clear, the padlock's body is solid.
    EXPECT_EQ(qAlpha(icon.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(icon.pixel(icon.width() - 1, icon.height() - 1)), 0);
    EXPECT_EQ(qAlpha(icon.pixel(icon.width() / 2, icon.height() * 7 / 15)), 255);
    const int covered = opaquePixels(icon);
    EXPECT_GT(covered, icon.width() * icon.height() / 8);
    EXPECT_LT(covered, icon.width() * icon.height() * 2 / 3);
  }
}

// The cover badge is a dot of its colour in the bottom right corner; the rest of the icon stays
// as it was.
TEST(MenuBarIcon, TheCoverBadgeIsADotInTheBottomRightCorner) {
  for (const qreal ratio : {1.0, 2.0}) {
    SCOPED_TRACE(ratio);
    const QImage icon = trayIcon(true, ratio);
    const QImage badged = withCoverBadge(icon, QColor(0xFF, 0x95, 0x00));
    const int middle = static_cast<int>((18 - 0.5 - 0.45 * 18 / 2) * ratio);
    EXPECT_EQ(badged.pixel(middle, middle), 0xFFFF9500);
    for (int y = 0; y < icon.height() * 4 / 9; ++y)
      for (int x = 0; x < icon.width(); ++x)
        ASSERT_EQ(badged.pixel(x, y), icon.pixel(x, y)) << x << ", " << y;
  }
}

TEST(MenuBarIcon, EveryCoveredPixelTakesTheTint) {
  const QColor tint(200, 40, 10);
  const QImage icon = menuBarIcon(true, 1, tint).convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < icon.height(); ++y) {
    for (int x = 0; x < icon.width(); ++x) {
      EXPECT_TRUE(qAlpha(icon.pixel(x, y)) < 255 || icon.pixel(x, y) == tint.rgb())
          << x << "," << y;
    }
  }
}

// A tray paints the icon over its own panel, light or dark: the icon must stand out from both.
TEST(MenuBarIcon, TheTrayIconReadsOnLightAndDarkPanels) {
  for (const bool enabled : {true, false}) {
    for (const QColor panel : {QColor(Qt::white), QColor(0xEF, 0xEF, 0xEF),
                               QColor(0x2B, 0x2B, 0x2B), QColor(Qt::black)}) {
      SCOPED_TRACE(testing::Message()
                   << (enabled ? "on, " : "off, ") << panel.name().toStdString());
      QImage shown(18, 18, QImage::Format_ARGB32);
      shown.fill(panel);
      QPainter(&shown).drawImage(0, 0, trayIcon(enabled, 1));
      int contrast = 0;
      for (int y = 0; y < 18; ++y) {
        for (int x = 0; x < 18; ++x)
          contrast = std::max(contrast, std::abs(qGray(shown.pixel(x, y)) - qGray(panel.rgb())));
      }
      EXPECT_GE(contrast, enabled ? 180 : 70);
    }
  }
}

TEST(MenuBarIcon, IsDrawnAtFortyPercentWhileProtectionIsOff) {
  const QImage on = menuBarIcon(true).convertToFormat(QImage::Format_ARGB32);
  const QImage off = menuBarIcon(false).convertToFormat(QImage::Format_ARGB32);
  ASSERT_EQ(on.size(), off.size());
  for (int y = 0; y < on.height(); ++y) {
    for (int x = 0; x < on.width(); ++x) {
      SCOPED_TRACE(testing::Message() << x << "," << y);
      const int full = qAlpha(on.pixel(x, y));
      const int dimmed = qAlpha(off.pixel(x, y));
      // The painter's opacity is quantised to 1/256 steps and alpha to whole numbers: allow
      // two levels either way, and let the faintest edge pixels round away.
      EXPECT_LE(std::abs(dimmed - full * 0.4), 2.0);
      EXPECT_TRUE(full > 0 || dimmed == 0) << "the same shape";
      EXPECT_TRUE(full < 5 || dimmed > 0) << "the same shape";
    }
  }
}

// Unusable input gives no image rather than a broken one, unusable ratios draw at one, and
// ratios beyond 16 at 16.
TEST(MenuBarIcon, UnusableInputFallsBackOrGivesNoImage) {
  EXPECT_FALSE(templateImageFromSvg(menuBarIconSvg(), 18, Qt::black).isNull());
  for (const char* svg : {"<svg", ""})
    EXPECT_TRUE(templateImageFromSvg(svg, 18, Qt::black).isNull()) << svg;
  for (const qreal ratio : {0.0, -2.0, std::nan("")})
    EXPECT_EQ(menuBarIcon(true, ratio).size(), QSize(18, 18)) << ratio;
  EXPECT_EQ(menuBarIcon(true, 100).size(), QSize(18 * 16, 18 * 16)) << "at most 16 pixels a point";
}

QImage symbol(StatusModel::Symbol symbol) {
  QImage image(32, 32, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  SymbolIcon::draw(painter, symbol, Qt::black, 32);
  return image;
}

// The icons as drawn, against the pictures in tests/icons: every pixel within two levels.
// After an intended change, VELVIX_WRITE_ICONS=1 writes them anew (look at them before a commit).
TEST(Icons, LookAsTheyDid) {
  const struct {
    const char* name;
    QImage image;
  } icons[] = {
      {"menubar-on@1x", menuBarIcon(true, 1)},
      {"menubar-off@2x", menuBarIcon(false, 2)},
      {"tray-on@1x", trayIcon(true, 1)},
      {"tray-off@2x", trayIcon(false, 2)},
      {"tray-covered@2x", withCoverBadge(trayIcon(true, 2), QColor(0xFF, 0x95, 0x00))},
      {"symbol-lock", symbol(StatusModel::Symbol::Lock)},
      {"symbol-hourglass", symbol(StatusModel::Symbol::Hourglass)},
      {"symbol-eye", symbol(StatusModel::Symbol::Eye)},
  };
  const bool writing = std::getenv("VELVIX_WRITE_ICONS") != nullptr;
  for (const auto& icon : icons) {
    SCOPED_TRACE(icon.name);
    const QString path = QStringLiteral(VELVIX_ICON_DIR "/%1.png").arg(icon.name);
    const QImage drawn = icon.image.convertToFormat(QImage::Format_ARGB32);
    if (writing) {
      ASSERT_TRUE(drawn.save(path));
    }
    const QImage stored = QImage(path).convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(drawn.size(), stored.size());
    for (int y = 0; y < drawn.height(); ++y) {
      for (int x = 0; x < drawn.width(); ++x) {
        const QRgb a = drawn.pixel(x, y);
        const QRgb b = stored.pixel(x, y);
        const int off = std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                                  std::abs(qBlue(a) - qBlue(b)), std::abs(qAlpha(a) - qAlpha(b))});
        ASSERT_LE(off, 2) << x << ", " << y;
      }
    }
  }
}

}  // namespace
}  // namespace velvix
